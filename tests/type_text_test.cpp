#include <gtest/gtest.h>

#include "model/type_text.h"

namespace vostrel {
namespace {

class TypeTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    collations_.Set(33, {1, 3, "utf8", "utf8_general_ci"});
    collations_.Set(8, {1, 1, "latin1", "latin1_swedish_ci"});
    collations_.Set(63, {1, 1, "binary", "binary"});
    table_.table_charset_id = 33;
  }
  std::string Text(ColumnDef c) { return ColumnTypeText(table_, c, collations_); }
  static ColumnDef Col(int32_t type, int32_t length = 0, int32_t charset = 0) {
    ColumnDef c;
    c.type = type;
    c.length = length;
    c.charset_id = charset;
    return c;
  }

  CollationTable collations_;
  TableDef table_;
};

TEST_F(TypeTextTest, CharacterLengthsDivideByWidestCharacter) {
  EXPECT_EQ(Text(Col(kTypeVarchar, 765, 33)), "VARCHAR(255)");
  EXPECT_EQ(Text(Col(kTypeVarchar, 765, 999)), "VARCHAR(765)");  // unknown collation
  EXPECT_EQ(Text(Col(kTypeVarchar, 0, 33)), "VARCHAR(0)");
  EXPECT_EQ(Text(Col(kTypeString, 30, 33)), "CHAR(10)");
  EXPECT_EQ(Text(Col(kTypeString, 16, 63)), "BINARY(16)");
  EXPECT_EQ(Text(Col(kTypeVarchar, 16, 63)), "VARBINARY(16)");
  // Old-style VARCHAR of pre-5.0.3 tables.
  EXPECT_EQ(Text(Col(kTypeVarString, 60, 33)), "VARCHAR(20)");
  table_.table_charset_id = 0;  // no table collation: no lookup at all
  EXPECT_EQ(Text(Col(kTypeVarchar, 765, 33)), "VARCHAR(765)");
}

TEST_F(TypeTextTest, NumbersCarrySignAndZerofill) {
  ColumnDef c = Col(kTypeLong, 10);
  EXPECT_EQ(Text(c), "INT");
  c.unsigned_flag = true;
  EXPECT_EQ(Text(c), "INT UNSIGNED");
  c.zerofill = true;
  EXPECT_EQ(Text(c), "INT(10) UNSIGNED ZEROFILL");
  ColumnDef d = Col(kTypeNewDecimal, 12);
  d.precision = 10;
  EXPECT_EQ(Text(d), "DECIMAL(10,0)");
  d.unsigned_flag = true;
  EXPECT_EQ(Text(d), "DECIMAL(10,0) UNSIGNED");
  ColumnDef f = Col(kTypeFloat, 12);
  f.precision = 12;
  EXPECT_EQ(Text(f), "FLOAT");  // decimals 0: no (M,D)
  f.decimals = 3;
  EXPECT_EQ(Text(f), "FLOAT(12,3)");
  EXPECT_EQ(Text(Col(kTypeLongLong)), "BIGINT");
  EXPECT_EQ(Text(Col(kTypeInt24)), "MEDIUMINT");
}

TEST_F(TypeTextTest, TemporalTypesKeepFractionalDigits) {
  ColumnDef c = Col(kTypeDateTime2, 26);
  c.fractional_digits = 6;
  EXPECT_EQ(Text(c), "DATETIME(6)");
  EXPECT_EQ(Text(Col(kTypeDateTime, 19)), "DATETIME");
  EXPECT_EQ(Text(Col(kTypeTimestamp2, 19)), "TIMESTAMP");
  EXPECT_EQ(Text(Col(kTypeNewDate)), "DATE");
  EXPECT_EQ(Text(Col(kTypeYear)), "YEAR");
}

TEST_F(TypeTextTest, EnumSetBlobBitGeometryAndUnknown) {
  ColumnDef e = Col(kTypeEnum, 1, 33);
  EXPECT_EQ(Text(e), "ENUM");
  e.enum_members = {"a", "", "it's"};
  e.enum_values = "'a','','it''s'";
  EXPECT_EQ(Text(e), "ENUM('a','','it''s')");
  EXPECT_EQ(Text(Col(kTypeBlob, 0, 63)), "BLOB");
  EXPECT_EQ(Text(Col(kTypeMediumBlob, 0, 33)), "MEDIUMTEXT");
  EXPECT_EQ(Text(Col(kTypeBit, 10)), "BIT(10)");
  ColumnDef g = Col(kTypeGeometry);
  EXPECT_EQ(Text(g), "GEOMETRY");
  g.geometry_type = 1;
  EXPECT_EQ(Text(g), "POINT");
  g.geometry_type = 7;
  EXPECT_EQ(Text(g), "GEOMETRYCOLLECTION");
  EXPECT_EQ(Text(Col(kTypeNull)), "UNKNOWN DATATYPE");
  for (int t = 20; t <= 245; t += 45) EXPECT_EQ(Text(Col(t)), "UNKNOWN DATATYPE") << t;
}

}  // namespace
}  // namespace vostrel
