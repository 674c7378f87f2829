// CRC-32C in hardware (three interleaved streams, so the instruction's
// latency is hidden) or with slice-by-8 tables.
#include "innodb/crc32c.h"

#include <cstring>

#if defined(__x86_64__)
#include <nmmintrin.h>
#endif

namespace vostrel {

namespace {

constexpr uint32_t kPoly = 0x82F63B78;  // 0x1EDC6F41 bit-reversed

// Polynomials mod P in the reflected form the register uses: bit 31 is x^0.
constexpr uint32_t MulModP(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (int i = 0; i < 32; ++i) {
    if (a & 0x80000000u) product ^= b;
    a <<= 1;
    b = (b & 1) ? (b >> 1) ^ kPoly : b >> 1;
  }
  return product;
}

constexpr uint32_t XPow(uint64_t n) {
  uint32_t result = 0x80000000u;  // x^0
  uint32_t square = 0x40000000u;  // x^1
  for (; n != 0; n >>= 1) {
    if (n & 1) result = MulModP(result, square);
    square = MulModP(square, square);
  }
  return result;
}

struct SliceTables {
  uint32_t t[8][256] = {};
};

constexpr SliceTables MakeSliceTables() {
  SliceTables s;
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kPoly : c >> 1;
    s.t[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n) {
    for (int k = 1; k < 8; ++k) s.t[k][n] = (s.t[k - 1][n] >> 8) ^ s.t[0][s.t[k - 1][n] & 0xFF];
  }
  return s;
}

constexpr SliceTables kSlice = MakeSliceTables();

// Bytes per stream of one interleaved round: a page's checksummed span is
// one round and a short tail.
constexpr size_t kStreamBytes = 5440;

// The register advanced over kStreamBytes zero bytes, a byte of it at a time.
struct ShiftTables {
  uint32_t t[4][256] = {};
};

constexpr ShiftTables MakeShiftTables() {
  ShiftTables s;
  const uint32_t factor = XPow(8 * kStreamBytes);
  for (uint32_t k = 0; k < 4; ++k) {
    for (uint32_t v = 0; v < 256; ++v) s.t[k][v] = MulModP(v << (8 * k), factor);
  }
  return s;
}

constexpr ShiftTables kShift = MakeShiftTables();

inline uint32_t ShiftStream(uint32_t c) {
  return kShift.t[0][c & 0xFF] ^ kShift.t[1][(c >> 8) & 0xFF] ^ kShift.t[2][(c >> 16) & 0xFF] ^
         kShift.t[3][c >> 24];
}

inline uint64_t LoadLe64(const uint8_t* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

uint32_t SoftwareUpdate(uint32_t crc, const uint8_t* p, size_t n) {
  for (; n >= 8; p += 8, n -= 8) {
    const uint64_t w = LoadLe64(p) ^ crc;
    crc = kSlice.t[7][w & 0xFF] ^ kSlice.t[6][(w >> 8) & 0xFF] ^ kSlice.t[5][(w >> 16) & 0xFF] ^
          kSlice.t[4][(w >> 24) & 0xFF] ^ kSlice.t[3][(w >> 32) & 0xFF] ^
          kSlice.t[2][(w >> 40) & 0xFF] ^ kSlice.t[1][(w >> 48) & 0xFF] ^ kSlice.t[0][w >> 56];
  }
  for (; n > 0; ++p, --n) crc = kSlice.t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
  return crc;
}

#if defined(__x86_64__)
__attribute__((target("sse4.2"))) uint32_t HardwareUpdate(uint32_t crc, const uint8_t* p,
                                                          size_t n) {
  uint64_t c = crc;
  // Three streams whose registers are joined by shifting the earlier ones
  // over the bytes that follow them.
  for (; n >= 3 * kStreamBytes; p += 3 * kStreamBytes, n -= 3 * kStreamBytes) {
    uint64_t a = c, b = 0, d = 0;
    const uint8_t* q = p;
    for (size_t i = 0; i < kStreamBytes; i += 8, q += 8) {
      a = _mm_crc32_u64(a, LoadLe64(q));
      b = _mm_crc32_u64(b, LoadLe64(q + kStreamBytes));
      d = _mm_crc32_u64(d, LoadLe64(q + 2 * kStreamBytes));
    }
    c = ShiftStream(ShiftStream(static_cast<uint32_t>(a)) ^ static_cast<uint32_t>(b)) ^
        static_cast<uint32_t>(d);
  }
  for (; n >= 8; p += 8, n -= 8) c = _mm_crc32_u64(c, LoadLe64(p));
  uint32_t c32 = static_cast<uint32_t>(c);
  for (; n > 0; ++p, --n) c32 = _mm_crc32_u8(c32, *p);
  return c32;
}
#endif

using UpdateFn = uint32_t (*)(uint32_t, const uint8_t*, size_t);

UpdateFn PickUpdate() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("sse4.2")) return HardwareUpdate;
#endif
  return SoftwareUpdate;
}

UpdateFn Update() {
  static const UpdateFn update = PickUpdate();
  return update;
}

}  // namespace

static_assert(kStreamBytes % 8 == 0);

uint32_t Crc32c(const uint8_t* data, size_t length) {
  return ~Update()(0xFFFFFFFFu, data, length);
}

uint32_t Crc32cSoftware(const uint8_t* data, size_t length) {
  return ~SoftwareUpdate(0xFFFFFFFFu, data, length);
}

bool Crc32cHardware() {
  return Update() != SoftwareUpdate;
}

uint32_t Crc32cLegacyBigEndian(const uint8_t* data, size_t length, size_t offset) {
  uint32_t crc = 0xFFFFFFFFu;
  auto byte = [&crc](uint8_t b) { crc = kSlice.t[0][(crc ^ b) & 0xFF] ^ (crc >> 8); };
  size_t i = 0;
  for (; i < length && (offset + i) % 8 != 0; ++i) byte(data[i]);
  for (; length - i >= 8; i += 8) {
    for (int k = 7; k >= 0; --k) byte(data[i + static_cast<size_t>(k)]);
  }
  for (; i < length; ++i) byte(data[i]);
  return ~crc;
}

}  // namespace vostrel
