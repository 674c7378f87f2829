// Value-text rules shared by both storage engines: stored bytes to the text
// that the grid shows and the INSERT builder quotes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/byte_view.h"
#include "model/row.h"

namespace vostrel {

inline constexpr const char* kBinaryPlaceholder = "0x<Binarydata>";
inline constexpr const char* kLargeBlobPlaceholder = "Large Blob Data";
inline constexpr const char* kSpatialPlaceholder = "Spatial Data";
inline constexpr const char* kLargeExternPlaceholder = "Large Size Blob Data";

void AppendSigned(int64_t v, std::string& out);
void AppendUnsigned(uint64_t v, std::string& out);
// Shortest text that reads back to the same value.
void AppendFloat(float v, std::string& out);
void AppendDouble(double v, std::string& out);
// "0x" + two upper-case hex digits per byte; nothing for no bytes.
void AppendHex(std::string_view bytes, std::string& out);

// MySQL's packed binary DECIMAL; false (and "0") when the bytes are invalid.
size_t PackedDecimalSize(int precision, int scale);
bool AppendPackedDecimal(ByteView bytes, int precision, int scale, std::string& out);

// Integer of `width` bytes; big-endian with the sign bit flipped is InnoDB's form.
inline uint64_t ReadUnsignedLe(const uint8_t* p, size_t width) {
  uint64_t v = 0;
  for (size_t i = width; i-- > 0;) v = (v << 8) | p[i];
  return v;
}
inline uint64_t ReadUnsignedBe(const uint8_t* p, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width; ++i) v = (v << 8) | p[i];
  return v;
}
inline int64_t SignExtend(uint64_t v, size_t width) {
  if (width == 0 || width >= 8) return static_cast<int64_t>(v);
  const uint64_t sign = uint64_t{1} << (width * 8 - 1);
  return static_cast<int64_t>((v ^ sign) - sign);
}

// Dates and times. Years always have four digits.
void AppendDate(int64_t year, int month, int day, std::string& out);
void AppendClock(bool negative, int64_t hours, int minute, int second, std::string& out);
void AppendFraction(uint32_t micros, int digits, std::string& out);

// Old (pre-5.6) temporal forms as MyISAM and InnoDB keep them.
void AppendOldDate3(uint32_t v, std::string& out);          // day | month << 5 | year << 9
void AppendOldTime(int64_t hhmmss, std::string& out);       // HHMMSS, may be negative
void AppendOldDateTime(uint64_t digits, std::string& out);  // YYYYMMDDhhmmss
void AppendTimestampUtc(uint32_t seconds, uint32_t micros, int digits, std::string& out);

// The 5.6 forms: big-endian integer part followed by fractional bytes.
size_t FractionBytes(int digits);
void AppendTime2(ByteView bytes, int digits, std::string& out);
void AppendDateTime2(ByteView bytes, int digits, std::string& out);
void AppendTimestamp2(ByteView bytes, int digits, std::string& out);
inline size_t Time2Size(int digits) {
  return 3 + FractionBytes(digits);
}
inline size_t DateTime2Size(int digits) {
  return 5 + FractionBytes(digits);
}
inline size_t Timestamp2Size(int digits) {
  return 4 + FractionBytes(digits);
}

void AppendYear(uint8_t v, std::string& out);  // 0 is 0000, else 1900 + v
// BIT(M) as M binary digits.
void AppendBits(uint64_t v, int bits, std::string& out);
// ENUM: 1-based index into the members; 0 or out of range gives the empty text.
void AppendEnum(uint64_t index, const std::vector<std::string>& members, std::string& out);
// SET: bit mask; members joined with ','.
void AppendSet(uint64_t mask, const std::vector<std::string>& members, std::string& out);
inline size_t EnumSize(size_t members) {
  return members > 255 ? 2 : 1;
}
inline size_t SetSize(size_t members) {
  const size_t b = (members + 7) / 8;
  return b > 4 ? 8 : b;
}

// The same texts written at `p`, for callers that format into a buffer of
// their own; each returns the end. kMaxValueText bytes always suffice.
inline constexpr size_t kMaxValueText = 128;
char* PutSigned(char* p, int64_t v);
char* PutUnsigned(char* p, uint64_t v);
char* PutFloat(char* p, float v);
char* PutDouble(char* p, double v);
char* PutPackedDecimal(char* p, ByteView bytes, int precision, int scale);
char* PutDate(char* p, int64_t year, int month, int day);
char* PutOldDate3(char* p, uint32_t v);
char* PutOldTime(char* p, int64_t hhmmss);
char* PutOldDateTime(char* p, uint64_t digits);
char* PutTimestampUtc(char* p, uint32_t seconds, uint32_t micros, int digits);
char* PutTime2(char* p, ByteView bytes, int digits);
char* PutDateTime2(char* p, ByteView bytes, int digits);
char* PutTimestamp2(char* p, ByteView bytes, int digits);
char* PutYear(char* p, uint8_t v);
// Hex of `n` bytes without the "0x": 2n characters.
char* PutHexDigits(char* p, const uint8_t* bytes, size_t n);

}  // namespace vostrel
