// Collects what a walk over a damaged file had to skip, for one log line.
#pragma once

#include <cstdint>
#include <string>

namespace vostrel {

struct DamageLog {
  uint64_t count = 0;
  std::string first;  // the first damage met, with its position
  uint64_t first_at = UINT64_MAX;

  void Note(const std::string& what) {
    if (count++ == 0) first = what;
  }
  // Damage at a byte position: the earliest position is named, whatever order
  // threads report in.
  void NoteAt(uint64_t pos, const std::string& what) {
    if (count++ == 0 || pos < first_at) {
      first = what + " at byte " + std::to_string(pos);
      first_at = pos;
    }
  }
  // Takes in what another log (a batch's) met: the earliest position wins
  // the name, else the first noted.
  void Merge(const DamageLog& other) {
    if (other.count == 0) return;
    if (count == 0 || other.first_at < first_at) {
      first = other.first;
      first_at = other.first_at;
    }
    count += other.count;
  }
  bool any() const { return count > 0; }
  std::string Summary() const {
    if (count == 0) return {};
    return first + (count > 1 ? " (and " + std::to_string(count - 1) + " more)" : std::string());
  }
};

}  // namespace vostrel
