// The row checksum MyISAM sums into its index file's state (myisampack always
// keeps it; other tables when made WITH CHECKSUM=1): rebuilt rows whose sum
// differs from it were not all read as written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "myisam/myi_header.h"
#include "myisam/myisam_record.h"

namespace vostrel {

// CRC-32 (the zlib polynomial) of `n` bytes, continuing from `crc`.
uint32_t Crc32(uint32_t crc, const uint8_t* p, size_t n);

// Stateless: one serves any number of threads. Sums of Of() over all rows are
// added as unsigned 32-bit numbers, in any order.
class MyisamRowChecksum {
 public:
  explicit MyisamRowChecksum(const MyiHeader& header);
  uint32_t Of(const MyisamRecord& rec) const;

 private:
  const MyiHeader& header_;
  bool whole_image_ = true;  // no BLOB or VARCHAR column: the image in one piece
  bool skip_nulls_ = false;
  size_t image_length_ = 0;
};

}  // namespace vostrel
