// Tables whose .frm is gone: definitions from a definitions file, rebuilt
// from the InnoDB dictionary, orphan tablespaces and FULLTEXT index files,
// over the sample's server-made files and real MySQL 5.6/5.7 tablespaces.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <regex>

#include "innodb/orphan_tablespace.h"
#include "innodb/system_dictionary.h"
#include "model/sql_definitions.h"
#include "scan/selection.h"
#include "scan/table_definitions.h"
#include "sql/script_save.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

struct Saved {
  std::map<std::string, TableAccount> accounts;             // db.table
  std::map<std::string, std::vector<std::string>> inserts;  // script -> INSERT lines
  std::map<std::string, std::string> scripts;
  ScanResult scan;
  std::string log;
  std::vector<std::string> problems;
};

Saved Save(const fs::path& datadir, const std::string& name,
           std::shared_ptr<const SqlDefinitionSet> definitions = nullptr, bool prefer = false) {
  Saved s;
  testing::RecordingOutput out;
  ScanOptions options;
  options.definitions = std::move(definitions);
  options.prefer_definitions = prefer;
  s.scan = ScanDataDirectory(datadir, out, options);
  s.problems = s.scan.problems;
  std::atomic<bool> stop{false};
  uint64_t blob_counter = 0;
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, &stop, &blob_counter};
  const fs::path chosen = testing::TempDir(name + "-out");
  const ScriptSaveResult r = RunScriptSave(s.scan, SelectItems(s.scan, {}, nullptr), chosen, ctx);
  for (const SavedTable& t : r.tables) s.accounts[t.database + "." + t.table] = t;
  const std::string folder = r.save_folder.string();
  for (const auto& f : fs::directory_iterator(r.save_folder)) {
    if (f.path().extension() != ".sql") continue;
    std::string text = testing::ReadFileOrEmpty(f.path());
    s.scripts[f.path().stem().string()] = text;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(pos, end - pos);
      pos = end + 1;
      if (line.rfind("INSERT", 0) != 0) continue;
      for (size_t at; (at = line.find(folder)) != std::string::npos;)
        line.replace(at, folder.size(), "<out>");
      s.inserts[f.path().stem().string()].push_back(line);
    }
    // Tables listed only by the dictionary come last: compare the lines, not their order.
    std::sort(s.inserts[f.path().stem().string()].begin(),
              s.inserts[f.path().stem().string()].end());
  }
  s.log = out.log;
  return s;
}

std::shared_ptr<const SqlDefinitionSet> Definitions(const std::vector<fs::path>& files) {
  std::string text;
  for (const fs::path& f : files) text += testing::ReadFileOrEmpty(f) + "\n";
  SqlDefinitionLoad load = ParseSqlDefinitions(text, "defs.sql", &testing::Collations());
  EXPECT_TRUE(load.ok) << (load.errors.empty() ? "" : load.errors[0]);
  return std::make_shared<const SqlDefinitionSet>(std::move(load.set));
}

std::shared_ptr<const SqlDefinitionSet> SampleDumps() {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(testing::SampleExpectedDir() / "dump"))
    files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return Definitions(files);
}

fs::path CopySample(const std::string& name) {
  const fs::path dir = testing::TempDir(name);
  fs::copy(testing::SampleDataDir(), dir, fs::copy_options::recursive);
  return dir;
}

// The .frm files of MyISAM fixed and dynamic rows, InnoDB file-per-table
// (COMPACT and DYNAMIC, off-page values), InnoDB inside ibdata1 and a table
// with an encoded name.
const char* const kRemoved[] = {"legacy/parts",    "legacy/notes",     "types/t_myisam",
                                "types/t_compact", "shop/documents",   "shop/orders",
                                "inner/products",  "my@002ddb/caf@0p", "my@002ddb/stock@002dlevel"};

