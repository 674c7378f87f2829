// Tables compressed by myisampack (tests/fixtures/packed-myisam.tar.xz, made by
// scripts/make-packed-fixtures.sh): every row as the server read it before
// packing, paging, stored walks unpacked on other threads, and damage.
#include <gtest/gtest.h>

#include <unistd.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "model/field_decoder.h"
#include "model/frm_reader.h"
#include "model/text_buffer.h"
#include "myisam/myisam_fields.h"
#include "myisam/packed_header.h"
#include "myisam/packed_records.h"
#include "myisam/row_checksum.h"
#include "scan/row_text_writer.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kTables = {"t_dynamic",    "t_fixed", "t_old_times", "t_shapes",
                                          "t_shapes_dyn", "t_big",   "t_wide",      "t_empty"};

// Unpacked once per build tree, as the sample data directory is.
fs::path FixtureDir() {
  const fs::path dir = fs::path(VOSTREL_BINARY_DIR) / "fixtures";
  const fs::path target = dir / "packed-myisam";
  if (fs::exists(target / ".unpacked")) return target;
  fs::create_directories(dir);
  std::string tmpl = (dir / "unpack.XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) return target;
  const fs::path tmp = tmpl;
  const fs::path archive = testing::SourceDir() / "tests/fixtures/packed-myisam.tar.xz";
  const std::string cmd = "tar -xJf '" + archive.string() + "' -C '" + tmp.string() + "'";
  if (std::system(cmd.c_str()) == 0) {
    std::ofstream(tmp / "packed-myisam/.unpacked") << "ok\n";
    std::error_code ec;
    fs::rename(tmp / "packed-myisam", target, ec);
  }
  std::error_code ec;
  fs::remove_all(tmp, ec);
  return target;
}

struct PackedTable {
  TableDef def;
  MyiHeader myi;
  DataFile file;
  PackedTableInfo info;
  PackedHeaderResult header;

  bool Open(const fs::path& folder, const std::string& name, const fs::path& myd = {}) {
    if (!ReadTableDefinition(folder / (name + ".frm"), testing::Collations(),
                             testing::DefaultCodePage(), def)
             .ok) {
      return false;
    }
    if (!ReadMyiHeader(folder / (name + ".MYI"), myi).has_columns) return false;
    if (!file.Open(myd.empty() ? folder / (name + ".MYD") : myd, nullptr)) return false;
    header = ReadPackedHeader(file, myi, info);
    return true;
  }
};

std::vector<std::string> ExpectedRows(const std::string& name) {
  std::ifstream in(FixtureDir() / "expected" / (name + ".tsv"), std::ios::binary);
  std::vector<std::string> rows;
  std::string line;
  while (std::getline(in, line)) rows.push_back(line);
  return rows;
}

// A decoded value in the form `mariadb --batch` printed it (binary columns as HEX()).
std::string ServerText(const ColumnDef& c, const FieldValue& v) {
  if (v.is_null) return "NULL";
  if (c.type == kTypeBit) {
    uint64_t n = 0;
    for (char ch : v.text) n = n * 2 + (ch == '1');
    char buf[24];
    std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(n));
    return buf;
  }
  if (c.charset_id == 63 && c.type != kTypeEnum && c.type != kTypeSet) {
    return v.text.size() >= 2 && v.text.compare(0, 2, "0x") == 0 ? v.text.substr(2) : v.text;
  }
  std::string out;
  for (char ch : v.text) {
    switch (ch) {
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
        out += ch;
    }
  }
  return out;
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> f;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    f.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return f;
    start = tab + 1;
  }
}

