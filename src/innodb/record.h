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
size_t NextRecord(const uint8_t* page, size_t origin);

}  // namespace vostrel