TEST(DefinitionsFile, RowsOfTablesWithoutFrmAreThoseOfTheirFrm) {
  const Saved whole = Save(testing::SampleDataDir(), "defs-whole");
  const fs::path cut = CopySample("defs-cut");
  for (const char* t : kRemoved) fs::remove(cut / (std::string(t) + ".frm"));
  const Saved from_sql = Save(cut, "defs-sql", SampleDumps());
  EXPECT_TRUE(from_sql.problems.empty()) << from_sql.problems[0];
  ASSERT_EQ(whole.accounts.size(), from_sql.accounts.size());
  for (const auto& [name, account] : from_sql.accounts) {
    EXPECT_EQ(account.state, TableState::kComplete) << name << ": " << account.reason;
    EXPECT_EQ(account.rows, whole.accounts.at(name).rows) << name;
  }
  EXPECT_NE(from_sql.accounts.at("types.t_myisam").reason.find("definition from defs.sql line "),
            std::string::npos);
  EXPECT_NE(from_sql.accounts.at("my-db.café").reason.find("caf@0p.frm is missing"),
            std::string::npos);
  ASSERT_EQ(whole.inserts.size(), from_sql.inserts.size());
  for (const auto& [script, lines] : whole.inserts) {
    EXPECT_TRUE(lines == from_sql.inserts.at(script)) << script;
  }
  // A readable .frm wins unless the statements are preferred; preferred, the rows stay the same.
  EXPECT_NE(from_sql.log.find("Table shop.customers: defs.sql line "), std::string::npos);
  EXPECT_NE(from_sql.log.find("its own readable .frm is used"), std::string::npos);
  const Saved preferred = Save(testing::SampleDataDir(), "defs-prefer", SampleDumps(), true);
  for (const auto& [script, lines] : whole.inserts) {
    EXPECT_TRUE(lines == preferred.inserts.at(script)) << script;
  }
  EXPECT_NE(preferred.accounts.at("shop.customers").reason.find("--prefer-definitions"),
            std::string::npos);
}

// A statement of another version of the table (a column since dropped) must
// not turn its records into rows of neighbouring bytes: pages whose records
// it does not fit are named, and no row of them is written.
TEST(DefinitionsFile, StatementsOfAnotherVersionGiveNoGuessedRows) {
  const fs::path dir = CopySample("defs-version");
  fs::remove(dir / "shop/orders.frm");
  fs::remove(dir / "ibdata1");  // else the dictionary gives the stored layout
  const std::string sql =
      "CREATE TABLE `orders` (\n"
      "  `id` int(11) NOT NULL AUTO_INCREMENT,\n"
      "  `code` char(200) CHARACTER SET latin1 NOT NULL,\n"
      "  `customer_id` int(10) unsigned NOT NULL,\n"
      "  `ordered` datetime NOT NULL,\n"
      "  `status` enum('new','paid','shipped','cancelled') NOT NULL DEFAULT 'new',\n"
      "  `total` decimal(10,2) NOT NULL,\n"
      "  `note` varchar(255) DEFAULT NULL,\n"
      "  PRIMARY KEY (`id`)\n"
      ") ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 ROW_FORMAT=DYNAMIC;\n";
  SqlDefinitionLoad load =
      ParseSqlDefinitions("USE `shop`;\n" + sql, "old.sql", &testing::Collations());
  ASSERT_TRUE(load.ok) << (load.errors.empty() ? "" : load.errors[0]);
  const Saved saved =
      Save(dir, "defs-version-out", std::make_shared<const SqlDefinitionSet>(std::move(load.set)));
  const TableAccount& orders = saved.accounts.at("shop.orders");
  EXPECT_EQ(orders.state, TableState::kDamaged) << orders.reason;
  EXPECT_NE(saved.log.find("do not fit the table definition"), std::string::npos) << saved.log;
  EXPECT_EQ(orders.rows, 0u);
  EXPECT_TRUE(
      saved.inserts.count("shop") == 0 ||
      std::none_of(saved.inserts.at("shop").begin(), saved.inserts.at("shop").end(),
                   [](const std::string& l) { return l.find("`orders`") != std::string::npos; }));
}