// Differences between a decoded row and the server's line. The server drops
// a CHAR's padding when it reads it, prints FLOAT with six digits and DOUBLE
// in its own notation, so those are compared as it would see them.
std::string Differences(const TableDef& def, const Row& row, const std::string& line) {
  const std::vector<std::string> want = Split(line);
  if (want.size() != row.size()) return "column count " + std::to_string(row.size());
  std::string diff;
  for (size_t i = 0; i < row.size(); ++i) {
    const ColumnDef& c = def.columns[i];
    std::string got = ServerText(c, row[i]);
    if (c.type == kTypeString && c.charset_id != 63 && !row[i].is_null) {
      while (!got.empty() && got.back() == ' ') got.pop_back();
    }
    if (got == want[i]) continue;
    if ((c.type == kTypeFloat || c.type == kTypeDouble) && !row[i].is_null && want[i] != "NULL") {
      const double a = std::strtod(got.c_str(), nullptr);
      const double b = std::strtod(want[i].c_str(), nullptr);
      if (c.type == kTypeDouble ? a == b : std::fabs(a - b) <= 1e-5 * std::fabs(b)) continue;
    }
    diff += " " + c.name + ": got '" + got.substr(0, 80) + "' want '" + want[i].substr(0, 80) + "'";
  }
  return diff;
}

// Rows of value texts, whole, as a save would write them.
struct RowDecoder {
  explicit RowDecoder(const TableDef& t)
      : fields(t, MyisamColumnStorage(t), testing::Collations(), testing::DefaultCodePage()),
        split(t) {}
  void Decode(const MyisamRecord& rec, Row& row) {
    const std::vector<StoredField>& f = split.Split(rec);
    RowTextWriter w(true);
    w.Into(row, f.size());
    fields.WriteRecord(RecordFields{f.data(), f.size(), {}}, w);
  }
  FieldDecoder fields;
  MyisamFieldSplitter split;
};

struct WalkResult {
  std::vector<Row> rows;
  std::vector<uint64_t> positions;
  std::vector<uint64_t> nexts;
  uint32_t checksum = 0;  // sum of the rows' checksums
  DamageLog damage;
};

WalkResult WalkAll(PackedTable& t, uint64_t start = 0, size_t limit = SIZE_MAX) {
  WalkResult r;
  PackedWalker walker(t.def, t.info, t.myi, t.file, r.damage);
  RowDecoder decoder(t.def);
  const MyisamRowChecksum checksum(t.myi);
  walker.Walk(
      start,
      [&](const MyisamRecord& rec, uint64_t next) {
        r.checksum += checksum.Of(rec);
        Row row;
        decoder.Decode(rec, row);
        r.rows.push_back(std::move(row));
        r.positions.push_back(rec.position);
        r.nexts.push_back(next);
        return r.rows.size() < limit;
      },
      nullptr);
  return r;
}

TEST(PackedMyisamTest, EveryRowIsTheServersRow) {
  size_t rows = 0;
  for (const std::string& name : kTables) {
    SCOPED_TRACE(name);
    PackedTable t;
    ASSERT_TRUE(t.Open(FixtureDir() / "packed", name));
    ASSERT_TRUE(t.header.ok) << t.header.error;
    EXPECT_EQ(t.myi.row_format, kRowCompressed);
    const std::vector<std::string> want = ExpectedRows(name);
    const WalkResult r = WalkAll(t);
    EXPECT_FALSE(r.damage.any()) << r.damage.Summary();
    ASSERT_EQ(r.rows.size(), want.size());
    EXPECT_EQ(t.myi.live_rows, want.size());
    // myisampack's sum of row checksums, recomputed from the rebuilt rows.
    EXPECT_EQ(r.checksum, t.myi.table_checksum);
    if (!want.empty()) {
      EXPECT_NE(t.myi.table_checksum, 0u);
    }
    for (size_t i = 0; i < want.size(); ++i) {
      const std::string d = Differences(t.def, r.rows[i], want[i]);
      EXPECT_TRUE(d.empty()) << "row " << i << " at byte " << r.positions[i] << ":" << d;
      if (!d.empty() && ::testing::Test::HasFailure() && i > 3) break;
    }
    rows += r.rows.size();
  }
  EXPECT_GT(rows, 5000u);
}

