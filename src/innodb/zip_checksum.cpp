#include "innodb/zip_checksum.h"

#include <zlib.h>

#include "innodb/crc32c.h"

namespace vostrel {

namespace {

// Bytes 0-3 (the checksum), 16-23 (LSN) and 26-33 (flush LSN or key version)
// are left out: the three spans below are what the checksum covers.
constexpr size_t kOffsetField = 4;
constexpr size_t kLsnField = 16;
constexpr size_t kTypeField = 24;
constexpr size_t kSpaceField = 34;
constexpr uint32_t kNoChecksumMagic = 0xDEADBEEF;

uint32_t StoredChecksum(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

ZipChecksum ZipPageChecksumKind(const uint8_t* zpage, size_t zip_size) {
  if (zip_size <= kSpaceField) return ZipChecksum::kMismatch;
  const uint32_t stored = StoredChecksum(zpage);
  if (stored == 0) {
    bool zero = true;
    for (size_t i = 0; i < zip_size && zero; ++i) zero = zpage[i] == 0;
    if (zero) return ZipChecksum::kEmpty;
  }
  const uint32_t crc = Crc32c(zpage + kOffsetField, kLsnField - kOffsetField) ^
                       Crc32c(zpage + kTypeField, 2) ^
                       Crc32c(zpage + kSpaceField, zip_size - kSpaceField);
  if (stored == crc) return ZipChecksum::kCrc32;
  const uint32_t legacy =
      Crc32cLegacyBigEndian(zpage + kOffsetField, kLsnField - kOffsetField, kOffsetField) ^
      Crc32cLegacyBigEndian(zpage + kTypeField, 2, kTypeField) ^
      Crc32cLegacyBigEndian(zpage + kSpaceField, zip_size - kSpaceField, kSpaceField);
  if (stored == legacy) return ZipChecksum::kCrc32BigEndian;
  // The server starts this Adler-32 at 0, not at zlib's usual 1.
  uLong adler = adler32(0L, zpage + kOffsetField, kLsnField - kOffsetField);
  adler = adler32(adler, zpage + kTypeField, 2);
  adler = adler32(adler, zpage + kSpaceField, static_cast<uInt>(zip_size - kSpaceField));
  if (stored == static_cast<uint32_t>(adler)) return ZipChecksum::kInnodb;
  if (stored == kNoChecksumMagic) return ZipChecksum::kNone;
  return ZipChecksum::kMismatch;
}

bool ZipPageChecksumValid(const uint8_t* zpage, size_t zip_size) {
  return ZipPageChecksumKind(zpage, zip_size) != ZipChecksum::kMismatch;
}

}  // namespace vostrel
