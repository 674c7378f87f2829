#include <gtest/gtest.h>

#include "sql/create_statements.h"
#include "sql/sql_literals.h"

namespace vostrel {
namespace {

class CreateStatementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    collations_.Set(8, {1, 1, "latin1", "latin1_swedish_ci"});
    collations_.Set(33, {1, 3, "utf8", "utf8_general_ci"});
    collations_.Set(63, {1, 1, "binary", "binary"});
  }
  ColumnDef& Add(std::string name, int32_t type, int32_t length, bool nullable = true,
                 int32_t charset = 8) {
    ColumnDef c;
    c.name = std::move(name);
    c.index = static_cast<int32_t>(table_.columns.size());
    c.type = type;
    c.length = length;
    c.nullable = nullable;
    c.charset_id = charset;
    table_.columns.push_back(c);
    return table_.columns.back();
  }
  void AddKey(std::string name, bool unique, std::vector<uint16_t> fields,
              std::vector<uint16_t> lengths = {}) {
    KeyDef k;
    k.name = std::move(name);
    k.flags = unique ? 1 : 0;
    for (size_t i = 0; i < fields.size(); ++i) {
      KeyPart p;
      p.field_number = fields[i];
      p.length = i < lengths.size() ? lengths[i]
                                    : static_cast<uint16_t>(table_.columns[fields[i] - 1].length);
      k.parts.push_back(p);
    }
    table_.keys.push_back(k);
  }
  std::string Create(std::string_view name = "t1") {
    return CreateTableStatement(name, table_, collations_);
  }

  CollationTable collations_;
  TableDef table_;
};

TEST_F(CreateStatementTest, MyIsamTableWithPrimaryKey) {
  table_.engine_type = kEngineMyIsam;
  table_.table_charset_id = 8;
  Add("id", kTypeLong, 11, false);
  Add("name", kTypeVarchar, 20);
  AddKey("PRIMARY", true, {1});
  EXPECT_EQ(Create(),
            "Create TABLE  `t1` (`id` INT NOT NULL, `name` VARCHAR(20), PRIMARY KEY "
            "(`id`))ENGINE=MYISAM DEFAULT CHARSET latin1 COLLATE latin1_swedish_ci;");
}

TEST_F(CreateStatementTest, NoKeyNoCollationUnknownEngine) {
  table_.engine_type = 42;
  Add("a", kTypeLong, 11);
  Add("b", kTypeVarchar, 30, true, 33);
  EXPECT_EQ(Create(), "Create TABLE  `t1` (`a` INT, `b` VARCHAR(30));");
}

TEST_F(CreateStatementTest, ColumnCharsetOnlyWhereItDiffers) {
  table_.engine_type = kEngineInnoDb;
  table_.table_charset_id = 8;
  Add("same", kTypeVarchar, 10, true, 8);
  Add("other", kTypeVarchar, 30, true, 33);
  Add("bytes", kTypeBlob, 0, true, 63);
  ColumnDef& e = Add("kind", kTypeEnum, 1, true, 33);
  e.enum_members = {"x"};
  e.enum_values = "'x'";
  EXPECT_EQ(Create(),
            "Create TABLE  `t1` (`same` VARCHAR(10), `other` VARCHAR(10) CHARSET utf8 COLLATE "
            "utf8_general_ci, `bytes` BLOB, `kind` ENUM('x') CHARSET utf8 COLLATE "
            "utf8_general_ci)ENGINE=InnoDB DEFAULT CHARSET latin1 COLLATE latin1_swedish_ci;");
}

TEST_F(CreateStatementTest, TimestampsGetDefaultAndNullableOnesStayNullable) {
  Add("t1", kTypeTimestamp, 19, false);
  ColumnDef& t2 = Add("t2", kTypeTimestamp2, 26, true);
  t2.fractional_digits = 6;
  EXPECT_EQ(Create(),
            "Create TABLE  `t1` (`t1` TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP, `t2` "
            "TIMESTAMP(6) NULL DEFAULT CURRENT_TIMESTAMP(6));");
}

TEST_F(CreateStatementTest, KeysFollowKeyPartOrderWithPrefixes) {
  table_.table_charset_id = 33;
  Add("a", kTypeLong, 11, false);
  Add("b", kTypeLong, 11, false);
  Add("c", kTypeLong, 11, false);
  Add("body", kTypeBlob, 0, true, 33);
  Add("code", kTypeVarchar, 300, true, 33);
  AddKey("PRIMARY", true, {3, 1});
  AddKey("u_b", true, {2, 1});
  AddKey("u_body", true, {4}, {30});
  AddKey("u_code", true, {5}, {30});
  AddKey("plain", false, {5});
  const std::string s = Create();
  EXPECT_NE(s.find("PRIMARY KEY (`c`,`a`),UNIQUE KEY (`b`,`a`),UNIQUE KEY (`body`(10)),UNIQUE "
                   "KEY (`code`(10)))"),
            std::string::npos)
      << s;
}

TEST_F(CreateStatementTest, NamesCommentsAndMembersCannotBreakOut) {
  Add("we`ird", kTypeLong, 11).comment = "it's a \\ test";
  ColumnDef& e = Add("e", kTypeEnum, 1);
  e.enum_members = {"a'b", "", "c\\"};
  e.enum_values = "'a''b','','c\\\\'";
  EXPECT_EQ(Create("t`x"),
            "Create TABLE  `t``x` (`we``ird` INT COMMENT 'it''s a \\\\ test', `e` "
            "ENUM('a''b','','c\\\\'));");
}

TEST(SchemaStatementTest, ScriptAndServerForms) {
  EXPECT_EQ(SchemaStatement("shop", "utf8", "utf8_general_ci", true),
            "CREATE SCHEMA `rep_shop` CHARACTER SET utf8 COLLATE utf8_general_ci;\r\n");
  EXPECT_EQ(SchemaStatement("shop", "", "", false), "CREATE SCHEMA `rep_shop`;");
  EXPECT_EQ(UseStatement("my-db", true), "USE `rep_my-db`;\r\n");
  EXPECT_EQ(UseStatement("a`b", false), "Use `rep_a``b`;");
  // A value that is not a plain name is dropped rather than pasted into the script.
  EXPECT_EQ(SchemaStatement("x", "utf8; DROP DATABASE y", "utf8_bin", true),
            "CREATE SCHEMA `rep_x` COLLATE utf8_bin;\r\n");
  EXPECT_EQ(SchemaStatement("x", "latin1 ", "", true),
            "CREATE SCHEMA `rep_x` CHARACTER SET latin1 ;\r\n");
}

TEST(SchemaStatementTest, LongTableNamesAreCutByCharacters) {
  EXPECT_EQ(OutputTableName(std::string(64, 'a')), std::string(64, 'a'));
  EXPECT_EQ(OutputTableName(std::string(70, 'a')), std::string(63, 'a'));
  std::string wide;
  for (int i = 0; i < 70; ++i) wide += "é";
  std::string want;
  for (int i = 0; i < 63; ++i) want += "é";
  EXPECT_EQ(OutputTableName(wide), want);
}

TEST(SqlLiteralTest, EscapesEverythingThatEndsALiteral) {
  EXPECT_EQ(SqlStringLiteral("O'Brien"), "'O''Brien'");
  EXPECT_EQ(SqlStringLiteral("a\\b"), "'a\\\\b'");
  EXPECT_EQ(SqlStringLiteral(std::string("a\0b\x1a", 4)), "'a\\0b\\Z'");
  EXPECT_EQ(QuoteIdentifier("a`b"), "`a``b`");
}

}  // namespace
}  // namespace vostrel
