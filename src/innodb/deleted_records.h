// Records of a compact leaf page that are no longer rows: delete-marked ones
// still in the record list (purge has not run), and those on the page's free
// list, whose bytes stay until the space is reused.
#pragma once

#include <cstddef>
#include <cstdint>

#include "innodb/page.h"
#include "innodb/record.h"
#include "innodb/redundant_record.h"

namespace vostrel {

struct DeletedWalk {
  size_t marked = 0;  // delete-marked records of the record list
  size_t free = 0;    // records of the free list
  bool damaged = false;
};

// Visits the delete-marked records of the record list, then the free list
// (PAGE_FREE, linked by the same relative next field). Both walks are bounded
// by what a page can hold and stay inside the page; the visitor gets each
// origin once, and whether it came from the free list.
template <class Visit>
inline DeletedWalk WalkDeletedRecordsWith(const uint8_t* page, Visit&& visit) {
  constexpr size_t kFirstUserOrigin = 120;
  constexpr size_t kMaxSteps = kPageSize / 5;
  DeletedWalk w;
  size_t r = FirstRecord(page);
  for (size_t steps = 0; r != 0 && r != kSupremumOrigin; ++steps) {
    if (r < kFirstUserOrigin || r >= kPageSize || steps > kMaxSteps) {
      w.damaged = true;
      break;
    }
    const uint8_t status = page[r - 3] & 7;
    // The instant ALTER metadata record is also marked, but is no row.
    if ((page[r - 5] & kInfoDeleted) && !(page[r - 5] & kInfoMinRecord) &&
        status == kRecordOrdinary) {
      ++w.marked;
      visit(r, false);
    }
    r = NextRecord(page, r);
  }
  // PAGE_FREE: an absolute origin, 0 when the list is empty.
  r = PageU16(page, kPageHeader + 6);
  for (size_t steps = 0; r != 0; ++steps) {
    if (r < kFirstUserOrigin || r >= kPageSize || steps > kMaxSteps) {
      w.damaged = true;
      break;
    }
    if ((page[r - 3] & 7) == kRecordOrdinary) {
      ++w.free;
      visit(r, true);
    }
    // The last record of the list has a next field of 0.
    if (PageU16(page, r - 2) == 0) break;
    r = NextRecord(page, r);
  }
  return w;
}

// The same for a page of the old (REDUNDANT) format: its header is a byte
// longer, and its next fields and PAGE_FREE hold absolute origins.
template <class Visit>
inline DeletedWalk WalkDeletedRedundantRecordsWith(const uint8_t* page, Visit&& visit) {
  constexpr size_t kFirstUserOrigin = kRedundantSupremum + 9;
  constexpr size_t kMaxSteps = kPageSize / 6;
  DeletedWalk w;
  size_t r = NextRedundantRecord(page, kRedundantInfimum);
  for (size_t steps = 0; r != kRedundantSupremum; ++steps) {
    if (r < kFirstUserOrigin || r >= kPageSize || steps > kMaxSteps) {
      w.damaged = true;
      break;
    }
    if (RedundantDeleteMarked(page, r) && !(page[r - 6] & kInfoMinRecord)) {
      ++w.marked;
      visit(r, false);
    }
    r = NextRedundantRecord(page, r);
  }
  r = PageU16(page, kPageHeader + 6);
  for (size_t steps = 0; r != 0; ++steps) {
    if (r < kFirstUserOrigin || r >= kPageSize || steps > kMaxSteps) {
      w.damaged = true;
      break;
    }
    ++w.free;
    visit(r, true);
    r = NextRedundantRecord(page, r);
  }
  return w;
}

}  // namespace vostrel
