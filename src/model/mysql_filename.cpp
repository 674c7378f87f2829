#include "model/mysql_filename.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>

namespace vostrel {
namespace {

// Names created before 5.1 name encoding; the rest is stored as typed.
constexpr std::string_view kMysql50Prefix = "#mysql50#";

// '@' + two bytes in kCodeFirst..kCodeLast stands for one table entry.
constexpr unsigned char kCodeFirst = 0x30;
constexpr unsigned char kCodeLast = 0x7F;
constexpr int kCodeBase = 80;
constexpr std::size_t kCodeCount = kCodeBase * kCodeBase;

struct TwoCharCode {
  std::uint16_t code;
  std::uint16_t code_point;
  // False where the server reads the code but writes the @xxxx form instead.
  bool written = true;
};

constexpr TwoCharCode kTwoCharCodes[] = {
#include "mysql_filename_table.inc"
};

constexpr auto kCodeToCodePoint = [] {
  std::array<std::uint16_t, kCodeCount> table{};
  for (const TwoCharCode& entry : kTwoCharCodes) table[entry.code] = entry.code_point;
  return table;
}();

constexpr std::size_t kWrittenCount =
    std::count_if(std::begin(kTwoCharCodes), std::end(kTwoCharCodes),
                  [](const TwoCharCode& entry) { return entry.written; });

// Written codes ordered by code point, for binary search when encoding.
constexpr auto kByCodePoint = [] {
  std::array<TwoCharCode, kWrittenCount> table{};
  std::copy_if(std::begin(kTwoCharCodes), std::end(kTwoCharCodes), table.begin(),
               [](const TwoCharCode& entry) { return entry.written; });
  std::sort(table.begin(), table.end(),
            [](const TwoCharCode& a, const TwoCharCode& b) { return a.code_point < b.code_point; });
  return table;
}();

constexpr bool TableIsWellFormed() {
  for (std::size_t i = 0; i < std::size(kTwoCharCodes); ++i) {
    if (kTwoCharCodes[i].code >= kCodeCount || kTwoCharCodes[i].code_point == 0) return false;
    if (i > 0 && kTwoCharCodes[i - 1].code >= kTwoCharCodes[i].code) return false;
  }
  for (std::size_t i = 1; i < kByCodePoint.size(); ++i) {
    if (kByCodePoint[i - 1].code_point == kByCodePoint[i].code_point) return false;
  }
  return true;
}
static_assert(TableIsWellFormed(), "codes must be sorted, unique and in range");

constexpr bool IsSafeAscii(char32_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

constexpr bool IsHighSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char32_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Only lower-case digits count: the server rejects "@4E2D".
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads "@xxxx" at the start of s.
std::optional<char32_t> ReadHexUnit(std::string_view s) {
  if (s.size() < 5 || s[0] != '@') return std::nullopt;
  char32_t value = 0;
  for (std::size_t i = 1; i < 5; ++i) {
    const int digit = HexDigit(s[i]);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<char32_t>(digit);
  }
  return value;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes the '@' sequence at the start of s into out and returns the bytes
// used, or 0 when it is not a valid sequence. The order of the checks follows
// the server: a two-character code wins over the hex form.
std::size_t DecodeEscape(std::string_view s, std::string& out) {
  if (s.size() >= 3) {
    const auto b1 = static_cast<unsigned char>(s[1]);
    const auto b2 = static_cast<unsigned char>(s[2]);
    if (b1 >= kCodeFirst && b1 <= kCodeLast && b2 >= kCodeFirst && b2 <= kCodeLast) {
      const std::uint16_t code_point =
          kCodeToCodePoint[(b1 - kCodeFirst) * kCodeBase + (b2 - kCodeFirst)];
      if (code_point != 0) {
        AppendUtf8(out, code_point);
        return 3;
      }
    }
    // "@@@" means NUL, which no name can hold; keep it as written.
    if (s.starts_with("@@@")) {
      out.append(s.substr(0, 3));
      return 3;
    }
  }
  const std::optional<char32_t> unit = ReadHexUnit(s);
  if (!unit) return 0;
  if (IsHighSurrogate(*unit)) {
    const std::optional<char32_t> low = ReadHexUnit(s.substr(5));
    if (low && IsLowSurrogate(*low)) {
      AppendUtf8(out, 0x10000 + ((*unit - 0xD800) << 10) + (*low - 0xDC00));
      return 10;
    }
  }
  if (*unit == 0 || IsHighSurrogate(*unit) || IsLowSurrogate(*unit)) {
    out.append(s.substr(0, 5));
  } else {
    AppendUtf8(out, *unit);
  }
  return 5;
}

// Reads one well-formed UTF-8 sequence at the start of s; returns the code
// point and its length, or a length of 0 when the first byte starts none.
struct Utf8Char {
  char32_t code_point;
  std::size_t length;
};

Utf8Char ReadUtf8(std::string_view s) {
  const auto lead = static_cast<unsigned char>(s[0]);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = 4;
  char32_t c = lead & 0x07;
  char32_t min = 0x10000;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    c = lead & 0x1F;
    min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    c = lead & 0x0F;
    min = 0x800;
  } else if (lead < 0xF0 || lead > 0xF4) {
    return {0, 0};
  }
  if (s.size() < length) return {0, 0};
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(s[i]);
    if ((next & 0xC0) != 0x80) return {0, 0};
    c = (c << 6) | (next & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  if (c < min || c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c)) return {0, 0};
  return {c, length};
}

void AppendHexUnit(std::string& out, char32_t unit) {
  constexpr char kDigits[] = "0123456789abcdef";
  out += '@';
  for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(unit >> shift) & 0xF];
}

std::optional<std::uint16_t> CodeFor(char32_t c) {
  const auto it = std::lower_bound(
      kByCodePoint.begin(), kByCodePoint.end(), c,
      [](const TwoCharCode& entry, char32_t value) { return entry.code_point < value; });
  if (it == kByCodePoint.end() || it->code_point != c) return std::nullopt;
  return it->code;
}

}  // namespace

std::string DecodeMysqlFileName(std::string_view raw) {
  if (raw.starts_with(kMysql50Prefix)) return std::string(raw.substr(kMysql50Prefix.size()));
  std::string out;
  out.reserve(raw.size());
  std::size_t i = 0;
  while (i < raw.size()) {
    if (raw[i] != '@') {
      out += raw[i++];
      continue;
    }
    const std::size_t used = DecodeEscape(raw.substr(i), out);
    if (used == 0) {
      out += '@';
      ++i;
    } else {
      i += used;
    }
  }
  return out;
}

std::string EncodeMysqlFileName(std::string_view utf8) {
  if (utf8.starts_with(kMysql50Prefix)) return std::string(utf8.substr(kMysql50Prefix.size()));
  std::string out;
  out.reserve(utf8.size() * 2);
  std::size_t i = 0;
  while (i < utf8.size()) {
    const Utf8Char ch = ReadUtf8(utf8.substr(i));
    if (ch.length == 0) {
      out += utf8[i++];
      continue;
    }
    i += ch.length;
    const char32_t c = ch.code_point;
    // The server also writes NUL as a bare byte.
    if (c == 0 || IsSafeAscii(c)) {
      out += static_cast<char>(c);
    } else if (c > 0xFFFF) {
      // Identifiers cannot hold these, and the server would drop the high
      // bits; a surrogate pair at least decodes back to the same name.
      AppendHexUnit(out, 0xD800 + ((c - 0x10000) >> 10));
      AppendHexUnit(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
    } else if (const std::optional<std::uint16_t> code = CodeFor(c)) {
      out += '@';
      out += static_cast<char>(kCodeFirst + *code / kCodeBase);
      out += static_cast<char>(kCodeFirst + *code % kCodeBase);
    } else {
      AppendHexUnit(out, c);
    }
  }
  return out;
}

}  // namespace vostrel
