// The command line as a DBA runs it: exit codes, output layout, read-only sources.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "sql/script_save.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

std::string Cli(const std::string& args, int* rc, bool with_stderr = false) {
  const fs::path logs = testing::TempDir("cli-logs");
  std::string out;
  *rc =
      testing::RunCommand("'" + testing::CliPath() + "' " + args + " --log-dir '" + logs.string() +
                              "' --quiet" + (with_stderr ? " 2>&1" : " 2>/dev/null"),
                          &out);
  return out;
}

TEST(CliTest, UsageErrorsExitWithTwo) {
  int rc;
  Cli("", &rc);
  EXPECT_EQ(rc, 2);
  Cli("frobnicate /tmp", &rc);
  EXPECT_EQ(rc, 2);
  Cli("scan /tmp --codepage NO-SUCH", &rc);
  EXPECT_EQ(rc, 2);
  Cli("ddl '" + testing::SampleDataDir().string() + "' nosuchdb", &rc);
  EXPECT_EQ(rc, 2);
  const std::string err = Cli("scan /nonexistent/dir", &rc, true);
  EXPECT_EQ(rc, 1);
  EXPECT_NE(err.find("/nonexistent/dir"), std::string::npos);
}

TEST(CliTest, DdlWritesSchemaUseAndTablesWithCrLf) {
  int rc;
  const std::string full =
      Cli("ddl '" + testing::SampleDataDir().string() + "' shop.customers legacy.parts", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(full.rfind("CREATE SCHEMA `rep_legacy` CHARACTER SET latin1 COLLATE "
                       "latin1_swedish_ci;\r\nUSE `rep_legacy`;\r\n/*!40014 SET",
                       0),
            0u);
  EXPECT_NE(
      full.find("CREATE TABLE `parts` (\n  `id` int(11) NOT NULL,\n  `code` char(8) NOT NULL"),
      std::string::npos)
      << full;
  EXPECT_NE(full.find(") ENGINE=MyISAM DEFAULT CHARSET=latin1 COLLATE=latin1_swedish_ci "
                      "ROW_FORMAT=FIXED;\r\n\r\n"),
            std::string::npos);
  // The form of earlier versions, behind its switch.
  const std::string out = Cli("ddl '" + testing::SampleDataDir().string() +
                                  "' shop.customers legacy.parts --reduced-definitions",
                              &rc);
  EXPECT_EQ(rc, 0);
  const std::string want_start =
      "CREATE SCHEMA `rep_legacy` CHARACTER SET latin1 COLLATE latin1_swedish_ci;\r\n"
      "USE `rep_legacy`;\r\nCreate TABLE  `parts` (";
  EXPECT_EQ(out.substr(0, want_start.size()), want_start);
  EXPECT_NE(out.find(")ENGINE=MYISAM DEFAULT CHARSET latin1 COLLATE latin1_swedish_ci;\r\n\r\n"
                     "CREATE SCHEMA `rep_shop`"),
            std::string::npos);
  EXPECT_NE(out.find("`id` INT UNSIGNED NOT NULL"), std::string::npos);
}

TEST(CliTest, ScanPrintsTheTreeAndWritesAUtf16Log) {
  int rc;
  const fs::path logs = testing::TempDir("cli-scan-log");
  std::string out;
  rc = testing::RunCommand("'" + testing::CliPath() + "' scan '" +
                               testing::SampleDataDir().string() + "' --log-dir '" + logs.string() +
                               "' 2>/dev/null",
                           &out);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out.rfind("MYSQL database\n", 0), 0u);
  EXPECT_NE(out.find("\n    my-db\n"), std::string::npos);
  EXPECT_NE(out.find("\n        parts  MyISAM Fixed, 360 rows: can be read\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("\n        orders  InnoDB Dynamic: can be read\n"), std::string::npos);
  EXPECT_NE(out.find("order_summary"), std::string::npos);
  int logs_found = 0;
  for (const auto& e : fs::directory_iterator(logs)) {
    ++logs_found;
    const std::string bytes = testing::ReadFileOrEmpty(e.path());
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(e.path().filename().string().rfind("VostrelMySQLDBRec_log_", 0), 0u);
  }
  EXPECT_EQ(logs_found, 1);
}

TEST(CliTest, ReadOnlySourcesAreReadAndLeftUntouched) {
  const fs::path copy = testing::TempDir("cli-readonly") / "data";
  fs::create_directories(copy / "legacy");
  fs::copy(testing::SampleDataDir() / "legacy", copy / "legacy", fs::copy_options::recursive);
  struct stat before {};
  ASSERT_EQ(::stat((copy / "legacy/parts.frm").c_str(), &before), 0);
  for (const auto& e : fs::recursive_directory_iterator(copy)) {
    if (e.is_regular_file()) fs::permissions(e.path(), fs::perms::owner_read);
  }
  int rc;
  const std::string out = Cli("ddl '" + copy.string() + "'", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(out.find("CREATE TABLE `parts`"), std::string::npos);
  struct stat after {};
  ASSERT_EQ(::stat((copy / "legacy/parts.frm").c_str(), &after), 0);
  EXPECT_EQ(before.st_mtime, after.st_mtime);
  EXPECT_EQ(before.st_size, after.st_size);
}

TEST(CliTest, UnreadableTableDefinitionExitsWithOne) {
  const fs::path dir = testing::TempDir("cli-broken") / "db";
  fs::create_directories(dir);
  std::string frm = testing::ReadFileOrEmpty(testing::SampleDataDir() / "shop/customers.frm");
  frm.resize(200);  // header survives, the rest is gone
  std::ofstream(dir / "broken.frm", std::ios::binary) << frm;
  int rc;
  const std::string err = Cli("ddl '" + dir.string() + "'", &rc, true);
  EXPECT_EQ(rc, 1);
  EXPECT_NE(err.find("broken.frm cannot be read"), std::string::npos);
}

}  // namespace
}  // namespace vostrel

namespace vostrel {
namespace {

TEST(CliSaveTest, ScriptLayoutTotalsAndLog) {
  const fs::path out = testing::TempDir("cli-save");
  int rc;
  const std::string printed =
      Cli("save '" + testing::SampleDataDir().string() + "' legacy --script '" + out.string() + "'",
          &rc);
  EXPECT_EQ(rc, 0) << printed;
  EXPECT_NE(printed.find("legacy.parts\tMyISAM Fixed\t360 of 360 rows\tcomplete\n"),
            std::string::npos)
      << printed;
  const fs::path data = out / "Scriptdata";
  EXPECT_TRUE(fs::is_directory(data / "blobdata"));
  EXPECT_EQ(testing::ReadFileOrEmpty(data / "ActualSaveFilepath.txt"), data.string());
  const std::string sql = testing::ReadFileOrEmpty(data / "legacy.sql");
  // The script first says where its LOAD_FILE values are and what the server needs.
  const std::string head = BlobFolderComment(data);
  EXPECT_EQ(sql.rfind(head + "CREATE SCHEMA `rep_legacy` CHARACTER SET latin1 COLLATE "
                             "latin1_swedish_ci;\r\nUSE `rep_legacy`;\r\n",
                      0),
            0u);
  EXPECT_NE(head.find((data / "blobdata").string()), std::string::npos);
  EXPECT_NE(head.find("secure_file_priv"), std::string::npos);
  // The account of each table, beside the scripts.
  const std::string report = testing::ReadFileOrEmpty(data / "recovery-report.tsv");
  EXPECT_EQ(report.rfind("database\ttable\tengine\trow_format\trows_recovered\trows_in_files\t", 0),
            0u);
  EXPECT_NE(report.find("\nlegacy\tparts\tMyISAM\tFixed\t360\t360\t0\tcomplete\t\n"),
            std::string::npos)
      << report;
  EXPECT_NE(sql.find("ENGINE=MyISAM DEFAULT CHARSET=latin1 COLLATE=latin1_swedish_ci "
                     "ROW_FORMAT=DYNAMIC;\r\n\r\nINSERT INTO "
                     "`contacts`(`id`,`name`,`phone`,`address`) VALUES("),
            std::string::npos);
  EXPECT_NE(sql.find(");\r\nCOMMIT;\r\n\r\nCREATE TABLE `counters`"), std::string::npos);
  // Checks are off while the tables load and back on at the end, as mysqldump does.
  EXPECT_NE(sql.find("SET @OLD_FOREIGN_KEY_CHECKS=@@FOREIGN_KEY_CHECKS, FOREIGN_KEY_CHECKS=0"),
            std::string::npos);
  EXPECT_NE(sql.rfind("SET UNIQUE_CHECKS=@OLD_UNIQUE_CHECKS */;\r\n"), std::string::npos);
  EXPECT_EQ(sql.find("\r\r"), std::string::npos);
  EXPECT_FALSE(fs::exists(data / "shop.sql"));  // only the database asked for
}

TEST(CliShowTest, ScreenAndKeyGrid) {
  int rc;
  const std::string dir = testing::SampleDataDir().string();
  const std::string rows = Cli("show '" + dir + "' legacy.parts", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(rows.rfind("id\tcode\tdescr\tprice\tqty\tweight\tadded\n", 0), 0u)
      << rows.substr(0, 200);
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 361);
  Cli("show '" + dir + "' legacy.parts --page 2", &rc);
  EXPECT_EQ(rc, 0);
  const std::string keys = Cli("show '" + dir + "' legacy.parts --keys", &rc);
  EXPECT_NE(keys.find("Column Name\tData Type\tsize\tAllow Nulls\tKey Name\n"), std::string::npos);
  EXPECT_NE(keys.find("id\tINT\t11\tFalse\tPrimary Key\n"), std::string::npos) << keys;
  EXPECT_NE(keys.find("code\tCHAR(8)\t8\tFalse\tUnique Key\n"), std::string::npos) << keys;
  Cli("show '" + dir + "' legacy", &rc);
  EXPECT_EQ(rc, 2);
}

}  // namespace
}  // namespace vostrel

namespace vostrel {
namespace {

TEST(CliShowTest, ViewsAndTriggersPrintTheirDefinitions) {
  int rc;
  const std::string dir = testing::SampleDataDir().string();
  const std::string view = Cli("show '" + dir + "' shop.order_summary", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(view.rfind("CREATE ALGORITHM=UNDEFINED", 0), 0u);
  const std::string trg = Cli("show '" + dir + "' shop.orders --trigger", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(trg.rfind("DELIMITER $$\nCREATE TRIGGER orders_after_insert", 0), 0u);
  const std::string table = Cli("show '" + dir + "' shop.orders", &rc);
  EXPECT_EQ(table.rfind("id\tcustomer_id\t", 0), 0u);
}

// --deleted-rows: the pass's lines on stdout and its own scripts; without it, none.
TEST(CliSaveTest, DeletedRowsOnlyWhenAskedFor) {
  const fs::path data = testing::UnpackedFixture("deleted-rows") / "datadir";
  if (!fs::exists(data)) GTEST_SKIP() << "fixture not unpacked";
  const fs::path out = testing::TempDir("cli-deleted");
  int rc;
  std::string printed =
      Cli("save '" + data.string() + "' snap --script '" + out.string() + "' --deleted-rows", &rc);
  EXPECT_EQ(rc, 0) << printed;
  EXPECT_NE(printed.find("snap.t\tInnoDB Compact\t379 of 379 rows\tcomplete\n"), std::string::npos)
      << printed;
  EXPECT_NE(printed.find("Deleted rows of snap.t: 221 written, 0 records left out"),
            std::string::npos)
      << printed;
  EXPECT_NE(testing::ReadFileOrEmpty(out / "Scriptdata/snap_deleted.sql")
                .find("CREATE SCHEMA `rep_snap_deleted`"),
            std::string::npos);
  const fs::path plain = testing::TempDir("cli-deleted-off");
  printed = Cli("save '" + data.string() + "' snap --script '" + plain.string() + "'", &rc);
  EXPECT_EQ(rc, 0) << printed;
  EXPECT_EQ(printed.find("Deleted rows"), std::string::npos) << printed;
  EXPECT_FALSE(fs::exists(plain / "Scriptdata/snap_deleted.sql"));
}

TEST(CliSaveTest, IbdataFromElsewhere) {
  const fs::path copy = testing::TempDir("cli-ibdata") / "data";
  fs::create_directories(copy);
  fs::copy(testing::SampleDataDir() / "inner", copy / "inner", fs::copy_options::recursive);
  const fs::path out = testing::TempDir("cli-ibdata-out");
  int rc;
  std::string printed = Cli("save '" + copy.string() + "' --script '" + out.string() + "'", &rc);
  EXPECT_EQ(rc, 1);  // no ibdata1: the rows cannot be reached
  printed = Cli("save '" + copy.string() + "' --script '" + out.string() + "' --ibdata '" +
                    (testing::SampleDataDir() / "ibdata1").string() + "'",
                &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(printed.find("inner.products\tInnoDB Compact\t285 of 285 rows\tcomplete\n"),
            std::string::npos)
      << printed;
}

}  // namespace
}  // namespace vostrel
