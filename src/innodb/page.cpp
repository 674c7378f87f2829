#include "innodb/page.h"

#include <algorithm>
#include <cstring>

#include "innodb/page_check.h"
#include "innodb/tablespace_geometry.h"
#include "innodb/zip_checksum.h"
#include "innodb/zip_page.h"

namespace vostrel {

namespace {

constexpr size_t kFspHeader = 38;
constexpr uint32_t kFcrc32Marker = 1u << 4;
// Pages tried for the tablespace id when page 0 is damaged.
constexpr uint64_t kIdProbePages = 64;

std::string PageSizeText(uint32_t ssize) {
  const uint64_t bytes = uint64_t{512} << ssize;
  return std::to_string(bytes / 1024) + " KiB pages";
}

}  // namespace

// What a compressed tablespace needs to read its pages.
struct Tablespace::Zip {
  ZipPageDecompressor decompressor;
  std::vector<uint8_t> raw;
  PageBuffer view;
};

Tablespace::Tablespace() = default;
Tablespace::~Tablespace() = default;

bool Tablespace::Open(const std::filesystem::path& path, std::string* error) {
  space_id_ = kFilNull;
  layout_ = PageLayout::kEither;
  physical_ = kPageSize;
  zip_.reset();
  header_problem_.clear();
  unsupported_.clear();
  if (!file_.Open(path, error)) return false;
  if (!ReadZipHeader()) ReadHeaderPage();
  return true;
}

// A compressed tablespace names its page size in the flags of page 0, which
// is then a page of that size with a checksum of its own kind.
bool Tablespace::ReadZipHeader() {
  uint8_t head[kFspFlagsOffset + 4];
  if (file_.Read(0, sizeof head, head) != sizeof head) return false;
  const TablespaceGeometry g = GeometryFromFlags(PageU32(head, kFspFlagsOffset));
  if (!g.compressed() || !g.problem.empty()) return false;
  physical_ = g.physical_page_size;
  layout_ = PageLayout::kCompressed;
  zip_ = std::make_unique<Zip>();
  if (!g.not_read.empty()) unsupported_ = g.not_read.front();
  if (!ReadStoredPage(0, zip_->raw)) {
    header_problem_ = "page 0 of " + file_name() + " lies outside the file";
    return true;
  }
  if (ZipPageChecksumValid(zip_->raw.data(), physical_) && PageU32(zip_->raw.data(), 4) == 0) {
    space_id_ = PageU32(zip_->raw.data(), kFspHeader);
  } else {
    header_problem_ = "page 0 of " + file_name() + " fails its checksum";
  }
  return true;
}

bool Tablespace::ReadStoredPage(uint64_t n, std::vector<uint8_t>& out) {
  if (n >= page_count()) return false;
  out.resize(physical_);
  return file_.Read(n * physical_, physical_, out.data()) == physical_;
}

// The image's last 8 bytes: "VZIP" and whether the stored page's checksum
// held (an image has no LSN trailer of its own).
bool Tablespace::ReadZipPage(uint64_t n, uint8_t* out, bool decompress) {
  if (!ReadStoredPage(n, zip_->raw)) return false;
  const uint8_t* raw = zip_->raw.data();
  bool intact = ZipPageChecksumValid(raw, physical_);
  if (!decompress || PageU16(raw, 24) != kPageTypeIndex ||
      !zip_->decompressor.Decompress(raw, physical_, out, nullptr)) {
    // As stored; an index page that does not decompress keeps its header,
    // which still says what page it is, and reads as damaged.
    std::memcpy(out, raw, std::min<size_t>(physical_, kPageSize));
    if (physical_ < kPageSize) std::memset(out + physical_, 0, kPageSize - physical_);
    if (decompress && PageU16(raw, 24) == kPageTypeIndex) intact = false;
  }
  std::memcpy(out + kPageSize - 8, "VZIP", 4);
  out[kPageSize - 4] = intact ? 1 : 0;
  out[kPageSize - 3] = out[kPageSize - 2] = out[kPageSize - 1] = 0;
  return true;
}

void Tablespace::ReadHeaderPage() {
  PageBuffer page;
  if (!ReadPage(0, page)) return;  // shorter than a page: every read fails anyway
  const uint8_t* p = page.data();
  const uint32_t fsp_space = PageU32(p, kFspHeader);
  const uint32_t flags = PageU32(p, kFspHeader + 16);
  const bool full_crc32 = (flags & kFcrc32Marker) != 0;
  const PageLayout layout = full_crc32 ? PageLayout::kFullCrc32 : PageLayout::kClassic;
  const bool self_consistent = PageU32(p, 4) == 0 && PageU32(p, 34) == fsp_space;
  PageCheck c = CheckPage(p, 0, fsp_space, layout);
  if (c.ok() || self_consistent) {
    // Formats whose pages are laid out otherwise are named, not read as damage.
    if (full_crc32) {
      const uint32_t ssize = flags & 0xF;
      if (ssize != 0 && ssize != 5) unsupported_ = "not read: " + PageSizeText(ssize);
      if (((flags >> 5) & 7) != 0) unsupported_ = "not read: MariaDB page compression";
    } else {
      const uint32_t zip = (flags >> 1) & 0xF;
      const uint32_t ssize = (flags >> 6) & 0xF;
      if (ssize != 0 && ssize != 5) unsupported_ = "not read: " + PageSizeText(ssize);
      if (zip != 0) unsupported_ = "not read: ROW_FORMAT=COMPRESSED pages";
    }
  }
  if (c.ok()) {
    space_id_ = fsp_space;
    layout_ = layout;
    return;
  }
  if (!unsupported_.empty()) return;
  header_problem_ = PageFaultText(0, file_name(), c);
  // The id and layout from the first page that proves itself.
  for (uint64_t n = 1; n < page_count() && n < kIdProbePages; ++n) {
    if (!ReadPage(n, page)) break;
    for (PageLayout l : {PageLayout::kClassic, PageLayout::kFullCrc32}) {
      c = CheckPage(page.data(), static_cast<uint32_t>(n), kFilNull, l);
      if (c.ok()) {
        space_id_ = PageU32(page.data(), 34);
        layout_ = l;
        return;
      }
    }
  }
}

bool Tablespace::ReadPage(uint64_t n, PageBuffer& out) {
  if (n >= page_count()) return false;
  if (zip_) return ReadZipPage(n, out.data(), true);
  return file_.Read(n * kPageSize, kPageSize, out.data()) == kPageSize;
}

const uint8_t* Tablespace::ViewPage(uint64_t n) {
  if (n >= page_count()) return nullptr;
  // A compressed page's header is stored as it is: nothing to decompress for it.
  if (zip_) return ReadZipPage(n, zip_->view.data(), false) ? zip_->view.data() : nullptr;
  return file_.View(n * kPageSize, kPageSize);
}

PageCheck Tablespace::Identify(uint64_t n, const uint8_t* page) const {
  return CheckPageIdentity(page, static_cast<uint32_t>(n), space_id_, layout_);
}

PageCheck Tablespace::Check(uint64_t n, const uint8_t* page) const {
  return CheckPage(page, static_cast<uint32_t>(n), space_id_, layout_);
}

bool Tablespace::ChecksumValid(const uint8_t* page) const {
  return PageChecksumValid(page, layout_);
}

PageCheck Tablespace::ReadCheckedPage(uint64_t n, PageBuffer& out) {
  if (n > kFilNull - 1 || !ReadPage(n, out)) return {PageFault::kOutside, 0};
  return Check(n, out.data());
}

PageCheck Tablespace::ReadIdentifiedPage(uint64_t n, PageBuffer& out) {
  if (n > kFilNull - 1 || !ReadPage(n, out)) return {PageFault::kOutside, 0};
  return Identify(n, out.data());
}

std::string Tablespace::FaultText(uint64_t n, const PageCheck& c) const {
  return PageFaultText(n, file_name(), c);
}

}  // namespace vostrel
