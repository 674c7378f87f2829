// Values InnoDB keeps on separate pages: the 20-byte reference and the walk
// over the value pages.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "innodb/page.h"
#include "innodb/page_source.h"

namespace vostrel {

struct ExternRef {
  uint32_t space_id = 0;
  uint32_t page = kFilNull;
  uint32_t offset = 0;
  uint32_t length = 0;  // low half of the stored length
};

ExternRef ParseExternRef(const uint8_t* ref20);

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
