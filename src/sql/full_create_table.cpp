// The full CREATE TABLE statement and the foreign keys added after the rows.
#include <cctype>

#include "model/type_text.h"
#include "sql/create_statements.h"
#include "sql/sql_literals.h"

namespace vostrel {

namespace {

bool IsBlobType(int32_t type) {
  return type >= kTypeTinyBlob && type <= kTypeBlob;
}

bool IsStringType(int32_t type) {
  return type == kTypeVarchar || type == kTypeString || type == kTypeVarString;
}

std::string Paren(int64_t n) {
  return "(" + std::to_string(n) + ")";
}

std::string Quoted(std::string_view name) {
  return QuoteIdentifier(name);
}

std::string BaseType(const TableDef& table, const ColumnDef& c, const CollationTable& collations) {
  const bool binary = c.charset_id == kBinaryCollation;
  const int32_t frac = c.fractional_digits;
  switch (c.type) {
    case kTypeDecimalOld:
    case kTypeNewDecimal:
      return "decimal(" + std::to_string(c.precision) + "," + std::to_string(c.decimals) + ")";
    case kTypeTiny:
      return "tinyint" + Paren(c.length);
    case kTypeShort:
      return "smallint" + Paren(c.length);
    case kTypeInt24:
      return "mediumint" + Paren(c.length);
    case kTypeLong:
      return "int" + Paren(c.length);
    case kTypeLongLong:
      return "bigint" + Paren(c.length);
    case kTypeFloat:
    case kTypeDouble: {
      std::string t = c.type == kTypeFloat ? "float" : "double";
      if (c.decimals != 0) {
        t += "(" + std::to_string(c.precision) + "," + std::to_string(c.decimals) + ")";
      }
      return t;
    }
    case kTypeTimestamp:
    case kTypeTimestamp2:
      return frac ? "timestamp" + Paren(frac) : "timestamp";
    case kTypeDate:
    case kTypeNewDate:
      return "date";
    case kTypeTime:
    case kTypeTime2:
      return frac ? "time" + Paren(frac) : "time";
    case kTypeDateTime:
    case kTypeDateTime2:
      return frac ? "datetime" + Paren(frac) : "datetime";
    case kTypeYear:
      return c.length == 2 ? "year(2)" : "year(4)";
    case kTypeVarchar:
    case kTypeVarString:
      return (binary ? "varbinary" : "varchar") + Paren(CharacterLength(table, c, collations));
    case kTypeString:
      return binary ? "binary" + Paren(c.length)
                    : "char" + Paren(CharacterLength(table, c, collations));
    case kTypeBit:
      return "bit" + Paren(c.length);
    case kTypeEnum:
      return "enum(" + c.enum_values + ")";
    case kTypeSet:
      return "set(" + c.enum_values + ")";
    case kTypeTinyBlob:
      return binary ? "tinyblob" : "tinytext";
    case kTypeMediumBlob:
      return binary ? "mediumblob" : "mediumtext";
    case kTypeLongBlob:
      return binary ? "longblob" : "longtext";
    case kTypeBlob:
      return binary ? "blob" : "text";
    case kTypeJson:
      return "json";
    case kTypeGeometry:
      switch (c.geometry_type) {
        case 1:
          return "point";
        case 2:
          return "linestring";
        case 3:
          return "polygon";
        case 4:
          return "multipoint";
        case 5:
          return "multilinestring";
        case 6:
          return "multipolygon";
        case 7:
          return "geometrycollection";
        default:
          return "geometry";
      }
    default:
      return "unknown_type_" + std::to_string(c.type);
  }
}

bool IsNumeric(int32_t type) {
  return IsIntegerType(type) || type == kTypeFloat || type == kTypeDouble ||
         type == kTypeDecimalOld || type == kTypeNewDecimal;
}

// An expression that stands after DEFAULT without parentheses: a literal, or
// one function call such as current_timestamp() or concat('a','b').
bool StandsAlone(std::string_view e) {
  if (e.empty()) return false;
  const char c0 = e.front();
  if (c0 == '\'') {
    // One quoted string, '' and \' inside.
    size_t i = 1;
    while (i < e.size()) {
      if (e[i] == '\\') {
        i += 2;
      } else if (e[i] == '\'') {
        if (i + 1 < e.size() && e[i + 1] == '\'') {
          i += 2;
        } else {
          return i + 1 == e.size();
        }
      } else {
        ++i;
      }
    }
    return false;
  }
  if (std::isdigit(static_cast<unsigned char>(c0)) || c0 == '-') {
    for (size_t i = 1; i < e.size(); ++i) {
      const char c = e[i];
      if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != 'e' && c != 'E' &&
          c != '-' && c != '+') {
        return false;
      }
    }
    return c0 != '-' || e.size() > 1;
  }
  if (e == "NULL") return true;
  size_t i = 0;
  while (i < e.size() && (std::isalnum(static_cast<unsigned char>(e[i])) || e[i] == '_')) ++i;
  if (i == 0 || i >= e.size() || e[i] != '(' || e.back() != ')') return false;
  // The opening parenthesis must close only at the very end.
  int depth = 0;
  char quote = 0;
  for (size_t j = i; j < e.size(); ++j) {
    const char c = e[j];
    if (quote) {
      if (c == '\\') {
        ++j;
      } else if (c == quote) {
        quote = 0;
      }
      continue;
    }
    if (c == '\'' || c == '"' || c == '`') {
      quote = c;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0 && j + 1 != e.size()) {
      return false;
    }
  }
  return depth == 0;
}

std::string DefaultClause(const ColumnDefault& d) {
  switch (d.kind) {
    case ColumnDefault::Kind::kNone:
      return {};
    case ColumnDefault::Kind::kNull:
      return " DEFAULT NULL";
    case ColumnDefault::Kind::kLiteral:
      return " DEFAULT " + d.sql;
    case ColumnDefault::Kind::kExpression:
      return StandsAlone(d.sql) ? " DEFAULT " + d.sql : " DEFAULT (" + d.sql + ")";
  }
  return {};
}

std::string ColumnClause(const TableDef& table, const ColumnDef& c,
                         const CollationTable& collations) {
  std::string s = "  " + Quoted(c.name) + " " + FullColumnTypeText(table, c, collations);
  if (IsCharacterType(c.type) && c.charset_id != kBinaryCollation &&
      c.charset_id != table.table_charset_id) {
    if (const CollationEntry* e = collations.LookupCollation(c.charset_id)) {
      s += " CHARACTER SET " + e->charset_name + " COLLATE " + e->collation_name;
    }
  }
  if (c.generated != Generated::kNo) {
    s += " GENERATED ALWAYS AS (" + c.generation_expression + ")";
    s += c.generated == Generated::kVirtual ? " VIRTUAL" : " STORED";
  }
  if (c.invisible) s += " INVISIBLE";
  if (c.generated == Generated::kNo) {
    if (!c.nullable) {
      s += " NOT NULL";
    } else if (IsTimestampType(c.type)) {
      s += " NULL";  // else an old server makes it NOT NULL DEFAULT CURRENT_TIMESTAMP
    }
  }
  s += DefaultClause(c.default_value);
  if (!c.on_update.empty()) s += " ON UPDATE " + c.on_update;
  if (c.auto_increment) s += " AUTO_INCREMENT";
  if (!c.comment.empty()) s += " COMMENT " + SqlStringLiteral(c.comment);
  if (!c.check_expression.empty()) s += " CHECK (" + c.check_expression + ")";
  return s;
}

// A part covers only the start of a string column when its length differs
// from the column's: that prefix, in characters.
std::string KeyPartText(const KeyDef& key, const KeyPart& part, const TableDef& table,
                        const CollationTable& collations) {
  const ColumnDef& col = table.columns[part.field_number - 1];
  std::string s = Quoted(col.name);
  const bool whole_only = key.kind == KeyKind::kFulltext || key.kind == KeyKind::kSpatial;
  const bool blobish = IsBlobType(col.type) || col.type == kTypeGeometry;
  if (!whole_only && part.length > 0 &&
      ((blobish && key.algorithm != kKeyAlgorithmLongHash) ||
       (IsStringType(col.type) && part.length != static_cast<uint32_t>(col.length)))) {
    uint32_t prefix = part.length;
    if (col.charset_id != kBinaryCollation) {
      const CollationEntry* e = collations.LookupCollation(col.charset_id);
      if (e != nullptr && e->mbmaxlen > 0) prefix /= static_cast<uint32_t>(e->mbmaxlen);
    }
    s += Paren(prefix == 0 ? 1 : prefix);
  }
  if (part.descending) s += " DESC";
  return s;
}

std::string KeyClause(const KeyDef& key, const TableDef& table, const CollationTable& collations) {
  std::string parts;
  for (const KeyPart& part : key.parts) {
    if (part.field_number == 0 || part.field_number > table.columns.size()) continue;
    if (!parts.empty()) parts += ",";
    parts += KeyPartText(key, part, table, collations);
  }
  if (parts.empty()) return {};
  std::string s = "  ";
  switch (key.kind) {
    case KeyKind::kPrimary:
      s += "PRIMARY KEY";
      break;
    case KeyKind::kUnique:
      s += "UNIQUE KEY " + Quoted(key.name);
      break;
    case KeyKind::kFulltext:
      s += "FULLTEXT KEY " + Quoted(key.name);
      break;
    case KeyKind::kSpatial:
      s += "SPATIAL KEY " + Quoted(key.name);
      break;
    case KeyKind::kIndex:
      s += "KEY " + Quoted(key.name);
      break;
  }
  s += " (" + parts + ")";
  if (key.algorithm == kKeyAlgorithmBtree) s += " USING BTREE";
  if (key.algorithm == kKeyAlgorithmHash || key.algorithm == kKeyAlgorithmLongHash) {
    s += " USING HASH";
  }
  if (key.algorithm == kKeyAlgorithmRtree && key.kind != KeyKind::kSpatial) s += " USING RTREE";
  if (!key.parser.empty()) s += " /*!50100 WITH PARSER " + Quoted(key.parser) + " */";
  if (!key.comment.empty()) s += " COMMENT " + SqlStringLiteral(key.comment);
  if (key.ignored) s += " /*M!100600 IGNORED */";
  return s;
}

std::string TableOptionsText(const TableDef& table, const CollationTable& collations) {
  const TableOptions& o = table.options;
  std::string s =
      " ENGINE=" + (o.engine_name.empty() ? EngineName(table.engine_type) : o.engine_name);
  if (o.auto_increment > 1) s += " AUTO_INCREMENT=" + std::to_string(o.auto_increment);
  if (table.table_charset_id != 0) {
    if (const CollationEntry* e = collations.LookupCollation(table.table_charset_id)) {
      s += " DEFAULT CHARSET=" + e->charset_name + " COLLATE=" + e->collation_name;
    }
  }
  if (o.min_rows) s += " MIN_ROWS=" + std::to_string(o.min_rows);
  if (o.max_rows) s += " MAX_ROWS=" + std::to_string(o.max_rows);
  if (o.avg_row_length) s += " AVG_ROW_LENGTH=" + std::to_string(o.avg_row_length);
  if (o.pack_keys >= 0) s += " PACK_KEYS=" + std::to_string(o.pack_keys);
  if (o.stats_persistent >= 0) s += " STATS_PERSISTENT=" + std::to_string(o.stats_persistent);
  if (o.stats_auto_recalc >= 0) s += " STATS_AUTO_RECALC=" + std::to_string(o.stats_auto_recalc);
  if (o.stats_sample_pages) s += " STATS_SAMPLE_PAGES=" + std::to_string(o.stats_sample_pages);
  if (o.checksum) s += " CHECKSUM=1";
  if (o.page_checksum >= 0) s += " PAGE_CHECKSUM=" + std::to_string(o.page_checksum);
  if (o.delay_key_write) s += " DELAY_KEY_WRITE=1";
  if (!o.row_format.empty()) {
    s += " ROW_FORMAT=" + o.row_format;
  } else if (NeedsDynamicRowFormat(table)) {
    s += " ROW_FORMAT=DYNAMIC";
  }
  if (o.transactional >= 0) s += " TRANSACTIONAL=" + std::to_string(o.transactional);
  if (o.key_block_size) s += " KEY_BLOCK_SIZE=" + std::to_string(o.key_block_size);
  s += o.engine_options;
  if (!o.comment.empty()) s += " COMMENT=" + SqlStringLiteral(o.comment);
  if (!o.connection.empty()) s += " CONNECTION=" + SqlStringLiteral(o.connection);
  if (!o.data_directory.empty()) s += " DATA DIRECTORY=" + SqlStringLiteral(o.data_directory);
  if (!o.index_directory.empty()) s += " INDEX DIRECTORY=" + SqlStringLiteral(o.index_directory);
  if (!o.insert_method.empty()) s += " INSERT_METHOD=" + o.insert_method;
  if (!o.union_tables.empty()) s += " UNION=(" + o.union_tables + ")";
  if (!o.partition_clause.empty()) s += "\n" + o.partition_clause;
  return s;
}

}  // namespace

