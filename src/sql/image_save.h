// The rows of a table read from pages found in an image, into a script laid
// out as a save writes one: <folder>/Scriptdata/<database>.sql, its large
// values under blobdata/, and the recovery report.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "model/engine_context.h"
#include "model/table_def.h"
#include "model/table_reader.h"
#include "scan/recovery_report.h"

namespace vostrel {

struct ImageSaveResult {
  std::filesystem::path save_folder;  // <chosen>/Scriptdata, absolute
  std::filesystem::path script_path;
  std::filesystem::path report_path;  // when it was written
  TableAccount account;
  std::vector<std::string> errors;
  bool stopped = false;

  bool success() const { return errors.empty() && !stopped && account.complete(); }
};

// `origin` is one comment line ("-- ...\r\n") said above the CREATE TABLE:
// where the definition and the rows came from.
ImageSaveResult SaveImageTable(TableReader& reader, const TableDef& table,
                               const std::string& database, const std::string& table_name,
                               const std::string& origin,
                               const std::filesystem::path& chosen_folder, EngineContext& ctx);

}  // namespace vostrel
