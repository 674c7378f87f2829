// Whether a page is the one asked for and whole: its number, tablespace, LSN
// pair and checksum in every form MySQL 5.x and MariaDB write.
#pragma once

#include <cstdint>
#include <string>

#include "innodb/page.h"

namespace vostrel {

inline constexpr uint32_t kNoChecksumMagic = 0xDEADBEEF;  // innodb_checksum_algorithm=none

// Number, tablespace (kFilNull: not known) and LSN pair; no checksum.
PageCheck CheckPageIdentity(const uint8_t* page, uint32_t number, uint32_t space_id,
                            PageLayout layout);
// Identity and checksum.
PageCheck CheckPage(const uint8_t* page, uint32_t number, uint32_t space_id, PageLayout layout);

// crc32 (also MySQL's big-endian variant), innodb, none for the classic layout;
// CRC-32C of all but the last 4 bytes for full_crc32.
bool PageChecksumValid(const uint8_t* page, PageLayout layout);
bool ClassicChecksumValid(const uint8_t* page);
bool FullCrc32ChecksumValid(const uint8_t* page);

// The checksums as the servers compute them, for the tests' page builders.
uint32_t PageCrc32(const uint8_t* page);
uint32_t PageInnodbChecksum(const uint8_t* page);     // the header one
uint32_t PageInnodbOldChecksum(const uint8_t* page);  // the trailer one

// Zero but for the flush LSN that old servers wrote into page 0 of ibdata1.
bool PageIsAllZero(const uint8_t* page);

// "page N of FILE fails its checksum" and the like.
std::string PageFaultText(uint64_t number, const std::string& file, const PageCheck& c);

// An index page keeps its infimum and supremum records at fixed places,
// which differ between the compact and redundant formats.
bool IndexPageFramed(const uint8_t* page);

}  // namespace vostrel
