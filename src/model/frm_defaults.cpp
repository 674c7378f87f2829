#include "model/frm_defaults.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "model/charset_names.h"
#include "model/type_text.h"
#include "model/value_text.h"
#include "sql/sql_literals.h"

namespace vostrel {

namespace {

bool IsBlob(int32_t type) {
  return type >= kTypeTinyBlob && type <= kTypeBlob;
}

size_t IntegerBytes(int32_t type) {
  switch (type) {
    case kTypeTiny:
      return 1;
    case kTypeShort:
      return 2;
    case kTypeInt24:
      return 3;
    case kTypeLong:
      return 4;
    default:
      return 8;
  }
}

// MariaDB's TIME(n), DATETIME(n) and TIMESTAMP(n) from before the MySQL 5.6
// forms: big-endian integers scaled to the column's digits.
constexpr size_t kTimeHiresBytes[7] = {3, 4, 4, 5, 5, 5, 6};
constexpr size_t kDatetimeHiresBytes[7] = {5, 6, 6, 7, 7, 7, 8};
constexpr size_t kSecPartBytes[7] = {0, 1, 1, 2, 2, 3, 3};
constexpr int64_t kPow10[7] = {1, 10, 100, 1000, 10000, 100000, 1000000};
constexpr int64_t kTimeMaxSeconds = 3020399;  // 838:59:59

bool OldHires(const ColumnDef& c) {
  return c.fractional_digits > 0 &&
         (c.type == kTypeTime || c.type == kTypeDateTime || c.type == kTypeTimestamp);
}

// The bytes the column takes in the record; 0 when the type keeps no value there.
size_t StoredSize(const ColumnDef& c) {
  const int d = c.fractional_digits > 6 ? 6 : c.fractional_digits;
  if (OldHires(c)) {
    if (c.type == kTypeTime) return kTimeHiresBytes[d];
    if (c.type == kTypeDateTime) return kDatetimeHiresBytes[d];
    return 4 + kSecPartBytes[d];
  }
  switch (c.type) {
    case kTypeTiny:
    case kTypeShort:
    case kTypeInt24:
    case kTypeLong:
    case kTypeLongLong:
      return IntegerBytes(c.type);
    case kTypeFloat:
      return 4;
    case kTypeDouble:
      return 8;
    case kTypeNewDecimal:
      return PackedDecimalSize(c.precision, c.decimals);
    case kTypeDecimalOld:
      return static_cast<size_t>(c.length);
    case kTypeNewDate:
    case kTypeTime:
      return 3;
    case kTypeDate:
    case kTypeTimestamp:
      return 4;
    case kTypeDateTime:
      return 8;
    case kTypeTime2:
      return Time2Size(d);
    case kTypeDateTime2:
      return DateTime2Size(d);
    case kTypeTimestamp2:
      return Timestamp2Size(d);
    case kTypeYear:
      return 1;
    case kTypeBit:
      return static_cast<size_t>(c.bit_leftover_pos >= 0 ? c.length / 8 : (c.length + 7) / 8);
    case kTypeEnum:
      return EnumSize(c.enum_members.size());
    case kTypeSet:
      return SetSize(c.enum_members.size());
    case kTypeVarchar:
      return static_cast<size_t>(c.length) + (c.length < 256 ? 1 : 2);
    case kTypeString:
    case kTypeVarString:
      return static_cast<size_t>(c.length);
    default:
      return 0;
  }
}

bool NullBitSet(ByteView record, int32_t bit) {
  if (bit < 0) return false;
  return (record.u8(static_cast<size_t>(bit / 8)) >> (bit % 8)) & 1;
}

uint32_t LeftoverBits(ByteView record, int32_t pos, int count) {
  const size_t byte = static_cast<size_t>(pos / 8);
  const uint32_t word = record.u8(byte) | (uint32_t{record.u8(byte + 1)} << 8);
  return (word >> (pos % 8)) & ((1u << count) - 1);
}

// "1.5e+100" as the server writes it: "1.5e100".
void TidyExponent(std::string& s, size_t start) {
  const size_t e = s.find('e', start);
  if (e == std::string::npos) return;
  size_t p = e + 1;
  if (p < s.size() && s[p] == '+') s.erase(p, 1);
  if (p < s.size() && s[p] == '-') ++p;
  while (p + 1 < s.size() && s[p] == '0') s.erase(p, 1);
}

void AppendFixed(double v, int decimals, std::string& out) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  out += buf;
}

// A string default in the column's character set, as a literal the scripts'
// utf8mb4 session reads back to the same bytes.
void AppendStringLiteral(std::string_view bytes, const ColumnDef& c,
                         const CollationTable& collations, const CodePage& cp, std::string& out) {
  const CollationEntry* e = collations.LookupCollation(c.charset_id);
  const bool binary = c.charset_id == kBinaryCollation;
  const bool single = e == nullptr || e->mbminlen <= 1;
  if ((binary || (e != nullptr && IsUtf8Charset(e->charset_name)) ||
       (single && IsPlainAscii(bytes))) &&
      IsValidUtf8(bytes)) {
    AppendSqlStringLiteral(bytes, out);  // NUL and quotes come out escaped
    return;
  }
  if (!binary && e != nullptr && !IsUtf8Charset(e->charset_name)) {
    if (const char* iconv_name = IconvNameForCharset(e->charset_name)) {
      AppendSqlStringLiteral(ConvertToUtf8(bytes, iconv_name, cp), out);
      return;
    }
  }
  // Bytes the session cannot carry as text: hex, read in the column's own set.
  if (!binary && e != nullptr) out += "_" + e->charset_name + " ";
  if (bytes.empty()) {
    out += "''";
  } else {
    AppendHex(bytes, out);
  }
}

bool AppendOldHires(ByteView f, const ColumnDef& c, std::string& out) {
  const int d = c.fractional_digits > 6 ? 6 : (c.fractional_digits < 0 ? 0 : c.fractional_digits);
  const size_t n = f.size();
  uint64_t raw = 0;
  for (size_t i = 0; i < n; ++i) raw = (raw << 8) | f.u8(i);
  if (c.type == kTypeTimestamp) {
    uint64_t secs = 0;
    for (size_t i = 0; i < 4; ++i) secs = (secs << 8) | f.u8(i);
    uint64_t part = 0;
    for (size_t i = 4; i < n; ++i) part = (part << 8) | f.u8(i);
    const uint64_t micros = part * static_cast<uint64_t>(kPow10[6 - d]);
    if (micros >= 1000000) return false;
    out.push_back('\'');
    AppendTimestampUtc(static_cast<uint32_t>(secs), static_cast<uint32_t>(micros), d, out);
    out.push_back('\'');
    return true;
  }
  // A damaged default can hold any bits; one that cannot be a value is not one.
  const int64_t scale = kPow10[6 - d];
  if (raw > static_cast<uint64_t>(INT64_MAX / scale)) return false;
  int64_t packed;
  if (c.type == kTypeTime) {
    const int64_t zero = (kTimeMaxSeconds + 1) * 1000000 / scale;
    packed = (static_cast<int64_t>(raw) - zero) * scale;
  } else {
    packed = static_cast<int64_t>(raw) * scale;
  }
  const bool negative = packed < 0;
  uint64_t v = negative ? static_cast<uint64_t>(-packed) : static_cast<uint64_t>(packed);
  const uint32_t micros = static_cast<uint32_t>(v % 1000000);
  v /= 1000000;
  out.push_back('\'');
  if (c.type == kTypeTime) {
    AppendClock(negative, static_cast<int64_t>(v / 3600), static_cast<int>(v / 60 % 60),
                static_cast<int>(v % 60), out);
  } else {
    const int second = static_cast<int>(v % 60);
    v /= 60;
    const int minute = static_cast<int>(v % 60);
    v /= 60;
    const int hour = static_cast<int>(v % 24);
    v /= 24;
    const int day = static_cast<int>(v % 32);
    v /= 32;
    const int month = static_cast<int>(v % 13);
    AppendDate(static_cast<int64_t>(v / 13), month, day, out);
    out.push_back(' ');
    AppendClock(false, hour, minute, second, out);
  }
  AppendFraction(micros, d, out);
  out.push_back('\'');
  return true;
}

}  // namespace

