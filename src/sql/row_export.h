// The export loop every table goes through, whatever its format: the
// reader's records as one INSERT statement each, formatted on helper threads
// and sent to a sink in stored order.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "model/engine_context.h"
#include "model/table_def.h"
#include "model/table_reader.h"
#include "sql/blob_files.h"
#include "sql/row_sink.h"

namespace vostrel {

struct TableExportResult {
  uint64_t rows = 0;       // statements written or executed without error
  uint64_t rejected = 0;   // statements a server refused
  bool completed = false;  // false when an error ended the loop
  bool damaged = false;
  std::string damage;           // what the damage line named
  std::string error;            // what ended the loop early
  std::string first_rejection;  // the server's reason for the first row it refused
  uint64_t altered = 0;         // the server's warnings of values it changed
  std::string first_altered;
  // Live rows the source's own records say exist, when every part holding
  // rows could be counted.
  uint64_t expected_rows = 0;
  bool expected_known = false;
  // Pass over deleted rows: records left out because a field is no valid value.
  uint64_t left_out = 0;
  // Pass over deleted rows: records passed over as copies of a live row (its
  // key) or of a record already written.
  uint64_t copies = 0;
};

// What each row becomes: an INSERT statement, or a line of a data file for
// LOAD DATA INFILE (load_data_writer.h).
enum class RowText { kInsert, kLoadData };

// `blobs` takes the large values of a script save; without it they go
// inline. `function_name` is the loop's name as its error line gives it.
TableExportResult ExportTableRows(TableReader& reader, const TableDef& table,
                                  const std::string& table_name, RowSink& sink, BlobFiles* blobs,
                                  EngineContext& ctx, const char* function_name,
                                  RowText form = RowText::kInsert,
                                  const std::unordered_set<std::string>* live_keys = nullptr);

// The total line of a table: "Total Number of record inserted =  N ."
std::string TotalLine(uint64_t rows);

}  // namespace vostrel
