// Full table, view and trigger definitions read from real files, against
// what the servers that wrote them said (SHOW CREATE TABLE, information_schema).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "innodb/foreign_keys.h"
#include "innodb/system_dictionary.h"
#include "model/frm_reader.h"
#include "model/mysql_filename.h"
#include "sql/create_statements.h"
#include "sql/views_triggers.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

// A CREATE TABLE split into its properties: one per column, key or CHECK
// line, and one per table option.
struct Shape {
  std::vector<std::string> elements;
  std::multiset<std::string> options;
};

std::vector<std::string> OptionTokens(std::string_view s) {
  std::vector<std::string> out;
  std::string cur;
  char quote = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (quote) {
      cur.push_back(c);
      if (c == quote && !(i + 1 < s.size() && s[i + 1] == quote))
        quote = 0;
      else if (c == quote)
        cur.push_back(s[++i]);
      continue;
    }
    if (c == '\'') quote = c;
    if (c == ' ' && !cur.empty()) {
      // "DEFAULT CHARSET=x" and "INSERT_METHOD=..." are one option each.
      if (cur == "DEFAULT") {
        cur.push_back(' ');
        continue;
      }
      out.push_back(cur);
      cur.clear();
      continue;
    }
    if (c != ' ') cur.push_back(c);
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

Shape ShapeOf(std::string sql) {
  while (!sql.empty() &&
         (sql.back() == ';' || std::isspace(static_cast<unsigned char>(sql.back())))) {
    sql.pop_back();
  }
  Shape shape;
  std::istringstream in(sql);
  std::string line;
  bool in_body = false, after = false;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    if (!in_body && !after) {
      in_body = line.rfind("CREATE TABLE", 0) == 0;
      continue;
    }
    if (in_body && line.rfind(")", 0) == 0) {
      in_body = false;
      after = true;
      for (std::string& t : OptionTokens(line.substr(1))) shape.options.insert(t);
      continue;
    }
    if (in_body) {
      if (!line.empty() && line.back() == ',') line.pop_back();
      shape.elements.push_back(line);
    } else {
      shape.options.insert(line);  // the partition clause
    }
  }
  return shape;
}

std::string Replace(std::string s, const std::string& re, const std::string& by) {
  return std::regex_replace(s, std::regex(re), by);
}

