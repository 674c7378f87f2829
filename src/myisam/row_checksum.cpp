#include "myisam/row_checksum.h"

#include <algorithm>
#include <array>

#include "model/value_text.h"

namespace vostrel {

namespace {

constexpr uint16_t kOptionNullFields = 1024;  // NULL columns take no part in the sum

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[i] = c;
  }
  return t;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

uint32_t Crc32(uint32_t crc, const uint8_t* p, size_t n) {
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = kCrcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

MyisamRowChecksum::MyisamRowChecksum(const MyiHeader& header)
    : header_(header), skip_nulls_((header.options & kOptionNullFields) != 0) {
  for (const MyiColumn& c : header.myi_columns) {
    if (c.kind == kFieldBlob || c.kind == kFieldVarchar) whole_image_ = false;
    image_length_ += c.length;
  }
}

uint32_t MyisamRowChecksum::Of(const MyisamRecord& rec) const {
  if (rec.image_length < image_length_) return 0;
  if (whole_image_) return Crc32(0, rec.image, image_length_);
  uint32_t crc = 0;
  size_t off = 0;
  for (const MyiColumn& c : header_.myi_columns) {
    const uint8_t* p = rec.image + off;
    const size_t start = off;
    off += c.length;
    if (skip_nulls_ && c.null_bit != 0 && c.null_pos < image_length_ &&
        (rec.image[c.null_pos] & c.null_bit) != 0) {
      continue;
    }
    if (c.kind == kFieldBlob) {
      if (rec.blobs == nullptr) continue;
      for (const BlobSpan& b : *rec.blobs) {
        if (b.image_offset == start) crc = Crc32(crc, b.data, b.length);
      }
    } else if (c.kind == kFieldVarchar) {
      const size_t prefix = c.length <= 256 ? 1 : 2;
      const size_t n = static_cast<size_t>(ReadUnsignedLe(p, prefix));
      if (c.length >= prefix) crc = Crc32(crc, p + prefix, std::min(n, c.length - prefix));
    } else {
      crc = Crc32(crc, p, c.length);
    }
  }
  return crc;
}

}  // namespace vostrel
