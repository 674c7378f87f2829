#include "sql/insert_builder.h"

#include <algorithm>
#include <cstring>

#include "model/value_text.h"

namespace vostrel {

LiteralKind LiteralKindOf(const ColumnDef& c) {
  switch (c.type) {
    case kTypeTiny:
    case kTypeShort:
    case kTypeLong:
    case kTypeLongLong:
    case kTypeInt24:
    case kTypeYear:
    case kTypeDecimalOld:
    case kTypeNewDecimal:
    case kTypeGeometry:
      return LiteralKind::kBare;
    case kTypeFloat:
    case kTypeDouble:
      // A damaged value may decode to inf or nan, which no server accepts.
      return LiteralKind::kFloat;
    case kTypeBit:
      return LiteralKind::kBit;
    case kTypeVarchar:
    case kTypeVarString:
    case kTypeString:
    case kTypeTinyBlob:
    case kTypeMediumBlob:
    case kTypeLongBlob:
    case kTypeBlob:
      // Byte strings arrive as 0x... hex text.
      return c.charset_id == kBinaryCollation ? LiteralKind::kBare : LiteralKind::kQuoted;
    default:  // temporal types, ENUM, SET and anything unknown
      return LiteralKind::kQuoted;
  }
}

void EndLiteral(LiteralKind kind, size_t start, std::string& out) {
  switch (kind) {
    case LiteralKind::kQuoted:
      EscapeSqlTail(out, start);
      out.push_back('\'');
      return;
    case LiteralKind::kBit:
      if (out.size() == start) out.push_back('0');
      out.push_back('\'');
      return;
    case LiteralKind::kFloat:
      for (size_t i = start; i < out.size(); ++i) {
        if (out[i] == 'n' || out[i] == 'i') {
          out.resize(start);
          out += "NULL";
          return;
        }
      }
      [[fallthrough]];
    case LiteralKind::kBare:
      if (out.size() == start) out += "''";
      return;
  }
}

void AppendValueLiteral(LiteralKind kind, const FieldValue& v, std::string& out) {
  if (v.is_null) {
    out += "NULL";
    return;
  }
  if (v.is_blob_file) {
    out += "LOAD_FILE(";
    AppendSqlStringLiteral(v.text, out);
    out += ")";
    return;
  }
  const size_t start = BeginLiteral(kind, out);
  out += v.text;
  EndLiteral(kind, start, out);
}

void AppendValueLiteral(const ColumnDef& c, const FieldValue& v, std::string& out) {
  AppendValueLiteral(LiteralKindOf(c), v, out);
}

void AppendQuotedText(std::string_view text, TextBuffer& out) {
  char* p = out.Reserve(2 * text.size() + 2);
  *p++ = '\'';
  p = PutSqlEscaped(p, text);
  *p++ = '\'';
  out.Commit(p);
}

void AppendFloatingLiteral(const uint8_t* bytes, size_t width, TextBuffer& out) {
  char* p = out.Reserve(kMaxValueText);
  char* e;
  if (width == 4) {
    float f;
    std::memcpy(&f, bytes, 4);
    e = PutFloat(p, f);
  } else {
    double d;
    std::memcpy(&d, bytes, 8);
    e = PutDouble(p, d);
  }
  if (std::find_if(p, e, [](char ch) { return ch == 'n' || ch == 'i'; }) != e) {
    std::memcpy(p, "NULL", 4);
    e = p + 4;
  }
  out.Commit(e);
}

void AppendHexLiteral(std::string_view bytes, TextBuffer& out) {
  if (bytes.empty()) {
    out.Append("''", 2);
    return;
  }
  char* p = out.Reserve(2 * bytes.size() + 2);
  *p++ = '0';
  *p++ = 'x';
  out.Commit(PutHexDigits(p, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

void AppendLiteral(LiteralKind kind, std::string_view text, TextBuffer& out) {
  switch (kind) {
    case LiteralKind::kQuoted:
      AppendQuotedText(text, out);
      return;
    case LiteralKind::kBit:
      out.Append("b'", 2);
      out.Append(text.empty() ? std::string_view("0") : text);
      out.Push('\'');
      return;
    case LiteralKind::kFloat:
      if (text.find_first_of("ni") != std::string_view::npos) {
        out.Append("NULL", 4);
        return;
      }
      [[fallthrough]];
    case LiteralKind::kBare:
      out.Append(text.empty() ? std::string_view("''") : text);
      return;
  }
}

std::string InsertHeader(std::string_view table_name, const TableDef& table) {
  std::string h = "INSERT INTO ";
  AppendQuotedIdentifier(table_name, h);
  h += "(";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (i) h += ",";
    AppendQuotedIdentifier(table.columns[i].name, h);
  }
  h += ") VALUES(";
  return h;
}

void BuildInsertRow(std::string_view header, const TableDef& table, const Row& row,
                    bool script_form, std::string& out) {
  out.assign(header);
  const size_t n = std::min(table.columns.size(), row.size());
  for (size_t i = 0; i < n; ++i) {
    if (i) out.push_back(',');
    AppendValueLiteral(table.columns[i], row[i], out);
  }
  out += InsertRowEnd(script_form);
}

}  // namespace vostrel
