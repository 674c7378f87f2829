// MyISAM reading over the real sample data directory and over damaged copies.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "model/frm_reader.h"
#include "myisam/myd_reader.h"
#include "scan/table_preview.h"
#include "scan/table_readers.h"
#include "sql/row_export.h"
#include "sql/row_sink.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

struct CountingSink : RowSink {
  std::vector<std::string> rows;
  std::string text;
  bool script_form() const override { return true; }
  bool ExecuteRow(std::string_view s) override {
    rows.emplace_back(s);
    return true;
  }
  void WriteText(std::string_view t) override { text += t; }
};

struct QuietOutput : NullOutput {
  std::string log;
  void WriteLogText(std::string_view t) override { log += t; }
};

std::map<std::string, uint64_t> ExpectedCounts() {
  std::map<std::string, uint64_t> m;
  std::istringstream in(testing::ReadFileOrEmpty(testing::SampleExpectedDir() / "rowcounts.tsv"));
  std::string db, table;
  uint64_t n;
  while (in >> db >> table >> n) m[db + "." + table] = n;
  return m;
}

// Reads one MyISAM table of a folder through the export loop.
TableExportResult Export(const fs::path& folder, const std::string& name, CountingSink& sink,
                         QuietOutput& out, const std::atomic<bool>* stop = nullptr) {
  TableDef t;
  EXPECT_TRUE(ReadTableDefinition(folder / (name + ".frm"), testing::Collations(),
                                  testing::DefaultCodePage(), t)
                  .ok);
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, stop};
  OpenedReader opened = OpenTableReaderAt(folder.string(), name, t, nullptr, ctx, out);
  if (opened.reader == nullptr) return {};  // a damaged index file: nothing to read
  return ExportTableRows(*opened.reader, t, name, sink, nullptr, ctx, "mydfileforscript");
}

TEST(MyisamTest, EveryLiveRowOfTheSampleTablesIsExported) {
  const auto expected = ExpectedCounts();
  int tables = 0;
  for (const auto& [db, name] :
       std::vector<std::pair<std::string, std::string>>{{"legacy", "contacts"},
                                                        {"legacy", "counters"},
                                                        {"legacy", "notes"},
                                                        {"legacy", "old_times"},
                                                        {"legacy", "parts"},
                                                        {"types", "t_myisam"},
                                                        {"types", "t_myisam_fixed"}}) {
    CountingSink sink;
    QuietOutput out;
    const TableExportResult r = Export(testing::SampleDataDir() / db, name, sink, out);
    EXPECT_TRUE(r.completed);
    EXPECT_FALSE(r.damaged) << out.log;
    EXPECT_EQ(r.rows, expected.at(db + "." + name)) << db << "." << name;  // deleted rows skipped
    EXPECT_EQ(sink.rows.size(), r.rows);
    EXPECT_EQ(sink.text, "COMMIT;\r\n\r\n");
    EXPECT_NE(out.log.find(TotalLine(r.rows) + "\r\n\r\n"), std::string::npos);
    ++tables;
  }
  EXPECT_EQ(tables, 7);
}

