// Deleted rows recovered from the fixture the deleted-rows script made with a
// real server: every row written is one that was deleted, the live rows are
// the same with and without the pass, and damage is still named.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <set>
#include <sstream>

#include "scan/scan.h"
#include "scan/selection.h"
#include "sql/script_save.h"
#include "sql/server_save.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

fs::path Fixture() {
  return testing::UnpackedFixture("deleted-rows");
}

// The values of one INSERT line as `mariadb --batch` prints them (the fixture
// holds no tab, line break or backslash in its texts).
std::string ValuesAsTsv(const std::string& line) {
  size_t open = line.find(" VALUES(");
  const size_t close = line.rfind(");");
  if (open == std::string::npos || close == std::string::npos || close < open) return {};
  open += 8;
  if (line.compare(open, 3, "/* ") == 0) open = line.find(" */ ", open) + 4;
  const std::string v = line.substr(open, close - open);
  std::string out;
  for (size_t i = 0; i < v.size();) {
    if (!out.empty()) out += '\t';
    if (v[i] == '\'') {
      size_t j = i + 1;
      for (; j < v.size() && v[j] != '\''; ++j) {
        if (v[j] == '\\' && j + 1 < v.size()) ++j;
        out += v[j];
      }
      i = j + 1;
    } else {
      const size_t j = std::min(v.find(',', i), v.size());
      out += v.substr(i, j - i);
      i = j;
    }
    if (i < v.size() && v[i] == ',') ++i;
  }
  return out;
}

// The deleted rows of table `table` in `script`.
std::vector<std::string> DeletedRows(const fs::path& script, const std::string& table = "t") {
  std::vector<std::string> rows;
  std::istringstream in(testing::ReadFileOrEmpty(script));
  const std::string insert = "INSERT INTO `" + table + "`(";
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(insert, 0) == 0 &&
        line.find(" VALUES(/* deleted row: page ") != std::string::npos)
      rows.push_back(ValuesAsTsv(line));
  }
  return rows;
}

std::set<std::string> Expected(const std::string& name) {
  std::set<std::string> rows;
  std::istringstream in(testing::ReadFileOrEmpty(Fixture() / "expected" / (name + ".tsv")));
  for (std::string line; std::getline(in, line);) rows.insert(line);
  return rows;
}

struct Saved {
  ScriptSaveResult result;
  std::map<std::string, std::string> scripts;  // file name -> contents
};

Saved Save(const fs::path& datadir, bool deleted, const fs::path& chosen, bool extended = false,
           bool data_files = false) {
  Saved s;
  testing::RecordingOutput out;
  const ScanResult scan = ScanDataDirectory(datadir, out);
  std::atomic<bool> stop{false};
  uint64_t blobs = 0;
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, &stop, &blobs};
  ctx.save_deleted_rows = deleted;
  ctx.extended_insert = extended;
  ctx.load_data_files = data_files;
  fs::remove_all(chosen);
  s.result = RunScriptSave(scan, SelectItems(scan, {}, nullptr), chosen, ctx);
  for (const auto& f : fs::directory_iterator(s.result.save_folder)) {
    if (f.path().extension() == ".sql")
      s.scripts[f.path().filename().string()] = testing::ReadFileOrEmpty(f.path());
  }
  return s;
}

const SavedTable* Account(const std::vector<SavedTable>& tables, const std::string& name) {
  for (const SavedTable& t : tables) {
    if (t.database + "." + t.table == name) return &t;
  }
  return nullptr;
}

