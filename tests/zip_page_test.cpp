// ROW_FORMAT=COMPRESSED tablespaces made by a real MariaDB
// (scripts/make-zip-fixtures.sh): geometry, checksums, index pages rebuilt and
// walked by the compact-record code against the rows the server reported,
// compressed value chains, and damaged pages.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "innodb/clustered_fields.h"
#include "innodb/compact_fields.h"
#include "innodb/leaf_chain.h"
#include "innodb/record.h"
#include "innodb/tablespace_geometry.h"
#include "innodb/zip_blob.h"
#include "innodb/zip_checksum.h"
#include "innodb/zip_page.h"
#include "innodb/zip_tablespace.h"
#include "model/field_decoder.h"
#include "model/frm_reader.h"
#include "scan/row_text_writer.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

// tests/fixtures/zip-tables.tar.xz, unpacked once per build tree.
fs::path ZipFixtureDir() {
  const fs::path dir = fs::path(VOSTREL_BINARY_DIR) / "fixtures";
  const fs::path target = dir / "zip-tables";
  if (fs::exists(target / ".unpacked")) return target;
  fs::create_directories(dir);
  std::string tmpl = (dir / "unpack-zip.XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) return target;
  const fs::path tmp = tmpl;
  const fs::path archive = testing::SourceDir() / "tests/fixtures/zip-tables.tar.xz";
  const std::string cmd = "tar -xJf '" + archive.string() + "' -C '" + tmp.string() + "'";
  if (std::system(cmd.c_str()) == 0) {
    std::ofstream(tmp / "zip-tables/.unpacked") << "ok\n";
    std::error_code ec;
    fs::rename(tmp / "zip-tables", target, ec);
  }
  std::error_code ec;
  fs::remove_all(tmp, ec);
  return target;
}

struct FixtureTable {
  std::string name;
  size_t key_block_size = 0;
  size_t rows = 0;
};

std::vector<FixtureTable> FixtureTables() {
  std::vector<FixtureTable> out;
  std::istringstream in(testing::ReadFileOrEmpty(ZipFixtureDir() / "expected/tables.tsv"));
  FixtureTable t;
  while (in >> t.name >> t.key_block_size >> t.rows) out.push_back(t);
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// mariadb --batch escaping of one value.
std::string BatchEscape(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        out += c;
    }
  }
  return out;
}

bool IsLargeObject(const ColumnDef& c) {
  return c.type >= kTypeTinyBlob && c.type <= kTypeBlob;
}

struct Table {
  FixtureTable fixture;
  ZipTablespace space;
  TableDef def;
  ClusteredIndex index;
  uint64_t clustered_id = 0;

  explicit Table(const FixtureTable& f) : fixture(f) {
    const fs::path base = ZipFixtureDir() / "zip" / f.name;
    EXPECT_TRUE(ReadTableDefinition(base.string() + ".frm", testing::Collations(),
                                    testing::DefaultCodePage(), def)
                    .ok);
    std::string error;
    EXPECT_TRUE(space.Open(base.string() + ".ibd", &error)) << error;
    index = BuildClusteredIndexFromTableDef(def, testing::Collations());
  }
};

// Follows the first node pointer of each level down from the root (page 3).
uint32_t LeftmostLeaf(Table& t, int* levels, std::string* problem) {
  PageBuffer page;
  uint32_t p = kClusteredRootIbd;
  for (int depth = 0; depth < 16; ++depth) {
    if (!t.space.ReadIndexPage(p, page, problem)) return 0;
    if (depth == 0) {
      t.clustered_id = PageIndexId(page.data());
      *levels = PageLevel(page.data()) + 1;
    }
    if (PageLevel(page.data()) == 0) return p;
    const size_t r = FirstRecord(page.data());
    const size_t k = r == 0 ? 0 : NodePointerKeyLength(page.data(), r, t.index);
    if (k == 0) {
      *problem = "no node pointer on page " + std::to_string(p);
      return 0;
    }
    p = PageU32(page.data(), r + k);
  }
  *problem = "too deep";
  return 0;
}