// Rows shorter than MyISAM's smallest stored record are padded to it; a
// file holding one such row is exactly one record long, not a cut one.
TEST(MyisamTest, OnePaddedShortRowIsOneWholeRecord) {
  const fs::path folder = testing::UnpackedFixture("fulldef-datadir") / "fulldef";
  for (const char* name : {"m1", "m2"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(fs::file_size(folder / (std::string(name) + ".MYD")), 7u);
    CountingSink sink;
    QuietOutput out;
    const TableExportResult r = Export(folder, name, sink, out);
    EXPECT_TRUE(r.completed);
    EXPECT_FALSE(r.damaged) << out.log;
    EXPECT_EQ(r.rows, 1u);
  }
}

TEST(MyisamTest, MissingDataFileIsReportedAndWritesNothing) {
  const fs::path src = testing::SampleDataDir() / "legacy";
  const fs::path dir = testing::TempDir("myisam-no-myd");
  fs::copy_file(src / "parts.frm", dir / "parts.frm");
  fs::copy_file(src / "parts.MYI", dir / "parts.MYI");
  QuietOutput out;
  TableDef t;
  ASSERT_TRUE(
      ReadTableDefinition(dir / "parts.frm", testing::Collations(), testing::DefaultCodePage(), t)
          .ok);
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
  const OpenedReader opened = OpenTableReaderAt(dir.string(), "parts", t, nullptr, ctx, out);
  EXPECT_EQ(opened.reader, nullptr);
  EXPECT_NE(opened.not_read.find("parts.MYD does not exist"), std::string::npos) << opened.not_read;
  EXPECT_TRUE(opened.expected_known);  // the index file still counts the rows lost
  EXPECT_EQ(opened.expected, 360u);
}

TEST(MyisamTest, StopRequestEndsTheTableWithCommitAndTotal) {
  CountingSink sink;
  QuietOutput out;
  std::atomic<bool> stop{true};
  const TableExportResult r =
      Export(testing::SampleDataDir() / "legacy", "parts", sink, out, &stop);
  EXPECT_EQ(r.rows, 0u);
  EXPECT_EQ(sink.text, "COMMIT;\r\n\r\n");
  EXPECT_NE(out.log.find(TotalLine(0)), std::string::npos);
}

using testing::MakeCountersTable;

TEST(PreviewTest, ScreensOfAThousandRowsAndStablePositions) {
  const fs::path root = MakeCountersTable("paging", 2500);
  QuietOutput out;
  const ScanResult scan = ScanDataDirectory(root, out);
  ASSERT_EQ(scan.m_tableEntries.size(), 1u);
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
  TablePreview preview(ctx);
  std::string error;
  ASSERT_TRUE(preview.Open(scan, 0, &error)) << error;
  PreviewPager pager(preview);
  const PreviewScreen& first = pager.First();
  ASSERT_EQ(first.rows.size(), 1000u);
  EXPECT_EQ(first.rows[0][1].text, "0");
  const auto second = pager.Next();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->rows.size(), 1000u);
  EXPECT_EQ(second->rows[0][1].text, "1000");
  EXPECT_EQ(pager.first_row(), 1000u);
  const auto third = pager.Next();
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->rows.size(), 500u);
  EXPECT_EQ(third->rows.back()[1].text, "2499");
  EXPECT_EQ(pager.last_row(), 2500u);
  EXPECT_EQ(pager.Next(), nullptr);  // "No more records in table"
  const auto back = pager.Previous();
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->rows[0][1].text, "1000");
  EXPECT_EQ(pager.Previous()->rows[0][1].text, "0");
  EXPECT_EQ(pager.Previous(), nullptr);
  EXPECT_EQ(pager.Next()->rows[999][1].text, "1999");
  EXPECT_EQ(pager.Next()->rows.size(), 500u);
}

TEST(PreviewTest, ExactlyOneScreenHasNoSecond) {
  const fs::path root = MakeCountersTable("paging-1000", 1000);
  QuietOutput out;
  const ScanResult scan = ScanDataDirectory(root, out);
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
  TablePreview preview(ctx);
  ASSERT_TRUE(preview.Open(scan, 0, nullptr));
  PreviewPager pager(preview);
  EXPECT_EQ(pager.First().rows.size(), 1000u);
  EXPECT_EQ(pager.Next(), nullptr);
  EXPECT_EQ(pager.last_row(), 1000u);
}

TEST(PreviewTest, PlaceholdersOnlyOutsideExport) {
  QuietOutput out;
  const ScanResult scan = ScanDataDirectory(testing::SampleDataDir(), out);
  size_t index = 0;
  for (; index < scan.m_tableEntries.size(); ++index) {
    if (scan.m_tableEntries[index].tableName == "t_myisam") break;
  }
  ASSERT_LT(index, scan.m_tableEntries.size());
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
  TablePreview preview(ctx);
  ASSERT_TRUE(preview.Open(scan, index, nullptr));
  const PreviewScreen s = preview.ReadScreen(PagePosition{});
  ASSERT_FALSE(s.rows.empty());
  const TableDef& t = preview.table();
  for (size_t c = 0; c < t.columns.size(); ++c) {
    if (t.columns[c].type == kTypeGeometry && !s.rows[0][c].is_null) {
      EXPECT_EQ(s.rows[0][c].text, "Spatial Data");
    }
  }
}

