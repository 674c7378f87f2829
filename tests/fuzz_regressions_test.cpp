// Inputs the fuzzers once crashed on, replayed through the harnesses' own code
// (fuzz/fuzz_targets.cpp), and the fixed faults pinned on real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_targets.h"
#include "myisam/myd_reader.h"
#include "myisam/myi_header.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

struct Harness {
  const char* folder;  // under tests/fuzz-regressions
  int (*run)(const uint8_t*, size_t);
};

constexpr Harness kHarnesses[] = {
    {"frm", fuzz::RunFrm},
    {"myisam", fuzz::RunMyisam},
    {"innodb", fuzz::RunInnodb},
    {"dictionary", fuzz::RunDictionary},
    {"views-triggers", fuzz::RunViewsTriggers},
    {"definitions", fuzz::RunDefinitions},
};

TEST(FuzzRegressionTest, EveryKeptInputRunsThroughItsHarness) {
  const fs::path root = testing::SourceDir() / "tests/fuzz-regressions";
  size_t replayed = 0;
  for (const Harness& h : kHarnesses) {
    if (!fs::is_directory(root / h.folder)) continue;
    std::vector<fs::path> inputs;
    for (const auto& e : fs::directory_iterator(root / h.folder)) inputs.push_back(e.path());
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path& input : inputs) {
      SCOPED_TRACE(input.string());
      const std::string bytes = testing::ReadFileOrEmpty(input);
      ASSERT_FALSE(bytes.empty());
      // Aborts (or trips a sanitizer) when the fault is back.
      EXPECT_EQ(h.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
      ++replayed;
    }
  }
  EXPECT_GE(replayed, 1u);
  std::printf("fuzz regression inputs replayed: %zu\n", replayed);
}

// The offset of the stored-column table inside a real index file, found by its contents.
size_t ColumnTableOffset(const std::string& myi, const MyiHeader& h) {
  std::string want;
  for (const MyiColumn& c : h.myi_columns) {
    const uint16_t kind = static_cast<uint16_t>(c.kind);
    want += {static_cast<char>(kind >> 8),     static_cast<char>(kind),
             static_cast<char>(c.length >> 8), static_cast<char>(c.length),
             static_cast<char>(c.null_bit),    static_cast<char>(c.null_pos >> 8),
             static_cast<char>(c.null_pos)};
  }
  return myi.find(want);
}

TEST(FuzzRegressionTest, MyiColumnTableWiderThanAnyRowIsRefused) {
  const fs::path myi_path = testing::SampleDataDir() / "legacy/notes.MYI";
  std::string myi = testing::ReadFileOrEmpty(myi_path);
  MyiHeader h;
  ASSERT_TRUE(ParseMyiHeader(ByteView(myi), h).has_columns);
  ASSERT_GE(h.myi_columns.size(), 2u);
  const size_t at = ColumnTableOffset(myi, h);
  ASSERT_NE(at, std::string::npos);
  // Every column claims 65535 bytes: each record would need megabytes of image.
  for (size_t c = 0; c < h.myi_columns.size(); ++c) {
    myi[at + 7 * c + 2] = static_cast<char>(0xFF);
    myi[at + 7 * c + 3] = static_cast<char>(0xFF);
  }
  MyiHeader damaged;
  const MyiReadResult r = ParseMyiHeader(ByteView(myi), damaged);
  EXPECT_FALSE(r.has_columns);
  EXPECT_TRUE(damaged.myi_columns.empty());
  EXPECT_NE(r.error.find("bytes per row"), std::string::npos) << r.error;
  // One column of the largest real size still reads.
  myi = testing::ReadFileOrEmpty(myi_path);
  myi[at + 2] = static_cast<char>(0xFF);
  myi[at + 3] = static_cast<char>(0xF0);
  EXPECT_TRUE(ParseMyiHeader(ByteView(myi), damaged).has_columns);
}

TEST(FuzzRegressionTest, DynamicRowWithoutImageIsNotARecord) {
  MyiHeader h;
  h.row_format = kRowDynamic;
  h.myi_columns.resize(3);  // all of length 0
  TableDef t;
  RecordUnpacker unpacker(t, h);
  const uint8_t bytes[8] = {0, 1, 2, 3, 4, 5, 6, 7};
  MyisamRecord rec;
  EXPECT_FALSE(unpacker.Unpack(StoredRecord{bytes, sizeof bytes, 0}, rec));
  EXPECT_TRUE(unpacker.image().empty());
}

}  // namespace
}  // namespace vostrel
