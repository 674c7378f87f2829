// InnoDB reading from .frm + .ibd over the real sample data and damaged copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "innodb/clustered_fields.h"
#include "innodb/leaf_chain.h"
#include "innodb/record.h"
#include "model/frm_reader.h"
#include "scan/table_preview.h"
#include "sql/row_sink.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

using testing::CollectingSink;

struct LogOutput : NullOutput {
  std::string log;
  void WriteLogText(std::string_view t) override { log += t; }
};

TableDef ReadDef(const fs::path& frm) {
  TableDef t;
  EXPECT_TRUE(ReadTableDefinition(frm, testing::Collations(), testing::DefaultCodePage(), t).ok)
      << frm;
  return t;
}

struct Exported {
  TableExportResult result;
  std::vector<std::string> rows;
  std::string log;
  bool found = false;
};

Exported ExportIbd(const fs::path& frm, const fs::path& ibd, const fs::path& blob_dir = {}) {
  Exported e;
  const TableDef t = ReadDef(frm);
  testing::TableExport x =
      testing::ExportTable(ibd.parent_path(), ibd.stem().string(),
                           blob_dir.empty() ? testing::TempDir("blobs") : blob_dir, nullptr, &t);
  e.found = x.opened;
  e.result = x.result;
  e.rows = std::move(x.rows);
  e.log = std::move(x.log);
  return e;
}

std::map<std::string, uint64_t> ExpectedCounts() {
  std::map<std::string, uint64_t> m;
  std::istringstream in(testing::ReadFileOrEmpty(testing::SampleExpectedDir() / "rowcounts.tsv"));
  std::string db, table;
  uint64_t n;
  while (in >> db >> table >> n) m[db + "." + table] = n;
  return m;
}

std::vector<std::string> FieldNames(const ClusteredIndex& index) {
  std::vector<std::string> out;
  for (const InnoColumnDef& f : index.fields) out.push_back(f.name);
  return out;
}

TEST(InnoDbTest, EveryIbdTableOfTheSampleGivesItsRowCount) {
  const auto expected = ExpectedCounts();
  int tables = 0;
  for (const auto& db : {"shop", "legacy", "types", "my@002ddb"}) {
    for (const auto& e : fs::directory_iterator(testing::SampleDataDir() / db)) {
      if (e.path().extension() != ".ibd") continue;
      const fs::path frm = fs::path(e.path()).replace_extension(".frm");
      const Exported x = ExportIbd(frm, e.path());
      ASSERT_TRUE(x.found) << e.path();
      EXPECT_TRUE(x.result.completed);
      EXPECT_FALSE(x.result.damaged) << x.log;
      std::string key =
          std::string(db == std::string("my@002ddb") ? "my-db" : db) + "." +
          (e.path().stem() == "stock@002dlevel" ? "stock-level" : e.path().stem().string());
      EXPECT_EQ(x.result.rows, expected.at(key)) << key;
      ++tables;
    }
  }
  EXPECT_EQ(tables, 15);
}

TEST(InnoDbTest, ClusteredRecordLayoutFollowsInnoDbsKeyChoice) {
  const fs::path shop = testing::SampleDataDir() / "shop";
  // PRIMARY KEY (c, a) declared out of column order.
  const TableDef inv = ReadDef(shop / "inventory.frm");
  const ClusteredIndex i1 = BuildClusteredIndexFromTableDef(inv, testing::Collations());
  ASSERT_GE(i1.fields.size(), 4u);
  EXPECT_EQ(i1.key_fields, 2u);
  EXPECT_EQ(FieldNames(i1)[0], inv.columns[i1.fields[0].column].name);
  EXPECT_EQ(FieldNames(i1)[2], "DB_TRX_ID");
  EXPECT_EQ(FieldNames(i1)[3], "DB_ROLL_PTR");
  const KeyDef* pk = inv.PrimaryKey();
  ASSERT_NE(pk, nullptr);
  EXPECT_EQ(i1.fields[0].column, pk->parts[0].field_number - 1);
  EXPECT_EQ(i1.fields[1].column, pk->parts[1].field_number - 1);
  EXPECT_GT(i1.fields[0].column, i1.fields[1].column);  // key-part order, not column order
  // UNIQUE NOT NULL key without a primary key clusters the table.
  const ClusteredIndex i2 =
      BuildClusteredIndexFromTableDef(ReadDef(shop / "sessions.frm"), testing::Collations());
  EXPECT_EQ(FieldNames(i2),
            (std::vector<std::string>{"token", "DB_TRX_ID", "DB_ROLL_PTR", "user_id", "started"}));
  EXPECT_EQ(i2.fields[0].fixed_len, 0);  // utf8 CHAR has a length byte
  // Neither: the hidden row id.
  const ClusteredIndex i3 =
      BuildClusteredIndexFromTableDef(ReadDef(shop / "visits.frm"), testing::Collations());
  EXPECT_EQ(FieldNames(i3)[0], "DB_ROW_ID");
}