// Damage: truncations and flipped bytes of real data and index files.
TEST(MyisamDamageTest, TruncatedAndFlippedFilesNeverCrashOrHang) {
  std::mt19937 rng(77);
  size_t cases = 0;
  for (const auto& [db, name] :
       std::vector<std::pair<std::string, std::string>>{{"legacy", "contacts"},
                                                        {"legacy", "notes"},
                                                        {"legacy", "parts"},
                                                        {"types", "t_myisam"}}) {
    const fs::path src = testing::SampleDataDir() / db;
    const std::string myd = testing::ReadFileOrEmpty(src / (name + ".MYD"));
    const std::string myi = testing::ReadFileOrEmpty(src / (name + ".MYI"));
    const fs::path dir = testing::TempDir("myisam-damage-" + name);
    fs::copy_file(src / (name + ".frm"), dir / (name + ".frm"));
    CountingSink whole;
    QuietOutput quiet;
    const uint64_t intact = Export(src, name, whole, quiet).rows;
    for (int round = 0; round < 60; ++round) {
      std::string d = myd, i = myi;
      switch (round % 4) {
        case 0:
          d.resize(rng() % (d.size() + 1));
          break;
        case 1:
          for (int k = 0; k < 1 + round % 13; ++k)
            d[rng() % d.size()] ^= static_cast<char>(1u << (rng() % 8));
          break;
        case 2:  // block headers and lengths are the likeliest to be hit
          for (int k = 0; k < 20; ++k) d[rng() % d.size()] = static_cast<char>(rng() % 14);
          break;
        case 3:
          i.resize(rng() % (i.size() + 1));
          for (int k = 0; k < 4 && !i.empty(); ++k) i[rng() % i.size()] ^= static_cast<char>(rng());
          break;
      }
      std::ofstream(dir / (name + ".MYD"), std::ios::binary | std::ios::trunc) << d;
      std::ofstream(dir / (name + ".MYI"), std::ios::binary | std::ios::trunc) << i;
      CountingSink sink;
      QuietOutput out;
      const auto start = std::chrono::steady_clock::now();
      const TableExportResult r = Export(dir, name, sink, out);
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20))
          << name << round;
      // A cut data file costs rows; they must not go missing without a word.
      if (round % 4 == 0 && r.rows < intact) {
        EXPECT_TRUE(r.damaged) << name << " round " << round << ": " << r.rows << " of " << intact;
        EXPECT_NE(out.log.find("is damaged"), std::string::npos);
      }
      ++cases;
    }
  }
  std::printf("damaged MyISAM tables read: %zu\n", cases);
}

TEST(MyisamDamageTest, DamagedDynamicFileKeepsTheRowsAroundTheDamage) {
  const fs::path src = testing::SampleDataDir() / "legacy";
  std::string myd = testing::ReadFileOrEmpty(src / "notes.MYD");
  const fs::path dir = testing::TempDir("myisam-one-damage");
  for (const char* ext : {".frm", ".MYI"})
    fs::copy_file(src / (std::string("notes") + ext), dir / (std::string("notes") + ext));
  // The first block's type byte becomes one no block has.
  myd[0] = static_cast<char>(0xEE);
  std::ofstream(dir / "notes.MYD", std::ios::binary) << myd;
  CountingSink sink;
  QuietOutput out;
  const TableExportResult r = Export(dir, "notes", sink, out);
  EXPECT_TRUE(r.damaged);
  EXPECT_GE(r.rows, 260u);  // of 268
  EXPECT_NE(out.log.find("is damaged"), std::string::npos);
}

TEST(MyisamExternalTest, OldServerTablesReadWithoutCrash) {
  const fs::path root = testing::ExternalFixturesDir();
  if (root.empty()) GTEST_SKIP() << "no external fixtures";
  const fs::path std_data = root / "mysql-5.5.30-std_data";
  struct Case {
    const char* name;
    uint64_t rows;
  };
  for (const Case& c : {Case{"bug19371", 2}, Case{"bug36055", 2}, Case{"bug37631", 0},
                        Case{"cluster_7022_table", 0}}) {
    CountingSink sink;
    QuietOutput out;
    const TableExportResult r = Export(std_data, c.name, sink, out);
    EXPECT_EQ(r.rows, c.rows) << c.name;
    EXPECT_FALSE(r.damaged) << c.name << ": " << out.log;
  }
  CountingSink sink;
  QuietOutput out;
  Export(std_data, "bug19371", sink, out);
  ASSERT_EQ(sink.rows.size(), 2u);
  // Pre-5.0.3 VARCHAR values lose their padding.
  EXPECT_NE(sink.rows[0].find("VALUES(0x616161,'ccc')"), std::string::npos) << sink.rows[0];
}

}  // namespace
}  // namespace vostrel
