#include "sql/ddl_script.h"

#include "model/frm_reader.h"
#include "sql/create_statements.h"

namespace vostrel {

DdlSummary WriteDdlScript(const ScanResult& scan, const std::vector<SelectedItem>& items,
                          const CollationTable& collations, const CodePage& code_page,
                          RecoveryOutput& out, std::ostream& script) {
  DdlSummary summary;
  int32_t current_db = -1;
  TableDef table;
  for (const SelectedItem& item : items) {
    if (KindOf(item) != ItemKind::kTable) continue;
    const int64_t i = ListIndexOf(item, scan);
    if (i < 0) continue;
    const TableEntry& entry = scan.m_tableEntries[static_cast<size_t>(i)];
    if (entry.databaseIndex < 0 ||
        static_cast<size_t>(entry.databaseIndex) >= scan.m_databaseFolders.size()) {
      continue;
    }
    const std::string& folder = scan.m_databaseFolders[static_cast<size_t>(entry.databaseIndex)];
    if (entry.databaseIndex != current_db) {
      current_db = entry.databaseIndex;
      const DatabaseOptions opts = ReadDatabaseOptions(folder);
      const std::string db = DatabaseDisplayName(folder);
      script << SchemaStatement(db, opts.charset, opts.collation, true) << UseStatement(db, true);
    }
    out.AddOutputLine("Processing Table " + entry.displayName);
    out.WriteLogText("Processing Table " + entry.displayName + "\r\n");
    if (!entry.definition_problem.empty()) {
      const std::string msg = "Table " + DatabaseDisplayName(folder) + "." + entry.displayName +
                              " has no usable definition: " + entry.definition_problem;
      out.ReportProblem(msg);
      summary.errors.push_back(msg);
      ++summary.tables_failed;
      continue;
    }
    const FrmReadResult r =
        ReadTableDefinition(folder + "/" + entry.tableName + ".frm", collations, code_page, table);
    for (const std::string& w : r.warnings) {
      out.WriteLogText("Table definition " + entry.tableName + ".frm: " + w + "\r\n");
    }
    if (!r.ok) {
      const std::string msg = "Table definition " + folder + "/" + entry.tableName +
                              ".frm cannot be read: " + r.error;
      out.ReportProblem(msg);
      summary.errors.push_back(msg);
      ++summary.tables_failed;
      continue;
    }
    script << CreateTableStatement(OutputTableName(entry.displayName), table, collations)
           << "\r\n\r\n";
    ++summary.tables_written;
  }
  return summary;
}

}  // namespace vostrel
