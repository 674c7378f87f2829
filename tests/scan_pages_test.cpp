// scan-pages: tables of the sample (made by MariaDB) embedded in images
// among random bytes at 512-byte shifts, with damaged and older copies of
// their pages; the rows it recovers are the rows a save of the data directory
// gives.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>

#include "innodb/clustered_fields.h"
#include "innodb/image_pages.h"
#include "innodb/image_reader.h"
#include "innodb/page.h"
#include "model/frm_reader.h"
#include "sql/row_export.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;
using testing::Collations;
using testing::DefaultCodePage;

std::string Bytes(const fs::path& p) {
  return testing::ReadFileOrEmpty(p);
}

std::string Junk(size_t sectors, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::string s(sectors * 512, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

uint8_t* PageAt(std::string& file, uint32_t n) {
  return reinterpret_cast<uint8_t*>(file.data()) + size_t{n} * kPageSize;
}

void SetLsn(uint8_t* p, uint64_t lsn) {
  for (int i = 0; i < 8; ++i) p[16 + i] = static_cast<uint8_t>(lsn >> (56 - 8 * i));
  for (int i = 0; i < 4; ++i) p[kPageSize - 4 + i] = p[20 + i];
}

void SetU32(uint8_t* p, size_t off, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[off + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// The clustered index of an .ibd: the one its root, page 3, names.
uint64_t ClusteredId(std::string& ibd) {
  return PageIndexId(PageAt(ibd, 3));
}

std::vector<uint32_t> LeavesOf(std::string& ibd, uint64_t id) {
  std::vector<uint32_t> leaves;
  for (uint32_t n = 0; size_t{n + 1} * kPageSize <= ibd.size(); ++n) {
    const uint8_t* p = PageAt(ibd, n);
    if (IsIndexPageType(ReadFilHeader(p).type) && PageLevel(p) == 0 && PageIndexId(p) == id)
      leaves.push_back(n);
  }
  return leaves;
}

fs::path WriteImage(const std::string& name, const std::vector<std::string>& parts) {
  const fs::path path = testing::TempDir("scan-pages-" + name) / "disk.img";
  std::ofstream out(path, std::ios::binary);
  for (const std::string& p : parts) out.write(p.data(), static_cast<std::streamsize>(p.size()));
  return path;
}

struct Recovered {
  TableExportResult result;
  std::vector<std::string> rows;
  std::string log;
  size_t chains = 0;
};

// The rows of index `id` in the image, read with the table's .frm of the sample.
Recovered RecoverFromImage(const fs::path& image_path, uint64_t id, const std::string& table,
                           const fs::path& folder = testing::SampleDataDir() / "shop") {
  TableDef def;
  ReadTableDefinition(folder / (table + ".frm"), Collations(), DefaultCodePage(), def);
  ImageFile image;
  std::string error;
  EXPECT_TRUE(image.Open(image_path, &error)) << error;
  ImageScanOptions options;
  options.keep_index = id;
  options.keep_value_pages = true;
  options.chunk = 64 * 1024;  // many chunk boundaries
  const ImageScanResult scan = ScanImagePages(image, options);
  std::vector<ImagePage> leaves;
  for (const ImagePage& e : scan.index_pages) {
    if (e.level == 0) leaves.push_back(e);
  }
  // As the command does: leaves the tablespace marks free, or off the whole chain, left out.
  TakeOutFreeLeaves(image, scan, leaves);
  TakeOutLeavesOffTheChain(leaves);
  ClusteredIndex index = BuildClusteredIndexFromTableDef(def, Collations());
  Recovered r;
  if (scan.indexes.count(id) && scan.indexes.at(id).instant_pages != 0) {
    r.log = ReadImageInstantLayout(image, scan, leaves, def, index);
    EXPECT_EQ(r.log, "");
  }
  struct Log : NullOutput {
    std::string text;
    void WriteLogText(std::string_view t) override { text += t; }
  } out;
  EngineContext ctx{Collations(), DefaultCodePage(), out, nullptr};
  ImageLeafReader reader(image, def, index, std::move(leaves), scan.value_pages, ctx);
  testing::CollectingSink sink;
  r.result = ExportTableRows(reader, def, table, sink, nullptr, ctx, "test");
  r.rows = std::move(sink.rows);
  r.log = std::move(out.text);
  r.chains = reader.chains();
  return r;
}

class ScanPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shop_ = testing::SampleDataDir() / "shop";
    ledger_ = Bytes(shop_ / "ledger.ibd");
    documents_ = Bytes(shop_ / "documents.ibd");
    ASSERT_FALSE(ledger_.empty());
    ASSERT_FALSE(documents_.empty());
    ledger_id_ = ClusteredId(ledger_);
    documents_id_ = ClusteredId(documents_);
  }
  fs::path shop_;
  std::string ledger_, documents_;
  uint64_t ledger_id_ = 0, documents_id_ = 0;
};

// The tables at odd 512-byte offsets among junk, a leaf of ledger again with
// a higher LSN but a broken checksum, and another leaf's records passed off
// as that leaf with a lower LSN: the newest whole copy wins, the rows are
// exactly those of a save, and the image is left as it was.
TEST_F(ScanPagesTest, RecoversExactlyTheRowsOfTheDataDirectory) {
  std::vector<uint32_t> leaves = LeavesOf(ledger_, ledger_id_);
  ASSERT_GE(leaves.size(), 3u);
  const uint32_t target = leaves[1];
  std::string damaged(reinterpret_cast<const char*>(PageAt(ledger_, target)), kPageSize);
  auto* d = reinterpret_cast<uint8_t*>(damaged.data());
  SetLsn(d, PageU64(d, 16) + 1000);
  d[kPageSize / 2] ^= 0x5A;
  std::string older(reinterpret_cast<const char*>(PageAt(ledger_, leaves[2])), kPageSize);
  auto* o = reinterpret_cast<uint8_t*>(older.data());
  const uint8_t* t = PageAt(ledger_, target);
  SetU32(o, 4, target);
  SetU32(o, 8, PageU32(t, 8));
  SetU32(o, 12, PageU32(t, 12));
  SetLsn(o, PageU64(t, 16) - 1);
  testing::RestampPage(o);

  const fs::path image = WriteImage("exact", {Junk(7, 1), ledger_, Junk(3, 2), older, Junk(1, 3),
                                              documents_, Junk(5, 4), damaged, Junk(9, 5)});
  const std::string before = Bytes(image);
  const auto mtime = fs::last_write_time(image);

  ImageFile file;
  std::string error;
  ASSERT_TRUE(file.Open(image, &error)) << error;
  const ImageScanResult scan = ScanImagePages(file, {});
  ASSERT_TRUE(scan.indexes.count(ledger_id_));
  const ImageIndexSummary& s = scan.indexes.at(ledger_id_);
  EXPECT_EQ(s.leaves, leaves.size());
  EXPECT_EQ(s.records, 5840u);
  EXPECT_EQ(s.older_copies, 1u);
  EXPECT_EQ(s.bad_checksum, 1u);
  EXPECT_EQ(s.spaces.size(), 1u);
  EXPECT_EQ(s.redundant_pages, 0u);
  ASSERT_TRUE(scan.indexes.count(documents_id_));
  EXPECT_EQ(scan.indexes.at(documents_id_).records, 10u);
  // The ledger's secondary index is grouped apart; junk that only looks like a page is not.
  uint64_t grouped = 0;
  for (const auto& [id, g] : scan.indexes) grouped += g.pages != 0;
  EXPECT_EQ(grouped, 3u);

  for (const auto& [table, id] : {std::pair{std::string("ledger"), ledger_id_},
                                  std::pair{std::string("documents"), documents_id_}}) {
    SCOPED_TRACE(table);
    const testing::TableExport normal = testing::ExportTable(shop_, table);
    ASSERT_TRUE(normal.opened);
    const Recovered r = RecoverFromImage(image, id, table);
    EXPECT_TRUE(r.result.completed);
    EXPECT_FALSE(r.result.damaged) << r.result.damage << r.log;
    EXPECT_EQ(r.chains, 1u);
    EXPECT_TRUE(r.result.expected_known);
    EXPECT_EQ(r.result.expected_rows, normal.rows.size());
    EXPECT_EQ(r.rows, normal.rows);
  }
  EXPECT_EQ(Bytes(image), before);
  EXPECT_EQ(fs::last_write_time(image), mtime);
}

// Other checksums, the redundant format, off-page values of both, and tables
// changed by instant ALTER TABLE (columns added, dropped, reordered).
TEST_F(ScanPagesTest, FullCrc32RedundantAndInstantTables) {
  const fs::path fc = testing::UnpackedFixture("checksum-full_crc32") / "fc";
  const fs::path fmt = testing::UnpackedFixture("innodb-formats") / "datadir" / "fmt";
  for (const auto& [folder, table] :
       {std::pair{fc, "many"}, std::pair{fc, "docs"}, std::pair{fmt, "types_redundant"},
        std::pair{fmt, "nokey_redundant"}, std::pair{fmt, "add_end_compact"},
        std::pair{fmt, "add_end_redundant"}, std::pair{fmt, "reorder_dynamic"},
        std::pair{fmt, "dropped_compact"}, std::pair{fmt, "deep_dynamic"}}) {
    SCOPED_TRACE(table);
    std::string ibd = Bytes(folder / (std::string(table) + ".ibd"));
    ASSERT_FALSE(ibd.empty());
    const fs::path image = WriteImage(table, {Junk(13, 31), ibd, Junk(2, 32)});
    const testing::TableExport normal = testing::ExportTable(folder, table);
    ASSERT_TRUE(normal.opened);
    ASSERT_FALSE(normal.rows.empty());
    const Recovered r = RecoverFromImage(image, ClusteredId(ibd), table, folder);
    EXPECT_FALSE(r.result.damaged) << r.result.damage << r.log;
    EXPECT_EQ(r.rows, normal.rows);
  }
}

// ROW_FORMAT=COMPRESSED of every page size, with compressed off-page values,
// modification logs and leaves left behind by updates and deletes.
TEST_F(ScanPagesTest, CompressedTables) {
  const fs::path zip = testing::UnpackedFixture("zip-tables") / "zip";
  for (const char* table : {"t_kb1", "t_kb2", "t_kb4", "t_kb8", "t_kb16", "nopk_kb4"}) {
    SCOPED_TRACE(table);
    std::string ibd = Bytes(zip / (std::string(table) + ".ibd"));
    ASSERT_FALSE(ibd.empty());
    // Compressed pages are found at 512-byte steps; the last ones end the image.
    const fs::path image = WriteImage(table, {Junk(9, 71), ibd});
    ImageFile file;
    std::string error;
    ASSERT_TRUE(file.Open(image, &error));
    const ImageScanResult scan = ScanImagePages(file, {});
    ASSERT_FALSE(scan.indexes.empty());
    const uint64_t id = scan.indexes.begin()->first;  // the lowest: the clustered index
    EXPECT_NE(scan.indexes.begin()->second.zip_pages, 0u);
    const testing::TableExport normal = testing::ExportTable(zip, table);
    ASSERT_TRUE(normal.opened);
    ASSERT_FALSE(normal.rows.empty());
    const Recovered r = RecoverFromImage(image, id, table, zip);
    EXPECT_FALSE(r.result.damaged) << r.result.damage << r.log;
    EXPECT_EQ(r.rows, normal.rows);
  }
}

// A leaf missing from the image and the value pages of one value zeroed:
// the rows they held are named as not read, never made up.
TEST_F(ScanPagesTest, WhatTheImageLacksIsNamed) {
  std::string ledger = ledger_;
  const std::vector<uint32_t> leaves = LeavesOf(ledger, ledger_id_);
  const uint32_t lost = leaves[leaves.size() / 2];
  const uint64_t lost_records = PageRecordCount(PageAt(ledger, lost));
  std::memset(PageAt(ledger, lost), 0, kPageSize);
  std::string documents = documents_;
  uint32_t zeroed = 0;
  for (uint32_t n = 0; size_t{n + 1} * kPageSize <= documents.size(); ++n) {
    if (ReadFilHeader(PageAt(documents, n)).type == kPageTypeBlob && zeroed++ == 0)
      std::memset(PageAt(documents, n), 0, kPageSize);
  }
  ASSERT_EQ(zeroed > 0, true);
  const fs::path image = WriteImage("lacking", {Junk(3, 9), ledger, Junk(1, 8), documents});

  const Recovered l = RecoverFromImage(image, ledger_id_, "ledger");
  EXPECT_TRUE(l.result.damaged);
  EXPECT_NE(l.result.damage.find("not found whole in the image"), std::string::npos)
      << l.result.damage;
  EXPECT_NE(l.log.find("links to page " + std::to_string(lost)), std::string::npos) << l.log;
  EXPECT_EQ(l.rows.size(), 5840u - lost_records);
  EXPECT_FALSE(l.result.expected_known);

  const Recovered d = RecoverFromImage(image, documents_id_, "documents");
  EXPECT_TRUE(d.result.damaged);
  EXPECT_NE(d.log.find("not read: value page"), std::string::npos) << d.log;
  EXPECT_EQ(d.rows.size(), 10u);
}

// Chunks meet pages anywhere: every alignment of a page to the chunk finds it.
TEST_F(ScanPagesTest, PagesAcrossChunkBoundaries) {
  const std::string leaf(
      reinterpret_cast<const char*>(PageAt(ledger_, LeavesOf(ledger_, ledger_id_)[0])), kPageSize);
  std::vector<std::string> parts;
  for (size_t k = 1; k <= 40; ++k) {
    parts.push_back(Junk(k, k));
    parts.push_back(leaf);
  }
  const fs::path image = WriteImage("chunks", parts);
  ImageFile file;
  std::string error;
  ASSERT_TRUE(file.Open(image, &error));
  for (const size_t chunk : {size_t{16384}, size_t{20480}, size_t{65536}, size_t{8} << 20}) {
    ImageScanOptions options;
    options.chunk = chunk;
    const ImageScanResult r = ScanImagePages(file, options);
    ASSERT_EQ(r.index_pages.size(), 1u) << chunk;
    EXPECT_EQ(r.older_copies, 39u) << chunk;
    EXPECT_EQ(r.bytes_scanned, file.size());
  }
}

// The command: listing, grouping, honest exit codes, and a recovery with a
// CREATE TABLE statement whose script holds the rows a save writes.
TEST_F(ScanPagesTest, Command) {
  const fs::path image = WriteImage("cli", {Junk(11, 21), ledger_, Junk(2, 22), documents_});
  const fs::path dir = image.parent_path();
  const std::string cli = testing::CliPath() + " scan-pages " + image.string() + " --log-dir " +
                          dir.string() + " --quiet";
  std::string out;
  EXPECT_EQ(testing::RunCommand(cli, &out), 0);
  const size_t line = out.find("\n" + std::to_string(ledger_id_) + "\t");
  ASSERT_NE(line, std::string::npos) << out;
  EXPECT_NE(out.substr(line, out.find('\n', line + 1) - line).find("likely the clustered index"),
            std::string::npos)
      << out;
  // The ledger's secondary index is no clustered one.
  const size_t second = out.find("\n" + std::to_string(ledger_id_ + 1) + "\t");
  ASSERT_NE(second, std::string::npos) << out;
  EXPECT_EQ(out.substr(second, out.find('\n', second + 1) - second).find("clustered"),
            std::string::npos);
  EXPECT_NE(out.find("\t5840\t"), std::string::npos) << out;
  EXPECT_NE(out.find("Compact or Dynamic"), std::string::npos) << out;

  EXPECT_EQ(testing::RunCommand(cli + " --index-id 999999 2>&1", &out), 1);
  EXPECT_NE(out.find("no page of index 999999"), std::string::npos) << out;

  const fs::path junk = dir / "junk.img";
  std::ofstream(junk, std::ios::binary) << Junk(200, 5);
  EXPECT_EQ(testing::RunCommand(testing::CliPath() + " scan-pages " + junk.string() +
                                    " --log-dir " + dir.string() + " 2>&1",
                                &out),
            1);
  EXPECT_NE(out.find("no InnoDB index page found"), std::string::npos) << out;

  // The statement as mariadb-dump wrote it, among the other tables of shop.
  const fs::path defs = testing::SampleExpectedDir() / "dump" / "shop.sql";
  const fs::path scripts = dir / "out";
  EXPECT_EQ(
      testing::RunCommand(cli + " --index-id " + std::to_string(ledger_id_) + " --definitions " +
                              defs.string() + " --script " + scripts.string() + " 2>&1",
                          &out),
      2)
      << out;  // which of them must be said
  EXPECT_NE(out.find("name the table"), std::string::npos) << out;
  ASSERT_EQ(
      testing::RunCommand(cli + " --index-id " + std::to_string(ledger_id_) + " --definitions " +
                              defs.string() + " shop.ledger --script " + scripts.string(),
                          &out),
      0)
      << out;
  EXPECT_NE(out.find("5840 of 5840 rows"), std::string::npos) << out;
  const std::string script = Bytes(scripts / "Scriptdata" / "shop.sql");
  const fs::path saved = dir / "saved";
  ASSERT_EQ(testing::RunCommand(testing::CliPath() + " save " + testing::SampleDataDir().string() +
                                    " shop.ledger --script " + saved.string() + " --log-dir " +
                                    dir.string() + " --quiet >/dev/null",
                                &out),
            0);
  const std::string normal = Bytes(saved / "Scriptdata" / "shop.sql");
  auto inserts = [](const std::string& s) {
    std::vector<std::string> v;
    size_t at = 0;
    while ((at = s.find("INSERT INTO", at)) != std::string::npos) {
      const size_t end = s.find("\r\n", at);
      v.push_back(s.substr(at, end - at));
      at = end;
    }
    return v;
  };
  EXPECT_EQ(inserts(script).size(), 5840u);
  EXPECT_EQ(inserts(script), inserts(normal));
}

// The ledger's secondary index read with the table's definition: its
// records split so run into each other, and no row is made of them.
TEST_F(ScanPagesTest, AnotherIndexDoesNotFitTheDefinition) {
  const fs::path image = WriteImage("wrong-index", {Junk(3, 61), ledger_});
  const Recovered r = RecoverFromImage(image, ledger_id_ + 1, "ledger");
  EXPECT_TRUE(r.rows.empty()) << r.rows.size() << " rows, first: " << r.rows[0];
  EXPECT_TRUE(r.result.damaged);
  EXPECT_NE(r.result.damage.find("do not fit the table definition"), std::string::npos)
      << r.result.damage;
  EXPECT_TRUE(r.result.expected_known);
  EXPECT_EQ(r.result.expected_rows, 5840u);
}

// Two servers' copies of a table on one disk share the index id: their rows
// are not mixed, the tablespace must be chosen.
TEST_F(ScanPagesTest, OneIndexIdInTwoTablespaces) {
  std::string other = ledger_;
  const uint32_t space = PageU32(PageAt(other, 0), 34);
  for (uint32_t n = 0; size_t{n + 1} * kPageSize <= other.size(); ++n) {
    uint8_t* p = PageAt(other, n);
    if (PageU32(p, 34) != space) continue;
    SetU32(p, 34, space + 1000);
    if (n == 0) SetU32(p, kPageHeader, space + 1000);
    testing::RestampPage(p);
  }
  const fs::path image = WriteImage("two-spaces", {Junk(5, 41), ledger_, Junk(3, 42), other});
  const fs::path dir = image.parent_path();
  const std::string cli = testing::CliPath() + " scan-pages " + image.string() + " --log-dir " +
                          dir.string() + " --quiet --index-id " + std::to_string(ledger_id_);
  std::string out;
  EXPECT_EQ(testing::RunCommand(cli, &out), 0);
  EXPECT_NE(out.find("\t11680\t" + std::to_string(space) + ", " + std::to_string(space + 1000)),
            std::string::npos)
      << out;
  const std::string recover =
      cli + " --frm " + (shop_ / "ledger.frm").string() + " --script " + (dir / "out").string();
  EXPECT_EQ(testing::RunCommand(recover + " 2>&1", &out), 2);
  EXPECT_NE(out.find("give --space-id"), std::string::npos) << out;
  EXPECT_EQ(testing::RunCommand(recover + " --space-id " + std::to_string(space + 1000), &out), 0);
  EXPECT_NE(out.find("5840 of 5840 rows\tcomplete"), std::string::npos) << out;
}

// A leaf left behind by a merge keeps its index id and checksum: the extent
// descriptors found with it mark its page free, and its older rows are left
// out, said so, unless --all-leaves asks for them.
TEST_F(ScanPagesTest, LeavesTheTablespaceMarksFreeAreLeftOut) {
  const std::vector<uint32_t> leaves = LeavesOf(ledger_, ledger_id_);
  const uint8_t* leaf = PageAt(ledger_, leaves[3]);
  const uint32_t free_limit = PageU32(PageAt(ledger_, 0), kPageHeader + 12);
  ASSERT_GT(free_limit, 0u);
  std::string stale(reinterpret_cast<const char*>(leaf), kPageSize);
  auto* p = reinterpret_cast<uint8_t*>(stale.data());
  SetU32(p, 4, free_limit + 3);
  SetLsn(p, PageU64(leaf, 16) - 10);
  testing::RestampPage(p);
  const fs::path image = WriteImage("free-leaf", {Junk(7, 51), stale, Junk(1, 52), ledger_});
  const fs::path dir = image.parent_path();
  const std::string cli = testing::CliPath() + " scan-pages " + image.string() + " --log-dir " +
                          dir.string() + " --quiet --index-id " + std::to_string(ledger_id_) +
                          " --frm " + (shop_ / "ledger.frm").string();
  std::string out;
  ASSERT_EQ(testing::RunCommand(cli + " --script " + (dir / "a").string(), &out), 0) << out;
  EXPECT_NE(out.find("1 leaf pages (" + std::to_string(free_limit + 3) + ") holding " +
                     std::to_string(PageRecordCount(leaf)) + " records are left out"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("5840 of 5840 rows\tcomplete"), std::string::npos) << out;
  EXPECT_EQ(testing::RunCommand(cli + " --all-leaves --script " + (dir / "b").string(), &out), 1);
  EXPECT_NE(out.find(std::to_string(5840 + PageRecordCount(leaf)) + " of"), std::string::npos)
      << out;
}

// The same leaf passed off as a page the tablespace uses (its inode page):
// the extent map keeps it, but it is off the one whole chain of leaves.
TEST_F(ScanPagesTest, LeavesOffTheWholeChainAreLeftOut) {
  const std::vector<uint32_t> leaves = LeavesOf(ledger_, ledger_id_);
  const uint8_t* leaf = PageAt(ledger_, leaves[3]);
  std::string stale(reinterpret_cast<const char*>(leaf), kPageSize);
  auto* p = reinterpret_cast<uint8_t*>(stale.data());
  SetU32(p, 4, 2);
  SetLsn(p, PageU64(leaf, 16) - 10);
  testing::RestampPage(p);
  const fs::path image = WriteImage("off-chain", {Junk(7, 53), stale, Junk(1, 54), ledger_});
  const fs::path dir = image.parent_path();
  std::string out;
  ASSERT_EQ(testing::RunCommand(
                testing::CliPath() + " scan-pages " + image.string() + " --log-dir " +
                    dir.string() + " --quiet --index-id " + std::to_string(ledger_id_) + " --frm " +
                    (shop_ / "ledger.frm").string() + " --script " + (dir / "a").string(),
                &out),
            0)
      << out;
  EXPECT_NE(out.find("1 leaf pages (2) holding " + std::to_string(PageRecordCount(leaf)) +
                     " records are left out: they are not on the one whole chain"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("5840 of 5840 rows\tcomplete"), std::string::npos) << out;
}

}  // namespace
}  // namespace vostrel