// Differences of presentation between MySQL 5.x and MariaDB 10.11 that do
// not change the table: number quoting, CURRENT_TIMESTAMP spelling, the
// DEFAULT NULL MariaDB adds for BLOB and TEXT, collations shown only when
// not the charset's default, utf8 spelled utf8mb3.
void Canonical(Shape& s) {
  for (std::string& e : s.elements) {
    e = Replace(e, R"(DEFAULT '(-?[0-9][0-9.e+-]*)')", "DEFAULT $1");
    e = Replace(e, R"(CURRENT_TIMESTAMP(\(\d?\))?)", "current_timestamp()");
    e = Replace(e, R"(current_timestamp\(\))", "current_timestamp()");
    e = Replace(e, R"( COLLATE \w+)", "");
    e = Replace(e, R"(utf8mb3)", "utf8");
    e = Replace(e, R"(^(  `(?:[^`]|``)*` (?:tiny|medium|long)?(?:text|blob)\b.*?) DEFAULT NULL)",
                "$1");
    e = Replace(
        e,
        R"(^(  `(?:[^`]|``)*` (?:geometry|point|linestring|polygon|multipoint|multilinestring|multipolygon|geometrycollection)\b.*?) DEFAULT NULL)",
        "$1");
    e = Replace(e, R"( \*/ ?$)", " */");
  }
  std::multiset<std::string> opts;
  for (std::string o : s.options) {
    o = Replace(o, R"(utf8mb3)", "utf8");
    if (o.rfind("COLLATE=", 0) == 0) continue;
    if (o.rfind("ENGINE=", 0) == 0) {  // engine names are not case-sensitive
      for (char& c : o) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    opts.insert(o);
  }
  s.options = opts;
}

std::string Show(const Shape& s) {
  std::string out;
  for (const std::string& e : s.elements) out += e + "\n";
  for (const std::string& o : s.options) out += "[" + o + "] ";
  return out;
}

struct Tally {
  int tables = 0, agree = 0, properties = 0, properties_agree = 0;
  void Add(const Shape& got, const Shape& want) {
    ++tables;
    agree += got.elements == want.elements && got.options == want.options;
    const size_t n = std::max(got.elements.size(), want.elements.size());
    for (size_t i = 0; i < n; ++i) {
      ++properties;
      properties_agree += i < got.elements.size() && i < want.elements.size() &&
                          got.elements[i] == want.elements[i];
    }
    for (const std::string& o : want.options) {
      ++properties;
      properties_agree += got.options.count(o) > 0;
    }
  }
};

Shape OurShape(const fs::path& frm, const std::string& name, TableDef& t) {
  const FrmReadResult r =
      ReadTableDefinition(frm, testing::Collations(), testing::DefaultCodePage(), t);
  EXPECT_TRUE(r.ok) << frm << ": " << r.error;
  for (const std::string& w : r.warnings) {
    // mysql-utilities keeps t8.frm without the t8.MRG its UNION list lives in.
    if (w.rfind("not read: the MERGE table list", 0) == 0) continue;
    ADD_FAILURE() << frm.filename() << ": " << w;
  }
  return ShapeOf(FullCreateTableStatement(name, t, testing::Collations()));
}

TEST(FullDefinitionTest, DbsakeTablesGiveTheirKeptDdl) {
  const fs::path root = testing::ExternalFixturesDir();
  if (root.empty()) GTEST_SKIP() << "no external fixtures";
  Tally tally;
  for (const auto& e : fs::directory_iterator(root / "dbsake/frmdump")) {
    if (e.path().extension() != ".frm") continue;
    const std::string sql = testing::ReadFileOrEmpty(fs::path(e.path()).replace_extension(".sql"));
    if (sql.find("CREATE TABLE") == std::string::npos) continue;  // views
    TableDef t;
    Shape got = OurShape(e.path(), e.path().stem().string(), t);
    Shape want = ShapeOf(sql);
    Canonical(got);
    Canonical(want);
    EXPECT_EQ(Show(got), Show(want)) << e.path().filename();
    tally.Add(got, want);
  }
  std::printf("dbsake: %d of %d tables agree in full; %d of %d properties\n", tally.agree,
              tally.tables, tally.properties_agree, tally.properties);
  EXPECT_GE(tally.tables, 39);
}

// The CREATE statements mysqlfrm printed for the files that are kept.
std::map<std::string, std::string> MysqlfrmStatements(const fs::path& result) {
  std::map<std::string, std::string> out;
  std::istringstream in(testing::ReadFileOrEmpty(result));
  std::string line, current, text;
  static const std::regex head(R"(^CREATE TABLE `[^`]*`\.`((?:[^`]|``)*)` \($)");
  std::smatch m;
  while (std::getline(in, line)) {
    if (std::regex_match(line, m, head)) {
      current = m[1];
      text = "CREATE TABLE `" + current + "` (\n";
      continue;
    }
    if (current.empty()) continue;
    text += line + "\n";
    if (line.rfind(")", 0) == 0) {
      out.emplace(current, text);
      current.clear();
    }
  }
  return out;
}

TEST(FullDefinitionTest, MysqlUtilitiesTablesGiveWhatMysqlfrmPrinted) {
  const fs::path root = testing::ExternalFixturesDir();
  if (root.empty()) GTEST_SKIP() << "no external fixtures";
  const auto expected =
      MysqlfrmStatements(root / "mysql-utilities/expected/frm_reader_default.result");
  Tally tally;
  for (const auto& e : fs::directory_iterator(root / "mysql-utilities/frm_files")) {
    if (e.path().extension() != ".frm") continue;
    const std::string name = DecodeMysqlFileName(e.path().stem().string());
    const auto it = expected.find(name);
    if (it == expected.end()) continue;
    TableDef t;
    Shape got = OurShape(e.path(), name, t);
    Shape want = ShapeOf(it->second);
    Canonical(got);
    Canonical(want);
    EXPECT_EQ(Show(got), Show(want)) << e.path().filename();
    tally.Add(got, want);
  }
  std::printf("mysql-utilities: %d of %d tables agree in full; %d of %d properties\n", tally.agree,
              tally.tables, tally.properties_agree, tally.properties);
  EXPECT_GE(tally.tables, 8);
}

fs::path Fulldef() {
  return testing::UnpackedFixture("fulldef-datadir");
}

TEST(FullDefinitionTest, MariadbTablesGiveTheirShowCreateTable) {
  const fs::path dir = Fulldef();
  Tally tally;
  for (const char* db : {"fulldef", "fulldef2"}) {
    for (const auto& e : fs::directory_iterator(dir / db)) {
      if (e.path().extension() != ".frm") continue;
      const std::string name = e.path().stem().string();
      const fs::path shown = dir / "expected/show-create" / (std::string(db) + "." + name + ".sql");
      const std::string sql = testing::ReadFileOrEmpty(shown);
      if (sql.rfind("CREATE TABLE", 0) != 0) continue;  // views
      TableDef t;
      Shape got = OurShape(e.path(), name, t);
      Shape want = ShapeOf(sql);
      // Not in the .frm: foreign keys (added after the rows, compared below)
      // and the AUTO_INCREMENT counter (the row readers set it).
      std::erase_if(want.elements, [](const std::string& l) {
        return l.find(" FOREIGN KEY ") != std::string::npos;
      });
      std::erase_if(want.options,
                    [](const std::string& o) { return o.rfind("AUTO_INCREMENT=", 0) == 0; });
      // SHOW CREATE TABLE prints a default through utf8mb3, where a
      // four-byte character becomes '?'; the .frm keeps the character.
      for (std::string& l : got.elements) l = Replace(l, "\xF0\x9F\x98\x80", "?");
      // A key longer than COMPACT allows needs DYNAMIC where the server's default is older.
      if (NeedsDynamicRowFormat(t)) {
        EXPECT_EQ(got.options.erase("ROW_FORMAT=DYNAMIC"), 1u) << name;
      }
      EXPECT_EQ(Show(got), Show(want)) << name;
      tally.Add(got, want);
    }
  }
  std::printf("MariaDB 10.11 fixture: %d of %d tables agree in full; %d of %d properties\n",
              tally.agree, tally.tables, tally.properties_agree, tally.properties);
  EXPECT_GE(tally.tables, 24);
}

std::set<std::string> TsvRows(const fs::path& file, size_t columns) {
  std::set<std::string> out;
  std::istringstream in(testing::ReadFileOrEmpty(file));
  std::string line;
  while (std::getline(in, line)) {
    size_t cut = 0;
    for (size_t c = 0; c < columns && cut != std::string::npos; ++c) {
      cut = line.find('\t', cut == 0 && c == 0 ? 0 : cut + 1);
    }
    out.insert(cut == std::string::npos ? line : line.substr(0, cut));
  }
  return out;
}

TEST(FullDefinitionTest, ForeignKeysComeFromTheDictionary) {
  const fs::path dir = Fulldef();
  SystemDictionary dict;
  ASSERT_TRUE(dict.Load(dir / "ibdata1"));
  EXPECT_FALSE(dict.damage().any()) << dict.damage().Summary();
  std::set<std::string> got;
  for (const char* name : {"aa_child", "employee", "zz_parent"}) {
    TableDef t;
    ASSERT_TRUE(ReadTableDefinition(dir / "fulldef" / (std::string(name) + ".frm"),
                                    testing::Collations(), testing::DefaultCodePage(), t)
                    .ok);
    AttachForeignKeys(dict, "fulldef", name, t);
    for (const ForeignKeyDef& fk : t.foreign_keys) {
      for (size_t i = 0; i < fk.columns.size(); ++i) {
        got.insert("fulldef\t" + std::string(name) + "\t" + fk.name + "\t" + std::to_string(i + 1) +
                   "\t" + fk.columns[i] + "\t" +
                   (fk.ref_database.empty() ? "fulldef" : fk.ref_database) + "\t" + fk.ref_table +
                   "\t" + fk.ref_columns[i]);
      }
      got.insert("rules\t" + fk.name + "\t" + (fk.on_update.empty() ? "RESTRICT" : fk.on_update) +
                 "\t" + (fk.on_delete.empty() ? "RESTRICT" : fk.on_delete));
    }
  }
  std::set<std::string> want = TsvRows(dir / "expected/foreign_key_columns.tsv", 8);
  for (const std::string& row : TsvRows(dir / "expected/referential_constraints.tsv", 7)) {
    std::vector<std::string> f;
    std::istringstream in(row);
    for (std::string x; std::getline(in, x, '\t');) f.push_back(x);
    ASSERT_EQ(f.size(), 7u);
    want.insert("rules\t" + f[2] + "\t" + f[5] + "\t" + f[6]);
  }
  EXPECT_EQ(got, want);
}

TEST(FullDefinitionTest, ViewsKeepAlgorithmDefinerSecurityAndCheckOption) {
  const fs::path dir = Fulldef();
  std::set<std::string> got;
  for (const auto& e : fs::directory_iterator(dir / "fulldef")) {
    if (e.path().extension() != ".frm" || e.path().stem().string().rfind("v_", 0) != 0) continue;
    std::string definer;
    const std::string s =
        FullViewStatement(e.path(), {"fulldef"}, testing::DefaultCodePage(), &definer);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(
        s, m,
        std::regex(
            R"(^CREATE ALGORITHM=(\w+) DEFINER=`([^`]*)`@`([^`]*)` SQL SECURITY (\w+) VIEW)")))
        << s;
    std::string check = "NONE";
    if (s.find("WITH LOCAL CHECK OPTION;") != std::string::npos) check = "LOCAL";
    if (s.find("WITH CASCADED CHECK OPTION;") != std::string::npos) check = "CASCADED";
    got.insert("fulldef\t" + e.path().stem().string() + "\t" + check + "\t" + m[2].str() + "@" +
               m[3].str() + "\t" + m[4].str() + "\t" + m[1].str());
  }
  std::set<std::string> want;
  for (const std::string& row : TsvRows(dir / "expected/views.tsv", 7)) {
    std::vector<std::string> f;
    std::istringstream in(row);
    for (std::string x; std::getline(in, x, '\t');) f.push_back(x);
    ASSERT_EQ(f.size(), 7u);
    want.insert(f[0] + "\t" + f[1] + "\t" + f[2] + "\t" + f[4] + "\t" + f[5] + "\t" + f[6]);
  }
  EXPECT_EQ(got, want);
}

