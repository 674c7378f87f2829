// Reads a big-endian bit stream (most significant bit first), as myisampack
// writes it. Bits past the end read as zeros and are counted, so a caller
// checks overrun() once after a run of reads instead of before each one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vostrel {

class BitReader {
 public:
  BitReader(const uint8_t* data, size_t length) : data_(data), length_(length) {}

  // At least 57 valid bits in the accumulator afterwards.
  void Refill() {
    if (pos_ + 8 <= length_) {
      uint64_t w;
      std::memcpy(&w, data_ + pos_, 8);
      w = __builtin_bswap64(w);
      acc_ |= w >> bits_;
      pos_ += (63 - bits_) >> 3;
      bits_ |= 56;
      return;
    }
    while (bits_ <= 56) {
      const uint64_t b = pos_ < length_ ? data_[pos_] : 0;
      acc_ |= b << (56 - bits_);
      ++pos_;
      bits_ += 8;
    }
  }
  // The next `n` bits (1 to 32); Refill first when fewer may be held.
  uint32_t Peek(unsigned n) const { return static_cast<uint32_t>(acc_ >> (64 - n)); }
  void Skip(unsigned n) {
    acc_ <<= n;
    bits_ -= n;
  }
  unsigned held() const { return bits_; }

  uint32_t Get(unsigned n) {
    if (n == 0) return 0;
    if (bits_ < n) Refill();
    const uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  bool GetBit() { return Get(1) != 0; }

  uint64_t consumed_bits() const { return uint64_t{pos_} * 8 - bits_; }
  bool overrun() const { return consumed_bits() > uint64_t{length_} * 8; }
  // Drops the rest of the current byte.
  void AlignToByte() { Skip(bits_ & 7); }
  // Bytes consumed, the current one counted whole.
  uint64_t consumed_bytes() const { return (consumed_bits() + 7) / 8; }
  // Moves to a byte position (after AlignToByte), forgetting what was held.
  void SeekByte(size_t pos) {
    pos_ = pos;
    acc_ = 0;
    bits_ = 0;
  }

 private:
  const uint8_t* data_;
  size_t length_;
  size_t pos_ = 0;
  uint64_t acc_ = 0;  // valid bits left-aligned; bits below them are zero or the stream's next bits
  unsigned bits_ = 0;
};

}  // namespace vostrel