struct Scan {
  std::vector<std::string> rows;
  size_t leaves = 0;
  size_t pages_with_log = 0;
  size_t pages_grown = 0;  // records added after the last compression, found in the log only
  size_t delete_marked = 0;
  size_t blob_refs = 0;
  uint32_t longest_chain = 0;
  std::vector<std::string> problems;
};

// Every leaf of the clustered index, left to right, each row as the server
// printed it.
Scan ScanTable(Table& t) {
  Scan s;
  int levels = 0;
  std::string problem;
  uint32_t p = LeftmostLeaf(t, &levels, &problem);
  if (p == 0) {
    s.problems.push_back(problem);
    return s;
  }
  // Values on other pages come from ReadZipBlob below, never from the decoder.
  FieldDecoder decoder(t.def, InnodbColumnStorage(t.def, t.index), testing::Collations(),
                       testing::DefaultCodePage());
  CompactFieldSplitter split(t.def, t.index);
  PageBuffer page;
  ZipPageLayout layout;
  std::vector<FieldSpan> spans;
  Row row;
  for (uint64_t guard = 0; p != kFilNull && guard < t.space.page_count(); ++guard) {
    if (!t.space.ReadIndexPage(p, page, &problem, &layout)) {
      s.problems.push_back(problem);
      break;
    }
    std::string mismatch;
    if (!ZipLayoutMatchesIndex(layout, t.index, &mismatch)) {
      s.problems.push_back("page " + std::to_string(p) + ": " + mismatch);
    }
    ++s.leaves;
    s.pages_with_log += layout.log_entries > 0;
    s.pages_grown += layout.stream_records < layout.records;
    s.blob_refs += layout.blobs;
    const PageWalk w = WalkPageRecords(page.data(), 0, [&](size_t origin) {
      const std::vector<StoredField>* fields = split.Split(page.data(), origin, nullptr);
      if (fields == nullptr || !SplitRecord(page.data(), origin, t.index, spans)) {
        s.problems.push_back("record at " + std::to_string(origin) + " does not fit");
        return true;
      }
      RowTextWriter w(true);
      w.Into(row, t.def.columns.size());
      decoder.WriteRecord(RecordFields{fields->data(), fields->size(), {}}, w);
      std::vector<std::string> cols(t.def.columns.size());
      for (size_t c = 0; c < cols.size(); ++c) {
        const FieldValue& v = row[c];
        std::string text = v.is_null ? "NULL" : BatchEscape(v.text);
        const ColumnDef& col = t.def.columns[c];
        if (!v.is_null && col.charset_id == kBinaryCollation && text.rfind("0x", 0) == 0) {
          text.erase(0, 2);  // HEX() has no prefix
        } else if (!v.is_null && col.type == kTypeString) {
          // The server drops a CHAR's padding; the decoder keeps the stored bytes.
          while (!text.empty() && text.back() == ' ') text.pop_back();
        }
        cols[c] = text;
      }
      for (size_t i = 0; i < t.index.fields.size(); ++i) {
        const InnoColumnDef& f = t.index.fields[i];
        if (f.column < 0 || f.key_prefix || !IsLargeObject(t.def.columns[f.column])) continue;
        const FieldSpan& sp = spans[i];
        if (sp.is_null) continue;
        std::string value(reinterpret_cast<const char*>(page.data() + sp.offset), sp.length);
        if (sp.external) {
          const ExternRef ref = ParseExternRef(page.data() + sp.offset + sp.length - 20);
          value.resize(sp.length - 20);
          const ZipBlobResult b =
              ReadZipBlob(t.space.PageReader(), t.space.page_size(), ref, t.space.page_count(),
                          [&](const uint8_t* d, size_t n) {
                            value.append(reinterpret_cast<const char*>(d), n);
                          });
          if (!b.complete()) s.problems.push_back("value of " + f.name + ": " + b.problem);
          s.longest_chain = std::max(s.longest_chain, b.pages);
        }
        cols[f.column] = std::to_string(value.size()) + ":" + testing::Sha256Hex(value);
      }
      std::string line;
      for (size_t c = 0; c < cols.size(); ++c) line += (c ? "\t" : "") + cols[c];
      s.rows.push_back(line);
      return true;
    });
    if (w.damaged) s.problems.push_back("record chain of page " + std::to_string(p) + " is broken");
    s.delete_marked += w.deleted;
    p = ReadFilHeader(page.data()).next;
  }
  return s;
}

