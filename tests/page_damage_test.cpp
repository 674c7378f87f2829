// Copies of the sample with pages swapped, overwritten or bit-flipped, in an
// .ibd and inside ibdata1: each is named and marks the table damaged, the
// pages around it are still saved, and the rows the leaves count are told.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "innodb/leaf_chain.h"
#include "innodb/record.h"
#include "innodb/system_dictionary.h"
#include "innodb/table_locator.h"
#include "model/frm_reader.h"
#include "scan/scan.h"
#include "scan/table_preview.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

uint8_t* PageOf(std::string& file, uint64_t n) {
  return reinterpret_cast<uint8_t*>(file.data()) + n * kPageSize;
}

size_t LiveRecords(const uint8_t* page) {
  return WalkPageRecords(page, 0, [](size_t) { return true; }).records;
}

// A data directory with ibdata1 and the named files of the sample, one of
// them replaced by `bytes`.
fs::path MiniDataDir(const std::string& name, const std::vector<std::string>& files,
                     const std::string& replaced, const std::string& bytes) {
  const fs::path root = testing::TempDir(name);
  const fs::path sample = testing::SampleDataDir();
  for (std::string f : files) {
    fs::create_directories((root / f).parent_path());
    if (f == replaced) {
      std::ofstream(root / f, std::ios::binary) << bytes;
    } else {
      fs::copy_file(sample / f, root / f);
    }
  }
  return root;
}

// One table saved as a script save does it: located (through the dictionary
// when there is one), then exported.
struct Saved {
  InnoSource src;
  TableExportResult result;
  std::vector<std::string> rows;
  std::string log;
};

