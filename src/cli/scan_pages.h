// The scan-pages command: InnoDB pages found anywhere in a file or device,
// listed by index, and one index's rows recovered with a definition given apart.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

#include "model/engine_context.h"
#include "model/sql_definitions.h"

namespace vostrel {

struct ScanPagesRequest {
  std::string image;
  uint64_t index_id = 0;           // 0: list only
  uint32_t space_id = 0xFFFFFFFF;  // the tablespace whose pages of the index to read; any
  std::shared_ptr<const SqlDefinitionSet> definitions;
  std::string table;  // which statement of the definitions file, when it holds several
  std::string frm;
  bool all_leaves = false;  // also leaves their tablespace marks free
  std::string script_dir;
};

// Exit status: 0 when what was asked was done whole, 1 when nothing was
// found or rows could not all be read.
int RunScanPages(const ScanPagesRequest& request, EngineContext& ctx, std::ostream& out);

}  // namespace vostrel