TEST(InnoDbTest, StoredFormsComeFromTheColumnTypes) {
  const TableDef t = ReadDef(testing::SampleDataDir() / "types/t_compact.frm");
  std::map<std::string, InnoColumnDef> by_name;
  for (size_t i = 0; i < t.columns.size(); ++i) {
    by_name[t.columns[i].name] = InnoFieldForColumn(t, i, testing::Collations());
  }
  EXPECT_EQ(by_name.at("iu").mtype, kDataInt);
  EXPECT_TRUE(by_name.at("iu").is_unsigned());
  EXPECT_FALSE(by_name.at("i").is_unsigned());
  EXPECT_EQ(by_name.at("f").mtype, kDataFloat);
  EXPECT_EQ(by_name.at("d").mtype, kDataDouble);
  EXPECT_EQ(by_name.at("dec2").fixed_len, 14);  // DECIMAL(30,10) packed
  EXPECT_EQ(by_name.at("dtm6").fixed_len, 8);   // DATETIME(6)
  EXPECT_EQ(by_name.at("tm3").fixed_len, 5);    // TIME(3)
  EXPECT_EQ(by_name.at("en").mtype, kDataInt);
  EXPECT_TRUE(by_name.at("en").is_unsigned());
  EXPECT_EQ(by_name.at("b64").fixed_len, 8);
  EXPECT_EQ(by_name.at("c_latin1").fixed_len, 10);
  EXPECT_EQ(by_name.at("c_utf8").fixed_len, 0);
  EXPECT_EQ(by_name.at("bin").fixed_len, 8);
  EXPECT_EQ(by_name.at("lb").mtype, kDataBlob);
}

TEST(InnoDbTest, NodePointerKeyLengthReadsOneOrTwoLengthBytes) {
  ClusteredIndex index;
  InnoColumnDef f;
  f.mtype = kDataVarMysql;
  f.prtype = kPrtypeNotNull;
  f.len = 300;
  index.fields = {f};
  index.key_fields = 1;
  PageBuffer page{};
  const size_t origin = 1000;
  page[origin - 6] = 0x81;  // first length byte, just below the 5-byte header
  page[origin - 7] = 0x05;
  EXPECT_EQ(NodePointerKeyLength(page.data(), origin, index), 261u);
  index.fields[0].len = 200;
  EXPECT_EQ(NodePointerKeyLength(page.data(), origin, index), 129u);
  // A length that runs the child pointer past the page gives 0.
  EXPECT_EQ(NodePointerKeyLength(page.data(), kPageSize - 10, index), 0u);
}

TEST(InnoDbTest, DeleteMarkedRecordsAreNotRows) {
  const fs::path src = testing::SampleDataDir() / "shop";
  const fs::path dir = testing::TempDir("innodb-delmark");
  fs::copy_file(src / "customers.frm", dir / "customers.frm");
  std::string ibd = testing::ReadFileOrEmpty(src / "customers.ibd");
  const Exported before = ExportIbd(dir / "customers.frm", src / "customers.ibd");
  // Mark the first record of the first leaf as deleted.
  const TableDef t = ReadDef(dir / "customers.frm");
  Tablespace space;
  ASSERT_TRUE(space.Open(src / "customers.ibd", nullptr));
  const LeafSearch leaf = FindLeafPage(space, kClusteredRootIbd,
                                       BuildClusteredIndexFromTableDef(t, testing::Collations()));
  ASSERT_NE(leaf.leaf, 0u);
  uint8_t* page = reinterpret_cast<uint8_t*>(ibd.data()) + size_t{leaf.leaf} * kPageSize;
  const size_t first = FirstRecord(page);
  ASSERT_NE(first, 0u);
  page[first - 5] |= 0x20;
  testing::RestampPage(page);
  std::ofstream(dir / "customers.ibd", std::ios::binary) << ibd;
  const Exported after = ExportIbd(dir / "customers.frm", dir / "customers.ibd");
  EXPECT_EQ(after.result.rows + 1, before.result.rows);
  EXPECT_EQ(after.rows.front(), before.rows[1]);
}

