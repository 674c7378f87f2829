// InnoDB pages found anywhere in a file or block device (a disk image, a
// carved file, an ibdata1 whose dictionary is lost): every 512-byte boundary
// is tried for a 16 KiB index or value page whose checksum holds. Only the
// pages' places and headers are kept, never their bytes.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "innodb/page.h"

namespace vostrel {

// A file opened read-only for reading at any offset: a regular file or a
// block device.
class ImageFile {
 public:
  ImageFile() = default;
  ~ImageFile();
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  bool Open(const std::filesystem::path& path, std::string* error);
  uint64_t size() const { return size_; }
  const std::filesystem::path& path() const { return path_; }
  // Bytes read at `pos` (fewer only at the end or on an error).
  size_t Read(uint64_t pos, size_t length, uint8_t* out) const;

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  std::filesystem::path path_;
};

struct ImagePage {
  uint64_t offset = 0;  // in the image
  uint64_t lsn = 0;
  uint64_t index_id = 0;  // index pages only
  uint32_t space_id = 0;
  uint32_t page = 0;
  uint32_t prev = kFilNull;
  uint32_t next = kFilNull;
  uint32_t records = 0;  // live records an index page's header and list count
  uint16_t level = 0;
  uint16_t type = 0;
  bool compact = true;
  uint32_t zip_size = 0;  // ROW_FORMAT=COMPRESSED: the stored page's size; 0 otherwise
};

struct ImageIndexSummary {
  uint64_t pages = 0;
  uint64_t leaves = 0;
  uint64_t records = 0;       // live records of its leaves
  uint64_t older_copies = 0;  // copies of the same pages with a lower LSN, set aside
  uint64_t bad_checksum = 0;  // pages naming this index whose checksum fails
  uint64_t compact_pages = 0;
  uint64_t redundant_pages = 0;
  uint64_t instant_pages = 0;  // roots marked by instant ALTER TABLE
  uint64_t zip_pages = 0;      // ROW_FORMAT=COMPRESSED
  uint32_t zip_size = 0;
  std::set<uint32_t> spaces;
};

struct ImageScanResult {
  uint64_t image_bytes = 0;
  uint64_t bytes_scanned = 0;
  bool stopped = false;
  std::string error;  // the image could not be read (whole)
  // Newest copy of every (space, page) found; index pages, then value pages
  // with the extent descriptor pages (FSP header, XDES) of their tablespaces.
  std::vector<ImagePage> index_pages;
  std::vector<ImagePage> value_pages;
  std::map<uint64_t, ImageIndexSummary> indexes;
  uint64_t bad_checksum = 0;  // index pages whose checksum fails
  uint64_t older_copies = 0;  // of index and value pages
  uint64_t value_bad_checksum = 0;
  // Tablespace header pages naming a page size other than 16 KiB: their
  // tablespaces' pages are not looked for.
  std::map<uint32_t, uint64_t> other_page_sizes;  // page size, headers seen
  // Pages of MariaDB page compression are not read; this counts them.
  uint64_t compressed_pages = 0;
};

struct ImageScanOptions {
  // Keep the index pages of this id only (0: all); summaries cover every id.
  uint64_t keep_index = 0;
  bool keep_value_pages = false;
  size_t chunk = 8u << 20;
  const std::atomic<bool>* stop = nullptr;
  // Called after each chunk with the bytes done and the image size.
  std::function<void(uint64_t, uint64_t)> progress;
};

ImageScanResult ScanImagePages(const ImageFile& image, const ImageScanOptions& options);

// The page size an FSP header page's flags name (MySQL and MariaDB
// full_crc32 forms), 0 when they name none.
uint32_t FspFlagsPageSize(uint32_t flags);

}  // namespace vostrel
