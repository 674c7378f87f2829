#include "sql/script_save.h"

#include <map>
#include <new>
#include <set>
#include <system_error>

#include "model/file_util.h"
#include "sql/create_statements.h"
#include "sql/database_end.h"
#include "sql/load_data_writer.h"
#include "sql/script_sink.h"
#include "sql/views_triggers.h"

namespace vostrel {

namespace fs = std::filesystem;

std::string ScriptFileName(const std::string& database_folder) {
  const std::string display = DatabaseDisplayName(database_folder);
  const bool safe = !display.empty() && display != "." && display != ".." &&
                    display.find('/') == std::string::npos &&
                    display.find('\0') == std::string::npos;
  return (safe ? display : DatabaseFolderName(database_folder)) + ".sql";
}

std::string DeletedScriptFileName(const std::string& database_folder) {
  std::string name = ScriptFileName(database_folder);
  return name.substr(0, name.size() - 4) + "_deleted.sql";
}

std::string BlobFolderComment(const fs::path& save_folder) {
  return "-- Values stored apart are loaded with LOAD_FILE() from " +
         (save_folder / "blobdata").string() +
         "/.\r\n-- The server loading this script must be able to read that folder (FILE "
         "privilege, secure_file_priv,\r\n-- max_allowed_packet); where it cannot, LOAD_FILE() "
         "gives NULL without an error.\r\n";
}

std::string ScriptCompletionMessage(const ScriptSaveResult& r) {
  if (r.success()) return "Script Created successfully";
  const RecoveryReport report = r.report();
  std::string text = r.stopped ? "Script saving was stopped" : "Script created with problems";
  if (report.tables.empty()) {
    text = "Nothing was saved: no table, view or trigger was selected";
  } else if (!report.complete()) {
    text += ": " + std::to_string(report.incomplete()) + " of " +
            std::to_string(report.tables.size()) + " tables are not complete";
  }
  if (!r.report_path.empty()) text += "; see " + r.report_path.string();
  if (!r.errors.empty()) text += " (" + std::to_string(r.errors.size()) + " problems in the log)";
  return text;
}

namespace {

class ScriptRun {
 public:
  // `deleted`: the pass over deleted rows, into scripts of their own.
  ScriptRun(const ScanResult& scan, EngineContext& ctx, ScriptSaveResult& result,
            bool deleted = false)
      : scan_(scan),
        ctx_(ctx),
        result_(result),
        exporter_(scan, ctx, deleted ? result.deleted_errors : result.errors),
        deleted_(deleted),
        accounts_(deleted ? result.deleted_tables : result.tables) {
    for (const std::string& f : scan.m_databaseFolders)
      databases_.push_back(DatabaseDisplayName(f));
  }

  // Makes the script of the database in `folder` the open one. A database
  // met again later in the run continues its own script.
  bool EnsureScript(const std::string& folder) {
    const std::string db =
        deleted_ ? DeletedDatabaseName(DatabaseDisplayName(folder)) : DatabaseDisplayName(folder);
    const fs::path script_path =
        result_.save_folder / (deleted_ ? DeletedScriptFileName(folder) : ScriptFileName(folder));
    if (script_path == current_path_ && script_.is_open()) return true;
    if (script_path == current_path_ && failed_.count(script_path)) return false;
    current_path_ = script_path;
    CloseScript();
    const bool again = written_.count(script_path) > 0;
    if (!again) {
      const std::string line = "Creating Script File For Database " + db;
      ctx_.out.AddOutputLine(line);
      ctx_.out.WriteLogText("\r\n" + line + "\r\n");
    }
    std::string error;
    if (!script_.OpenScript(script_path, &error, again)) {
      const std::string msg = "Sctipt File for Database " + db + " not created.";
      ctx_.out.AddOutputLine(msg);
      ctx_.out.WriteLogText("\r\n" + msg + "\r\n");
      result_.errors.push_back(msg + " (" + error + ")");
      failed_.insert(script_path);
      failure_ = "script file " + script_path.string() + " cannot be created: " + error;
      return false;
    }
    if (!again) {
      written_.insert(script_path);
      const DatabaseOptions opts = ReadDatabaseOptions(folder);
      script_.WriteText(BlobFolderComment(result_.save_folder));
      script_.WriteText(SchemaStatement(db, opts.charset, opts.collation, true));
      script_.WriteText(UseStatement(db, true));
      script_.WriteText(kScriptSessionSettings);
      if (!ctx_.reduced_definitions || deleted_) {
        script_.WriteText(kScriptChecksOff);
        // Rows load in transactions, each table's ending with a COMMIT.
        script_.WriteText("SET autocommit=0;\r\n");
      }
    }
    return true;
  }

