// The system dictionary of the sample's ibdata1, and damaged copies of it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <thread>

#include "innodb/system_dictionary.h"
#include "innodb/table_locator.h"
#include "model/frm_reader.h"
#include "scan/scan.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

struct LogOutput : NullOutput {
  std::string log;
  void WriteLogText(std::string_view t) override { log += t; }
};

std::vector<std::string> Names(const ClusteredIndex& index) {
  std::vector<std::string> out;
  for (const InnoColumnDef& f : index.fields) out.push_back(f.name);
  return out;
}

TableDef ReadDef(const fs::path& frm) {
  TableDef t;
  EXPECT_TRUE(ReadTableDefinition(frm, testing::Collations(), testing::DefaultCodePage(), t).ok);
  return t;
}

TEST(DictionaryTest, SampleDictionaryListsTablesColumnsAndIndexes) {
  SystemDictionary d;
  ASSERT_TRUE(d.Load(testing::SampleDataDir() / "ibdata1"));
  EXPECT_FALSE(d.damage().any()) << d.damage().Summary();
  EXPECT_NE(d.FindTableId("shop/orders"), 0u);
  EXPECT_EQ(d.FindTableId("shop\\orders"), d.FindTableId("shop/orders"));
  EXPECT_EQ(d.FindTableId("Shop/orders"), 0u);  // names are compared exactly
  EXPECT_NE(d.FindTableId("my@002ddb/stock@002dlevel"), 0u);
  const SysTablesRow* inner = d.FindTable("inner/products");
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->space, 0u);
  EXPECT_TRUE(inner->compact());
  // The clustered index is the one with TYPE bit 0, whatever comes first.
  const SysIndexesRow* clust = d.FindClusterIndex(inner->id);
  ASSERT_NE(clust, nullptr);
  EXPECT_EQ(clust->name, "PRIMARY");
  const SysIndexesRow* gen = d.FindClusterIndex(d.FindTableId("shop/visits"));
  ASSERT_NE(gen, nullptr);
  EXPECT_EQ(gen->name, "GEN_CLUST_INDEX");
}

TEST(DictionaryTest, KeyOrderComesFromTheIndexDefinition) {
  SystemDictionary d;
  ASSERT_TRUE(d.Load(testing::SampleDataDir() / "ibdata1"));
  const fs::path shop = testing::SampleDataDir() / "shop";
  ClusteredIndex index;
  const TableDef inv = ReadDef(shop / "inventory.frm");
  ASSERT_TRUE(d.BuildClusteredIndex(d.FindTableId("shop/inventory"), inv, testing::Collations(),
                                    index, nullptr));
  ASSERT_EQ(index.key_fields, 2u);
  const KeyDef* pk = inv.PrimaryKey();
  EXPECT_EQ(index.fields[0].name, inv.columns[pk->parts[0].field_number - 1].name);
  EXPECT_EQ(index.fields[1].name, inv.columns[pk->parts[1].field_number - 1].name);
  EXPECT_EQ(Names(index)[2], "DB_TRX_ID");
  ASSERT_TRUE(d.BuildClusteredIndex(d.FindTableId("shop/visits"), ReadDef(shop / "visits.frm"),
                                    testing::Collations(), index, nullptr));
  EXPECT_EQ(Names(index)[0], "DB_ROW_ID");
  ASSERT_TRUE(d.BuildClusteredIndex(d.FindTableId("shop/sessions"), ReadDef(shop / "sessions.frm"),
                                    testing::Collations(), index, nullptr));
  EXPECT_EQ(Names(index)[0], "token");
  EXPECT_EQ(index.fields[0].fixed_len, 0);  // utf8 CHAR: length in the header
}

TEST(DictionaryTest, TablesInsideIbdataAreLocated) {
  LogOutput out;
  const ScanResult scan = ScanDataDirectory(testing::SampleDataDir(), out);
  ASSERT_NE(scan.dictionary, nullptr);
  const std::string folder = (testing::SampleDataDir() / "inner").string();
  const TableDef t = ReadDef(folder + "/products.frm");
  const InnoSource src =
      LocateTableLeaf(folder, "products", t, scan.dictionary.get(), testing::Collations(), out);
  EXPECT_TRUE(src.failure.empty()) << src.failure;
  EXPECT_TRUE(src.in_system);
  EXPECT_TRUE(src.from_dictionary);
  EXPECT_NE(src.leaf, 0u);
  // The file really read from, not the .ibd the table does not have.
  EXPECT_NE(
      out.log.find("Opening File\t" + (testing::SampleDataDir() / "ibdata1").string() + "\r\n"),
      std::string::npos)
      << out.log;
  EXPECT_EQ(out.log.find("products.ibd"), std::string::npos) << out.log;
}

