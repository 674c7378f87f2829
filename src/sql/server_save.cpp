#include "sql/server_save.h"

#include "sql/create_statements.h"
#include "sql/views_triggers.h"

namespace vostrel {

namespace fs = std::filesystem;

namespace {

class ServerRun {
 public:
  ServerRun(const ScanResult& scan, const ServerParams& params, EngineContext& ctx,
            ServerSaveResult& result)
      : scan_(scan), params_(params), ctx_(ctx), result_(result),
        exporter_(scan, ctx, result.errors) {
    for (const std::string& f : scan.m_databaseFolders) databases_.push_back(DatabaseDisplayName(f));
  }

  void Table(const TableEntry& entry) {
    const std::string& folder = scan_.m_databaseFolders[static_cast<size_t>(entry.databaseIndex)];
    const std::string db = DatabaseDisplayName(folder);
    const std::string schema = std::string(kSchemaPrefix) + db;
    if (!have_current_ || db != current_db_) {
      const std::string line = "Creating Database " + schema;
      ctx_.out.AddOutputLine(line);
      ctx_.out.WriteLogText("\r\n" + line + "\r\n");
      current_db_ = db;
      have_current_ = true;
      const DatabaseOptions opts = ReadDatabaseOptions(folder);
      schema_ready_ = CreateSchemaOnServer(SchemaStatement(db, opts.charset, opts.collation, false));
    }
    if (!schema_ready_) {
      Both("Database " + schema + " not created");
      return;
    }
    const std::string table_name = OutputTableName(entry.displayName);
    Both("Processing Table " + entry.displayName);
    SavedTable saved{db, entry.displayName};
    if (exporter_.ReadDefinition(entry)) {
      Both("creating table " + table_name + " ...");
      ServerConnection conn;
      if (conn.Open(params_, schema) &&
          conn.Execute(CreateTableStatement(table_name, exporter_.table(), ctx_.collations))) {
        ServerSink sink(conn, params_, schema);
        exporter_.ExportRows(entry, table_name, sink, nullptr, kServerLoops, saved);
      } else {
        Both("Executing query for  " + table_name + " Table Failed");
        result_.errors.push_back("table " + db + "." + entry.displayName + ": " + conn.error());
      }
    }
    result_.tables.push_back(saved);
  }

  void View(const std::string& path) {
    const std::string db = DatabaseDisplayName(fs::path(path).parent_path().string());
    const std::string schema = std::string(kSchemaPrefix) + db;
    ServerConnection conn;
    if (!UseSchemaOnServer(conn, db)) {
      ctx_.out.WriteLogText(schema + " Database connection not open for views.\r\n");
      result_.errors.push_back("views of " + db + ": schema " + schema + " cannot be used");
      return;
    }
    const std::string text = ViewStatement(path, databases_, ctx_.code_page);
    if (!text.empty() && conn.Execute(text)) {
      Both("View Created succesfully.");
      ++result_.views_created;
    } else {
      Both("Error executing View.");
      result_.errors.push_back("view " + path + ": " + (text.empty() ? "unreadable" : conn.error()));
    }
  }

  void Trigger(const TriggerEntry& entry) {
    const std::string db = DatabaseDisplayName(entry.folderPath);
    const std::string schema = std::string(kSchemaPrefix) + db;
    ServerConnection conn;
    if (!UseSchemaOnServer(conn, db)) {
      ctx_.out.WriteLogText(schema + " Database connection not open for Triggers.\r\n");
      result_.errors.push_back("triggers of " + db + ": schema " + schema + " cannot be used");
      return;
    }
    for (const std::string& s :
         TriggerStatements(fs::path(entry.folderPath) / entry.fileName, databases_, ctx_.code_page)) {
      if (conn.Execute(s)) {
        Both("Trigger Created Successfully.");
        ++result_.triggers_created;
      } else {
        Both("Error executing Trigger.");
        result_.errors.push_back("trigger in " + entry.fileName + ": " + conn.error());
      }
    }
  }

 private:
  void Both(const std::string& text) {
    ctx_.out.AddOutputLine(text);
    ctx_.out.WriteLogText(text + "\r\n");
  }

  bool CreateSchemaOnServer(const std::string& statement) {
    ServerConnection conn;
    if (!conn.Open(params_, "") || !conn.Execute(statement)) {
      result_.errors.push_back("schema not created: " + conn.error());
      return false;
    }
    Both("Database Created successfully....");
    return true;
  }

  bool UseSchemaOnServer(ServerConnection& conn, const std::string& db) {
    return conn.Open(params_, "") && conn.Execute(UseStatement(db, false));
  }

  const ScanResult& scan_;
  const ServerParams& params_;
  EngineContext& ctx_;
  ServerSaveResult& result_;
  TableExporter exporter_;
  std::vector<std::string> databases_;
  std::string current_db_;
  bool have_current_ = false;
  bool schema_ready_ = false;
};

}  // namespace

ServerSaveResult RunServerSave(const ScanResult& scan, const std::vector<SelectedItem>& items,
                               const ServerParams& params, EngineContext& ctx) {
  ServerSaveResult result;
  ctx.out.ShowProgress(true);
  ServerRun run(scan, params, ctx, result);
  for (const SelectedItem& item : items) {
    ctx.out.SetCaptionText("");
    if (ctx.stopped()) break;
    const int64_t i = ListIndexOf(item, scan);
    if (i < 0) continue;
    switch (KindOf(item)) {
      case ItemKind::kView:
        run.View(scan.m_viewFiles[static_cast<size_t>(i)]);
        break;
      case ItemKind::kTrigger:
        run.Trigger(scan.m_triggerEntries[static_cast<size_t>(i)]);
        break;
      case ItemKind::kTable: {
        const TableEntry& entry = scan.m_tableEntries[static_cast<size_t>(i)];
        if (entry.databaseIndex >= 0 &&
            static_cast<size_t>(entry.databaseIndex) < scan.m_databaseFolders.size()) {
          run.Table(entry);
        }
        break;
      }
      case ItemKind::kNone:
        break;
    }
  }
  result.stopped = ctx.stopped();
  ctx.out.ShowProgress(false);
  ctx.out.ShowMessage("Saving process completed successfully.");
  ctx.out.WriteLogText("Saving process completed successfully....\r\n");
  ctx.out.WriteLogText("\r\n " + std::string(84, '*') + "\r\n");
  return result;
}

}  // namespace vostrel
