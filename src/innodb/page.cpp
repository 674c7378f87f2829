#include "innodb/page.h"

#include "innodb/page_check.h"

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

bool Tablespace::Open(const std::filesystem::path& path, std::string* error) {
  space_id_ = kFilNull;
  layout_ = PageLayout::kEither;
  header_problem_.clear();
  unsupported_.clear();
  if (!file_.Open(path, error)) return false;
  ReadHeaderPage();
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
  return file_.Read(n * kPageSize, kPageSize, out.data()) == kPageSize;
}

const uint8_t* Tablespace::ViewPage(uint64_t n) {
  if (n >= page_count()) return nullptr;
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
