#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "model/value_text.h"

// Byte strings marked "stored" below were read from the .MYD files of MyISAM
// tables (ROW_FORMAT=FIXED) written by MariaDB 10.11 with mysql56_temporal_format on,
// which keeps MySQL 5.6's binary layouts.

namespace vostrel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(std::string_view hex) {
  Bytes out;
  int hi = -1;
  for (char c : hex) {
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else
      continue;
    if (hi < 0) {
      hi = v;
    } else {
      out.push_back(static_cast<uint8_t>(hi << 4 | v));
      hi = -1;
    }
  }
  return out;
}

ByteView View(const Bytes& b) {
  return ByteView(b.data(), b.size());
}

void PutBe(Bytes& out, uint64_t v, int width) {
  for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

std::string Pad(uint64_t v, int width) {
  std::string s = std::to_string(v);
  return std::string(s.size() < static_cast<size_t>(width) ? width - s.size() : 0, '0') + s;
}

// ---------------------------------------------------------------- integers

int64_t SignedLe(const Bytes& b) {
  return SignExtend(ReadUnsignedLe(b.data(), b.size()), b.size());
}

TEST(ValueTextIntegerTest, MyIsamLittleEndianHonoursSign) {
  // TINYINT -1 and TINYINT UNSIGNED 255 are the same stored byte.
  const Bytes ff = Hex("ff");
  EXPECT_EQ(SignedLe(ff), -1);
  EXPECT_EQ(ReadUnsignedLe(ff.data(), 1), 255u);
  EXPECT_EQ(SignedLe(Hex("7f")), 127);
  EXPECT_EQ(SignedLe(Hex("80")), -128);

  EXPECT_EQ(SignedLe(Hex("0080")), -32768);      // SMALLINT min
  EXPECT_EQ(SignedLe(Hex("000080")), -8388608);  // MEDIUMINT min
  EXPECT_EQ(SignedLe(Hex("ffff7f")), 8388607);   // MEDIUMINT max
  EXPECT_EQ(SignedLe(Hex("feffffff")), -2);      // INT
  EXPECT_EQ(SignedLe(Hex("ffffffff")), -1);
  const Bytes int_max = Hex("ffffffff");
  EXPECT_EQ(ReadUnsignedLe(int_max.data(), 4), 4294967295u);  // INT UNSIGNED stored
  const Bytes big = Hex("ffffffffffffffff");
  EXPECT_EQ(ReadUnsignedLe(big.data(), 8), 18446744073709551615u);
  EXPECT_EQ(SignedLe(big), -1);
  EXPECT_EQ(SignedLe(Hex("0000000000000080")), std::numeric_limits<int64_t>::min());

  std::string s;
  AppendSigned(SignedLe(Hex("ff")), s);
  s += '|';
  AppendUnsigned(ReadUnsignedLe(ff.data(), 1), s);
  s += '|';
  AppendUnsigned(ReadUnsignedLe(int_max.data(), 4), s);
  s += '|';
  AppendUnsigned(ReadUnsignedLe(big.data(), 8), s);
  s += '|';
  AppendSigned(std::numeric_limits<int64_t>::min(), s);
  EXPECT_EQ(s, "-1|255|4294967295|18446744073709551615|-9223372036854775808");
}

TEST(ValueTextIntegerTest, InnoDbBigEndianWithFlippedSignBit) {
  // InnoDB keeps signed integers big-endian with the top bit inverted so that
  // byte order sorts like number order.
  auto innodb = [](const char* hex) {
    const Bytes b = Hex(hex);
    const uint64_t raw = ReadUnsignedBe(b.data(), b.size());
    return SignExtend(raw ^ (uint64_t{1} << (b.size() * 8 - 1)), b.size());
  };
  EXPECT_EQ(innodb("7fffffff"), -1);
  EXPECT_EQ(innodb("80000000"), 0);
  EXPECT_EQ(innodb("80000001"), 1);
  EXPECT_EQ(innodb("00000000"), -2147483648LL);
  EXPECT_EQ(innodb("7f"), -1);
  EXPECT_EQ(innodb("800001"), 1);
  EXPECT_EQ(innodb("0000000000000000"), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(innodb("ffffffffffffffff"), std::numeric_limits<int64_t>::max());

  const Bytes b = Hex("0102030405060708");
  EXPECT_EQ(ReadUnsignedBe(b.data(), 2), 0x0102u);
  EXPECT_EQ(ReadUnsignedLe(b.data(), 2), 0x0201u);
  EXPECT_EQ(ReadUnsignedBe(b.data(), 8), 0x0102030405060708u);
  EXPECT_EQ(ReadUnsignedLe(b.data(), 8), 0x0807060504030201u);
  EXPECT_EQ(ReadUnsignedLe(b.data(), 0), 0u);
}

// ---------------------------------------------------------------- floating point

std::string FloatText(float v) {
  std::string s;
  AppendFloat(v, s);
  return s;
}
std::string DoubleText(double v) {
  std::string s;
  AppendDouble(v, s);
  return s;
}

TEST(ValueTextFloatTest, ShortestTextNotFixedPrecision) {
  EXPECT_EQ(DoubleText(1e-10), "1e-10");
  EXPECT_EQ(DoubleText(1.5), "1.5");
  EXPECT_EQ(DoubleText(0.1), "0.1");
  EXPECT_EQ(DoubleText(100.0), "100");
  EXPECT_EQ(DoubleText(-2.0), "-2");
  EXPECT_EQ(DoubleText(0.0), "0");
  EXPECT_EQ(FloatText(3.14159f), "3.14159");
  EXPECT_EQ(FloatText(0.1f), "0.1");  // not the double expansion 0.10000000149011612
  EXPECT_EQ(FloatText(-1.5f), "-1.5");

  // Stored little-endian FLOAT 3.14159 and DOUBLE 1e-10 from a MyISAM row.
  const Bytes f = Hex("d00f4940");
  float fv;
  std::memcpy(&fv, f.data(), 4);
  EXPECT_EQ(FloatText(fv), "3.14159");
  const Bytes d = Hex("bbbdd7d9df7cdb3d");
  double dv;
  std::memcpy(&dv, d.data(), 8);
  EXPECT_EQ(DoubleText(dv), "1e-10");
}

TEST(ValueTextFloatTest, TextReadsBackBitExact) {
  std::mt19937_64 rng(20240209);
  auto check_double = [](double v) {
    const std::string s = DoubleText(v);
    const double back = std::strtod(s.c_str(), nullptr);
    EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0) << s;
  };
  auto check_float = [](float v) {
    const std::string s = FloatText(v);
    const float back = std::strtof(s.c_str(), nullptr);
    EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0) << s;
    // Shortest: never more digits than a float can need.
    EXPECT_LE(s.size(), 15u) << s;
  };
  for (int i = 0; i < 400; ++i) {
    // Any finite bit pattern, so subnormals and huge exponents come up too.
    const uint64_t bits = rng();
    double d;
    std::memcpy(&d, &bits, 8);
    if (std::isfinite(d)) check_double(d);
    const uint32_t fbits = static_cast<uint32_t>(bits >> 32);
    float f;
    std::memcpy(&f, &fbits, 4);
    if (std::isfinite(f)) check_float(f);
    // Everyday magnitudes, as prices and measurements give.
    const double everyday = std::uniform_real_distribution<double>(-1e6, 1e6)(rng);
    check_double(everyday);
    check_float(static_cast<float>(everyday));
  }
  for (double d : {DBL_MAX, -DBL_MAX, DBL_MIN, std::numeric_limits<double>::denorm_min(), -0.0})
    check_double(d);
  for (float f : {FLT_MAX, FLT_MIN, std::numeric_limits<float>::denorm_min(), -0.0f})
    check_float(f);
}