  void View(const std::string& path) {
    const std::string folder = fs::path(path).parent_path().string();
    std::string definer;
    const std::string text = ctx_.reduced_definitions
                                 ? ViewStatement(path, databases_, ctx_.code_page)
                                 : FullViewStatement(path, databases_, ctx_.code_page, &definer);
    if (text.empty()) {
      Report("View definition " + path + " cannot be read");
      return;
    }
    if (!definer.empty()) definers_.insert(definer);
    if (!EnsureScript(folder)) return;
    script_.WriteLineEnd();
    script_.WriteText(text);
    script_.WriteLineEnd();
  }

  void Trigger(const TriggerEntry& entry) {
    const fs::path path = fs::path(entry.folderPath) / entry.fileName;
    std::string text;
    if (ctx_.reduced_definitions) {
      const auto statements = TriggerStatements(path, databases_, ctx_.code_page);
      if (!statements.empty()) text = TriggerScript(statements);
    } else {
      const auto triggers = FullTriggerDefinitions(path, databases_, ctx_.code_page);
      for (const TriggerDefinition& t : triggers) {
        if (!t.definer.empty()) definers_.insert(t.definer);
      }
      if (!triggers.empty()) text = FullTriggerScript(triggers);
    }
    if (text.empty()) {
      Report("Trigger definition " + path.string() + " cannot be read");
      return;
    }
    if (!EnsureScript(entry.folderPath)) return;
    script_.WriteLineEnd();
    script_.WriteText(text);
    script_.WriteLineEnd();
  }

  void Table(const TableEntry& entry) {
    const std::string& folder = scan_.m_databaseFolders[static_cast<size_t>(entry.databaseIndex)];
    SavedTable saved = exporter_.StartAccount(entry);
    try {
      TableTo(entry, folder, saved);
    } catch (const std::bad_alloc&) {
      saved.Mark(saved.rows > 0 ? TableState::kDamaged : TableState::kNotRead,
                 "out of memory while saving the table");
      Report("Table " + saved.database + "." + saved.table + ": out of memory; the run goes on");
    } catch (const std::exception& e) {
      saved.Mark(saved.rows > 0 ? TableState::kDamaged : TableState::kNotRead,
                 std::string("saving the table failed: ") + e.what());
      Report("Table " + saved.database + "." + saved.table + ": " + e.what());
    }
    accounts_.push_back(saved);
  }

  // A selected table the run did not reach.
  void Skipped(const TableEntry& entry, const std::string& why) {
    SavedTable saved = exporter_.StartAccount(entry);
    saved.NotRead(why);
    accounts_.push_back(saved);
  }

  void Report(const std::string& msg) { exporter_.Report(msg); }

  void TableTo(const TableEntry& entry, const std::string& folder, SavedTable& saved) {
    if (deleted_) {
      // A table whose deleted rows cannot be read gets no empty table that
      // would look like one without them; its account says why.
      SavedTable probe = saved;
      if (!exporter_.ReadDefinition(entry, probe)) {
        saved = probe;
        return;
      }
      exporter_.Probe(entry, probe);
      if (probe.state == TableState::kNotRead || probe.state == TableState::kDefinitionOnly) {
        saved = probe;
        return;
      }
    }
    if (!EnsureScript(folder)) {
      saved.NotRead(failure_);
      return;
    }
    const std::string table_name = OutputTableName(entry.displayName);
    ctx_.out.AddOutputLine("Processing Table " + entry.displayName);
    ctx_.out.WriteLogText("Processing Table " + entry.displayName + "\r\n");
    if (!exporter_.ReadDefinition(entry, saved)) return;
    script_.WriteText(exporter_.definition_comment());
    if (deleted_) {
      // Deleted rows may share keys with each other and with live rows: their
      // table keeps the columns only.
      TableDef plain = exporter_.table();
      plain.keys.clear();
      plain.foreign_keys.clear();
      plain.checks.clear();
      plain.options.auto_increment = 0;
      script_.WriteText(TableDefinitionStatement(table_name, plain, ctx_.collations, false));
    } else {
      script_.WriteText(TableDefinitionStatement(table_name, exporter_.table(), ctx_.collations,
                                                 ctx_.reduced_definitions));
    }
    if (!ctx_.reduced_definitions && !deleted_) {
      for (std::string& fk : ForeignKeyStatements(table_name, exporter_.table(), databases_)) {
        deferred_[current_path_].push_back(std::move(fk));
      }
    }
    script_.WriteLineEnd();
    script_.WriteLineEnd();
    if (ctx_.load_data_files) {
      DataFileTo(entry, folder, table_name, saved);
      return;
    }
    BlobFiles blobs(result_.save_folder / "blobdata",
                    ctx_.blob_file_counter ? *ctx_.blob_file_counter : local_blob_counter_);
    exporter_.ExportRows(entry, table_name, script_, &blobs, kScriptLoops, saved);
    if (script_.failed()) {
      saved.Damaged("script file " + script_.path().string() +
                    " could not be written: " + script_.error());
    }
  }

