#include "sql/create_statements.h"

#include <cctype>

#include "model/type_text.h"
#include "sql/sql_literals.h"

namespace vostrel {

namespace {

void TrimTrailingCommas(std::string& s) {
  while (!s.empty() && s.back() == ',') s.pop_back();
}

void TrimSpaces(std::string& s) {
  size_t b = 0;
  while (b < s.size() && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  size_t e = s.size();
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  s = s.substr(b, e - b);
}

size_t Utf8Length(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

bool IsBlobType(int32_t type) {
  return type >= kTypeTinyBlob && type <= kTypeBlob;
}

// Key-part list; a part that covers only the start of a string column gets its
// prefix length, which MySQL demands for BLOB and TEXT columns.
std::string KeyPartList(const KeyDef& key, const TableDef& table,
                        const CollationTable& collations) {
  std::string list;
  for (const KeyPart& part : key.parts) {
    if (part.field_number == 0 || part.field_number > table.columns.size()) continue;
    const ColumnDef& col = table.columns[part.field_number - 1];
    if (!list.empty()) list.push_back(',');
    AppendQuotedIdentifier(col.name, list);
    const bool stringish = IsBlobType(col.type) || col.type == kTypeVarchar ||
                           col.type == kTypeString || col.type == kTypeVarString;
    if (stringish && (IsBlobType(col.type) || part.length < col.length) && part.length > 0) {
      uint32_t prefix = part.length;
      if (col.charset_id != kBinaryCollation) {
        const CollationEntry* e = collations.LookupCollation(col.charset_id);
        if (e != nullptr && e->mbmaxlen > 0) prefix /= static_cast<uint32_t>(e->mbmaxlen);
      }
      if (prefix == 0) prefix = 1;
      list += "(" + std::to_string(prefix) + ")";
    }
  }
  return list;
}

}  // namespace

bool IsPlainCharsetName(std::string_view name) {
  size_t end = name.size();
  while (end > 0 && name[end - 1] == ' ') --end;
  if (end == 0) return false;
  for (size_t i = 0; i < end; ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (!std::isalnum(c) && c != '_') return false;
  }
  return true;
}

std::string SchemaStatement(std::string_view database_name, std::string_view charset,
                            std::string_view collation, bool for_script) {
  std::string s = "CREATE SCHEMA ";
  AppendQuotedIdentifier(std::string(kSchemaPrefix) + std::string(database_name), s);
  if (!charset.empty() && IsPlainCharsetName(charset)) {
    s += " CHARACTER SET ";
    s += charset;
  }
  if (!collation.empty() && IsPlainCharsetName(collation)) {
    s += " COLLATE ";
    s += collation;
  }
  s += for_script ? ";\r\n" : ";";
  return s;
}

std::string UseStatement(std::string_view database_name, bool for_script) {
  std::string s = for_script ? "USE " : "Use ";
  AppendQuotedIdentifier(std::string(kSchemaPrefix) + std::string(database_name), s);
  s += for_script ? ";\r\n" : ";";
  return s;
}

std::string OutputTableName(std::string_view table_name) {
  if (Utf8Length(table_name) <= 64) return std::string(table_name);
  size_t chars = 0;
  size_t i = 0;
  for (; i < table_name.size(); ++i) {
    if ((static_cast<unsigned char>(table_name[i]) & 0xC0) != 0x80) {
      if (chars == 63) break;
      ++chars;
    }
  }
  return std::string(table_name.substr(0, i));
}

std::string CreateTableStatement(std::string_view table_name, const TableDef& table,
                                 const CollationTable& collations) {
  std::string s = "Create TABLE  ";
  AppendQuotedIdentifier(table_name, s);
  s += " (";
  for (const ColumnDef& col : table.columns) {
    std::string clause;
    AppendQuotedIdentifier(col.name, clause);
    clause += " ";
    clause += ColumnTypeText(table, col, collations);
    if (table.table_charset_id != 0 && col.charset_id != table.table_charset_id &&
        IsCharacterType(col.type) && col.charset_id != kBinaryCollation) {
      if (const CollationEntry* e = collations.LookupCollation(col.charset_id)) {
        clause += " CHARSET " + e->charset_name + " COLLATE " + e->collation_name;
      }
    }
    if (col.nullable == 0) {
      clause += " NOT NULL";
    } else if (IsTimestampType(col.type)) {
      // Without it an old server makes the column NOT NULL and turns NULLs into the current time.
      clause += " NULL";
    }
    if (IsTimestampType(col.type)) {
      clause += " DEFAULT CURRENT_TIMESTAMP";
      if (col.fractional_digits) clause += "(" + std::to_string(col.fractional_digits) + ")";
    }
    if (!col.comment.empty()) {
      clause += " COMMENT ";
      AppendSqlStringLiteral(col.comment, clause);
    }
    clause += ", ";
    s += clause;
  }
  if (const KeyDef* pk = table.PrimaryKey()) {
    std::string list = KeyPartList(*pk, table, collations);
    if (!list.empty()) s += "PRIMARY KEY (" + list + "),";
  }
  for (const KeyDef& key : table.keys) {
    if (key.is_primary() || !key.unique()) continue;
    std::string list = KeyPartList(key, table, collations);
    if (!list.empty()) s += "UNIQUE KEY (" + list + "),";
  }
  TrimSpaces(s);
  TrimTrailingCommas(s);
  s += ")";
  if (table.engine_type == kEngineMyIsam) {
    s += "ENGINE=MYISAM";
  } else if (table.engine_type == kEngineInnoDb) {
    s += "ENGINE=InnoDB";
  }
  if (table.table_charset_id != 0) {
    if (const CollationEntry* e = collations.LookupCollation(table.table_charset_id)) {
      s += " DEFAULT CHARSET " + e->charset_name + " COLLATE " + e->collation_name;
    }
  }
  s += ";";
  return s;
}

}  // namespace vostrel
