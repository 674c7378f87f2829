#include <gtest/gtest.h>

#include <fstream>

#include "model/collation_table.h"
#include "test_support.h"

namespace vostrel {
namespace {

std::string Record(int32_t id, int32_t mbmin, int32_t mbmax, std::string cs, std::string coll) {
  std::string r;
  auto put = [&r](uint32_t v) {
    for (int i = 0; i < 4; ++i) r.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  put(static_cast<uint32_t>(id));
  put(static_cast<uint32_t>(mbmin));
  put(static_cast<uint32_t>(mbmax));
  put(static_cast<uint32_t>(cs.size()));
  r += cs;
  put(static_cast<uint32_t>(coll.size()));
  r += coll;
  return r;
}

TEST(CollationTableTest, ParsesRecordsAndKeepsTheLastOfADuplicate) {
  CodePage cp;
  const std::string bytes = Record(8, 1, 1, "latin1", "latin1_swedish_ci") +
                            Record(33, 1, 3, "utf8", "old") +
                            Record(33, 1, 3, "utf8", "utf8_general_ci");
  const CollationTable t = CollationTable::FromBytes(bytes, cp);
  EXPECT_EQ(t.size(), 2u);
  ASSERT_NE(t.LookupCollation(33), nullptr);
  EXPECT_EQ(t.LookupCollation(33)->collation_name, "utf8_general_ci");
  EXPECT_EQ(t.LookupCollation(33)->mbmaxlen, 3);
  EXPECT_EQ(t.LookupCollation(99), nullptr);
}

TEST(CollationTableTest, EmptyTruncatedAndOversizedInputsStopCleanly) {
  CodePage cp;
  EXPECT_TRUE(CollationTable::FromBytes("", cp).empty());
  const std::string one = Record(8, 1, 1, "latin1", "latin1_swedish_ci");
  for (size_t cut = 0; cut < one.size(); ++cut) {
    EXPECT_TRUE(CollationTable::FromBytes(one.substr(0, cut), cp).empty()) << cut;
  }
  std::string huge = one;
  huge[12] = '\xFF';  // name length far past the end
  EXPECT_TRUE(CollationTable::FromBytes(huge, cp).empty());
}

TEST(CollationTableTest, ShippedFileHasTheServerCollations) {
  const CollationTable& t = testing::Collations();
  ASSERT_GT(t.size(), 200u);
  ASSERT_NE(t.LookupCollation(63), nullptr);
  EXPECT_EQ(t.LookupCollation(63)->collation_name, "binary");
  EXPECT_EQ(t.LookupCollation(8)->charset_name, "latin1");
  EXPECT_EQ(t.LookupCollation(45)->mbmaxlen, 4);  // utf8mb4_general_ci
  EXPECT_EQ(t.LookupCollation(35)->mbminlen, 2);  // ucs2_general_ci
  EXPECT_EQ(t.LookupCollation(60)->mbminlen, 4);  // utf32_general_ci
}

TEST(CollationTableTest, LookupOrderPrefersTheFirstReadableCandidate) {
  const auto dir = testing::TempDir("collation-order");
  CodePage cp;
  std::ofstream(dir / "b", std::ios::binary) << Record(1, 1, 1, "b", "b_ci");
  const CollationTable t = CollationTable::Load({dir / "missing", dir / "b"}, cp);
  EXPECT_EQ(t.source(), dir / "b");
  EXPECT_EQ(t.size(), 1u);
  EXPECT_TRUE(CollationTable::Load({dir / "missing"}, cp).empty());
}

TEST(DatabaseOptionsTest, ReadsCharsetAndCollationAsWritten) {
  const auto dir = testing::TempDir("dbopt");
  std::ofstream(dir / "db.opt")
      << "default-character-set=utf8mb3 \ndefault-collation=utf8mb3_general_ci\n";
  DatabaseOptions o = ReadDatabaseOptions(dir);
  EXPECT_EQ(o.charset, "utf8mb3 ");
  EXPECT_EQ(o.collation, "utf8mb3_general_ci");
  std::ofstream(dir / "db.opt")
      << "default-character-set=latin1\r\ndefault-collation=latin1_bin\r\n";
  o = ReadDatabaseOptions(dir);
  EXPECT_EQ(o.charset, "latin1");
  EXPECT_EQ(o.collation, "latin1_bin");
  // A read-only file is read; a missing one gives empty texts.
  std::filesystem::permissions(dir / "db.opt", std::filesystem::perms::owner_read);
  EXPECT_EQ(ReadDatabaseOptions(dir).collation, "latin1_bin");
  EXPECT_TRUE(ReadDatabaseOptions(dir / "nope").charset.empty());
}

}  // namespace
}  // namespace vostrel