  // The rows into a data file of their own beside the script, which the
  // script loads with LOAD DATA; large values stay inline.
  void DataFileTo(const TableEntry& entry, const std::string& folder, const std::string& table_name,
                  SavedTable& saved) {
    const fs::path data_path =
        result_.save_folder /
        (fs::path(ScriptFileName(folder)).stem().string() + "." + entry.tableName + ".txt");
    ScriptSink data;
    std::string error;
    if (!data.OpenScript(data_path, &error)) {
      saved.DefinitionOnly("data file " + data_path.string() + " cannot be created: " + error);
      Report("Table " + saved.database + "." + saved.table + ": data file " + data_path.string() +
             " cannot be created: " + error);
      return;
    }
    exporter_.ExportRows(entry, table_name, data, nullptr, kScriptLoops, saved, RowText::kLoadData);
    if (!data.CloseScript()) {
      saved.Damaged("data file " + data_path.string() + " could not be written: " + data.error());
    }
    script_.WriteText(LoadDataStatement(data_path.string(), table_name, exporter_.table()));
    script_.WriteText("COMMIT;\r\n\r\n");
  }

  // The end of every database script of the full form: its foreign keys and
  // the checks back on; and the accounts the views and triggers run as.
  void FinishDatabases() {
    if (ctx_.reduced_definitions && !deleted_) return;
    CloseScript();
    for (const fs::path& path : written_) {
      if (failed_.count(path)) continue;
      std::string error;
      if (!script_.OpenScript(path, &error, true)) {
        Report("Script file " + path.string() + " could not be finished: " + error);
        continue;
      }
      for (const std::string& s : EndOfDatabaseStatements(deferred_[path], true)) {
        script_.WriteText(s);
      }
      script_.WriteText("SET autocommit=1;\r\n");
      CloseScript();
    }
    if (!definers_.empty()) {
      std::string list;
      for (const std::string& d : definers_) list += (list.empty() ? "" : ", ") + d;
      ctx_.out.WriteLogText("Views and triggers of the scripts run as " + list +
                            ": where the loading server lacks one of these accounts it still "
                            "makes the object (with a warning), and the object fails when used "
                            "until the DBA creates that account.\r\n");
    }
  }

  void CloseScript() {
    if (!script_.is_open()) return;
    const fs::path p = script_.path();
    if (!script_.CloseScript()) {
      const std::string msg =
          "Script file " + p.string() + " could not be written completely: " + script_.error();
      ctx_.out.AddOutputLine(msg);
      ctx_.out.WriteLogText(msg + "\r\n");
      result_.errors.push_back(msg);
    }
  }

