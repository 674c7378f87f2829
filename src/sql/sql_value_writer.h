// Values as SQL literals: the writer a field decoder hands each column's
// value to when the output is an INSERT statement (scripts and servers).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/field_decoder.h"
#include "model/table_def.h"
#include "model/text_buffer.h"
#include "sql/insert_builder.h"
#include "sql/sql_literals.h"

namespace vostrel {

class SqlValueWriter {
 public:
  explicit SqlValueWriter(const TableDef& table) {
    kinds_.reserve(table.columns.size());
    for (const ColumnDef& c : table.columns) kinds_.push_back(LiteralKindOf(c));
  }

  // The buffer the literals go to; set before each record.
  void Into(TextBuffer& out) { out_ = &out; }
  // Set when a value lies on other pages: the caller resolves such records.
  bool external() const { return external_; }
  void ClearExternal() { external_ = false; }

  void Separator() { out_->Push(','); }
  void Null(size_t) { out_->Append("NULL", 4); }
  // Never filled: the empty text a fresh row holds.
  void Absent(size_t i) { AppendLiteral(kinds_[i], {}, *out_); }
  char* BeginPlain(size_t i) {
    return OpenPlainLiteral(kinds_[i], out_->Reserve(kMaxValueText + 4));
  }
  void EndPlain(size_t i, char* end) { out_->Commit(ClosePlainLiteral(kinds_[i], end)); }
  void Floating(size_t, const uint8_t* bytes, size_t width) {
    AppendFloatingLiteral(bytes, width, *out_);
  }
  bool TakesAsIs(size_t, std::string_view raw) {
    if (!IsPlainAscii(raw)) return false;
    AppendPlainQuoted(raw, *out_);
    return true;
  }
  void Text(size_t, std::string_view utf8, size_t, ValueSize) { AppendQuotedText(utf8, *out_); }
  void Bytes(size_t, std::string_view bytes, ValueSize) { AppendHexLiteral(bytes, *out_); }
  void Value(size_t i, std::string_view text) { AppendLiteral(kinds_[i], text, *out_); }
  void External(size_t, const StoredField&) { external_ = true; }
  // A value written to a file by the blob writer.
  void File(const std::string& path) {
    std::string s = "LOAD_FILE(";
    AppendSqlStringLiteral(path, s);
    s += ")";
    out_->Append(s);
  }

  LiteralKind kind(size_t i) const { return kinds_[i]; }

 private:
  std::vector<LiteralKind> kinds_;
  TextBuffer* out_ = nullptr;
  bool external_ = false;
};

}  // namespace vostrel
