// Turns a column's stored character bytes into UTF-8 by the column's own
// character set; the code-page setting only serves unknown collations.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "model/collation_table.h"
#include "model/text_codec.h"

namespace vostrel {

class ColumnTextDecoder {
 public:
  ColumnTextDecoder(int32_t charset_id, const CollationTable& collations, const CodePage& fallback);
  ~ColumnTextDecoder();
  ColumnTextDecoder(ColumnTextDecoder&&) noexcept;
  ColumnTextDecoder& operator=(ColumnTextDecoder&&) noexcept;

  bool binary() const { return kind_ == Kind::kBinary; }
  // Valid UTF-8 bytes are then appended as they are.
  bool utf8() const { return kind_ == Kind::kUtf8; }
  // ASCII bytes come out as they are (not so for UTF-16 and the like).
  bool keeps_ascii() const { return kind_ != Kind::kBinary && kind_ != Kind::kIconv; }
  // Widest character in bytes (1 when unknown).
  int mbmaxlen() const { return mbmaxlen_; }
  int mbminlen() const { return mbminlen_; }
  void Append(std::string_view bytes, std::string& out) const;

 private:
  enum class Kind { kBinary, kUtf8, kTable, kIconv, kFallback };
  struct Iconv;

  Kind kind_ = Kind::kFallback;
  int mbmaxlen_ = 1;
  int mbminlen_ = 1;
  const CodePage* fallback_;
  std::unique_ptr<CodePage> table_;
  std::unique_ptr<Iconv> iconv_;
};

}  // namespace vostrel
