#include "innodb/tablespace_geometry.h"

#include <cstring>

namespace vostrel {

namespace {

constexpr uint32_t kPostAntelope = 1u << 0;
constexpr uint32_t kAtomicBlobs = 1u << 5;
constexpr uint32_t kFullCrc32Marker = 1u << 4;
constexpr uint32_t kInvalid = 0xFFFFFFFF;

uint32_t ZipSsize(uint32_t flags) {
  return (flags >> 1) & 15;
}
uint32_t PageSsize(uint32_t flags) {
  return (flags >> 6) & 15;
}
// Page sizes are stored as log2(size) - 9, 0 standing for 16 KiB.
uint32_t SizeOf(uint32_t ssize) {
  return 512u << ssize;
}
bool BadPageSsize(uint32_t s) {
  return s == 1 || s == 2 || s == 5 || s >= 8;
}

std::string Hex(uint32_t v) {
  static const char* digits = "0123456789abcdef";
  std::string s = "0x";
  bool started = false;
  for (int shift = 28; shift >= 0; shift -= 4) {
    const unsigned d = (v >> shift) & 15;
    if (d != 0 || started || shift == 0) {
      s += digits[d];
      started = true;
    }
  }
  return s;
}

// MySQL 5.6/5.7/8.0 and MariaDB 10.1.21+ place the page sizes the same way;
// bits 10-15 are MySQL's own features, bit 16 MariaDB's page compression.
bool ClassicValid(uint32_t flags) {
  if (flags >> 17) return false;
  if ((flags & (kPostAntelope | kAtomicBlobs)) == kAtomicBlobs) return false;
  const uint32_t zip = ZipSsize(flags);
  const uint32_t page = PageSsize(flags);
  if (zip > 5 || BadPageSsize(page)) return false;
  if (page != 0 && zip > page) return false;
  if (zip != 0 && (flags & (1u << 16))) return false;
  return true;
}

// MariaDB 10.1.0-10.1.20 put page compression at bits 6-10, atomic writes at
// 11-12 and the page size at 13-16. Returns the classic form, or kInvalid.
uint32_t ConvertFromMariaDb101(uint32_t flags) {
  if (flags >> 18) return kInvalid;
  if ((flags & (kPostAntelope | kAtomicBlobs)) == kAtomicBlobs) return kInvalid;
  const uint32_t compression = (flags >> 6) & 1;
  const uint32_t level = (flags >> 7) & 15;
  if (compression != (level != 0 ? 1u : 0u) || level > 9) return kInvalid;
  if (((flags >> 11) & 3) == 3) return kInvalid;
  const uint32_t page = (flags >> 13) & 15;
  if (page == 1 || page == 2 || page == 5 || page >= 8) return kInvalid;
  const uint32_t zip = ZipSsize(flags);
  if (zip != 0) {
    if (zip > (page != 0 ? page : 5)) return kInvalid;
    if ((flags & (kPostAntelope | kAtomicBlobs)) != (kPostAntelope | kAtomicBlobs)) return kInvalid;
  }
  return (flags & 0x3F) | page << 6 | compression << 16;
}

void ReadClassic(uint32_t flags, TablespaceGeometry& g) {
  const uint32_t page = PageSsize(flags);
  const uint32_t zip = ZipSsize(flags);
  g.logical_page_size = page != 0 ? SizeOf(page) : 16384;
  g.physical_page_size = zip != 0 ? SizeOf(zip) : g.logical_page_size;
  g.zip = zip != 0;
  g.atomic_blobs = (flags & kAtomicBlobs) != 0;
  if (flags & (1u << 10)) g.notes.push_back("DATA DIRECTORY (MySQL 5.6/5.7 flag)");
  if (flags & (1u << 11)) g.notes.push_back("general tablespace (MySQL 5.7 shared flag)");
  if (flags & (1u << 12)) g.notes.push_back("temporary tablespace (MySQL 5.7 flag)");
  if (flags & (1u << 13)) g.not_read.push_back("not read: encrypted (MySQL tablespace encryption)");
  if (flags & (1u << 14)) g.notes.push_back("serialized dictionary pages (MySQL 8.0 SDI flag)");
  if (flags & (1u << 15)) g.not_read.push_back("not read: unknown tablespace flag bit 15");
  if (flags & (1u << 16))
    g.not_read.push_back("not read: page_compressed (MariaDB page compression)");
}

const char* AlgorithmName(uint32_t algo) {
  switch (algo) {
    case 1:
      return "zlib";
    case 2:
      return "lz4";
    case 3:
      return "lzo";
    case 4:
      return "lzma";
    case 5:
      return "bzip2";
    case 6:
      return "snappy";
    default:
      return "unknown algorithm";
  }
}

}  // namespace

TablespaceGeometry GeometryFromFlags(uint32_t flags) {
  TablespaceGeometry g;
  g.flags = flags;
  if (flags & kFullCrc32Marker) {
    // full_crc32 has no ROW_FORMAT=COMPRESSED: one page size for both.
    g.layout = FspFlagLayout::kFullCrc32;
    const uint32_t ssize = flags & 15;
    const uint32_t algo = (flags >> 5) & 7;
    if (ssize < 3 || ssize >= 8 || (flags >> 8) != 0 || algo > 6) {
      g.problem = "tablespace flags " + Hex(flags) + " are not valid full_crc32 flags";
    }
    g.logical_page_size = g.physical_page_size = ssize >= 3 && ssize < 8 ? SizeOf(ssize) : 16384;
    g.atomic_blobs = true;
    if (algo != 0) {
      g.not_read.push_back(std::string("not read: page_compressed (") + AlgorithmName(algo) + ")");
    }
  } else if (ClassicValid(flags)) {
    ReadClassic(flags, g);
  } else if (const uint32_t converted = ConvertFromMariaDb101(flags); converted != kInvalid) {
    g.layout = FspFlagLayout::kMariaDb101;
    ReadClassic(converted, g);
    if (flags & (1u << 17)) g.notes.push_back("DATA DIRECTORY (MariaDB 10.1 flag)");
    if ((flags >> 11) & 3) g.notes.push_back("ATOMIC_WRITES (MariaDB 10.1 flag)");
  } else {
    g.problem = "tablespace flags " + Hex(flags) + " fit no known layout";
    ReadClassic(flags & 0x3FF, g);
  }
  if (g.problem.empty() && g.logical_page_size != 16384) {
    g.not_read.push_back("not read: innodb_page_size " + std::to_string(g.logical_page_size) +
                         " (only 16 KiB pages are read)");
  }
  return g;
}

TablespaceGeometry ReadTablespaceGeometry(const uint8_t* page0, size_t len) {
  if (len < kFspFlagsOffset + 4) {
    TablespaceGeometry g;
    g.problem = "page 0 is too short to hold the tablespace header";
    return g;
  }
  const uint8_t* f = page0 + kFspFlagsOffset;
  const uint32_t flags =
      (uint32_t{f[0]} << 24) | (uint32_t{f[1]} << 16) | (uint32_t{f[2]} << 8) | f[3];
  TablespaceGeometry g = GeometryFromFlags(flags);
  if (!g.problem.empty()) return g;
  // MariaDB keeps its encryption record after the extent descriptors of page 0.
  const uint32_t logical = g.logical_page_size;
  const size_t extent_pages = logical < 16384 ? (1u << 20) / logical : 64;
  const size_t descriptor = 24 + extent_pages * 2 / 8;
  const size_t at = 38 + 150 + descriptor * g.physical_page_size / extent_pages;
  static const uint8_t kMagic[6] = {'s', 0x0E, 0x0C, 'R', 'E', 't'};
  if (at + 7 <= len && at + 7 <= g.physical_page_size &&
      std::memcmp(page0 + at, kMagic, sizeof kMagic) == 0) {
    if (page0[at + 6] != 0) {
      g.not_read.push_back("not read: encrypted (MariaDB data-at-rest encryption)");
    } else {
      g.notes.push_back("encryption record present, tablespace not encrypted");
    }
  }
  return g;
}

}  // namespace vostrel
