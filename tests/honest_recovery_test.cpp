// Odd and damaged data directories, run as a DBA would run the command line:
// whatever is missing is named, the run never hangs, and the exit code and
// the report never call an incomplete recovery complete.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <ctime>
#include <fstream>
#include <thread>

#include "scan/session_log.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int rc = -1;  // 124: it hung and was killed
  std::string out;
  std::string err;
};

// The CLI with `args`, bounded to `seconds`; `pre` runs in the same shell
// first; stdout goes to `stdout_to` when given.
CliRun Cli(const std::string& args, int seconds = 30, const std::string& pre = "",
           const std::string& stdout_to = "") {
  const fs::path dir = testing::TempDir("honest-run");
  const fs::path logs = dir / "logs";
  fs::create_directories(logs);
  const std::string out = stdout_to.empty() ? (dir / "out").string() : stdout_to;
  std::string cmd = pre + (pre.empty() ? "" : "\n") + "exec timeout -k 5 " +
                    std::to_string(seconds) + " '" + testing::CliPath() + "' " + args +
                    " --log-dir '" + logs.string() + "' >'" + out + "' 2>'" +
                    (dir / "err").string() + "'";
  CliRun r;
  const fs::path script = dir / "run.sh";
  std::ofstream(script) << cmd << "\n";
  r.rc = testing::RunCommand("bash '" + script.string() + "'", nullptr);
  r.out = testing::ReadFileOrEmpty(dir / "out");
  r.err = testing::ReadFileOrEmpty(dir / "err");
  return r;
}

std::string Q(const fs::path& p) {
  return "'" + p.string() + "'";
}

// A copy of sample databases to damage.
fs::path CopySample(const std::string& name, std::initializer_list<const char*> dbs,
                    bool with_ibdata = false) {
  const fs::path root = testing::TempDir(name) / "data";
  fs::create_directories(root);
  for (const char* db : dbs) {
    fs::copy(testing::SampleDataDir() / db, root / db, fs::copy_options::recursive);
  }
  if (with_ibdata) fs::copy_file(testing::SampleDataDir() / "ibdata1", root / "ibdata1");
  return root;
}

// The report line of `table`, from a save's stdout.
std::string ReportLine(const std::string& out, const std::string& table) {
  const size_t p = out.find(table + "\t");
  if (p == std::string::npos) return {};
  return out.substr(p, out.find('\n', p) - p);
}

void ReplaceWith(const fs::path& file, const std::string& kind) {
  fs::remove(file);
  if (kind == "cut") {
    std::ofstream(file, std::ios::binary) << '\xFE';
  } else if (kind == "zeroed") {
    std::ofstream(file, std::ios::binary) << std::string(8192, '\0');
  } else if (kind == "directory") {
    fs::create_directory(file);
  } else if (kind == "dangling") {
    fs::create_symlink(file.parent_path() / "nowhere", file);
  } else if (kind == "loop") {
    fs::create_symlink(file, file);
  } else if (kind == "fifo") {
    ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
  }
}

// A table whose .frm cannot be used is listed by the scan and by the save,
// with the reason, and the run fails, while the other tables are saved.
TEST(HonestRecoveryTest, UnusableDefinitionsAreNamedNeverDropped) {
  for (const char* kind : {"cut", "zeroed", "directory", "dangling", "fifo"}) {
    SCOPED_TRACE(kind);
    const fs::path data = CopySample(std::string("frm-") + kind, {"legacy", "shop"});
    ReplaceWith(data / "legacy/parts.frm", kind);
    ReplaceWith(data / "shop/customers.frm", kind);
    const CliRun scan = Cli("scan " + Q(data) + " --quiet", 20);
    EXPECT_EQ(scan.rc, 1) << scan.err;
    EXPECT_NE(scan.out.find("        parts  not read: parts.frm"), std::string::npos) << scan.out;
    EXPECT_NE(scan.out.find("        customers  not read: customers.frm"), std::string::npos);

    const fs::path out = testing::TempDir(std::string("frm-out-") + kind);
    const CliRun save = Cli("save " + Q(data) + " --script " + Q(out) + " --quiet", 20);
    EXPECT_EQ(save.rc, 1) << save.err;
    EXPECT_EQ(ReportLine(save.out, "legacy.parts").find("not read: parts.frm"),
              std::string("legacy.parts\t-\t0 of ? rows\t").size())
        << save.out;
    EXPECT_NE(ReportLine(save.out, "shop.customers").find("\tnot read: customers.frm"),
              std::string::npos);
    EXPECT_NE(save.err.find("legacy.parts"), std::string::npos) << save.err;  // quiet, yet said
    EXPECT_NE(ReportLine(save.out, "legacy.counters").find("\tcomplete"), std::string::npos);
    EXPECT_NE(ReportLine(save.out, "shop.orders").find("\tcomplete"), std::string::npos);
    EXPECT_NE(testing::ReadFileOrEmpty(out / "Scriptdata/recovery-report.tsv")
                  .find("legacy\tparts\t\t\t0\t\t0\tnot read\tparts.frm"),
              std::string::npos);
  }
}