TEST(DefinitionsFile, DamagedFrmIsReplacedAndBadStatementsNamed) {
  const fs::path dir = CopySample("defs-damaged");
  {
    // A .frm that starts right but whose column section is gone.
    std::string frm = testing::ReadFileOrEmpty(dir / "legacy" / "counters.frm");
    frm.resize(200);
    FILE* f = std::fopen((dir / "legacy" / "counters.frm").c_str(), "wb");
    std::fwrite(frm.data(), 1, frm.size(), f);
    std::fclose(f);
  }
  const Saved without = Save(dir, "defs-damaged-none");
  EXPECT_EQ(without.accounts.at("legacy.counters").state, TableState::kNotRead);
  const Saved with = Save(dir, "defs-damaged-sql", SampleDumps());
  const TableAccount& a = with.accounts.at("legacy.counters");
  EXPECT_EQ(a.state, TableState::kComplete) << a.reason;
  EXPECT_NE(a.reason.find("cannot be read"), std::string::npos) << a.reason;
  EXPECT_EQ(
      a.rows,
      Save(testing::SampleDataDir(), "defs-damaged-whole").accounts.at("legacy.counters").rows);

  // A statement that does not fit the files' character sets is refused by name.
  const SqlDefinitionLoad bad = ParseSqlDefinitions(
      "CREATE TABLE counters (id int) DEFAULT CHARSET=nosuchset;", "x.sql", &testing::Collations());
  ASSERT_FALSE(bad.ok);
  EXPECT_EQ(bad.errors[0],
            "x.sql line 1: table counters: character set nosuchset is not known "
            "(is the collation table loaded?)");
}

// The sample's status ENUM as member numbers, as the dump's values say.
TEST(DictionaryDefinition, TablesWithoutFrmAreRebuiltFromTheDictionary) {
  const fs::path cut = CopySample("dict-cut");
  for (const char* t : {"shop/orders", "inner/tags", "inner/products", "types/t_dynamic"}) {
    fs::remove(cut / (std::string(t) + ".frm"));
  }
  const Saved whole = Save(testing::SampleDataDir(), "dict-whole");
  const Saved rebuilt = Save(cut, "dict-rebuilt");
  EXPECT_TRUE(rebuilt.problems.empty()) << rebuilt.problems[0];
  for (const char* t : {"shop.orders", "inner.tags", "inner.products", "types.t_dynamic"}) {
    const TableAccount& a = rebuilt.accounts.at(t);
    EXPECT_EQ(a.state, TableState::kDamaged) << t;
    EXPECT_EQ(a.reason.rfind("definition rebuilt from the InnoDB dictionary, not from a .frm", 0),
              0u)
        << a.reason;
    EXPECT_EQ(a.rows, whole.accounts.at(t).rows) << t;
    EXPECT_TRUE(a.expected_known);
    EXPECT_EQ(a.rows, a.expected);
  }
  const std::string& r = rebuilt.accounts.at("types.t_dynamic").reason;
  for (const char* guess :
       {"ENUM or SET en kept as its member numbers", "ENUM or SET st kept as its member numbers",
        "DECIMAL dec1 kept as its 5 stored bytes",
        "fractional-second digits of tm3 (4 taken; 3 store alike)",
        "width of BIT b10 (16 taken from its stored bytes)", "display widths of id",
        "column defaults, AUTO_INCREMENT"}) {
    EXPECT_NE(r.find(guess), std::string::npos) << guess << " in " << r;
  }
  // Columns whose values need no guess come out as from the .frm: the ids,
  // texts, dates and times of shop.orders, and its ENUM as its member number.
  const std::string dump =
      testing::ReadFileOrEmpty(testing::SampleExpectedDir() / "dump" / "shop.sql");
  const std::regex row(R"(INSERT INTO `orders` VALUES \((\d+),(\d+),'([^']*)','(\w+)',)");
  const std::regex saved(R"(VALUES\((\d+),(\d+),'([^']*)',(\d+),0x[0-9A-F]{10},)");
  std::map<std::string, std::string> dumped;
  for (std::sregex_iterator it(dump.begin(), dump.end(), row), end; it != end; ++it) {
    dumped[(*it)[1]] = (*it)[2].str() + " " + (*it)[3].str() + " " + (*it)[4].str();
  }
  static const std::map<std::string, std::string> kStatus = {
      {"1", "new"}, {"2", "paid"}, {"3", "shipped"}, {"4", "cancelled"}};
  const std::string script = rebuilt.scripts.at("shop");
  EXPECT_NE(
      script.find("`status` tinyint(3) unsigned NOT NULL COMMENT 'ENUM or SET in the lost .frm"),
      std::string::npos);
  EXPECT_NE(script.find("`total` binary(5) NOT NULL"), std::string::npos);
  EXPECT_NE(
      script.find("-- orders: definition rebuilt from the InnoDB dictionary, not from a .frm: "),
      std::string::npos);
  size_t compared = 0;
  for (std::sregex_iterator it(script.begin(), script.end(), saved), end; it != end; ++it) {
    const std::string id = (*it)[1];
    ASSERT_TRUE(dumped.count(id)) << id;
    ASSERT_TRUE(kStatus.count((*it)[4])) << (*it)[4];
    EXPECT_EQ((*it)[2].str() + " " + (*it)[3].str() + " " + kStatus.at((*it)[4]), dumped.at(id));
    ++compared;
  }
  EXPECT_EQ(compared, dumped.size());
  // The rebuilt definitions are the dictionary's: keys and row format too.
  EXPECT_NE(rebuilt.scripts.at("inner").find("UNIQUE KEY `uk_tag` (`tag`)"), std::string::npos);
  EXPECT_NE(rebuilt.scripts.at("inner").find("ROW_FORMAT=COMPACT"), std::string::npos);

  // Prefix keys keep their prefix, a lone prefixed field included.
  const fs::path fulldef = testing::TempDir("dict-fulldef");
  fs::copy(testing::UnpackedFixture("fulldef-datadir"), fulldef, fs::copy_options::recursive);
  fs::remove(fulldef / "fulldef" / "indexes.frm");
  const Saved keys = Save(fulldef, "dict-fulldef");
  const std::string& f = keys.scripts.at("fulldef");
  for (const char* key :
       {"PRIMARY KEY (`a`,`b`(20))", "KEY `idx_b_prefix` (`b`(10))", "KEY `idx_c_prefix` (`c`(50))",
        "SPATIAL KEY `sp_shape` (`shape`)", "FULLTEXT KEY `ft_body` (`body`)"}) {
    EXPECT_NE(f.find(key), std::string::npos) << key;
  }
  EXPECT_EQ(f.find("`FTS_DOC_ID`"), std::string::npos);  // left out; the comment names it
}

