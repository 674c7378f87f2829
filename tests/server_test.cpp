// Saving into a live server. Needs the private server that scripts/run-tests.sh
// starts (VOSTREL_TEST_MYSQL_PORT / _SOCKET); skipped without it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "model/frm_reader.h"
#include "scan/scan.h"
#include "scan/selection.h"
#include "scan/table_readers.h"
#include "sql/row_export.h"
#include "sql/server_connection.h"
#include "sql/server_save.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

using Recorder = testing::RecordingOutput;

bool ServerAvailable(ServerParams& p) {
  const char* port = std::getenv("VOSTREL_TEST_MYSQL_PORT");
  if (port == nullptr || *port == '\0') return false;
  p.host = "127.0.0.1";
  p.port = port;
  p.user = "root";
  return true;
}

#define REQUIRE_SERVER(params)                                             \
  ServerParams params;                                                     \
  do {                                                                     \
    if (!ServerAvailable(params)) {                                        \
      GTEST_SKIP() << "no test server (run through scripts/run-tests.sh)"; \
    }                                                                      \
  } while (0)

// A global variable of the test server set for one test and put back after
// it, whatever way the test ends.
struct ServerGlobal {
  ServerGlobal(ServerConnection& c, const std::string& name, const std::string& value)
      : conn(c), name(name), was(c.QueryValue("SELECT @@GLOBAL." + name)) {
    set = !was.empty() && conn.Execute("SET GLOBAL " + name + " = " + value);
  }
  ~ServerGlobal() {
    if (set) conn.Execute("SET GLOBAL " + name + " = " + was);
  }
  ServerConnection& conn;
  const std::string name;
  const std::string was;
  bool set = false;
};

