// Real sample files with their chains broken into loops, and data directories
// with a file missing: the rows around the damage are saved, the damage is
// named in the log, and nothing repeats, hangs or grows past the source file.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "innodb/clustered_fields.h"
#include "innodb/extern_value.h"
#include "innodb/leaf_chain.h"
#include "innodb/record.h"
#include "innodb/system_dictionary.h"
#include "model/frm_reader.h"
#include "myisam/myd_reader.h"
#include "scan/scan.h"
#include "scan/selection.h"
#include "scan/table_preview.h"
#include "sql/row_export.h"
#include "sql/row_sink.h"
#include "sql/script_save.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using testing::CollectingSink;

struct LogOutput : NullOutput {
  std::string log;
  void WriteLogText(std::string_view t) override { log += t; }
  void AddOutputLine(std::string_view t) override {
    log += t;
    log += "\n";
  }
};

std::map<std::string, uint64_t> ExpectedCounts() {
  std::map<std::string, uint64_t> m;
  std::istringstream in(testing::ReadFileOrEmpty(testing::SampleExpectedDir() / "rowcounts.tsv"));
  std::string db, table;
  uint64_t n;
  while (in >> db >> table >> n) m[db + "." + table] = n;
  return m;
}

TableDef ReadDef(const fs::path& frm) {
  TableDef t;
  EXPECT_TRUE(ReadTableDefinition(frm, testing::Collations(), testing::DefaultCodePage(), t).ok)
      << frm;
  return t;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void PutBe32(std::string& bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

void PutBe64(std::string& bytes, size_t at, uint64_t v) {
  for (int i = 0; i < 8; ++i) bytes[at + i] = static_cast<char>(v >> (56 - 8 * i));
}

uint8_t* PageOf(std::string& file, uint32_t n) {
  return reinterpret_cast<uint8_t*>(file.data()) + size_t{n} * kPageSize;
}

// One table's .frm and .ibd copied into a fresh folder, the .ibd replaced.
struct InnoCopy {
  fs::path frm;
  fs::path ibd;
};

InnoCopy CopyInnoTable(const std::string& name, const std::string& folder,
                       const std::string& ibd_bytes) {
  const fs::path src = testing::SampleDataDir() / "shop";
  const fs::path dir = testing::TempDir(folder);
  fs::copy_file(src / (name + ".frm"), dir / (name + ".frm"));
  WriteFile(dir / (name + ".ibd"), ibd_bytes);
  return {dir / (name + ".frm"), dir / (name + ".ibd")};
}

struct InnoExport {
  TableExportResult result;
  std::vector<std::string> rows;
  std::string log;
  Clock::duration took{};
};

InnoExport ExportInno(const InnoCopy& t, const fs::path& blob_dir) {
  InnoExport e;
  const auto start = Clock::now();
  testing::TableExport x =
      testing::ExportTable(t.frm.parent_path(), t.frm.stem().string(), blob_dir);
  e.took = Clock::now() - start;
  EXPECT_TRUE(x.opened) << x.not_read;
  e.result = x.result;
  e.rows = std::move(x.rows);
  e.log = std::move(x.log);
  return e;
}

// No statement holds more than the whole source file could give, even as hex.
void ExpectStatementsBounded(const std::vector<std::string>& rows, uint64_t file_size) {
  for (const std::string& r : rows) ASSERT_LE(r.size(), 2 * file_size + 4096);
}

// The leaf pages of a table in chain order, from the intact file.
std::vector<uint32_t> LeafChain(const fs::path& frm, const fs::path& ibd) {
  Tablespace space;
  EXPECT_TRUE(space.Open(ibd, nullptr));
  const ClusteredIndex index = BuildClusteredIndexFromTableDef(ReadDef(frm), testing::Collations());
  std::vector<uint32_t> chain;
  PageBuffer page;
  for (uint32_t p = FindLeafPage(space, kClusteredRootIbd, index).leaf;
       p != kFilNull && chain.size() <= space.page_count() && space.ReadPage(p, page);
       p = ReadFilHeader(page.data()).next) {
    chain.push_back(p);
  }
  return chain;
}

size_t LiveRecords(const uint8_t* page) {
  return WalkPageRecords(page, 0, [](size_t) { return true; }).records;
}

// shop.ledger with its third leaf linked back to the first (its checksum
// made valid again, as a server that wrote the bad link would): the chain,
// the damaged tablespace and the rows of the three leaves before the loop.
struct LoopedLedger {
  std::vector<uint32_t> chain;
  std::string ibd;
  size_t rows_before_loop = 0;
};

// Sets a page's next-page link, keeping its checksum valid.
void Relink(std::string& ibd, uint32_t page, uint32_t next) {
  PutBe32(ibd, size_t{page} * kPageSize + 12, next);
  testing::RestampPage(PageOf(ibd, page));
}

LoopedLedger MakeLoopedLedger() {
  const fs::path shop = testing::SampleDataDir() / "shop";
  LoopedLedger l;
  l.chain = LeafChain(shop / "ledger.frm", shop / "ledger.ibd");
  if (l.chain.size() < 4) return l;
  l.ibd = testing::ReadFileOrEmpty(shop / "ledger.ibd");
  Relink(l.ibd, l.chain[2], l.chain[0]);
  for (int k = 0; k < 3; ++k) l.rows_before_loop += LiveRecords(PageOf(l.ibd, l.chain[k]));
  return l;
}

// The leaves past the loop are found by a scan of the file and saved once.
TEST(DamageTest, InnoDbLeafChainLoopingBackSavesEachLeafOnce) {
  const auto [chain, ibd, before_loop] = MakeLoopedLedger();
  ASSERT_GE(chain.size(), 4u);
  const InnoExport e = ExportInno(CopyInnoTable("ledger", "damage-leaf-loop", ibd), {});
  EXPECT_TRUE(e.result.completed);
  EXPECT_TRUE(e.result.damaged);
  EXPECT_GT(e.result.rows, before_loop);
  EXPECT_EQ(e.result.rows, ExpectedCounts().at("shop.ledger"));
  EXPECT_TRUE(e.result.expected_known);
  EXPECT_EQ(e.result.expected_rows, e.result.rows);
  EXPECT_NE(e.log.find("leaf chain loops back to page " + std::to_string(chain[0])),
            std::string::npos)
      << e.log;
  EXPECT_NE(e.log.find("not reached by the leaf chain"), std::string::npos) << e.log;
  EXPECT_EQ(std::set<std::string>(e.rows.begin(), e.rows.end()).size(), e.rows.size())
      << "rows were saved twice";
  ExpectStatementsBounded(e.rows, ibd.size());
  EXPECT_LT(e.took, std::chrono::seconds(20));
}

// A link that skips a leaf, or leads off the leaf level, is named; the
// leaves it cuts off are found by a scan and saved.
TEST(DamageTest, InnoDbLeafChainSkippingOrLeavingTheLeavesIsNamed) {
  const fs::path shop = testing::SampleDataDir() / "shop";
  const std::vector<uint32_t> chain = LeafChain(shop / "ledger.frm", shop / "ledger.ibd");
  ASSERT_GE(chain.size(), 4u);
  const std::string intact = testing::ReadFileOrEmpty(shop / "ledger.ibd");
  std::string ibd = intact;
  auto records = [&](size_t k) { return LiveRecords(PageOf(ibd, chain[k])); };
  size_t all = 0;
  for (size_t k = 0; k < chain.size(); ++k) all += records(k);

  // The first leaf's next page becomes the third: the second is skipped.
  Relink(ibd, chain[0], chain[2]);
  const InnoExport skipped = ExportInno(CopyInnoTable("ledger", "damage-leaf-skip", ibd), {});
  EXPECT_TRUE(skipped.result.damaged);
  EXPECT_EQ(skipped.result.rows, all);
  EXPECT_EQ(std::set<std::string>(skipped.rows.begin(), skipped.rows.end()).size(), all);
  EXPECT_NE(
      skipped.log.find("leaf page " + std::to_string(chain[1]) + " of ledger.ibd not reached"),
      std::string::npos)
      << skipped.log;
  EXPECT_NE(skipped.log.find("leaf chain is broken: page " + std::to_string(chain[2]) +
                             " links back to page " + std::to_string(chain[1]) + ", not to page " +
                             std::to_string(chain[0])),
            std::string::npos)
      << skipped.log;

  // The second leaf's next page becomes the root (a node-pointer page).
  ibd = intact;
  Relink(ibd, chain[1], kClusteredRootIbd);
  const InnoExport off = ExportInno(CopyInnoTable("ledger", "damage-leaf-off", ibd), {});
  EXPECT_TRUE(off.result.damaged);
  EXPECT_EQ(off.result.rows, all);
  EXPECT_TRUE(off.result.expected_known);
  EXPECT_NE(off.log.find("page " + std::to_string(kClusteredRootIbd) +
                         " on the leaf chain is not a leaf page"),
            std::string::npos)
      << off.log;

  // A self-link ends the chain as a loop, not as its end.
  ibd = intact;
  Relink(ibd, chain[1], chain[1]);
  const InnoExport self = ExportInno(CopyInnoTable("ledger", "damage-leaf-self", ibd), {});
  EXPECT_TRUE(self.result.damaged);
  EXPECT_EQ(self.result.rows, all);
  EXPECT_NE(self.log.find("leaf chain loops back to page " + std::to_string(chain[1])),
            std::string::npos)
      << self.log;
}

// Paging through the same loop in the records view ends instead of going
// round the loop screen after screen.
TEST(DamageTest, InnoDbLeafChainLoopEndsThePaging) {
  const auto [chain, ibd, expected] = MakeLoopedLedger();
  ASSERT_GE(chain.size(), 4u);
  const fs::path shop = testing::SampleDataDir() / "shop";
  const fs::path datadir = testing::TempDir("damage-preview-loop");
  fs::create_directories(datadir / "shop");
  fs::copy_file(shop / "ledger.frm", datadir / "shop/ledger.frm");
  WriteFile(datadir / "shop/ledger.ibd", ibd);

  LogOutput out;
  const ScanResult scan = ScanDataDirectory(datadir, out);
  ASSERT_EQ(scan.m_tableEntries.size(), 1u);
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
  TablePreview preview(ctx);
  std::string error;
  ASSERT_TRUE(preview.Open(scan, 0, &error)) << error;
  PreviewPager pager(preview);
  std::set<std::string> ids;
  size_t shown = 0, screens = 0;
  for (const PreviewScreen* s = &pager.First(); s != nullptr && screens < 50; s = pager.Next()) {
    ++screens;
    for (const Row& r : s->rows) {
      ids.insert(r[0].text);
      ++shown;
    }
  }
  EXPECT_LT(screens, 50u) << "paging went round the loop";
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(ids.size(), shown) << "rows shown twice";
  EXPECT_NE(preview.damage().find("leaf chain loops back to page " + std::to_string(chain[0])),
            std::string::npos)
      << preview.damage();
}

// The value pages of the first record of `leaf` that keeps a value off-page.
std::vector<uint32_t> FirstValueChain(const std::string& ibd, uint32_t leaf,
                                      const ClusteredIndex& index, uint32_t* length) {
  const uint8_t* page = reinterpret_cast<const uint8_t*>(ibd.data()) + size_t{leaf} * kPageSize;
  std::vector<uint32_t> chain;
  WalkPageRecords(page, 0, [&](size_t origin) {
    std::vector<FieldSpan> spans;
    if (!SplitRecord(page, origin, index, spans)) return true;
    for (const FieldSpan& s : spans) {
      if (!s.external || s.length < 20) continue;
      const ExternRef ref = ParseExternRef(page + s.offset + s.length - 20);
      *length = ref.length;
      for (uint32_t p = ref.page; p != kFilNull && chain.size() < 64;) {
        chain.push_back(p);
        const size_t off = chain.size() == 1 ? ref.offset : kPageHeader;
        p = PageU32(reinterpret_cast<const uint8_t*>(ibd.data()) + size_t{p} * kPageSize, off + 4);
      }
      return false;
    }
    return true;
  });
  return chain;
}

TEST(DamageTest, InnoDbValuePageChainLoopingBackEndsTheValue) {
  const fs::path shop = testing::SampleDataDir() / "shop";
  const std::vector<uint32_t> leaves = LeafChain(shop / "documents.frm", shop / "documents.ibd");
  ASSERT_FALSE(leaves.empty());
  std::string ibd = testing::ReadFileOrEmpty(shop / "documents.ibd");
  const ClusteredIndex index =
      BuildClusteredIndexFromTableDef(ReadDef(shop / "documents.frm"), testing::Collations());
  uint32_t length = 0;
  std::vector<uint32_t> chain;
  for (uint32_t leaf : leaves) {
    chain = FirstValueChain(ibd, leaf, index, &length);
    if (chain.size() >= 3) break;
  }
  ASSERT_GE(chain.size(), 3u) << "no value spans three pages";
  // The second value page leads back to the first.
  PutBe32(ibd, size_t{chain[1]} * kPageSize + kPageHeader + 4, chain[0]);
  testing::RestampPage(PageOf(ibd, chain[1]));
  const InnoCopy copy = CopyInnoTable("documents", "damage-blob-loop", ibd);
  const auto expected = ExpectedCounts();

  // Script save: large values go to numbered files, the same numbers as from the intact file.
  auto file_sizes = [](const fs::path& dir) {
    std::map<std::string, uint64_t> sizes;
    for (const auto& f : fs::directory_iterator(dir))
      sizes[f.path().filename().string()] = f.file_size();
    return sizes;
  };
  const fs::path intact_dir = testing::TempDir("damage-blob-intact-files");
  ExportInno({shop / "documents.frm", shop / "documents.ibd"}, intact_dir);
  const fs::path blob_dir = testing::TempDir("damage-blob-loop-files");
  const InnoExport e = ExportInno(copy, blob_dir);
  EXPECT_TRUE(e.result.damaged);
  EXPECT_EQ(e.result.rows, expected.at("shop.documents"));  // every row, one value cut short
  EXPECT_NE(e.log.find("value page chain loops back to page " + std::to_string(chain[0])),
            std::string::npos)
      << e.log;
  const auto intact = file_sizes(intact_dir);
  const auto damaged = file_sizes(blob_dir);
  ASSERT_EQ(damaged.size(), intact.size());
  int cut = 0;
  for (const auto& [name, size] : damaged) {
    EXPECT_LE(size, ibd.size());
    if (size != intact.at(name)) {
      ++cut;
      EXPECT_LT(size, length);
      EXPECT_EQ(intact.at(name), length);
    }
  }
  EXPECT_EQ(cut, 1) << "exactly the looping value is cut short";
  EXPECT_LT(e.took, std::chrono::seconds(20));

  // Values inline, as a save into a server keeps them.
  const InnoExport inline_values = ExportInno(copy, {});
  EXPECT_EQ(inline_values.result.rows, expected.at("shop.documents"));
  EXPECT_NE(inline_values.log.find("value page chain loops back"), std::string::npos);
  ExpectStatementsBounded(inline_values.rows, ibd.size());
}

TEST(DamageTest, DictionaryLeafChainLoopingBackListsEachRowOnce) {
  const fs::path sample = testing::SampleDataDir();
  SystemDictionary intact;
  ASSERT_TRUE(intact.Load(sample / "ibdata1"));
  std::string ibdata = testing::ReadFileOrEmpty(sample / "ibdata1");
  // SYS_COLUMNS' only leaf (page 10) leads back to itself; then on to page 9,
  // a leaf of another index, which leads back to it.
  ASSERT_EQ(ReadFilHeader(PageOf(ibdata, 10)).next, kFilNull);
  const std::string intact_bytes = ibdata;
  Relink(ibdata, 10, 10);
  const fs::path self_dir = testing::TempDir("damage-dictionary-self");
  WriteFile(self_dir / "ibdata1", ibdata);
  SystemDictionary self;
  ASSERT_TRUE(self.Load(self_dir / "ibdata1"));
  EXPECT_NE(self.damage().Summary().find("SYS_COLUMNS: leaf chain loops back to page 10"),
            std::string::npos)
      << self.damage().Summary();
  EXPECT_EQ(self.columns().size(), intact.columns().size());
  ibdata = intact_bytes;
  Relink(ibdata, 10, 9);
  Relink(ibdata, 9, 10);
  const fs::path dir = testing::TempDir("damage-dictionary-loop");
  WriteFile(dir / "ibdata1", ibdata);
  SystemDictionary d;
  const auto start = Clock::now();
  ASSERT_TRUE(d.Load(dir / "ibdata1"));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  EXPECT_NE(d.damage().Summary().find("SYS_COLUMNS: page 9 on the leaf chain is not one of its"),
            std::string::npos)
      << d.damage().Summary();
  EXPECT_EQ(d.columns().size(), intact.columns().size());
  EXPECT_EQ(d.tables().size(), intact.tables().size());
  ClusteredIndex a, b;
  const TableDef orders = ReadDef(sample / "shop/orders.frm");
  ASSERT_TRUE(intact.BuildClusteredIndex(intact.FindTableId("shop/orders"), orders,
                                         testing::Collations(), a, nullptr));
  ASSERT_TRUE(d.BuildClusteredIndex(d.FindTableId("shop/orders"), orders, testing::Collations(), b,
                                    nullptr));
  ASSERT_EQ(a.fields.size(), b.fields.size());
  for (size_t i = 0; i < a.fields.size(); ++i) EXPECT_EQ(a.fields[i].name, b.fields[i].name);
}

uint64_t Be(const std::string& bytes, size_t at, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width; ++i) v = (v << 8) | static_cast<uint8_t>(bytes[at + i]);
  return v;
}

TEST(DamageTest, MyisamBlockChainLoopingBackLosesOnlyThatRecord) {
  const fs::path src = testing::SampleDataDir() / "legacy";
  std::string myd = testing::ReadFileOrEmpty(src / "notes.MYD");
  // A record whose first block (type 5) leads to a block that has a further
  // link (type 11): that link is pointed back at its own block.
  TableDef def = ReadDef(src / "notes.frm");
  MyiHeader header;
  ASSERT_TRUE(ReadMyiHeader(src / "notes.MYI", header).has_columns);
  DataFile file;
  ASSERT_TRUE(file.Open(src / "notes.MYD", nullptr));
  DamageLog intact;
  MydWalker walker(def, header, file, intact);
  uint64_t looped = 0;
  walker.Walk(
      0,
      [&](const MyisamRecord& rec, uint64_t) {
        // Type 5 headers are 13 bytes: type, record length, block length, next block.
        const uint64_t head = rec.position - 13;
        if (rec.position < 13 || myd[head] != 5) return true;
        const uint64_t next = Be(myd, head + 5, 8);
        if (next + 11 > myd.size() || myd[next] != 11) return true;
        PutBe64(myd, next + 3, next);
        looped = head;
        return false;
      },
      nullptr);
  ASSERT_NE(looped, 0u) << "no record of three blocks";
  const fs::path dir = testing::TempDir("damage-myisam-loop");
  fs::copy_file(src / "notes.frm", dir / "notes.frm");
  fs::copy_file(src / "notes.MYI", dir / "notes.MYI");
  WriteFile(dir / "notes.MYD", myd);

  const auto start = Clock::now();
  const testing::TableExport x = testing::ExportTable(dir, "notes");
  const TableExportResult& r = x.result;
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
  EXPECT_TRUE(r.damaged);
  EXPECT_EQ(r.rows + 1, ExpectedCounts().at("legacy.notes"));
  EXPECT_NE(x.log.find("block chain of a record loops at byte " + std::to_string(looped)),
            std::string::npos)
      << x.log;
  ExpectStatementsBounded(x.rows, myd.size());
}

// Rows lost without a trace in the data file itself (a file cut at a row
// boundary, rows that read as deleted) are told by the index file's counts.
TEST(DamageTest, MyisamRowsMissingAgainstTheIndexFileAreNamed) {
  const fs::path src = testing::SampleDataDir() / "legacy";
  const TableDef def = ReadDef(src / "parts.frm");
  MyiHeader header;
  ASSERT_TRUE(ReadMyiHeader(src / "parts.MYI", header).has_columns);
  ASSERT_EQ(header.row_format, kRowFixed);
  const uint64_t expected = ExpectedCounts().at("legacy.parts");
  ASSERT_EQ(header.live_rows, expected);
  const std::string myd = testing::ReadFileOrEmpty(src / "parts.MYD");
  const size_t row = header.packed_row_length;
  ASSERT_GT(row, 0u);
  ASSERT_EQ(myd.size() % row, 0u);
  const fs::path dir = testing::TempDir("damage-myisam-counts");
  fs::copy_file(src / "parts.frm", dir / "parts.frm");
  fs::copy_file(src / "parts.MYI", dir / "parts.MYI");
  auto save = [&](const std::string& bytes, std::string* log) {
    WriteFile(dir / "parts.MYD", bytes);
    const testing::TableExport x = testing::ExportTable(dir, "parts");
    *log = x.log;
    return x.result;
  };

  std::string log;
  const size_t cut = myd.size() - 10 * row;  // ten whole rows gone
  const TableExportResult short_file = save(myd.substr(0, cut), &log);
  EXPECT_TRUE(short_file.damaged);
  EXPECT_LT(short_file.rows, expected);
  EXPECT_NE(log.find("the file holds " + std::to_string(cut) + " bytes of the " +
                     std::to_string(myd.size()) + " its index file records"),
            std::string::npos)
      << log;

  // Three live rows' delete marks cleared.
  std::string marked = myd;
  int cleared = 0;
  for (size_t at = 0; at < marked.size() && cleared < 3; at += row) {
    if (marked[at] & 1) {
      marked[at] = static_cast<char>(marked[at] & ~1);
      ++cleared;
    }
  }
  const TableExportResult unmarked = save(marked, &log);
  EXPECT_TRUE(unmarked.damaged);
  EXPECT_EQ(unmarked.rows, expected - 3);
  EXPECT_NE(log.find("its index file counts " + std::to_string(expected) + " rows, " +
                     std::to_string(expected - 3) + " were read"),
            std::string::npos)
      << log;

  const TableExportResult whole = save(myd, &log);
  EXPECT_FALSE(whole.damaged) << log;
  EXPECT_EQ(whole.rows, expected);
}

// A data directory of copied database folders, saved whole as scripts.
struct SavedDir {
  ScriptSaveResult result;
  std::string log;
  std::map<std::string, uint64_t> rows;  // db.table -> rows saved
  std::map<std::string, std::string> scripts;
};

SavedDir SaveAll(const fs::path& datadir, const std::string& name) {
  SavedDir s;
  LogOutput out;
  const ScanResult scan = ScanDataDirectory(datadir, out);
  std::atomic<bool> stop{false};
  uint64_t blob_counter = 0;
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, &stop, &blob_counter};
  const fs::path chosen = testing::TempDir(name + "-out");
  s.result = RunScriptSave(scan, SelectItems(scan, {}, nullptr), chosen, ctx);
  for (const SavedTable& t : s.result.tables) {
    if (t.state == TableState::kComplete || t.state == TableState::kDamaged) {
      s.rows[t.database + "." + t.table] = t.rows;
    }
  }
  for (const auto& f : fs::directory_iterator(s.result.save_folder)) {
    if (f.path().extension() == ".sql")
      s.scripts[f.path().stem().string()] = testing::ReadFileOrEmpty(f.path());
  }
  s.log = std::move(out.log);
  return s;
}