// Data files with no .frm at all are listed as tables that cannot be read; an
// InnoDB table the dictionary knows (its own .ibd, or inside ibdata1) gets a
// definition rebuilt from it, and is never called complete.
TEST(HonestRecoveryTest, RowsWithoutADefinitionAreListed) {
  const fs::path data = CopySample("orphans", {"legacy", "shop", "inner"}, true);
  fs::remove(data / "legacy/notes.frm");
  fs::remove(data / "shop/orders.frm");
  fs::remove(data / "inner/tags.frm");
  const CliRun scan = Cli("scan " + Q(data) + " --quiet", 20);
  EXPECT_EQ(scan.rc, 1);
  EXPECT_NE(scan.out.find("notes  not read: notes.MYD has no table definition (notes.frm is "
                          "missing)"),
            std::string::npos)
      << scan.out;
  EXPECT_NE(scan.out.find("orders  InnoDB Dynamic: damaged: definition rebuilt from "
                          "the InnoDB dictionary"),
            std::string::npos)
      << scan.out;
  EXPECT_NE(scan.out.find("tags  InnoDB Dynamic: damaged: definition rebuilt from the "
                          "InnoDB dictionary"),
            std::string::npos);
  const CliRun save =
      Cli("save " + Q(data) + " --script " + Q(testing::TempDir("orphans-out")), 20);
  EXPECT_EQ(save.rc, 1);
  EXPECT_NE(ReportLine(save.out, "legacy.notes").find("\tnot read: "), std::string::npos)
      << save.out;
  for (const char* t : {"shop.orders", "inner.tags"}) {
    EXPECT_NE(
        ReportLine(save.out, t).find("\tdamaged: definition rebuilt from the InnoDB dictionary"),
        std::string::npos)
        << t << save.out;
  }
  EXPECT_NE(save.out.find("not complete"), std::string::npos);
}

// A data file that cannot be opened is not "0 rows": the table is flagged,
// and the reason reaches stderr even under --quiet.
TEST(HonestRecoveryTest, UnopenableDataFilesAreNotEmptyTables) {
  for (const char* kind : {"directory", "loop"}) {
    SCOPED_TRACE(kind);
    const fs::path data = CopySample(std::string("myd-") + kind, {"legacy"});
    ReplaceWith(data / "legacy/parts.MYD", kind);
    const CliRun save = Cli("save " + Q(data) + " --script " +
                                Q(testing::TempDir(std::string("myd-out-") + kind)) + " --quiet",
                            20);
    EXPECT_EQ(save.rc, 1);
    const std::string line = ReportLine(save.out, "legacy.parts");
    EXPECT_NE(line.find("\tdefinition only: data file "), std::string::npos) << save.out;
    EXPECT_NE(line.find(std::string("parts.MYD ") +
                        (kind == std::string("loop") ? "is a symlink loop" : "is a directory")),
              std::string::npos)
        << line;
    EXPECT_NE(save.err.find("parts.MYD"), std::string::npos) << save.err;
  }
}

