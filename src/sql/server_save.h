// The save-in-database run: the selected tables, views and triggers recreated
// on a live server in "rep_" schemas.
#pragma once

#include <string>
#include <vector>

#include "model/engine_context.h"
#include "scan/scan.h"
#include "scan/selection.h"
#include "sql/server_connection.h"
#include "sql/table_export.h"

namespace vostrel {

struct ServerSaveResult {
  std::vector<SavedTable> tables;
  std::vector<std::string> errors;
  int views_created = 0;
  int triggers_created = 0;
  bool stopped = false;
};

ServerSaveResult RunServerSave(const ScanResult& scan, const std::vector<SelectedItem>& items,
                               const ServerParams& params, EngineContext& ctx);

}  // namespace vostrel