// Precision and recall of one table's deleted rows; recall floors are what
// the fixture's files allow: under a snapshot every deleted record stays;
// after purge MariaDB clears most freed records, so few are left whole.
TEST(DeletedRowsTest, EveryWrittenRowWasDeletedAndRecallMeetsItsFloor) {
  if (!fs::exists(Fixture() / "datadir")) GTEST_SKIP() << "fixture not unpacked";
  const Saved s = Save(Fixture() / "datadir", true, testing::TempDir("deleted-rows-on"));
  struct Case {
    const char* table;
    const char* script;
    double recall_floor;
  };
  for (const Case& c :
       {Case{"snap.t", "snap_deleted.sql", 1.0}, Case{"purged.t", "purged_deleted.sql", 0.14},
        Case{"snap.r", "snap_deleted.sql", 1.0}, Case{"purged.r", "purged_deleted.sql", 0.13}}) {
    SCOPED_TRACE(c.table);
    const std::set<std::string> deleted = Expected(std::string(c.table) + ".deleted");
    const std::set<std::string> live = Expected(std::string(c.table) + ".live");
    ASSERT_FALSE(deleted.empty());
    const std::string table = std::string(c.table).substr(std::string(c.table).find('.') + 1);
    const std::vector<std::string> got = DeletedRows(s.result.save_folder / c.script, table);
    std::set<std::string> found;
    for (const std::string& row : got) {
      EXPECT_TRUE(deleted.count(row)) << "not a deleted row: " << row;
      EXPECT_FALSE(live.count(row)) << "a live row written as deleted: " << row;
      EXPECT_TRUE(found.insert(row).second) << "written twice: " << row;
    }
    const double recall = static_cast<double>(found.size()) / static_cast<double>(deleted.size());
    std::cout << c.table << ": deleted rows written " << got.size() << " of " << deleted.size()
              << " (recall " << recall << ", precision "
              << (got.empty() ? 1.0 : static_cast<double>(found.size()) / got.size()) << ")\n";
    EXPECT_GE(recall, c.recall_floor);
    const SavedTable* a = Account(s.result.deleted_tables, c.table);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->rows, got.size());
  }
  // The pass's own report file, one line per table.
  const std::string tsv =
      testing::ReadFileOrEmpty(s.result.save_folder / "deleted-rows-report.tsv");
  EXPECT_NE(tsv.find("snap\tt\t221\t0\t"), std::string::npos) << tsv;
  // MyISAM deleted rows are not read: said so, not shown as none.
  const SavedTable* mi = Account(s.result.deleted_tables, "mi.fixed");
  ASSERT_NE(mi, nullptr);
  EXPECT_NE(mi->StatusText().find("not read"), std::string::npos) << mi->StatusText();
}

// With the live rows as multi-row INSERTs or data files, deleted rows are
// still statements, each keeping its place comment inside its parentheses.
TEST(DeletedRowsTest, OtherOutputFormsKeepEachRowsPlace) {
  if (!fs::exists(Fixture() / "datadir")) GTEST_SKIP() << "fixture not unpacked";
  const std::set<std::string> deleted = Expected("snap.t.deleted");
  for (const bool data_files : {false, true}) {
    SCOPED_TRACE(data_files ? "data files" : "multi-row INSERTs");
    const Saved s = Save(Fixture() / "datadir", true, testing::TempDir("deleted-rows-forms"),
                         !data_files, data_files);
    const std::string& script = s.scripts.at("snap_deleted.sql");
    size_t places = 0;
    for (size_t at = script.find("(/* deleted row: page "); at != std::string::npos;
         at = script.find("(/* deleted row: page ", at + 1)) {
      ++places;
    }
    // snap.t and snap.r each lost 221 rows under the snapshot.
    EXPECT_EQ(places, 2 * deleted.size());
    EXPECT_EQ(script.find("LOAD DATA"), std::string::npos);
  }
}

TEST(DeletedRowsTest, LiveRowsAreTheSameWithAndWithoutThePass) {
  if (!fs::exists(Fixture() / "datadir")) GTEST_SKIP() << "fixture not unpacked";
  const fs::path chosen = testing::TempDir("deleted-rows-same");
  const Saved off = Save(Fixture() / "datadir", false, chosen);
  const Saved on = Save(Fixture() / "datadir", true, chosen);
  for (const auto& [name, text] : off.scripts) {
    ASSERT_TRUE(on.scripts.count(name)) << name;
    EXPECT_EQ(on.scripts.at(name), text) << name;
    EXPECT_EQ(text.find("deleted row"), std::string::npos) << name;
  }
  // One _deleted.sql per InnoDB database; MyISAM deleted rows are not read.
  EXPECT_EQ(on.scripts.size(), off.scripts.size() + 2);
  EXPECT_EQ(on.result.report().Tsv(), off.result.report().Tsv());
  EXPECT_EQ(on.result.success(), off.result.success());
  for (const char* t : {"snap.t", "purged.t", "snap.r", "purged.r"}) {
    const SavedTable* a = Account(on.result.tables, t);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->rows, Expected(std::string(t) + ".live").size()) << t;
  }
}

