// What every reader needs besides the files: collations, the code page, the
// reporting interface and the stop request of a running save.
#pragma once

#include <atomic>

#include "model/collation_table.h"
#include "model/text_codec.h"
#include "scan/recovery_output.h"

namespace vostrel {

struct EngineContext {
  const CollationTable& collations;
  const CodePage& code_page;
  RecoveryOutput& out;
  const std::atomic<bool>* stop = nullptr;  // set by the user to end a save
  // Numbers the large-value files; kept by the application so that later saves go on counting.
  uint64_t* blob_file_counter = nullptr;
  // Set by the run itself when it cannot go on (a lost server connection).
  std::atomic<bool>* abort = nullptr;
  // The reduced table definitions of earlier versions (--reduced-definitions):
  // columns, types and the primary and unique keys only.
  bool reduced_definitions = false;
  // Scripts join the rows of a table into multi-row INSERTs (--extended-insert).
  bool extended_insert = false;
  // Scripts keep each table's rows in a data file that the script loads with
  // LOAD DATA (--format csv).
  bool load_data_files = false;
  // Tables a server save sends at once, each over a connection of its own.
  unsigned jobs = 1;
  // Deleted rows are saved too, apart from the live ones (--deleted-rows).
  bool save_deleted_rows = false;
  // Set by a saver on its own copy for the pass over deleted rows: readers
  // then hand over records that are no longer rows, and only those.
  bool deleted_pass = false;

  bool stopped() const {
    return (stop != nullptr && stop->load(std::memory_order_relaxed)) ||
           (abort != nullptr && abort->load(std::memory_order_relaxed));
  }
};

}  // namespace vostrel