// ---------------------------------------------------------------- DECIMAL

// Packs a value the way the server's decimal2bin does. `int_digits` and
// `frac_digits` are plain digit strings; they are padded to the column's shape.
Bytes PackDecimal(bool negative, std::string int_digits, std::string frac_digits, int precision,
                  int scale) {
  static const int kBytes[10] = {0, 1, 1, 2, 2, 3, 3, 4, 4, 4};
  const int intg = precision - scale;
  int_digits.insert(0, static_cast<size_t>(intg) - int_digits.size(), '0');
  frac_digits.append(static_cast<size_t>(scale) - frac_digits.size(), '0');
  Bytes out;
  auto group = [&](const std::string& digits, size_t pos, int n) {
    const uint64_t v = n ? std::stoull(digits.substr(pos, static_cast<size_t>(n))) : 0;
    PutBe(out, negative ? ~v : v, kBytes[n]);
  };
  size_t pos = 0;
  if (intg % 9) {
    group(int_digits, 0, intg % 9);
    pos = static_cast<size_t>(intg % 9);
  }
  for (; pos < int_digits.size(); pos += 9) group(int_digits, pos, 9);
  for (pos = 0; pos + 9 <= frac_digits.size(); pos += 9) group(frac_digits, pos, 9);
  if (scale % 9) group(frac_digits, pos, scale % 9);
  out[0] ^= 0x80;
  return out;
}

