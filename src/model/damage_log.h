// Collects what a walk over a damaged file had to skip, for one log line.
#pragma once

#include <cstdint>
#include <string>

namespace vostrel {

struct DamageLog {
  uint64_t count = 0;
  std::string first;  // the first damage met, with its position

  void Note(const std::string& what) {
    if (count++ == 0) first = what;
  }
  bool any() const { return count > 0; }
  std::string Summary() const {
    if (count == 0) return {};
    return first + (count > 1 ? " (and " + std::to_string(count - 1) + " more)" : std::string());
  }
};

}  // namespace vostrel
