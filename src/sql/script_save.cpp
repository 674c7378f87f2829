#include "sql/script_save.h"

#include <fstream>
#include <set>
#include <system_error>

#include "sql/create_statements.h"
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

namespace {

class ScriptRun {
 public:
  ScriptRun(const ScanResult& scan, EngineContext& ctx, ScriptSaveResult& result)
      : scan_(scan), ctx_(ctx), result_(result), exporter_(scan, ctx, result.errors) {
    for (const std::string& f : scan.m_databaseFolders) databases_.push_back(DatabaseDisplayName(f));
  }

  // Makes the script of the database in `folder` the open one. A database
  // met again later in the run continues its own script.
  bool EnsureScript(const std::string& folder) {
    const std::string db = DatabaseDisplayName(folder);
    const fs::path script_path = result_.save_folder / ScriptFileName(folder);
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
      return false;
    }
    if (!again) {
      written_.insert(script_path);
      const DatabaseOptions opts = ReadDatabaseOptions(folder);
      script_.WriteText(SchemaStatement(db, opts.charset, opts.collation, true));
      script_.WriteText(UseStatement(db, true));
      script_.WriteText(kScriptSessionSettings);
    }
    return true;
  }

  void View(const std::string& path) {
    const std::string folder = fs::path(path).parent_path().string();
    const std::string text = ViewStatement(path, databases_, ctx_.code_page);
    if (text.empty()) {
      Report("View definition " + path + " cannot be read");
      return;
    }
    if (!EnsureScript(folder)) return;
    script_.WriteLineEnd();
    script_.WriteText(text);
    script_.WriteLineEnd();
  }

  void Trigger(const TriggerEntry& entry) {
    const fs::path path = fs::path(entry.folderPath) / entry.fileName;
    const auto statements = TriggerStatements(path, databases_, ctx_.code_page);
    if (statements.empty()) {
      Report("Trigger definition " + path.string() + " cannot be read");
      return;
    }
    if (!EnsureScript(entry.folderPath)) return;
    script_.WriteLineEnd();
    script_.WriteText(TriggerScript(statements));
    script_.WriteLineEnd();
  }

  void Table(const TableEntry& entry) {
    const std::string& folder = scan_.m_databaseFolders[static_cast<size_t>(entry.databaseIndex)];
    if (!EnsureScript(folder)) return;
    const std::string table_name = OutputTableName(entry.displayName);
    ctx_.out.AddOutputLine("Processing Table " + entry.displayName);
    ctx_.out.WriteLogText("Processing Table " + entry.displayName + "\r\n");
    SavedTable saved{DatabaseDisplayName(folder), entry.displayName};
    if (exporter_.ReadDefinition(entry)) {
      script_.WriteText(CreateTableStatement(table_name, exporter_.table(), ctx_.collations));
      script_.WriteLineEnd();
      script_.WriteLineEnd();
      BlobFileWriter blobs(result_.save_folder / "blobdata",
                           ctx_.blob_file_counter ? *ctx_.blob_file_counter : local_blob_counter_);
      exporter_.ExportRows(entry, table_name, script_, &blobs, kScriptLoops, saved);
    }
    result_.tables.push_back(saved);
  }

  void Report(const std::string& msg) { exporter_.Report(msg); }

  void CloseScript() {
    if (!script_.is_open()) return;
    const fs::path p = script_.path();
    if (!script_.CloseScript()) {
      const std::string msg = "Script file " + p.string() + " could not be written completely";
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
};

}  // namespace

ScriptSaveResult RunScriptSave(const ScanResult& scan, const std::vector<SelectedItem>& items,
                               const fs::path& chosen_folder, EngineContext& ctx) {
  ScriptSaveResult result;
  ctx.out.ShowProgress(true);
  result.save_folder = chosen_folder / "Scriptdata";
  std::error_code ec;
  fs::create_directories(result.save_folder / "blobdata", ec);
  if (ec) result.errors.push_back("cannot create " + (result.save_folder / "blobdata").string());
  {
    std::ofstream f(result.save_folder / "ActualSaveFilepath.txt", std::ios::binary | std::ios::trunc);
    f << result.save_folder.string();
  }
  ctx.out.WriteLogText("Script Saving Path:\t" + result.save_folder.string());

  ScriptRun run(scan, ctx, result);
  for (const SelectedItem& item : items) {
    ctx.out.SetCaptionText("");
    if (ctx.stopped()) {
      result.stopped = true;
      break;
    }
    const int64_t i = ListIndexOf(item, scan);
    if (i < 0) continue;
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
  ctx.out.WriteLogText("Script Saving Completed...\r\n");
  ctx.out.WriteLogText("\r\n " + std::string(84, '*') + "\r\n");
  ctx.out.ShowProgress(false);
  ctx.out.ShowMessage("Script Created successfully");
  return result;
}

}  // namespace vostrel
