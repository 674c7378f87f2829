// Collects what a walk over a damaged file had to skip, for one log line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vostrel {

struct DamageLog {
  uint64_t count = 0;
  std::string first;  // the first damage met, with its position
  uint64_t first_at = UINT64_MAX;
  // Damage worth a log line of its own (a page and what it held), the
  // first few hundred of them.
  std::vector<std::string> lines;
  static constexpr size_t kMaxLines = 100;

  void Name(std::string line) {
    Note(line);
    if (lines.size() < kMaxLines) lines.push_back(std::move(line));
  }

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
    for (const std::string& l : other.lines) {
      if (lines.size() < kMaxLines) lines.push_back(l);
    }
  }
  bool any() const { return count > 0; }
  std::string Summary() const {
    if (count == 0) return {};
    return first + (count > 1 ? " (and " + std::to_string(count - 1) + " more)" : std::string());
  }
};

}  // namespace vostrel
