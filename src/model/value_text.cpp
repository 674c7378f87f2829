#include "model/value_text.h"

#include <charconv>
#include <cmath>
#include <ctime>

namespace vostrel {

namespace {

constexpr int kDigitBytes[10] = {0, 1, 1, 2, 2, 3, 3, 4, 4, 4};
constexpr uint32_t kPow10[10] = {1,      10,      100,      1000,      10000,
                                 100000, 1000000, 10000000, 100000000, 1000000000};

void AppendPadded(uint64_t v, int width, std::string& out) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  const int len = static_cast<int>(res.ptr - buf);
  for (int i = len; i < width; ++i) out.push_back('0');
  out.append(buf, res.ptr);
}

}  // namespace

void AppendSigned(int64_t v, std::string& out) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

void AppendUnsigned(uint64_t v, std::string& out) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

void AppendFloat(float v, std::string& out) {
  char buf[48];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

void AppendDouble(double v, std::string& out) {
  char buf[48];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

void AppendHex(std::string_view bytes, std::string& out) {
  if (bytes.empty()) return;
  static const char kDigits[] = "0123456789ABCDEF";
  const size_t start = out.size();
  out.resize(start + 2 + bytes.size() * 2);
  char* p = out.data() + start;
  *p++ = '0';
  *p++ = 'x';
  for (unsigned char c : bytes) {
    *p++ = kDigits[c >> 4];
    *p++ = kDigits[c & 15];
  }
}

uint64_t ReadUnsignedLe(const uint8_t* p, size_t width) {
  uint64_t v = 0;
  for (size_t i = width; i-- > 0;) v = (v << 8) | p[i];
  return v;
}

uint64_t ReadUnsignedBe(const uint8_t* p, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width; ++i) v = (v << 8) | p[i];
  return v;
}

int64_t SignExtend(uint64_t v, size_t width) {
  if (width == 0 || width >= 8) return static_cast<int64_t>(v);
  const uint64_t sign = uint64_t{1} << (width * 8 - 1);
  return static_cast<int64_t>((v ^ sign) - sign);
}

size_t PackedDecimalSize(int precision, int scale) {
  if (precision < 0 || scale < 0 || scale > precision) return 0;
  const int intg = precision - scale;
  return static_cast<size_t>((intg / 9) * 4 + kDigitBytes[intg % 9] + (scale / 9) * 4 +
                             kDigitBytes[scale % 9]);
}

bool AppendPackedDecimal(ByteView bytes, int precision, int scale, std::string& out) {
  const size_t size = PackedDecimalSize(precision, scale);
  if (size == 0 || size > 32 || bytes.size() < size) {
    out.push_back('0');
    return false;
  }
  uint8_t buf[32];
  for (size_t i = 0; i < size; ++i) buf[i] = bytes.data()[i];
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
  std::string digits_int;
  if (intg_part > 0) {
    const uint32_t v = take(kDigitBytes[intg_part]);
    if (v >= kPow10[intg_part]) {
      out.push_back('0');
      return false;
    }
    AppendUnsigned(v, digits_int);
  }
  for (int g = 0; g < intg_full; ++g) {
    const uint32_t v = take(4);
    if (v >= 1000000000u) {
      out.push_back('0');
      return false;
    }
    AppendPadded(v, 9, digits_int);
  }
  std::string digits_frac;
  for (int g = 0; g < frac_full; ++g) {
    const uint32_t v = take(4);
    if (v >= 1000000000u) {
      out.push_back('0');
      return false;
    }
    AppendPadded(v, 9, digits_frac);
  }
  if (frac_part > 0) {
    const uint32_t v = take(kDigitBytes[frac_part]);
    if (v >= kPow10[frac_part]) {
      out.push_back('0');
      return false;
    }
    AppendPadded(v, frac_part, digits_frac);
  }
  size_t first = digits_int.find_first_not_of('0');
  std::string int_text = first == std::string::npos ? "0" : digits_int.substr(first);
  const bool all_zero =
      int_text == "0" && digits_frac.find_first_not_of('0') == std::string::npos;
  if (negative && !all_zero) out.push_back('-');
  out += int_text;
  if (scale > 0) {
    out.push_back('.');
    out += digits_frac;
  }
  return true;
}

void AppendDate(int64_t year, int month, int day, std::string& out) {
  if (year < 0) {
    out.push_back('-');
    year = -year;
  }
  AppendPadded(static_cast<uint64_t>(year), 4, out);
  out.push_back('-');
  AppendPadded(static_cast<uint64_t>(month), 2, out);
  out.push_back('-');
  AppendPadded(static_cast<uint64_t>(day), 2, out);
}

void AppendClock(bool negative, int64_t hours, int minute, int second, std::string& out) {
  if (negative) out.push_back('-');
  AppendPadded(static_cast<uint64_t>(hours < 0 ? -hours : hours), 2, out);
  out.push_back(':');
  AppendPadded(static_cast<uint64_t>(minute), 2, out);
  out.push_back(':');
  AppendPadded(static_cast<uint64_t>(second), 2, out);
}

void AppendFraction(uint32_t micros, int digits, std::string& out) {
  if (digits <= 0) return;
  if (digits > 6) digits = 6;
  char buf[8];
  uint32_t v = micros % 1000000;
  for (int i = 5; i >= 0; --i) {
    buf[i] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  out.push_back('.');
  out.append(buf, static_cast<size_t>(digits));
}

void AppendOldDate3(uint32_t v, std::string& out) {
  AppendDate((v >> 9) & 0x7FFF, static_cast<int>((v >> 5) & 0x0F), static_cast<int>(v & 0x1F), out);
}

void AppendOldTime(int64_t hhmmss, std::string& out) {
  const bool negative = hhmmss < 0;
  const int64_t v = negative ? -hhmmss : hhmmss;
  AppendClock(negative, v / 10000, static_cast<int>(v / 100 % 100), static_cast<int>(v % 100), out);
}

void AppendOldDateTime(uint64_t n, std::string& out) {
  const uint64_t date = n / 1000000, time = n % 1000000;
  AppendDate(static_cast<int64_t>(date / 10000), static_cast<int>(date / 100 % 100),
             static_cast<int>(date % 100), out);
  out.push_back(' ');
  AppendClock(false, static_cast<int64_t>(time / 10000), static_cast<int>(time / 100 % 100),
              static_cast<int>(time % 100), out);
}

void AppendTimestampUtc(uint32_t seconds, uint32_t micros, int digits, std::string& out) {
  if (seconds == 0 && micros == 0) {
    out += "0000-00-00 00:00:00";
    AppendFraction(0, digits, out);
    return;
  }
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  AppendDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, out);
  out.push_back(' ');
  AppendClock(false, tm.tm_hour, tm.tm_min, tm.tm_sec, out);
  AppendFraction(micros, digits, out);
}

size_t FractionBytes(int digits) { return digits <= 0 ? 0 : static_cast<size_t>((digits + 1) / 2); }

namespace {

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

}  // namespace

void AppendTime2(ByteView bytes, int digits, std::string& out) {
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
  AppendClock(negative, (hms >> 12) & 0x3FF, static_cast<int>((hms >> 6) & 0x3F),
              static_cast<int>(hms & 0x3F), out);
  AppendFraction(micros, digits, out);
}

void AppendDateTime2(ByteView bytes, int digits, std::string& out) {
  uint8_t b[8] = {};
  for (size_t i = 0; i < 8 && i < bytes.size(); ++i) b[i] = bytes.data()[i];
  int64_t intpart = static_cast<int64_t>(ReadUnsignedBe(b, 5)) - 0x8000000000LL;
  const bool negative = intpart < 0;
  if (negative) intpart = -intpart;
  const uint32_t micros = Fraction56(b + 5, digits);
  const int64_t ymd = intpart >> 17;
  const int64_t ym = ymd >> 5;
  const int64_t hms = intpart % (1 << 17);
  if (negative) out.push_back('-');
  AppendDate(ym / 13, static_cast<int>(ym % 13), static_cast<int>(ymd % 32), out);
  out.push_back(' ');
  AppendClock(false, hms >> 12, static_cast<int>((hms >> 6) % 64), static_cast<int>(hms % 64), out);
  AppendFraction(micros, digits, out);
}

void AppendTimestamp2(ByteView bytes, int digits, std::string& out) {
  uint8_t b[7] = {};
  for (size_t i = 0; i < 7 && i < bytes.size(); ++i) b[i] = bytes.data()[i];
  AppendTimestampUtc(static_cast<uint32_t>(ReadUnsignedBe(b, 4)), Fraction56(b + 4, digits), digits,
                     out);
}

void AppendYear(uint8_t v, std::string& out) {
  if (v == 0) {
    out += "0000";
  } else {
    AppendUnsigned(1900u + v, out);
  }
}

void AppendBits(uint64_t v, int bits, std::string& out) {
  for (int i = bits - 1; i >= 0; --i) out.push_back(((v >> i) & 1) ? '1' : '0');
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