TEST(FullDefinitionTest, TriggersKeepDefinerSqlModeAndOrder) {
  const fs::path dir = Fulldef();
  const auto triggers = FullTriggerDefinitions(dir / "fulldef/zz_parent.TRG", {"fulldef"},
                                               testing::DefaultCodePage());
  std::set<std::string> got;
  std::map<std::string, int> order;
  for (const TriggerDefinition& t : triggers) {
    std::smatch m;
    ASSERT_TRUE(
        std::regex_search(t.statement, m, std::regex(R"(TRIGGER \S+ (BEFORE|AFTER) (\w+) ON)")));
    const int n = ++order[m[1].str() + m[2].str()];
    std::string definer = Replace(t.definer, "`", "");
    got.insert("fulldef\t" + t.name + "\t" + m[2].str() + "\tzz_parent\t" + std::to_string(n) +
               "\t" + m[1].str() + "\t" + t.sql_mode + "\t" + definer);
  }
  EXPECT_EQ(got, TsvRows(dir / "expected/triggers.tsv", 8));
  ASSERT_EQ(triggers.size(), 4u);
  EXPECT_NE(triggers[1].statement.find("FOR EACH ROW FOLLOWS `trg_parent_bi_0`"),
            std::string::npos);
  EXPECT_EQ(triggers[0].statement.find("FOLLOWS"), std::string::npos);
  const std::string script = FullTriggerScript(triggers);
  EXPECT_NE(script.find("SET sql_mode = 'ANSI_QUOTES,NO_BACKSLASH_ESCAPES';\nDELIMITER ;;\n"
                        "CREATE DEFINER=`root`@`localhost` TRIGGER trg_parent_bi_0"),
            std::string::npos)
      << script;
}

