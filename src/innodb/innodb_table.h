// Locating a table's rows in a tablespace and exporting them.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "innodb/clustered_fields.h"
#include "innodb/extern_value.h"
#include "innodb/page.h"
#include "model/engine_context.h"
#include "myisam/myisam_export.h"
#include "sql/row_sink.h"

namespace vostrel {

inline constexpr uint32_t kClusteredRootIbd = 3;

struct LeafSearch {
  uint32_t leaf = 0;       // 0: not found
  bool redundant = false;  // ROW_FORMAT=REDUNDANT pages, not read here
  bool from_scan = false;  // the descent failed; found by scanning the pages
  std::string problem;     // why the descent failed
};

// The leftmost leaf below `root`; falls back to a scan of the file when the
// descent is broken.
// `index_id`, when known, guides the scan in a file shared by many indexes.
LeafSearch FindLeafPage(Tablespace& space, uint32_t root, const ClusteredIndex& index,
                        uint64_t index_id = 0);

// Pages on the leaf chain from `first` (bounded by the file's page count).
uint64_t CountLeafPages(Tablespace& space, uint32_t first, const std::atomic<bool>* stop);

// What keeps page `p`, reached along a leaf chain of index `index_id`, from
// being one of its leaves ("" when it is one). Its records would belong to
// another index, or be node pointers, and its links lead off the chain.
std::string ForeignLeafProblem(const uint8_t* page, uint32_t p, uint64_t index_id);
// A leaf must link back to the leaf it was reached from; when it does not,
// the chain skips or repeats leaves and rows may be missing.
std::string BackLinkProblem(const uint8_t* page, uint32_t p, uint32_t from);

// Every live record from `leaf` on as one INSERT statement. `blobs` receives
// large values of a script save; nullptr keeps them inline.
TableExportResult ExportInnoRows(Tablespace& space, uint32_t leaf, const std::string& table_name,
                                 const TableDef& table, const ClusteredIndex& index, RowSink& sink,
                                 EngineContext& ctx, BlobFileWriter* blobs,
                                 const char* function_name);

}  // namespace vostrel
