#include "innodb/record.h"

#include <cstring>

namespace vostrel {

namespace {

constexpr size_t kFirstUserOrigin = 120;  // just past the supremum
constexpr uint8_t kDeleteMark = 0x20;

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
  fields.assign(index.fields.size(), FieldSpan{});
  return SplitRecordInto(page, origin, index,
                         [&fields](size_t i, const FieldSpan& s) { fields[i] = s; });
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
