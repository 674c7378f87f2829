#include "model/text_codec.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

namespace vostrel {

namespace {

struct IconvCloser {
  void operator()(void* cd) const {
    if (cd != nullptr) iconv_close(static_cast<iconv_t>(cd));
  }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle OpenIconv(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return IconvHandle(nullptr);
  return IconvHandle(cd);
}

// Returns false when the input is not fully convertible.
bool IconvAll(void* cd, std::string_view in, std::string& out) {
  iconv(static_cast<iconv_t>(cd), nullptr, nullptr, nullptr, nullptr);
  char* inp = const_cast<char*>(in.data());
  size_t inleft = in.size();
  char buffer[4096];
  while (inleft > 0) {
    char* outp = buffer;
    size_t outleft = sizeof buffer;
    size_t rc = iconv(static_cast<iconv_t>(cd), &inp, &inleft, &outp, &outleft);
    out.append(buffer, static_cast<size_t>(outp - buffer));
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) return false;
  }
  return true;
}

// Length of the leading run of bytes below 0x80, eight at a time.
size_t AsciiPrefix(const char* p, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (w & 0x8080808080808080ULL) break;
  }
  while (i < n && static_cast<unsigned char>(p[i]) < 0x80) ++i;
  return i;
}

}  // namespace

void AppendUtf8CodePoint(char32_t cp, std::string& out) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

CodePage::CodePage(std::string name) : name_(std::move(name)) {
  IconvHandle cd = OpenIconv("UTF-8", name_.c_str());
  if (!cd) return;
  valid_ = true;
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    std::string utf8;
    const bool ok = IconvAll(cd.get(), std::string_view(&byte, 1), utf8) && !utf8.empty();
    // Only ASCII-compatible single-byte code pages can be a byte table.
    if (b < 0x80 && (!ok || utf8 != std::string(1, byte))) valid_ = false;
    // Bytes the code page leaves undefined keep their Latin-1 code point, as
    // MySQL's latin1 does, so no byte is ever lost.
    if (!ok) {
      utf8.clear();
      AppendUtf8CodePoint(static_cast<char32_t>(b), utf8);
    }
    table_[b] = std::move(utf8);
  }
}

void CodePage::AppendUtf8(std::string_view bytes, std::string& out) const {
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n) {
    // ASCII runs are copied whole.
    const size_t run = i + AsciiPrefix(bytes.data() + i, n - i);
    if (run > i) {
      out.append(bytes.data() + i, run - i);
      i = run;
      if (i == n) break;
    }
    const unsigned char c = static_cast<unsigned char>(bytes[i++]);
    if (valid_) {
      out += table_[c];
    } else {
      AppendUtf8CodePoint(c, out);
    }
  }
}

std::string CodePage::ToUtf8(std::string_view bytes) const {
  std::string out;
  out.reserve(bytes.size());
  AppendUtf8(bytes, out);
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  size_t i = AsciiPrefix(bytes.data(), bytes.size());
  const size_t n = bytes.size();
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    char32_t cp;
    if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      const unsigned char cc = static_cast<unsigned char>(bytes[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
        cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += len;
  }
  return true;
}

std::string DecodeStoredText(std::string_view bytes, const CodePage& code_page) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return code_page.ToUtf8(bytes);
}

std::string ConvertToUtf8(std::string_view bytes, const char* from_charset,
                          const CodePage& fallback) {
  IconvHandle cd = OpenIconv("UTF-8", from_charset);
  std::string out;
  if (cd && IconvAll(cd.get(), bytes, out)) return out;
  return fallback.ToUtf8(bytes);
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  auto put = [&out](char16_t u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  };
  size_t i = 0;
  const size_t n = utf8.size();
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    size_t len = c < 0x80             ? 1
                 : (c & 0xE0) == 0xC0 ? 2
                 : (c & 0xF0) == 0xE0 ? 3
                 : (c & 0xF8) == 0xF0 ? 4
                                      : 0;
    if (len == 0 || i + len > n || !IsValidUtf8(utf8.substr(i, len))) {
      put(0xFFFD);
      ++i;
      continue;
    }
    char32_t cp = len == 1 ? c : c & (0xFF >> (len + 1));
    for (size_t k = 1; k < len; ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(static_cast<char16_t>(0xD800 + (cp >> 10)));
      put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      put(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

}  // namespace vostrel