std::string Query(const ServerParams& p, const std::string& sql) {
  ServerConnection c;
  EXPECT_TRUE(c.Open(p, "")) << c.error();
  std::string out;
  // Through the client for simplicity of reading results.
  testing::RunCommand("mariadb --no-defaults -uroot -h127.0.0.1 -P" + p.port +
                          " --batch --skip-column-names -e \"" + sql + "\"",
                      &out);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

TEST(ServerTest, ConnectionTestTellsGoodFromBad) {
  REQUIRE_SERVER(params);
  std::string why;
  EXPECT_TRUE(TestConnection(params, &why)) << why;
  ServerParams wrong = params;
  wrong.password = "not-the-password";
  EXPECT_FALSE(TestConnection(wrong, &why));
  EXPECT_FALSE(why.empty());
}

struct RejectRun {
  TableExportResult result;
  std::string log;
  std::string rows;    // what the server holds, sorted
  std::string broken;  // why the sink broke, if it did
};

// The sample's visits table holds three identical '/dup' rows: into a table
// with a unique key on them, two must be refused whatever the way of sending.
// A server sink that loses the last row of each LOAD's data on the way, as
// a server reading the data otherwise than sent would.
struct LastLoadedRowLost : RowSink {
  explicit LastLoadedRowLost(ServerSink& s) : real(s) {}
  ServerSink& real;
  bool script_form() const override { return false; }
  bool ExecuteRow(std::string_view s) override { return real.ExecuteRow(s); }
  void WriteText(std::string_view t) override { real.WriteText(t); }
  std::string last_error() const override { return real.last_error(); }
  bool broken() const override { return real.broken(); }
  Bulk bulk() const override { return real.bulk(); }
  size_t ExecuteSeries(std::string_view t, size_t n) override { return real.ExecuteSeries(t, n); }
  bool CountRows(uint64_t& rows) override { return real.CountRows(rows); }
  bool LoadRows(std::string_view statement, std::string_view data, LoadOutcome& got) override {
    const size_t cut = data.size() > 1 ? data.rfind('\n', data.size() - 2) : std::string::npos;
    return real.LoadRows(statement, cut == std::string::npos ? "" : data.substr(0, cut + 1), got);
  }
  bool too_large() const override { return real.too_large(); }
  void Break(const std::string& why) override { real.Break(why); }
};

RejectRun SaveVisitsWithDuplicates(const ServerParams& params, const std::string& engine,
                                   RowSink::Bulk bulk, bool engine_picks = true,
                                   bool load_data = false, const std::string& also = "",
                                   bool lose_last_loaded_row = false) {
  RejectRun run;
  ServerConnection admin;
  EXPECT_TRUE(admin.Open(params, ""));
  EXPECT_TRUE(admin.Execute("DROP SCHEMA IF EXISTS reject_test"));
  EXPECT_TRUE(admin.Execute("CREATE SCHEMA reject_test"));
  EXPECT_TRUE(
      admin.Execute("CREATE TABLE reject_test.visits (page VARCHAR(255), hits INT, day "
                    "DATE, UNIQUE KEY (page, day)) ENGINE=" +
                    engine));
  if (!also.empty()) {
    EXPECT_TRUE(admin.Execute(also)) << admin.error();
  }
  const fs::path shop = testing::SampleDataDir() / "shop";
  TableDef t;
  EXPECT_TRUE(
      ReadTableDefinition(shop / "visits.frm", testing::Collations(), testing::DefaultCodePage(), t)
          .ok);
  Recorder out;
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
  OpenedReader opened = OpenTableReaderAt(shop.string(), "visits", t, nullptr, ctx, out);
  EXPECT_NE(opened.reader, nullptr) << opened.not_read;
  if (opened.reader == nullptr) return run;
  ServerConnection conn;
  EXPECT_TRUE(conn.Open(params, "reject_test"));
  if (bulk != RowSink::Bulk::kNone && engine_picks) {
    const ServerBulk picked = BulkFormOf(conn, "visits");
    EXPECT_EQ(picked.statements, bulk);
    // The test server allows LOCAL.
    EXPECT_TRUE(picked.load_data);
  }
  ServerSink sink(conn, params, "reject_test", bulk);
  sink.set_table("visits");
  LastLoadedRowLost losing(sink);
  RowSink& to = lose_last_loaded_row ? static_cast<RowSink&>(losing) : sink;
  run.result =
      ExportTableRows(*opened.reader, t, "visits", to, nullptr, ctx, "parseibdfilefordatabase",
                      load_data ? RowText::kLoadData : RowText::kInsert);
  run.log = out.log;
  if (sink.broken()) run.broken = sink.broken_reason();
  run.rows = Query(params, "SELECT page, hits, day FROM reject_test.visits ORDER BY 1, 2, 3");
  return run;
}

// How rows go in bulk: the statement form each engine picks, or one forced.
struct BulkWay {
  const char* engine;
  RowSink::Bulk statements;
  bool engine_picks;
};
constexpr BulkWay kPickedWays[] = {{"InnoDB", RowSink::Bulk::kMultiRow, true},
                                   {"MyISAM", RowSink::Bulk::kCountedMultiRow, true},
                                   {"Aria", RowSink::Bulk::kCountedMultiRow, true}};

TEST(ServerTest, RejectedRowIsLoggedCountedAndTheRestGoIn) {
  REQUIRE_SERVER(params);
  const RejectRun one = SaveVisitsWithDuplicates(params, "InnoDB", RowSink::Bulk::kNone);
  const TableExportResult& r = one.result;
  EXPECT_EQ(r.rows, 145u);
  EXPECT_EQ(r.rejected, 2u);
  EXPECT_NE(r.first_rejection.find("Duplicate entry"), std::string::npos) << r.first_rejection;
  EXPECT_NE(one.log.find("row not inserted after "), std::string::npos);
  // The count in the line is the number of rows inserted before the refused one.
  const size_t at = one.log.find("row not inserted after ");
  const uint64_t before = std::strtoull(one.log.c_str() + at + 23, nullptr, 10);
  EXPECT_GT(before, 0u);
  EXPECT_LE(before, 145u);
  size_t lines = 0;
  for (size_t p = one.log.find("row not inserted after "); p != std::string::npos;
       p = one.log.find("row not inserted after ", p + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 2u);
  EXPECT_NE(one.log.find("  row no.\r\n"), std::string::npos);
  EXPECT_NE(one.log.find("Total Number of record inserted =  145 ."), std::string::npos);
  EXPECT_EQ(Query(params, "SELECT COUNT(*) FROM reject_test.visits"), "145");
}

// A multi-row INSERT the server refuses whole (InnoDB) or after storing the
// rows before the refused one (MyISAM, Aria), and single-row statements sent
// together: each refused row is still named where it was, and the rest are
// stored, exactly as when every row goes on its own.
TEST(ServerTest, RejectedBulkNamesEachRefusedRowAsOneByOneDoes) {
  REQUIRE_SERVER(params);
  const RejectRun one = SaveVisitsWithDuplicates(params, "InnoDB", RowSink::Bulk::kNone);
  ASSERT_EQ(one.result.rejected, 2u);
  std::vector<BulkWay> ways(std::begin(kPickedWays), std::end(kPickedWays));
  ways.push_back(BulkWay{"MyISAM", RowSink::Bulk::kSeries, false});
  ways.push_back(BulkWay{"InnoDB", RowSink::Bulk::kSeries, false});
  for (const BulkWay& w : ways) {
    SCOPED_TRACE(std::string(w.engine) + " " + std::to_string(static_cast<int>(w.statements)));
    const RejectRun got = SaveVisitsWithDuplicates(params, w.engine, w.statements, w.engine_picks);
    EXPECT_EQ(got.result.rows, 145u);
    EXPECT_EQ(got.result.rejected, 2u);
    EXPECT_EQ(got.result.first_rejection, one.result.first_rejection);
    EXPECT_EQ(got.log, one.log);
    EXPECT_EQ(got.rows, one.rows);
  }
}

// LOAD DATA LOCAL skips rows with a duplicate key instead of refusing the
// statement: each skipped row is still counted as refused, with the
// server's words for it, and the rest are stored as one by one stores them.
TEST(ServerTest, LoadDataNamesEverySkippedRow) {
  REQUIRE_SERVER(params);
  const RejectRun one = SaveVisitsWithDuplicates(params, "InnoDB", RowSink::Bulk::kNone);
  ASSERT_EQ(one.result.rejected, 2u);
  for (const BulkWay& w : kPickedWays) {
    SCOPED_TRACE(w.engine);
    const RejectRun got = SaveVisitsWithDuplicates(params, w.engine, w.statements, true, true);
    EXPECT_EQ(got.result.rows, 145u);
    EXPECT_EQ(got.result.rejected, 2u);
    EXPECT_EQ(got.result.first_rejection, one.result.first_rejection);
    EXPECT_EQ(got.rows, one.rows);
    size_t lines = 0;
    for (size_t p = got.log.find("row not inserted after "); p != std::string::npos;
         p = got.log.find("row not inserted after ", p + 1)) {
      ++lines;
      EXPECT_NE(got.log.find("Duplicate entry", p), std::string::npos);
    }
    EXPECT_EQ(lines, 2u) << got.log;
    EXPECT_NE(got.log.find("Total Number of record inserted =  145 ."), std::string::npos);
  }
}

// A statement larger than the server's max_allowed_packet is never run: the
// server hangs up on it, and the client may see only a lost connection. The
// row is refused as too large, the connection opened again, and the rest go
// on; nothing is taken as lost. LOAD DATA is not bound by that limit.
TEST(ServerTest, RowLargerThanThePacketLimitIsRefusedAndTheRestGoOn) {
  REQUIRE_SERVER(params);
  ServerConnection admin;
  ASSERT_TRUE(admin.Open(params, ""));
  ASSERT_TRUE(admin.Execute("DROP SCHEMA IF EXISTS reject_test"));
  ASSERT_TRUE(admin.Execute("CREATE SCHEMA reject_test"));
  const ServerGlobal packet(admin, "max_allowed_packet", "1048576");
  ASSERT_TRUE(packet.set);
  for (const BulkWay& w : kPickedWays) {
    SCOPED_TRACE(w.engine);
    const std::string table = std::string("reject_test.") + w.engine;
    ASSERT_TRUE(admin.Execute("CREATE TABLE " + table +
                              " (id INT PRIMARY KEY, b LONGBLOB) ENGINE=" + w.engine));
    ServerConnection conn;
    ASSERT_TRUE(conn.Open(params, "reject_test"));
    ServerSink sink(conn, params, "reject_test", w.statements);
    const std::string big =
        "INSERT INTO " + table + " VALUES (1, '" + std::string(3 << 20, 'x') + "')";
    EXPECT_FALSE(sink.ExecuteRow(big));
    EXPECT_TRUE(sink.too_large());
    EXPECT_FALSE(sink.broken()) << sink.broken_reason();
    EXPECT_NE(sink.last_error().find("max_allowed_packet"), std::string::npos) << sink.last_error();
    EXPECT_TRUE(sink.ExecuteRow("INSERT INTO " + table + " VALUES (2, 'small')"));
    // Sent together, the over-limit text runs nothing: the rows go one by one.
    EXPECT_EQ(sink.ExecuteSeries("INSERT INTO " + table + " VALUES (3, 'a');" + big + ";", 2),
              RowSink::kNothingRan);
    EXPECT_FALSE(sink.broken()) << sink.broken_reason();
    // LOAD DATA streams its rows: the same value goes in whole.
    RowSink::LoadOutcome got;
    EXPECT_TRUE(sink.LoadRows(
        "LOAD DATA LOCAL INFILE 'rows' INTO TABLE " + table + " CHARACTER SET utf8mb4",
        "4\t" + std::string(3 << 20, 'y') + "\n", got))
        << sink.last_error();
    EXPECT_EQ(got.stored, 1u);
    EXPECT_EQ(Query(params, "SELECT GROUP_CONCAT(id, ':', LENGTH(b) ORDER BY id) FROM " + table),
              "2:5,4:3145728");
  }
}

// A value the server changes as it loads it (here into a column narrower
// than the values) is never taken as stored as sent: each of its warnings
// is logged and counted.
TEST(ServerTest, LoadDataNamesRowsTheServerStoredChanged) {
  REQUIRE_SERVER(params);
  for (const BulkWay& w : kPickedWays) {
    SCOPED_TRACE(w.engine);
    const RejectRun got =
        SaveVisitsWithDuplicates(params, w.engine, w.statements, true, true,
                                 "ALTER TABLE reject_test.visits MODIFY hits TINYINT");
    const std::string clamped =
        Query(params, "SELECT COUNT(*) FROM reject_test.visits WHERE hits IN (127, -128)");
    EXPECT_EQ(got.result.rows, 145u);
    EXPECT_EQ(got.result.rejected, 2u);
    // The skipped rows' values were changed too before they were skipped.
    EXPECT_GE(got.result.altered, std::stoull(clamped));
    EXPECT_GT(got.result.altered, 100u);
    EXPECT_NE(got.result.first_altered.find("Out of range"), std::string::npos)
        << got.result.first_altered;
    EXPECT_NE(got.log.find("value changed by the server after "), std::string::npos);
  }
}

// Rows the server did not read as they were sent cannot be matched to its
// counts: the table's save ends, said to be not known, with the rows the
// table holds counted, never a row quietly missing.
TEST(ServerTest, LoadDataReadAsOtherRowsEndsTheTable) {
  REQUIRE_SERVER(params);
  for (const BulkWay& w : kPickedWays) {
    SCOPED_TRACE(w.engine);
    const RejectRun got =
        SaveVisitsWithDuplicates(params, w.engine, w.statements, true, true, "", true);
    EXPECT_NE(got.broken.find("a LOAD DATA sent; which of them it stored is not known"),
              std::string::npos)
        << got.broken;
    EXPECT_EQ(std::to_string(got.result.rows),
              Query(params, "SELECT COUNT(*) FROM reject_test.visits"));
  }
}

// A server that refuses LOCAL gets statements: the probe finds it out before
// any row is sent.
TEST(ServerTest, WithoutLocalInfileRowsGoAsStatements) {
  REQUIRE_SERVER(params);
  ServerConnection admin;
  ASSERT_TRUE(admin.Open(params, ""));
  ASSERT_TRUE(admin.Execute("DROP SCHEMA IF EXISTS reject_test"));
  ASSERT_TRUE(admin.Execute("CREATE SCHEMA reject_test"));
  for (const BulkWay& w : kPickedWays) {
    ASSERT_TRUE(admin.Execute(std::string("CREATE TABLE reject_test.") + w.engine +
                              " (a INT) ENGINE=" + w.engine));
  }
  const ServerGlobal local(admin, "local_infile", "0");
  ASSERT_TRUE(local.set);
  ServerConnection conn;
  ASSERT_TRUE(conn.Open(params, "reject_test"));
  for (const BulkWay& w : kPickedWays) {
    SCOPED_TRACE(w.engine);
    const ServerBulk picked = BulkFormOf(conn, w.engine);
    EXPECT_EQ(picked.statements, w.statements);
    EXPECT_FALSE(picked.load_data);
    EXPECT_EQ(Query(params, std::string("SELECT COUNT(*) FROM reject_test.") + w.engine), "0");
  }
}

// A LOAD DATA the server refuses (here a trigger refuses one row of it):
// InnoDB undoes it whole, so the rows go again one by one and end as they
// do when each is sent alone; MyISAM keeps the rows before the refused one,
// and the rows of the stretch after them are not guessed at: the table's
// save ends, said to be not known.
TEST(ServerTest, RefusedLoadDataGoesAgainRowByRowOrEndsTheTable) {
  REQUIRE_SERVER(params);
  const std::string trigger =
      "CREATE TRIGGER reject_test.refuse BEFORE INSERT ON reject_test.visits FOR EACH ROW "
      "IF NEW.hits = 4256 THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused: 4256'; "
      "END IF";
  const RejectRun one =
      SaveVisitsWithDuplicates(params, "InnoDB", RowSink::Bulk::kNone, true, false, trigger);
  ASSERT_EQ(one.result.rejected, 3u);
  ASSERT_EQ(one.result.rows, 144u);

  const RejectRun innodb =
      SaveVisitsWithDuplicates(params, "InnoDB", RowSink::Bulk::kMultiRow, true, true, trigger);
  EXPECT_EQ(innodb.result.rows, 144u);
  EXPECT_EQ(innodb.result.rejected, 3u);
  EXPECT_EQ(innodb.rows, one.rows);
  EXPECT_EQ(innodb.result.first_rejection, one.result.first_rejection);
  EXPECT_NE(innodb.result.first_rejection.find("refused: 4256"), std::string::npos);
  EXPECT_NE(innodb.log.find("Total Number of record inserted =  144 ."), std::string::npos);
  EXPECT_TRUE(innodb.broken.empty()) << innodb.broken;

  const RejectRun myisam = SaveVisitsWithDuplicates(
      params, "MyISAM", RowSink::Bulk::kCountedMultiRow, true, true, trigger);
  EXPECT_NE(myisam.broken.find("which of them it stored is not known"), std::string::npos)
      << myisam.broken;
  EXPECT_NE(myisam.broken.find("refused: 4256"), std::string::npos) << myisam.broken;
  EXPECT_LT(myisam.result.rows, 144u);
  EXPECT_EQ(Query(params, "SELECT COUNT(*) FROM reject_test.visits"),
            std::to_string(myisam.result.rows));
}

TEST(ServerTest, UnreachableServerStopsTheRunAndAccountsForEveryTable) {
  ServerParams params;
  params.host = "127.0.0.1";
  params.port = "1";  // nothing listens there
  Recorder out;
  const ScanResult scan = ScanDataDirectory(testing::SampleDataDir(), out);
  std::vector<std::string> unmatched;
  const auto items = SelectItems(scan, {"legacy"}, &unmatched);
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
  const ServerSaveResult r = RunServerSave(scan, items, params, ctx);
  // The first attempt names the cause; the run ends there and never claims success.
  EXPECT_EQ(std::count(out.lines.begin(), out.lines.end(), "Database rep_legacy not created"), 1);
  EXPECT_EQ(out.messages.back().rfind("Saving process stopped: the server cannot be reached", 0),
            0u)
      << out.messages.back();
  EXPECT_EQ(out.log.find("completed successfully"), std::string::npos);
  EXPECT_FALSE(r.success());
  ASSERT_EQ(r.tables.size(), 6u);  // every table of the database, none complete
  for (const TableAccount& t : r.tables) EXPECT_EQ(t.state, TableState::kNotRead) << t.table;
}

TEST(ServerTest, HostileNamesAndValuesArriveIntact) {
  REQUIRE_SERVER(params);
  // A copy of a table whose name holds a backtick (encoded on disk as @0060),
  // in a database whose name holds a quote and a semicolon.
  const fs::path root = testing::TempDir("hostile");
  const fs::path db = root / "x@0027@003b";
  fs::create_directories(db);
  for (const char* ext : {".frm", ".MYD", ".MYI"}) {
    fs::copy_file(testing::SampleDataDir() / "legacy" / (std::string("notes") + ext),
                  db / (std::string("we@0060ird") + ext));
  }
  ServerConnection admin;
  ASSERT_TRUE(admin.Open(params, ""));
  ASSERT_TRUE(admin.Execute("DROP SCHEMA IF EXISTS `rep_x';`"));
  Recorder out;
  const ScanResult scan = ScanDataDirectory(root, out);
  const auto items = SelectItems(scan, {}, nullptr);
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
  const ServerSaveResult r = RunServerSave(scan, items, params, ctx);
  ASSERT_EQ(r.tables.size(), 1u);
  EXPECT_EQ(r.tables[0].rows, 268u);
  EXPECT_EQ(r.tables[0].rejected, 0u);
  // Bodies full of quotes and backslashes, compared with the original server's dump.
  ASSERT_TRUE(admin.Execute("DROP SCHEMA IF EXISTS hostile_orig"));
  ASSERT_TRUE(admin.Execute("CREATE SCHEMA hostile_orig"));
  std::string ignored;
  testing::RunCommand("mariadb --no-defaults -uroot -h127.0.0.1 -P" + params.port +
                          " --default-character-set=utf8mb4 hostile_orig < '" +
                          (testing::SampleExpectedDir() / "dump/legacy.sql").string() + "'",
                      &ignored);
  const std::string orig = Query(
      params,
      "SELECT MD5(GROUP_CONCAT(id, title, IFNULL(body, 'N') ORDER BY id)) FROM hostile_orig.notes");
  const std::string got = Query(params,
                                "SELECT MD5(GROUP_CONCAT(id, title, IFNULL(body, 'N') ORDER BY "
                                "id)) FROM \\`rep_x';\\`.\\`we\\`\\`ird\\`");
  EXPECT_EQ(got, orig);
  EXPECT_EQ(got.size(), 32u);
}

}  // namespace
}  // namespace vostrel