TEST(ZipPageTest, GeometryOfEveryFixtureTablespaceFollowsItsKeyBlockSize) {
  const auto tables = FixtureTables();
  ASSERT_EQ(tables.size(), 8u) << "fixture missing: " << ZipFixtureDir();
  std::vector<size_t> sizes;
  for (const FixtureTable& f : tables) {
    Table t(f);
    const TablespaceGeometry& g = t.space.geometry();
    EXPECT_TRUE(g.readable()) << f.name << ": " << g.problem;
    EXPECT_EQ(g.layout, FspFlagLayout::kClassic);
    EXPECT_EQ(g.physical_page_size, f.key_block_size * 1024) << f.name;
    EXPECT_EQ(g.logical_page_size, 16384u);
    EXPECT_TRUE(g.atomic_blobs);
    sizes.push_back(g.physical_page_size);
  }
  for (size_t kb : {1, 2, 4, 8, 16}) {
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), kb * 1024), sizes.end()) << kb;
  }
  // An ordinary tablespace of the sample: one page size.
  ZipTablespace plain;
  ASSERT_TRUE(plain.Open(testing::SampleDataDir() / "shop/orders.ibd", nullptr));
  EXPECT_FALSE(plain.geometry().compressed());
  EXPECT_EQ(plain.geometry().physical_page_size, 16384u);
}

TEST(ZipPageTest, FlagLayoutsOfOtherServersAreReadOrNamed) {
  // MySQL 5.6/5.7 KEY_BLOCK_SIZE=8: POST_ANTELOPE | zip 4 << 1 | ATOMIC_BLOBS.
  TablespaceGeometry g = GeometryFromFlags(0x29);
  EXPECT_EQ(g.physical_page_size, 8192u);
  EXPECT_TRUE(g.readable());
  // MySQL 5.7 encryption, MariaDB page compression: named, not guessed.
  g = GeometryFromFlags(0x21 | (1u << 13));
  ASSERT_EQ(g.not_read.size(), 1u);
  EXPECT_NE(g.not_read[0].find("not read: encrypted"), std::string::npos);
  g = GeometryFromFlags(0x21 | (1u << 16));
  ASSERT_EQ(g.not_read.size(), 1u);
  EXPECT_NE(g.not_read[0].find("not read: page_compressed"), std::string::npos);
  // full_crc32, 16 KiB pages, with and without page compression (lz4).
  g = GeometryFromFlags(0x15);
  EXPECT_EQ(g.layout, FspFlagLayout::kFullCrc32);
  EXPECT_TRUE(g.readable());
  EXPECT_EQ(g.physical_page_size, 16384u);
  g = GeometryFromFlags(0x15 | (2u << 5));
  ASSERT_EQ(g.not_read.size(), 1u);
  EXPECT_NE(g.not_read[0].find("lz4"), std::string::npos);
  // MariaDB 10.1.0-10.1.20: page_compressed level 6 with 16 KiB pages.
  g = GeometryFromFlags(0x21 | (1u << 6) | (6u << 7));
  EXPECT_EQ(g.layout, FspFlagLayout::kMariaDb101);
  ASSERT_EQ(g.not_read.size(), 1u);
  EXPECT_NE(g.not_read[0].find("page_compressed"), std::string::npos);
  // 8 KiB logical pages are known but not read; nonsense is a problem.
  g = GeometryFromFlags(4u << 6);
  EXPECT_EQ(g.logical_page_size, 8192u);
  EXPECT_FALSE(g.readable());
  EXPECT_FALSE(GeometryFromFlags(0xFFFFFFE0).problem.empty());
}