TEST(InnoDbTest, OffPageValuesOfBothRowFormatsAreWhole) {
  const fs::path shop = testing::SampleDataDir() / "shop";
  const fs::path blobs = testing::TempDir("innodb-blobs");
  for (const char* table : {"documents", "attachments"}) {  // DYNAMIC and COMPACT
    const Exported x = ExportIbd(shop / (std::string(table) + ".frm"),
                                 shop / (std::string(table) + ".ibd"), blobs);
    EXPECT_FALSE(x.result.damaged) << x.log;
    bool saw_file = false;
    for (const std::string& r : x.rows)
      saw_file = saw_file || r.find("LOAD_FILE('") != std::string::npos;
    EXPECT_TRUE(saw_file) << table;
  }
  size_t largest = 0;
  for (const auto& e : fs::directory_iterator(blobs))
    largest = std::max<size_t>(largest, fs::file_size(e.path()));
  EXPECT_GT(largest, 20000u);
}

TEST(InnoDbTest, PagingOverAMultiPageTableMatchesTheExport) {
  LogOutput out;
  const ScanResult scan = ScanDataDirectory(testing::SampleDataDir(), out);
  size_t index = 0;
  while (index < scan.m_tableEntries.size() && scan.m_tableEntries[index].tableName != "ledger")
    ++index;
  ASSERT_LT(index, scan.m_tableEntries.size());
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
  TablePreview preview(ctx);
  std::string error;
  ASSERT_TRUE(preview.Open(scan, index, &error)) << error;
  PreviewPager pager(preview);
  std::vector<std::string> ids;
  for (const PreviewScreen* s = &pager.First(); s != nullptr; s = pager.Next()) {
    for (const Row& r : s->rows) ids.push_back(r[0].text);
  }
  const Exported x = ExportIbd(testing::SampleDataDir() / "shop/ledger.frm",
                               testing::SampleDataDir() / "shop/ledger.ibd");
  ASSERT_EQ(ids.size(), x.rows.size());
  for (size_t i = 0; i < ids.size(); i += 997) {
    EXPECT_NE(x.rows[i].find("VALUES(" + ids[i] + ","), std::string::npos) << i;
  }
  EXPECT_EQ(pager.last_row(), 5840u);
  const PreviewScreen* back = pager.Previous();
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->rows.size(), 1000u);
  EXPECT_EQ(back->rows[0][0].text, ids[4000]);
}

TEST(InnoDbDamageTest, TruncatedAndFlippedTablespacesNeverCrashOrHang) {
  std::mt19937 rng(4242);
  size_t cases = 0;
  const fs::path shop = testing::SampleDataDir() / "shop";
  for (const char* table : {"customers", "documents", "ledger", "deep_tree", "attachments"}) {
    const std::string original = testing::ReadFileOrEmpty(shop / (std::string(table) + ".ibd"));
    const fs::path dir = testing::TempDir(std::string("innodb-damage-") + table);
    fs::copy_file(shop / (std::string(table) + ".frm"), dir / (std::string(table) + ".frm"));
    const size_t pages = original.size() / kPageSize;
    const size_t intact =
        ExportIbd(shop / (std::string(table) + ".frm"), shop / (std::string(table) + ".ibd"))
            .rows.size();
    size_t silent_losses = 0;
    for (int round = 0; round < 40; ++round) {
      std::string d = original;
      switch (round % 4) {
        case 0:
          d.resize(rng() % (d.size() + 1));
          break;
        case 1:  // bits anywhere
          for (int k = 0; k < 1 + round; ++k)
            d[rng() % d.size()] ^= static_cast<char>(1u << (rng() % 8));
          break;
        case 2: {  // a whole page zeroed
          const size_t p = 3 + rng() % (pages - 3);
          std::fill(d.begin() + p * kPageSize, d.begin() + (p + 1) * kPageSize, '\0');
          break;
        }
        case 3: {  // page links pointed back at themselves or elsewhere
          for (int k = 0; k < 3; ++k) {
            const size_t p = 3 + rng() % (pages - 3);
            const uint32_t target =
                (k == 0) ? static_cast<uint32_t>(p) : static_cast<uint32_t>(rng() % (pages + 5));
            for (int b = 0; b < 4; ++b)
              d[p * kPageSize + 12 + b] = static_cast<char>(target >> (24 - 8 * b));
          }
          break;
        }
      }
      std::ofstream(dir / (std::string(table) + ".ibd"), std::ios::binary | std::ios::trunc) << d;
      const auto start = std::chrono::steady_clock::now();
      const Exported x =
          ExportIbd(dir / (std::string(table) + ".frm"), dir / (std::string(table) + ".ibd"));
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20))
          << table << round;
      // Cut files, zeroed pages, bent links and flipped bits (through the page
      // checksums) are damage the reader can see: rows they cost must not go
      // missing without a word.
      if (x.found && x.result.expected_known) {
        EXPECT_LE(x.rows.size(), x.result.expected_rows) << table << " round " << round;
      }
      if (x.found && x.rows.size() > intact) ADD_FAILURE() << table << " round " << round;
      if (x.found && x.rows.size() < intact && !x.result.damaged) {
        ++silent_losses;
        ADD_FAILURE() << table << " round " << round << ": " << x.rows.size() << " of " << intact
                      << " rows, no damage reported";
      }
      ++cases;
    }
  }
  std::printf("damaged tablespaces read: %zu\n", cases);
}