// Tables kept in ibdata1 saved at once (a server save's jobs) share one
// dictionary: each must still read its own pages, never another's half-read one.
TEST(DictionaryTest, TablesInsideIbdataReadAtOnceGiveTheirOwnRows) {
  LogOutput out;
  const ScanResult scan = ScanDataDirectory(testing::SampleDataDir(), out);
  ASSERT_NE(scan.dictionary, nullptr);
  const fs::path folder = testing::SampleDataDir() / "inner";
  const std::vector<std::string> tables = {"products", "tags"};
  const auto digest = [](const testing::TableExport& e) {
    std::string all;
    for (const std::string& r : e.rows) all += r + "\n";
    return testing::Sha256Hex(all);
  };
  std::vector<std::string> alone;
  for (const std::string& t : tables) {
    const testing::TableExport e = testing::ExportTable(folder, t, {}, scan.dictionary.get());
    ASSERT_TRUE(e.opened) << e.not_read;
    ASSERT_FALSE(e.rows.empty());
    alone.push_back(digest(e));
  }
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; round < 12; ++round) {
        const size_t which = static_cast<size_t>(i + round) % tables.size();
        const testing::TableExport e =
            testing::ExportTable(folder, tables[which], {}, scan.dictionary.get());
        if (digest(e) != alone[which]) ++wrong;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(DictionaryTest, MissingIbdataIsLoggedAndManualPathIsTried) {
  const fs::path root = testing::TempDir("no-ibdata");
  fs::create_directories(root / "db");
  fs::copy_file(testing::SampleDataDir() / "legacy/parts.frm", root / "db/parts.frm");
  LogOutput out;
  ScanResult r = ScanDataDirectory(root, out);
  EXPECT_EQ(r.dictionary, nullptr);
  EXPECT_NE(out.log.find("Processing ibdata1 File\r\nibdata1 File cannot be open\r\n"
                         "Scanning completed for selected database file(s).\r\n"),
            std::string::npos)
      << out.log;
  ScanOptions opts;
  opts.manual_ibdata = testing::SampleDataDir() / "ibdata1";
  LogOutput out2;
  r = ScanDataDirectory(root, out2, opts);
  ASSERT_NE(r.dictionary, nullptr);
  EXPECT_NE(r.dictionary->FindTableId("inner/tags"), 0u);
  opts.manual_ibdata = root / "nope";
  LogOutput out3;
  ScanDataDirectory(root, out3, opts);
  EXPECT_NE(out3.log.find("Manually browse ibdata1 File cannot be open\r\n"), std::string::npos);
}

TEST(DictionaryDamageTest, TruncatedAndFlippedIbdataNeverCrashOrHang) {
  const std::string original = testing::ReadFileOrEmpty(testing::SampleDataDir() / "ibdata1");
  ASSERT_GT(original.size(), 20 * kPageSize);
  const fs::path dir = testing::TempDir("ibdata-damage");
  std::mt19937 rng(1209);
  size_t cases = 0;
  // The dictionary lives on the first pages; damage concentrates there.
  const size_t hot = 16 * kPageSize;
  for (int round = 0; round < 60; ++round) {
    std::string d = original;
    switch (round % 4) {
      case 0:
        d.resize(rng() % (hot * 2));
        break;
      case 1:
        for (int k = 0; k < 1 + round; ++k) d[rng() % hot] ^= static_cast<char>(1u << (rng() % 8));
        break;
      case 2: {
        const size_t p = 7 + rng() % 6;  // header and system roots
        std::fill(d.begin() + p * kPageSize, d.begin() + (p + 1) * kPageSize,
                  static_cast<char>(rng()));
        break;
      }
      case 3:
        for (int k = 0; k < 40; ++k)
          d[8 * kPageSize + rng() % (5 * kPageSize)] = static_cast<char>(rng());
        break;
    }
    std::ofstream(dir / "ibdata1", std::ios::binary | std::ios::trunc) << d;
    const auto start = std::chrono::steady_clock::now();
    SystemDictionary dict;
    dict.Load(dir / "ibdata1");
    for (const SysTablesRow& t : dict.tables()) {
      ClusteredIndex index;
      TableDef empty;
      dict.BuildClusteredIndex(t.id, empty, testing::Collations(), index, nullptr);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ++cases;
  }
  std::printf("damaged ibdata1 files read: %zu\n", cases);
}

}  // namespace
}  // namespace vostrel