TEST(ZipPageTest, EveryWrittenPageHasAValidCompressedChecksum) {
  for (const FixtureTable& f : FixtureTables()) {
    Table t(f);
    std::vector<uint8_t> raw;
    size_t checked = 0;
    for (uint64_t n = 0; n < t.space.page_count(); ++n) {
      ASSERT_TRUE(t.space.ReadRawPage(n, raw));
      const ZipChecksum kind = ZipPageChecksumKind(raw.data(), raw.size());
      if (kind == ZipChecksum::kEmpty) continue;
      EXPECT_EQ(kind, ZipChecksum::kCrc32) << f.name << " page " << n;
      raw[raw.size() / 2] ^= 0x10;
      EXPECT_FALSE(ZipPageChecksumValid(raw.data(), raw.size())) << f.name << " page " << n;
      ++checked;
    }
    EXPECT_GT(checked, 3u) << f.name;
  }
}

TEST(ZipPageTest, EveryLeafDecompressesToTheRowsTheServerReported) {
  size_t log_pages = 0, grown = 0, delete_marked = 0, blob_refs = 0;
  for (const FixtureTable& f : FixtureTables()) {
    Table t(f);
    Scan s = ScanTable(t);
    for (const std::string& p : s.problems) ADD_FAILURE() << f.name << ": " << p;
    std::vector<std::string> want =
        Lines(testing::ReadFileOrEmpty(ZipFixtureDir() / "expected" / (f.name + ".tsv")));
    EXPECT_EQ(want.size(), f.rows);
    std::sort(want.begin(), want.end());
    std::sort(s.rows.begin(), s.rows.end());
    EXPECT_EQ(s.rows.size(), want.size()) << f.name;
    std::vector<std::string> missing, extra;
    std::set_difference(want.begin(), want.end(), s.rows.begin(), s.rows.end(),
                        std::back_inserter(missing));
    std::set_difference(s.rows.begin(), s.rows.end(), want.begin(), want.end(),
                        std::back_inserter(extra));
    EXPECT_TRUE(missing.empty()) << f.name << " lacks " << missing.size()
                                 << ", first: " << (missing.empty() ? "" : missing[0])
                                 << "\nfirst extra: " << (extra.empty() ? "" : extra[0]);
    EXPECT_GT(s.leaves, 1u) << f.name;
    log_pages += s.pages_with_log;
    grown += s.pages_grown;
    delete_marked += s.delete_marked;
    blob_refs += s.blob_refs;
    if (f.name == "t_kb1" || f.name == "t_kb16") {
      EXPECT_GE(s.longest_chain, 2u) << f.name << ": a value spans several compressed pages";
    }
  }
  // The fixture exercises what the rebuild has to get right.
  EXPECT_GT(log_pages, 10u);
  EXPECT_GT(grown, 3u);
  EXPECT_GT(delete_marked, 0u);
  EXPECT_GT(blob_refs, 10u);
  std::printf(
      "leaves with a modification log: %zu (with records only there: %zu), "
      "delete-marked records: %zu, off-page references: %zu\n",
      log_pages, grown, delete_marked, blob_refs);
}

