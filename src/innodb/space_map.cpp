// Segment inodes and extent descriptors, read through checked pages.
#include "innodb/space_map.h"

namespace vostrel {

namespace {

constexpr size_t kFspHeader = 38;
constexpr size_t kSegLeafHeader = kPageHeader + 36;  // on the root page
constexpr size_t kInodeArray = 50;
constexpr size_t kInodeSize = 192;
constexpr uint32_t kInodeMagic = 97937874;
constexpr uint32_t kExtentPages = 64;
constexpr uint32_t kPagesPerDescriptorPage = static_cast<uint32_t>(kPageSize);
constexpr size_t kDescriptorArray = kFspHeader + 112;
constexpr size_t kDescriptorSize = 40;
constexpr uint32_t kExtentFree = 1;

}  // namespace

std::optional<uint64_t> LeafSegmentPages(Tablespace& space, uint32_t root, uint64_t index_id) {
  // Segments and extents of a compressed tablespace count pages of its own
  // size, which these layouts are not read for.
  if (space.compressed()) return std::nullopt;
  PageBuffer page;
  if (!space.ReadCheckedPage(root, page).ok() ||
      !IsIndexPageType(ReadFilHeader(page.data()).type) || PageLevel(page.data()) == 0 ||
      PageIndexId(page.data()) != index_id) {
    return std::nullopt;
  }
  const uint32_t inode_page = PageU32(page.data(), kSegLeafHeader + 4);
  const size_t at = PageU16(page.data(), kSegLeafHeader + 8);
  if (PageU32(page.data(), kSegLeafHeader) != space.space_id() || at < kInodeArray ||
      (at - kInodeArray) % kInodeSize != 0 || at + kInodeSize > kPageSize - 8) {
    return std::nullopt;
  }
  if (!space.ReadCheckedPage(inode_page, page).ok() ||
      ReadFilHeader(page.data()).type != kPageTypeInode) {
    return std::nullopt;
  }
  const uint8_t* inode = page.data() + at;
  if (PageU32(inode, 60) != kInodeMagic || PageU64(inode, 0) == 0) return std::nullopt;
  uint64_t used = PageU32(inode, 8) + uint64_t{kExtentPages} * PageU32(inode, 44);
  for (size_t i = 0; i < 32; ++i) used += PageU32(inode, 64 + 4 * i) != kFilNull;
  return used;
}

PageUse ExtentMap::Use(uint32_t n) {
  if (space_.compressed) return PageUse::kUnknown;
  if (!free_limit_) {
    PageBuffer header;
    free_limit_ =
        space_.read(0, header).empty() ? PageU32(header.data(), kFspHeader + 12) : kFilNull;
  }
  if (*free_limit_ != kFilNull && n >= *free_limit_) return PageUse::kFree;
  const uint32_t first = n - n % kPagesPerDescriptorPage;
  auto [it, added] = pages_.try_emplace(first);
  DescriptorPage& d = it->second;
  if (added) {
    d.readable = space_.read(first, d.bytes).empty();
    const uint16_t type = ReadFilHeader(d.bytes.data()).type;
    d.readable = d.readable && (type == kPageTypeFspHeader || type == kPageTypeXdes);
  }
  if (!d.readable) return PageUse::kUnknown;
  const uint8_t* descriptor =
      d.bytes.data() + kDescriptorArray + kDescriptorSize * ((n - first) / kExtentPages);
  if (PageU32(descriptor, 20) == kExtentFree) return PageUse::kFree;
  const uint32_t bit = (n % kExtentPages) * 2;  // two bits a page; the first says free
  return (descriptor[24 + bit / 8] >> (bit % 8)) & 1 ? PageUse::kFree : PageUse::kUsed;
}

}  // namespace vostrel
