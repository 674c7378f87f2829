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
  // The record stops before this field: it has the value an instant ALTER
  // TABLE gave it (ClusteredIndex::missing_values).
  bool missing = false;
};

// Record status (the low 3 bits of the byte 3 below the origin).
inline constexpr uint8_t kRecordOrdinary = 0;
inline constexpr uint8_t kRecordInstant = 4;  // written after an instant ALTER: its own field count
// Info bits (high nibble of the byte 5 below the origin).
inline constexpr uint8_t kInfoDeleted = 0x20;
inline constexpr uint8_t kInfoMinRecord = 0x10;  // on a leaf: the instant ALTER metadata record

// Splits the record at `origin`; false when its header or data leave the page.
bool SplitRecord(const uint8_t* page, size_t origin, const ClusteredIndex& index,
                 std::vector<FieldSpan>& fields);

// Fields held by an instant-format record and the bytes below its origin
// taken by header and field count; false when the count is out of range.
inline bool InstantRecordShape(const uint8_t* page, size_t origin, const ClusteredIndex& index,
                               size_t& n, size_t& header) {
  if (origin < 8) return false;
  size_t added = page[origin - 6];
  header = 6;
  if (added & 0x80) {
    added = (added & 0x7F) | (size_t{page[origin - 7]} << 7);
    header = 7;
  }
  n = index.core_fields + added + 1;
  return n <= index.fields.size();
}

// The split itself, handing each field the record holds to `put(i, span)` as
// it is found. Returns how many fields it holds (0: it does not fit its page);
// those past them, after an instant ALTER TABLE, are the caller's to fill.
//
// A compact record: the data starts at the origin; before it, going down,
// lie 5 header bytes, the null bitmap (a bit per nullable field, from the
// lowest bit of the byte nearest the header), then one or two length bytes
// per variable-length field that is not NULL (two when the field may exceed
// 255 bytes and the first byte's high bit is set; its next bit then marks a
// value kept on other pages).
//
// After an instant ALTER TABLE, an ordinary record holds the fields the
// table first had, its bitmap sized for them; a record of the instant status
// has, between header and bitmap, a count of the fields it holds past those
// (one byte, or two when the first has its high bit set: the low 7 bits, then
// the next byte's 8 above them), and its bitmap covers the fields it holds.
// The fields from the null bitmap on, for a header of `header` bytes below
// the origin; `n` fields held, `null_bytes` of bitmap.
template <class Put>
inline size_t SplitFieldsAfterHeader(const uint8_t* page, size_t origin,
                                     const ClusteredIndex& index, size_t n, size_t null_bytes,
                                     size_t header, Put&& put) {
  constexpr size_t kIndexHeaderEnd = kPageHeader + 56;
  if (origin < header + null_bytes + kIndexHeaderEnd || origin >= kPageSize) return 0;
  size_t null_pos = origin - header - 1;  // bitmap bytes run downwards
  unsigned mask = 1;
  size_t lens = origin - header - null_bytes;  // one past the next length byte
  size_t data = origin;
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
      if (lens <= kIndexHeaderEnd) return 0;  // length bytes ran into the page header
      const uint8_t b1 = page[--lens];
      if (f.big() && (b1 & 0x80)) {
        if (lens <= kIndexHeaderEnd) return 0;
        const uint8_t b2 = page[--lens];
        len = (size_t{b1 & 0x3Fu} << 8) | b2;
        external = (b1 & 0x40) != 0;
      } else {
        len = b1;
      }
    }
    if (data + len > kPageSize) return 0;
    put(i, FieldSpan{static_cast<uint32_t>(data), static_cast<uint32_t>(len), false, external});
    data += len;
  }
  return n;
}

template <class Put>
inline size_t SplitRecordInto(const uint8_t* page, size_t origin, const ClusteredIndex& index,
                              Put&& put) {
  if (origin < 8 || origin >= kPageSize) return 0;
  const uint8_t status = page[origin - 3] & 7;
  if (index.core_fields == 0) {
    // A field count of its own where the table has none is no record of it.
    if (status != kRecordOrdinary) return 0;
    return SplitFieldsAfterHeader(page, origin, index, index.fields.size(), index.null_bytes(), 5,
                                  put);
  }
  if (status == kRecordOrdinary) {
    return SplitFieldsAfterHeader(page, origin, index, index.core_fields, index.core_null_bytes, 5,
                                  put);
  }
  size_t n = 0, header = 0;
  if (status != kRecordInstant || !InstantRecordShape(page, origin, index, n, header)) return 0;
  return SplitFieldsAfterHeader(page, origin, index, n, (index.nullable_before[n] + 7u) / 8, header,
                                put);
}

// SplitRecordInto for a table never altered in place, whose records the walk
// has seen to be of the ordinary status.
template <class Put>
inline size_t SplitPlainRecordInto(const uint8_t* page, size_t origin, const ClusteredIndex& index,
                                   Put&& put) {
  return SplitFieldsAfterHeader(page, origin, index, index.fields.size(), index.null_bytes(), 5,
                                put);
}

struct PageWalk {
  size_t records = 0;     // live records visited
  size_t deleted = 0;     // delete-marked records passed over
  size_t hidden = 0;      // the instant ALTER metadata record, which is no row
  bool damaged = false;   // the chain left the page or looped
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
// `instant`: the table was changed by instant ALTER TABLE, so the first record
// of its first leaf may be the metadata record, which is passed over.
template <class Visit>
inline PageWalk WalkPageRecordsWith(const uint8_t* page, size_t start, Visit&& visit,
                                    bool instant = false) {
  constexpr size_t kFirstUserOrigin = 120;  // just past the supremum
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
    // Records of their own field count come only after an instant ALTER TABLE.
    if (status != kRecordOrdinary && (status != kRecordInstant || !instant)) {
      w.damaged = true;
      return w;
    }
    const size_t next = NextRecord(page, r);
    if (instant && (page[r - 5] & kInfoMinRecord) && status == kRecordInstant && steps == 0 &&
        start == 0 && PageU32(page, 8) == kFilNull) {
      // The first record of the first leaf: what an instant ALTER keeps.
      ++w.hidden;
    } else if (page[r - 5] & kInfoDeleted) {
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
