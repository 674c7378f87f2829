#include "innodb/extern_value.h"

#include <cstdio>
#include <unordered_set>

namespace vostrel {

ExternRef ParseExternRef(const uint8_t* ref) {
  ExternRef r;
  r.space_id = PageU32(ref, 0);
  r.page = PageU32(ref, 4);
  r.offset = PageU32(ref, 8);
  r.length = PageU32(ref, 16);
  return r;
}

PageSource TablespacePages(Tablespace& space) {
  PageSource s;
  s.read = [&space](uint32_t n, PageBuffer& out) {
    const PageCheck c = space.ReadCheckedPage(n, out);
    return c.ok() ? std::string() : space.FaultText(n, c);
  };
  s.space_id = space.space_id();
  s.page_count = space.page_count();
  s.file_name = space.file_name();
  s.compressed = space.compressed();
  return s;
}

bool ReadExternValue(Tablespace& space, const ExternRef& ref,
                     const std::function<void(const uint8_t*, size_t)>& sink, std::string* damage,
                     uint64_t* pages_read) {
  return ReadExternValue(TablespacePages(space), ref, sink, damage, pages_read);
}

bool ReadExternValue(const PageSource& space, const ExternRef& ref,
                     const std::function<void(const uint8_t*, size_t)>& sink, std::string* damage,
                     uint64_t* pages_read) {
  PageBuffer page;
  if (space.space_id != kFilNull && ref.space_id != space.space_id) {
    if (damage) {
      *damage = "value refers to tablespace " + std::to_string(ref.space_id) + ", not to " +
                std::to_string(space.space_id);
    }
    return false;
  }
  uint64_t left = ref.length;
  uint32_t p = ref.page;
  size_t off = ref.offset;
  // A value owns each of its pages once; a page met again means the chain
  // loops and would repeat bytes that are not the value's.
  std::unordered_set<uint32_t> seen;
  for (uint64_t visits = 0; left > 0; ++visits) {
    if (p == kFilNull || visits > space.page_count || p >= space.page_count) {
      if (damage) *damage = "value page chain breaks at page " + std::to_string(p);
      return false;
    }
    if (const std::string fault = space.read(p, page); !fault.empty()) {
      if (damage) *damage = "value page chain breaks: " + fault;
      return false;
    }
    // Old servers left the type of value pages unset.
    if (const uint16_t type = ReadFilHeader(page.data()).type;
        type != kPageTypeBlob && type != kPageTypeAllocated) {
      if (damage) {
        *damage = "value page chain breaks: page " + std::to_string(p) + " of " + space.file_name +
                  " is not a value page (type " + std::to_string(type) + ")";
      }
      return false;
    }
    if (!seen.insert(p).second) {
      if (damage) *damage = "value page chain loops back to page " + std::to_string(p);
      return false;
    }
    if (off + 8 > kPageSize) {
      if (damage) *damage = "value part outside page " + std::to_string(p);
      return false;
    }
    uint64_t part = PageU32(page.data(), off);
    const uint32_t next = PageU32(page.data(), off + 4);
    if (part > kPageSize - off - 8) part = kPageSize - off - 8;
    if (part > left) part = left;
    if (part == 0) {
      if (damage) *damage = "empty value part on page " + std::to_string(p);
      return false;
    }
    sink(page.data() + off + 8, static_cast<size_t>(part));
    if (pages_read) ++*pages_read;
    left -= part;
    p = next;
    off = kPageHeader;
  }
  return true;
}

}  // namespace vostrel