// The fixtures must reach the forms of the format this reader claims to read.
TEST(PackedMyisamTest, FixturesCoverTheFormsOfTheFormat) {
  std::set<int> kinds;
  std::set<int> flags;
  std::set<uint32_t> head_lengths;
  bool big_file = false, values_tree = false, shared_tree = false, empty_table = false;
  for (const std::string& name : kTables) {
    PackedTable t;
    ASSERT_TRUE(t.Open(FixtureDir() / "packed", name));
    ASSERT_TRUE(t.header.ok) << t.header.error;
    EXPECT_EQ(t.info.version, 2) << name;
    std::set<uint16_t> trees;
    for (const PackedColumn& c : t.info.columns) {
      kinds.insert(c.kind);
      flags.insert(c.pack_type);
      if (!trees.insert(c.tree).second) shared_tree = true;
    }
    for (const HuffmanTree& tree : t.info.trees) values_tree = values_tree || tree.values;
    DamageLog damage;
    PackedWalker walker(t.def, t.info, t.myi, t.file, damage);
    size_t n = 0;
    walker.WalkStored(
        0,
        [&](const StoredRecord& rec, uint64_t) {
          PackedRecordHead head;
          EXPECT_TRUE(ReadPackedRecordHead(t.info, rec.data, rec.length, head));
          head_lengths.insert(head.head_length - (t.info.has_blobs ? 1 : 0));
          big_file = big_file || rec.position > 65536;
          ++n;
          return true;
        },
        nullptr);
    empty_table = empty_table || n == 0;
  }
  for (const int k : {kFieldNormal, kFieldSkipEndspace, kFieldSkipPrespace, kFieldSkipZero,
                      kFieldBlob, kFieldConstant, kFieldInterval, kFieldZero, kFieldVarchar}) {
    EXPECT_TRUE(kinds.count(k)) << "no column packed as " << k;
  }
  bool zero_fill = false, space_fields = false, selected = false;
  for (const int f : flags) {
    zero_fill = zero_fill || (f & kPackZeroFill);
    space_fields = space_fields || (f & kPackSpaceFields);
    selected = selected || (f & kPackSelected);
  }
  EXPECT_TRUE(zero_fill && space_fields && selected);
  EXPECT_TRUE(values_tree && shared_tree && big_file && empty_table);
  // Record lengths in one, three and five bytes (with a blob length beside).
  EXPECT_TRUE(head_lengths.count(1) && head_lengths.count(3)) << head_lengths.size();
  EXPECT_TRUE(head_lengths.count(5) || head_lengths.count(7) || head_lengths.count(9));
}

TEST(PackedMyisamTest, PagingFromAnyPositionGivesTheSameRows) {
  for (const std::string name : {"t_big", "t_dynamic", "t_shapes"}) {
    SCOPED_TRACE(name);
    PackedTable t;
    ASSERT_TRUE(t.Open(FixtureDir() / "packed", name));
    const WalkResult whole = WalkAll(t);
    ASSERT_GT(whole.rows.size(), 100u);
    // A page of 50 rows from the middle, then the rest from where it stopped.
    const size_t mid = whole.rows.size() / 2;
    const WalkResult page = WalkAll(t, whole.positions[mid], 50);
    ASSERT_EQ(page.rows.size(), 50u);
    const WalkResult rest = WalkAll(t, page.nexts.back());
    ASSERT_EQ(mid + 50 + rest.rows.size(), whole.rows.size());
    for (size_t i = 0; i < 50; ++i) {
      EXPECT_EQ(page.positions[i], whole.positions[mid + i]);
      for (size_t c = 0; c < page.rows[i].size(); ++c) {
        EXPECT_EQ(page.rows[i][c].text, whole.rows[mid + i][c].text);
      }
    }
    for (size_t i = 0; i < rest.rows.size(); ++i) {
      EXPECT_EQ(rest.positions[i], whole.positions[mid + 50 + i]);
    }
    // A walk that stops on the last record says the table ends there.
    DamageLog damage;
    PackedWalker walker(t.def, t.info, t.myi, t.file, damage);
    EXPECT_EQ(
        walker.Walk(
            whole.positions.back(), [](const MyisamRecord&, uint64_t) { return false; }, nullptr),
        kEndOfTable);
  }
}

