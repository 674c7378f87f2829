#include "model/type_text.h"

namespace vostrel {

bool IsIntegerType(int32_t type) {
  return type == kTypeTiny || type == kTypeShort || type == kTypeLong || type == kTypeLongLong ||
         type == kTypeInt24;
}

bool IsCharacterType(int32_t type) {
  switch (type) {
    case kTypeVarchar:
    case kTypeTinyBlob:
    case kTypeMediumBlob:
    case kTypeLongBlob:
    case kTypeBlob:
    case kTypeVarString:
    case kTypeString:
    case kTypeEnum:
    case kTypeSet:
      return true;
    default:
      return false;
  }
}

bool IsTimestampType(int32_t type) {
  return type == kTypeTimestamp || type == kTypeTimestamp2;
}

int32_t CharacterLength(const TableDef& table, const ColumnDef& column,
                        const CollationTable& collations) {
  if (table.table_charset_id == 0) return column.length;
  const CollationEntry* e = collations.LookupCollation(column.charset_id);
  if (e == nullptr || e->mbmaxlen == 0 || column.length == 0) return column.length;
  return static_cast<int32_t>(static_cast<uint32_t>(column.length) /
                              static_cast<uint32_t>(e->mbmaxlen));
}

namespace {

std::string Paren(int64_t n) {
  return "(" + std::to_string(n) + ")";
}

std::string BaseTypeText(const TableDef& table, const ColumnDef& c,
                         const CollationTable& collations) {
  const bool binary = c.charset_id == kBinaryCollation;
  switch (c.type) {
    case kTypeDecimalOld:
    case kTypeNewDecimal:
      return "DECIMAL(" + std::to_string(c.precision) + "," + std::to_string(c.decimals) + ")";
    case kTypeTiny:
      return "TINYINT";
    case kTypeShort:
      return "SMALLINT";
    case kTypeLong:
      return "INT";
    case kTypeLongLong:
      return "BIGINT";
    case kTypeInt24:
      return "MEDIUMINT";
    case kTypeFloat:
    case kTypeDouble: {
      std::string t = c.type == kTypeFloat ? "FLOAT" : "DOUBLE";
      if (c.decimals != 0) {
        t += "(" + std::to_string(c.precision) + "," + std::to_string(c.decimals) + ")";
      }
      return t;
    }
    case kTypeTimestamp:
    case kTypeTimestamp2:
      return c.fractional_digits ? "TIMESTAMP" + Paren(c.fractional_digits) : "TIMESTAMP";
    case kTypeDate:
    case kTypeNewDate:
      return "DATE";
    case kTypeTime:
    case kTypeTime2:
      return c.fractional_digits ? "TIME" + Paren(c.fractional_digits) : "TIME";
    case kTypeDateTime:
    case kTypeDateTime2:
      return c.fractional_digits ? "DATETIME" + Paren(c.fractional_digits) : "DATETIME";
    case kTypeYear:
      return "YEAR";
    case kTypeVarchar:
      return (binary ? "VARBINARY" : "VARCHAR") + Paren(CharacterLength(table, c, collations));
    case kTypeBit:
      return "BIT" + Paren(c.length);
    case kTypeEnum:
      return c.enum_members.empty() ? "ENUM" : "ENUM(" + c.enum_values + ")";
    case kTypeSet:
      return c.enum_members.empty() ? "SET" : "SET(" + c.enum_values + ")";
    case kTypeTinyBlob:
      return binary ? "TINYBLOB" : "TINYTEXT";
    case kTypeMediumBlob:
      return binary ? "MEDIUMBLOB" : "MEDIUMTEXT";
    case kTypeLongBlob:
      return binary ? "LONGBLOB" : "LONGTEXT";
    case kTypeBlob:
      return binary ? "BLOB" : "TEXT";
    case kTypeVarString:
      // The VARCHAR of tables made before MySQL 5.0.3.
      return (binary ? "VARBINARY" : "VARCHAR") + Paren(CharacterLength(table, c, collations));
    case kTypeString:
      return binary ? "BINARY" + Paren(c.length)
                    : "CHAR" + Paren(CharacterLength(table, c, collations));
    case kTypeGeometry:
      switch (c.geometry_type) {
        case 1:
          return "POINT";
        case 2:
          return "LINESTRING";
        case 3:
          return "POLYGON";
        case 4:
          return "MULTIPOINT";
        case 5:
          return "MULTILINESTRING";
        case 6:
          return "MULTIPOLYGON";
        case 7:
          return "GEOMETRYCOLLECTION";
        default:
          return "GEOMETRY";
      }
    default:
      return "UNKNOWN DATATYPE";
  }
}

bool IsNumericType(int32_t type) {
  return IsIntegerType(type) || type == kTypeFloat || type == kTypeDouble ||
         type == kTypeDecimalOld || type == kTypeNewDecimal;
}

}  // namespace

std::string ColumnTypeText(const TableDef& table, const ColumnDef& column,
                           const CollationTable& collations) {
  std::string text = BaseTypeText(table, column, collations);
  if (IsNumericType(column.type)) {
    // ZEROFILL pads to the display width, so that width must survive.
    if (column.zerofill && IsIntegerType(column.type)) text += Paren(column.length);
    if (column.unsigned_flag) text += " UNSIGNED";
    if (column.zerofill) text += " ZEROFILL";
  }
  return text;
}

}  // namespace vostrel