void CopyTable(const fs::path& from_db, const fs::path& to_db, const std::string& table) {
  fs::create_directories(to_db);
  for (const auto& f : fs::directory_iterator(from_db)) {
    if (f.path().stem() == table) fs::copy_file(f.path(), to_db / f.path().filename());
  }
}

TEST(DamageTest, MissingIndexFileIsNamedAndTheOtherTablesAreSaved) {
  const fs::path root = testing::TempDir("damage-no-myi") / "data";
  fs::create_directories(root);
  fs::copy(testing::SampleDataDir() / "legacy", root / "legacy", fs::copy_options::recursive);
  fs::remove(root / "legacy/parts.MYI");
  const SavedDir s = SaveAll(root, "damage-no-myi");
  const auto expected = ExpectedCounts();
  EXPECT_NE(s.log.find((root / "legacy/parts.MYI").string() + " cannot be read"), std::string::npos)
      << s.log;
  EXPECT_EQ(s.rows.count("legacy.parts"), 0u);
  for (const char* t : {"contacts", "counters", "notes", "old_times", "old_times_innodb"}) {
    EXPECT_EQ(s.rows.at(std::string("legacy.") + t), expected.at(std::string("legacy.") + t)) << t;
  }
  // The table itself is still recreated, only without rows.
  const std::string& sql = s.scripts.at("legacy");
  EXPECT_NE(sql.find("CREATE TABLE `parts`"), std::string::npos);
  EXPECT_EQ(sql.find("INSERT INTO `parts`"), std::string::npos);
}

