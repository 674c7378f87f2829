// Compact-format records of a leaf page: the chain walk and the split of one
// record into its fields.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "innodb/clustered_fields.h"
#include "innodb/page.h"

namespace vostrel {

struct FieldSpan {
  uint32_t offset = 0;  // in the page
  uint32_t length = 0;
  bool is_null = false;
  bool external = false;  // the last 20 bytes refer to value pages
};

// Splits the record at `origin`; false when its header or data leave the page.
bool SplitRecord(const uint8_t* page, size_t origin, const ClusteredIndex& index,
                 std::vector<FieldSpan>& fields);

// The split itself, handing each field to `put(i, span)` as it is found.
//
// A compact record: the data starts at the origin; before it, going down,
// lie 5 header bytes, the null bitmap (a bit per nullable field, from the
// lowest bit of the byte nearest the header), then one or two length bytes
// per variable-length field that is not NULL (two when the field may exceed
// 255 bytes and the first byte's high bit is set; its next bit then marks a
// value kept on other pages).
template <class Put>
inline bool SplitRecordInto(const uint8_t* page, size_t origin, const ClusteredIndex& index,
                            Put&& put) {
  constexpr size_t kIndexHeaderEnd = kPageHeader + 56;
  const size_t null_bytes = index.null_bytes();
  if (origin < 5 + null_bytes || origin >= kPageSize) return false;
  size_t null_pos = origin - 6;  // bitmap bytes run downwards
  unsigned mask = 1;
  size_t lens = origin - 5 - null_bytes;  // one past the next length byte
  size_t data = origin;
  const size_t n = index.fields.size();
  for (size_t i = 0; i < n; ++i) {
    const InnoColumnDef& f = index.fields[i];
    if (f.nullable()) {
      if (mask == 0x100) {
        mask = 1;
        --null_pos;
      }
      const bool null = (page[null_pos] & mask) != 0;
      mask <<= 1;
      if (null) {
        put(i, FieldSpan{0, 0, true, false});
        continue;
      }
    }
    size_t len;
    bool external = false;
    if (f.fixed_len != 0) {
      len = static_cast<size_t>(f.fixed_len);
    } else {
      if (lens <= kIndexHeaderEnd) return false;  // length bytes ran into the page header
      const uint8_t b1 = page[--lens];
      if (f.big() && (b1 & 0x80)) {
        if (lens <= kIndexHeaderEnd) return false;
        const uint8_t b2 = page[--lens];
        len = (size_t{b1 & 0x3Fu} << 8) | b2;
        external = (b1 & 0x40) != 0;
      } else {
        len = b1;
      }
    }
    if (data + len > kPageSize) return false;
    put(i, FieldSpan{static_cast<uint32_t>(data), static_cast<uint32_t>(len), false, external});
    data += len;
  }
  return true;
}

struct PageWalk {
  size_t records = 0;   // live records visited
  size_t deleted = 0;   // delete-marked records passed over
  bool damaged = false; // the chain left the page or looped
  size_t stopped_at = 0;  // origin of the record the visitor stopped before, or 0
};

// Visits the live (not delete-marked) user records of a leaf page in key
// order, from `start` (0: the first record). The visitor returns false to stop;
// the walk then reports the origin of the record that would come next.
PageWalk WalkPageRecords(const uint8_t* page, size_t start,
                         const std::function<bool(size_t origin)>& visit);

// Origin of the first user record, or 0 for an empty page / missing infimum.
size_t FirstRecord(const uint8_t* page);
inline size_t NextRecord(const uint8_t* page, size_t origin) {
  if (origin < 2 || origin >= kPageSize) return 0;
  return (origin + PageU16(page, origin - 2)) & 0xFFFF;
}

// The same walk with the visitor inlined, for the loops that read every record.
template <class Visit>
inline PageWalk WalkPageRecordsWith(const uint8_t* page, size_t start, Visit&& visit) {
  constexpr size_t kFirstUserOrigin = 120;  // just past the supremum
  constexpr uint8_t kDeleteMark = 0x20;
  PageWalk w;
  size_t r = start != 0 ? start : FirstRecord(page);
  if (r == 0) return w;
  // A page holds at most this many records; more means the chain loops.
  for (size_t steps = 0; r != kSupremumOrigin; ++steps) {
    if (r < kFirstUserOrigin || r >= kPageSize || steps > kPageSize / 5) {
      w.damaged = true;
      return w;
    }
    const uint8_t status = page[r - 3] & 7;
    if (status != 0) {  // not an ordinary leaf record
      w.damaged = true;
      return w;
    }
    const size_t next = NextRecord(page, r);
    if (page[r - 5] & kDeleteMark) {
      ++w.deleted;
    } else {
      ++w.records;
      if (!visit(r)) {
        w.stopped_at = next == kSupremumOrigin ? 0 : next;
        return w;
      }
    }
    r = next;
  }
  return w;
}

}  // namespace vostrel