// A leaf of the snapshot table with a broken checksum: the live pass names it
// as before, the deleted pass names it too and writes nothing from it.
TEST(DeletedRowsTest, DamagedLeafIsNamedAndGivesNoDeletedRows) {
  if (!fs::exists(Fixture() / "datadir")) GTEST_SKIP() << "fixture not unpacked";
  const fs::path dir = testing::TempDir("deleted-rows-damage") / "datadir";
  fs::remove_all(dir);
  fs::create_directories(dir.parent_path());
  fs::copy(Fixture() / "datadir", dir, fs::copy_options::recursive);
  {
    std::fstream f(dir / "snap/t.ibd", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(4 * 16384 + 3000);
    f.put('\x5a');
    f.put('\xa5');
  }
  const Saved s = Save(dir, true, testing::TempDir("deleted-rows-damage-out"));
  const SavedTable* live = Account(s.result.tables, "snap.t");
  ASSERT_NE(live, nullptr);
  EXPECT_EQ(live->state, TableState::kDamaged);
  EXPECT_NE(live->reason.find("page 4"), std::string::npos) << live->reason;
  const SavedTable* del = Account(s.result.deleted_tables, "snap.t");
  ASSERT_NE(del, nullptr);
  EXPECT_EQ(del->state, TableState::kDamaged);
  EXPECT_NE(del->reason.find("page 4"), std::string::npos) << del->reason;
  const std::set<std::string> deleted = Expected("snap.t.deleted");
  const auto got = DeletedRows(s.result.save_folder / "snap_deleted.sql");
  EXPECT_FALSE(got.empty());
  for (const std::string& row : got) EXPECT_TRUE(deleted.count(row)) << row;
  std::istringstream script(s.scripts.at("snap_deleted.sql"));
  for (std::string line; std::getline(script, line);) {
    EXPECT_FALSE(line.find("/* deleted row: page 4 ") != std::string::npos &&
                 line.rfind("INSERT INTO `t`(", 0) == 0)
        << line;
  }
}

// The deleted rows loaded into a server, both ways: the script into the
// server and the server run, each giving exactly the rows deleted under the
// snapshot in rep_snap_deleted, and the live schema unchanged.
TEST(DeletedRowsTest, ServerGetsTheDeletedRowsInTheirOwnSchema) {
  const char* port = std::getenv("VOSTREL_TEST_MYSQL_PORT");
  if (port == nullptr || *port == '\0') GTEST_SKIP() << "VOSTREL_TEST_MYSQL_PORT not set";
  if (!fs::exists(Fixture() / "datadir")) GTEST_SKIP() << "fixture not unpacked";
  const std::string client = "mariadb --no-defaults -uroot -h127.0.0.1 -P" + std::string(port) +
                             " --default-character-set=utf8mb4 --batch --skip-column-names";
  auto query = [&](const std::string& sql) {
    std::string out;
    testing::RunCommand(client + " -e \"" + sql + "\" 2>&1", &out);
    return out;
  };
  auto sorted_rows = [&](const std::string& table) {
    std::set<std::string> rows;
    std::istringstream in(query("SELECT * FROM " + table));
    for (std::string line; std::getline(in, line);) rows.insert(line);
    return rows;
  };
  const std::set<std::string> deleted = Expected("snap.t.deleted");
  query("DROP DATABASE IF EXISTS rep_snap; DROP DATABASE IF EXISTS rep_snap_deleted");
  {
    testing::RecordingOutput out;
    const ScanResult scan = ScanDataDirectory(Fixture() / "datadir", out);
    std::atomic<bool> stop{false};
    EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, &stop};
    ctx.save_deleted_rows = true;
    ServerParams p;
    p.host = "127.0.0.1";
    p.port = port;
    p.user = "root";
    const ServerSaveResult r = RunServerSave(scan, SelectItems(scan, {"snap.t"}, nullptr), p, ctx);
    ASSERT_EQ(r.deleted_tables.size(), 1u);
    EXPECT_EQ(r.deleted_tables[0].rows, deleted.size());
    EXPECT_TRUE(r.success()) << out.log;
  }
  EXPECT_EQ(sorted_rows("rep_snap_deleted.t"), deleted);
  EXPECT_EQ(sorted_rows("rep_snap.t"), Expected("snap.t.live"));
  query("DROP DATABASE IF EXISTS rep_snap; DROP DATABASE IF EXISTS rep_snap_deleted");
  const Saved s = Save(Fixture() / "datadir", true, testing::TempDir("deleted-rows-load"));
  std::string output;
  EXPECT_EQ(testing::RunCommand(
                client + " < '" + (s.result.save_folder / "snap_deleted.sql").string() + "' 2>&1",
                &output),
            0)
      << output;
  EXPECT_EQ(sorted_rows("rep_snap_deleted.t"), deleted);
  query("DROP DATABASE IF EXISTS rep_snap; DROP DATABASE IF EXISTS rep_snap_deleted");
}

}  // namespace
}  // namespace vostrel
