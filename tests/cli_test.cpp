// The command line as a DBA runs it: exit codes, output layout, read-only sources.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

std::string Cli(const std::string& args, int* rc, bool with_stderr = false) {
  const fs::path logs = testing::TempDir("cli-logs");
  std::string out;
  *rc = testing::RunCommand("'" + testing::CliPath() + "' " + args + " --log-dir '" + logs.string() +
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
  const std::string out = Cli("ddl '" + testing::SampleDataDir().string() + "' shop.customers legacy.parts", &rc);
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
  rc = testing::RunCommand("'" + testing::CliPath() + "' scan '" + testing::SampleDataDir().string() +
                               "' --log-dir '" + logs.string() + "' 2>/dev/null",
                           &out);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out.rfind("MYSQL database  [-1]\n", 0), 0u);
  EXPECT_NE(out.find("\n    my-db  [-1]\n"), std::string::npos);
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
  EXPECT_NE(out.find("Create TABLE  `parts`"), std::string::npos);
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
