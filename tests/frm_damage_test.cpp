// Damaged table definitions must give an error or partial columns, never a crash.
#include <gtest/gtest.h>

#include <random>

#include "model/frm_reader.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> RealFrmFiles() {
  std::vector<fs::path> roots = {testing::SampleDataDir()};
  if (!testing::ExternalFixturesDir().empty()) roots.push_back(testing::ExternalFixturesDir());
  std::vector<std::string> out;
  for (const fs::path& root : roots) {
    for (const auto& e : fs::recursive_directory_iterator(root)) {
      if (e.is_regular_file() && e.path().extension() == ".frm") {
        std::string bytes = testing::ReadFileOrEmpty(e.path());
        if (bytes.size() >= 2 && bytes[0] == '\xFE') out.push_back(std::move(bytes));
      }
    }
  }
  return out;
}

size_t Parse(const std::string& bytes) {
  TableDef t;
  ParseFrm(ByteView(bytes), testing::Collations(), testing::DefaultCodePage(), t);
  // Column count is bounded by what the file can describe.
  EXPECT_LE(t.columns.size(), 65535u);
  return t.columns.size();
}

TEST(FrmDamageTest, TruncatedAndFlippedFilesAreReadSafely) {
  const std::vector<std::string> files = RealFrmFiles();
  ASSERT_GT(files.size(), 20u);
  std::mt19937 rng(20261209);
  size_t cases = 0;
  for (const std::string& original : files) {
    // Cut at every header field and then at a stride through the file.
    const size_t stride = std::max<size_t>(1, original.size() / 97);
    for (size_t cut = 0; cut < original.size(); cut += (cut < 128 ? 1 : stride)) {
      Parse(original.substr(0, cut));
      ++cases;
    }
    for (int round = 0; round < 150; ++round) {
      std::string damaged = original;
      const int flips = 1 + static_cast<int>(rng() % 8);
      for (int f = 0; f < flips; ++f) {
        const size_t pos = rng() % damaged.size();
        damaged[pos] = static_cast<char>(damaged[pos] ^ (1u << (rng() % 8)));
        // Damage concentrated on the pointers and counts matters most.
        if (f == 0 && round % 3 == 0) damaged[rng() % std::min<size_t>(64, damaged.size())] ^= 0xFF;
      }
      Parse(damaged);
      ++cases;
    }
  }
  RecordProperty("cases", static_cast<int>(cases));
  std::printf("damaged table definitions parsed: %zu\n", cases);
}

TEST(FrmDamageTest, TruncatedColumnSectionReportsTheDamage) {
  const fs::path frm = testing::SampleDataDir() / "shop/customers.frm";
  const std::string bytes = testing::ReadFileOrEmpty(frm);
  ASSERT_GT(bytes.size(), 1000u);
  TableDef full;
  ASSERT_TRUE(
      ParseFrm(ByteView(bytes), testing::Collations(), testing::DefaultCodePage(), full).ok);
  // Cut inside the column records: the name list is gone, so the read fails with a reason.
  TableDef t;
  const FrmReadResult r = ParseFrm(ByteView(bytes.substr(0, bytes.size() - 40)),
                                   testing::Collations(), testing::DefaultCodePage(), t);
  EXPECT_FALSE(r.ok && r.warnings.empty());
  EXPECT_FALSE(r.ok ? r.warnings.front().empty() : r.error.empty());
}

}  // namespace
}  // namespace vostrel
