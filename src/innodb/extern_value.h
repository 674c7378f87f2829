// Values InnoDB keeps on separate pages: the 20-byte reference and the walk
// over the value pages.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "innodb/page.h"

namespace vostrel {

struct ExternRef {
  uint32_t space_id = 0;
  uint32_t page = kFilNull;
  uint32_t offset = 0;
  uint32_t length = 0;  // low half of the stored length
};

ExternRef ParseExternRef(const uint8_t* ref20);

// Where value pages are read from: a tablespace file, or pages found in an image.
struct PageSource {
  // Page n checked whole into `out`: "" when it is, else what is wrong ("page
  // 5 of t.ibd fails its checksum").
  std::function<std::string(uint32_t n, PageBuffer& out)> read;
  uint32_t space_id = kFilNull;  // kFilNull: any
  uint64_t page_count = 0;       // pages are numbered below it
  std::string file_name;
};
PageSource TablespacePages(Tablespace& space);

// Streams the value's bytes from its pages to `sink`; false when the chain
// broke before `length` bytes came (what came was delivered). Every page is
// checked for being the page asked for, whole, and a value page; a page that
// is not ends the value there. `pages_read`, when given, counts the pages
// whose bytes were taken.
bool ReadExternValue(const PageSource& pages, const ExternRef& ref,
                     const std::function<void(const uint8_t*, size_t)>& sink, std::string* damage,
                     uint64_t* pages_read = nullptr);
bool ReadExternValue(Tablespace& space, const ExternRef& ref,
                     const std::function<void(const uint8_t*, size_t)>& sink, std::string* damage,
                     uint64_t* pages_read = nullptr);

}  // namespace vostrel
