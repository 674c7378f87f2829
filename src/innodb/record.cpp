#include "innodb/record.h"

#include <cstring>

namespace vostrel {

namespace {

constexpr size_t kFirstUserOrigin = 120;  // just past the supremum
constexpr uint8_t kDeleteMark = 0x20;
constexpr size_t kIndexHeaderEnd = kPageHeader + 56;

bool HasText(const uint8_t* page, size_t at, const char* text) {
  return std::memcmp(page + at, text, std::strlen(text)) == 0;
}

}  // namespace

size_t NextRecord(const uint8_t* page, size_t origin) {
  if (origin < 2 || origin >= kPageSize) return 0;
  return (origin + PageU16(page, origin - 2)) & 0xFFFF;
}

size_t FirstRecord(const uint8_t* page) {
  if (!HasText(page, kInfimumOrigin, "infimum")) return 0;
  const size_t r = NextRecord(page, kInfimumOrigin);
  return r == kSupremumOrigin || r >= kPageSize ? 0 : r;
}

bool SplitRecord(const uint8_t* page, size_t origin, const ClusteredIndex& index,
                 std::vector<FieldSpan>& fields) {
  fields.resize(index.fields.size());
  const size_t null_bytes = index.null_bytes();
  if (origin < 5 + null_bytes || origin >= kPageSize) return false;
  size_t null_pos = origin - 6;  // bitmap bytes run downwards
  unsigned mask = 1;
  size_t lens = origin - 5 - null_bytes;  // one past the next length byte
  size_t data = origin;
  for (size_t i = 0; i < index.fields.size(); ++i) {
    const InnoColumnDef& f = index.fields[i];
    FieldSpan& s = fields[i];
    s = FieldSpan{};
    if (f.nullable()) {
      if (mask == 0x100) {
        mask = 1;
        --null_pos;
      }
      const bool null = (page[null_pos] & mask) != 0;
      mask <<= 1;
      if (null) {
        s.is_null = true;
        continue;
      }
    }
    size_t len;
    if (f.fixed_len != 0) {
      len = static_cast<size_t>(f.fixed_len);
    } else {
      if (lens <= kIndexHeaderEnd) return false;  // length bytes ran into the page header
      const uint8_t b1 = page[--lens];
      if (f.big() && (b1 & 0x80)) {
        if (lens <= kIndexHeaderEnd) return false;
        const uint8_t b2 = page[--lens];
        len = (size_t{b1 & 0x3Fu} << 8) | b2;
        s.external = (b1 & 0x40) != 0;
      } else {
        len = b1;
      }
    }
    if (data + len > kPageSize) return false;
    s.offset = static_cast<uint32_t>(data);
    s.length = static_cast<uint32_t>(len);
    data += len;
  }
  return true;
}

PageWalk WalkPageRecords(const uint8_t* page, size_t start,
                         const std::function<bool(size_t origin)>& visit) {
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
      if (!visit(r)) {
        w.stopped_at = next == kSupremumOrigin ? 0 : next;
        ++w.records;
        return w;
      }
      ++w.records;
    }
    r = next;
  }
  return w;
}

}  // namespace vostrel
