// Bounds-checked little/big-endian reads over untrusted bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace vostrel {

class ByteView {
 public:
  ByteView() = default;
  ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit ByteView(std::span<const uint8_t> s) : data_(s.data()), size_(s.size()) {}
  explicit ByteView(std::string_view s)
      : data_(reinterpret_cast<const uint8_t*>(s.data())), size_(s.size()) {}

  size_t size() const { return size_; }
  const uint8_t* data() const { return data_; }
  bool fits(size_t offset, size_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }

  // Reads past the end give 0; callers check fits() where the difference matters.
  uint8_t u8(size_t off) const { return fits(off, 1) ? data_[off] : 0; }
  uint16_t u16le(size_t off) const {
    return fits(off, 2) ? static_cast<uint16_t>(data_[off] | (data_[off + 1] << 8)) : 0;
  }
  uint32_t u24le(size_t off) const {
    return fits(off, 3) ? (uint32_t{data_[off]} | (uint32_t{data_[off + 1]} << 8) |
                           (uint32_t{data_[off + 2]} << 16))
                        : 0;
  }
  uint32_t u32le(size_t off) const {
    return fits(off, 4) ? (u16le(off) | (uint32_t{u16le(off + 2)} << 16)) : 0;
  }

  // A sub-range clipped to what exists.
  ByteView sub(size_t offset, size_t length) const {
    if (offset > size_) return ByteView(data_ + size_, 0);
    if (length > size_ - offset) length = size_ - offset;
    return ByteView(data_ + offset, length);
  }
  std::string_view text(size_t offset, size_t length) const {
    ByteView v = sub(offset, length);
    return std::string_view(reinterpret_cast<const char*>(v.data_), v.size_);
  }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace vostrel