 private:
  const ScanResult& scan_;
  EngineContext& ctx_;
  ScriptSaveResult& result_;
  ScriptSink script_;
  fs::path current_path_;
  std::set<fs::path> written_;
  std::set<fs::path> failed_;
  std::vector<std::string> databases_;
  TableExporter exporter_;
  uint64_t local_blob_counter_ = 0;
  std::string failure_;  // why the open script could not be created
  std::map<fs::path, std::vector<std::string>> deferred_;  // foreign keys per script
  std::set<std::string> definers_;
  const bool deleted_;
  std::vector<SavedTable>& accounts_;
};

}  // namespace

ScriptSaveResult RunScriptSave(const ScanResult& scan, const std::vector<SelectedItem>& items,
                               const fs::path& chosen_folder, EngineContext& ctx) {
  ScriptSaveResult result;
  ctx.out.ShowProgress(true);
  // The folder goes into LOAD_FILE() paths, which the server resolves against
  // its own data directory: relative ones would load NULL without an error.
  std::error_code ec;
  fs::path chosen = fs::absolute(chosen_folder, ec);
  if (ec) chosen = chosen_folder;
  result.save_folder = chosen.lexically_normal() / "Scriptdata";
  fs::create_directories(result.save_folder / "blobdata", ec);
  if (ec) {
    const std::string msg =
        "cannot create " + (result.save_folder / "blobdata").string() + ": " + ec.message();
    ctx.out.ReportProblem(msg);
    result.errors.push_back(msg);
  }
  std::string error;
  if (!WriteOutputFile(result.save_folder / "ActualSaveFilepath.txt", result.save_folder.string(),
                       &error)) {
    ctx.out.ReportProblem(error);
    result.errors.push_back(error);
  }
  ctx.out.WriteLogText("Script Saving Path:\t" + result.save_folder.string());

  ScriptRun run(scan, ctx, result);
  for (const SelectedItem& item : OrderViewsByDependency(scan, items)) {
    ctx.out.SetCaptionText("");
    const int64_t i = ListIndexOf(item, scan);
    if (i < 0) continue;
    if (ctx.stopped()) {
      result.stopped = true;
      if (KindOf(item) == ItemKind::kTable) {
        run.Skipped(scan.m_tableEntries[static_cast<size_t>(i)],
                    "the save was stopped before this table");
      }
      continue;
    }
    if (KindOf(item) == ItemKind::kView) {
      run.View(scan.m_viewFiles[static_cast<size_t>(i)]);
      continue;
    }
    if (KindOf(item) == ItemKind::kTrigger) {
      run.Trigger(scan.m_triggerEntries[static_cast<size_t>(i)]);
      continue;
    }
    const TableEntry& entry = scan.m_tableEntries[static_cast<size_t>(i)];
    if (entry.databaseIndex < 0 ||
        static_cast<size_t>(entry.databaseIndex) >= scan.m_databaseFolders.size()) {
      continue;
    }
    run.Table(entry);
  }
  if (ctx.stopped()) result.stopped = true;
  run.CloseScript();
  run.FinishDatabases();
  if (ctx.save_deleted_rows && !ctx.stopped()) {
    // Deleted rows after the live ones, into their own scripts: the live
    // scripts stay what they are without the option.
    EngineContext deleted_ctx = ctx;
    deleted_ctx.deleted_pass = true;
    // Deleted rows carry their place in a comment: statements, not data files.
    deleted_ctx.load_data_files = false;
    ctx.out.WriteLogText("\r\nDeleted rows\r\n");
    ScriptRun pass(scan, deleted_ctx, result, true);
    for (const SelectedItem& item : items) {
      if (KindOf(item) != ItemKind::kTable || ctx.stopped()) continue;
      const int64_t i = ListIndexOf(item, scan);
      if (i < 0) continue;
      const TableEntry& entry = scan.m_tableEntries[static_cast<size_t>(i)];
      if (entry.databaseIndex < 0 ||
          static_cast<size_t>(entry.databaseIndex) >= scan.m_databaseFolders.size()) {
        continue;
      }
      pass.Table(entry);
    }
    pass.CloseScript();
    pass.FinishDatabases();
    for (const std::string& line : DeletedRowLines(result.deleted_tables)) {
      ctx.out.AddOutputLine(line);
      ctx.out.WriteLogText(line + "\r\n");
    }
    if (!WriteOutputFile(result.save_folder / kDeletedReportFileName,
                         DeletedRowsTsv(result.deleted_tables), &error)) {
      ctx.out.ReportProblem(error);
      result.deleted_errors.push_back(error);
    }
    // A stop during the pass is the run's stop too.
    if (ctx.stopped()) result.stopped = true;
  }
  if (items.empty()) {
    const std::string msg = "nothing was selected: " + scan.m_scanPath +
                            " holds no table, view or trigger that could be saved";
    ctx.out.ReportProblem(msg);
    result.errors.push_back(msg);
  }
  const fs::path report_path = result.save_folder / kReportFileName;
  if (WriteReportFile(result.report(), report_path, &error)) {
    result.report_path = report_path;
  } else {
    ctx.out.ReportProblem(error);
    result.errors.push_back(error);
  }
  ctx.out.WriteLogText("Script Saving Completed...\r\n");
  ctx.out.WriteLogText("\r\n " + std::string(84, '*') + "\r\n");
  ctx.out.ShowProgress(false);
  ctx.out.ShowMessage(ScriptCompletionMessage(result));
  return result;
}

}  // namespace vostrel
