// The checks a deleted record's fields must pass before it is written: each
// refuses what no server stores in a column of that definition.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "model/field_decoder.h"
#include "model/sql_definitions.h"
#include "test_support.h"

namespace vostrel {
namespace {

TableDef Table() {
  const SqlDefinitionLoad load = ParseSqlDefinitions(
      "CREATE TABLE t (d DATE NOT NULL, e ENUM('a','b','c') NOT NULL,"
      " v VARCHAR(4) CHARACTER SET utf8mb4 NOT NULL, f DOUBLE NULL,"
      " s SET('x','y') NOT NULL, l VARCHAR(4) CHARACTER SET latin1 NOT NULL,"
      " m DECIMAL(5,2) NOT NULL) ENGINE=MyISAM",
      "test.sql", &testing::Collations());
  TableDef t;
  EXPECT_TRUE(load.ok);
  if (!load.ok || load.set.tables.empty()) return t;
  const TableDefBuild b =
      BuildDefinitionTable(load.set, load.set.tables[0], testing::Collations(), 0, t);
  EXPECT_TRUE(b.ok) << b.error;
  return t;
}

StoredField Inline(const std::string& bytes) {
  return StoredField{reinterpret_cast<const uint8_t*>(bytes.data()),
                     static_cast<uint32_t>(bytes.size()), FieldState::kInline};
}

// MyISAM's DATE: day | month << 5 | year << 9, three bytes little-endian.
std::string Date(int y, int m, int d) {
  const uint32_t v = static_cast<uint32_t>(d | (m << 5) | (y << 9));
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                     static_cast<char>((v >> 16) & 0xFF)};
}

TEST(ValueCheckTest, EachTypeRefusesWhatNoServerStores) {
  const TableDef table = Table();
  ASSERT_EQ(table.columns.size(), 7u);
  FieldDecoder dec(table, std::vector<ColumnStorage>(7), testing::Collations(),
                   testing::DefaultCodePage());
  // Dates: real days only, leap years counted; zero dates refused.
  EXPECT_TRUE(dec.ValidValue(0, Inline(Date(2024, 2, 29))));
  EXPECT_FALSE(dec.ValidValue(0, Inline(Date(2023, 2, 29))));
  EXPECT_FALSE(dec.ValidValue(0, Inline(Date(2023, 13, 1))));
  EXPECT_FALSE(dec.ValidValue(0, Inline(Date(0, 0, 0))));
  EXPECT_FALSE(dec.ValidValue(0, Inline(Date(2023, 4, 31))));
  // NULL only where the column takes it; no stored field at all never.
  EXPECT_FALSE(dec.ValidValue(0, StoredField{nullptr, 0, FieldState::kNull}));
  EXPECT_TRUE(dec.ValidValue(3, StoredField{nullptr, 0, FieldState::kNull}));
  EXPECT_FALSE(dec.ValidValue(3, StoredField{nullptr, 0, FieldState::kAbsent}));
  // ENUM: 1..members; 0 and past the last refused.
  EXPECT_TRUE(dec.ValidValue(1, Inline(std::string(1, '\x03'))));
  EXPECT_FALSE(dec.ValidValue(1, Inline(std::string(1, '\x04'))));
  EXPECT_FALSE(dec.ValidValue(1, Inline(std::string(1, '\x00'))));
  // SET: no bit past the members.
  EXPECT_TRUE(dec.ValidValue(4, Inline(std::string(1, '\x03'))));
  EXPECT_FALSE(dec.ValidValue(4, Inline(std::string(1, '\x04'))));
  // UTF-8 text must be valid UTF-8 and within the column's bytes; latin1 takes any byte.
  EXPECT_TRUE(dec.ValidValue(2, Inline("\xC3\xA9t\xC3\xA9")));
  EXPECT_FALSE(dec.ValidValue(2, Inline("\xC3t")));
  EXPECT_FALSE(dec.ValidValue(2, Inline(std::string(17, 'a'))));
  EXPECT_TRUE(dec.ValidValue(5, Inline("\xE9\xFF")));
  EXPECT_FALSE(dec.ValidValue(5, Inline("abcde")));
  // DECIMAL(5,2): binary groups, sign bit flipped; a group past its digits refused.
  EXPECT_TRUE(dec.ValidValue(6, Inline("\x80\x7B\x2D")));   // 123.45
  EXPECT_FALSE(dec.ValidValue(6, Inline("\x83\xE8\x2D")));  // 1000.45
  EXPECT_FALSE(dec.ValidValue(6, Inline("\x80\x7B\x64")));  // 123.100
  // DOUBLE: finite only.
  std::string d(8, '\0');
  const double one = 1.5, nan = std::nan("");
  std::memcpy(d.data(), &one, 8);
  EXPECT_TRUE(dec.ValidValue(3, Inline(d)));
  std::memcpy(d.data(), &nan, 8);
  EXPECT_FALSE(dec.ValidValue(3, Inline(d)));
}

}  // namespace
}  // namespace vostrel
