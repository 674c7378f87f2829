#include "sql/load_data_writer.h"

#include "sql/sql_literals.h"

namespace vostrel {

LoadAs LoadAsOf(const ColumnDef& c) {
  if (c.type == kTypeBit) return LoadAs::kBits;
  if (c.type == kTypeGeometry) return LoadAs::kHex;
  const LiteralKind kind = LiteralKindOf(c);
  const bool text_type = c.type == kTypeVarchar || c.type == kTypeVarString ||
                         c.type == kTypeString || (c.type >= kTypeTinyBlob && c.type <= kTypeBlob);
  return text_type && kind == LiteralKind::kBare ? LoadAs::kHex : LoadAs::kText;
}

void AppendLoadDataEscaped(std::string_view text, TextBuffer& out) {
  char* p = out.Reserve(2 * text.size());
  for (const char c : text) {
    switch (c) {
      case '\\':
        *p++ = '\\';
        *p++ = '\\';
        break;
      case '\t':
        *p++ = '\\';
        *p++ = 't';
        break;
      case '\n':
        *p++ = '\\';
        *p++ = 'n';
        break;
      case '\r':
        *p++ = '\\';
        *p++ = 'r';
        break;
      case '\0':
        *p++ = '\\';
        *p++ = '0';
        break;
      default:
        *p++ = c;
    }
  }
  out.Commit(p);
}

std::string LoadDataStatement(const std::string& file, std::string_view table_name,
                              const TableDef& table) {
  std::string s = "LOAD DATA LOCAL INFILE ";
  AppendSqlStringLiteral(file, s);
  s += " INTO TABLE ";
  AppendQuotedIdentifier(table_name, s);
  s += " CHARACTER SET utf8mb4 (";
  std::string set;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnDef& c = table.columns[i];
    if (i) s += ",";
    if (c.generated != Generated::kNo) {
      // The server computes it: its field goes to a variable left unused,
      // not to the column, which would take it with a warning.
      s += "@g" + std::to_string(i + 1);
      continue;
    }
    const LoadAs as = LoadAsOf(c);
    if (as == LoadAs::kText) {
      AppendQuotedIdentifier(c.name, s);
      continue;
    }
    const std::string var = "@c" + std::to_string(i + 1);
    s += var;
    set += set.empty() ? " SET " : ",";
    AppendQuotedIdentifier(c.name, set);
    set += as == LoadAs::kHex ? "=UNHEX(" + var + ")" : "=CAST(CONV(" + var + ",2,10) AS UNSIGNED)";
  }
  s += ")" + set + ";\r\n";
  return s;
}

}  // namespace vostrel