TEST(OrphanTablespace, ListedWithWhatItsFileSaysAndReadWithDefinitions) {
  const fs::path dir = testing::TempDir("orphan-dir");
  fs::create_directories(dir / "shop");
  for (const char* t : {"customers", "ledger", "visits"}) {
    fs::copy_file(testing::SampleDataDir() / "shop" / (std::string(t) + ".ibd"),
                  dir / "shop" / (std::string(t) + ".ibd"));
  }
  SystemDictionary dict;
  ASSERT_TRUE(dict.Load(testing::SampleDataDir() / "ibdata1"));
  const SysTablesRow* row = dict.FindTable("shop/customers");
  ASSERT_NE(row, nullptr);
  const OrphanTablespace o = DescribeTablespaceFile(dir / "shop" / "customers.ibd");
  ASSERT_TRUE(o.opened);
  EXPECT_EQ(o.space_id, row->space);
  ASSERT_FALSE(o.index_ids.empty());
  EXPECT_EQ(o.index_ids[0], dict.FindClusterIndex(row->id)->id);
  size_t indexes = 0;
  for (const SysIndexesRow& i : dict.indexes()) indexes += i.table_id == row->id;
  EXPECT_EQ(o.index_ids.size(), indexes);
  EXPECT_EQ(o.row_format, "ROW_FORMAT=COMPACT");

  const Saved none = Save(dir, "orphan-none");
  ASSERT_EQ(none.accounts.size(), 3u);
  for (const auto& [name, a] : none.accounts) {
    EXPECT_EQ(a.state, TableState::kNotRead) << name;
    EXPECT_NE(a.reason.find("no definition: tablespace "), std::string::npos) << a.reason;
  }
  EXPECT_NE(none.accounts.at("shop.customers").reason.find(o.Text()), std::string::npos);
  EXPECT_EQ(none.problems.size(), 3u);

  const Saved read = Save(dir, "orphan-read", SampleDumps());
  const Saved whole = Save(testing::SampleDataDir(), "orphan-whole");
  for (const auto& [name, a] : read.accounts) {
    EXPECT_EQ(a.state, TableState::kComplete) << name << ": " << a.reason;
    EXPECT_EQ(a.rows, whole.accounts.at(name).rows) << name;
  }
  for (const std::string& line : read.inserts.at("shop")) {
    EXPECT_NE(std::find(whole.inserts.at("shop").begin(), whole.inserts.at("shop").end(), line),
              whole.inserts.at("shop").end());
  }
}

