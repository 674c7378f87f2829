#include "innodb/record.h"

#include <cstring>

#include "innodb/page_check.h"

namespace vostrel {

namespace {

bool HasText(const uint8_t* page, size_t at, const char* text) {
  return std::memcmp(page + at, text, std::strlen(text)) == 0;
}

}  // namespace

size_t FirstRecord(const uint8_t* page) {
  if (!HasText(page, kInfimumOrigin, "infimum") && !IndexPageFramed(page)) return 0;
  const size_t r = NextRecord(page, kInfimumOrigin);
  return r == kSupremumOrigin || r >= kPageSize ? 0 : r;
}

bool SplitRecord(const uint8_t* page, size_t origin, const ClusteredIndex& index,
                 std::vector<FieldSpan>& fields) {
  fields.assign(index.fields.size(), FieldSpan{0, 0, false, false, true});
  return SplitRecordInto(page, origin, index,
                         [&fields](size_t i, const FieldSpan& s) { fields[i] = s; }) != 0;
}

PageWalk WalkPageRecords(const uint8_t* page, size_t start,
                         const std::function<bool(size_t origin)>& visit) {
  return WalkPageRecordsWith(page, start, visit);
}

}  // namespace vostrel
