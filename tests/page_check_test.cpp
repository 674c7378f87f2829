// The page checks over real files: every page the servers wrote passes, in
// every checksum form; a page that is not the one asked for is named.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "innodb/crc32c.h"
#include "innodb/leaf_chain.h"
#include "innodb/page_check.h"
#include "innodb/space_map.h"
#include "model/frm_reader.h"
#include "sql/row_sink.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

void PutBe32(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

uint8_t* PageOf(std::string& file, uint64_t n) {
  return reinterpret_cast<uint8_t*>(file.data()) + n * kPageSize;
}

std::vector<fs::path> FilesUnder(const fs::path& root, const std::string& ext) {
  std::vector<fs::path> out;
  if (root.empty() || !fs::is_directory(root)) return out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file() && (e.path().extension() == ext || e.path().filename() == ext)) {
      out.push_back(e.path());
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Pages of `file` that fail their check, as "N: why"; all-zero pages are
// never-used pages and pass. ibdata1's doublewrite buffer holds copies of
// other pages and is left out.
std::vector<std::string> FailingPages(const fs::path& file) {
  Tablespace space;
  std::vector<std::string> bad;
  if (!space.Open(file, nullptr)) return {"cannot open"};
  if (!space.header_problem().empty()) bad.push_back(space.header_problem());
  const bool system = file.filename() == "ibdata1";
  PageBuffer page;
  for (uint64_t n = 0; n < space.page_count(); ++n) {
    if (system && n >= 64 && n < 192) continue;
    const PageCheck c = space.ReadCheckedPage(n, page);
    if (!c.ok() && c.fault != PageFault::kAllZero) bad.push_back(space.FaultText(n, c));
  }
  return bad;
}

TEST(PageCheckTest, Crc32cMatchesItsKnownValueInHardwareAndTables) {
  const std::string nine = "123456789";
  const auto* p = reinterpret_cast<const uint8_t*>(nine.data());
  EXPECT_EQ(Crc32c(p, 9), 0xE3069283u);
  EXPECT_EQ(Crc32cSoftware(p, 9), 0xE3069283u);
  // Lengths around the interleaved rounds of the hardware path, at odd addresses.
  std::mt19937 rng(7);
  std::vector<uint8_t> buf(3 * 16384 + 17);
  for (uint8_t& b : buf) b = static_cast<uint8_t>(rng());
  for (size_t len : {0, 1, 7, 8, 100, 16319, 16320, 16321, 16338, 16380, 32700, 49000}) {
    for (size_t at : {0, 3}) {
      EXPECT_EQ(Crc32c(buf.data() + at, len), Crc32cSoftware(buf.data() + at, len)) << len;
    }
  }
  std::printf("crc32c in hardware: %s\n", Crc32cHardware() ? "yes" : "no");
}

// Every page the servers wrote passes: the sample (crc32), MariaDB full_crc32,
// and MySQL 5.0-5.7 files (innodb and crc32) where the external set is there.
TEST(PageCheckTest, EveryPageOfRealFilesPasses) {
  std::vector<fs::path> files = FilesUnder(testing::SampleDataDir(), ".ibd");
  files.push_back(testing::SampleDataDir() / "ibdata1");
  const fs::path fcrc = testing::UnpackedFixture("checksum-full_crc32");
  for (const fs::path& f : FilesUnder(fcrc, ".ibd")) files.push_back(f);
  files.push_back(fcrc / "ibdata1");
  const size_t ours = files.size();
  for (const fs::path& f : FilesUnder(testing::ExternalFixturesDir(), ".ibd")) files.push_back(f);
  for (const fs::path& f : files) {
    const std::vector<std::string> bad = FailingPages(f);
    EXPECT_TRUE(bad.empty()) << f << ": " << bad.front() << " (" << bad.size() << " pages)";
  }
  Tablespace fc;
  ASSERT_TRUE(fc.Open(fcrc / "fc/many.ibd", nullptr));
  EXPECT_EQ(fc.layout(), PageLayout::kFullCrc32);
  std::printf("files checked: %zu of ours, %zu external\n", ours, files.size() - ours);
}

// The sample's pages rewritten as the other classic algorithms write them,
// which MariaDB 10.11 no longer does: innodb, none, and the crc32 that MySQL
// computed on big-endian machines. They pass, and give the same rows.
TEST(PageCheckTest, InnodbNoneAndBigEndianCrc32PagesPass) {
  const fs::path shop = testing::SampleDataDir() / "shop";
  const std::string original = testing::ReadFileOrEmpty(shop / "ledger.ibd");
  auto restamp = [&](const char* how) {
    std::string file = original;
    for (uint64_t n = 0; n < file.size() / kPageSize; ++n) {
      uint8_t* p = PageOf(file, n);
      if (PageIsAllZero(p)) continue;
      if (how == std::string("innodb")) {
        PutBe32(p, PageInnodbChecksum(p));
        PutBe32(p + kPageSize - 8, PageInnodbOldChecksum(p));
      } else if (how == std::string("none")) {
        PutBe32(p, kNoChecksumMagic);
        PutBe32(p + kPageSize - 8, kNoChecksumMagic);
      } else {
        const uint32_t c =
            Crc32cLegacyBigEndian(p + 4, 22, 4) ^ Crc32cLegacyBigEndian(p + 38, kPageSize - 46, 38);
        PutBe32(p, c);
        PutBe32(p + kPageSize - 8, c);
      }
    }
    return file;
  };
  const TableDef def = [&] {
    TableDef t;
    ReadTableDefinition(shop / "ledger.frm", testing::Collations(), testing::DefaultCodePage(), t);
    return t;
  }();
  const ClusteredIndex index = BuildClusteredIndexFromTableDef(def, testing::Collations());
  auto rows_of = [&](const fs::path& ibd, bool* damaged) {
    testing::TableExport x =
        testing::ExportTable(ibd.parent_path(), ibd.stem().string(), {}, nullptr, &def);
    *damaged = x.result.damaged || !x.open_damage.empty();
    return x.rows;
  };
  bool damaged = false;
  const std::vector<std::string> want = rows_of(shop / "ledger.ibd", &damaged);
  ASSERT_FALSE(damaged);
  for (const char* how : {"innodb", "none", "big-endian crc32"}) {
    const fs::path dir =
        testing::TempDir(std::string("page-check-") + (how[0] == 'b' ? "be" : how));
    std::ofstream(dir / "ledger.ibd", std::ios::binary) << restamp(how);
    EXPECT_TRUE(FailingPages(dir / "ledger.ibd").empty()) << how;
    EXPECT_EQ(rows_of(dir / "ledger.ibd", &damaged), want) << how;
    EXPECT_FALSE(damaged) << how;
  }
}

// Each way a page can be other than the one asked for has its own name.
TEST(PageCheckTest, PagesThatAreNotTheOnesAskedForAreNamed) {
  const fs::path shop = testing::SampleDataDir() / "shop";
  const std::string orders = testing::ReadFileOrEmpty(shop / "orders.ibd");
  const std::string customers = testing::ReadFileOrEmpty(shop / "customers.ibd");
  const fs::path dir = testing::TempDir("page-check-faults");
  auto fault_of = [&](const std::string& bytes, uint64_t n) {
    std::ofstream(dir / "orders.ibd", std::ios::binary | std::ios::trunc) << bytes;
    Tablespace space;
    EXPECT_TRUE(space.Open(dir / "orders.ibd", nullptr));
    PageBuffer page;
    return space.FaultText(n, space.ReadCheckedPage(n, page));
  };
  std::string d = orders;
  std::copy_n(orders.begin() + 8 * kPageSize, kPageSize, d.begin() + 3 * kPageSize);
  EXPECT_EQ(fault_of(d, 3), "page 3 of orders.ibd is page 8");
  d = orders;  // page 3 of another tablespace in its place
  std::copy_n(customers.begin() + 3 * kPageSize, kPageSize, d.begin() + 3 * kPageSize);
  EXPECT_EQ(fault_of(d, 3), "page 3 of orders.ibd belongs to tablespace 5");
  d = orders;  // the trailer of an older write: the page was torn
  PageOf(d, 5)[kPageSize - 1] ^= 1;
  testing::RestampPage(PageOf(d, 5));
  EXPECT_EQ(fault_of(d, 5), "page 5 of orders.ibd: header and trailer LSN differ");
  d = orders;
  PageOf(d, 5)[9000] ^= 0x10;
  EXPECT_EQ(fault_of(d, 5), "page 5 of orders.ibd fails its checksum");
  d = orders;
  std::fill_n(d.begin() + 6 * kPageSize, kPageSize, '\0');
  EXPECT_EQ(fault_of(d, 6), "page 6 of orders.ibd is empty (all zero bytes)");
  EXPECT_EQ(fault_of(d, 11), "page 11 of orders.ibd lies outside the file");
  d = orders;  // a damaged page 0: the tablespace id comes from the pages that prove themselves
  PageOf(d, 0)[500] ^= 1;
  fault_of(d, 0);
  Tablespace space;
  ASSERT_TRUE(space.Open(dir / "orders.ibd", nullptr));
  EXPECT_EQ(space.header_problem(), "page 0 of orders.ibd fails its checksum");
  EXPECT_EQ(space.space_id(), 7u);
  PageBuffer page;
  EXPECT_TRUE(space.ReadCheckedPage(3, page).ok());

  // full_crc32 keeps the LSN copy and the checksum elsewhere.
  const fs::path fc = testing::UnpackedFixture("checksum-full_crc32") / "fc";
  std::string many = testing::ReadFileOrEmpty(fc / "many.ibd");
  PageOf(many, 4)[kPageSize - 6] ^= 1;  // the LSN copy
  const uint32_t crc = Crc32c(PageOf(many, 4), kPageSize - 4);
  PutBe32(PageOf(many, 4) + kPageSize - 4, crc);
  PageOf(many, 5)[200] ^= 1;
  std::ofstream(dir / "many.ibd", std::ios::binary) << many;
  Tablespace fcs;
  ASSERT_TRUE(fcs.Open(dir / "many.ibd", nullptr));
  EXPECT_EQ(fcs.FaultText(4, fcs.ReadCheckedPage(4, page)),
            "page 4 of many.ibd: header and trailer LSN differ");
  EXPECT_EQ(fcs.FaultText(5, fcs.ReadCheckedPage(5, page)),
            "page 5 of many.ibd fails its checksum");
}

// The export looks for leaves the chain missed only when the leaf segment
// holds more pages than the walk accounts for; on healthy files the two agree.
TEST(PageCheckTest, LeafSegmentsOfHealthyFilesHoldTheirLeavesAndValuePages) {
  int multi_level = 0;
  std::vector<fs::path> files = FilesUnder(testing::SampleDataDir() / "shop", ".ibd");
  for (const fs::path& f : FilesUnder(testing::UnpackedFixture("checksum-full_crc32"), ".ibd")) {
    files.push_back(f);
  }
  for (const fs::path& f : files) {
    Tablespace space;
    ASSERT_TRUE(space.Open(f, nullptr));
    PageBuffer page;
    ASSERT_TRUE(space.ReadCheckedPage(kClusteredRootIbd, page).ok()) << f;
    const uint64_t id = PageIndexId(page.data());
    const std::optional<uint64_t> segment = LeafSegmentPages(space, kClusteredRootIbd, id);
    if (PageLevel(page.data()) == 0) {
      EXPECT_FALSE(segment) << f;
      continue;
    }
    ASSERT_TRUE(segment) << f;
    ++multi_level;
    ExtentMap extents(space);
    uint64_t leaves = 0, values = 0;
    for (uint64_t n = 0; n < space.page_count(); ++n) {
      if (!space.ReadCheckedPage(n, page).ok() ||
          extents.Use(static_cast<uint32_t>(n)) != PageUse::kUsed)
        continue;
      const FilHeader h = ReadFilHeader(page.data());
      leaves +=
          h.type == kPageTypeIndex && PageLevel(page.data()) == 0 && PageIndexId(page.data()) == id;
      values += h.type == kPageTypeBlob;
    }
    EXPECT_EQ(*segment, leaves + values) << f;
  }
  EXPECT_GE(multi_level, 4);
}

}  // namespace
}  // namespace vostrel
