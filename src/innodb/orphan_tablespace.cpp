#include "innodb/orphan_tablespace.h"

#include <algorithm>
#include <cstdio>

#include "innodb/page.h"
#include "innodb/tablespace_geometry.h"

namespace vostrel {

namespace {

// Index roots sit right after the inode page, one per index made with the
// table; a few dozen pages cover any table's indexes.
constexpr uint64_t kRootSearchPages = 64;
constexpr size_t kBtrSegTop = kPageHeader + 46;  // the root's non-leaf segment header

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", v);
  return buf;
}

}  // namespace

std::string OrphanTablespace::Text() const {
  if (!opened) return "the tablespace cannot be read (" + error + ")";
  std::string s = "tablespace " + std::to_string(space_id) + ", " + std::to_string(pages) +
                  " pages, " + row_format + " (flags " + Hex(flags) + ")";
  if (index_ids.empty()) return s + ", no index root found";
  s += ", index ids ";
  for (size_t i = 0; i < index_ids.size(); ++i) {
    s += (i ? ", " : "") + std::to_string(index_ids[i]) + (i == 0 ? " (clustered)" : "");
  }
  return s;
}

OrphanTablespace DescribeTablespaceFile(const std::filesystem::path& path) {
  OrphanTablespace o;
  Tablespace space;
  if (!space.Open(path, &o.error)) return o;
  o.opened = true;
  o.space_id = space.space_id() == kFilNull ? 0 : space.space_id();
  o.pages = space.page_count();
  PageBuffer page;
  if (space.ReadPage(0, page)) o.flags = PageU32(page.data(), kFspFlagsOffset);
  const TablespaceGeometry g = GeometryFromFlags(o.flags);
  bool compact = true;
  const uint64_t last = std::min<uint64_t>(o.pages, kRootSearchPages);
  for (uint64_t n = 3; n < last; ++n) {
    if (!space.ReadIdentifiedPage(n, page).ok()) continue;
    const uint8_t* p = page.data();
    if (ReadFilHeader(p).type != kPageTypeIndex) continue;
    // A root carries its segment headers; other pages leave them zero.
    if (PageU32(p, kBtrSegTop) != o.space_id || (n != 3 && PageU32(p, kBtrSegTop + 4) == 0))
      continue;
    const uint64_t id = PageIndexId(p);
    if (n == 3) compact = PageIsCompact(p);
    if (std::find(o.index_ids.begin(), o.index_ids.end(), id) == o.index_ids.end()) {
      o.index_ids.push_back(id);
    }
  }
  if (!compact) {
    o.row_format = "ROW_FORMAT=REDUNDANT";
  } else if (g.zip) {
    o.row_format =
        "ROW_FORMAT=COMPRESSED KEY_BLOCK_SIZE=" + std::to_string(g.physical_page_size / 1024);
  } else if (g.atomic_blobs) {
    o.row_format = "ROW_FORMAT=DYNAMIC";
  } else {
    o.row_format = "ROW_FORMAT=COMPACT or REDUNDANT";
  }
  if (compact && !g.zip && !g.atomic_blobs && !o.index_ids.empty())
    o.row_format = "ROW_FORMAT=COMPACT";
  return o;
}

}  // namespace vostrel
