// Conversions between the 8-bit texts found in data files, UTF-8 and UTF-16LE.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace vostrel {

inline constexpr const char* kDefaultCodePage = "WINDOWS-1252";

// A single-byte code page turned into a lookup table once, so converting is
// cheap and the object can be shared between threads.
class CodePage {
 public:
  explicit CodePage(std::string name = kDefaultCodePage);

  // False when iconv does not know the name or it is not a single-byte code page.
  bool valid() const { return valid_; }
  const std::string& name() const { return name_; }

  std::string ToUtf8(std::string_view bytes) const;
  void AppendUtf8(std::string_view bytes, std::string& out) const;

 private:
  std::string name_;
  bool valid_ = false;
  std::array<std::string, 256> table_;
};

bool IsValidUtf8(std::string_view bytes);

// Names and comments are written as UTF-8 by MySQL 5.x; older or damaged files
// may hold other bytes, which are then read through the code page.
std::string DecodeStoredText(std::string_view bytes, const CodePage& code_page);

// Converts text in the named character set (an iconv name) to UTF-8; falls back
// to the code page when iconv cannot convert it.
std::string ConvertToUtf8(std::string_view bytes, const char* from_charset,
                          const CodePage& fallback);

// UTF-8 to UTF-16 little endian; invalid bytes become U+FFFD.
std::string Utf8ToUtf16Le(std::string_view utf8);

void AppendUtf8CodePoint(char32_t cp, std::string& out);

}  // namespace vostrel
