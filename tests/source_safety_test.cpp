// The source data directory is read and never written: every file's bytes,
// size and modification time are the same after a scan, the records view of
// every table, a script save and a save into a live server.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "scan/scan.h"
#include "scan/selection.h"
#include "scan/table_preview.h"
#include "sql/script_save.h"
#include "sql/server_connection.h"
#include "sql/server_save.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

struct FileState {
  std::string sha256;
  uintmax_t size = 0;
  int64_t mtime_ns = 0;
  bool operator==(const FileState&) const = default;
};

std::map<std::string, FileState> Snapshot(const fs::path& root) {
  std::map<std::string, FileState> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    struct stat st {};
    EXPECT_EQ(::stat(e.path().c_str(), &st), 0);
    files[fs::relative(e.path(), root).generic_string()] =
        FileState{testing::Sha256Hex(testing::ReadFileOrEmpty(e.path())), e.file_size(),
                  static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
  }
  return files;
}

void ExpectUnchanged(const std::map<std::string, FileState>& before, const fs::path& root,
                     const char* after_what) {
  const auto after = Snapshot(root);
  ASSERT_EQ(after.size(), before.size()) << "files appeared or vanished after " << after_what;
  for (const auto& [path, state] : before) {
    const auto it = after.find(path);
    ASSERT_NE(it, after.end()) << path << " vanished after " << after_what;
    EXPECT_EQ(it->second.sha256, state.sha256) << path << " changed after " << after_what;
    EXPECT_EQ(it->second.size, state.size) << path << " after " << after_what;
    EXPECT_EQ(it->second.mtime_ns, state.mtime_ns) << path << " touched after " << after_what;
  }
}

TEST(SourceSafetyTest, ScanPreviewAndBothSavesLeaveTheSourceUnchanged) {
  const fs::path source = testing::TempDir("source-safety") / "data";
  fs::copy(testing::SampleDataDir(), source, fs::copy_options::recursive);
  const auto before = Snapshot(source);
  ASSERT_GT(before.size(), 40u);

  testing::RecordingOutput out;
  const ScanResult scan = ScanDataDirectory(source, out);
  ASSERT_GE(scan.m_tableEntries.size(), 20u);
  ExpectUnchanged(before, source, "the scan");

  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
  size_t rows_shown = 0;
  for (size_t i = 0; i < scan.m_tableEntries.size(); ++i) {
    TablePreview preview(ctx);
    std::string error;
    if (!preview.Open(scan, i, &error)) continue;
    PreviewPager pager(preview);
    for (const PreviewScreen* s = &pager.First(); s != nullptr; s = pager.Next()) {
      rows_shown += s->rows.size();
    }
  }
  EXPECT_GT(rows_shown, 5000u);
  ExpectUnchanged(before, source, "the records view");

  const auto everything = SelectItems(scan, {}, nullptr);
  const ScriptSaveResult script =
      RunScriptSave(scan, everything, testing::TempDir("source-safety-out"), ctx);
  EXPECT_GE(script.tables.size(), 20u);
  ExpectUnchanged(before, source, "the script save");

  const char* port = std::getenv("VOSTREL_TEST_MYSQL_PORT");
  if (port == nullptr || *port == '\0') {
    GTEST_SKIP() << "server save not checked: no test server (run through scripts/run-tests.sh)";
  }
  ServerParams params;
  params.host = "127.0.0.1";
  params.port = port;
  ServerConnection admin;
  ASSERT_TRUE(admin.Open(params, "")) << admin.error();
  for (const char* db : {"rep_inner", "rep_legacy", "rep_my-db", "rep_shop", "rep_types"}) {
    ASSERT_TRUE(admin.Execute(std::string("DROP SCHEMA IF EXISTS `") + db + "`"));
  }
  const ServerSaveResult server = RunServerSave(scan, everything, params, ctx);
  EXPECT_GE(server.tables.size(), 20u);
  ExpectUnchanged(before, source, "the server save");
}

}  // namespace
}  // namespace vostrel
