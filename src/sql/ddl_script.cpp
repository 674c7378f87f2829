#include "sql/ddl_script.h"

#include "innodb/foreign_keys.h"
#include "model/frm_reader.h"
#include "scan/table_definitions.h"
#include "scan/table_readers.h"
#include "sql/create_statements.h"
#include "sql/database_end.h"
#include "sql/sql_literals.h"
#include "sql/views_triggers.h"

namespace vostrel {

namespace fs = std::filesystem;

DdlSummary WriteDdlScript(const ScanResult& scan, const std::vector<SelectedItem>& items,
                          const CollationTable& collations, const CodePage& code_page,
                          RecoveryOutput& out, std::ostream& script, bool reduced) {
  DdlSummary summary;
  int32_t current_db = -1;
  std::vector<std::string> databases;
  for (const std::string& f : scan.m_databaseFolders) databases.push_back(DatabaseDisplayName(f));
  std::vector<std::string> foreign_keys;
  auto end_database = [&] {
    if (reduced || current_db < 0) return;
    for (const std::string& s : EndOfDatabaseStatements(foreign_keys, true)) script << s;
    script << "\r\n";
    foreign_keys.clear();
  };
  auto enter = [&](int32_t db_index) {
    if (db_index == current_db) return;
    end_database();
    current_db = db_index;
    const std::string& folder = scan.m_databaseFolders[static_cast<size_t>(db_index)];
    const DatabaseOptions opts = ReadDatabaseOptions(folder);
    const std::string db = DatabaseDisplayName(folder);
    script << SchemaStatement(db, opts.charset, opts.collation, true) << UseStatement(db, true);
    if (!reduced) script << kScriptChecksOff;
  };
  auto database_of = [&](const std::string& folder) -> int32_t {
    for (size_t d = 0; d < scan.m_databaseFolders.size(); ++d) {
      if (fs::path(scan.m_databaseFolders[d]) == fs::path(folder)) return static_cast<int32_t>(d);
    }
    return -1;
  };
  TableDef table;
  for (const SelectedItem& item : OrderViewsByDependency(scan, items)) {
    const int64_t i = ListIndexOf(item, scan);
    if (i < 0) continue;
    if (KindOf(item) == ItemKind::kView && !reduced) {
      const std::string& path = scan.m_viewFiles[static_cast<size_t>(i)];
      const int32_t db = database_of(fs::path(path).parent_path().string());
      const std::string text = FullViewStatement(path, databases, code_page);
      if (db < 0 || text.empty()) {
        const std::string msg = "View definition " + path + " cannot be read";
        out.ReportProblem(msg);
        summary.errors.push_back(msg);
        continue;
      }
      enter(db);
      script << "\r\n" << text << "\r\n";
      continue;
    }
    if (KindOf(item) == ItemKind::kTrigger && !reduced) {
      const TriggerEntry& t = scan.m_triggerEntries[static_cast<size_t>(i)];
      const int32_t db = database_of(t.folderPath);
      const auto triggers =
          FullTriggerDefinitions(fs::path(t.folderPath) / t.fileName, databases, code_page);
      if (db < 0 || triggers.empty()) {
        const std::string msg = "Trigger definition " + t.fileName + " cannot be read";
        out.ReportProblem(msg);
        summary.errors.push_back(msg);
        continue;
      }
      enter(db);
      script << "\r\n" << FullTriggerScript(triggers) << "\r\n";
      continue;
    }
    if (KindOf(item) != ItemKind::kTable) continue;
    const TableEntry& entry = scan.m_tableEntries[static_cast<size_t>(i)];
    if (entry.databaseIndex < 0 ||
        static_cast<size_t>(entry.databaseIndex) >= scan.m_databaseFolders.size()) {
      continue;
    }
    const std::string& folder = scan.m_databaseFolders[static_cast<size_t>(entry.databaseIndex)];
    enter(entry.databaseIndex);
    out.AddOutputLine("Processing Table " + entry.displayName);
    out.WriteLogText("Processing Table " + entry.displayName + "\r\n");
    const ResolvedDefinition r = ResolveTableDefinition(scan, entry, collations, code_page, table);
    for (const std::string& w : r.warnings) out.WriteLogText(w + "\r\n");
    if (!r.ok) {
      const std::string msg = "Table " + DatabaseDisplayName(folder) + "." + entry.displayName +
                              " has no usable definition: " + r.error;
      out.ReportProblem(msg);
      summary.errors.push_back(msg);
      ++summary.tables_failed;
      continue;
    }
    if (!r.note.empty()) {
      out.WriteLogText("Table " + DatabaseDisplayName(folder) + "." + entry.displayName + ": " +
                       r.note + "\r\n");
      script << SqlCommentLine(entry.displayName + ": " + r.note);
    }
    const std::string name = OutputTableName(entry.displayName);
    if (!reduced && scan.dictionary != nullptr && r.origin != DefinitionOrigin::kSqlFile) {
      std::vector<std::string> problems;
      AttachForeignKeys(*scan.dictionary, DatabaseFolderName(folder), entry.tableName, table,
                        &problems);
      for (const std::string& p : problems) {
        out.ReportProblem("Table " + entry.displayName + ": " + p);
        summary.errors.push_back(p);
      }
      for (std::string& fk : ForeignKeyStatements(name, table, databases)) {
        foreign_keys.push_back(std::move(fk));
      }
    }
    if (!reduced) {
      NullOutput quiet;
      const EngineContext ctx{collations, code_page, quiet};
      TakeStoredAutoIncrement(scan, entry, ctx, table);
    }
    script << TableDefinitionStatement(name, table, collations, reduced) << "\r\n\r\n";
    ++summary.tables_written;
  }
  end_database();
  return summary;
}

}  // namespace vostrel