std::string FullColumnTypeText(const TableDef& table, const ColumnDef& c,
                               const CollationTable& collations) {
  std::string t = BaseType(table, c, collations);
  if (IsNumeric(c.type)) {
    if (c.unsigned_flag) t += " unsigned";
    if (c.zerofill) t += " zerofill";
  }
  return t;
}

bool NeedsDynamicRowFormat(const TableDef& table) {
  const std::string& engine = table.options.engine_name;
  const bool innodb = engine.empty() ? table.engine_type == kEngineInnoDb : engine == "InnoDB";
  if (!innodb || !table.options.row_format.empty()) return false;
  for (const KeyDef& key : table.keys) {
    if (key.algorithm == kKeyAlgorithmLongHash || key.kind == KeyKind::kFulltext ||
        key.kind == KeyKind::kSpatial) {
      continue;
    }
    for (const KeyPart& part : key.parts) {
      if (part.length > 767) return true;
    }
  }
  return false;
}

std::string FullCreateTableStatement(std::string_view table_name, const TableDef& table,
                                     const CollationTable& collations) {
  std::vector<std::string> lines;
  for (const ColumnDef& c : table.columns) {
    if (!c.server_hidden) lines.push_back(ColumnClause(table, c, collations));
  }
  for (const KeyDef& key : table.keys) {
    std::string k = KeyClause(key, table, collations);
    if (!k.empty()) lines.push_back(std::move(k));
  }
  for (const CheckConstraintDef& check : table.checks) {
    std::string k = "  ";
    if (!check.name.empty()) k += "CONSTRAINT " + Quoted(check.name) + " ";
    lines.push_back(k + "CHECK (" + check.expression + ")");
  }
  std::string s = "CREATE TABLE " + Quoted(table_name) + " (\n";
  for (size_t i = 0; i < lines.size(); ++i) {
    s += lines[i];
    s += i + 1 < lines.size() ? ",\n" : "\n";
  }
  s += ")" + TableOptionsText(table, collations) + ";";
  return s;
}

