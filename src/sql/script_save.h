// The save-as-script run: the selected tables of every database into one SQL
// script per database under <folder>/Scriptdata.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "model/engine_context.h"
#include "scan/scan.h"
#include "scan/selection.h"
#include "sql/table_export.h"

namespace vostrel {

struct ScriptSaveResult {
  std::filesystem::path save_folder;  // <chosen>/Scriptdata, absolute
  std::vector<SavedTable> tables;     // every selected table's account
  std::vector<std::string> errors;    // things the user must know about
  // The pass over deleted rows (--deleted-rows): its accounts and problems,
  // kept apart so that the live rows' account is the same with or without it.
  std::vector<SavedTable> deleted_tables;
  std::vector<std::string> deleted_errors;
  bool stopped = false;
  std::filesystem::path report_path;  // recovery-report.tsv, when it was written

  RecoveryReport report() const { return RecoveryReport{tables}; }
  // Every selected table complete and nothing else went wrong.
  bool success() const { return errors.empty() && !stopped && report().complete(); }
};

// Statements every database script carries after USE, so that the values load
// the same whatever the server's defaults: UTF-8 text, UTC timestamps, and
// backslash escapes and zero dates accepted.
inline constexpr const char* kScriptSessionSettings =
    "/*!40101 SET NAMES utf8 */;\r\n"
    "/*!50503 SET NAMES utf8mb4 */;\r\n"
    "SET time_zone='+00:00';\r\n"
    "SET sql_mode='NO_AUTO_VALUE_ON_ZERO';\r\n";

// The comment each script starts with: where its LOAD_FILE values are, and
// what the server needs to read them.
std::string BlobFolderComment(const std::filesystem::path& save_folder);

// What the run says at its end: "Script Created successfully" only when it was.
std::string ScriptCompletionMessage(const ScriptSaveResult& result);

ScriptSaveResult RunScriptSave(const ScanResult& scan, const std::vector<SelectedItem>& items,
                               const std::filesystem::path& chosen_folder, EngineContext& ctx);

// The script of a database's deleted rows: "<db>_deleted.sql".
std::string DeletedScriptFileName(const std::string& database_folder);
// The database deleted rows go to, before the rep_ prefix every saved
// schema gets: rep_<db>_deleted.
inline std::string DeletedDatabaseName(const std::string& database) {
  return database + "_deleted";
}

// File name for a database's script: the decoded name when it is a safe file
// name, else the name as found on disk.
std::string ScriptFileName(const std::string& database_folder);

}  // namespace vostrel