// The export's form: one walk copies records as stored, unpackers of their
// own on other threads rebuild them.
TEST(PackedMyisamTest, StoredRecordsUnpackOnOtherThreads) {
  for (const std::string name : {"t_dynamic", "t_shapes_dyn", "t_wide"}) {
    SCOPED_TRACE(name);
    PackedTable t;
    ASSERT_TRUE(t.Open(FixtureDir() / "packed", name));
    const WalkResult whole = WalkAll(t);
    std::vector<std::vector<uint8_t>> stored;
    std::vector<uint64_t> positions;
    DamageLog damage;
    PackedWalker walker(t.def, t.info, t.myi, t.file, damage);
    walker.WalkStored(
        0,
        [&](const StoredRecord& rec, uint64_t) {
          stored.emplace_back(rec.data, rec.data + rec.length);
          positions.push_back(rec.position);
          return true;
        },
        nullptr);
    ASSERT_EQ(stored.size(), whole.rows.size());
    constexpr size_t kThreads = 3;
    std::vector<std::vector<std::string>> texts(stored.size());
    std::vector<std::thread> threads;
    for (size_t w = 0; w < kThreads; ++w) {
      threads.emplace_back([&, w] {
        PackedRecordUnpacker unpacker(t.def, t.info);
        RowDecoder decoder(t.def);
        for (size_t i = w; i < stored.size(); i += kThreads) {
          MyisamRecord rec;
          const StoredRecord s{stored[i].data(), stored[i].size(), positions[i], positions[i]};
          if (!unpacker.Unpack(s, rec)) continue;
          Row row;
          decoder.Decode(rec, row);
          for (const FieldValue& v : row) texts[i].push_back(v.text);
        }
      });
    }
    for (std::thread& th : threads) th.join();
    for (size_t i = 0; i < stored.size(); ++i) {
      ASSERT_EQ(texts[i].size(), whole.rows[i].size()) << "record " << i;
      for (size_t c = 0; c < texts[i].size(); ++c) EXPECT_EQ(texts[i][c], whole.rows[i][c].text);
    }
  }
}

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct DamagedRun {
  PackedHeaderResult header;
  size_t rows = 0;
  size_t matching_prefix = 0;  // leading rows equal to the server's
  bool all_match = false;      // every row, and no more
  bool checksum_matches = false;
  DamageLog damage;
  DamageLog totals;  // what the index file's state adds
};

// Writes `bytes` as the table's data file and reads it whole.
DamagedRun ReadDamaged(const std::string& name, const std::string& bytes,
                       const std::vector<std::string>& want) {
  const fs::path dir = testing::TempDir("packed-damage");
  const fs::path myd = dir / (name + ".MYD");
  std::ofstream(myd, std::ios::binary) << bytes;
  DamagedRun r;
  PackedTable t;
  EXPECT_TRUE(t.Open(FixtureDir() / "packed", name, myd));
  r.header = t.header;
  if (!t.header.ok) return r;
  PackedWalker walker(t.def, t.info, t.myi, t.file, r.damage);
  RowDecoder decoder(t.def);
  const MyisamRowChecksum checksum(t.myi);
  uint32_t sum = 0;
  bool prefix = true;
  walker.Walk(
      0,
      [&](const MyisamRecord& rec, uint64_t) {
        sum += checksum.Of(rec);
        Row row;
        decoder.Decode(rec, row);
        if (prefix && r.rows < want.size() && Differences(t.def, row, want[r.rows]).empty()) {
          ++r.matching_prefix;
        } else {
          prefix = false;
        }
        ++r.rows;
        return true;
      },
      nullptr);
  r.all_match = prefix && r.rows == want.size();
  r.checksum_matches = sum == t.myi.table_checksum;
  NotePackedTableTotals(t.myi, t.file.size(), r.rows, sum, r.totals);
  return r;
}

