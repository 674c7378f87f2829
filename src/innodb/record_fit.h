// Whether a leaf's records fit the definition they are split by.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "innodb/page.h"
#include "model/stored_field.h"

namespace vostrel {

// Records split by the definition must each end before the next one's
// header: records of another index, or written by another version of the
// table, split so run into their neighbours or past the page directory.
// `header` is how far below its origin a record's header begins; `spans` is
// scratch space. Empty when every record fits.
template <class Splitter, class Walk>
std::string RecordsOverrunEachOther(const uint8_t* page, Splitter& split, size_t header,
                                    Walk&& walk, std::vector<std::pair<size_t, size_t>>& spans) {
  spans.clear();
  walk(page, 0, [&](size_t r) {
    int32_t short_reference = -1;
    const std::vector<StoredField>* fields = split.Split(page, r, &short_reference);
    if (fields == nullptr) return true;
    size_t end = r;
    for (const StoredField& f : *fields) {
      if (f.data >= page && f.data < page + kPageSize)
        end = std::max(end, static_cast<size_t>(f.data - page) + f.length);
    }
    spans.emplace_back(r, end);
    return true;
  });
  std::sort(spans.begin(), spans.end());
  const size_t directory = kPageSize - 8 - 2 * size_t{PageU16(page, kPageHeader)};
  for (size_t i = 0; i < spans.size(); ++i) {
    const size_t limit = i + 1 < spans.size() ? spans[i + 1].first - header : directory;
    if (spans[i].second > limit) {
      return "the record at offset " + std::to_string(spans[i].first) + " would run to byte " +
             std::to_string(spans[i].second) + ", past " + std::to_string(limit);
    }
  }
  return {};
}

}  // namespace vostrel
