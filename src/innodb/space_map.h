// A tablespace's own bookkeeping of its pages: how many pages a segment
// holds, and whether a page is in use or was freed.
#pragma once

#include <cstdint>
#include <map>
#include <optional>

#include "innodb/page.h"
#include "innodb/page_source.h"

namespace vostrel {

// Pages of the leaf segment of the index rooted at `root`: its leaves, and
// the value pages of its records. Nothing when the root or the segment's
// inode is unreadable, the root is another index's, or it is its index's
// only page.
std::optional<uint64_t> LeafSegmentPages(Tablespace& space, uint32_t root, uint64_t index_id);

enum class PageUse { kUsed, kFree, kUnknown };

// Whether pages are allocated, from the extent descriptors (each descriptor
// page read once).
class ExtentMap {
 public:
  explicit ExtentMap(Tablespace& space) : space_(TablespacePages(space)) {}
  explicit ExtentMap(PageSource pages) : space_(std::move(pages)) {}
  PageUse Use(uint32_t page);

 private:
  struct DescriptorPage {
    bool readable = false;
    PageBuffer bytes;
  };
  PageSource space_;
  std::optional<uint32_t> free_limit_;
  std::map<uint32_t, DescriptorPage> pages_;
};

}  // namespace vostrel
