#include "innodb/redundant_record.h"

#include <cstring>

namespace vostrel {

namespace {

constexpr size_t kHeaderEnd = kPageHeader + 56;

}  // namespace

bool SplitRedundantRecord(const uint8_t* page, size_t origin, RedundantRecord& rec) {
  if (origin < kHeaderEnd + 6 || origin >= kPageSize) return false;
  const size_t n = ((page[origin - 4] & 0x07u) << 7) | (page[origin - 3] >> 1);
  const bool one_byte = (page[origin - 3] & 1) != 0;
  rec.origin = origin;
  rec.deleted = (page[origin - 6] & 0x20) != 0;
  rec.fields.assign(n, RedundantField{});
  const size_t table_bytes = n * (one_byte ? 1 : 2);
  if (origin < kHeaderEnd + 6 + table_bytes) return false;
  size_t start = 0;
  for (size_t i = 0; i < n; ++i) {
    size_t end;
    bool null;
    bool external = false;
    if (one_byte) {
      const uint8_t b = page[origin - 7 - i];
      end = b & 0x7F;
      null = (b & 0x80) != 0;
    } else {
      const uint16_t v = PageU16(page, origin - 8 - 2 * i);
      end = v & 0x3FFF;
      null = (v & 0x8000) != 0;
      external = (v & 0x4000) != 0;
    }
    if (end < start || origin + end > kPageSize) return false;
    rec.fields[i] = RedundantField{static_cast<uint32_t>(origin + start),
                                   static_cast<uint32_t>(end - start), null, external && !null};
    start = end;
  }
  return true;
}

bool WalkRedundantPage(const uint8_t* page,
                       const std::function<void(const RedundantRecord&)>& visit) {
  if (std::memcmp(page + kRedundantInfimum, "infimum", 7) != 0) return false;
  size_t r = PageU16(page, kRedundantInfimum - 2);
  RedundantRecord rec;
  for (size_t steps = 0; r != 0 && r != kRedundantSupremum; ++steps) {
    if (steps > kPageSize / 6 || r >= kPageSize - 8) return false;
    if (std::memcmp(page + r, "supremum", 8) == 0) break;
    if (!SplitRedundantRecord(page, r, rec)) return false;
    visit(rec);
    r = PageU16(page, r - 2);
  }
  return true;
}

}  // namespace vostrel