TEST(ZipPageTest, TreesOfSeveralLevelsAndSecondaryIndexesDecompress) {
  size_t multi_level = 0;
  for (const FixtureTable& f : FixtureTables()) {
    Table t(f);
    int levels = 0;
    std::string problem;
    ASSERT_NE(LeftmostLeaf(t, &levels, &problem), 0u) << f.name << ": " << problem;
    multi_level += levels >= 2;
    if (f.name == "deep_kb1") {
      EXPECT_GE(levels, 3) << f.name;
    }
    // Every index page of the file: node pointers, secondary leaves; the
    // records each page counts are all on its chain.
    PageBuffer page;
    ZipPageLayout layout;
    std::vector<uint8_t> raw;
    size_t index_pages = 0, secondary = 0, node_pages = 0;
    for (uint64_t n = 3; n < t.space.page_count(); ++n) {
      ASSERT_TRUE(t.space.ReadRawPage(n, raw));
      if (PageU16(raw.data(), 24) != kPageTypeIndex) continue;
      ++index_pages;
      ASSERT_TRUE(t.space.ReadIndexPage(n, page, &problem, &layout)) << f.name << " " << problem;
      const bool clustered = PageIndexId(page.data()) == t.clustered_id;
      if (!clustered) ++secondary;
      size_t chain = 0;
      for (size_t r = FirstRecord(page.data()); r != 0 && r != 112 && chain <= 8192;
           r = NextRecord(page.data(), r)) {
        ++chain;
      }
      EXPECT_EQ(chain, PageRecordCount(page.data())) << f.name << " page " << n;
      if (layout.leaf) continue;
      ++node_pages;
      if (clustered) {
        EXPECT_TRUE(ZipLayoutMatchesIndex(layout, t.index, &problem)) << problem;
        for (size_t r = FirstRecord(page.data()); r != 0 && r != 112;
             r = NextRecord(page.data(), r)) {
          const size_t k = NodePointerKeyLength(page.data(), r, t.index);
          ASSERT_NE(k, 0u);
          EXPECT_LT(PageU32(page.data(), r + k), t.space.page_count());
        }
      }
    }
    EXPECT_GT(index_pages, 2u) << f.name;
    if (f.name.rfind("t_kb", 0) == 0) {
      EXPECT_GT(secondary, 0u) << f.name;
    }
  }
  EXPECT_GE(multi_level, 7u);
}

// Page copies with damage: a problem text or a page, never a crash (run
// under the sanitizers too).
TEST(ZipPageTest, DamagedCompressedPagesGiveAProblemNotACrash) {
  std::mt19937 rng(20240611);
  size_t failed = 0, pages = 0;
  PageBuffer out;
  ZipPageDecompressor d;
  for (const FixtureTable& f : FixtureTables()) {
    Table t(f);
    std::vector<uint8_t> raw;
    for (uint64_t n = 3; n < t.space.page_count(); ++n) {
      ASSERT_TRUE(t.space.ReadRawPage(n, raw));
      if (PageU16(raw.data(), 24) != kPageTypeIndex) continue;
      ++pages;
      const size_t size = raw.size();
      for (int round = 0; round < 12; ++round) {
        std::vector<uint8_t> bad = raw;
        switch (round % 4) {
          case 0:  // flipped bits anywhere
            for (int k = 0; k < 1 + round; ++k) bad[rng() % size] ^= 1u << (rng() % 8);
            break;
          case 1:  // the tail (directory, trailer) lost
            std::fill(bad.begin() + size / 2 + rng() % (size / 2), bad.end(), 0);
            break;
          case 2:  // the stream cut short
            std::fill(bad.begin() + 94 + rng() % 64, bad.end() - 2 * 8, 0);
            break;
          default:  // header counts changed
            bad[38 + 4 + rng() % 2] ^= static_cast<uint8_t>(1u << (rng() % 8));
            bad[38 + 16 + rng() % 2] ^= static_cast<uint8_t>(1u << (rng() % 8));
        }
        std::string problem;
        if (!d.Decompress(bad.data(), size, out.data(), &problem)) {
          EXPECT_FALSE(problem.empty());
          ++failed;
        } else {
          WalkPageRecords(out.data(), 0, [](size_t) { return true; });
        }
      }
      std::string problem;
      EXPECT_FALSE(d.Decompress(raw.data(), size - 24, out.data(), &problem));
      EXPECT_NE(problem.find("not read"), std::string::npos);
    }
  }
  EXPECT_GT(pages, 50u);
  EXPECT_GT(failed, pages * 4);
}