bool DefaultLiteral(ByteView record, const ColumnDef& c, const CollationTable& collations,
                    const CodePage& cp, std::string& out) {
  if (c.record_pos == 0) return false;
  const size_t off = c.record_pos - 1;
  const size_t size = StoredSize(c);
  if (size == 0 && c.type != kTypeBit) return false;
  if (!record.fits(off, size)) return false;
  const ByteView f = record.sub(off, size);
  if (OldHires(c)) return AppendOldHires(f, c, out);
  auto quoted = [&out](auto put) {
    out.push_back('\'');
    put();
    out.push_back('\'');
  };
  switch (c.type) {
    case kTypeTiny:
    case kTypeShort:
    case kTypeInt24:
    case kTypeLong:
    case kTypeLongLong: {
      const uint64_t raw = ReadUnsignedLe(f.data(), size);
      std::string digits;
      if (c.unsigned_flag) {
        AppendUnsigned(raw, digits);
      } else {
        AppendSigned(SignExtend(raw, size), digits);
      }
      // ZEROFILL columns show their default padded to the display width.
      if (c.zerofill && digits.size() < static_cast<size_t>(c.length) && c.length <= 255) {
        out.append(static_cast<size_t>(c.length) - digits.size(), '0');
      }
      out += digits;
      return true;
    }
    case kTypeFloat: {
      float v;
      std::memcpy(&v, f.data(), 4);
      const size_t start = out.size();
      if (c.decimals > 0) {
        AppendFixed(v, c.decimals, out);
      } else {
        AppendFloat(v, out);
      }
      TidyExponent(out, start);
      return true;
    }
    case kTypeDouble: {
      double v;
      std::memcpy(&v, f.data(), 8);
      const size_t start = out.size();
      if (c.decimals > 0) {
        AppendFixed(v, c.decimals, out);
      } else {
        AppendDouble(v, out);
      }
      TidyExponent(out, start);
      return true;
    }
    case kTypeNewDecimal:
      return AppendPackedDecimal(f, c.precision, c.decimals, out);
    case kTypeDecimalOld: {
      std::string_view s = f.text(0, f.size());
      while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
      for (char ch : s) {
        if (!(ch >= '0' && ch <= '9') && ch != '.' && ch != '-' && ch != '+') return false;
      }
      out.append(s.empty() ? std::string_view("0") : s);
      return true;
    }
    case kTypeNewDate:
      quoted([&] { AppendOldDate3(f.u24le(0), out); });
      return true;
    case kTypeDate: {
      const uint32_t v = f.u32le(0);
      quoted([&] {
        AppendDate(v / 10000, static_cast<int>(v / 100 % 100), static_cast<int>(v % 100), out);
      });
      return true;
    }
    case kTypeTime:
      quoted([&] { AppendOldTime(SignExtend(f.u24le(0), 3), out); });
      return true;
    case kTypeDateTime:
      quoted([&] { AppendOldDateTime(ReadUnsignedLe(f.data(), 8), out); });
      return true;
    case kTypeTimestamp:
      quoted([&] { AppendTimestampUtc(f.u32le(0), 0, 0, out); });
      return true;
    case kTypeTime2:
      quoted([&] { AppendTime2(f, c.fractional_digits, out); });
      return true;
    case kTypeDateTime2:
      quoted([&] { AppendDateTime2(f, c.fractional_digits, out); });
      return true;
    case kTypeTimestamp2:
      quoted([&] { AppendTimestamp2(f, c.fractional_digits, out); });
      return true;
    case kTypeYear: {
      const uint8_t v = f.u8(0);
      if (c.length == 2) {  // YEAR(2): two digits
        char buf[8];
        std::snprintf(buf, sizeof buf, "%02u", v == 0 ? 0u : (1900u + v) % 100u);
        out += buf;
      } else {
        AppendYear(v, out);
      }
      return true;
    }
    case kTypeBit: {
      const int bits = c.length > 64 ? 64 : c.length;
      uint64_t v;
      if (c.bit_leftover_pos >= 0) {
        const size_t whole = static_cast<size_t>(bits / 8);
        v = LeftoverBits(record, c.bit_leftover_pos, bits % 8);
        v = (whole >= 8 ? 0 : v << (8 * whole)) | ReadUnsignedBe(f.data(), whole);
      } else {
        v = ReadUnsignedBe(f.data(), size);
      }
      // b'...' without leading zeros, as the server writes it.
      std::string digits;
      AppendBits(v, bits, digits);
      const size_t first = digits.find('1');
      out += "b'" + (first == std::string::npos ? std::string("0") : digits.substr(first)) + "'";
      return true;
    }
    case kTypeEnum: {
      const uint64_t index = ReadUnsignedLe(f.data(), size);
      if (index > c.enum_members.size()) return false;
      std::string text;
      AppendEnum(index, c.enum_members, text);
      AppendSqlStringLiteral(text, out);
      return true;
    }
    case kTypeSet: {
      const uint64_t mask = ReadUnsignedLe(f.data(), size);
      if (c.enum_members.size() < 64 && (mask >> c.enum_members.size()) != 0) return false;
      std::string text;
      AppendSet(mask, c.enum_members, text);
      AppendSqlStringLiteral(text, out);
      return true;
    }
    case kTypeVarchar: {
      const size_t prefix = c.length < 256 ? 1 : 2;
      const size_t n = prefix == 1 ? f.u8(0) : f.u16le(0);
      if (n > static_cast<size_t>(c.length)) return false;
      AppendStringLiteral(f.text(prefix, n), c, collations, cp, out);
      return true;
    }
    case kTypeString:
    case kTypeVarString: {
      std::string_view s = f.text(0, f.size());
      const CollationEntry* e = collations.LookupCollation(c.charset_id);
      if (c.charset_id == kBinaryCollation) {
        // BINARY keeps its zero padding: it is part of the value.
      } else if (e != nullptr && e->mbminlen > 1) {
        // UCS2/UTF-16/UTF-32 pad with the space character in their own width.
        const size_t w = static_cast<size_t>(e->mbminlen);
        while (s.size() >= w && s[s.size() - 1] == ' ' &&
               std::all_of(s.end() - static_cast<ptrdiff_t>(w), s.end() - 1,
                           [](char ch) { return ch == 0; })) {
          s.remove_suffix(w);
        }
      } else {
        while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
      }
      AppendStringLiteral(s, c, collations, cp, out);
      return true;
    }
    default:
      return false;
  }
}

