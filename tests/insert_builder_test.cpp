#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "model/row.h"
#include "model/value_text.h"
#include "sql/insert_builder.h"

namespace vostrel {
namespace {

ColumnDef Col(int32_t type, int32_t charset = 8, std::string name = "c") {
  ColumnDef c;
  c.name = std::move(name);
  c.type = type;
  c.charset_id = charset;
  return c;
}

FieldValue Text(std::string text) {
  FieldValue v;
  v.text = std::move(text);
  return v;
}

FieldValue Null() {
  FieldValue v;
  v.SetNull();
  return v;
}

std::string Literal(const ColumnDef& c, const FieldValue& v) {
  std::string out;
  AppendValueLiteral(c, v, out);
  return out;
}

// Reads one quoted literal the way the server's lexer does (default sql_mode);
// returns false when the literal ends before the last character.
bool ReadSqlString(const std::string& lit, std::string& value) {
  if (lit.size() < 2 || lit.front() != '\'') return false;
  value.clear();
  size_t i = 1;
  while (i < lit.size()) {
    const char c = lit[i];
    if (c == '\'') {
      if (i + 1 < lit.size() && lit[i + 1] == '\'') {
        value.push_back('\'');
        i += 2;
        continue;
      }
      return i == lit.size() - 1;
    }
    if (c == '\\' && i + 1 < lit.size()) {
      const char e = lit[i + 1];
      switch (e) {
        case '0':
          value.push_back('\0');
          break;
        case 'Z':
          value.push_back('\x1a');
          break;
        case 'n':
          value.push_back('\n');
          break;
        case 'r':
          value.push_back('\r');
          break;
        case 't':
          value.push_back('\t');
          break;
        case 'b':
          value.push_back('\b');
          break;
        default:
          value.push_back(e);  // \\ \' \" and unknown escapes
      }
      i += 2;
      continue;
    }
    value.push_back(c);
    ++i;
  }
  return false;
}

TEST(InsertLiteralTest, NullIsBareForEveryColumnType) {
  const int32_t types[] = {
      kTypeTiny,      kTypeShort,     kTypeLong,       kTypeLongLong,   kTypeInt24,
      kTypeFloat,     kTypeDouble,    kTypeNewDecimal, kTypeDecimalOld, kTypeYear,
      kTypeDate,      kTypeNewDate,   kTypeTime,       kTypeTime2,      kTypeDateTime,
      kTypeDateTime2, kTypeTimestamp, kTypeTimestamp2, kTypeVarchar,    kTypeVarString,
      kTypeString,    kTypeTinyBlob,  kTypeBlob,       kTypeMediumBlob, kTypeLongBlob,
      kTypeEnum,      kTypeSet,       kTypeBit,        kTypeGeometry};
  for (int32_t type : types) {
    for (int32_t charset : {8, 63}) {
      ColumnDef c = Col(type, charset);
      c.in_primary_key = 1;
      EXPECT_EQ(Literal(c, Null()), "NULL") << "type " << type << " charset " << charset;
      // A value that was a blob file before being set to NULL is still NULL.
      FieldValue v = Text("/out/Scriptdata/blobdata/3");
      v.is_blob_file = true;
      v.SetNull();
      EXPECT_EQ(Literal(c, v), "NULL") << "type " << type;
    }
  }
  // Stored text that spells NULL is a string, not the missing value.
  EXPECT_EQ(Literal(Col(kTypeVarchar), Text("NULL")), "'NULL'");
  EXPECT_EQ(Literal(Col(kTypeBlob), Text("NULL")), "'NULL'");
  EXPECT_EQ(Literal(Col(kTypeEnum), Text("NULL")), "'NULL'");
}

TEST(InsertLiteralTest, StringsEscapeEverythingThatCouldEndThem) {
  const ColumnDef v = Col(kTypeVarchar, 33);
  EXPECT_EQ(Literal(v, Text("O'Brien")), "'O''Brien'");
  EXPECT_EQ(Literal(v, Text("C:\\temp")), "'C:\\\\temp'");
  EXPECT_EQ(Literal(v, Text(std::string("a\0b", 3))), "'a\\0b'");
  EXPECT_EQ(Literal(v, Text("\x1a")), "'\\Z'");
  EXPECT_EQ(Literal(v, Text("")), "''");
  EXPECT_EQ(Literal(v, Text("\\'")), "'\\\\'''");   // a backslash may not swallow the quote
  EXPECT_EQ(Literal(v, Text("Zoë ☃")), "'Zoë ☃'");  // UTF-8 passes untouched
  EXPECT_EQ(Literal(Col(kTypeString), Text("it's")), "'it''s'");
  EXPECT_EQ(Literal(Col(kTypeBlob, 33), Text("x\\y")), "'x\\\\y'");  // TEXT

  // Any byte string comes back unchanged through the server's reading rules.
  std::mt19937 rng(39);
  const char hard[] = {'\'', '\\', '\0', '\x1a', '"', '\n', '\r', 'n', '0', 'Z', '%', '_'};
  for (int i = 0; i < 500; ++i) {
    std::string text;
    const int len = static_cast<int>(rng() % 12);
    for (int k = 0; k < len; ++k)
      text.push_back(rng() % 2 ? hard[rng() % sizeof hard] : static_cast<char>(rng() % 256));
    const std::string lit = Literal(v, Text(text));
    std::string back;
    ASSERT_TRUE(ReadSqlString(lit, back)) << lit;
    ASSERT_EQ(back, text) << lit;
  }
}

TEST(InsertLiteralTest, EachTypeGetsItsLiteralForm) {
  // Byte strings travel as hex, unquoted; an empty one needs ''.
  for (int32_t type : {kTypeVarchar, kTypeString, kTypeVarString, kTypeTinyBlob, kTypeBlob,
                       kTypeMediumBlob, kTypeLongBlob}) {
    std::string hex;
    AppendHex(std::string_view("\x00\xff'", 3), hex);
    EXPECT_EQ(Literal(Col(type, 63), Text(hex)), "0x00FF27") << type;
    EXPECT_EQ(Literal(Col(type, 63), Text("")), "''") << type;
  }
  // Geometry values are hex too, whatever collation the column reports.
  EXPECT_EQ(Literal(Col(kTypeGeometry, 8), Text("0x000000000101000000000000000000F03F")),
            "0x000000000101000000000000000000F03F");
  EXPECT_EQ(Literal(Col(kTypeGeometry, 63), Text("")), "''");

  std::string bits;
  AppendBits(5, 3, bits);
  EXPECT_EQ(Literal(Col(kTypeBit, 63), Text(bits)), "b'101'");
  EXPECT_EQ(Literal(Col(kTypeBit, 63), Text("00000000")), "b'00000000'");

  // Numbers are bare.
  EXPECT_EQ(Literal(Col(kTypeTiny), Text("-1")), "-1");
  EXPECT_EQ(Literal(Col(kTypeLongLong), Text("18446744073709551615")), "18446744073709551615");
  EXPECT_EQ(Literal(Col(kTypeNewDecimal), Text("-12.50")), "-12.50");
  EXPECT_EQ(Literal(Col(kTypeYear), Text("2024")), "2024");
  EXPECT_EQ(Literal(Col(kTypeDouble), Text("1e-10")), "1e-10");
  EXPECT_EQ(Literal(Col(kTypeDouble), Text("-1.7976931348623157e+308")),
            "-1.7976931348623157e+308");
  EXPECT_EQ(Literal(Col(kTypeFloat), Text("3.14159")), "3.14159");
  EXPECT_EQ(Literal(Col(kTypeLong), Text("")), "''");

  // No server accepts inf or nan: they go in as NULL.
  for (int32_t type : {kTypeFloat, kTypeDouble}) {
    for (const char* bad : {"inf", "-inf", "nan", "-nan"})
      EXPECT_EQ(Literal(Col(type), Text(bad)), "NULL") << bad;
  }
  // The same words in a string column are ordinary text.
  EXPECT_EQ(Literal(Col(kTypeVarchar), Text("nan")), "'nan'");

  // Temporal values, ENUM and SET are quoted.
  EXPECT_EQ(Literal(Col(kTypeDate), Text("2024-02-09")), "'2024-02-09'");
  EXPECT_EQ(Literal(Col(kTypeNewDate), Text("0000-00-00")), "'0000-00-00'");
  EXPECT_EQ(Literal(Col(kTypeTime2), Text("-838:59:59")), "'-838:59:59'");
  EXPECT_EQ(Literal(Col(kTypeTime), Text("08:05:03")), "'08:05:03'");
  EXPECT_EQ(Literal(Col(kTypeDateTime2), Text("9999-12-31 23:59:59.999999")),
            "'9999-12-31 23:59:59.999999'");
  EXPECT_EQ(Literal(Col(kTypeDateTime), Text("2023-12-31 23:59:59")), "'2023-12-31 23:59:59'");
  EXPECT_EQ(Literal(Col(kTypeTimestamp2), Text("0000-00-00 00:00:00")), "'0000-00-00 00:00:00'");
  EXPECT_EQ(Literal(Col(kTypeTimestamp), Text("1970-01-01 00:00:01")), "'1970-01-01 00:00:01'");
  EXPECT_EQ(Literal(Col(kTypeEnum), Text("it's")), "'it''s'");
  EXPECT_EQ(Literal(Col(kTypeEnum), Text("")), "''");
  EXPECT_EQ(Literal(Col(kTypeSet), Text("a,c")), "'a,c'");
}

TEST(InsertLiteralTest, LoadFileOnlyForBlobFiles) {
  FieldValue file = Text("/out/Scriptdata/blobdata/17");
  file.is_blob_file = true;
  EXPECT_EQ(Literal(Col(kTypeBlob, 63), file), "LOAD_FILE('/out/Scriptdata/blobdata/17')");
  EXPECT_EQ(Literal(Col(kTypeLongBlob, 33), file), "LOAD_FILE('/out/Scriptdata/blobdata/17')");
  // The path itself is a string literal, so odd folder names stay inside it.
  FieldValue odd = Text("C:\\out\\O'Neil\\blobdata\\1");
  odd.is_blob_file = true;
  EXPECT_EQ(Literal(Col(kTypeBlob, 63), odd), "LOAD_FILE('C:\\\\out\\\\O''Neil\\\\blobdata\\\\1')");
  // TEXT that merely holds such a path is a plain string.
  EXPECT_EQ(Literal(Col(kTypeBlob, 33), Text("/out/Scriptdata/blobdata/17")),
            "'/out/Scriptdata/blobdata/17'");
  EXPECT_EQ(Literal(Col(kTypeVarchar, 33), Text("LOAD_FILE('/etc/passwd')")),
            "'LOAD_FILE(''/etc/passwd'')'");
}

TEST(InsertStatementTest, HeaderAndRowsInBothForms) {
  TableDef table;
  table.columns = {Col(kTypeLong, 8, "a"), Col(kTypeVarchar, 8, "b")};
  EXPECT_EQ(InsertHeader("t", table), "INSERT INTO `t`(`a`,`b`) VALUES(");

  TableDef odd;
  odd.columns = {Col(kTypeLong, 8, "we`ird"), Col(kTypeLong, 8, "x y")};
  EXPECT_EQ(InsertHeader("my`tab", odd), "INSERT INTO `my``tab`(`we``ird`,`x y`) VALUES(");

  const std::string header = InsertHeader("t", table);
  std::string out = "left over from elsewhere";
  BuildInsertRow(header, table, {Text("1"), Text("O'Brien")}, true, out);
  EXPECT_EQ(out, "INSERT INTO `t`(`a`,`b`) VALUES(1,'O''Brien');\r\n");
  // The same buffer for the next row: nothing of the first survives.
  BuildInsertRow(header, table, {Null(), Null()}, false, out);
  EXPECT_EQ(out, "INSERT INTO `t`(`a`,`b`) VALUES(NULL,NULL);");
  BuildInsertRow(header, table, {Text("-2147483648"), Text("")}, false, out);
  EXPECT_EQ(out, "INSERT INTO `t`(`a`,`b`) VALUES(-2147483648,'');");

  TableDef one;
  one.columns = {Col(kTypeBlob, 63, "data")};
  FieldValue file = Text("/out/Scriptdata/blobdata/17");
  file.is_blob_file = true;
  BuildInsertRow(InsertHeader("blobs", one), one, {file}, true, out);
  EXPECT_EQ(out,
            "INSERT INTO `blobs`(`data`) VALUES(LOAD_FILE('/out/Scriptdata/blobdata/17'));\r\n");
}

TEST(InsertStatementTest, MixedRowFromStoredBytes) {
  // A row decoded with the value-text helpers, as the engines do it.
  TableDef table;
  table.columns = {Col(kTypeTiny, 8, "id"),      Col(kTypeNewDecimal, 8, "price"),
                   Col(kTypeTime2, 8, "t"),      Col(kTypeVarchar, 63, "raw"),
                   Col(kTypeBit, 63, "flags"),   Col(kTypeSet, 8, "tags"),
                   Col(kTypeDouble, 8, "ratio"), Col(kTypeDate, 8, "born")};
  table.columns[0].in_primary_key = 1;
  Row row(table.columns.size());
  const uint8_t tiny = 0xff;
  AppendSigned(SignExtend(ReadUnsignedLe(&tiny, 1), 1), row[0].text);
  const uint8_t dec[] = {0x7f, 0xf3, 0xcd};  // DECIMAL(5,2) -12.50
  ASSERT_TRUE(AppendPackedDecimal(ByteView(dec, 3), 5, 2, row[1].text));
  const uint8_t time[] = {0x7f, 0xff, 0xff, 0xff, 0xf6};  // TIME(3) -00:00:00.001
  AppendTime2(ByteView(time, 5), 3, row[2].text);
  AppendHex(std::string_view("\x00\x5c\x27", 3), row[3].text);
  AppendBits(5, 8, row[4].text);
  AppendSet(0b101, {"a", "b", "c"}, row[5].text);
  AppendDouble(1e-10, row[6].text);
  row[7].SetNull();
  std::string out;
  BuildInsertRow(InsertHeader("t", table), table, row, false, out);
  EXPECT_EQ(out,
            "INSERT INTO `t`(`id`,`price`,`t`,`raw`,`flags`,`tags`,`ratio`,`born`) "
            "VALUES(-1,-12.50,'-00:00:00.001',0x005C27,b'00000101','a,c',1e-10,NULL);");
}

}  // namespace
}  // namespace vostrel
