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
// descent is broken. Every page on the way is checked whole (Tablespace::
// ReadCheckedPage), and must be an index page of the index on the level below
// its parent's. `index_id`, when known, guides the scan in a file shared by
// many indexes.
LeafSearch FindLeafPage(Tablespace& space, uint32_t root, const ClusteredIndex& index,
                        uint64_t index_id = 0);

// Pages on the leaf chain from `first` (bounded by the file's page count),
// up to the first page that is not the one its link names.
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
// Each page is checked for being the page its link names before the link is
// followed, and for its checksum before its records are read; a page that
// fails is named and gives no rows. When something went wrong (or the leaf
// segment of `index.root` holds pages the walk did not account for) the file
// is scanned for leaves of the index the chain did not reach, whose rows are
// then saved. The result's expected_rows is what the leaves' headers count.
TableExportResult ExportInnoRows(Tablespace& space, uint32_t leaf, const std::string& table_name,
                                 const TableDef& table, const ClusteredIndex& index, RowSink& sink,
                                 EngineContext& ctx, BlobFileWriter* blobs,
                                 const char* function_name);

}  // namespace vostrel
