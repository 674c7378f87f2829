// What a tablespace file says about itself when nothing else describes it: an
// .ibd with neither .frm nor dictionary entry, for the scan's listing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vostrel {

struct OrphanTablespace {
  bool opened = false;
  std::string error;
  uint32_t space_id = 0;
  uint32_t flags = 0;  // FSP_SPACE_FLAGS of page 0
  uint64_t pages = 0;
  std::string row_format;  // what the flags and the first index page say
  // Index ids of the B-tree roots found among the first pages; the first is
  // the clustered index (page 3).
  std::vector<uint64_t> index_ids;

  // "tablespace 7, 6 pages, ROW_FORMAT=DYNAMIC (flags 0x21), index ids 22 (clustered), 23"
  std::string Text() const;
};

OrphanTablespace DescribeTablespaceFile(const std::filesystem::path& path);

}  // namespace vostrel
