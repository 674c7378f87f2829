// InnoDB tablespace pages: 16 KiB, big-endian headers.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model/data_file.h"

namespace vostrel {

inline constexpr size_t kPageSize = 16384;
inline constexpr uint32_t kFilNull = 0xFFFFFFFF;
inline constexpr uint16_t kPageTypeIndex = 17855;
// MariaDB's mark on the root of a clustered index changed by instant ALTER TABLE.
inline constexpr uint16_t kPageTypeInstant = 18;
inline constexpr uint16_t kPageTypeBlob = 10;
inline constexpr uint16_t kPageTypeAllocated = 0;
inline constexpr uint16_t kPageTypeInode = 3;
inline constexpr uint16_t kPageTypeFspHeader = 8;
inline constexpr uint16_t kPageTypeXdes = 9;

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
inline uint16_t PageLevel(const uint8_t* page) {
  return PageU16(page, kPageHeader + 26);
}
inline uint64_t PageIndexId(const uint8_t* page) {
  return PageU64(page, kPageHeader + 28);
}
// On a clustered index's root MariaDB keeps the table's AUTO_INCREMENT counter in
// the field secondary indexes use for their newest transaction; MySQL leaves it 0.
inline uint64_t RootAutoIncrement(const uint8_t* page) {
  return PageU64(page, kPageHeader + 18);
}
inline uint16_t PageRecordCount(const uint8_t* page) {
  return PageU16(page, kPageHeader + 16);
}
inline bool IsIndexPageType(uint16_t type) {
  return type == kPageTypeIndex || type == kPageTypeInstant;
}
// Bit 15 of the heap-record count marks the compact format.
inline bool PageIsCompact(const uint8_t* page) {
  return (PageU16(page, kPageHeader + 4) & 0x8000) != 0;
}

// Where a tablespace's pages keep their checksum and trailer LSN.
enum class PageLayout : uint8_t {
  kClassic,    // checksum at the start, old checksum and LSN in the last 8 bytes
  kFullCrc32,  // MariaDB full_crc32: LSN, then the CRC-32C of all before it
  // ROW_FORMAT=COMPRESSED: pages of the zip size without an LSN trailer. The
  // 16 KiB images a Tablespace gives of them carry, in their last 8 bytes,
  // whether the stored page's checksum held.
  kCompressed,
  kEither,  // page 0 cannot tell: whichever holds
};

// Why a page read is not the page asked for, or not intact.
enum class PageFault : uint8_t {
  kNone,
  kOutside,      // past the end of the file
  kAllZero,      // never written
  kWrongNumber,  // holds another page
  kWrongSpace,   // belongs to another tablespace
  kTorn,         // header and trailer LSN differ: a write did not finish
  kChecksum,
  kCompressed,  // MariaDB page compression, not read
};

struct PageCheck {
  PageFault fault = PageFault::kNone;
  uint32_t found = 0;  // the page number or tablespace the page holds instead
  bool ok() const { return fault == PageFault::kNone; }
  // The number and space are right: its header (links, record count) says
  // something about the page asked for, though unproven.
  bool header_is_its_own() const {
    return fault == PageFault::kNone || fault == PageFault::kChecksum || fault == PageFault::kTorn;
  }
};

// A tablespace file: .ibd or ibdata1. Every page read through it can be
// checked for being the page asked for, of this tablespace, whole.
//
// A ROW_FORMAT=COMPRESSED tablespace reads the same way: its index pages come
// out decompressed into 16 KiB images that the record code walks as any
// other; other pages come out as stored, zero-padded.
class Tablespace {
 public:
  Tablespace();
  ~Tablespace();
  Tablespace(const Tablespace&) = delete;
  Tablespace& operator=(const Tablespace&) = delete;

  // Reads page 0 for the tablespace id and the page layout.
  bool Open(const std::filesystem::path& path, std::string* error);
  void Close() { file_.Close(); }
  bool is_open() const { return file_.is_open(); }
  uint64_t page_count() const { return file_.size() / physical_; }
  uint64_t size() const { return file_.size(); }
  const std::filesystem::path& path() const { return file_.path(); }
  std::string file_name() const { return file_.path().filename().string(); }

  // Copies page n into `out` as it is; false when it lies outside the file.
  bool ReadPage(uint64_t n, PageBuffer& out);
  // Page n where the read window holds it, valid until the next read; nullptr
  // when it lies outside the file. For walks that only look at headers.
  const uint8_t* ViewPage(uint64_t n);
  // Page n, checked whole: number, tablespace, LSN pair and checksum.
  PageCheck ReadCheckedPage(uint64_t n, PageBuffer& out);
  // Page n checked for all but its checksum, which a walk can leave to the
  // threads that format the page (ChecksumValid).
  PageCheck ReadIdentifiedPage(uint64_t n, PageBuffer& out);
  PageCheck Identify(uint64_t n, const uint8_t* page) const;
  PageCheck Check(uint64_t n, const uint8_t* page) const;
  // Thread-safe: no state is touched.
  bool ChecksumValid(const uint8_t* page) const;
  // "page N of FILE fails its checksum", "page N of FILE is page M", ...
  std::string FaultText(uint64_t n, const PageCheck& c) const;

  uint32_t space_id() const { return space_id_; }  // kFilNull: unknown
  PageLayout layout() const { return layout_; }
  // What is wrong with page 0 (empty when nothing): the id and layout were
  // then taken from other pages.
  const std::string& header_problem() const { return header_problem_; }
  // "not read: ..." for page formats this reader does not know; empty otherwise.
  const std::string& unsupported() const { return unsupported_; }

  // ROW_FORMAT=COMPRESSED, and the bytes of a page in the file.
  bool compressed() const { return layout_ == PageLayout::kCompressed; }
  uint32_t physical_page_size() const { return physical_; }
  // Page n as stored (physical_page_size() bytes); false outside the file.
  bool ReadStoredPage(uint64_t n, std::vector<uint8_t>& out);

 private:
  void ReadHeaderPage();
  bool ReadZipHeader();
  // Page n of a compressed tablespace into a 16 KiB image.
  bool ReadZipPage(uint64_t n, uint8_t* out, bool decompress);

  DataFile file_;
  uint32_t physical_ = kPageSize;
  struct Zip;
  std::unique_ptr<Zip> zip_;
  uint32_t space_id_ = kFilNull;
  PageLayout layout_ = PageLayout::kEither;
  std::string header_problem_;
  std::string unsupported_;
};

}  // namespace vostrel