TEST(DamageTest, MissingIbdataReportsTheTablesInsideAndSavesTheRest) {
  const fs::path sample = testing::SampleDataDir();
  const fs::path root = testing::TempDir("damage-no-ibdata") / "data";
  fs::create_directories(root);
  fs::copy(sample / "inner", root / "inner", fs::copy_options::recursive);
  for (const char* t : {"customers", "orders", "sessions"})
    CopyTable(sample / "shop", root / "shop", t);
  CopyTable(sample / "legacy", root / "legacy", "parts");
  const SavedDir s = SaveAll(root, "damage-no-ibdata");
  const auto expected = ExpectedCounts();
  EXPECT_NE(s.log.find("ibdata1 File cannot be open"), std::string::npos) << s.log;
  for (const char* t : {"products", "tags"}) {
    EXPECT_EQ(s.rows.count(std::string("inner.") + t), 0u) << t;
    EXPECT_NE(s.log.find(std::string("Rows of inner.") + t + " are not saved"), std::string::npos)
        << s.log;
  }
  for (const char* t : {"shop.customers", "shop.orders", "shop.sessions", "legacy.parts"}) {
    EXPECT_EQ(s.rows.at(t), expected.at(t)) << t;
  }
  EXPECT_NE(s.scripts.at("inner").find("CREATE TABLE `products`"), std::string::npos);
}

}  // namespace
}  // namespace vostrel
