#include "sql/image_save.h"

#include <system_error>

#include "model/file_util.h"
#include "sql/blob_files.h"
#include "sql/create_statements.h"
#include "sql/database_end.h"
#include "sql/row_export.h"
#include "sql/script_save.h"
#include "sql/script_sink.h"

namespace vostrel {

namespace fs = std::filesystem;

ImageSaveResult SaveImageTable(TableReader& reader, const TableDef& table,
                               const std::string& database, const std::string& table_name,
                               const std::string& origin, const fs::path& chosen_folder,
                               EngineContext& ctx) {
  ImageSaveResult r;
  r.account.database = database;
  r.account.table = table_name;
  r.account.engine = "InnoDB";
  std::error_code ec;
  fs::path chosen = fs::absolute(chosen_folder, ec);
  if (ec) chosen = chosen_folder;
  r.save_folder = chosen.lexically_normal() / "Scriptdata";
  fs::create_directories(r.save_folder / "blobdata", ec);
  if (ec) {
    r.errors.push_back("cannot create " + (r.save_folder / "blobdata").string() + ": " +
                       ec.message());
    r.account.NotRead(r.errors.back());
    return r;
  }
  r.script_path = r.save_folder / ScriptFileName(database);
  ScriptSink script;
  std::string error;
  if (!script.OpenScript(r.script_path, &error)) {
    r.errors.push_back("script file " + r.script_path.string() + " cannot be created: " + error);
    r.account.NotRead(r.errors.back());
    return r;
  }
  const std::string name = OutputTableName(table_name);
  script.WriteText(BlobFolderComment(r.save_folder));
  script.WriteText(SchemaStatement(database, "", "", true));
  script.WriteText(UseStatement(database, true));
  script.WriteText(kScriptSessionSettings);
  if (!ctx.reduced_definitions) script.WriteText(kScriptChecksOff);
  script.WriteText(origin);
  script.WriteText(TableDefinitionStatement(name, table, ctx.collations, ctx.reduced_definitions));
  script.WriteLineEnd();
  script.WriteLineEnd();
  uint64_t counter = 0;
  BlobFiles blobs(r.save_folder / "blobdata",
                  ctx.blob_file_counter ? *ctx.blob_file_counter : counter);
  ctx.out.ShowProgress(true);
  const TableExportResult e =
      ExportTableRows(reader, table, name, script, &blobs, ctx, "scanpagesforscript");
  ctx.out.ShowProgress(false);
  r.account.rows = e.rows;
  r.account.expected_known = e.expected_known;
  r.account.expected = e.expected_rows;
  if (!e.error.empty()) {
    r.account.Damaged(e.error);
  } else if (!e.completed) {
    r.account.Damaged("reading the rows ended early");
  }
  if (e.damaged) r.account.Damaged(e.damage.empty() ? std::string("rows are damaged") : e.damage);
  if (ctx.stopped()) {
    r.stopped = true;
    r.account.Damaged("stopped by the user");
  }
  if (!ctx.reduced_definitions) {
    for (const std::string& s : EndOfDatabaseStatements({}, true)) script.WriteText(s);
  }
  if (!script.CloseScript()) {
    r.errors.push_back("script file " + r.script_path.string() +
                       " could not be written completely: " + script.error());
    r.account.Damaged(r.errors.back());
  }
  const RecoveryReport report{{r.account}};
  const fs::path report_path = r.save_folder / kReportFileName;
  if (WriteReportFile(report, report_path, &error)) {
    r.report_path = report_path;
  } else {
    r.errors.push_back(error);
  }
  return r;
}

}  // namespace vostrel
