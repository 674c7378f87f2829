// Partitioned tables (InnoDB and MyISAM), CSV, ARCHIVE, MERGE, BLACKHOLE and
// Aria tables of tests/fixtures/engine-tables.tar.xz (made by
// scripts/make-engine-fixtures.sh), read through the reader factory and
// compared with what the server reported; damaged copies name what is lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "archive/archive_reader.h"
#include "csv/csv_line.h"
#include "model/field_decoder.h"
#include "model/frm_reader.h"
#include "model/merge_union.h"
#include "partition/partition_list.h"
#include "scan/row_text_writer.h"
#include "scan/scan.h"
#include "scan/table_preview.h"
#include "scan/table_readers.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

fs::path Fixture() {
  return testing::UnpackedFixture("engine-tables");
}
fs::path Eng() {
  return Fixture() / "datadir/eng";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
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

std::string Hex(std::string_view bytes) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (unsigned char c : bytes) {
    s += d[c >> 4];
    s += d[c & 15];
  }
  return s;
}

std::string Unhex(std::string_view hex) {
  std::string s;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    s += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  }
  return s;
}

bool IsBlob(const ColumnDef& c) {
  return c.type >= kTypeTinyBlob && c.type <= kTypeBlob;
}

// A decoded value as the fixture script's SELECT printed it.
std::string ServerText(const ColumnDef& c, const FieldValue& v) {
  if (v.is_null) return "NULL";
  std::string raw = v.text;
  const bool binary = c.charset_id == 63 && c.type != kTypeEnum && c.type != kTypeSet;
  if (c.type == kTypeBit) {
    uint64_t n = 0;
    for (char ch : raw) n = n * 2 + (ch == '1');
    char buf[24];
    std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(n));
    return buf;
  }
  if (binary) {
    std::string h = raw.compare(0, 2, "0x") == 0 ? raw.substr(2) : raw;
    std::transform(h.begin(), h.end(), h.begin(), ::toupper);
    if (!IsBlob(c)) return h;
    raw = Unhex(h);
  }
  if (IsBlob(c)) {
    if (raw.size() <= 64) return "=" + Hex(raw);
    return std::to_string(raw.size()) + ":" + testing::Sha256Hex(raw);
  }
  if (c.type == kTypeString) {
    while (!raw.empty() && raw.back() == ' ') raw.pop_back();
  }
  std::string out;
  for (char ch : raw) {
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

std::string Differences(const TableDef& def, const Row& row, const std::string& line) {
  const std::vector<std::string> want = Split(line);
  if (want.size() != row.size()) return "column count " + std::to_string(row.size());
  std::string diff;
  for (size_t i = 0; i < row.size(); ++i) {
    const ColumnDef& c = def.columns[i];
    const std::string got = ServerText(c, row[i]);
    if (got == want[i]) continue;
    if ((c.type == kTypeFloat || c.type == kTypeDouble) && !row[i].is_null && want[i] != "NULL") {
      const double a = std::strtod(got.c_str(), nullptr);
      const double b = std::strtod(want[i].c_str(), nullptr);
      if (std::fabs(a - b) <= 1e-5 * std::fabs(b)) continue;
    }
    diff += " " + c.name + ": got '" + got.substr(0, 80) + "' want '" + want[i].substr(0, 80) + "'";
  }
  return diff;
}

struct ReadResult {
  bool opened = false;
  std::string not_read, note, damage;
  std::vector<Row> rows;
  std::vector<RecordPosition> positions;
  std::string walk_damage;
};

// Every row through the factory's reader, values whole, as a save decodes them.
ReadResult ReadAll(const fs::path& folder, const std::string& table, const TableDef& def,
                   const RecordPosition& from = {}, size_t limit = SIZE_MAX) {
  ReadResult r;
  NullOutput out;
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
  OpenedReader o = OpenTableReaderAt(folder.string(), table, def, nullptr, ctx, out);
  r.not_read = o.not_read;
  r.note = o.note;
  r.damage = o.damage;
  if (!o.reader) return r;
  r.opened = true;
  TableReader& reader = *o.reader;
  reader.ForPreview();
  FieldDecoder fields(def, reader.storage(), testing::Collations(), testing::DefaultCodePage());
  std::unique_ptr<BlockDecoder> decoder = reader.NewDecoder();
  RowTextWriter writer(true);
  DamageLog damage;
  reader.Seek(from);
  RecordBlock block;
  bool full = false;
  while (!full) {
    block.Clear();
    if (!reader.NextBlock(block, 64 << 10)) break;
    decoder->Decode(
        block,
        [&](const RecordFields& rec) {
          if (r.rows.size() >= limit) {
            full = true;
            return false;
          }
          r.rows.emplace_back();
          r.positions.push_back(rec.position);
          Row& row = r.rows.back();
          writer.Into(row, def.columns.size());
          for (size_t i = 0; i < rec.count && i < def.columns.size(); ++i) {
            if (rec.fields[i].state == FieldState::kExternal) {
              std::string value(reinterpret_cast<const char*>(rec.fields[i].data),
                                reader.ExternalPrefix(rec.fields[i]));
              std::string problem;
              reader.ReadExternal(
                  rec.fields[i],
                  [&](const uint8_t* p, size_t n) {
                    value.append(reinterpret_cast<const char*>(p), n);
                  },
                  &problem);
              if (!problem.empty()) damage.Note(problem);
              fields.Write(i,
                           StoredField{reinterpret_cast<const uint8_t*>(value.data()),
                                       static_cast<uint32_t>(value.size()), FieldState::kInline},
                           writer);
            } else {
              fields.Write(i, rec.fields[i], writer);
            }
          }
          return true;
        },
        damage);
  }
  damage.Merge(reader.damage());
  r.walk_damage = damage.Summary();
  return r;
}

TableDef Definition(const fs::path& folder, const std::string& table) {
  TableDef def;
  const FrmReadResult fr = ReadTableDefinition(folder / (table + ".frm"), testing::Collations(),
                                               testing::DefaultCodePage(), def);
  EXPECT_TRUE(fr.ok) << table << ": " << fr.error;
  return def;
}

struct ExpectedTable {
  std::string name, engine;
  size_t rows = 0;
};

std::vector<ExpectedTable> ExpectedTables() {
  std::vector<ExpectedTable> t;
  for (const std::string& line :
       Lines(testing::ReadFileOrEmpty(Fixture() / "expected/tables.tsv"))) {
    const std::vector<std::string> f = Split(line);
    if (f.size() == 3) t.push_back({f[0], f[1], std::stoul(f[2])});
  }
  return t;
}

bool KeepsOwnRows(const std::string& engine) {
  return engine != "Aria" && engine != "BLACKHOLE" && engine != "MRG_MyISAM";
}

// The rows of `got` against the server's lines: "" when they are the same.
std::string Compare(const TableDef& def, const std::vector<Row>& got,
                    std::vector<std::string> want) {
  std::vector<std::string> have;
  for (const Row& r : got) {
    std::string line;
    for (size_t i = 0; i < r.size(); ++i)
      line += (i ? "\t" : "") + ServerText(def.columns[i], r[i]);
    have.push_back(line);
  }
  std::sort(have.begin(), have.end());
  std::sort(want.begin(), want.end());
  if (have == want) return {};
  std::vector<std::string> missing, extra;
  std::set_difference(want.begin(), want.end(), have.begin(), have.end(),
                      std::back_inserter(missing));
  std::set_difference(have.begin(), have.end(), want.begin(), want.end(),
                      std::back_inserter(extra));
  // Float columns print differently: compare the first unmatched pair field by field.
  if (missing.size() == extra.size()) {
    bool all_close = true;
    for (size_t k = 0; k < missing.size() && all_close; ++k) {
      Row row;
      for (const Row& r : got) {
        std::string line;
        for (size_t i = 0; i < r.size(); ++i)
          line += (i ? "\t" : "") + ServerText(def.columns[i], r[i]);
        if (line == extra[k]) row = r;
      }
      all_close = !row.empty() && Differences(def, row, missing[k]).empty();
    }
    if (all_close) return {};
  }
  return std::to_string(have.size()) + " rows for " + std::to_string(want.size()) + "; " +
         std::to_string(missing.size()) +
         " missing, first: " + (missing.empty() ? "" : missing[0].substr(0, 200)) +
         "\nfirst extra: " + (extra.empty() ? "" : extra[0].substr(0, 200));
}

TEST(OtherEnginesTest, EveryTableReadsAsTheServerReportedIt) {
  const std::vector<ExpectedTable> tables = ExpectedTables();
  ASSERT_EQ(tables.size(), 18u) << "fixture missing: " << Fixture();
  size_t compared = 0;
  for (const ExpectedTable& t : tables) {
    if (!KeepsOwnRows(t.engine)) continue;
    const TableDef def = Definition(Eng(), t.name);
    const ReadResult r = ReadAll(Eng(), t.name, def);
    ASSERT_TRUE(r.opened) << t.name << ": " << r.not_read;
    EXPECT_TRUE(r.damage.empty()) << t.name << ": " << r.damage;
    EXPECT_TRUE(r.walk_damage.empty()) << t.name << ": " << r.walk_damage;
    const std::vector<std::string> want =
        Lines(testing::ReadFileOrEmpty(Fixture() / "expected" / (t.name + ".tsv")));
    ASSERT_EQ(want.size(), t.rows) << t.name;
    const std::string diff = Compare(def, r.rows, want);
    EXPECT_TRUE(diff.empty()) << t.name << ": " << diff;
    ++compared;
  }
  EXPECT_EQ(compared, 15u);
}

TEST(OtherEnginesTest, TheExportLoopSavesEveryRowIntoItsOneTable) {
  for (const ExpectedTable& t : ExpectedTables()) {
    const testing::TableExport e = testing::ExportTable(Eng(), t.name);
    if (!KeepsOwnRows(t.engine)) {
      EXPECT_FALSE(e.opened) << t.name;
      continue;
    }
    ASSERT_TRUE(e.opened) << t.name << ": " << e.not_read;
    EXPECT_TRUE(e.result.completed) << t.name;
    EXPECT_FALSE(e.result.damaged) << t.name << ": " << e.result.damage;
    EXPECT_EQ(e.result.rows, t.rows) << t.name;
    EXPECT_TRUE(e.result.expected_known) << t.name;
    EXPECT_EQ(e.result.expected_rows, t.rows) << t.name;
    ASSERT_FALSE(e.rows.empty() && t.rows > 0);
    if (!e.rows.empty()) {
      EXPECT_EQ(e.rows[0].rfind("INSERT INTO `" + t.name + "`", 0), 0u) << e.rows[0].substr(0, 80);
    }
  }
}

TEST(OtherEnginesTest, TablesWithoutRowsOfTheirOwnSayWhy) {
  NullOutput out;
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
  const TableDef mrg = Definition(Eng(), "mrg");
  EXPECT_EQ(mrg.options.union_tables, "`m1`,`m2`");
  EXPECT_EQ(mrg.options.insert_method, "LAST");
  OpenedReader o = OpenTableReaderAt(Eng().string(), "mrg", mrg, nullptr, ctx, out);
  EXPECT_EQ(o.reader, nullptr);
  EXPECT_TRUE(o.not_read.empty());
  EXPECT_NE(o.note.find("`m1`,`m2`"), std::string::npos) << o.note;

  o = OpenTableReaderAt(Eng().string(), "bh", Definition(Eng(), "bh"), nullptr, ctx, out);
  EXPECT_EQ(o.reader, nullptr);
  EXPECT_NE(o.note.find("BLACKHOLE"), std::string::npos);
  // Aria's format is not read, and says so: never an empty table.
  o = OpenTableReaderAt(Eng().string(), "aria_t", Definition(Eng(), "aria_t"), nullptr, ctx, out);
  EXPECT_EQ(o.reader, nullptr);
  EXPECT_EQ(o.not_read.rfind("not read: Aria", 0), 0u) << o.not_read;

  // Tables of other databases and old servers' paths in a .MRG.
  const MergeUnion u =
      ParseMergeFile("t1\r\n./other/t@0020x\n/var/lib/mysql/eng/t3\n#INSERT_METHOD=FIRST\n", "eng");
  ASSERT_EQ(u.tables.size(), 3u);
  EXPECT_EQ(u.tables[0], (std::pair<std::string, std::string>{"", "t1"}));
  EXPECT_EQ(u.tables[1], (std::pair<std::string, std::string>{"other", "t x"}));
  EXPECT_EQ(u.tables[2], (std::pair<std::string, std::string>{"", "t3"}));
  EXPECT_EQ(u.insert_method, "FIRST");
}

TEST(OtherEnginesTest, ScanListsPartitionsUnderTheirTableAndEveryTableOnce) {
  testing::RecordingOutput out;
  const ScanResult scan = ScanDataDirectory(Fixture() / "datadir", out);
  std::set<std::string> names;
  for (const TableEntry& e : scan.m_tableEntries) {
    EXPECT_TRUE(e.definition_problem.empty()) << e.tableName << ": " << e.definition_problem;
    EXPECT_EQ(e.tableName.find('#'), std::string::npos) << "partition listed as a table";
    names.insert(e.tableName);
  }
  EXPECT_EQ(names.size(), 18u);
  EXPECT_TRUE(names.count("aria_t"));
  const TreeNode& tables = scan.root.children[0].children[0].children[0];
  const TreeNode* sub = nullptr;
  for (const TreeNode& t : tables.children) {
    if (t.text == "p_sub_innodb") sub = &t;
  }
  ASSERT_NE(sub, nullptr);
  ASSERT_EQ(sub->children.size(), 2u);
  EXPECT_EQ(sub->children[0].item_data, ITEMDATA_KEYS);
  const TreeNode& parts = sub->children[1];
  EXPECT_EQ(parts.text, "Partitions");
  EXPECT_EQ(parts.item_data, ITEMDATA_NODE);
  ASSERT_EQ(parts.children.size(), 3u);
  EXPECT_EQ(parts.children[1].text, "y2020");
  ASSERT_EQ(parts.children[1].children.size(), 2u);
  EXPECT_EQ(parts.children[1].children[1].text, "y2020sp1");
  EXPECT_EQ(parts.children[1].children[1].item_data, ITEMDATA_NODE);
}

TEST(OtherEnginesTest, PartitionOrderComesFromTheParFileOrTheClause) {
  const PartitionList with_par = ReadPartitionList(Eng(), "p_sub_innodb");
  EXPECT_EQ(with_par.source, "the .par file");
  EXPECT_EQ(with_par.part_engine, kEngineInnoDb);
  std::vector<std::string> names;
  for (const PartitionPart& p : with_par.parts) names.push_back(p.name);
  const std::vector<std::string> want = {"y2019#SP#y2019sp0",   "y2019#SP#y2019sp1",
                                         "y2020#SP#y2020sp0",   "y2020#SP#y2020sp1",
                                         "ylater#SP#ylatersp0", "ylater#SP#ylatersp1"};
  EXPECT_EQ(names, want);
  EXPECT_EQ(with_par.parts[0].file_stem, "p_sub_innodb#P#y2019#SP#y2019sp0");

  // Without the .par (MariaDB does not always write one): the .frm's clause.
  std::string frm = testing::ReadFileOrEmpty(Eng() / "p_sub_innodb.frm");
  EXPECT_EQ(PartitionNamesFromClause(FrmPartitionClause(frm)), want);
  EXPECT_EQ(PartitionNamesFromClause(
                FrmPartitionClause(testing::ReadFileOrEmpty(Eng() / "p_range_myisam.frm"))),
            (std::vector<std::string>{"p0", "p1", "p_empty", "pmax"}));
  EXPECT_EQ(PartitionNamesFromClause(" PARTITION BY HASH (`id`)\nPARTITIONS 3"),
            (std::vector<std::string>{"p0", "p1", "p2"}));
  EXPECT_EQ(PartitionNamesFromClause(
                "PARTITION BY LIST (a) (PARTITION `x,y` VALUES IN ('(', 'PARTITION z') "
                "(SUBPARTITION s1, SUBPARTITION `s``2`), PARTITION b VALUES IN (2) "
                "(SUBPARTITION s3, SUBPARTITION s4))"),
            (std::vector<std::string>{"x,y#SP#s1", "x,y#SP#s`2", "b#SP#s3", "b#SP#s4"}));
  const fs::path copy = testing::TempDir("partition-no-par");
  for (const auto& f : fs::directory_iterator(Eng())) {
    if (f.path().filename().string().rfind("p_sub_innodb", 0) == 0 &&
        f.path().extension() != ".par") {
      fs::copy_file(f.path(), copy / f.path().filename());
    }
  }
  const PartitionList from_clause = ReadPartitionList(copy, "p_sub_innodb");
  EXPECT_EQ(from_clause.source, "the partition clause");
  ASSERT_EQ(from_clause.parts.size(), 6u);
  EXPECT_EQ(from_clause.parts[5].subpartition, "ylatersp1");
  const ReadResult r = ReadAll(copy, "p_sub_innodb", Definition(copy, "p_sub_innodb"));
  EXPECT_EQ(r.rows.size(), 800u);

  std::vector<std::string> par;
  std::string problem;
  std::string bytes = testing::ReadFileOrEmpty(Eng() / "p_hash_myisam.par");
  ASSERT_TRUE(ParseParFile(bytes, par, &problem)) << problem;
  EXPECT_EQ(par, (std::vector<std::string>{"p0", "p1", "p2", "p3"}));
  bytes[21] ^= 1;
  EXPECT_FALSE(ParseParFile(bytes, par, &problem));
  EXPECT_EQ(problem, "fails its checksum");
  EXPECT_FALSE(ParseParFile(bytes.substr(0, 20), par, &problem));
}

TEST(OtherEnginesTest, PositionsResumeInTheirOwnPartition) {
  for (const std::string table : {"p_hash_myisam", "p_list_innodb"}) {
    const TableDef def = Definition(Eng(), table);
    const ReadResult all = ReadAll(Eng(), table, def);
    ASSERT_GT(all.rows.size(), 400u);
    std::set<uint64_t> parts;
    for (const RecordPosition& p : all.positions) parts.insert(p.page >> 32);
    EXPECT_GE(parts.size(), 2u) << table;
    // From any record on: the same rows as the whole walk from there.
    for (size_t at :
         {size_t{0}, size_t{1}, all.rows.size() / 3, all.rows.size() / 2, all.rows.size() - 1}) {
      const ReadResult rest = ReadAll(Eng(), table, def, all.positions[at], 50);
      ASSERT_FALSE(rest.rows.empty()) << table << " at " << at;
      for (size_t k = 0; k < rest.rows.size(); ++k) {
        ASSERT_EQ(rest.rows[k][0].text, all.rows[at + k][0].text) << table << " at " << at + k;
      }
    }
  }
}

TEST(OtherEnginesTest, ThePreviewPagesBackAndForth) {
  testing::RecordingOutput out;
  const ScanResult scan = ScanDataDirectory(Fixture() / "datadir", out);
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
  for (const std::string table : {"arch", "p_sub_myisam"}) {
    size_t index = SIZE_MAX;
    for (size_t i = 0; i < scan.m_tableEntries.size(); ++i) {
      if (scan.m_tableEntries[i].tableName == table) index = i;
    }
    ASSERT_NE(index, SIZE_MAX);
    TablePreview preview(ctx);
    std::string error;
    ASSERT_TRUE(preview.Open(scan, index, &error)) << error;
    PreviewPager pager(preview);
    std::vector<std::string> firsts;
    size_t shown = 0;
    for (const PreviewScreen* s = &pager.First(); s != nullptr && firsts.size() < 20;
         s = pager.Next()) {
      ASSERT_FALSE(s->rows.empty());
      firsts.push_back(s->rows[0][0].text);
      shown += s->rows.size();
    }
    const size_t want = table == "arch" ? 6040 : 800;
    EXPECT_EQ(shown, want) << table;
    EXPECT_TRUE(preview.damage().empty()) << preview.damage();
    for (size_t k = firsts.size(); k-- > 1;) {
      const PreviewScreen* s = pager.Previous();
      ASSERT_NE(s, nullptr);
      EXPECT_EQ(s->rows[0][0].text, firsts[k - 1]) << table << " screen " << k - 1;
    }
  }
}

// ------------------------------------------------------------------ damage

fs::path DamagedCopy(const std::string& name) {
  const fs::path dir = testing::TempDir(name);
  for (const auto& f : fs::directory_iterator(Eng()))
    fs::copy_file(f.path(), dir / f.path().filename());
  return dir;
}

void Cut(const fs::path& p, double keep) {
  fs::resize_file(p, static_cast<uintmax_t>(static_cast<double>(fs::file_size(p)) * keep));
}

void Flip(const fs::path& p, size_t at) {
  std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
  f.seekg(static_cast<std::streamoff>(at));
  char c = 0;
  f.read(&c, 1);
  c = static_cast<char>(c ^ 0x5A);
  f.seekp(static_cast<std::streamoff>(at));
  f.write(&c, 1);
}

size_t RowsOfPartition(const std::string& table, const std::string& part) {
  const fs::path one = testing::TempDir("one-part-" + table + "-" + part);
  for (const auto& f : fs::directory_iterator(Eng())) {
    const std::string n = f.path().filename().string();
    if (n.rfind(table + "#P#" + part + ".", 0) == 0 || n == table + ".frm") {
      fs::copy_file(f.path(), one / (n == table + ".frm" ? n : table + n.substr(n.find('.'))));
    }
  }
  // The partition's files as a table of their own.
  TableDef def = Definition(one, table);
  def.engine_type = ReadPartitionList(Eng(), table).part_engine;
  return ReadAll(one, table, def).rows.size();
}

TEST(OtherEnginesDamageTest, AMissingPartitionIsNamedAndTheOthersAreSaved) {
  for (const std::string table : {"p_range_innodb", "p_range_myisam"}) {
    const fs::path dir = DamagedCopy("missing-part-" + table);
    const size_t lost = RowsOfPartition(table, "p1");
    ASSERT_GT(lost, 0u);
    for (const char* ext : {".ibd", ".MYD", ".MYI"}) fs::remove(dir / (table + "#P#p1" + ext));
    const testing::TableExport e = testing::ExportTable(dir, table);
    ASSERT_TRUE(e.opened) << e.not_read;
    EXPECT_NE(e.open_damage.find("partition p1"), std::string::npos) << e.open_damage;
    EXPECT_EQ(e.result.rows, 500 - lost) << table;
    EXPECT_FALSE(e.result.expected_known) << "a lost partition's rows are not counted";
  }
}

TEST(OtherEnginesDamageTest, CutAndFlippedPartitionFilesNameTheirPartition) {
  const fs::path dir = DamagedCopy("cut-part");
  Cut(dir / "p_hash_myisam#P#p2.MYD", 0.5);
  testing::TableExport e = testing::ExportTable(dir, "p_hash_myisam");
  ASSERT_TRUE(e.opened);
  EXPECT_TRUE(e.result.damaged);
  EXPECT_NE(e.result.damage.find("partition p2 (data file"), std::string::npos) << e.result.damage;
  EXPECT_LT(e.result.rows, 700u);
  EXPECT_GT(e.result.rows, 500u);

  // A leaf page of an InnoDB partition: its checksum fails, the partition is named.
  const fs::path ibd = dir / "p_key_innodb#P#p1.ibd";
  Flip(ibd, 3 * 16384 + 2000);
  e = testing::ExportTable(dir, "p_key_innodb");
  ASSERT_TRUE(e.opened);
  EXPECT_TRUE(e.result.damaged);
  EXPECT_NE(e.result.damage.find("partition p1"), std::string::npos) << e.result.damage;
  EXPECT_LT(e.result.rows, 450u);

  // Every byte of a .par damaged in turn never breaks the read: the clause stands in.
  const std::string par = testing::ReadFileOrEmpty(Eng() / "p_list_myisam.par");
  for (size_t at = 0; at < par.size(); at += 3) {
    std::string bad = par;
    bad[at] = static_cast<char>(bad[at] ^ 0x21);
    std::ofstream(dir / "p_list_myisam.par", std::ios::binary) << bad;
    const testing::TableExport x = testing::ExportTable(dir, "p_list_myisam");
    ASSERT_TRUE(x.opened) << at;
    EXPECT_EQ(x.result.rows, 500u) << "byte " << at;
  }
}

TEST(OtherEnginesDamageTest, ACutArchiveKeepsTheRowsBeforeTheCut) {
  const fs::path dir = DamagedCopy("cut-arz");
  Cut(dir / "arch.ARZ", 0.6);
  const testing::TableExport e = testing::ExportTable(dir, "arch");
  ASSERT_TRUE(e.opened);
  EXPECT_TRUE(e.result.damaged);
  EXPECT_NE(e.log.find("ends inside the compressed rows"), std::string::npos) << e.log;
  EXPECT_GT(e.result.rows, 1000u);
  EXPECT_LT(e.result.rows, 6040u);
  EXPECT_NE(e.result.damage.find("rows"), std::string::npos);

  // Flipped bytes anywhere in the stream: named, never a crash or a hang.
  const std::string whole = testing::ReadFileOrEmpty(Eng() / "arch.ARZ");
  for (size_t at = 1700; at < whole.size(); at += whole.size() / 23) {
    std::string bad = whole;
    bad[at] = static_cast<char>(bad[at] ^ 0x10);
    std::ofstream(dir / "arch.ARZ", std::ios::binary) << bad;
    const testing::TableExport x = testing::ExportTable(dir, "arch");
    ASSERT_TRUE(x.opened);
    EXPECT_TRUE(x.result.damaged) << "byte " << at << " gave " << x.result.rows << " rows";
  }
  std::ofstream(dir / "arch.ARZ", std::ios::binary) << whole.substr(0, 40);
  const testing::TableExport x = testing::ExportTable(dir, "arch");
  EXPECT_FALSE(x.opened);
  EXPECT_NE(x.not_read.find("header is cut off"), std::string::npos) << x.not_read;
}

TEST(OtherEnginesDamageTest, BrokenCsvLinesAreNamedAndTheOthersRead) {
  const fs::path dir = DamagedCopy("csv-broken");
  std::string csv = testing::ReadFileOrEmpty(Eng() / "csv_t.CSV");
  const size_t third = csv.find('\n', csv.find('\n', csv.find('\n') + 1) + 1) + 1;
  csv.insert(
      third,
      "7,\"open quote,1.0\n8,\"x\",not-a-number,1,\"2000-01-01\",\"2000-01-01 00:00:00.000\","
      "\"a\",\"\",\"\",\"\",\"\"\n");
  csv.resize(csv.size() - 10);  // the last line loses its end
  std::ofstream(dir / "csv_t.CSV", std::ios::binary) << csv;
  const testing::TableExport e = testing::ExportTable(dir, "csv_t");
  ASSERT_TRUE(e.opened);
  EXPECT_TRUE(e.result.damaged);
  EXPECT_EQ(e.result.rows, 303u);
  EXPECT_NE(e.log.find("has no closing quote"), std::string::npos);
  EXPECT_NE(e.result.damage.find("row cannot be read"), std::string::npos) << e.result.damage;
  EXPECT_NE(e.log.find("not a value of its type"), std::string::npos);
  EXPECT_NE(e.log.find("ends inside a row"), std::string::npos) << e.log;
  EXPECT_NE(e.log.find("counts 304 rows, 303 were read"), std::string::npos) << e.log;
}

TEST(OtherEnginesDamageTest, CsvLinesSplitAsTheServerReadsThem) {
  CsvFields f;
  std::string why;
  ASSERT_TRUE(SplitCsvLine(R"(1,"a\"b,c","x\\y\nz",-2.5e3)", 4, f, &why)) << why;
  auto field = [&](size_t i) { return f.scratch.substr(f.spans[i].first, f.spans[i].second); };
  EXPECT_EQ(field(1), "a\"b,c");
  EXPECT_EQ(field(2), "x\\y\nz");
  EXPECT_EQ(field(3), "-2.5e3");
  EXPECT_FALSE(SplitCsvLine("1,\"a", 2, f, &why));
  EXPECT_FALSE(SplitCsvLine("1", 2, f, &why));
  EXPECT_FALSE(SplitCsvLine("1,a\"", 2, f, &why));
  ColumnDef c;
  c.type = kTypeDateTime2;
  EXPECT_TRUE(CsvValueFits(c, "2020-01-02 03:04:05.678"));
  EXPECT_FALSE(CsvValueFits(c, "2020-01-02'); DROP TABLE t; --"));
  c.type = kTypeLong;
  EXPECT_TRUE(CsvValueFits(c, "-12"));
  EXPECT_FALSE(CsvValueFits(c, "1 OR 1"));
  c.type = kTypeDouble;
  EXPECT_TRUE(CsvValueFits(c, "1e-300"));
  EXPECT_FALSE(CsvValueFits(c, "e5"));
  size_t len = 0;
  EXPECT_EQ(FindCsvLineEnd("ab\r\ncd", 0, &len), 2u);
  EXPECT_EQ(len, 2u);
  EXPECT_EQ(FindCsvLineEnd("ab", 0, &len), std::string_view::npos);
}

// ------------------------------------------------------- older servers' files

TEST(OtherEnginesTest, MySql5FilesOfTheseEnginesRead) {
  const fs::path dir = testing::ExternalFixturesDir() / "mysql-5.5.30-std_data";
  if (testing::ExternalFixturesDir().empty() || !fs::exists(dir / "bug49823.CSV")) {
    GTEST_SKIP() << "external fixtures not present";
  }
  // The server's own test data: 5.5 CSV, 5.1 ARCHIVE (format 3), 5.0 ARCHIVE (gzip).
  ReadResult r = ReadAll(dir, "bug49823", Definition(dir, "bug49823"));
  EXPECT_TRUE(r.opened) << r.not_read;
  EXPECT_TRUE(r.walk_damage.empty()) << r.walk_damage;
  // Three streams, the last one cut inside its third row (the header counts 3).
  r = ReadAll(dir, "bug46565", Definition(dir, "bug46565"));
  ASSERT_TRUE(r.opened) << r.not_read;
  EXPECT_EQ(r.rows.size(), 2u);
  EXPECT_NE(r.walk_damage.find("end inside the row at offset 18"), std::string::npos)
      << r.walk_damage;
  r = ReadAll(dir, "bug47012", Definition(dir, "bug47012"));
  EXPECT_FALSE(r.opened);
  EXPECT_EQ(r.not_read.rfind("not read: ARCHIVE data file of format 2", 0), 0u) << r.not_read;
  // A partitioned BLACKHOLE table: its .par names the partitions, none keeps rows.
  const fs::path parts = dir / "parts";
  if (fs::exists(parts / "t1_blackhole.par")) {
    const PartitionList l = ReadPartitionList(parts, "t1_blackhole");
    EXPECT_EQ(l.source, "the .par file");
    EXPECT_FALSE(l.parts.empty());
  }
}

}  // namespace
}  // namespace vostrel
