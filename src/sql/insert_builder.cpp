#include "sql/insert_builder.h"

#include "sql/sql_literals.h"

namespace vostrel {

namespace {

void Unquoted(const std::string& text, std::string& out) {
  if (text.empty()) {
    out += "''";
  } else {
    out += text;
  }
}

}  // namespace

void AppendValueLiteral(const ColumnDef& c, const FieldValue& v, std::string& out) {
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
  const bool binary = c.charset_id == kBinaryCollation;
  switch (c.type) {
    case kTypeTiny:
    case kTypeShort:
    case kTypeLong:
    case kTypeLongLong:
    case kTypeInt24:
    case kTypeYear:
    case kTypeDecimalOld:
    case kTypeNewDecimal:
      Unquoted(v.text, out);
      break;
    case kTypeFloat:
    case kTypeDouble:
      // A damaged value may decode to inf or nan, which no server accepts.
      if (v.text.find_first_of("ni") != std::string::npos) {
        out += "NULL";
      } else {
        Unquoted(v.text, out);
      }
      break;
    case kTypeBit:
      out += "b'";
      out += v.text.empty() ? "0" : v.text;
      out += "'";
      break;
    case kTypeVarchar:
    case kTypeVarString:
    case kTypeString:
    case kTypeTinyBlob:
    case kTypeMediumBlob:
    case kTypeLongBlob:
    case kTypeBlob:
      if (binary) {
        Unquoted(v.text, out);  // 0x... hex text
      } else {
        AppendSqlStringLiteral(v.text, out);
      }
      break;
    case kTypeGeometry:
      Unquoted(v.text, out);
      break;
    default:  // temporal types, ENUM, SET and anything unknown
      AppendSqlStringLiteral(v.text, out);
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
  out += script_form ? ");\r\n" : ");";
}

}  // namespace vostrel
