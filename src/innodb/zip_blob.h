// Values of ROW_FORMAT=COMPRESSED tables kept off the page: one zlib stream
// across a chain of FIL_PAGE_TYPE_ZBLOB / ZBLOB2 pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "innodb/extern_value.h"

namespace vostrel {

// Fills `out` with the stored bytes (the physical page) of page `page_no`;
// false when the page cannot be read.
using ZipPageReader = std::function<bool(uint32_t page_no, std::vector<uint8_t>& out)>;

struct ZipBlobResult {
  uint64_t bytes = 0;   // value bytes delivered
  uint32_t pages = 0;   // value pages read
  std::string problem;  // empty when the whole value came
  bool complete() const { return problem.empty(); }
};

// Streams the value `ref` points at (ref.length bytes, from ref.page) to
// `sink`, reading at most `max_pages` pages (the tablespace's page count).
// Each page must be the page asked for, of the expected type, and met once.
// On damage what came before it has been delivered and `problem` says where
// the chain broke.
ZipBlobResult ReadZipBlob(const ZipPageReader& read_page, size_t zip_size, const ExternRef& ref,
                          uint64_t max_pages,
                          const std::function<void(const uint8_t*, size_t)>& sink);

}  // namespace vostrel