// A FIFO where a source file belongs never blocks the run: it is refused and named.
TEST(HonestRecoveryTest, FifosInPlaceOfSourceFilesDoNotHang) {
  struct Case {
    const char* file;
    const char* table;  // whose report line names the problem; "" when only stderr does
  };
  for (const Case& c :
       {Case{"legacy/db.opt", ""}, Case{"legacy/parts.MYI", "legacy.parts"},
        Case{"legacy/parts.MYD", "legacy.parts"}, Case{"shop/customers.ibd", "shop.customers"},
        Case{"ibdata1", "inner.tags"}}) {
    SCOPED_TRACE(c.file);
    const fs::path data = CopySample("fifo", {"legacy", "shop", "inner"}, true);
    ReplaceWith(data / c.file, "fifo");
    const auto start = std::chrono::steady_clock::now();
    const CliRun save =
        Cli("save " + Q(data) + " --script " + Q(testing::TempDir("fifo-out")) + " --quiet", 20);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    EXPECT_EQ(save.rc, 1) << save.err;
    EXPECT_NE(save.err.find(fs::path(c.file).filename().string()), std::string::npos) << save.err;
    EXPECT_NE(save.err.find(" is a FIFO"), std::string::npos) << save.err;
    if (*c.table) {
      EXPECT_FALSE(ReportLine(save.out, c.table).empty()) << save.out;
      EXPECT_EQ(ReportLine(save.out, c.table).find("\tcomplete"), std::string::npos) << save.out;
    }
  }
}

// SIGTERM and Ctrl-C end a save at the next row (the report says what was
// not saved) and end any other phase at once.
TEST(HonestRecoveryTest, SignalsEndTheRunInEveryPhase) {
  const fs::path data = testing::MakeCountersTable("signals", 3000000);
  for (const int sig : {SIGTERM, SIGINT}) {
    const fs::path out = testing::TempDir("signals-out");
    const auto start = std::chrono::steady_clock::now();
    // The signal comes once rows are being written.
    const std::string script = (out / "Scriptdata/legacy.sql").string();
    const CliRun save = Cli("save " + Q(data) + " --script " + Q(out) + " --quiet", 30,
                            "(for i in $(seq 2000); do [ -s '" + script +
                                "' ] && break; sleep 0.005; done; pkill -" + std::to_string(sig) +
                                " -f '^" + testing::CliPath() + " save " + data.string() + "') &");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(save.rc, 1) << save.err;
    EXPECT_NE(save.err.find("stopped by the user"), std::string::npos) << save.err;
    EXPECT_EQ(ReportLine(save.out, "legacy.counters").find("\tcomplete"), std::string::npos)
        << save.out;
    // The script still ends cleanly.
    const std::string sql = testing::ReadFileOrEmpty(out / "Scriptdata/legacy.sql");
    EXPECT_NE(sql.rfind("COMMIT;\r\n"), std::string::npos);
  }
  // Outside a save (here a scan stuck behind nothing but a slow disk would
  // be): the signal ends the process at once.
  const CliRun show =
      Cli("show " + Q(data) + " legacy.counters --page 2900", 30,
          "(for i in $(seq 500); do sleep 0.01; pkill -TERM -f '^" + testing::CliPath() + " show " +
              data.string() + "' && break; done) &");
  EXPECT_NE(show.rc, 0);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitized = true;
#else
constexpr bool kAddressSanitized = false;
#endif
#else
constexpr bool kAddressSanitized = false;
#endif

// Under a small address space a save either completes or names what it
// could not do, and never aborts.
TEST(HonestRecoveryTest, OutOfMemoryFailsTablesNotTheProcess) {
  if (kAddressSanitized) {
    // Its shadow memory cannot live under a small address space.
    GTEST_SKIP() << "address space limits do not apply to a sanitized build";
  }
  const fs::path data = testing::SampleDataDir();
  for (const int mb : {14, 18, 22, 26, 32, 48}) {
    SCOPED_TRACE(mb);
    const fs::path out = testing::TempDir("oom-out");
    const CliRun save = Cli("save " + Q(data) + " --script " + Q(out) + " --quiet", 60,
                            "ulimit -v " + std::to_string(mb * 1024));
    EXPECT_TRUE(save.rc == 0 || save.rc == 1) << "rc " << save.rc << ": " << save.err;
    if (save.rc == 0) {
      EXPECT_NE(save.out.find("25 tables: 25 complete, 0 not complete"), std::string::npos)
          << save.out;
    } else {
      EXPECT_FALSE(save.err.empty());
    }
  }
}

// Output that cannot be written makes the run fail, naming what failed.
TEST(HonestRecoveryTest, WriteFailuresAreFailures) {
  const fs::path data = CopySample("writes", {"legacy", "shop"});
  for (const std::string& cmd :
       {"ddl " + Q(data), "scan " + Q(data), "show " + Q(data) + " legacy.parts"}) {
    SCOPED_TRACE(cmd);
    const CliRun r = Cli(cmd + " --quiet", 20, "", "/dev/full");
    EXPECT_EQ(r.rc, 1);
  }
  {
    const fs::path out = testing::TempDir("writes-actual");
    fs::create_directories(out / "Scriptdata/ActualSaveFilepath.txt");
    const CliRun r = Cli("save " + Q(data) + " legacy --script " + Q(out) + " --quiet", 20);
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("ActualSaveFilepath.txt"), std::string::npos) << r.err;
  }
  {
    const fs::path out = testing::TempDir("writes-blob");
    fs::create_directories(out / "Scriptdata/blobdata/0");  // where the first value would go
    const CliRun r = Cli("save " + Q(data) + " shop.documents --script " + Q(out) + " --quiet", 20);
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find((out / "Scriptdata/blobdata/0").string()), std::string::npos) << r.err;
  }
  {
    // The log file of this very second (and the next few) already stands as
    // a link to a full device: every log write fails.
    const fs::path logs = testing::TempDir("writes-log");
    for (int s = 0; s < 8; ++s) {
      const std::time_t t = std::time(nullptr) + s;
      std::tm local{};
      localtime_r(&t, &local);
      fs::create_symlink("/dev/full", logs / SessionLog::FileNameFor(local));
    }
    std::string out;
    const int rc = testing::RunCommand("'" + testing::CliPath() + "' scan " + Q(data) +
                                           " --quiet --log-dir " + Q(logs) + " 2>&1 >/dev/null",
                                       &out);
    EXPECT_EQ(rc, 1);
    EXPECT_NE(out.find("could not be written"), std::string::npos) << out;
  }
}

