// Checksums of ROW_FORMAT=COMPRESSED pages, which cover other bytes than
// those of 16 KiB pages and have no trailer copy.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vostrel {

// CRC-32C (Castagnoli), as InnoDB's crc32 checksums use it.
uint32_t Crc32c(const uint8_t* data, size_t len);

enum class ZipChecksum : uint8_t {
  kMismatch,
  kCrc32,   // innodb_checksum_algorithm=crc32 (and full_crc32 servers, which keep it here)
  kInnodb,  // the older Adler-32 based algorithm
  kNone,    // innodb_checksum_algorithm=none: the magic 0xDEADBEEF
  kEmpty,   // an all-zero page
};

// Which algorithm the stored checksum of a compressed page matches.
ZipChecksum ZipPageChecksumKind(const uint8_t* zpage, size_t zip_size);

// The stored checksum matches one of the algorithms a server may have written.
bool ZipPageChecksumValid(const uint8_t* zpage, size_t zip_size);

}  // namespace vostrel