TEST(FulltextFiles, AttachedToTheirTableNotListed) {
  uint64_t id = 0;
  EXPECT_TRUE(IsFulltextAuxiliaryName("FTS_0000000000000018_0000000000000030_INDEX_6", &id));
  EXPECT_EQ(id, 0x18u);
  EXPECT_TRUE(IsFulltextAuxiliaryName("FTS_00000000000000a7_BEING_DELETED_CACHE", &id));
  EXPECT_EQ(id, 0xa7u);
  EXPECT_TRUE(IsFulltextAuxiliaryName("FTS_0000000000000018_CONFIG", nullptr));
  EXPECT_FALSE(IsFulltextAuxiliaryName("FTS_0000000000000018_STOPWORDS", nullptr));
  EXPECT_FALSE(IsFulltextAuxiliaryName("FTS_18_CONFIG", nullptr));
  EXPECT_FALSE(IsFulltextAuxiliaryName("fts_table", nullptr));

  testing::RecordingOutput out;
  const ScanResult scan = ScanDataDirectory(testing::UnpackedFixture("fulldef-datadir"), out);
  EXPECT_EQ(scan.fulltext_files.size(), 11u);
  for (const TableEntry& e : scan.m_tableEntries) {
    EXPECT_NE(e.tableName.rfind("FTS_", 0), 0u) << e.tableName;
  }
  for (const std::string& p : scan.problems) EXPECT_EQ(p.find("FTS_"), std::string::npos) << p;
  EXPECT_NE(out.log.find("FULLTEXT index data of table fulldef.indexes (InnoDB table id 24): "
                         "FTS_0000000000000018_0000000000000030_INDEX_1.ibd"),
            std::string::npos);
  // Without ibdata1 the files still belong to a table, by its id.
  const fs::path dir = testing::TempDir("fts-alone");
  fs::copy(testing::UnpackedFixture("fulldef-datadir") / "fulldef", dir / "fulldef",
           fs::copy_options::recursive);
  testing::RecordingOutput out2;
  const ScanResult alone = ScanDataDirectory(dir, out2);
  EXPECT_EQ(alone.fulltext_files.size(), 11u);
  EXPECT_NE(out2.log.find("FULLTEXT index data of the table with InnoDB table id 24"),
            std::string::npos);
}

// Real MySQL 5.6 and 5.7 tablespaces without .frm, with the scripts that made them.
TEST(ExternalOrphans, MySqlTablespacesReadWithTheirCreateScripts) {
  const fs::path root = testing::ExternalFixturesDir() / "innodb-java-reader";
  if (testing::ExternalFixturesDir().empty() || !fs::exists(root))
    GTEST_SKIP() << "no external fixtures";
  // Row counts the upstream scripts make (explicit INSERTs or their procedures).
  const std::map<std::string, uint64_t> kRows = {
      {"tb01", 10}, {"empty_table", 0}, {"tb02", 9}, {"tb25", 4}};
  size_t tables = 0;
  for (const char* version : {"mysql56", "mysql57"}) {
    for (const auto& e : fs::recursive_directory_iterator(root / version)) {
      if (e.path().extension() != ".ibd") continue;
      const std::string stem = e.path().stem().string();
      const fs::path sql =
          root / "mysql56" / fs::relative(e.path().parent_path(), root / version) / (stem + ".sql");
      if (!fs::exists(sql)) continue;  // tb_redundant_format: no script
      const fs::path dir = testing::TempDir(std::string("ext-") + version + "-" + stem);
      fs::create_directories(dir / "db");
      fs::copy_file(e.path(), dir / "db" / (stem + ".ibd"));
      const Saved s = Save(dir, std::string("ext-") + version + "-" + stem, Definitions({sql}));
      ASSERT_EQ(s.accounts.count("db." + stem), 1u) << sql;
      const TableAccount& a = s.accounts.at("db." + stem);
      EXPECT_EQ(a.state, TableState::kComplete) << version << " " << stem << ": " << a.reason;
      EXPECT_TRUE(a.expected_known);
      EXPECT_EQ(a.rows, a.expected) << version << " " << stem;
      if (kRows.count(stem)) {
        EXPECT_EQ(a.rows, kRows.at(stem)) << version << " " << stem;
      }
      // Values the scripts inserted, as they wrote them.
      const std::map<std::string, std::string> kValues = {
          {"tb02", "VALUES(101,1,-1,1,-1,1,-1,1,-1,1,-1);"},
          {"tb25", "VALUES(1,'A','MYSQL','数据','001019');"},
          {"tb27",
           "VALUES(2,b'1',b'01',b'1110111',b'101110000',b'"
           "0000000000000000000000000000000000000000000000000000000000000001');"},
          {"tb19",
           "VALUES(2,123456,12345.67890,12345678901,123.100,12346,12345.1234567890123456789012345,"
           "666,0.123456789012345678901234567890,76543);"}};
      if (kValues.count(stem)) {
        const auto& lines = s.inserts.at("db");
        EXPECT_TRUE(std::any_of(
            lines.begin(), lines.end(),
            [&](const std::string& l) { return l.find(kValues.at(stem)) != std::string::npos; }))
            << version << " " << stem;
      }
      ++tables;
    }
  }
  EXPECT_GE(tables, 40u);
}

