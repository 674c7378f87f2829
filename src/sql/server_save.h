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
  std::vector<SavedTable> tables;  // every selected table's account
  std::vector<std::string> errors;
  int views_created = 0;
  int triggers_created = 0;
  bool stopped = false;
  std::string connection_lost;  // why the run ended early, when the server went away
  // The pass over deleted rows (into rep_<db>_deleted), kept apart from the live account.
  std::vector<SavedTable> deleted_tables;
  std::vector<std::string> deleted_errors;

  RecoveryReport report() const { return RecoveryReport{tables}; }
  bool success() const {
    return errors.empty() && !stopped && connection_lost.empty() && report().complete();
  }
};

// What the run says at its end: "Saving process completed successfully." only when it was.
std::string ServerCompletionMessage(const ServerSaveResult& result);

ServerSaveResult RunServerSave(const ScanResult& scan, const std::vector<SelectedItem>& items,
                               const ServerParams& params, EngineContext& ctx);

}  // namespace vostrel
