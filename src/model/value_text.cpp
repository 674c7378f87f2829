#include "model/value_text.h"

#include <charconv>
#include <cstring>

namespace vostrel {

namespace {

constexpr int kDigitBytes[10] = {0, 1, 1, 2, 2, 3, 3, 4, 4, 4};
constexpr uint32_t kPow10[10] = {1,      10,      100,      1000,      10000,
                                 100000, 1000000, 10000000, 100000000, 1000000000};

// "00" to "99", so that digits go out two at a time.
constexpr char kPairs[201] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

inline int DigitCount(uint64_t v) {
  int n = 1;
  for (;;) {
    if (v < 10) return n;
    if (v < 100) return n + 1;
    if (v < 1000) return n + 2;
    if (v < 10000) return n + 3;
    v /= 10000;
    n += 4;
  }
}

// Writes the `n` lowest digits of v backwards, ending at `end`.
inline void PutDigitsBack(char* end, uint64_t v, int n) {
  while (n >= 2) {
    end -= 2;
    std::memcpy(end, kPairs + 2 * (v % 100), 2);
    v /= 100;
    n -= 2;
  }
  if (n == 1) end[-1] = static_cast<char>('0' + v % 10);
}

// Writes v with at least `width` digits (zeros in front) and returns the end.
char* PutPadded(char* p, uint64_t v, int width) {
  const int digits = DigitCount(v);
  const int n = digits < width ? width : digits;
  PutDigitsBack(p + n, v, n);
  return p + n;
}

// Two digits of a value below 100.
inline char* Put2(char* p, unsigned v) {
  std::memcpy(p, kPairs + 2 * v, 2);
  return p + 2;
}

// Month, day, minute, second: two digits, more when a damaged value is larger.
inline char* Put2OrMore(char* p, int v) {
  return v >= 0 && v < 100 ? Put2(p, static_cast<unsigned>(v))
                           : PutPadded(p, static_cast<uint64_t>(static_cast<int64_t>(v)), 2);
}

char* PutClock(char* p, bool negative, int64_t hours, int minute, int second) {
  if (negative) *p++ = '-';
  const int64_t h = hours < 0 ? -hours : hours;
  p = h < 100 ? Put2(p, static_cast<unsigned>(h)) : PutPadded(p, static_cast<uint64_t>(h), 2);
  *p++ = ':';
  p = Put2OrMore(p, minute);
  *p++ = ':';
  return Put2OrMore(p, second);
}

char* PutFraction(char* p, uint32_t micros, int digits) {
  if (digits <= 0) return p;
  if (digits > 6) digits = 6;
  char buf[6];
  uint32_t v = micros % 1000000;
  for (int i = 5; i >= 0; --i) {
    buf[i] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  *p++ = '.';
  for (int i = 0; i < digits; ++i) *p++ = buf[i];
  return p;
}

// Days since 1970-01-01 to a proleptic Gregorian date; gmtime's arithmetic
// without its time zone lock.
void CivilFromDays(int64_t days, int64_t& year, int& month, int& day) {
  days += 719468;  // from 0000-03-01, so that leap days end each 400-year era's years
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}

// Fractional part of the 5.6 forms, in microseconds, as stored after the integer part.
uint32_t Fraction56(const uint8_t* p, int digits) {
  switch (FractionBytes(digits)) {
    case 1:
      return p[0] * 10000u;
    case 2:
      return static_cast<uint32_t>(ReadUnsignedBe(p, 2)) * 100u;
    case 3:
      return static_cast<uint32_t>(ReadUnsignedBe(p, 3));
    default:
      return 0;
  }
}

template <class Put>
inline void AppendVia(std::string& out, Put put) {
  char buf[kMaxValueText];
  out.append(buf, put(buf));
}

}  // namespace

char* PutUnsigned(char* p, uint64_t v) {
  if (v < 10) {
    *p = static_cast<char>('0' + v);
    return p + 1;
  }
  if (v < 100) return Put2(p, static_cast<unsigned>(v));
  if (v < 100000000) {
    // Most stored numbers: 32-bit arithmetic is enough.
    uint32_t x = static_cast<uint32_t>(v);
    const int n = x < 1000       ? 3
                  : x < 10000    ? 4
                  : x < 100000   ? 5
                  : x < 1000000  ? 6
                  : x < 10000000 ? 7
                                 : 8;
    char* const end = p + n;
    char* q = end;
    while (x >= 100) {
      q -= 2;
      std::memcpy(q, kPairs + 2 * (x % 100), 2);
      x /= 100;
    }
    if (x >= 10) {
      std::memcpy(q - 2, kPairs + 2 * x, 2);
    } else {
      q[-1] = static_cast<char>('0' + x);
    }
    return end;
  }
  return PutPadded(p, v, 1);
}
char* PutSigned(char* p, int64_t v) {
  if (v < 0) {
    *p++ = '-';
    return PutUnsigned(p, 0 - static_cast<uint64_t>(v));
  }
  return PutUnsigned(p, static_cast<uint64_t>(v));
}
char* PutFloat(char* p, float v) {
  return std::to_chars(p, p + 48, v).ptr;
}
char* PutDouble(char* p, double v) {
  return std::to_chars(p, p + 48, v).ptr;
}

void AppendSigned(int64_t v, std::string& out) {
  AppendVia(out, [&](char* p) { return PutSigned(p, v); });
}

void AppendUnsigned(uint64_t v, std::string& out) {
  AppendVia(out, [&](char* p) { return PutUnsigned(p, v); });
}

void AppendFloat(float v, std::string& out) {
  AppendVia(out, [&](char* p) { return PutFloat(p, v); });
}

void AppendDouble(double v, std::string& out) {
  AppendVia(out, [&](char* p) { return PutDouble(p, v); });
}

char* PutHexDigits(char* p, const uint8_t* bytes, size_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (size_t i = 0; i < n; ++i) {
    *p++ = kDigits[bytes[i] >> 4];
    *p++ = kDigits[bytes[i] & 15];
  }
  return p;
}

void AppendHex(std::string_view bytes, std::string& out) {
  if (bytes.empty()) return;
  const size_t start = out.size();
  out.resize(start + 2 + bytes.size() * 2);
  char* p = out.data() + start;
  *p++ = '0';
  *p++ = 'x';
  PutHexDigits(p, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

size_t PackedDecimalSize(int precision, int scale) {
  if (precision < 0 || scale < 0 || scale > precision) return 0;
  const int intg = precision - scale;
  return static_cast<size_t>((intg / 9) * 4 + kDigitBytes[intg % 9] + (scale / 9) * 4 +
                             kDigitBytes[scale % 9]);
}

namespace {

// PutPackedDecimal, telling whether the bytes were valid.
char* PutPackedDecimalChecked(char* out, ByteView bytes, int precision, int scale, bool& ok) {
  ok = false;
  const size_t size = PackedDecimalSize(precision, scale);
  if (size == 0 || size > 32 || bytes.size() < size) {
    *out++ = '0';
    return out;
  }
  uint8_t buf[32];
  std::memcpy(buf, bytes.data(), size);
  const bool negative = (buf[0] & 0x80) == 0;
  buf[0] ^= 0x80;
  if (negative) {
    for (size_t i = 0; i < size; ++i) buf[i] ^= 0xFF;
  }
  const int intg = precision - scale;
  const int intg_full = intg / 9, intg_part = intg % 9;
  const int frac_full = scale / 9, frac_part = scale % 9;
  size_t pos = 0;
  auto take = [&](int nbytes) {
    const uint64_t v = ReadUnsignedBe(buf + pos, static_cast<size_t>(nbytes));
    pos += static_cast<size_t>(nbytes);
    return static_cast<uint32_t>(v);
  };
  // 32 bytes hold at most 8 groups of nine digits and one partial group.
  char digits_int[96];
  char* ie = digits_int;
  if (intg_part > 0) {
    const uint32_t v = take(kDigitBytes[intg_part]);
    if (v >= kPow10[intg_part]) {
      *out++ = '0';
      return out;
    }
    ie = PutPadded(ie, v, 1);
  }
  for (int g = 0; g < intg_full; ++g) {
    const uint32_t v = take(4);
    if (v >= 1000000000u) {
      *out++ = '0';
      return out;
    }
    ie = PutPadded(ie, v, 9);
  }
  char digits_frac[96];
  char* fe = digits_frac;
  for (int g = 0; g < frac_full; ++g) {
    const uint32_t v = take(4);
    if (v >= 1000000000u) {
      *out++ = '0';
      return out;
    }
    fe = PutPadded(fe, v, 9);
  }
  if (frac_part > 0) {
    const uint32_t v = take(kDigitBytes[frac_part]);
    if (v >= kPow10[frac_part]) {
      *out++ = '0';
      return out;
    }
    fe = PutPadded(fe, v, frac_part);
  }
  const char* first = digits_int;
  while (first < ie && *first == '0') ++first;
  bool all_zero = first == ie;
  for (const char* f = digits_frac; all_zero && f < fe; ++f) all_zero = *f == '0';
  if (negative && !all_zero) *out++ = '-';
  if (first == ie) {
    *out++ = '0';
  } else {
    while (first < ie) *out++ = *first++;
  }
  if (scale > 0) {
    *out++ = '.';
    for (const char* f = digits_frac; f < fe; ++f) *out++ = *f;
  }
  ok = true;
  return out;
}

}  // namespace

char* PutPackedDecimal(char* p, ByteView bytes, int precision, int scale) {
  const int intg = precision - scale;
  // Up to nine digits on each side of the point, the usual DECIMAL(M,D): one
  // group each, read in place. Bytes of a negative value are inverted.
  if (scale >= 0 && intg >= 0 && intg <= 9 && scale <= 9) {
    const size_t ni = static_cast<size_t>(kDigitBytes[intg]);
    const size_t nf = static_cast<size_t>(kDigitBytes[scale]);
    const uint8_t* b = bytes.data();
    if (ni + nf > 0 && bytes.size() >= ni + nf) {
      const bool negative = (b[0] & 0x80) == 0;
      const uint64_t flip = negative ? ~uint64_t{0} : 0;
      uint64_t int_value = ni ? ReadUnsignedBe(b, ni) ^ (uint64_t{0x80} << (8 * (ni - 1))) : 0;
      uint64_t frac_value = nf ? ReadUnsignedBe(b + ni, nf) : 0;
      int_value = (int_value ^ flip) & ((uint64_t{1} << (8 * ni)) - 1);
      frac_value = (frac_value ^ flip) & (nf >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * nf)) - 1);
      if (ni == 0 && nf > 0) {
        // No integer digits: the sign bit sits on the fraction's first byte.
        frac_value ^= uint64_t{0x80} << (8 * (nf - 1));
      }
      if (int_value < kPow10[intg] && frac_value < kPow10[scale]) {
        if (negative && (int_value != 0 || frac_value != 0)) *p++ = '-';
        p = PutUnsigned(p, int_value);
        if (scale > 0) {
          *p++ = '.';
          PutDigitsBack(p + scale, frac_value, scale);
          p += scale;
        }
        return p;
      }
    }
  }
  // Up to 18 digits on each side of the point: both parts fit one integer.
  if (scale >= 0 && intg >= 0 && intg <= 18 && scale <= 18) {
    const size_t size = PackedDecimalSize(precision, scale);
    if (size > 0 && bytes.size() >= size) {
      uint8_t buf[32];
      std::memcpy(buf, bytes.data(), size);
      const bool negative = (buf[0] & 0x80) == 0;
      buf[0] ^= 0x80;
      if (negative) {
        for (size_t i = 0; i < size; ++i) buf[i] ^= 0xFF;
      }
      const uint8_t* q = buf;
      bool ok = true;
      auto group = [&](int digits) -> uint64_t {
        const int n = kDigitBytes[digits];
        const uint64_t v = ReadUnsignedBe(q, static_cast<size_t>(n));
        q += n;
        if (v >= kPow10[digits]) ok = false;
        return v;
      };
      uint64_t int_value = 0;
      if (intg % 9 > 0) int_value = group(intg % 9);
      for (int g = 0; g < intg / 9; ++g) int_value = int_value * 1000000000u + group(9);
      uint64_t frac_value = 0;
      for (int g = 0; g < scale / 9; ++g) frac_value = frac_value * 1000000000u + group(9);
      if (scale % 9 > 0) frac_value = frac_value * kPow10[scale % 9] + group(scale % 9);
      if (ok) {
        if (negative && (int_value != 0 || frac_value != 0)) *p++ = '-';
        p = PutUnsigned(p, int_value);
        if (scale > 0) {
          *p++ = '.';
          PutDigitsBack(p + scale, frac_value, scale);
          p += scale;
        }
        return p;
      }
      // Invalid digit groups: the general form says how.
    }
  }
  bool ok;
  return PutPackedDecimalChecked(p, bytes, precision, scale, ok);
}

bool AppendPackedDecimal(ByteView bytes, int precision, int scale, std::string& out) {
  bool ok = false;
  AppendVia(out, [&](char* p) { return PutPackedDecimalChecked(p, bytes, precision, scale, ok); });
  return ok;
}

char* PutDate(char* p, int64_t year, int month, int day) {
  if (year < 0) {
    *p++ = '-';
    year = -year;
  }
  if (year < 10000) {
    p = Put2(p, static_cast<unsigned>(year / 100));
    p = Put2(p, static_cast<unsigned>(year % 100));
  } else {
    p = PutPadded(p, static_cast<uint64_t>(year), 4);
  }
  *p++ = '-';
  p = Put2OrMore(p, month);
  *p++ = '-';
  return Put2OrMore(p, day);
}

void AppendDate(int64_t year, int month, int day, std::string& out) {
  AppendVia(out, [&](char* p) { return PutDate(p, year, month, day); });
}

void AppendClock(bool negative, int64_t hours, int minute, int second, std::string& out) {
  AppendVia(out, [&](char* p) { return PutClock(p, negative, hours, minute, second); });
}

void AppendFraction(uint32_t micros, int digits, std::string& out) {
  AppendVia(out, [&](char* p) { return PutFraction(p, micros, digits); });
}

char* PutOldDate3(char* p, uint32_t v) {
  return PutDate(p, (v >> 9) & 0x7FFF, static_cast<int>((v >> 5) & 0x0F),
                 static_cast<int>(v & 0x1F));
}

void AppendOldDate3(uint32_t v, std::string& out) {
  AppendVia(out, [&](char* p) { return PutOldDate3(p, v); });
}

char* PutOldTime(char* p, int64_t hhmmss) {
  const bool negative = hhmmss < 0;
  const int64_t v = negative ? -hhmmss : hhmmss;
  return PutClock(p, negative, v / 10000, static_cast<int>(v / 100 % 100),
                  static_cast<int>(v % 100));
}

void AppendOldTime(int64_t hhmmss, std::string& out) {
  AppendVia(out, [&](char* p) { return PutOldTime(p, hhmmss); });
}

char* PutOldDateTime(char* p, uint64_t n) {
  const uint64_t date = n / 1000000, time = n % 1000000;
  p = PutDate(p, static_cast<int64_t>(date / 10000), static_cast<int>(date / 100 % 100),
              static_cast<int>(date % 100));
  *p++ = ' ';
  return PutClock(p, false, static_cast<int64_t>(time / 10000), static_cast<int>(time / 100 % 100),
                  static_cast<int>(time % 100));
}

void AppendOldDateTime(uint64_t n, std::string& out) {
  AppendVia(out, [&](char* p) { return PutOldDateTime(p, n); });
}

char* PutTimestampUtc(char* p, uint32_t seconds, uint32_t micros, int digits) {
  if (seconds == 0 && micros == 0) {
    static constexpr char kZero[] = "0000-00-00 00:00:00";
    std::memcpy(p, kZero, sizeof kZero - 1);
    return PutFraction(p + sizeof kZero - 1, 0, digits);
  }
  int64_t year;
  int month, day;
  CivilFromDays(seconds / 86400, year, month, day);
  const uint32_t s = seconds % 86400;
  p = PutDate(p, year, month, day);
  *p++ = ' ';
  p = PutClock(p, false, s / 3600, static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
  return PutFraction(p, micros, digits);
}

void AppendTimestampUtc(uint32_t seconds, uint32_t micros, int digits, std::string& out) {
  AppendVia(out, [&](char* p) { return PutTimestampUtc(p, seconds, micros, digits); });
}

size_t FractionBytes(int digits) {
  return digits <= 0 ? 0 : static_cast<size_t>((digits + 1) / 2);
}

char* PutTime2(char* p, ByteView bytes, int digits) {
  uint8_t b[6] = {};
  for (size_t i = 0; i < 6 && i < bytes.size(); ++i) b[i] = bytes.data()[i];
  int64_t intpart = static_cast<int64_t>(ReadUnsignedBe(b, 3)) - 0x800000;
  int64_t packed;
  switch (FractionBytes(digits)) {
    case 1: {
      int64_t frac = b[3];
      if (intpart < 0 && frac) {  // negative values keep the fraction in reverse order
        ++intpart;
        frac -= 0x100;
      }
      packed = intpart * (int64_t{1} << 24) + frac * 10000;
      break;
    }
    case 2: {
      int64_t frac = static_cast<int64_t>(ReadUnsignedBe(b + 3, 2));
      if (intpart < 0 && frac) {
        ++intpart;
        frac -= 0x10000;
      }
      packed = intpart * (int64_t{1} << 24) + frac * 100;
      break;
    }
    case 3:
      packed = static_cast<int64_t>(ReadUnsignedBe(b, 6)) - 0x800000000000LL;
      break;
    default:
      packed = intpart * (int64_t{1} << 24);
  }
  const bool negative = packed < 0;
  if (negative) packed = -packed;
  const int64_t hms = packed >> 24;
  const uint32_t micros = static_cast<uint32_t>(packed & 0xFFFFFF);
  p = PutClock(p, negative, (hms >> 12) & 0x3FF, static_cast<int>((hms >> 6) & 0x3F),
               static_cast<int>(hms & 0x3F));
  return PutFraction(p, micros, digits);
}

void AppendTime2(ByteView bytes, int digits, std::string& out) {
  AppendVia(out, [&](char* p) { return PutTime2(p, bytes, digits); });
}

char* PutDateTime2(char* p, ByteView bytes, int digits) {
  uint8_t copy[8] = {};
  const uint8_t* b = bytes.data();
  // Read in place when the value is whole; a cut one is read with zeros after it.
  if (bytes.size() < 5 + FractionBytes(digits)) {
    for (size_t i = 0; i < 8 && i < bytes.size(); ++i) copy[i] = bytes.data()[i];
    b = copy;
  }
  int64_t intpart = static_cast<int64_t>(ReadUnsignedBe(b, 5)) - 0x8000000000LL;
  const bool negative = intpart < 0;
  if (negative) intpart = -intpart;
  const uint32_t micros = Fraction56(b + 5, digits);
  const int64_t ymd = intpart >> 17;
  const int64_t ym = ymd >> 5;
  const int64_t hms = intpart % (1 << 17);
  if (negative) *p++ = '-';
  p = PutDate(p, ym / 13, static_cast<int>(ym % 13), static_cast<int>(ymd % 32));
  *p++ = ' ';
  p = PutClock(p, false, hms >> 12, static_cast<int>((hms >> 6) % 64), static_cast<int>(hms % 64));
  return PutFraction(p, micros, digits);
}

void AppendDateTime2(ByteView bytes, int digits, std::string& out) {
  AppendVia(out, [&](char* p) { return PutDateTime2(p, bytes, digits); });
}

char* PutTimestamp2(char* p, ByteView bytes, int digits) {
  uint8_t b[7] = {};
  for (size_t i = 0; i < 7 && i < bytes.size(); ++i) b[i] = bytes.data()[i];
  return PutTimestampUtc(p, static_cast<uint32_t>(ReadUnsignedBe(b, 4)), Fraction56(b + 4, digits),
                         digits);
}

void AppendTimestamp2(ByteView bytes, int digits, std::string& out) {
  AppendVia(out, [&](char* p) { return PutTimestamp2(p, bytes, digits); });
}

char* PutYear(char* p, uint8_t v) {
  if (v == 0) {
    std::memcpy(p, "0000", 4);
    return p + 4;
  }
  return PutUnsigned(p, 1900u + v);
}

void AppendYear(uint8_t v, std::string& out) {
  AppendVia(out, [&](char* p) { return PutYear(p, v); });
}

void AppendBits(uint64_t v, int bits, std::string& out) {
  if (bits <= 0) return;
  const size_t start = out.size();
  out.resize(start + static_cast<size_t>(bits));
  char* p = out.data() + start;
  for (int i = bits - 1; i >= 0; --i) *p++ = ((v >> i) & 1) ? '1' : '0';
}

void AppendEnum(uint64_t index, const std::vector<std::string>& members, std::string& out) {
  if (index >= 1 && index <= members.size()) out += members[index - 1];
}

void AppendSet(uint64_t mask, const std::vector<std::string>& members, std::string& out) {
  bool first = true;
  for (size_t i = 0; i < members.size() && i < 64; ++i) {
    if ((mask >> i) & 1) {
      if (!first) out.push_back(',');
      out += members[i];
      first = false;
    }
  }
}

}  // namespace vostrel
