// Scanning a tablespace for the leaves of one index, and chaining them.
#include "innodb/leaf_scan.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "innodb/page_check.h"
#include "innodb/record.h"
#include "innodb/redundant_record.h"
#include "innodb/space_map.h"

namespace vostrel {

namespace {

constexpr size_t kListedPages = 8;

}  // namespace

uint64_t ClaimedLiveRecords(const uint8_t* page) {
  const uint64_t n = PageRecordCount(page);
  const PageWalk w = PageIsCompact(page)
                         ? WalkPageRecords(page, 0, [](size_t) { return true; })
                         : WalkRedundantRecordsWith(page, 0, [](size_t) { return true; });
  return n - std::min<uint64_t>(n, w.deleted + w.hidden);
}

LeafScan ScanIndexLeaves(Tablespace& space, uint64_t index_id, const std::vector<bool>* skip,
                         const std::atomic<bool>* stop) {
  // Per index, as the id may only be known at the end.
  std::map<uint64_t, LeafScan> by_index;
  ExtentMap extents(space);
  PageBuffer page;
  for (uint64_t n = 0; n < space.page_count() && n < kFilNull; ++n) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) break;
    if (skip != nullptr && n < skip->size() && (*skip)[n]) continue;
    if (!space.ReadPage(n, page)) break;
    const uint8_t* p = page.data();
    const FilHeader h = ReadFilHeader(p);
    // What the page says of itself first: a page of another place (a copy in
    // the doublewrite buffer, a misplaced write) is not this page.
    if (h.page_number != n || !IsIndexPageType(h.type) || PageLevel(p) != 0) continue;
    const uint64_t id = PageIndexId(p);
    if (index_id != 0 && id != index_id) continue;
    const uint32_t at = static_cast<uint32_t>(n);
    const PageUse use = extents.Use(at);
    if (use == PageUse::kFree) continue;
    LeafScan& s = by_index[id];
    s.index_id = id;
    const PageCheck c = space.Check(n, p);
    if (!c.ok()) {
      s.damaged.push_back({at, space.FaultText(n, c), ClaimedLiveRecords(p)});
    } else if (!IndexPageFramed(p)) {
      s.damaged.push_back({at,
                           "page " + std::to_string(n) + " of " + space.file_name() +
                               " has no infimum and supremum where its format keeps them",
                           ClaimedLiveRecords(p)});
    } else if (use == PageUse::kUnknown) {
      s.undecided.push_back(at);
      s.undecided_why = "their extent descriptor page cannot be read";
    } else {
      s.intact.push_back({at, h.prev, h.next});
    }
  }
  if (by_index.empty()) {
    LeafScan none;
    none.index_id = index_id;
    return none;
  }
  if (index_id != 0) return std::move(by_index.begin()->second);
  // Without an id: the clustered index is created first, so it has the smallest
  // id among those with intact leaves.
  for (auto& [id, s] : by_index) {
    if (!s.intact.empty()) return std::move(s);
  }
  return std::move(by_index.begin()->second);
}

std::vector<std::vector<uint32_t>> ChainScannedLeaves(const std::vector<ScannedLeaf>& leaves) {
  std::unordered_map<uint32_t, const ScannedLeaf*> at;
  for (const ScannedLeaf& l : leaves) at.emplace(l.page, &l);
  std::unordered_set<uint32_t> placed;
  std::vector<std::vector<uint32_t>> chains;
  auto follow = [&](const ScannedLeaf* l) {
    std::vector<uint32_t> chain;
    while (l != nullptr && placed.insert(l->page).second) {
      chain.push_back(l->page);
      const auto it = at.find(l->next);
      if (it == at.end() || it->second->prev != l->page) break;
      l = it->second;
    }
    chains.push_back(std::move(chain));
  };
  // Heads first, then whatever is left (pages in a loop, or linked to from
  // pages that do not link back).
  for (const ScannedLeaf& l : leaves) {
    const auto it = at.find(l.prev);
    if (it == at.end() || it->second->next != l.page) follow(&l);
  }
  for (const ScannedLeaf& l : leaves) {
    if (!placed.count(l.page)) follow(&l);
  }
  return chains;
}

std::string PageListText(const std::vector<uint32_t>& pages, const std::string& file) {
  std::string s = pages.size() == 1 ? "page " : "pages ";
  for (size_t i = 0; i < pages.size() && i < kListedPages; ++i) {
    if (i > 0) s += ", ";
    s += std::to_string(pages[i]);
  }
  if (pages.size() > kListedPages) {
    s += " and " + std::to_string(pages.size() - kListedPages) + " more";
  }
  return s + " of " + file;
}

}  // namespace vostrel