// MySQL 5.7 keeps generated columns in a version-10 file with its own marks
// (bit 7 of the column's unireg byte, entries of 1, length, stored, text
// after the comments). No server here writes one, so it is made from a
// MariaDB file of the same table without them, by that format.
TEST(FullDefinitionTest, Mysql57GeneratedColumnsAreReadAndTheirNullBitsComeLast) {
  std::string frm = testing::ReadFileOrEmpty(Fulldef() / "fulldef/plain57.frm");
  ASSERT_GT(frm.size(), 64u);
  const ByteView v(frm);
  const uint32_t version = 50720;
  for (int i = 0; i < 4; ++i) frm[51 + i] = static_cast<char>((version >> (8 * i)) & 0xFF);
  const uint32_t form = v.u32le(64 + v.u16le(4));
  const uint32_t fields = v.u16le(form + 258);
  const size_t records = form + 288 + v.u16le(form + 260);
  const size_t end =
      records + fields * 17 + v.u16le(form + 268) + v.u16le(form + 274) + v.u16le(form + 284);
  ASSERT_EQ(end, frm.size()) << "the column section is not the end of the file";
  std::string vcol;
  auto entry = [&vcol](bool stored, const std::string& expr) {
    vcol += '\1';
    vcol += static_cast<char>(expr.size() & 0xFF);
    vcol += static_cast<char>(expr.size() >> 8);
    vcol += stored ? '\1' : '\0';
    vcol += expr;
  };
  entry(false, "(`a` + 1)");  // b
  entry(true, "(`a` * 2)");   // c
  frm[records + 1 * 17 + 10] = static_cast<char>(frm[records + 1 * 17 + 10] | 0x80);
  frm[records + 2 * 17 + 10] = static_cast<char>(frm[records + 2 * 17 + 10] | 0x80);
  frm[form + 286] = static_cast<char>(vcol.size());
  frm[form + 287] = 0;
  frm += vcol;

  TableDef plain, t;
  ASSERT_TRUE(ReadTableDefinition(Fulldef() / "fulldef/plain57.frm", testing::Collations(),
                                  testing::DefaultCodePage(), plain)
                  .ok);
  ASSERT_EQ(plain.null_bytes, 1);
  FrmReadResult r = ParseFrm(ByteView(frm), testing::Collations(), testing::DefaultCodePage(), t);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(t.columns.size(), 4u);
  // A 5.7 server lays the default record's null bits out the same way: move them.
  const size_t record = ByteView(frm).u16le(6) + ByteView(frm).u16le(14);
  const std::string before = frm.substr(record, 1);
  for (size_t i = 1; i < 4; ++i) {
    const int from = plain.columns[i].null_bit, to = t.columns[i].null_bit;
    const bool set = (before[0] >> from) & 1;
    frm[record] = static_cast<char>(set ? (frm[record] | (1 << to)) : (frm[record] & ~(1 << to)));
  }
  t.Clear();
  r = ParseFrm(ByteView(frm), testing::Collations(), testing::DefaultCodePage(), t);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(t.columns[1].generated, Generated::kVirtual);
  EXPECT_EQ(t.columns[1].generation_expression, "(`a` + 1)");
  EXPECT_FALSE(t.columns[1].in_stored_row());
  EXPECT_EQ(t.columns[2].generated, Generated::kStored);
  EXPECT_TRUE(t.columns[2].in_stored_row());
  // The stored columns keep the bits in order; the virtual one's comes after them.
  EXPECT_EQ(t.columns[2].null_bit, plain.columns[1].null_bit);
  EXPECT_EQ(t.columns[3].null_bit, plain.columns[2].null_bit);
  EXPECT_EQ(t.columns[1].null_bit, plain.columns[3].null_bit);
  EXPECT_EQ(t.columns[3].default_value.sql, "'x'");
  const std::string create = FullCreateTableStatement("plain57", t, testing::Collations());
  EXPECT_NE(create.find("`b` int(11) GENERATED ALWAYS AS ((`a` + 1)) VIRTUAL,"), std::string::npos)
      << create;
}

TEST(FullDefinitionTest, DamagedDefinitionPartsGiveWarningsNotGuesses) {
  std::string frm = testing::ReadFileOrEmpty(Fulldef() / "fulldef/defaults_all.frm");
  ASSERT_FALSE(frm.empty());
  const ByteView v(frm);
  // An extra segment said to run past the end of the file.
  std::string cut = frm;
  const uint32_t huge = 0x7FFFFFF0;
  for (int i = 0; i < 4; ++i) cut[55 + i] = static_cast<char>((huge >> (8 * i)) & 0xFF);
  TableDef t;
  FrmReadResult r = ParseFrm(ByteView(cut), testing::Collations(), testing::DefaultCodePage(), t);
  EXPECT_TRUE(r.ok);
  EXPECT_FALSE(r.warnings.empty());
  // Every possible cut of the file reads without a crash, to the bytes it has.
  for (size_t n = 0; n < frm.size(); n += 7) {
    TableDef part;
    ParseFrm(ByteView(reinterpret_cast<const uint8_t*>(frm.data()), n), testing::Collations(),
             testing::DefaultCodePage(), part);
  }
  (void)v;
}

}  // namespace
}  // namespace vostrel