void ReadColumnDefaults(ByteView record, const CollationTable& collations, const CodePage& cp,
                        TableDef& table, std::vector<std::string>& warnings) {
  for (ColumnDef& c : table.columns) {
    const uint8_t unireg = c.unireg_check;
    if (unireg == kUniregNextNumber) c.auto_increment = true;
    const bool now_default = unireg == kUniregTimestampDn || unireg == kUniregTimestampDnUn ||
                             unireg == kUniregTimestampOld;
    const bool now_update = unireg == kUniregTimestampUn || unireg == kUniregTimestampDnUn ||
                            unireg == kUniregTimestampOld;
    const std::string now = c.fractional_digits > 0
                                ? "current_timestamp(" + std::to_string(c.fractional_digits) + ")"
                                : std::string("current_timestamp()");
    if (now_update) c.on_update = now;
    if (c.generated != Generated::kNo || c.server_hidden) {
      c.default_value = ColumnDefault{};
      continue;
    }
    if (c.default_value.kind == ColumnDefault::Kind::kExpression) continue;  // from the expressions
    if (now_default) {
      c.default_value = {ColumnDefault::Kind::kExpression, now};
      continue;
    }
    if (c.auto_increment) continue;
    if (c.nullable && NullBitSet(record, c.null_bit)) {
      c.default_value = {ColumnDefault::Kind::kNull, "NULL"};
      continue;
    }
    if (IsBlob(c.type) || c.type == kTypeGeometry || c.type == kTypeJson) {
      // No literal default is kept for these in the record.
      if (c.nullable) c.default_value = {ColumnDefault::Kind::kNull, "NULL"};
      continue;
    }
    if (!c.nullable && (c.pack_flags & kPackNoDefault)) continue;
    std::string literal;
    if (DefaultLiteral(record, c, collations, cp, literal)) {
      c.default_value = {ColumnDefault::Kind::kLiteral, std::move(literal)};
    } else {
      warnings.push_back("not read: the default value of column " + c.name);
    }
  }
}

}  // namespace vostrel
