// INSERT statements: one per row, values as SQL literals.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "model/row.h"
#include "model/table_def.h"
#include "model/text_buffer.h"
#include "model/text_decoder.h"
#include "sql/sql_literals.h"

namespace vostrel {

// How a column's value text becomes its literal; fixed per column, so the
// export loops look it up once per table.
enum class LiteralKind : uint8_t {
  kBare,    // numbers, hex of byte strings, geometry; '' when empty
  kFloat,   // bare, but inf and nan become NULL
  kBit,     // b'...', b'0' when empty
  kQuoted,  // escaped string literal
};
LiteralKind LiteralKindOf(const ColumnDef& column);

// A literal built around a value text appended straight to `out`:
// BeginLiteral returns where the text starts, EndLiteral completes it.
inline size_t BeginLiteral(LiteralKind kind, std::string& out) {
  if (kind == LiteralKind::kQuoted) {
    out.push_back('\'');
  } else if (kind == LiteralKind::kBit) {
    out += "b'";
  }
  return out.size();
}
void EndLiteral(LiteralKind kind, size_t start, std::string& out);

// The literal of one value, without the separating comma.
void AppendValueLiteral(const ColumnDef& column, const FieldValue& value, std::string& out);
void AppendValueLiteral(LiteralKind kind, const FieldValue& value, std::string& out);

// "INSERT INTO `t`(`a`,`b`) VALUES("
std::string InsertHeader(std::string_view table_name, const TableDef& table);

// header + literals + ");" (+ CR LF for a script). `out` is cleared first, so
// one buffer serves every row of a table.
void BuildInsertRow(std::string_view header, const TableDef& table, const Row& row,
                    bool script_form, std::string& out);

inline const char* InsertRowEnd(bool script_form) {
  return script_form ? ");\r\n" : ");";
}

// The same literals written into a TextBuffer.
// The literal of a value text, as BeginLiteral + text + EndLiteral give it.
void AppendLiteral(LiteralKind kind, std::string_view text, TextBuffer& out);
// 'text', escaped.
void AppendQuotedText(std::string_view text, TextBuffer& out);
// 'text' for a text IsPlainAscii accepted.
inline void AppendPlainQuoted(std::string_view text, TextBuffer& out) {
  const size_t n = text.size();
  char* p = out.Reserve(n + 2);
  *p++ = '\'';
  if (n <= 16) {
    // Short texts, the usual ones, with two fixed-size copies that may overlap.
    if (n >= 8) {
      std::memcpy(p, text.data(), 8);
      std::memcpy(p + n - 8, text.data() + n - 8, 8);
    } else {
      for (size_t i = 0; i < n; ++i) p[i] = text[i];
    }
  } else {
    std::memcpy(p, text.data(), n);
  }
  p += n;
  *p++ = '\'';
  out.Commit(p);
}
// Hex of a byte string, or '' when there are no bytes.
void AppendHexLiteral(std::string_view bytes, TextBuffer& out);
// A stored FLOAT (4 bytes) or DOUBLE (8), little-endian. Damaged bytes that
// decode to inf or nan give NULL, which no server refuses.
void AppendFloatingLiteral(const uint8_t* bytes, size_t width, TextBuffer& out);
// A character column's stored bytes: hex for binary data, else quoted UTF-8
// through the column's decoder (`scratch` holds a conversion).
inline void AppendCharacterLiteral(std::string_view bytes, const ColumnTextDecoder& dec,
                                   std::string& scratch, TextBuffer& out) {
  if (dec.binary()) {
    AppendHexLiteral(bytes, out);
  } else if (dec.keeps_ascii() && IsPlainAscii(bytes)) {
    AppendPlainQuoted(bytes, out);
  } else if (dec.utf8() && IsValidUtf8(bytes)) {
    AppendQuotedText(bytes, out);
  } else {
    scratch.clear();
    dec.Append(bytes, scratch);
    AppendQuotedText(scratch, out);
  }
}
// Around a non-empty text that needs no escapes and holds no 'n' or 'i'
// (digits, dates, times): the prefix and suffix of its literal.
inline char* OpenPlainLiteral(LiteralKind kind, char* p) {
  if (kind == LiteralKind::kQuoted) {
    *p++ = '\'';
  } else if (kind == LiteralKind::kBit) {
    *p++ = 'b';
    *p++ = '\'';
  }
  return p;
}
inline char* ClosePlainLiteral(LiteralKind kind, char* p) {
  if (kind == LiteralKind::kQuoted || kind == LiteralKind::kBit) *p++ = '\'';
  return p;
}

}  // namespace vostrel
