// A MyISAM record image as the server's row format lays it out, with the
// data of its BLOB fields kept apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vostrel {

// Data of one BLOB/TEXT field, kept apart from the record image.
struct BlobSpan {
  uint32_t image_offset = 0;
  const uint8_t* data = nullptr;
  size_t length = 0;
};

struct MyisamRecord {
  const uint8_t* image = nullptr;
  size_t image_length = 0;
  const std::vector<BlobSpan>* blobs = nullptr;
  uint64_t position = 0;
};

}  // namespace vostrel
