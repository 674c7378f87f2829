#include "tree/table_marks.h"

#include <map>
#include <utility>

namespace vostrel {

std::vector<int64_t> ReportEntryIndexes(const ScanResult& scan, const RecoveryReport& report) {
  // Names can repeat only when two folders decode alike; each report line
  // then takes the first entry not yet taken.
  std::multimap<std::pair<std::string, std::string>, int64_t> entries;
  for (size_t i = 0; i < scan.m_tableEntries.size(); ++i) {
    const TableEntry& e = scan.m_tableEntries[i];
    const size_t db = static_cast<size_t>(e.databaseIndex);
    if (db >= scan.m_databaseFolders.size()) continue;
    entries.emplace(std::make_pair(DatabaseDisplayName(scan.m_databaseFolders[db]), e.displayName),
                    static_cast<int64_t>(i));
  }
  std::vector<int64_t> out;
  out.reserve(report.tables.size());
  for (const TableAccount& t : report.tables) {
    auto it = entries.find({t.database, t.table});
    if (it == entries.end()) {
      out.push_back(-1);
      continue;
    }
    out.push_back(it->second);
    entries.erase(it);
  }
  return out;
}

namespace {

std::string EngineLine(const TableAccount& a) {
  if (a.engine.empty() && a.row_format.empty()) return {};
  std::string s = a.engine.empty() ? std::string("engine not known") : a.engine;
  if (!a.row_format.empty()) s += ", row format " + a.row_format;
  return s;
}

void AddLine(std::string& text, const std::string& line) {
  if (line.empty()) return;
  if (!text.empty()) text += '\n';
  text += line;
}

}  // namespace

std::string ProbeTip(const TableAccount& a) {
  std::string text =
      a.complete() ? "Scan: can be read" : std::string("Scan: ") + TableStateName(a.state);
  AddLine(text, EngineLine(a));
  if (a.expected_known) AddLine(text, "Rows in the files: " + std::to_string(a.expected));
  AddLine(text, a.reason);
  return text;
}

std::string SaveTip(const TableAccount& a) {
  std::string text = std::string("Saved: ") + TableStateName(a.state);
  AddLine(text, EngineLine(a));
  AddLine(text, "Rows recovered: " + std::to_string(a.rows) + " of " +
                    (a.expected_known ? std::to_string(a.expected) : std::string("?")) +
                    " in the files");
  if (a.rejected > 0) AddLine(text, "Rows refused by the server: " + std::to_string(a.rejected));
  AddLine(text, a.reason);
  return text;
}

}  // namespace vostrel
