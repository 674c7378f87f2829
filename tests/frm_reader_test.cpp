#include <gtest/gtest.h>

#include "model/frm_reader.h"
#include "model/type_text.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;
using testing::Collations;
using testing::DefaultCodePage;
using testing::ExternalFixturesDir;

fs::path Dbsake(const std::string& table) {
  const fs::path root = ExternalFixturesDir();
  return root.empty() ? fs::path() : root / "dbsake/frmdump" / (table + ".frm");
}

#define REQUIRE_EXTERNAL()                    \
  do {                                        \
    if (ExternalFixturesDir().empty()) {      \
      GTEST_SKIP() << "no external fixtures"; \
    }                                         \
  } while (0)

TableDef Read(const fs::path& path) {
  TableDef t;
  const FrmReadResult r = ReadTableDefinition(path, Collations(), DefaultCodePage(), t);
  EXPECT_TRUE(r.ok) << path << ": " << r.error;
  return t;
}

std::vector<std::string> TypeTexts(const TableDef& t) {
  std::vector<std::string> out;
  for (const ColumnDef& c : t.columns)
    out.push_back(c.name + " " + ColumnTypeText(t, c, Collations()));
  return out;
}

TEST(FrmReaderTest, MySql55IntegersKeepSignZerofillAndNullability) {
  REQUIRE_EXTERNAL();
  const TableDef t = Read(Dbsake("integer_test"));
  EXPECT_EQ(t.engine_type, kEngineInnoDb);
  EXPECT_FALSE(t.frm_from_56);
  EXPECT_EQ(TypeTexts(t), (std::vector<std::string>{"id BIGINT(8) UNSIGNED ZEROFILL",
                                                    "val0 SMALLINT", "val1 SMALLINT UNSIGNED",
                                                    "val2 MEDIUMINT", "val3 MEDIUMINT UNSIGNED"}));
  for (const ColumnDef& c : t.columns) EXPECT_EQ(c.nullable, 1) << c.name;
}

TEST(FrmReaderTest, BlobVariantsComeFromThePackLength) {
  REQUIRE_EXTERNAL();
  const TableDef t = Read(Dbsake("blob_test"));
  EXPECT_EQ(TypeTexts(t),
            (std::vector<std::string>{"a TINYBLOB", "b BLOB", "c MEDIUMBLOB", "d LONGBLOB",
                                      "e TINYTEXT", "f TEXT", "g MEDIUMTEXT", "h LONGTEXT"}));
  EXPECT_EQ(t.columns[0].nullable, 0);
}

TEST(FrmReaderTest, KeysCommentsAndPrefixParts) {
  REQUIRE_EXTERNAL();
  const TableDef t = Read(Dbsake("char_varchar_test"));
  ASSERT_EQ(t.keys.size(), 2u);
  EXPECT_EQ(t.keys[0].name, "ix_unique_b");
  EXPECT_TRUE(t.keys[0].unique());
  EXPECT_EQ(t.keys[1].name, "ix_foo");
  EXPECT_FALSE(t.keys[1].unique());
  ASSERT_EQ(t.keys[1].parts.size(), 1u);
  EXPECT_EQ(t.keys[1].parts[0].field_number, 1);
  EXPECT_EQ(t.keys[1].parts[0].length, 32);
  EXPECT_EQ(t.columns[1].in_unique_key, 1);
  EXPECT_EQ(t.columns[0].in_unique_key, 0);
}

TEST(FrmReaderTest, SakilaPrimaryKeysAndEnumSets) {
  REQUIRE_EXTERNAL();
  const TableDef film = Read(Dbsake("film"));
  const KeyDef* pk = film.PrimaryKey();
  ASSERT_NE(pk, nullptr);
  EXPECT_EQ(film.columns[pk->parts[0].field_number - 1].name, "film_id");
  bool found_rating = false;
  for (const ColumnDef& c : film.columns) {
    if (c.name == "rating") {
      found_rating = true;
      EXPECT_EQ(c.type, kTypeEnum);
      EXPECT_EQ(c.enum_values, "'G','PG','PG-13','R','NC-17'");
    }
    if (c.name == "special_features") {
      EXPECT_EQ(c.type, kTypeSet);
    }
  }
  EXPECT_TRUE(found_rating);
  const TableDef film_actor = Read(Dbsake("film_actor"));
  const KeyDef* fa = film_actor.PrimaryKey();
  ASSERT_NE(fa, nullptr);
  ASSERT_EQ(fa->parts.size(), 2u);
  EXPECT_EQ(film_actor.columns[fa->parts[0].field_number - 1].name, "actor_id");
  EXPECT_EQ(film_actor.columns[fa->parts[1].field_number - 1].name, "film_id");
}

