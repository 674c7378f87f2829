// Checksums of ROW_FORMAT=COMPRESSED pages, which cover other bytes than
// those of 16 KiB pages and have no trailer copy.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vostrel {

enum class ZipChecksum : uint8_t {
  kMismatch,
  kCrc32,           // innodb_checksum_algorithm=crc32 (and full_crc32 servers, which keep it here)
  kCrc32BigEndian,  // crc32 as MySQL 5.6/5.7 computed it on big-endian machines
  kInnodb,          // the older Adler-32 based algorithm
  kNone,            // innodb_checksum_algorithm=none: the magic 0xDEADBEEF
  kEmpty,           // an all-zero page
};

// Which algorithm the stored checksum of a compressed page matches.
ZipChecksum ZipPageChecksumKind(const uint8_t* zpage, size_t zip_size);

// The stored checksum matches one of the algorithms a server may have written.
bool ZipPageChecksumValid(const uint8_t* zpage, size_t zip_size);

}  // namespace vostrel
