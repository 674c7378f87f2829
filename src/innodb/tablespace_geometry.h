// Page sizes of a tablespace, read from the FSP header flags on its page 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vostrel {

// Which layout the flags were read in.
enum class FspFlagLayout : uint8_t {
  kClassic,     // MySQL 5.6/5.7/8.0, MariaDB 10.1.21 and later without full_crc32
  kMariaDb101,  // MariaDB 10.1.0-10.1.20, page size bits misplaced
  kFullCrc32,   // MariaDB 10.5+ innodb_checksum_algorithm=full_crc32
};

struct TablespaceGeometry {
  uint32_t flags = 0;
  FspFlagLayout layout = FspFlagLayout::kClassic;
  uint32_t logical_page_size = 16384;   // the page InnoDB works on in memory
  uint32_t physical_page_size = 16384;  // bytes per page in the file (the zip size)
  // ROW_FORMAT=COMPRESSED pages; with KEY_BLOCK_SIZE=16 both sizes are 16 KiB.
  bool zip = false;
  bool atomic_blobs = false;  // DYNAMIC or COMPRESSED rows
  // Features that change the page bytes and that this tool does not decode,
  // each as "not read: <what>".
  std::vector<std::string> not_read;
  // Features that do not change how pages are read (DATA DIRECTORY, ...).
  std::vector<std::string> notes;
  // Set when the flags fit no known layout; the sizes are then guesses.
  std::string problem;

  bool compressed() const { return zip; }
  bool readable() const { return problem.empty() && not_read.empty(); }
};

// FSP_SPACE_FLAGS of page 0 (at byte 54).
inline constexpr size_t kFspFlagsOffset = 38 + 16;

TablespaceGeometry GeometryFromFlags(uint32_t flags);

// The geometry from page 0. `len` bytes of it are at hand; with the whole
// physical page, MariaDB's encryption record on page 0 is looked at too.
TablespaceGeometry ReadTablespaceGeometry(const uint8_t* page0, size_t len);

}  // namespace vostrel