std::string DecimalText(const Bytes& b, int precision, int scale, bool* ok = nullptr) {
  std::string s;
  const bool r = AppendPackedDecimal(View(b), precision, scale, s);
  if (ok) *ok = r;
  return s;
}

TEST(ValueTextDecimalTest, StoredValues) {
  struct Case {
    int precision, scale;
    const char* stored;
    const char* text;
  };
  const Case cases[] = {
      {5, 2, "800c32", "12.50"},
      {5, 2, "7ff3cd", "-12.50"},
      {5, 2, "800000", "0.00"},
      {5, 2, "83e763", "999.99"},
      {5, 2, "7c189c", "-999.99"},
      {4, 0, "7ff8", "-7"},
      {4, 0, "8007", "7"},
      {4, 0, "a70f", "9999"},
      {3, 3, "8032", "0.050"},
      {3, 3, "7fcd", "-0.050"},
      // Two full integer groups, then a partial fraction group.
      {20, 2, "875bcd1500bc614e5b", "123456789012345678.91"},
      {20, 2, "78a432eaff439eb1a4", "-123456789012345678.91"},
      {20, 2, "800000000000000101", "1.01"},
      {10, 2, "8000000000", "0.00"},
      {10, 2, "7ffffffffe", "-0.01"},
      {10, 2, "80bc614e5a", "12345678.90"},
      {65, 30, "80bc614e35b7bf87350e34c02f075f79075bcd1500bc614e35b7bf87037a",
       "12345678901234567890123456789012345.123456789012345678901234567890"},
      {65, 30, "7ffffffffffffffffffffffffffffffee2329affffffffffffffffffffff",
       "-1.500000000000000000000000000000"},
  };
  for (const Case& c : cases) {
    const Bytes b = Hex(c.stored);
    ASSERT_EQ(PackedDecimalSize(c.precision, c.scale), b.size()) << c.text;
    bool ok = false;
    EXPECT_EQ(DecimalText(b, c.precision, c.scale, &ok), c.text);
    EXPECT_TRUE(ok) << c.text;
  }
  // The test encoder agrees with the server on these layouts.
  EXPECT_EQ(PackDecimal(false, "12", "5", 5, 2), Hex("800c32"));
  EXPECT_EQ(PackDecimal(true, "7", "", 4, 0), Hex("7ff8"));
  EXPECT_EQ(PackDecimal(true, "123456789012345678", "91", 20, 2), Hex("78a432eaff439eb1a4"));
  EXPECT_EQ(PackDecimal(true, "1", "5", 65, 30),
            Hex("7ffffffffffffffffffffffffffffffee2329affffffffffffffffffffff"));
}

TEST(ValueTextDecimalTest, SizesFollowNineDigitGroups) {
  EXPECT_EQ(PackedDecimalSize(10, 2), 5u);
  EXPECT_EQ(PackedDecimalSize(30, 10), 14u);
  EXPECT_EQ(PackedDecimalSize(65, 30), 30u);
  EXPECT_EQ(PackedDecimalSize(9, 0), 4u);
  EXPECT_EQ(PackedDecimalSize(10, 0), 5u);
  EXPECT_EQ(PackedDecimalSize(18, 9), 8u);
  EXPECT_EQ(PackedDecimalSize(65, 0), 29u);
  EXPECT_EQ(PackedDecimalSize(1, 1), 1u);
}

