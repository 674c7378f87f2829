#include "scan/table_definitions.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "model/file_util.h"
#include "model/frm_reader.h"
#include "model/mysql_filename.h"
#include "model/sql_definitions.h"
#include "scan/table_readers.h"

namespace vostrel {

namespace fs = std::filesystem;

namespace {

std::string FolderOf(const ScanResult& scan, const TableEntry& e) {
  return scan.m_databaseFolders[static_cast<size_t>(e.databaseIndex)];
}

const SqlDefinition* StatementFor(const ScanResult& scan, const TableEntry& e) {
  if (scan.definitions == nullptr) return nullptr;
  return scan.definitions->Find(DatabaseDisplayName(FolderOf(scan, e)), e.displayName);
}

int32_t DatabaseCollation(const std::string& folder, const CollationTable& collations) {
  const DatabaseOptions o = ReadDatabaseOptions(folder);
  if (!o.collation.empty()) {
    if (const int32_t id = collations.FindCollation(o.collation)) return id;
  }
  return o.charset.empty() ? 0 : collations.DefaultCollation(o.charset);
}

bool IsHex16(const std::string& s, size_t at, uint64_t* value) {
  if (s.size() < at + 16) return false;
  uint64_t v = 0;
  for (size_t i = at; i < at + 16; ++i) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    v = v * 16 + static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
  }
  if (value) *value = v;
  return true;
}

}  // namespace

bool IsFulltextAuxiliaryName(const std::string& stem, uint64_t* table_id) {
  if (stem.size() < 4 + 16 + 1 || stem.compare(0, 4, "FTS_") != 0) return false;
  if (!IsHex16(stem, 4, table_id) || stem[20] != '_') return false;
  const std::string rest = stem.substr(21);
  static const char* const kCommon[] = {"DELETED", "DELETED_CACHE", "BEING_DELETED",
                                        "BEING_DELETED_CACHE", "CONFIG"};
  for (const char* c : kCommon) {
    if (rest == c) return true;
  }
  // <index id>_INDEX_<n>
  if (!IsHex16(rest, 0, nullptr) || rest.size() < 16 + 8 || rest.compare(16, 7, "_INDEX_") != 0) {
    return false;
  }
  const std::string n = rest.substr(23);
  return !n.empty() && n.size() <= 2 && std::all_of(n.begin(), n.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c));
  });
}

std::string DictionaryDefinitionReason(const std::vector<std::string>& guesses) {
  std::string s = "definition rebuilt from the InnoDB dictionary, not from a .frm";
  if (guesses.empty()) return s;
  s += ": ";
  for (size_t i = 0; i < guesses.size(); ++i) s += (i ? "; " : "") + guesses[i];
  return s;
}

ResolvedDefinition ResolveTableDefinition(const ScanResult& scan, const TableEntry& entry,
                                          const CollationTable& collations,
                                          const CodePage& code_page, TableDef& out) {
  ResolvedDefinition r;
  out.Clear();
  const std::string folder = FolderOf(scan, entry);
  fs::path frm = FindFileIgnoringCase(folder, entry.tableName + ".frm");
  if (frm.empty()) frm = fs::path(folder) / (entry.tableName + ".frm");
  r.frm_path = frm.string();
  const SqlDefinition* statement = StatementFor(scan, entry);
  std::string why_not_frm = entry.definition_problem;
  if (why_not_frm.empty() && statement != nullptr && scan.prefer_definitions) {
    why_not_frm = "its .frm is replaced by the statement (--prefer-definitions)";
  }
  if (why_not_frm.empty()) {
    const FrmReadResult fr = ReadTableDefinition(frm, collations, code_page, out);
    for (const std::string& w : fr.warnings) {
      r.warnings.push_back("Table definition " + frm.string() + ": " + w);
    }
    if (fr.ok && !out.columns.empty()) {
      r.ok = true;
      return r;
    }
    why_not_frm = "table definition " + frm.string() +
                  " cannot be read: " + (fr.ok ? std::string("no columns") : fr.error);
    out.Clear();
  }
  if (statement != nullptr) {
    const TableDefBuild b = BuildDefinitionTable(*scan.definitions, *statement, collations,
                                                 DatabaseCollation(folder, collations), out);
    if (b.ok) {
      r.ok = true;
      r.origin = DefinitionOrigin::kSqlFile;
      r.note = "definition from " + statement->where + " (" + why_not_frm + ")";
      for (const std::string& n : b.notes) r.warnings.push_back(statement->where + ": " + n);
      return r;
    }
    r.error =
        why_not_frm + "; the statement at " + statement->where + " cannot be used: " + b.error;
    out.Clear();
    return r;
  }
  std::string dict_error;
  if (DictionaryKnowsTable(scan, DatabaseFolderName(folder), entry.tableName) &&
      DictionaryTableDefinition(scan, entry, collations, out, &r.guesses, &dict_error)) {
    r.ok = true;
    r.origin = DefinitionOrigin::kDictionary;
    r.note = DictionaryDefinitionReason(r.guesses);
    return r;
  }
  out.Clear();
  r.error = why_not_frm + (dict_error.empty() ? "" : "; " + dict_error);
  return r;
}

