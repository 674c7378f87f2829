// Records in the old (redundant) format, as the system tables keep them.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "innodb/page.h"

namespace vostrel {

inline constexpr size_t kRedundantInfimum = 101;

struct RedundantField {
  uint32_t offset = 0;  // in the page
  uint32_t length = 0;
  bool is_null = false;
};

struct RedundantRecord {
  size_t origin = 0;
  bool deleted = false;
  std::vector<RedundantField> fields;
};

// Visits the records of a redundant-format index page in list order. Returns
// false when the list leaves the page, loops, or a record does not fit.
bool WalkRedundantPage(const uint8_t* page, const std::function<void(const RedundantRecord&)>& visit);

}  // namespace vostrel