// Files of the first format version hold lengths past 64 KiB in three bytes,
// not four: the same table written that way reads the same. Without the index
// file's data length (it no longer fits) the trailing zeros end the walk.
TEST(PackedMyisamTest, FirstFormatVersionReadsTheSame) {
  PackedTable t;
  ASSERT_TRUE(t.Open(FixtureDir() / "packed", "t_wide"));
  const WalkResult whole = WalkAll(t);
  const std::string bytes = ReadAll(FixtureDir() / "packed" / "t_wide.MYD");
  std::string old = bytes.substr(0, t.info.header_length);
  old[3] = 1;
  size_t long_lengths = 0;
  DamageLog damage;
  PackedWalker walker(t.def, t.info, t.myi, t.file, damage);
  walker.WalkStored(
      0,
      [&](const StoredRecord& rec, uint64_t) {
        PackedRecordHead head;
        EXPECT_TRUE(ReadPackedRecordHead(t.info, rec.data, rec.length, head));
        size_t at = 0;
        for (const uint64_t n : {head.bits_length, head.blob_length}) {
          const uint8_t first = rec.data[at];
          if (first < 255) {
            const size_t w = first < 254 ? 1 : 3;
            old.append(reinterpret_cast<const char*>(rec.data + at), w);
            at += w;
          } else {
            old += static_cast<char>(255);
            for (int k = 0; k < 3; ++k) old += static_cast<char>(n >> (8 * k));
            at += 5;
            ++long_lengths;
          }
        }
        old.append(reinterpret_cast<const char*>(rec.data + at), rec.length - at);
        return true;
      },
      nullptr);
  old.append(7, '\0');
  EXPECT_GT(long_lengths, 3u);
  const DamagedRun r = ReadDamaged("t_wide", old, ExpectedRows("t_wide"));
  ASSERT_TRUE(r.header.ok);
  EXPECT_FALSE(r.damage.any()) << r.damage.Summary();
  EXPECT_TRUE(r.all_match);
  EXPECT_TRUE(r.checksum_matches);
  // The index file's data length no longer fits, and is named so.
  EXPECT_EQ(r.totals.count, 1u) << r.totals.Summary();
}

// ------------------------------------------------------------------ damage

TEST(PackedMyisamDamageTest, CutFilesKeepTheRowsBeforeTheCutAndNameTheRest) {
  for (const std::string name : {"t_big", "t_wide", "t_dynamic", "t_shapes"}) {
    SCOPED_TRACE(name);
    const std::string bytes = ReadAll(FixtureDir() / "packed" / (name + ".MYD"));
    const std::vector<std::string> want = ExpectedRows(name);
    PackedTable whole;
    ASSERT_TRUE(whole.Open(FixtureDir() / "packed", name));
    const WalkResult all = WalkAll(whole);
    std::mt19937 rng(11);
    for (int round = 0; round < 12; ++round) {
      const size_t cut =
          whole.info.header_length + rng() % (bytes.size() - whole.info.header_length);
      const DamagedRun r = ReadDamaged(name, bytes.substr(0, cut), want);
      ASSERT_TRUE(r.header.ok);
      // Rows wholly before the cut, and no more.
      size_t before = 0;
      while (before < all.nexts.size() && all.nexts[before] <= cut) ++before;
      EXPECT_EQ(r.matching_prefix, before) << "cut at " << cut;
      EXPECT_EQ(r.rows, before) << "cut at " << cut;
      if (before < want.size()) {
        EXPECT_TRUE(r.damage.any()) << "cut at " << cut;
        EXPECT_NE(r.totals.Summary().find("bytes of the"), std::string::npos);
        EXPECT_NE(r.damage.Summary().find("byte"), std::string::npos) << r.damage.Summary();
      }
    }
    // Cut inside the compression header: no rows, said why.
    const DamagedRun head = ReadDamaged(name, bytes.substr(0, whole.info.header_length / 2), want);
    EXPECT_FALSE(head.header.ok);
    EXPECT_FALSE(head.header.error.empty());
  }
}