Saved SaveTable(const fs::path& datadir, const std::string& db, const std::string& table) {
  Saved s;
  testing::RecordingOutput out;
  const ScanResult scan = ScanDataDirectory(datadir, out);
  TableDef def;
  EXPECT_TRUE(ReadTableDefinition(datadir / db / (table + ".frm"), testing::Collations(),
                                  testing::DefaultCodePage(), def)
                  .ok);
  s.src = LocateTableLeaf((datadir / db).string(), table, def, scan.dictionary.get(),
                          testing::Collations(), out);
  std::string export_log;
  if (s.src.failure.empty()) {
    testing::TableExport x =
        testing::ExportTable(datadir / db, table, {}, scan.dictionary.get(), &def);
    s.result = x.result;
    s.result.damaged = s.result.damaged || s.src.damaged_tree;
    s.rows = std::move(x.rows);
    export_log = std::move(x.log);
  }
  s.log = out.log + export_log + "\n" + s.src.detail + "\n" + s.src.failure;
  return s;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const std::vector<std::string> kOrdersFiles = {"ibdata1", "shop/db.opt", "shop/orders.frm",
                                               "shop/orders.ibd"};

// shop.orders: root 3 over leaves 5, 6, 7, 8 (765 rows).
TEST(PageDamageTest, IbdPagesSwappedOverwrittenOrFlippedAreNamed) {
  const std::string intact = testing::ReadFileOrEmpty(testing::SampleDataDir() / "shop/orders.ibd");
  std::string bytes = intact;
  ASSERT_EQ(LiveRecords(PageOf(bytes, 6)), 223u);

  // A leaf copied over the root: the tree is gone, the leaves are found by a scan.
  std::copy_n(intact.begin() + 8 * kPageSize, kPageSize, bytes.begin() + 3 * kPageSize);
  Saved s = SaveTable(MiniDataDir("pd-ibd-swap", kOrdersFiles, "shop/orders.ibd", bytes), "shop",
                      "orders");
  EXPECT_TRUE(s.result.damaged);
  EXPECT_EQ(s.result.rows, 765u);
  EXPECT_EQ(std::set<std::string>(s.rows.begin(), s.rows.end()).size(), 765u);
  EXPECT_TRUE(Has(s.log, "page 3 of orders.ibd is page 8")) << s.log;
  EXPECT_TRUE(s.result.expected_known);
  EXPECT_EQ(s.result.expected_rows, 765u);

  // The first 8 bytes of a leaf's record list overwritten (the record chain
  // still holds, the values do not): its rows are lost, named and counted;
  // the leaves on both sides are saved.
  bytes = intact;
  std::fill_n(PageOf(bytes, 6) + FirstRecord(PageOf(bytes, 6)), 8, 0xA5);
  s = SaveTable(MiniDataDir("pd-ibd-records", kOrdersFiles, "shop/orders.ibd", bytes), "shop",
                "orders");
  EXPECT_TRUE(s.result.damaged);
  EXPECT_EQ(s.result.rows, 765u - 223u);
  EXPECT_TRUE(Has(s.log, "page 6 of orders.ibd fails its checksum: its 223 records are not saved"))
      << s.log;
  EXPECT_TRUE(s.result.expected_known);
  EXPECT_EQ(s.result.expected_rows, 765u);

  // One bit inside a value: only the checksum can tell.
  bytes = intact;
  const uint8_t* page7 = PageOf(bytes, 7);
  const size_t first = FirstRecord(page7);
  ASSERT_NE(first, 0u);
  PageOf(bytes, 7)[first + 12] ^= 0x04;
  s = SaveTable(MiniDataDir("pd-ibd-bit", kOrdersFiles, "shop/orders.ibd", bytes), "shop",
                "orders");
  EXPECT_TRUE(s.result.damaged);
  EXPECT_EQ(s.result.rows, 765u - 229u);
  EXPECT_TRUE(Has(s.log, "page 7 of orders.ibd fails its checksum")) << s.log;
  EXPECT_EQ(s.result.expected_rows, 765u);

  // The command line says so too, where it used to exit 0 in silence.
  int rc = 0;
  std::string out;
  const fs::path dir = MiniDataDir("pd-ibd-cli", kOrdersFiles, "shop/orders.ibd", bytes);
  const fs::path script = testing::TempDir("pd-ibd-cli-out");
  rc = testing::RunCommand("'" + testing::CliPath() + "' save '" + dir.string() +
                               "' shop.orders --script '" + script.string() + "' --log-dir '" +
                               script.string() + "' --quiet 2>&1",
                           &out);
  EXPECT_EQ(rc, 1) << out;
  EXPECT_TRUE(Has(out, "damaged")) << out;
}

// inner.products (root 417 over leaves 422, 423, 424, 428; 285 rows) and
// inner.tags (one page, 432; 40 rows) live in ibdata1.
TEST(PageDamageTest, IbdataPagesSwappedOverwrittenOrFlippedAreNamed) {
  const std::vector<std::string> files = {"ibdata1", "inner/db.opt", "inner/products.frm",
                                          "inner/tags.frm"};
  const std::string intact = testing::ReadFileOrEmpty(testing::SampleDataDir() / "ibdata1");
  std::string bytes = intact;
  ASSERT_EQ(PageIndexId(PageOf(bytes, 417)), PageIndexId(PageOf(bytes, 423)));
  ASSERT_EQ(LiveRecords(PageOf(bytes, 423)), 83u);

  std::copy_n(intact.begin() + 424 * kPageSize, kPageSize, bytes.begin() + 417 * kPageSize);
  Saved s = SaveTable(MiniDataDir("pd-sys-swap", files, "ibdata1", bytes), "inner", "products");
  EXPECT_TRUE(s.src.in_system);
  EXPECT_TRUE(s.result.damaged);
  EXPECT_EQ(s.result.rows, 285u);
  EXPECT_TRUE(Has(s.log, "page 417 of ibdata1 is page 424")) << s.log;

  bytes = intact;
  std::fill_n(PageOf(bytes, 423) + FirstRecord(PageOf(bytes, 423)), 8, 0xA5);
  s = SaveTable(MiniDataDir("pd-sys-records", files, "ibdata1", bytes), "inner", "products");
  EXPECT_TRUE(s.result.damaged);
  EXPECT_EQ(s.result.rows, 285u - 83u);
  EXPECT_TRUE(Has(s.log, "page 423 of ibdata1 fails its checksum: its 83 records are not saved"))
      << s.log;
  EXPECT_EQ(s.result.expected_rows, 285u);
  EXPECT_TRUE(s.result.expected_known);

  // The only page of tags: nothing is saved, and what is lost is counted.
  bytes = intact;
  PageOf(bytes, 432)[FirstRecord(PageOf(bytes, 432)) + 9] ^= 0x01;
  s = SaveTable(MiniDataDir("pd-sys-bit", files, "ibdata1", bytes), "inner", "tags");
  EXPECT_TRUE(s.result.damaged);
  EXPECT_EQ(s.result.rows, 0u);
  EXPECT_TRUE(Has(s.log, "page 432 of ibdata1 fails its checksum: its 40 records are not saved"))
      << s.log;
  EXPECT_TRUE(s.result.expected_known);
  EXPECT_EQ(s.result.expected_rows, 40u);
  // The dictionary pages were not touched: products is whole.
  s = SaveTable(MiniDataDir("pd-sys-bit-other", files, "ibdata1", bytes), "inner", "products");
  EXPECT_FALSE(s.result.damaged) << s.log;
  EXPECT_EQ(s.result.rows, 285u);
}

// shop.ledger: a long chain of leaves.
struct Ledger {
  std::string bytes = testing::ReadFileOrEmpty(testing::SampleDataDir() / "shop/ledger.ibd");
  std::vector<uint32_t> chain;
  Ledger() {
    const fs::path shop = testing::SampleDataDir() / "shop";
    TableDef def;
    ReadTableDefinition(shop / "ledger.frm", testing::Collations(), testing::DefaultCodePage(),
                        def);
    Tablespace space;
    space.Open(shop / "ledger.ibd", nullptr);
    uint32_t p = FindLeafPage(space, kClusteredRootIbd,
                              BuildClusteredIndexFromTableDef(def, testing::Collations()))
                     .leaf;
    for (; p != kFilNull && chain.size() < 100; p = ReadFilHeader(PageOf(bytes, p)).next) {
      chain.push_back(p);
    }
  }
  size_t records(size_t k) { return LiveRecords(PageOf(bytes, chain[k])); }
  Saved Save(const std::string& name, const std::string& changed) {
    return SaveTable(
        MiniDataDir(name, {"ibdata1", "shop/db.opt", "shop/ledger.frm", "shop/ledger.ibd"},
                    "shop/ledger.ibd", changed),
        "shop", "ledger");
  }
};

constexpr uint64_t kLedgerRows = 5840;

// What the walk cannot see from the chain alone: a leaf that ends the chain
// early with a valid checksum, and a page whose record count is off.
TEST(PageDamageTest, LeavesTheChainMissesAndRecordCountsAreTold) {
  Ledger l;
  ASSERT_GE(l.chain.size(), 6u);

  // The second leaf says it is the last: the leaf segment holds more pages
  // than the walk met, so the file is scanned and the rest is saved.
  std::string bytes = l.bytes;
  for (int i = 0; i < 4; ++i) PageOf(bytes, l.chain[1])[12 + i] = 0xFF;
  testing::RestampPage(PageOf(bytes, l.chain[1]));
  Saved s = l.Save("pd-chain-cut", bytes);
  EXPECT_EQ(s.result.rows, kLedgerRows);
  EXPECT_TRUE(s.result.damaged);
  EXPECT_TRUE(Has(s.log, "not reached by the leaf chain")) << s.log;
  EXPECT_EQ(s.result.expected_rows, kLedgerRows);

  // A header that counts three records more than the page holds.
  bytes = l.bytes;
  uint8_t* page = PageOf(bytes, l.chain[2]);
  const uint16_t n = PageRecordCount(page);
  page[kPageHeader + 16] = static_cast<uint8_t>((n + 3) >> 8);
  page[kPageHeader + 17] = static_cast<uint8_t>(n + 3);
  testing::RestampPage(page);
  s = l.Save("pd-nrecs", bytes);
  EXPECT_EQ(s.result.rows, kLedgerRows);
  EXPECT_TRUE(s.result.damaged);
  EXPECT_TRUE(Has(s.log, "page " + std::to_string(l.chain[2]) +
                             " of ledger.ibd: its header counts " + std::to_string(n + 3) +
                             " records, its record list holds " + std::to_string(n)))
      << s.log;
  EXPECT_EQ(s.result.expected_rows, kLedgerRows + 3);

  // A zeroed leaf: the chain goes on from a scan, but how many rows the page
  // held cannot be known.
  bytes = l.bytes;
  std::fill_n(PageOf(bytes, l.chain[2]), kPageSize, 0);
  s = l.Save("pd-zeroed", bytes);
  EXPECT_EQ(s.result.rows, kLedgerRows - l.records(2));
  EXPECT_TRUE(s.result.damaged);
  EXPECT_TRUE(Has(s.log, "page " + std::to_string(l.chain[2]) + " of ledger.ibd is empty"))
      << s.log;
  EXPECT_FALSE(s.result.expected_known);

  // Healthy: nothing said, everything counted.
  s = l.Save("pd-healthy", l.bytes);
  EXPECT_FALSE(s.result.damaged) << s.log;
  EXPECT_TRUE(s.result.expected_known);
  EXPECT_EQ(s.result.expected_rows, kLedgerRows);
  EXPECT_EQ(s.result.rows, kLedgerRows);
}

// A page that fails in the records view shows no rows; the view goes on past it.
TEST(PageDamageTest, RecordsViewSkipsAFailedPageAndNamesIt) {
  Ledger l;
  ASSERT_GE(l.chain.size(), 4u);
  std::string bytes = l.bytes;
  PageOf(bytes, l.chain[1])[5000] ^= 0x40;
  const fs::path dir =
      MiniDataDir("pd-preview", {"shop/ledger.frm", "shop/ledger.ibd"}, "shop/ledger.ibd", bytes);
  testing::RecordingOutput out;
  const ScanResult scan = ScanDataDirectory(dir, out);
  ASSERT_EQ(scan.m_tableEntries.size(), 1u);
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
  TablePreview preview(ctx);
  std::string error;
  ASSERT_TRUE(preview.Open(scan, 0, &error)) << error;
  PreviewPager pager(preview);
  size_t shown = 0, screens = 0;
  std::string damage;
  for (const PreviewScreen* s = &pager.First(); s != nullptr && screens < 20; s = pager.Next()) {
    ++screens;
    shown += s->rows.size();
    if (!preview.damage().empty()) damage = preview.damage();
  }
  EXPECT_EQ(shown, kLedgerRows - l.records(1));
  EXPECT_TRUE(
      Has(damage, "page " + std::to_string(l.chain[1]) + " of ledger.ibd fails its checksum"))
      << damage;
}

TEST(PageDamageTest, DictionaryPageThatFailsIsNamed) {
  std::string bytes = testing::ReadFileOrEmpty(testing::SampleDataDir() / "ibdata1");
  PageOf(bytes, 10)[3000] ^= 0x02;  // SYS_COLUMNS' only leaf
  const fs::path dir = testing::TempDir("pd-dictionary");
  std::ofstream(dir / "ibdata1", std::ios::binary) << bytes;
  SystemDictionary d;
  ASSERT_TRUE(d.Load(dir / "ibdata1"));
  EXPECT_TRUE(Has(d.damage().Summary(), "SYS_COLUMNS: page 10 of ibdata1 fails its checksum"))
      << d.damage().Summary();
  EXPECT_TRUE(d.columns().empty());
  EXPECT_FALSE(d.tables().empty());
}

// The real cause of a table that cannot be read, and the file really read.
TEST(PageDamageTest, MisleadingCausesAreNotGiven) {
  const fs::path dir =
      MiniDataDir("pd-ibd-dir", {"ibdata1", "shop/db.opt", "shop/orders.frm"}, "", "");
  fs::create_directories(dir / "shop/orders.ibd");
  Saved s = SaveTable(dir, "shop", "orders");
  EXPECT_TRUE(Has(s.src.failure, "tablespace cannot be opened")) << s.src.failure;
  EXPECT_TRUE(Has(s.src.failure, "orders.ibd is a directory")) << s.src.failure;
  EXPECT_FALSE(Has(s.src.failure, "leaf page")) << s.src.failure;
  EXPECT_TRUE(Has(s.log, "Opening File\t" + (dir / "shop/orders.ibd").string())) << s.log;
}

// MariaDB full_crc32 files: whole when intact, named when not.
TEST(PageDamageTest, FullCrc32TablesAreReadAndTheirDamageNamed) {
  const fs::path fc = testing::UnpackedFixture("checksum-full_crc32");
  for (const auto& [table, rows] : std::vector<std::pair<std::string, uint64_t>>{
           {"many", 3000}, {"docs", 12}, {"sys_rows", 900}}) {
    const Saved s = SaveTable(fc, "fc", table);
    EXPECT_TRUE(s.src.failure.empty()) << s.src.failure;
    EXPECT_FALSE(s.result.damaged) << s.log;
    EXPECT_EQ(s.result.rows, rows) << table;
    EXPECT_TRUE(s.result.expected_known) << table;
    EXPECT_EQ(s.result.expected_rows, rows) << table;
  }
  const fs::path dir = testing::TempDir("pd-fcrc32");
  fs::copy(fc, dir, fs::copy_options::recursive);
  std::string many = testing::ReadFileOrEmpty(fc / "fc/many.ibd");
  uint32_t leaf = 0;
  for (uint32_t p = 4; p < many.size() / kPageSize && leaf == 0; ++p) {
    const uint8_t* page = PageOf(many, p);
    if (ReadFilHeader(page).type == kPageTypeIndex && PageLevel(page) == 0 &&
        ReadFilHeader(page).prev != kFilNull && ReadFilHeader(page).next != kFilNull) {
      leaf = p;
    }
  }
  ASSERT_NE(leaf, 0u);
  const size_t lost = LiveRecords(PageOf(many, leaf));
  PageOf(many, leaf)[FirstRecord(PageOf(many, leaf)) + 6] ^= 0x80;
  std::ofstream(dir / "fc/many.ibd", std::ios::binary | std::ios::trunc) << many;
  const Saved s = SaveTable(dir, "fc", "many");
  EXPECT_TRUE(s.result.damaged);
  EXPECT_EQ(s.result.rows, 3000u - lost);
  EXPECT_TRUE(Has(s.log, "page " + std::to_string(leaf) + " of many.ibd fails its checksum"))
      << s.log;
  EXPECT_EQ(s.result.expected_rows, 3000u);
}

}  // namespace
}  // namespace vostrel
