#include "scan/recovery_report.h"

#include <algorithm>

#include "model/file_util.h"

namespace vostrel {

const char* TableStateName(TableState state) {
  switch (state) {
    case TableState::kComplete:
      return "complete";
    case TableState::kDamaged:
      return "damaged";
    case TableState::kDefinitionOnly:
      return "definition only";
    case TableState::kNotRead:
      return "not read";
  }
  return "";
}

void TableAccount::Mark(TableState to, const std::string& why) {
  if (static_cast<int>(to) > static_cast<int>(state)) state = to;
  if (why.empty()) return;
  if (reason.find(why) != std::string::npos) return;
  if (!reason.empty()) reason += "; ";
  reason += why;
}

std::string TableAccount::StatusText() const {
  std::string s = TableStateName(state);
  if (!reason.empty()) s += (complete() ? " (" + reason + ")" : ": " + reason);
  return s;
}

size_t RecoveryReport::incomplete() const {
  return static_cast<size_t>(std::count_if(tables.begin(), tables.end(),
                                           [](const TableAccount& t) { return !t.complete(); }));
}

namespace {

std::string Expected(const TableAccount& t) {
  return t.expected_known ? std::to_string(t.expected) : std::string("?");
}

std::string Escaped(const std::string& field) {
  std::string out;
  for (const char c : field) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

}  // namespace

std::string RecoveryReport::Text() const {
  std::string out;
  for (const TableAccount& t : tables) {
    out += t.database + "." + t.table + "\t" + (t.engine.empty() ? "-" : t.engine) +
           (t.row_format.empty() ? "" : " " + t.row_format) + "\t" + std::to_string(t.rows) +
           " of " + Expected(t) + " rows" +
           (t.rejected ? ", " + std::to_string(t.rejected) + " rejected" : "") + "\t" +
           t.StatusText() + "\n";
  }
  const size_t bad = incomplete();
  out += std::to_string(tables.size()) + " tables: " + std::to_string(tables.size() - bad) +
         " complete, " + std::to_string(bad) + " not complete\n";
  return out;
}

std::string RecoveryReport::Tsv() const {
  std::string out =
      "database\ttable\tengine\trow_format\trows_recovered\trows_in_files\trows_rejected\tstatus\t"
      "reason\n";
  for (const TableAccount& t : tables) {
    out += Escaped(t.database) + "\t" + Escaped(t.table) + "\t" + Escaped(t.engine) + "\t" +
           Escaped(t.row_format) + "\t" + std::to_string(t.rows) + "\t" +
           (t.expected_known ? std::to_string(t.expected) : std::string()) + "\t" +
           std::to_string(t.rejected) + "\t" + TableStateName(t.state) + "\t" + Escaped(t.reason) +
           "\n";
  }
  return out;
}

bool WriteReportFile(const RecoveryReport& report, const std::filesystem::path& path,
                     std::string* error) {
  return WriteOutputFile(path, report.Tsv(), error);
}

std::vector<std::string> DeletedRowLines(const std::vector<TableAccount>& tables) {
  std::vector<std::string> lines;
  uint64_t rows = 0, left_out = 0;
  for (const TableAccount& t : tables) {
    std::string line = "Deleted rows of " + t.database + "." + t.table + ": ";
    if (t.state == TableState::kNotRead || t.state == TableState::kDefinitionOnly) {
      line += t.StatusText();
    } else {
      line += std::to_string(t.rows) + " written, " + std::to_string(t.left_out) +
              " records left out (cleared by purge, or a field that is no valid value), " +
              std::to_string(t.copies) + " copies of live rows or of each other passed over";
      if (!t.complete()) line += "; " + t.StatusText();
    }
    rows += t.rows;
    left_out += t.left_out;
    lines.push_back(std::move(line));
  }
  lines.push_back("Deleted rows: " + std::to_string(rows) + " written apart from the live rows, " +
                  std::to_string(left_out) + " records left out");
  return lines;
}

std::string DeletedRowsTsv(const std::vector<TableAccount>& tables) {
  std::string out =
      "database\ttable\trows_written\trecords_left_out\tcopies_passed_over\tstatus\treason\n";
  for (const TableAccount& t : tables) {
    out += Escaped(t.database) + "\t" + Escaped(t.table) + "\t" + std::to_string(t.rows) + "\t" +
           std::to_string(t.left_out) + "\t" + std::to_string(t.copies) + "\t" +
           TableStateName(t.state) + "\t" + Escaped(t.reason) + "\n";
  }
  return out;
}

}  // namespace vostrel