TEST(ValueTextDecimalTest, RandomValuesOfEveryShapeReadBack) {
  std::mt19937 rng(65);
  for (int i = 0; i < 600; ++i) {
    const int precision = std::uniform_int_distribution<int>(1, 65)(rng);
    const int scale = std::uniform_int_distribution<int>(0, std::min(precision, 30))(rng);
    const int intg = precision - scale;
    // Short integer parts too, so leading zero groups get stripped.
    const int int_len = std::uniform_int_distribution<int>(0, intg)(rng);
    std::string int_digits, frac_digits;
    for (int k = 0; k < int_len; ++k) int_digits += static_cast<char>('0' + rng() % 10);
    for (int k = 0; k < scale; ++k) frac_digits += static_cast<char>('0' + rng() % 10);
    const bool negative = rng() % 2;

    std::string int_text = int_digits;
    int_text.erase(0, std::min(int_text.find_first_not_of('0'), int_text.size()));
    if (int_text.empty()) int_text = "0";
    const bool zero = int_text == "0" && frac_digits.find_first_not_of('0') == std::string::npos;
    std::string expected = (negative && !zero ? "-" : "") + int_text;
    if (scale) expected += "." + frac_digits;

    const Bytes b = PackDecimal(negative, int_digits, frac_digits, precision, scale);
    ASSERT_EQ(b.size(), PackedDecimalSize(precision, scale));
    bool ok = false;
    ASSERT_EQ(DecimalText(b, precision, scale, &ok), expected)
        << "DECIMAL(" << precision << "," << scale << ")";
    EXPECT_TRUE(ok);
  }
}

TEST(ValueTextDecimalTest, DamagedBytesGiveZeroAndFalse) {
  // DECIMAL(20,2): two full integer groups (the second 10^9 here), then the fraction.
  Bytes b =
      Hex("80000000"
          "3b9aca00"
          "00");
  bool ok = true;
  EXPECT_EQ(DecimalText(b, 20, 2, &ok), "0");
  EXPECT_FALSE(ok);
  // The same group inverted in a negative value is just as invalid.
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(~b[i]);
  b[0] ^= 0x80;
  ok = true;
  EXPECT_EQ(DecimalText(b, 20, 2, &ok), "0");
  EXPECT_FALSE(ok);
  // A full fraction group out of range, DECIMAL(18,9).
  ok = true;
  EXPECT_EQ(DecimalText(Hex("80000001"
                            "ffffffff"),
                        18, 9, &ok),
            "0");
  EXPECT_FALSE(ok);
  // 999999999 is the largest valid group.
  ok = false;
  EXPECT_EQ(DecimalText(Hex("80000001"
                            "3b9ac9ff"),
                        18, 9, &ok),
            "1.999999999");
  EXPECT_TRUE(ok);
  // Too few bytes for the column, and shapes no column can have.
  ok = true;
  EXPECT_EQ(DecimalText(Hex("800c"), 5, 2, &ok), "0");
  EXPECT_FALSE(ok);
  std::string bad;
  EXPECT_FALSE(AppendPackedDecimal(View(Hex("80")), 2, 3, bad));
  // The text is appended after what the buffer already holds.
  std::string s = "x=";
  EXPECT_TRUE(AppendPackedDecimal(View(Hex("800c32")), 5, 2, s));
  EXPECT_EQ(s, "x=12.50");
}

// ---------------------------------------------------------------- dates and old forms

