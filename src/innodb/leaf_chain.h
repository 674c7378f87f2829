// The leaf chain of an index: the descent to its first leaf, and what
// tells a leaf of the chain from a page that only claims to be one.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "innodb/clustered_fields.h"
#include "innodb/page.h"

namespace vostrel {

inline constexpr uint32_t kClusteredRootIbd = 3;

struct LeafSearch {
  uint32_t leaf = 0;       // 0: not found
  bool redundant = false;  // the tree keeps its records in the redundant format
  bool from_scan = false;  // the descent failed; found by scanning the pages
  std::string problem;     // why the descent failed
};

// The leftmost leaf below `root`; falls back to a scan of the file when the
// descent is broken. Every page on the way is checked whole (Tablespace::
// ReadCheckedPage), and must be an index page of the index on the level below
// its parent's. `index_id`, when known, guides the scan in a file shared by
// many indexes.
LeafSearch FindLeafPage(Tablespace& space, uint32_t root, const ClusteredIndex& index,
                        uint64_t index_id = 0);

// Pages on the leaf chain from `first` (bounded by the file's page count),
// up to the first page that is not the one its link names.
uint64_t CountLeafPages(Tablespace& space, uint32_t first, const std::atomic<bool>* stop);

// What keeps page `p`, reached along a leaf chain of index `index_id`, from
// being one of its leaves ("" when it is one). Its records would belong to
// another index, or be node pointers, and its links lead off the chain.
// `compact` tells the tree's record format, which every leaf shares.
std::string ForeignLeafProblem(const uint8_t* page, uint32_t p, uint64_t index_id,
                               bool compact = true);
// A page that failed its check, with what its header claims where the header is its own.
std::string FailedPageText(const Tablespace& space, uint64_t n, const PageCheck& c,
                           const uint8_t* page);
// A page that reads as itself but not as the index page wanted: when its
// checksum fails too, that is the better name for it.
std::string NameProblem(const Tablespace& space, uint64_t n, const uint8_t* page,
                        std::string problem);

// A leaf must link back to the leaf it was reached from; when it does not,
// the chain skips or repeats leaves and rows may be missing.
std::string BackLinkProblem(const uint8_t* page, uint32_t p, uint32_t from);

}  // namespace vostrel