// A relative output folder still gives LOAD_FILE paths the server can find.
TEST(HonestRecoveryTest, RelativeScriptFolderGivesAbsoluteBlobPaths) {
  const fs::path base = testing::TempDir("relative");
  std::string ignored;
  const int rc = testing::RunCommand(
      "cd " + Q(base) + " && '" + testing::CliPath() + "' save " + Q(testing::SampleDataDir()) +
          " shop.documents --script out --quiet --log-dir . >/dev/null 2>&1",
      &ignored);
  EXPECT_EQ(rc, 0);
  const std::string sql = testing::ReadFileOrEmpty(base / "out/Scriptdata/shop.sql");
  const size_t load = sql.find("LOAD_FILE('");
  ASSERT_NE(load, std::string::npos);
  EXPECT_EQ(sql.compare(load + 11, (base / "out/Scriptdata/blobdata/").string().size(),
                        (base / "out/Scriptdata/blobdata/").string()),
            0)
      << sql.substr(load, 120);
}

TEST(HonestRecoveryTest, BadUsageAndEmptyFolders) {
  for (const char* port : {"abc", "99999", "-1", "0", "3306x"}) {
    const CliRun r = Cli(std::string("test-connection --server 127.0.0.1 --port ") + port);
    EXPECT_EQ(r.rc, 2) << port;
  }
  const fs::path empty = testing::TempDir("empty-datadir");
  const CliRun save = Cli("save " + Q(empty) + " --script " + Q(testing::TempDir("empty-out")));
  EXPECT_EQ(save.rc, 1);
  EXPECT_NE(save.err.find("holds no table, view or trigger"), std::string::npos) << save.err;
  EXPECT_EQ(save.err.find("Script Created successfully"), std::string::npos);
}

}  // namespace
}  // namespace vostrel
