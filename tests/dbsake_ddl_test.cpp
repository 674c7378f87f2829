// Column names and types read from third-party .frm files against the CREATE
// TABLE text that was kept beside each file.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "model/frm_reader.h"
#include "model/type_text.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

std::string Normalize(std::string type) {
  for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  static const std::regex width(R"(\b(tinyint|smallint|mediumint|int|bigint|year)\(\d+\))");
  return std::regex_replace(type, width, "$1");
}

// "  `name` type ..." lines of the kept CREATE TABLE.
std::vector<std::pair<std::string, std::string>> ExpectedColumns(const std::string& sql) {
  static const std::regex line(R"(^  `((?:[^`]|``)*)` (.*?),?$)");
  static const std::regex attrs(
      R"( (DEFAULT|NOT NULL|NULL|COMMENT|CHARACTER SET|COLLATE|AUTO_INCREMENT|ON UPDATE)\b.*$)");
  std::vector<std::pair<std::string, std::string>> out;
  std::istringstream in(sql);
  std::string l;
  std::smatch m;
  while (std::getline(in, l)) {
    if (std::regex_match(l, m, line))
      out.emplace_back(m[1], Normalize(std::regex_replace(m[2].str(), attrs, "")));
  }
  return out;
}

TEST(DbsakeDdlTest, ColumnNamesAndTypesAgreeWithTheKeptDdl) {
  const fs::path root = testing::ExternalFixturesDir();
  if (root.empty()) GTEST_SKIP() << "no external fixtures";
  const fs::path dir = root / "dbsake/frmdump";
  int total = 0, agree = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().extension() != ".frm") continue;
    const std::string sql = testing::ReadFileOrEmpty(fs::path(e.path()).replace_extension(".sql"));
    if (sql.find("CREATE TABLE") == std::string::npos) continue;  // views
    ++total;
    TableDef t;
    const FrmReadResult r =
        ReadTableDefinition(e.path(), testing::Collations(), testing::DefaultCodePage(), t);
    ASSERT_TRUE(r.ok) << e.path() << r.error;
    std::vector<std::pair<std::string, std::string>> got;
    for (const ColumnDef& c : t.columns)
      got.emplace_back(c.name, Normalize(ColumnTypeText(t, c, testing::Collations())));
    const auto want = ExpectedColumns(sql);
    EXPECT_EQ(got, want) << e.path().filename();
    agree += got == want;
  }
  std::printf("dbsake tables whose columns agree: %d / %d\n", agree, total);
  EXPECT_GE(total, 39);
}

}  // namespace
}  // namespace vostrel
