#include "sql/sql_literals.h"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vostrel {

namespace {

constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHighs = 0x8080808080808080ULL;

// High bit set in each byte of w that is zero. Only bytes above a real zero
// can be marked wrongly, so the lowest mark is always right.
inline uint64_t ZeroBytes(uint64_t w) {
  return (w - kOnes) & ~w & kHighs;
}

// Marks the bytes that need an escape: quote, backslash, NUL, Ctrl-Z.
inline uint64_t SpecialBytes(uint64_t w) {
  return ZeroBytes(w) | ZeroBytes(w ^ (kOnes * '\'')) | ZeroBytes(w ^ (kOnes * '\\')) |
         ZeroBytes(w ^ (kOnes * 0x1a));
}

inline bool IsSpecial(char c) {
  return c == '\'' || c == '\\' || c == '\0' || c == '\x1a';
}

// Offset of the first byte that needs an escape, or n. Most texts have none,
// so they are checked eight bytes at a time.
size_t FindSpecial(const char* p, size_t n) {
  if constexpr (std::endian::native == std::endian::little) {
    if (n >= 8) {
      size_t i = 0;
      for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (const uint64_t m = SpecialBytes(w))
          return i + static_cast<size_t>(std::countr_zero(m)) / 8;
      }
      if (i == n) return n;
      // The last eight bytes, without those already seen clean.
      uint64_t w;
      std::memcpy(&w, p + n - 8, 8);
      const uint64_t m = SpecialBytes(w) & (~uint64_t{0} << (8 * (i - (n - 8))));
      return m ? n - 8 + static_cast<size_t>(std::countr_zero(m)) / 8 : n;
    }
  }
  for (size_t i = 0; i < n; ++i) {
    if (IsSpecial(p[i])) return i;
  }
  return n;
}

}  // namespace

bool IsPlainAscii(std::string_view text) {
  const char* p = text.data();
  const size_t n = text.size();
#if defined(__SSE2__)
  // Sixteen bytes at a time; the last block overlaps the one before, which
  // cannot change a yes-or-no answer.
  if (n >= 16) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i quote = _mm_set1_epi8('\'');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i ctrl_z = _mm_set1_epi8(0x1a);
    auto bad = [&](const char* at) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
      const __m128i special =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, zero), _mm_cmpeq_epi8(v, quote)),
                       _mm_or_si128(_mm_cmpeq_epi8(v, backslash), _mm_cmpeq_epi8(v, ctrl_z)));
      return _mm_movemask_epi8(_mm_or_si128(special, v)) != 0;  // high bit: not ASCII
    };
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
      if (bad(p + i)) return false;
    }
    return i == n || !bad(p + n - 16);
  }
#endif
  auto bad = [](uint64_t w) { return ((w & kHighs) | SpecialBytes(w)) != 0; };
  if (n >= 8) {
    uint64_t w;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      std::memcpy(&w, p + i, 8);
      if (bad(w)) return false;
    }
    if (i == n) return true;
    // The last eight bytes; seeing some twice does not change the answer.
    std::memcpy(&w, p + n - 8, 8);
    return !bad(w);
  }
  if (n >= 4) {
    uint32_t a, b;
    std::memcpy(&a, p, 4);
    std::memcpy(&b, p + n - 4, 4);
    return !bad(a | (uint64_t{b} << 32));
  }
  for (size_t i = 0; i < n; ++i) {
    if ((static_cast<unsigned char>(p[i]) & 0x80) || IsSpecial(p[i])) return false;
  }
  return true;
}

void AppendQuotedIdentifier(std::string_view name, std::string& out) {
  out.push_back('`');
  for (char c : name) {
    if (c == '`') out.push_back('`');
    out.push_back(c);
  }
  out.push_back('`');
}

std::string QuoteIdentifier(std::string_view name) {
  std::string out;
  out.reserve(name.size() + 2);
  AppendQuotedIdentifier(name, out);
  return out;
}

void AppendSqlEscaped(std::string_view text, std::string& out) {
  const char* p = text.data();
  size_t n = text.size();
  while (n > 0) {
    const size_t run = FindSpecial(p, n);
    out.append(p, run);
    if (run == n) break;
    switch (p[run]) {
      case '\'':
        out += "''";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\0':
        out += "\\0";
        break;
      default:  // Ctrl-Z
        out += "\\Z";
    }
    p += run + 1;
    n -= run + 1;
  }
}

char* PutSqlEscaped(char* p, std::string_view text) {
  const char* s = text.data();
  size_t n = text.size();
  while (n > 0) {
    const size_t run = FindSpecial(s, n);
    std::memcpy(p, s, run);
    p += run;
    if (run == n) break;
    const char c = s[run];
    *p++ = c == '\'' ? '\'' : '\\';
    *p++ = c == '\'' ? '\'' : c == '\\' ? '\\' : c == '\0' ? '0' : 'Z';
    s += run + 1;
    n -= run + 1;
  }
  return p;
}

void EscapeSqlTail(std::string& out, size_t start) {
  if (start >= out.size()) return;
  const size_t first = start + FindSpecial(out.data() + start, out.size() - start);
  if (first == out.size()) return;
  const std::string tail = out.substr(first);
  out.resize(first);
  AppendSqlEscaped(tail, out);
}

void AppendSqlStringLiteral(std::string_view text, std::string& out) {
  out.push_back('\'');
  AppendSqlEscaped(text, out);
  out.push_back('\'');
}

std::string SqlStringLiteral(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  AppendSqlStringLiteral(text, out);
  return out;
}

std::string SqlCommentLine(std::string_view text) {
  std::string s = "-- ";
  for (const char c : text) s.push_back(c == '\n' || c == '\r' ? ' ' : c);
  return s + "\r\n";
}

}  // namespace vostrel