TEST(InnoDbExternalTest, SakilaFromMySql50And55) {
  const fs::path root = testing::ExternalFixturesDir();
  if (root.empty()) GTEST_SKIP() << "no external fixtures";
  const std::map<std::string, uint64_t> known = {
      {"actor", 200},     {"address", 603},  {"category", 16}, {"city", 600},
      {"country", 109},   {"customer", 599}, {"film", 1000},   {"film_category", 1000},
      {"language", 6},    {"staff", 2},      {"store", 2},     {"film_actor", 5462},
      {"inventory", 4581}};
  for (const char* variant : {"5.0", "compact"}) {
    const fs::path dir = root / "innodb_ruby/sakila" / variant / "sakila";
    for (const auto& [table, rows] : known) {
      const Exported x = ExportIbd(dir / (table + ".frm"), dir / (table + ".ibd"));
      ASSERT_TRUE(x.found) << variant << " " << table;
      EXPECT_EQ(x.result.rows, rows) << variant << " " << table;
      EXPECT_FALSE(x.result.damaged) << x.log;
    }
    const Exported actor = ExportIbd(dir / "actor.frm", dir / "actor.ibd");
    EXPECT_EQ(actor.rows.front(),
              "INSERT INTO `actor`(`actor_id`,`first_name`,`last_name`,`last_update`) "
              "VALUES(1,'PENELOPE','GUINESS','2006-02-15 01:34:33');\r\n");
    const Exported film = ExportIbd(dir / "film.frm", dir / "film.ibd");
    EXPECT_NE(
        film.rows.front().find("VALUES(1,'ACADEMY DINOSAUR','A Epic Drama of a Feminist And a "
                               "Mad Scientist who must Battle a Teacher in The Canadian "
                               "Rockies',2006,1,NULL,6,0.99,86,20.99,'PG','Deleted Scenes,"
                               "Behind the Scenes',"),
        std::string::npos)
        << film.rows.front();
  }
}

// MySQL 5.6's REDUNDANT Sakila: the published row counts, and every row as
// the COMPACT copy of the same data gives it.
TEST(InnoDbExternalTest, RedundantSakilaFromMySql56) {
  const fs::path root = testing::ExternalFixturesDir();
  if (root.empty()) GTEST_SKIP() << "no external fixtures";
  const fs::path redundant = root / "innodb_ruby/sakila/redundant/sakila";
  const fs::path compact = root / "innodb_ruby/sakila/compact/sakila";
  const std::map<std::string, uint64_t> known = {
      {"actor", 200},     {"address", 603},  {"category", 16}, {"city", 600},
      {"country", 109},   {"customer", 599}, {"film", 1000},   {"film_category", 1000},
      {"language", 6},    {"staff", 2},      {"store", 2},     {"film_actor", 5462},
      {"inventory", 4581}};
  for (const auto& [table, rows] : known) {
    const Exported r = ExportIbd(redundant / (table + ".frm"), redundant / (table + ".ibd"));
    ASSERT_TRUE(r.found) << table;
    EXPECT_EQ(r.result.rows, rows) << table;
    EXPECT_FALSE(r.result.damaged) << r.log;
    if (table == "staff") continue;  // its picture goes to a numbered file either way
    const Exported c = ExportIbd(compact / (table + ".frm"), compact / (table + ".ibd"));
    std::vector<std::string> a = r.rows, b = c.rows;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b) << table;
  }
}

}  // namespace
}  // namespace vostrel
