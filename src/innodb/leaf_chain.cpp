#include "innodb/leaf_chain.h"

#include "innodb/leaf_scan.h"
#include "innodb/page_check.h"
#include "innodb/page_types.h"
#include "innodb/record.h"
#include "innodb/redundant_record.h"
#include "model/damage_log.h"

namespace vostrel {

namespace {

constexpr int kMaxTreeHeight = 64;

}  // namespace

// The child page of the first node pointer of a node page (0: none to be read).
uint32_t CompactChild(const uint8_t* page, const ClusteredIndex& index) {
  const size_t r = FirstRecord(page);
  const size_t k = r == 0 ? 0 : NodePointerKeyLength(page, r, index);
  if (r == 0 || k == 0 || r + k + 4 > kPageSize) return 0;
  return PageU32(page, r + k);
}

// A redundant node pointer's last field is its child's page number.
uint32_t RedundantChild(const uint8_t* page) {
  RedundantRecord rec;
  const size_t r = NextRedundantRecord(page, kRedundantInfimum);
  if (r == 0 || r == kRedundantSupremum || !SplitRedundantRecord(page, r, rec) ||
      rec.fields.empty() || rec.fields.back().length != 4 || rec.fields.back().is_null) {
    return 0;
  }
  return PageU32(page, rec.fields.back().offset);
}

std::string FailedPageText(const Tablespace& space, uint64_t n, const PageCheck& c,
                           const uint8_t* page) {
  std::string s = space.FaultText(n, c);
  if (c.header_is_its_own() && IsIndexPageType(ReadFilHeader(page).type)) {
    s += "; its header counts " + std::to_string(PageRecordCount(page)) + " records";
  }
  return s;
}

std::string NameProblem(const Tablespace& space, uint64_t n, const uint8_t* page,
                        std::string problem) {
  if (!space.ChecksumValid(page)) return space.FaultText(n, {PageFault::kChecksum, 0});
  return problem;
}

LeafSearch FindLeafPage(Tablespace& space, uint32_t root, const ClusteredIndex& index,
                        uint64_t known_index_id) {
  LeafSearch s;
  PageBuffer page;
  uint64_t index_id = known_index_id;
  bool have_id = known_index_id != 0;
  uint32_t p = root;
  int level = -1;  // the level the next page must be on; -1 at the root
  const std::string of = " of " + space.file_name();
  for (int depth = 0; depth < kMaxTreeHeight; ++depth) {
    const PageCheck c = space.ReadCheckedPage(p, page);
    // The root tells the tree's record format; every page below keeps it.
    if (depth == 0) s.redundant = !PageIsCompact(page.data());
    // A leaf that is itself but fails its checksum still starts the walk,
    // which names it and goes on through it; a node page that fails cannot
    // be trusted with the way down.
    const bool failed_leaf =
        c.fault == PageFault::kChecksum && level <= 0 &&
        IsIndexPageType(ReadFilHeader(page.data()).type) && PageLevel(page.data()) == 0 &&
        PageIsCompact(page.data()) != s.redundant &&
        (!have_id || PageIndexId(page.data()) == index_id) && IndexPageFramed(page.data());
    if (failed_leaf) {
      s.leaf = p;
      return s;
    }
    if (!c.ok()) {
      s.problem = FailedPageText(space, p, c, page.data());
      break;
    }
    const FilHeader h = ReadFilHeader(page.data());
    // Only a root carries the instant ALTER mark.
    if (h.type != kPageTypeIndex && (depth > 0 || h.type != kPageTypeInstant)) {
      s.problem = NotAnIndexPageText(h.type, "page " + std::to_string(p) + of);
      break;
    }
    if (PageIsCompact(page.data()) == s.redundant) {
      s.problem = "page " + std::to_string(p) + of + " keeps its records in another format";
      break;
    }
    if (!IndexPageFramed(page.data())) {
      s.problem = "page " + std::to_string(p) + of +
                  " has no infimum and supremum where an index page keeps them";
      break;
    }
    if (have_id && PageIndexId(page.data()) != index_id) {
      s.problem = "page " + std::to_string(p) + of + " belongs to another index";
      break;
    }
    if (!have_id) {
      index_id = PageIndexId(page.data());
      have_id = true;
    }
    if (level >= 0 && PageLevel(page.data()) != level) {
      s.problem = "page " + std::to_string(p) + of + " is on level " +
                  std::to_string(PageLevel(page.data())) + ", not " + std::to_string(level);
      break;
    }
    if (PageLevel(page.data()) == 0) {
      s.leaf = p;
      return s;
    }
    level = PageLevel(page.data()) - 1;
    const uint32_t child =
        s.redundant ? RedundantChild(page.data()) : CompactChild(page.data(), index);
    if (child == 0) {
      s.problem = "node pointer on page " + std::to_string(p) + of + " cannot be read";
      break;
    }
    if (child >= space.page_count() || child == p) {
      s.problem = "child page " + std::to_string(child) + " lies outside the file";
      break;
    }
    p = child;
  }
  if (s.problem.empty()) s.problem = "the tree is deeper than any real one";
  // A kind of page this tool does not read is no damage to work around.
  if (s.problem.rfind("not read: ", 0) == 0) return s;
  // The leftmost leaf has no previous page; when that one is lost too, a leaf
  // whose previous page is not an intact leaf starts what can be had.
  const LeafScan scan = ScanIndexLeaves(space, have_id ? index_id : 0, nullptr, nullptr);
  for (const ScannedLeaf& l : scan.intact) {
    if (l.prev == kFilNull) {
      s.leaf = l.page;
      break;
    }
  }
  if (s.leaf == 0) {
    const auto chains = ChainScannedLeaves(scan.intact);
    if (!chains.empty() && !chains.front().empty()) s.leaf = chains.front().front();
  }
  s.from_scan = s.leaf != 0;
  return s;
}

uint64_t CountLeafPages(Tablespace& space, uint32_t first, const std::atomic<bool>* stop) {
  uint64_t count = 0;
  for (uint32_t p = first; p != kFilNull && count <= space.page_count(); ++count) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) break;
    const uint8_t* page = space.ViewPage(p);
    if (page == nullptr || !space.Identify(p, page).ok()) break;
    const uint32_t next = ReadFilHeader(page).next;
    if (next == p) {
      ++count;
      break;
    }
    p = next;
  }
  return count;
}

std::string ForeignLeafProblem(const uint8_t* page, uint32_t p, uint64_t index_id, bool compact) {
  const FilHeader h = ReadFilHeader(page);
  if (h.type != kPageTypeIndex || PageLevel(page) != 0) {
    return "page " + std::to_string(p) + " on the leaf chain is not a leaf page";
  }
  if (PageIndexId(page) != index_id) {
    return "page " + std::to_string(p) + " on the leaf chain belongs to another index";
  }
  if (PageIsCompact(page) != compact || !IndexPageFramed(page)) {
    return "page " + std::to_string(p) +
           " on the leaf chain has no infimum and supremum where a leaf keeps them";
  }
  return {};
}

std::string BackLinkProblem(const uint8_t* page, uint32_t p, uint32_t from) {
  const uint32_t prev = ReadFilHeader(page).prev;
  if (prev == from) return {};
  return "leaf chain is broken: page " + std::to_string(p) + " links back to page " +
         (prev == kFilNull ? std::string("none") : std::to_string(prev)) + ", not to page " +
         std::to_string(from);
}

}  // namespace vostrel
