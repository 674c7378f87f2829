#include "innodb/image_pages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "innodb/leaf_scan.h"
#include "innodb/page_check.h"
#include "innodb/zip_checksum.h"
#include "innodb/zip_page.h"

namespace vostrel {

namespace {

constexpr size_t kSector = 512;
constexpr uint32_t kMinZipSize = 1024;

// A page found whole: its checksum in any form the servers write, and the
// low half of its LSN repeated where that form keeps it.
bool PageWhole(const uint8_t* p) {
  const uint32_t low = PageU32(p, 20);
  // full_crc32 first: one CRC, where the classic check may fold the page.
  if (low == PageU32(p, kPageSize - 8) && FullCrc32ChecksumValid(p)) return true;
  return low == PageU32(p, kPageSize - 4) && ClassicChecksumValid(p);
}

// The first page of a tablespace as it presents itself: page 0, and the
// space id of the FIL header repeated in the FSP header.
bool LooksLikeFspHeader(const uint8_t* p) {
  return PageU16(p, 24) == kPageTypeFspHeader && PageU32(p, 4) == 0 &&
         PageU32(p, 34) == PageU32(p, kPageHeader);
}

// A zlib stream header: deflate, a window of at most 32 KiB, its check bits.
bool LooksLikeZlibStart(const uint8_t* z) {
  return (z[0] & 0x0F) == 8 && (z[0] >> 4) <= 7 && ((z[0] << 8) | z[1]) % 31 == 0;
}

// The size of the compressed page at `p` whose checksum holds, 0 for none.
uint32_t ZipSize(const uint8_t* p, size_t available) {
  for (uint32_t size = kMinZipSize; size <= kPageSize && size <= available; size *= 2) {
    const ZipChecksum kind = ZipPageChecksumKind(p, size);
    if (kind != ZipChecksum::kMismatch && kind != ZipChecksum::kEmpty) return size;
  }
  return 0;
}

ImagePage Describe(const uint8_t* p, uint64_t offset) {
  const FilHeader h = ReadFilHeader(p);
  ImagePage e;
  e.offset = offset;
  e.lsn = PageU64(p, 16);
  e.space_id = h.space_id;
  e.page = h.page_number;
  e.prev = h.prev;
  e.next = h.next;
  e.type = h.type;
  return e;
}

// Newest copy of each (space, page) first; the rest counted as older copies.
void KeepNewest(std::vector<ImagePage>& pages, std::vector<ImagePage>* older) {
  std::sort(pages.begin(), pages.end(), [](const ImagePage& a, const ImagePage& b) {
    if (a.space_id != b.space_id) return a.space_id < b.space_id;
    if (a.page != b.page) return a.page < b.page;
    if (a.lsn != b.lsn) return a.lsn > b.lsn;
    return a.offset < b.offset;
  });
  size_t out = 0;
  for (size_t i = 0; i < pages.size(); ++i) {
    if (out > 0 && pages[out - 1].space_id == pages[i].space_id &&
        pages[out - 1].page == pages[i].page) {
      if (older) older->push_back(pages[i]);
      continue;
    }
    pages[out++] = pages[i];
  }
  pages.resize(out);
}

}  // namespace

ImageFile::~ImageFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool ImageFile::Open(const std::filesystem::path& path, std::string* error) {
  path_ = path;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) {
    if (error) *error = path.string() + " cannot be opened: " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
    if (error) *error = path.string() + " is neither a file nor a block device";
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  if (S_ISREG(st.st_mode)) {
    size_ = static_cast<uint64_t>(st.st_size);
  } else {
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    size_ = end > 0 ? static_cast<uint64_t>(end) : 0;
  }
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

size_t ImageFile::Read(uint64_t pos, size_t length, uint8_t* out) const {
  size_t got = 0;
  while (got < length) {
    const ssize_t n = ::pread(fd_, out + got, length - got, static_cast<off_t>(pos + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

uint32_t FspFlagsPageSize(uint32_t flags) {
  if (flags & 0x10) {
    // MariaDB full_crc32: the marker bit, the page size in bits 0-3.
    const uint32_t ssize = flags & 0xF;
    return ssize >= 3 && ssize <= 7 ? 512u << ssize : 0;
  }
  const uint32_t ssize = (flags >> 6) & 0xF;
  if (ssize == 0) return kPageSize;
  return ssize >= 3 && ssize <= 7 ? 512u << ssize : 0;
}

ImageScanResult ScanImagePages(const ImageFile& image, const ImageScanOptions& options) {
  ImageScanResult r;
  r.image_bytes = image.size();
  const size_t chunk = std::max<size_t>(options.chunk, kPageSize) / kSector * kSector;
  // A page may start anywhere in a chunk: its last bytes come from the next.
  // Zeros follow what was read.
  std::vector<uint8_t> buf(chunk + 2 * kPageSize);
  std::vector<ImagePage> index_pages;
  std::vector<ImagePage> value_pages;
  uint64_t pos = 0;
  while (pos + kMinZipSize <= image.size()) {
    if (options.stop != nullptr && options.stop->load(std::memory_order_relaxed)) {
      r.stopped = true;
      break;
    }
    const size_t want =
        static_cast<size_t>(std::min<uint64_t>(chunk + kPageSize, image.size() - pos));
    const size_t got = image.Read(pos, want, buf.data());
    if (got < want) {
      r.error = image.path().string() + ": read error at byte " + std::to_string(pos + got) + ": " +
                std::strerror(errno) + "; the rest of the image is not scanned";
    }
    if (got < kMinZipSize) break;
    // The image's last bytes may hold compressed pages smaller than 16 KiB;
    // a 16 KiB page cut short there fails its checksum on the zeros after it.
    std::memset(buf.data() + got, 0, kPageSize);
    const bool tail = pos + got == image.size();
    size_t off = 0;
    const size_t last =
        tail ? got - kMinZipSize : std::min(got - std::min(got, kPageSize), chunk - kSector);
    while (off <= last) {
      const uint8_t* p = buf.data() + off;
      const uint16_t type = PageU16(p, 24);
      if (IsIndexPageType(type)) {
        if (!IndexPageFramed(p)) {
          // ROW_FORMAT=COMPRESSED keeps its records in a zlib stream, on
          // pages of 1 to 16 KiB.
          if (type == kPageTypeIndex && LooksLikeZlibStart(p + kPageHeader + 56)) {
            if (const uint32_t zip = ZipSize(p, got - off); zip != 0) {
              ImagePage e = Describe(p, pos + off);
              e.index_id = PageIndexId(p);
              e.level = PageLevel(p);
              e.compact = true;
              e.zip_size = zip;
              if (e.level == 0) e.records = PageRecordCount(p);
              index_pages.push_back(e);
              off += zip;
              continue;
            }
            ++r.bad_checksum;
            ++r.indexes[PageIndexId(p)].bad_checksum;
          }
          off += kSector;
          continue;
        }
        if (!PageWhole(p)) {
          ++r.bad_checksum;
          ++r.indexes[PageIndexId(p)].bad_checksum;
          off += kSector;
          continue;
        }
        ImagePage e = Describe(p, pos + off);
        e.index_id = PageIndexId(p);
        e.level = PageLevel(p);
        e.compact = PageIsCompact(p);
        if (e.level == 0) e.records = static_cast<uint32_t>(ClaimedLiveRecords(p));
        index_pages.push_back(e);
        off += kPageSize;  // pages do not overlap
        continue;
      }
      if ((type == kPageTypeZBlob || type == kPageTypeZBlob2) && options.keep_value_pages) {
        if (const uint32_t zip = ZipSize(p, got - off); zip != 0) {
          ImagePage e = Describe(p, pos + off);
          e.zip_size = zip;
          value_pages.push_back(e);
          off += zip;
          continue;
        }
        ++r.value_bad_checksum;
      } else if (type == kPageTypeBlob && options.keep_value_pages) {
        if (PageWhole(p)) {
          value_pages.push_back(Describe(p, pos + off));
          off += kPageSize;
          continue;
        }
        ++r.value_bad_checksum;
      } else if (type == kPageTypeFspHeader && LooksLikeFspHeader(p) &&
                 FspFlagsPageSize(PageU32(p, kPageHeader + 16)) != kPageSize) {
        const uint32_t size = FspFlagsPageSize(PageU32(p, kPageHeader + 16));
        if (size != 0) ++r.other_page_sizes[size];
      } else if ((type == kPageTypeFspHeader || type == kPageTypeXdes) &&
                 options.keep_value_pages && PageWhole(p)) {
        // Extent descriptors: which leaves their tablespace still uses.
        value_pages.push_back(Describe(p, pos + off));
        off += kPageSize;
        continue;
      } else if (type == 34354 || type == 37401) {
        ++r.compressed_pages;  // MariaDB page compression
      }
      off += kSector;
    }
    pos += off;
    r.bytes_scanned = std::min(pos, image.size());
    if (options.progress) options.progress(r.bytes_scanned, image.size());
    if (!r.error.empty()) break;
  }
  if (r.error.empty() && !r.stopped) r.bytes_scanned = image.size();

  std::vector<ImagePage> older;
  KeepNewest(index_pages, &older);
  for (const ImagePage& o : older) ++r.indexes[o.index_id].older_copies;
  r.older_copies = older.size();
  for (const ImagePage& e : index_pages) {
    ImageIndexSummary& s = r.indexes[e.index_id];
    ++s.pages;
    if (e.level == 0) {
      ++s.leaves;
      s.records += e.records;
    }
    ++(e.compact ? s.compact_pages : s.redundant_pages);
    if (e.type == kPageTypeInstant) ++s.instant_pages;
    if (e.zip_size != 0) {
      ++s.zip_pages;
      s.zip_size = e.zip_size;
    }
    s.spaces.insert(e.space_id);
  }
  if (options.keep_index != 0) {
    std::erase_if(index_pages,
                  [&](const ImagePage& e) { return e.index_id != options.keep_index; });
  }
  r.index_pages = std::move(index_pages);
  if (options.keep_value_pages) {
    older.clear();
    KeepNewest(value_pages, &older);
    r.older_copies += older.size();
    r.value_pages = std::move(value_pages);
  }
  return r;
}

}  // namespace vostrel