// The CREATE TABLE statements made from the dictionary and from a definitions
// file load into a live server with every row (test server of scripts/run-tests.sh).
TEST(DefinitionsServer, RebuiltAndGivenDefinitionsLoadWithTheirRows) {
  const char* port = std::getenv("VOSTREL_TEST_MYSQL_PORT");
  if (port == nullptr || *port == '\0')
    GTEST_SKIP() << "no test server (run through scripts/run-tests.sh)";
  const std::string client = std::string("mariadb --no-defaults -uroot -h127.0.0.1 -P") + port +
                             " --default-character-set=utf8mb4 --batch --skip-column-names";
  const fs::path fulldef = testing::TempDir("defs-server-fulldef");
  fs::copy(testing::UnpackedFixture("fulldef-datadir"), fulldef, fs::copy_options::recursive);
  fs::remove_all(fulldef / "expected");
  for (const char* t : {"gen", "indexes", "defaults_all", "timestamps", "long_unique", "wide_key",
                        "innodb_opts", "employee"}) {
    fs::remove(fulldef / "fulldef" / (std::string(t) + ".frm"));
  }
  const fs::path sample = CopySample("defs-server-sample");
  for (const char* t : kRemoved) fs::remove(sample / (std::string(t) + ".frm"));
  struct Case {
    fs::path dir;
    std::shared_ptr<const SqlDefinitionSet> definitions;
  };
  for (const Case& c : {Case{fulldef, nullptr}, Case{sample, SampleDumps()}}) {
    const Saved s = Save(c.dir, c.dir.filename().string(), c.definitions);
    std::string out;
    for (const auto& [db, script] : s.scripts) {
      testing::RunCommand(client + " -e 'DROP DATABASE IF EXISTS `rep_" + db + "`' 2>&1", &out);
    }
    for (const auto& [db, script] : s.scripts) {
      const fs::path file = testing::TempDir("defs-server-load") / (db + ".sql");
      FILE* f = std::fopen(file.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fwrite(script.data(), 1, script.size(), f);
      std::fclose(f);
      EXPECT_EQ(testing::RunCommand(client + " < '" + file.string() + "' 2>&1", &out), 0)
          << db << ": " << out;
    }
    for (const auto& [name, a] : s.accounts) {
      if (a.state == TableState::kNotRead || a.state == TableState::kDefinitionOnly) continue;
      if (a.engine == "MRG_MyISAM") continue;  // its rows are those of the tables it merges
      const std::string db = name.substr(0, name.find('.'));
      const std::string table = name.substr(name.find('.') + 1);
      testing::RunCommand(
          client + " -e 'SELECT COUNT(*) FROM `rep_" + db + "`.`" + table + "`' 2>&1", &out);
      EXPECT_EQ(out, std::to_string(a.rows) + "\n") << name << " " << c.dir;
    }
  }
}

TEST(DefinitionsFile, CommandLineRefusesAFileItCannotRead) {
  const fs::path dir = testing::TempDir("defs-cli");
  const fs::path sql = dir / "schema.sql";
  {
    FILE* f = std::fopen(sql.c_str(), "wb");
    std::fputs("-- schema\nCREATE TABLE ok (a int);\n\nCREATE TABLE t (\n  a int,\n  b frob\n);\n",
               f);
    std::fclose(f);
  }
  std::string output;
  const int rc = testing::RunCommand(testing::CliPath() + " scan " +
                                         testing::SampleDataDir().string() + " --quiet --log-dir " +
                                         dir.string() + " --definitions " + sql.string() + " 2>&1",
                                     &output);
  EXPECT_EQ(rc, 2) << output;
  EXPECT_NE(output.find("schema.sql line 6: column type 'frob' is not known"), std::string::npos)
      << output;
}

}  // namespace
}  // namespace vostrel
