// InnoDB tablespace pages: 16 KiB, big-endian headers.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "model/data_file.h"

namespace vostrel {

inline constexpr size_t kPageSize = 16384;
inline constexpr uint32_t kFilNull = 0xFFFFFFFF;
inline constexpr uint16_t kPageTypeIndex = 17855;
inline constexpr uint16_t kPageTypeBlob = 10;

// Compact-format fixed records.
inline constexpr size_t kInfimumOrigin = 99;
inline constexpr size_t kSupremumOrigin = 112;
inline constexpr size_t kPageHeader = 38;  // index page header starts here

using PageBuffer = std::array<uint8_t, kPageSize>;

inline uint16_t PageU16(const uint8_t* p, size_t off) {
  return static_cast<uint16_t>((p[off] << 8) | p[off + 1]);
}
inline uint32_t PageU32(const uint8_t* p, size_t off) {
  return (uint32_t{p[off]} << 24) | (uint32_t{p[off + 1]} << 16) | (uint32_t{p[off + 2]} << 8) |
         p[off + 3];
}
inline uint64_t PageU64(const uint8_t* p, size_t off) {
  return (uint64_t{PageU32(p, off)} << 32) | PageU32(p, off + 4);
}

struct FilHeader {
  uint32_t page_number = 0;
  uint32_t prev = kFilNull;
  uint32_t next = kFilNull;
  uint16_t type = 0;
  uint32_t space_id = 0;
};

inline FilHeader ReadFilHeader(const uint8_t* page) {
  FilHeader h;
  h.page_number = PageU32(page, 4);
  h.prev = PageU32(page, 8);
  h.next = PageU32(page, 12);
  h.type = PageU16(page, 24);
  h.space_id = PageU32(page, 34);
  return h;
}

// Index page header fields.
inline uint16_t PageLevel(const uint8_t* page) { return PageU16(page, kPageHeader + 26); }
inline uint64_t PageIndexId(const uint8_t* page) { return PageU64(page, kPageHeader + 28); }
inline uint16_t PageRecordCount(const uint8_t* page) { return PageU16(page, kPageHeader + 16); }
// Bit 15 of the heap-record count marks the compact format.
inline bool PageIsCompact(const uint8_t* page) { return (PageU16(page, kPageHeader + 4) & 0x8000) != 0; }

// A tablespace file: .ibd or ibdata1.
class Tablespace {
 public:
  bool Open(const std::filesystem::path& path, std::string* error);
  void Close() { file_.Close(); }
  bool is_open() const { return file_.is_open(); }
  uint64_t page_count() const { return file_.size() / kPageSize; }
  uint64_t size() const { return file_.size(); }
  // Copies page n into `out`; false when it lies outside the file.
  bool ReadPage(uint64_t n, PageBuffer& out);
  const std::filesystem::path& path() const { return file_.path(); }

 private:
  DataFile file_;
};

}  // namespace vostrel