TEST(PackedMyisamDamageTest, FlippedBitsInRecordsAreNamedOrFailTheChecksum) {
  for (const std::string name : {"t_big", "t_dynamic", "t_shapes_dyn", "t_fixed"}) {
    SCOPED_TRACE(name);
    const std::string bytes = ReadAll(FixtureDir() / "packed" / (name + ".MYD"));
    const std::vector<std::string> want = ExpectedRows(name);
    PackedTable whole;
    ASSERT_TRUE(whole.Open(FixtureDir() / "packed", name));
    std::mt19937 rng(29);
    size_t named = 0;
    for (int round = 0; round < 20; ++round) {
      std::string bad = bytes;
      const size_t at =
          whole.info.header_length + rng() % (bytes.size() - whole.info.header_length - 7);
      bad[at] = static_cast<char>(bad[at] ^ (1u << (rng() % 8)));
      const DamagedRun r = ReadDamaged(name, bad, want);
      ASSERT_TRUE(r.header.ok);
      // A row that is missing is named; one read wrong shows in the checksum.
      if (r.rows < want.size()) {
        EXPECT_TRUE(r.damage.any()) << "flip at " << at;
      }
      // What a table reader reports: the walk's damage and the totals.
      if (!r.all_match) {
        EXPECT_TRUE(r.damage.any() || r.totals.any()) << "flip at " << at;
      }
      if (r.damage.any()) ++named;
      // The walk finds its way back: most rows survive one flipped bit.
      EXPECT_GE(r.rows + 5, want.size()) << "flip at " << at << ": " << r.damage.Summary();
    }
    // Most flips change a code into another of the same length: those rows
    // decode, to other values, caught only by the checksum. The rest are named.
    EXPECT_GT(named, 0u);
  }
}

TEST(PackedMyisamDamageTest, BrokenHeadersAndTreesAreRefusedOrNamed) {
  for (const std::string name : {"t_shapes", "t_dynamic", "t_big"}) {
    SCOPED_TRACE(name);
    const std::string bytes = ReadAll(FixtureDir() / "packed" / (name + ".MYD"));
    const std::vector<std::string> want = ExpectedRows(name);
    PackedTable whole;
    ASSERT_TRUE(whole.Open(FixtureDir() / "packed", name));
    const size_t header = whole.info.header_length;
    std::mt19937 rng(5);
    size_t refused = 0;
    for (int round = 0; round < 80; ++round) {
      std::string bad = bytes;
      const size_t at = 4 + rng() % (header - 4);
      bad[at] = static_cast<char>(bad[at] ^ (1u << (rng() % 8)));
      const DamagedRun r = ReadDamaged(name, bad, want);
      if (!r.header.ok) {
        ++refused;
        EXPECT_FALSE(r.header.error.empty());
      } else if (!r.all_match) {
        EXPECT_TRUE(r.damage.any() || r.totals.any()) << "flip at " << at;
      }
    }
    EXPECT_GT(refused, 0u);
    // An unknown format version is not damage.
    std::string v3 = bytes;
    v3[3] = 3;
    const DamagedRun r = ReadDamaged(name, v3, want);
    EXPECT_TRUE(r.header.unknown_format);
    EXPECT_FALSE(r.header.ok);
  }
}

// A tree whose pointers loop back, point past its end or land on half a pair
// is refused when the header is read, before any record is decoded.
TEST(PackedMyisamDamageTest, TreesThatLoopOrPointOutsideAreRefused) {
  const std::string name = "t_shapes";
  const std::string bytes = ReadAll(FixtureDir() / "packed" / (name + ".MYD"));
  PackedTable whole;
  ASSERT_TRUE(whole.Open(FixtureDir() / "packed", name));
  // Every byte of the trees set to all ones: offsets of all ones point far out.
  const size_t trees_from = 32 + (whole.info.columns.size() * 20 + 7) / 8;
  for (size_t at = trees_from; at < whole.info.header_length; at += 7) {
    std::string bad = bytes;
    for (size_t k = at; k < std::min(at + 16, whole.info.header_length); ++k) bad[k] = '\xff';
    const DamagedRun r = ReadDamaged(name, bad, {});
    if (r.header.ok) {
      EXPECT_LE(r.rows, whole.myi.live_rows * 2);
    }
  }
  // All zero bits: every entry a leaf of value min_chr, trees of no use; refused
  // by their totals or decoding nothing but damage.
  std::string zeros = bytes;
  std::fill(zeros.begin() + 32, zeros.begin() + static_cast<ptrdiff_t>(whole.info.header_length),
            '\0');
  const DamagedRun z = ReadDamaged(name, zeros, {});
  EXPECT_FALSE(z.header.ok);
}

}  // namespace
}  // namespace vostrel