void AccountDefinitionSources(ScanResult& scan, RecoveryOutput& out,
                              const std::function<void(const std::string&)>& problem) {
  auto log = [&out](const std::string& line) { out.WriteLogText(line + "\r\n"); };
  std::vector<bool> used(scan.definitions ? scan.definitions->tables.size() : 0, false);
  for (TableEntry& e : scan.m_tableEntries) {
    const std::string folder = FolderOf(scan, e);
    const std::string who = DatabaseDisplayName(folder) + "." + e.displayName;
    const SqlDefinition* statement = StatementFor(scan, e);
    if (statement != nullptr)
      used[static_cast<size_t>(statement - scan.definitions->tables.data())] = true;
    if (e.definition_problem.empty()) {
      if (statement == nullptr) continue;
      log(scan.prefer_definitions
              ? "Table " + who + ": the statement at " + statement->where +
                    " replaces its readable .frm (--prefer-definitions)"
              : "Table " + who + ": " + statement->where +
                    " defines it too; its own readable .frm is used (--prefer-definitions would "
                    "use the statement)");
      continue;
    }
    if (statement != nullptr) {
      log("Table " + who + ": " + e.definition_problem + "; its definition comes from " +
          statement->where);
      continue;
    }
    if (DictionaryKnowsTable(scan, DatabaseFolderName(folder), e.tableName)) {
      log("Table " + who + ": " + e.definition_problem +
          "; its definition is rebuilt from the InnoDB dictionary (what that guesses is named "
          "when it is read)");
      continue;
    }
    const fs::path ibd = FindFileIgnoringCase(folder, e.tableName + ".ibd");
    if (!ibd.empty()) {
      e.definition_problem += "; no definition: " + DescribeOrphanTablespace(ibd) +
                              "; give its CREATE TABLE with --definitions";
    }
    problem("table " + who + " cannot be read: " + e.definition_problem);
  }
  for (size_t i = 0; i < used.size(); ++i) {
    if (used[i]) continue;
    const SqlDefinition& d = scan.definitions->tables[i];
    log(d.where + ": table " + (d.declared.database.empty() ? "" : d.declared.database + ".") +
        d.declared.name + " is not in the data directory; the statement is not used");
  }
  if (scan.definitions != nullptr) {
    for (const std::string& n : scan.definitions->notes) log(n);
  }
  // FULLTEXT files, grouped by the table they index.
  std::map<uint64_t, std::vector<std::string>> by_table;
  for (const std::string& f : scan.fulltext_files) {
    uint64_t id = 0;
    IsFulltextAuxiliaryName(fs::path(f).stem().string(), &id);
    by_table[id].push_back(fs::path(f).filename().string());
  }
  for (const auto& [hex_id, files] : by_table) {
    uint64_t id = hex_id;
    std::string name = DictionaryTableName(scan, id);
    if (name.empty() && !files.empty()) {
      // MySQL 5.6 before its hex names wrote the id in decimal digits.
      const std::string digits = files[0].substr(4, 16);
      if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const uint64_t decimal = std::stoull(digits);
        name = DictionaryTableName(scan, decimal);
        if (!name.empty()) id = decimal;
      }
    }
    if (const size_t slash = name.find('/'); slash != std::string::npos) {
      name = DecodeMysqlFileName(name.substr(0, slash)) + "." +
             DecodeMysqlFileName(name.substr(slash + 1));
    }
    std::string list;
    for (const std::string& f : files) list += (list.empty() ? "" : ", ") + f;
    log("FULLTEXT index data of " +
        (name.empty()
             ? "the table with InnoDB table id " + std::to_string(id) + " (no dictionary names it)"
             : "table " + name + " (InnoDB table id " + std::to_string(id) + ")") +
        ": " + list + "; not tables: the server rebuilds the index from the table's rows");
  }
}

}  // namespace vostrel