TEST(ValueTextDateTest, DatesYearsAndThreeByteDates) {
  std::string s;
  AppendDate(5, 1, 1, s);
  s += '|';
  AppendDate(0, 0, 0, s);
  s += '|';
  AppendDate(2024, 2, 29, s);
  EXPECT_EQ(s, "0005-01-01|0000-00-00|2024-02-29");

  auto date3 = [](const char* hex) {
    const Bytes b = Hex(hex);
    std::string out;
    AppendOldDate3(static_cast<uint32_t>(ReadUnsignedLe(b.data(), 3)), out);
    return out;
  };
  EXPECT_EQ(date3("49d00f"), "2024-02-09");  // stored
  EXPECT_EQ(date3("210a00"), "0005-01-01");
  EXPECT_EQ(date3("000000"), "0000-00-00");
  EXPECT_EQ(date3("9f1f4e"), "9999-12-31");
  s.clear();
  AppendOldDate3(2024u << 9 | 2u << 5 | 9u, s);
  EXPECT_EQ(s, "2024-02-09");

  auto year = [](uint8_t v) {
    std::string out;
    AppendYear(v, out);
    return out;
  };
  EXPECT_EQ(year(0), "0000");
  EXPECT_EQ(year(124), "2024");  // stored byte 0x7c
  EXPECT_EQ(year(1), "1901");
  EXPECT_EQ(year(255), "2155");
}

TEST(ValueTextDateTest, OldTimeAndDateTimeDigits) {
  auto time = [](int64_t v) {
    std::string out;
    AppendOldTime(v, out);
    return out;
  };
  EXPECT_EQ(time(80503), "08:05:03");
  EXPECT_EQ(time(0), "00:00:00");
  EXPECT_EQ(time(-1), "-00:00:01");
  EXPECT_EQ(time(8385959), "838:59:59");
  EXPECT_EQ(time(-8385959), "-838:59:59");
  EXPECT_EQ(time(-100), "-00:01:00");

  auto datetime = [](uint64_t v) {
    std::string out;
    AppendOldDateTime(v, out);
    return out;
  };
  EXPECT_EQ(datetime(20231231235959ULL), "2023-12-31 23:59:59");
  EXPECT_EQ(datetime(0), "0000-00-00 00:00:00");
  EXPECT_EQ(datetime(10000101000000ULL), "1000-01-01 00:00:00");
  EXPECT_EQ(datetime(99991231235959ULL), "9999-12-31 23:59:59");
  EXPECT_EQ(datetime(20240209000001ULL), "2024-02-09 00:00:01");
}

