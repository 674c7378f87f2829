// Checked pages by number, wherever they come from: a tablespace file, or
// pages found in an image.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "innodb/page.h"

namespace vostrel {

struct PageSource {
  // Page n checked whole into `out`: "" when it is, else what is wrong ("page
  // 5 of t.ibd fails its checksum").
  std::function<std::string(uint32_t n, PageBuffer& out)> read;
  uint32_t space_id = kFilNull;  // kFilNull: any
  uint64_t page_count = 0;       // pages are numbered below it
  std::string file_name;
  bool compressed = false;  // ROW_FORMAT=COMPRESSED: pages of another size
};

PageSource TablespacePages(Tablespace& space);

}  // namespace vostrel