TEST(FrmReaderTest, DecimalsFloatsAndTemporalPrecision) {
  REQUIRE_EXTERNAL();
  const TableDef f = Read(Dbsake("float_test"));
  EXPECT_EQ(TypeTexts(f),
            (std::vector<std::string>{"a FLOAT", "b DOUBLE", "c FLOAT(4,3) UNSIGNED ZEROFILL",
                                      "d DOUBLE(13,12) UNSIGNED"}));
  const TableDef t = Read(Dbsake("temporal_test"));  // MariaDB 10.0
  EXPECT_EQ(ColumnTypeText(t, t.columns[0], Collations()), "TIME(3)");
  EXPECT_EQ(ColumnTypeText(t, t.columns[8], Collations()), "DATETIME(6)");
  EXPECT_EQ(ColumnTypeText(t, t.columns[14], Collations()), "TIMESTAMP(6)");
  const TableDef pay = Read(Dbsake("payment"));
  for (const ColumnDef& c : pay.columns) {
    if (c.name == "amount") {
      EXPECT_EQ(ColumnTypeText(pay, c, Collations()), "DECIMAL(5,2)");
    }
  }
}

TEST(FrmReaderTest, MariaDbFilesWithExtraSegmentAndUtf8Names) {
  REQUIRE_EXTERNAL();
  // MariaDB 10.1 puts an extra block before the form pointer.
  const std::string raw = testing::ReadFileOrEmpty(Dbsake("uc_test"));
  ASSERT_GE(raw.size(), 64u);
  const TableDef t = Read(Dbsake("uc_test"));
  ASSERT_FALSE(t.columns.empty());
  for (const ColumnDef& c : t.columns) EXPECT_TRUE(IsValidUtf8(c.name)) << c.name;
  const TableDef u = Read(Dbsake("utf8mb4_encoding"));
  EXPECT_EQ(TypeTexts(u), std::vector<std::string>{"data VARCHAR(32)"});
}

TEST(FrmReaderTest, OldFourOneVarcharIsVarchar) {
  REQUIRE_EXTERNAL();
  const TableDef t = Read(Dbsake("em_subscriber"));
  EXPECT_EQ(t.frm_version, 9);
  bool saw = false;
  for (const ColumnDef& c : t.columns) {
    if (c.name == "email") {
      saw = true;
      EXPECT_EQ(ColumnTypeText(t, c, Collations()), "VARCHAR(250)");
    }
  }
  EXPECT_TRUE(saw);
}

TEST(FrmReaderTest, RejectsViewsShortFilesAndBadVersions) {
  TableDef t;
  CollationTable none;
  CodePage cp;
  EXPECT_FALSE(ParseFrm(ByteView(std::string_view("TYPE=VIEW\nquery=select 1\n")), none, cp, t).ok);
  std::string header(64, '\0');
  header[0] = '\xFE';
  header[1] = 1;
  header[2] = 8;
  EXPECT_FALSE(ParseFrm(ByteView(header), none, cp, t).ok);
  header[2] = 10;
  EXPECT_FALSE(ParseFrm(ByteView(header), none, cp, t).ok);  // names count 0
  EXPECT_FALSE(ParseFrm(ByteView(header.substr(0, 63)), none, cp, t).ok);
  EXPECT_FALSE(ReadTableDefinition("/nonexistent/x.frm", none, cp, t).ok);
}

TEST(FrmReaderTest, EveryExternalTableDefinitionReads) {
  REQUIRE_EXTERNAL();
  int read = 0;
  for (const char* dir : {"dbsake/frmdump", "mysql-utilities", "innodb_ruby"}) {
    const fs::path root = ExternalFixturesDir() / dir;
    if (!fs::is_directory(root)) continue;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
      if (e.path().extension() != ".frm") continue;
      const std::string head = testing::ReadFileOrEmpty(e.path()).substr(0, 2);
      if (head != "\xFE\x01") continue;
      TableDef t;
      const FrmReadResult r = ReadTableDefinition(e.path(), Collations(), DefaultCodePage(), t);
      if (e.path().string().find("damaged") != std::string::npos ||
          e.path().string().find("corrupt") != std::string::npos) {
        continue;
      }
      EXPECT_TRUE(r.ok) << e.path() << ": " << r.error;
      EXPECT_FALSE(t.columns.empty()) << e.path();
      ++read;
    }
  }
  EXPECT_GT(read, 40);
}

}  // namespace
}  // namespace vostrel

namespace vostrel {
namespace {

TEST(FrmReaderTest, PreFourOneFilesTakeTheirTypesFromThePackFlags) {
  REQUIRE_EXTERNAL();
  const fs::path dir = ExternalFixturesDir() / "mysql-5.5.30-std_data";
  const TableDef v = Read(dir / "vchar.frm");  // version 7, written by MySQL 4.x
  EXPECT_EQ(v.frm_version, 7);
  EXPECT_EQ(TypeTexts(v), (std::vector<std::string>{"v VARCHAR(30)", "c CHAR(3)",
                                                    "e ENUM('abc','def','ghi')", "t TEXT"}));
  const TableDef old = Read(dir / "old_table-323.frm");  // version 6, MySQL 3.23
  EXPECT_EQ(old.frm_version, 6);
  ASSERT_EQ(old.columns.size(), 3u);
  EXPECT_EQ(ColumnTypeText(old, old.columns[0], Collations()), "INT UNSIGNED");
  EXPECT_EQ(old.columns[1].type, kTypeString);
  EXPECT_EQ(old.columns[0].in_unique_key, 1);
}

}  // namespace
}  // namespace vostrel
