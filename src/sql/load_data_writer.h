// Values in the text form LOAD DATA INFILE reads by default: fields ended by
// a tab, rows by a line feed, backslash escapes, \N for NULL. Byte strings go
// as hex digits and BIT values as binary digits, which the LOAD DATA
// statement turns back with UNHEX() and CONV() (LoadDataStatement).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/field_decoder.h"
#include "model/table_def.h"
#include "model/text_buffer.h"
#include "model/value_text.h"
#include "sql/insert_builder.h"

namespace vostrel {

// How a column's field is read back.
enum class LoadAs : uint8_t {
  kText,  // as written
  kHex,   // UNHEX() of hex digits (binary strings, BLOBs, GEOMETRY)
  kBits,  // binary digits of a BIT value
};
LoadAs LoadAsOf(const ColumnDef& column);

// The text `text` escaped for a field.
void AppendLoadDataEscaped(std::string_view text, TextBuffer& out);

class LoadDataWriter {
 public:
  explicit LoadDataWriter(const TableDef& table) {
    kinds_.reserve(table.columns.size());
    for (const ColumnDef& c : table.columns) kinds_.push_back(LiteralKindOf(c));
  }

  void Into(TextBuffer& out) { out_ = &out; }
  bool external() const { return external_; }
  void ClearExternal() { external_ = false; }

  void Separator() { out_->Push('\t'); }
  void Null(size_t) { out_->Append("\\N", 2); }
  void Absent(size_t i) { Value(i, {}); }
  char* BeginPlain(size_t) { return out_->Reserve(kMaxValueText + 4); }
  void EndPlain(size_t, char* end) { out_->Commit(end); }
  void Floating(size_t, const uint8_t* bytes, size_t width) {
    // The literal's own text, NULL for inf and nan.
    const size_t mark = out_->size();
    AppendFloatingLiteral(bytes, width, *out_);
    if (std::string_view(out_->data() + mark, out_->size() - mark) == "NULL") {
      out_->Truncate(mark);
      out_->Append("\\N", 2);
    }
  }
  bool TakesAsIs(size_t, std::string_view raw) {
    for (const char c : raw) {
      if (c == '\\' || c == '\t' || c == '\n' || c == '\r' || c == '\0' ||
          static_cast<unsigned char>(c) >= 0x80) {
        return false;
      }
    }
    out_->Append(raw);
    return true;
  }
  void Text(size_t, std::string_view utf8, size_t, ValueSize) {
    AppendLoadDataEscaped(utf8, *out_);
  }
  void Bytes(size_t, std::string_view bytes, ValueSize) {
    char* p = out_->Reserve(2 * bytes.size());
    out_->Commit(PutHexDigits(p, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  }
  // A value text as the INSERT literals take it: hex of byte strings as
  // 0x..., BIT as binary digits, numbers and temporal values as they are.
  void Value(size_t i, std::string_view text) {
    switch (kinds_[i]) {
      case LiteralKind::kBare:
        if (text.size() >= 2 && text[0] == '0' && text[1] == 'x') text.remove_prefix(2);
        out_->Append(text);
        return;
      case LiteralKind::kBit:
        out_->Append(text.empty() ? std::string_view("0") : text);
        return;
      case LiteralKind::kFloat:
        if (text.find_first_of("ni") != std::string_view::npos) {
          out_->Append("\\N", 2);
          return;
        }
        out_->Append(text);
        return;
      case LiteralKind::kQuoted:
        AppendLoadDataEscaped(text, *out_);
        return;
    }
  }
  void External(size_t, const StoredField&) { external_ = true; }
  // Large values are never files here: the data file holds them inline.
  void File(const std::string& path) { AppendLoadDataEscaped(path, *out_); }

 private:
  std::vector<LiteralKind> kinds_;
  TextBuffer* out_ = nullptr;
  bool external_ = false;
};

// "LOAD DATA LOCAL INFILE '<file>' INTO TABLE `t` CHARACTER SET utf8mb4
// (`a`,@c2,...) SET `b`=UNHEX(@c2),...;" with a line end for a script.
std::string LoadDataStatement(const std::string& file, std::string_view table_name,
                              const TableDef& table);

}  // namespace vostrel
