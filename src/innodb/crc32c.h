// CRC-32C (Castagnoli), the checksum of crc32 and full_crc32 InnoDB pages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vostrel {

// The CRC of `length` bytes; SSE4.2 when the CPU has it, else tables.
uint32_t Crc32c(const uint8_t* data, size_t length);

// The table version, whatever the CPU; for tests that hold the two against each other.
uint32_t Crc32cSoftware(const uint8_t* data, size_t length);
bool Crc32cHardware();

// The CRC as MySQL 5.6/5.7 computed it on big-endian machines: every 8-byte
// word aligned to the page start is taken in reverse byte order. `data` is
// `offset` bytes into its page.
uint32_t Crc32cLegacyBigEndian(const uint8_t* data, size_t length, size_t offset);

}  // namespace vostrel
