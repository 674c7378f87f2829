// Records in the old (redundant) format: the system tables keep theirs so,
// and so does every table made with ROW_FORMAT=REDUNDANT (all tables of
// MySQL 4.x and 5.0, and those carried forward from them).
//
// A record's data starts at its origin; before it lie 6 header bytes (info
// bits and owned count, heap number, field count and a "short" flag, the
// absolute offset of the next record), and before those, going down, the end
// offset of each field relative to the origin: one byte each when the short
// flag is set (high bit: SQL NULL), else two (high bit: NULL, next bit: the
// field's last 20 bytes refer to value pages).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "innodb/page.h"
#include "innodb/record.h"

namespace vostrel {

inline constexpr size_t kRedundantInfimum = 101;

inline constexpr size_t kRedundantSupremum = 116;

struct RedundantField {
  uint32_t offset = 0;  // in the page
  uint32_t length = 0;
  bool is_null = false;
  bool external = false;
};

struct RedundantRecord {
  size_t origin = 0;
  bool deleted = false;
  std::vector<RedundantField> fields;
};

// Visits the records of a redundant-format index page in list order. Returns
// false when the list leaves the page, loops, or a record does not fit.
bool WalkRedundantPage(const uint8_t* page,
                       const std::function<void(const RedundantRecord&)>& visit);

// Splits the record at `origin`; false when its header or fields leave the page.
bool SplitRedundantRecord(const uint8_t* page, size_t origin, RedundantRecord& rec);

inline size_t NextRedundantRecord(const uint8_t* page, size_t origin) {
  return origin >= 2 && origin < kPageSize ? PageU16(page, origin - 2) : 0;
}
inline bool RedundantDeleteMarked(const uint8_t* page, size_t origin) {
  return (page[origin - 6] & 0x20) != 0;
}

// The user records of a redundant leaf from `start` (0: the first), as
// WalkPageRecordsWith walks compact ones: delete-marked records passed over
// and counted, the walk bounded, its end reported.
template <class Visit>
inline PageWalk WalkRedundantRecordsWith(const uint8_t* page, size_t start, Visit&& visit,
                                         bool instant = false) {
  constexpr size_t kFirstUserOrigin = kRedundantSupremum + 9;
  PageWalk w;
  size_t r = start != 0 ? start : NextRedundantRecord(page, kRedundantInfimum);
  for (size_t steps = 0; r != kRedundantSupremum; ++steps) {
    if (r < kFirstUserOrigin || r >= kPageSize || steps > kPageSize / 6) {
      w.damaged = true;
      return w;
    }
    const size_t next = NextRedundantRecord(page, r);
    if (instant && (page[r - 6] & kInfoMinRecord) && steps == 0 && start == 0 &&
        PageU32(page, 8) == kFilNull) {
      ++w.hidden;  // the instant ALTER metadata record of the first leaf
    } else if (RedundantDeleteMarked(page, r)) {
      ++w.deleted;
    } else {
      ++w.records;
      if (!visit(r)) {
        w.stopped_at = next == kRedundantSupremum ? 0 : next;
        return w;
      }
    }
    r = next;
  }
  return w;
}

}  // namespace vostrel