TEST(ValueTextDateTest, TimestampIsUtcWithZeroAsZeroDate) {
  const char* old_tz = std::getenv("TZ");
  const std::string saved = old_tz ? old_tz : "";
  setenv("TZ", "Asia/Tokyo", 1);
  tzset();
  auto ts = [](uint32_t sec, uint32_t micros, int digits) {
    std::string out;
    AppendTimestampUtc(sec, micros, digits, out);
    return out;
  };
  EXPECT_EQ(ts(0, 0, 0), "0000-00-00 00:00:00");
  EXPECT_EQ(ts(0, 0, 6), "0000-00-00 00:00:00.000000");
  EXPECT_EQ(ts(1, 0, 0), "1970-01-01 00:00:01");
  EXPECT_EQ(ts(1, 1, 6), "1970-01-01 00:00:01.000001");
  EXPECT_EQ(ts(0x7fffffff, 0, 0), "2038-01-19 03:14:07");
  EXPECT_EQ(ts(0x65c5fc6e, 0, 0), "2024-02-09 10:20:30");
  EXPECT_EQ(ts(0x65c5fc6e, 123456, 3), "2024-02-09 10:20:30.123");  // cut, not rounded
  EXPECT_EQ(ts(0x65c5fc6e, 500000, 1), "2024-02-09 10:20:30.5");
  EXPECT_EQ(ts(4102444800u, 0, 0), "2100-01-01 00:00:00");  // past 2038 without wrapping
  if (old_tz) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

// ---------------------------------------------------------------- 5.6 temporal forms

// Follows the server's my_time_packed_to_binary: the packed value is
// (hms << 24) + micros, negated for negative times; shifts floor and the
// fraction keeps C's truncating remainder.
Bytes PackTime2(bool negative, int hours, int minute, int second, uint32_t micros, int digits) {
  const int64_t hms = (int64_t{hours} << 12) | (minute << 6) | second;
  int64_t nr = (hms << 24) + micros;
  if (negative) nr = -nr;
  const int64_t intpart = nr >> 24;
  const int64_t frac = nr % (int64_t{1} << 24);
  Bytes out;
  switch (digits) {
    case 1:
    case 2:
      PutBe(out, static_cast<uint64_t>(0x800000 + intpart), 3);
      out.push_back(static_cast<uint8_t>(static_cast<int8_t>(frac / 10000)));
      break;
    case 3:
    case 4:
      PutBe(out, static_cast<uint64_t>(0x800000 + intpart), 3);
      PutBe(out, static_cast<uint16_t>(frac / 100), 2);
      break;
    case 5:
    case 6:
      PutBe(out, static_cast<uint64_t>(nr + 0x800000000000LL), 6);
      break;
    default:
      PutBe(out, static_cast<uint64_t>(0x800000 + intpart), 3);
  }
  return out;
}

Bytes PackDateTime2(int year, int month, int day, int hour, int minute, int second, uint32_t micros,
                    int digits) {
  const int64_t ym = int64_t{year} * 13 + month;
  const int64_t v = (ym << 22) | (int64_t{day} << 17) | (hour << 12) | (minute << 6) | second;
  Bytes out;
  PutBe(out, static_cast<uint64_t>(v + 0x8000000000LL), 5);
  if (digits == 1 || digits == 2) PutBe(out, micros / 10000, 1);
  if (digits == 3 || digits == 4) PutBe(out, micros / 100, 2);
  if (digits == 5 || digits == 6) PutBe(out, micros, 3);
  return out;
}

std::string Time2Text(const Bytes& b, int digits) {
  std::string s;
  AppendTime2(View(b), digits, s);
  return s;
}
std::string DateTime2Text(const Bytes& b, int digits) {
  std::string s;
  AppendDateTime2(View(b), digits, s);
  return s;
}
std::string Timestamp2Text(const Bytes& b, int digits) {
  std::string s;
  AppendTimestamp2(View(b), digits, s);
  return s;
}

TEST(ValueText56Test, Time2StoredValues) {
  struct Case {
    int digits;
    const char* stored;
    const char* text;
  };
  const Case cases[] = {
      {0, "808143", "08:05:03"},
      {0, "7fffff", "-00:00:01"},
      {0, "b46efb", "838:59:59"},
      {0, "4b9105", "-838:59:59"},
      {1, "7f3747ce", "-12:34:56.5"},
      {1, "80c8b832", "12:34:56.5"},
      {2, "7fffffff", "-00:00:00.01"},
      {3, "b46efb2706", "838:59:59.999"},
      {3, "7ffffffff6", "-00:00:00.001"},
      {3, "7fefffec78", "-01:00:00.500"},
      {4, "7ffffeffff", "-00:00:01.0001"},
      {5, "7ffffefffff6", "-00:00:01.00001"},
      {6, "80c8b801e240", "12:34:56.123456"},
      {6, "7f3747fe1dc0", "-12:34:56.123456"},
  };
  for (const Case& c : cases) {
    const Bytes b = Hex(c.stored);
    ASSERT_EQ(Time2Size(c.digits), b.size()) << c.text;
    EXPECT_EQ(Time2Text(b, c.digits), c.text) << c.stored;
  }
  // The test encoder reproduces those bytes.
  EXPECT_EQ(PackTime2(false, 8, 5, 3, 0, 0), Hex("808143"));
  EXPECT_EQ(PackTime2(true, 0, 0, 1, 0, 0), Hex("7fffff"));
  EXPECT_EQ(PackTime2(false, 838, 59, 59, 999000, 3), Hex("b46efb2706"));
  EXPECT_EQ(PackTime2(true, 0, 0, 0, 1000, 3), Hex("7ffffffff6"));
  EXPECT_EQ(PackTime2(false, 12, 34, 56, 123456, 6), Hex("80c8b801e240"));
  EXPECT_EQ(PackTime2(true, 12, 34, 56, 500000, 1), Hex("7f3747ce"));
  EXPECT_EQ(PackTime2(true, 0, 0, 1, 10, 5), Hex("7ffffefffff6"));
}

TEST(ValueText56Test, Time2RandomValuesOfEveryPrecision) {
  std::mt19937 rng(838);
  for (int i = 0; i < 700; ++i) {
    const int digits = i % 7;
    const bool negative = rng() % 2;
    // Small magnitudes often, since around zero the negative forms borrow.
    const int hours = rng() % 3 ? static_cast<int>(rng() % 839) : 0;
    const int minute = static_cast<int>(rng() % 60);
    const int second = static_cast<int>(rng() % 60);
    uint32_t unit = 1;
    for (int k = digits; k < 6; ++k) unit *= 10;
    const uint32_t micros = digits ? static_cast<uint32_t>(rng() % 1000000) / unit * unit : 0;
    const bool zero = hours == 0 && minute == 0 && second == 0 && micros == 0;
    std::string expected = negative && !zero ? "-" : "";
    expected += Pad(hours, 2) + ":" + Pad(minute, 2) + ":" + Pad(second, 2);
    if (digits) expected += "." + Pad(micros, 6).substr(0, digits);
    const Bytes b = PackTime2(negative, hours, minute, second, micros, digits);
    ASSERT_EQ(b.size(), Time2Size(digits));
    ASSERT_EQ(Time2Text(b, digits), expected) << "digits " << digits;
  }
}

TEST(ValueText56Test, DateTime2AndTimestamp2) {
  struct Case {
    int digits;
    const char* stored;
    const char* text;
  };
  const Case datetimes[] = {
      {0, "99b292a51e", "2024-02-09 10:20:30"},
      {0, "8000000000", "0000-00-00 00:00:00"},
      {6, "fef3ff7efb0f423f", "9999-12-31 23:59:59.999999"},
      {6, "8cb2420000000000", "1000-01-01 00:00:00.000000"},
      {6, "8000000000000000", "0000-00-00 00:00:00.000000"},
      {2, "99b292a51e19", "2024-02-09 10:20:30.25"},
      {3, "99b292a51e04e2", "2024-02-09 10:20:30.125"},
  };
  for (const Case& c : datetimes) {
    const Bytes b = Hex(c.stored);
    ASSERT_EQ(DateTime2Size(c.digits), b.size()) << c.text;
    EXPECT_EQ(DateTime2Text(b, c.digits), c.text) << c.stored;
  }
  EXPECT_EQ(PackDateTime2(2024, 2, 9, 10, 20, 30, 0, 0), Hex("99b292a51e"));
  EXPECT_EQ(PackDateTime2(9999, 12, 31, 23, 59, 59, 999999, 6), Hex("fef3ff7efb0f423f"));
  EXPECT_EQ(PackDateTime2(2024, 2, 9, 10, 20, 30, 125000, 3), Hex("99b292a51e04e2"));

  std::mt19937 rng(9999);
  for (int i = 0; i < 400; ++i) {
    const int digits = i % 7;
    const int year = static_cast<int>(rng() % 10000), month = static_cast<int>(rng() % 13);
    const int day = static_cast<int>(rng() % 32), hour = static_cast<int>(rng() % 24);
    const int minute = static_cast<int>(rng() % 60), second = static_cast<int>(rng() % 60);
    uint32_t unit = 1;
    for (int k = digits; k < 6; ++k) unit *= 10;
    const uint32_t micros = digits ? static_cast<uint32_t>(rng() % 1000000) / unit * unit : 0;
    std::string expected = Pad(year, 4) + "-" + Pad(month, 2) + "-" + Pad(day, 2) + " " +
                           Pad(hour, 2) + ":" + Pad(minute, 2) + ":" + Pad(second, 2);
    if (digits) expected += "." + Pad(micros, 6).substr(0, digits);
    ASSERT_EQ(DateTime2Text(PackDateTime2(year, month, day, hour, minute, second, micros, digits),
                            digits),
              expected);
  }

  const Case timestamps[] = {
      {0, "00000001", "1970-01-01 00:00:01"},
      {0, "00000000", "0000-00-00 00:00:00"},
      {0, "7fffffff", "2038-01-19 03:14:07"},
      {6, "65c5fc6e000001", "2024-02-09 10:20:30.000001"},
      {2, "65c5fc6e63", "2024-02-09 10:20:30.99"},
      {4, "65c5fc6e04d2", "2024-02-09 10:20:30.1234"},
      {3, "000000000000", "0000-00-00 00:00:00.000"},
  };
  for (const Case& c : timestamps) {
    const Bytes b = Hex(c.stored);
    ASSERT_EQ(Timestamp2Size(c.digits), b.size()) << c.text;
    EXPECT_EQ(Timestamp2Text(b, c.digits), c.text) << c.stored;
  }
}

TEST(ValueText56Test, FractionBytesAndDigits) {
  const size_t expected[7] = {0, 1, 1, 2, 2, 3, 3};
  for (int d = 0; d <= 6; ++d) {
    EXPECT_EQ(FractionBytes(d), expected[d]);
    EXPECT_EQ(Time2Size(d), 3 + expected[d]);
    EXPECT_EQ(DateTime2Size(d), 5 + expected[d]);
    EXPECT_EQ(Timestamp2Size(d), 4 + expected[d]);
  }
  std::string s;
  AppendFraction(123456, 0, s);
  EXPECT_EQ(s, "");
  AppendFraction(1, 6, s);
  s += '|';
  AppendFraction(50000, 2, s);
  s += '|';
  AppendFraction(999999, 3, s);
  EXPECT_EQ(s, ".000001|.05|.999");
}

// ---------------------------------------------------------------- BIT, ENUM, SET, hex

TEST(ValueTextMembersTest, BitsEnumsAndSets) {
  std::string s;
  AppendBits(5, 8, s);
  EXPECT_EQ(s, "00000101");
  s.clear();
  AppendBits(~uint64_t{0}, 64, s);
  EXPECT_EQ(s, std::string(64, '1'));
  s.clear();
  AppendBits(0, 1, s);
  AppendBits(1, 1, s);
  AppendBits(uint64_t{1} << 63, 64, s);
  EXPECT_EQ(s,
            "01"
            "1" +
                std::string(63, '0'));

  const std::vector<std::string> abc = {"a", "b", "c"};
  auto en = [&](uint64_t index) {
    std::string out;
    AppendEnum(index, abc, out);
    return out;
  };
  EXPECT_EQ(en(3), "c");  // stored byte 03
  EXPECT_EQ(en(1), "a");
  EXPECT_EQ(en(0), "");  // the error value
  EXPECT_EQ(en(4), "");
  EXPECT_EQ(en(~uint64_t{0}), "");

  auto set = [](uint64_t mask, const std::vector<std::string>& members) {
    std::string out;
    AppendSet(mask, members, out);
    return out;
  };
  EXPECT_EQ(set(0b101, abc), "a,c");  // stored byte 05
  EXPECT_EQ(set(0, abc), "");
  EXPECT_EQ(set(0b111, abc), "a,b,c");
  EXPECT_EQ(set(0b1000, abc), "");  // bits past the members are dropped
  std::vector<std::string> many;
  for (int i = 0; i < 64; ++i) many.push_back("m" + std::to_string(i));
  EXPECT_EQ(set((uint64_t{1} << 63) | 1, many), "m0,m63");

  EXPECT_EQ(EnumSize(1), 1u);
  EXPECT_EQ(EnumSize(255), 1u);
  EXPECT_EQ(EnumSize(256), 2u);
  EXPECT_EQ(EnumSize(65535), 2u);
  const size_t set_sizes[][2] = {{1, 1},  {8, 1},  {9, 2},  {16, 2}, {17, 3},
                                 {24, 3}, {25, 4}, {32, 4}, {33, 8}, {64, 8}};
  for (const auto& p : set_sizes) EXPECT_EQ(SetSize(p[0]), p[1]) << p[0] << " members";
}

TEST(ValueTextMembersTest, HexOfBytes) {
  std::string s;
  AppendHex("", s);
  EXPECT_EQ(s, "");
  AppendHex(std::string_view("\x00\xff", 2), s);
  EXPECT_EQ(s, "0x00FF");
  s = "v=";
  AppendHex("\x12\xab\x0f", s);
  EXPECT_EQ(s, "v=0x12AB0F");
  // Every byte value, read back.
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  s.clear();
  AppendHex(all, s);
  ASSERT_EQ(s.size(), 2 + 512u);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(std::stoi(s.substr(2 + 2 * i, 2), nullptr, 16), i);
  EXPECT_EQ(s.find_first_of("abcdef"), std::string::npos);
}

}  // namespace
}  // namespace vostrel