namespace vostrel {
namespace {

// A database folder of its own for a test (schema names must not clash with
// other tests that share the server).
fs::path OwnDatabase(const std::string& name, size_t rows) {
  const fs::path root = testing::MakeCountersTable(name, rows);
  fs::rename(root / "legacy", root / name);
  return root;
}

TEST(ServerRunTest, ConnectionLostMidSaveEndsTheRunWithoutClaimingSuccess) {
  REQUIRE_SERVER(params);
  const std::string db = "lost_conn_db";
  const fs::path root = OwnDatabase(db, 2000000);
  // A second table after the first: it must not be attempted once the server is gone.
  fs::copy_file(testing::SampleDataDir() / "legacy/parts.frm", root / db / "zparts.frm");
  fs::copy_file(testing::SampleDataDir() / "legacy/parts.MYI", root / db / "zparts.MYI");
  fs::copy_file(testing::SampleDataDir() / "legacy/parts.MYD", root / db / "zparts.MYD");
  ServerConnection admin;
  ASSERT_TRUE(admin.Open(params, ""));
  ASSERT_TRUE(admin.Execute("DROP SCHEMA IF EXISTS rep_" + db));
  Recorder out;
  const ScanResult scan = ScanDataDirectory(root, out);
  const auto items = SelectItems(scan, {}, nullptr);
  std::atomic<bool> stop{false};
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, &stop};
  ServerSaveResult r;
  std::thread save([&] { r = RunServerSave(scan, items, params, ctx); });
  // Once rows arrive, the server drops the saving connection.
  bool killed = false;
  for (int i = 0; i < 4000 && !killed; ++i) {
    const std::string n = Query(params,
                                "SELECT TABLE_ROWS FROM information_schema.TABLES WHERE "
                                "TABLE_SCHEMA='rep_" +
                                    db + "' AND TABLE_NAME='counters'");
    if (!n.empty() && std::strtoull(n.c_str(), nullptr, 10) > 1000) {
      const std::string id = Query(params,
                                   "SELECT ID FROM information_schema.PROCESSLIST WHERE "
                                   "DB='rep_" +
                                       db + "' LIMIT 1");
      if (!id.empty()) killed = admin.Execute("KILL " + id);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  save.join();
  ASSERT_TRUE(killed);
  EXPECT_FALSE(r.success());
  EXPECT_NE(r.connection_lost.find("the connection to the server was lost"), std::string::npos)
      << r.connection_lost;
  EXPECT_EQ(out.messages.back().rfind("Saving process stopped: the connection to the server was "
                                      "lost",
                                      0),
            0u)
      << out.messages.back();
  EXPECT_EQ(out.log.find("completed successfully"), std::string::npos);
  ASSERT_EQ(r.tables.size(), 2u);
  EXPECT_EQ(r.tables[0].state, TableState::kDamaged);
  EXPECT_NE(r.tables[0].reason.find("is not known"), std::string::npos) << r.tables[0].reason;
  EXPECT_EQ(r.tables[0].rejected, 0u);  // a row in flight is not counted as refused
  EXPECT_EQ(r.tables[1].state, TableState::kNotRead);
  EXPECT_NE(r.tables[1].reason.find("connection was lost"), std::string::npos);
  // One clear message, not a line per row.
  EXPECT_LT(std::count(out.log.begin(), out.log.end(), '\n'), 60) << out.log.substr(0, 2000);
}

// A MyISAM table that fills up part way through a LOAD (two-byte row
// pointers hold 65535 fixed rows) ends that table's save, said to be not
// known; the connection is still open, so the next table is saved whole.
TEST(ServerRunTest, ATableEndedOnAnOpenConnectionEndsAlone) {
  REQUIRE_SERVER(params);
  const std::string db = "ends_alone_db";
  const fs::path root = OwnDatabase(db, 70000);
  for (const char* ext : {".frm", ".MYI", ".MYD"}) {
    fs::copy_file(testing::SampleDataDir() / "legacy" / (std::string("parts") + ext),
                  root / db / (std::string("zparts") + ext));
  }
  ServerConnection admin;
  ASSERT_TRUE(admin.Open(params, ""));
  const ServerGlobal pointer(admin, "myisam_data_pointer_size", "2");
  ASSERT_TRUE(pointer.set);
  for (unsigned jobs : {1u, 2u}) {
    SCOPED_TRACE(jobs);
    ASSERT_TRUE(admin.Execute("DROP SCHEMA IF EXISTS rep_" + db));
    Recorder out;
    const ScanResult scan = ScanDataDirectory(root, out);
    EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
    ctx.jobs = jobs;
    const ServerSaveResult r = RunServerSave(scan, SelectItems(scan, {}, nullptr), params, ctx);
    EXPECT_TRUE(r.connection_lost.empty()) << r.connection_lost;
    EXPECT_FALSE(r.success());
    ASSERT_EQ(r.tables.size(), 2u);
    EXPECT_EQ(r.tables[0].table, "counters");
    EXPECT_EQ(r.tables[0].state, TableState::kDamaged);
    EXPECT_NE(r.tables[0].reason.find("is not known"), std::string::npos) << r.tables[0].reason;
    EXPECT_NE(r.tables[0].reason.find("is full"), std::string::npos) << r.tables[0].reason;
    EXPECT_EQ(std::to_string(r.tables[0].rows),
              Query(params, "SELECT COUNT(*) FROM rep_" + db + ".counters"));
    EXPECT_EQ(r.tables[1].table, "zparts");
    EXPECT_EQ(r.tables[1].state, TableState::kComplete) << r.tables[1].reason;
    EXPECT_GT(r.tables[1].rows, 0u);
    EXPECT_EQ(std::to_string(r.tables[1].rows),
              Query(params, "SELECT COUNT(*) FROM rep_" + db + ".zparts"));
    ASSERT_FALSE(out.messages.empty());
    EXPECT_EQ(out.messages.back().find("stopped"), std::string::npos) << out.messages.back();
  }
  ASSERT_TRUE(admin.Execute("DROP SCHEMA IF EXISTS rep_" + db));
}

TEST(ServerRunTest, AnExistingSchemaIsLeftAloneWithItsTriggersAndViews) {
  REQUIRE_SERVER(params);
  ServerConnection admin;
  ASSERT_TRUE(admin.Open(params, ""));
  const fs::path root = testing::TempDir("existing-schema") / "data";
  fs::create_directories(root);
  fs::copy(testing::SampleDataDir() / "shop", root / "existing_shop", fs::copy_options::recursive);
  ASSERT_TRUE(admin.Execute("DROP SCHEMA IF EXISTS rep_existing_shop"));
  ASSERT_TRUE(admin.Execute("CREATE SCHEMA rep_existing_shop"));
  ASSERT_TRUE(admin.Execute("CREATE TABLE rep_existing_shop.keep (x INT)"));
  Recorder out;
  const ScanResult scan = ScanDataDirectory(root, out);
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
  const ServerSaveResult r = RunServerSave(scan, SelectItems(scan, {}, nullptr), params, ctx);
  EXPECT_FALSE(r.success());
  EXPECT_EQ(r.triggers_created, 0);
  EXPECT_EQ(r.views_created, 0);
  EXPECT_FALSE(r.tables.empty());
  for (const TableAccount& t : r.tables) {
    EXPECT_EQ(t.state, TableState::kNotRead);
    EXPECT_NE(t.reason.find("already exists"), std::string::npos) << t.reason;
  }
  EXPECT_EQ(Query(params,
                  "SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = "
                  "'rep_existing_shop'"),
            "1");
  EXPECT_EQ(Query(params,
                  "SELECT COUNT(*) FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA = "
                  "'rep_existing_shop'"),
            "0");
  ASSERT_TRUE(admin.Execute("DROP SCHEMA rep_existing_shop"));
}

// Tables saved several at once give the same accounts and rows as one by
// one, and a log whose table lines come in the tables' order every time.
TEST(ServerRunTest, TablesSavedAtOnceAreAccountedAndLoggedInOrder) {
  REQUIRE_SERVER(params);
  const std::string db = "jobs_legacy";
  const fs::path root = testing::TempDir("jobs-run") / "data";
  fs::remove_all(root);
  fs::create_directories(root);
  fs::copy(testing::SampleDataDir(), root, fs::copy_options::recursive);
  fs::rename(root / "legacy", root / db);
  struct Run {
    ServerSaveResult r;
    std::string log;
    std::string rows;
  };
  auto save = [&](unsigned jobs) {
    ServerConnection admin;
    EXPECT_TRUE(admin.Open(params, ""));
    EXPECT_TRUE(admin.Execute("DROP SCHEMA IF EXISTS rep_" + db));
    Recorder out;
    const ScanResult scan = ScanDataDirectory(root, out);
    const auto items = SelectItems(scan, {db}, nullptr);
    EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
    ctx.jobs = jobs;
    Run run;
    run.r = RunServerSave(scan, items, params, ctx);
    run.log = out.log;
    for (const SavedTable& t : run.r.tables) {
      run.rows += t.table + " " +
                  Query(params, "CHECKSUM TABLE rep_" + db + ".\\`" + t.table + "\\`") + "\n";
    }
    return run;
  };
  const Run one = save(1);
  const Run three = save(3);
  const Run again = save(3);
  ASSERT_EQ(one.r.tables.size(), 6u);
  EXPECT_TRUE(three.r.success()) << three.log;
  ASSERT_EQ(three.r.tables.size(), one.r.tables.size());
  for (size_t i = 0; i < one.r.tables.size(); ++i) {
    EXPECT_EQ(three.r.tables[i].table, one.r.tables[i].table);
    EXPECT_EQ(three.r.tables[i].rows, one.r.tables[i].rows);
    EXPECT_EQ(three.r.tables[i].state, one.r.tables[i].state);
  }
  EXPECT_EQ(three.rows, one.rows);
  EXPECT_EQ(again.log, three.log);
  size_t at = 0;
  for (const SavedTable& t : one.r.tables) {
    const size_t p = three.log.find("Processing Table " + t.table + "\r\n", at);
    EXPECT_NE(p, std::string::npos) << t.table;
    if (p != std::string::npos) at = p;
  }
}

}  // namespace
}  // namespace vostrel
