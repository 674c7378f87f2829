// Page checks: identity, LSN pair and the checksums of each algorithm.
#include "innodb/page_check.h"

#include <cstring>

#include "innodb/crc32c.h"

namespace vostrel {

namespace {

// The two checksummed spans of a classic page: the header after the checksum
// up to the flush LSN (written outside the page's own writes), and the body
// up to the trailer.
constexpr size_t kSpan1 = 4, kSpan1Len = 26 - 4;
constexpr size_t kSpan2 = 38, kSpan2Len = kPageSize - 38 - 8;

constexpr uint32_t kFoldMask1 = 1463735687;
constexpr uint32_t kFoldMask2 = 1653893711;

// InnoDB's fold of a byte string. The arithmetic is done in 64 bits by the
// server but only the low 32 bits are kept, and they depend only on the low
// 32 bits of each step.
uint32_t Fold(const uint8_t* p, size_t n) {
  uint32_t fold = 0;
  for (size_t i = 0; i < n; ++i) {
    fold = ((((fold ^ p[i] ^ kFoldMask2) << 8) + fold) ^ kFoldMask1) + p[i];
  }
  return fold;
}

bool LsnPairMatches(const uint8_t* page, PageLayout layout) {
  const uint32_t low = PageU32(page, 20);
  switch (layout) {
    case PageLayout::kClassic:
      return low == PageU32(page, kPageSize - 4);
    case PageLayout::kFullCrc32:
      // Encrypted pages keep a key version in the first 4 bytes and no LSN copy.
      return PageU32(page, 0) != 0 || low == PageU32(page, kPageSize - 8);
    case PageLayout::kEither:
      return low == PageU32(page, kPageSize - 4) || low == PageU32(page, kPageSize - 8) ||
             PageU32(page, 0) != 0;
    case PageLayout::kCompressed:
      return true;  // compressed pages keep no copy of their LSN
  }
  return false;
}

bool IsPageCompressed(const uint8_t* page) {
  // MariaDB: 34354 and 37401 in the classic layout, bit 15 of the type in full_crc32.
  return (PageU16(page, 24) & 0x8000) != 0;
}

}  // namespace

uint32_t PageCrc32(const uint8_t* page) {
  return Crc32c(page + kSpan1, kSpan1Len) ^ Crc32c(page + kSpan2, kSpan2Len);
}

uint32_t PageInnodbChecksum(const uint8_t* page) {
  return Fold(page + kSpan1, kSpan1Len) + Fold(page + kSpan2, kSpan2Len);
}

uint32_t PageInnodbOldChecksum(const uint8_t* page) {
  return Fold(page, 26);
}

bool ClassicChecksumValid(const uint8_t* page) {
  const uint32_t head = PageU32(page, 0);
  const uint32_t tail = PageU32(page, kPageSize - 8);
  if (head == kNoChecksumMagic && tail == kNoChecksumMagic) return true;
  if (head == tail) {
    // crc32 writes the same value at both ends; the innodb form never does
    // but by chance.
    if (head == PageCrc32(page)) return true;
    if (head == (Crc32cLegacyBigEndian(page + kSpan1, kSpan1Len, kSpan1) ^
                 Crc32cLegacyBigEndian(page + kSpan2, kSpan2Len, kSpan2))) {
      return true;
    }
  }
  // The innodb form: its own checksum at the start; at the end the old-formula
  // one, or in the oldest servers the high half of the LSN.
  if (head != PageInnodbChecksum(page)) return false;
  return tail == PageInnodbOldChecksum(page) || tail == PageU32(page, 16);
}

bool FullCrc32ChecksumValid(const uint8_t* page) {
  return PageU32(page, kPageSize - 4) == Crc32c(page, kPageSize - 4);
}

bool PageChecksumValid(const uint8_t* page, PageLayout layout) {
  switch (layout) {
    case PageLayout::kClassic:
      return ClassicChecksumValid(page);
    case PageLayout::kFullCrc32:
      return FullCrc32ChecksumValid(page);
    case PageLayout::kEither:
      return ClassicChecksumValid(page) || FullCrc32ChecksumValid(page);
    case PageLayout::kCompressed:
      // Checked on the stored page when the image was made.
      return std::memcmp(page + kPageSize - 8, "VZIP", 4) == 0 && page[kPageSize - 4] == 1;
  }
  return false;
}

bool PageIsAllZero(const uint8_t* page) {
  for (size_t i = 0; i < kPageSize; ++i) {
    if (i == 26) i = 34;
    if (page[i] != 0) return false;
  }
  return true;
}

PageCheck CheckPageIdentity(const uint8_t* page, uint32_t number, uint32_t space_id,
                            PageLayout layout) {
  const uint32_t held = PageU32(page, 4);
  const uint32_t space = PageU32(page, 34);
  const bool space_ok = space_id == kFilNull || space == space_id;
  if (held == number && space_ok && LsnPairMatches(page, layout)) {
    if (IsPageCompressed(page)) return {PageFault::kCompressed, 0};
    return {};
  }
  // Something is off; the slower tests below pick the name that fits. A
  // wrong number on a page that fails its checksum is garbage, not a page
  // written to the wrong place.
  if (PageIsAllZero(page)) return {PageFault::kAllZero, 0};
  if (held != number) {
    if (PageChecksumValid(page, layout)) return {PageFault::kWrongNumber, held};
    return {PageFault::kChecksum, 0};
  }
  if (!space_ok) {
    if (PageChecksumValid(page, layout)) return {PageFault::kWrongSpace, space};
    return {PageFault::kChecksum, 0};
  }
  return {PageFault::kTorn, 0};
}

PageCheck CheckPage(const uint8_t* page, uint32_t number, uint32_t space_id, PageLayout layout) {
  const PageCheck c = CheckPageIdentity(page, number, space_id, layout);
  if (!c.ok()) return c;
  if (!PageChecksumValid(page, layout)) {
    if (PageIsAllZero(page)) return {PageFault::kAllZero, 0};
    return {PageFault::kChecksum, 0};
  }
  return c;
}

std::string PageFaultText(uint64_t number, const std::string& file, const PageCheck& c) {
  const std::string page = "page " + std::to_string(number) + " of " + file;
  switch (c.fault) {
    case PageFault::kNone:
      return page + " is intact";
    case PageFault::kOutside:
      return page + " lies outside the file";
    case PageFault::kAllZero:
      return page + " is empty (all zero bytes)";
    case PageFault::kWrongNumber:
      return page + " is page " + std::to_string(c.found);
    case PageFault::kWrongSpace:
      return page + " belongs to tablespace " + std::to_string(c.found);
    case PageFault::kTorn:
      return page + ": header and trailer LSN differ";
    case PageFault::kChecksum:
      return page + " fails its checksum";
    case PageFault::kCompressed:
      return page + " is page-compressed, which is not read";
  }
  return page;
}

bool IndexPageFramed(const uint8_t* page) {
  const size_t infimum = PageIsCompact(page) ? 99 : 101;
  const size_t supremum = PageIsCompact(page) ? 112 : 116;
  if (std::memcmp(page + infimum, "infimum\0", 8) == 0 &&
      std::memcmp(page + supremum, "supremum", 8) == 0) {
    return PageIsCompact(page) || page[supremum + 8] == 0;
  }
  // The root of a table whose columns were dropped or reordered in place
  // keeps zero bytes there, and in the supremum's last its null bitmap size.
  static constexpr uint8_t kZero[8] = {};
  return ReadFilHeader(page).type == kPageTypeInstant &&
         std::memcmp(page + infimum, kZero, 8) == 0 && std::memcmp(page + supremum, kZero, 7) == 0;
}

}  // namespace vostrel
