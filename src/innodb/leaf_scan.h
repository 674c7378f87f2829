// The leaf pages of an index found by reading every page of the tablespace,
// for when its tree or leaf chain cannot be trusted to reach them all.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "innodb/page.h"

namespace vostrel {

struct ScannedLeaf {
  uint32_t page = 0;
  uint32_t prev = kFilNull;
  uint32_t next = kFilNull;
};

struct LeafScan {
  uint64_t index_id = 0;
  std::vector<ScannedLeaf> intact;  // every check passed; in page order
  // Pages whose header names them leaves of the index, at their own place,
  // that fail a check: what is wrong, and the live records their header counts.
  struct Damaged {
    uint32_t page = 0;
    std::string problem;
    uint64_t records = 0;
  };
  std::vector<Damaged> damaged;
  // Intact leaves that may be stale copies: whether their extent still holds
  // them cannot be told.
  std::vector<uint32_t> undecided;
  std::string undecided_why;
};

// Leaves of index `index_id` (0: of the index with the smallest id, the
// clustered one of an .ibd) outside `skip`. Pages the extent descriptors
// mark free are left out: they are what merges and drops left behind.
LeafScan ScanIndexLeaves(Tablespace& space, uint64_t index_id, const std::vector<bool>* skip,
                         const std::atomic<bool>* stop);

// The scanned leaves in chains: each starts at a page whose previous page is
// not among them and follows the links as long as they lead back.
std::vector<std::vector<uint32_t>> ChainScannedLeaves(const std::vector<ScannedLeaf>& leaves);

// Live records an index page's header counts: PAGE_N_RECS less the
// delete-marked records its record list shows.
uint64_t ClaimedLiveRecords(const uint8_t* page);

// "pages 4, 5, 9 of t.ibd" with at most a few numbers listed.
std::string PageListText(const std::vector<uint32_t>& pages, const std::string& file);

}  // namespace vostrel