TEST(ZipPageTest, BrokenValueChainsAreNamed) {
  Table t(FixtureTables()[2]);  // t_kb1: the long chains
  ASSERT_EQ(t.fixture.name, "t_kb1");
  // The first value page of the table's largest value.
  std::vector<uint8_t> raw;
  uint32_t first = kFilNull;
  for (uint64_t n = 3; n < t.space.page_count() && first == kFilNull; ++n) {
    ASSERT_TRUE(t.space.ReadRawPage(n, raw));
    if (PageU16(raw.data(), 24) == kPageTypeZBlob && PageU32(raw.data(), 12) != kFilNull) {
      first = static_cast<uint32_t>(n);
    }
  }
  ASSERT_NE(first, kFilNull);
  ExternRef ref;
  ref.page = first;
  ref.offset = 12;
  ref.length = 1u << 30;  // more than any chain holds
  auto count = [](uint64_t& n) { return [&n](const uint8_t*, size_t k) { n += k; }; };
  uint64_t got = 0;
  ZipBlobResult r =
      ReadZipBlob(t.space.PageReader(), t.space.page_size(), ref, t.space.page_count(), count(got));
  EXPECT_NE(r.problem.find("ends"), std::string::npos) << r.problem;
  EXPECT_EQ(got, r.bytes);
  EXPECT_GT(r.pages, 1u);
  // A chain pointing back at its first page, a page of another type, a cut file.
  auto reader = [&](uint32_t loop_to, bool wrong_type) -> ZipPageReader {
    return [&, loop_to, wrong_type](uint32_t n, std::vector<uint8_t>& out) {
      if (!t.space.ReadRawPage(n, out)) return false;
      if (n != first && wrong_type) out[25] = 17;
      if (n != first && loop_to != kFilNull) {
        out[12] = static_cast<uint8_t>(loop_to >> 24);
        out[13] = static_cast<uint8_t>(loop_to >> 16);
        out[14] = static_cast<uint8_t>(loop_to >> 8);
        out[15] = static_cast<uint8_t>(loop_to);
      }
      return true;
    };
  };
  got = 0;
  r = ReadZipBlob(reader(first, false), t.space.page_size(), ref, t.space.page_count(), count(got));
  EXPECT_NE(r.problem.find("loops"), std::string::npos) << r.problem;
  r = ReadZipBlob(reader(kFilNull, true), t.space.page_size(), ref, t.space.page_count(),
                  count(got));
  EXPECT_NE(r.problem.find("page type"), std::string::npos) << r.problem;
  r = ReadZipBlob([](uint32_t, std::vector<uint8_t>&) { return false; }, t.space.page_size(), ref,
                  t.space.page_count(), count(got));
  EXPECT_NE(r.problem.find("leaves the file"), std::string::npos) << r.problem;
}

// Decompression speed over the largest fixture table, or over the file named
// by VOSTREL_ZIP_BENCH_IBD (a compressed .ibd of any size).
TEST(ZipPageTest, DecompressionSpeed) {
  fs::path file = ZipFixtureDir() / "zip/t_kb8.ibd";
  if (const char* env = std::getenv("VOSTREL_ZIP_BENCH_IBD"); env && *env) file = env;
  ZipTablespace space;
  ASSERT_TRUE(space.Open(file, nullptr));
  ASSERT_TRUE(space.geometry().compressed());
  std::vector<std::vector<uint8_t>> pages;
  std::vector<uint8_t> raw;
  for (uint64_t n = 0; n < space.page_count(); ++n) {
    if (space.ReadRawPage(n, raw) && PageU16(raw.data(), 24) == kPageTypeIndex)
      pages.push_back(raw);
  }
  ASSERT_FALSE(pages.empty());
  ZipPageDecompressor d;
  PageBuffer out;
  const size_t rounds = std::max<size_t>(1, 20000 / pages.size());
  // Processor time, so that other work on the machine does not count.
  const std::clock_t c0 = std::clock();
  const auto t0 = std::chrono::steady_clock::now();
  size_t ok = 0;
  for (size_t r = 0; r < rounds; ++r) {
    for (const auto& p : pages) ok += d.Decompress(p.data(), p.size(), out.data(), nullptr);
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpu = double(std::clock() - c0) / CLOCKS_PER_SEC;
  EXPECT_EQ(ok, rounds * pages.size());
  const double mb = double(rounds * pages.size() * space.page_size()) / 1e6;
  std::printf(
      "%s: %zu index pages of %zu bytes x %zu: %.1f MB compressed, %.3f s processor "
      "(%.3f s wall) = %.0f MB/s\n",
      file.filename().c_str(), pages.size(), space.page_size(), rounds, mb, cpu, wall, mb / cpu);
}

}  // namespace
}  // namespace vostrel