std::string TableDefinitionStatement(std::string_view table_name, const TableDef& table,
                                     const CollationTable& collations, bool reduced) {
  return reduced ? CreateTableStatement(table_name, table, collations)
                 : FullCreateTableStatement(table_name, table, collations);
}

std::vector<std::string> ForeignKeyStatements(std::string_view table_name, const TableDef& table,
                                              const std::vector<std::string>& recovered) {
  std::vector<std::string> out;
  for (const ForeignKeyDef& fk : table.foreign_keys) {
    if (fk.columns.empty() || fk.columns.size() != fk.ref_columns.size()) continue;
    std::string s = "ALTER TABLE " + Quoted(table_name) + " ADD CONSTRAINT " + Quoted(fk.name) +
                    " FOREIGN KEY (";
    for (size_t i = 0; i < fk.columns.size(); ++i) s += (i ? "," : "") + Quoted(fk.columns[i]);
    s += ") REFERENCES ";
    if (!fk.ref_database.empty()) {
      bool ours = false;
      for (const std::string& db : recovered) ours = ours || db == fk.ref_database;
      s += Quoted(ours ? std::string(kSchemaPrefix) + fk.ref_database : fk.ref_database) + ".";
    }
    s += Quoted(OutputTableName(fk.ref_table)) + " (";
    for (size_t i = 0; i < fk.ref_columns.size(); ++i) {
      s += (i ? "," : "") + Quoted(fk.ref_columns[i]);
    }
    s += ")";
    if (!fk.on_delete.empty()) s += " ON DELETE " + fk.on_delete;
    if (!fk.on_update.empty()) s += " ON UPDATE " + fk.on_update;
    out.push_back(s + ";");
  }
  return out;
}

}  // namespace vostrel
