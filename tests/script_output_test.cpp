// Pins every byte a script save writes for the sample data directory, so that
// speed work on the export path cannot change the output unnoticed.
//
// The manifest lists each file under Scriptdata with its size and SHA-256,
// after the save folder's own path is replaced by <SAVE> (<SAVE-SQL> where it
// is quoted inside a literal). To record it anew
// (only when an output change is intended): VOSTREL_UPDATE_GOLDEN=1 engine_tests
// --gtest_filter='ScriptOutputTest.*'
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "innodb/clustered_fields.h"
#include "model/engine_context.h"
#include "model/frm_reader.h"
#include "myisam/myi_header.h"
#include "scan/recovery_output.h"
#include "scan/scan.h"
#include "scan/selection.h"
#include "scan/table_readers.h"
#include "sql/row_batches.h"
#include "sql/row_export.h"
#include "sql/script_save.h"
#include "sql/script_sink.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

using testing::Sha256Hex;

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t p = text.find(from); p != std::string::npos; p = text.find(from, p + to.size())) {
    text.replace(p, from.size(), to);
  }
  return text;
}

// "relative/path<TAB>size<TAB>sha256" per file, sorted by path.
std::string Manifest(const fs::path& save_folder) {
  std::vector<std::string> lines;
  for (const auto& e : fs::recursive_directory_iterator(save_folder)) {
    if (!e.is_regular_file()) continue;
    // Inside SQL literals the path appears with its quote doubled.
    const std::string raw = save_folder.string();
    const std::string text = ReplaceAll(
        ReplaceAll(testing::ReadFileOrEmpty(e.path()), ReplaceAll(raw, "'", "''"), "<SAVE-SQL>"),
        raw, "<SAVE>");
    lines.push_back(fs::relative(e.path(), save_folder).generic_string() + "\t" +
                    std::to_string(text.size()) + "\t" + Sha256Hex(text));
  }
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

fs::path GoldenManifest() {
  return testing::SourceDir() / "tests/fixtures/golden-scripts/sample-datadir.sha256";
}

// The scripts of --reduced-definitions, pinned as they were before the full
// definitions came.
fs::path ReducedManifest() {
  return testing::SourceDir() / "tests/fixtures/golden-scripts/sample-datadir-reduced.sha256";
}

TEST(ScriptOutputTest, HashMatchesKnownVectors) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

// Saves the whole sample directory with the given thread count and batch
// size; returns the manifest, or "" after a failure.
std::string SaveSample(int workers, size_t batch_bytes, const std::string& name,
                       bool reduced = false) {
  ExportTuning& tuning = GetExportTuning();
  const ExportTuning saved = tuning;
  tuning.workers = workers;
  tuning.batch_bytes = batch_bytes;
  tuning.threads_from = 0;
  NullOutput out;
  const ScanResult scan = ScanDataDirectory(testing::SampleDataDir(), out);
  const auto items = SelectItems(scan, {}, nullptr);
  std::atomic<bool> stop{false};
  uint64_t blob_counter = 0;
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, &stop, &blob_counter};
  ctx.reduced_definitions = reduced;
  // A folder name with a quote proves the path is normalised wherever it is written.
  const fs::path chosen = testing::TempDir(name) / "it's here";
  const ScriptSaveResult r = RunScriptSave(scan, items, chosen, ctx);
  tuning = saved;
  EXPECT_FALSE(items.empty());
  EXPECT_TRUE(r.errors.empty());
  EXPECT_FALSE(r.stopped);
  EXPECT_EQ(r.tables.size(), 25u);
  return Manifest(r.save_folder);
}

TEST(ScriptOutputTest, WholeSampleSaveIsByteIdentical) {
  const std::string got = SaveSample(-1, ExportTuning{}.batch_bytes, "script-output");
  if (const char* update = std::getenv("VOSTREL_UPDATE_GOLDEN"); update && *update) {
    fs::create_directories(GoldenManifest().parent_path());
    std::ofstream(GoldenManifest(), std::ios::binary) << got;
    GTEST_SKIP() << "recorded " << GoldenManifest();
  }
  const std::string want = testing::ReadFileOrEmpty(GoldenManifest());
  ASSERT_FALSE(want.empty()) << GoldenManifest() << " is missing";
  EXPECT_EQ(got, want) << "the saved scripts differ";
}

TEST(ScriptOutputTest, ReducedDefinitionsAreAsBefore) {
  const std::string got = SaveSample(-1, ExportTuning{}.batch_bytes, "script-output-reduced", true);
  if (const char* update = std::getenv("VOSTREL_UPDATE_GOLDEN"); update && *update) {
    std::ofstream(ReducedManifest(), std::ios::binary) << got;
    GTEST_SKIP() << "recorded " << ReducedManifest();
  }
  const std::string want = testing::ReadFileOrEmpty(ReducedManifest());
  ASSERT_FALSE(want.empty()) << ReducedManifest() << " is missing";
  EXPECT_EQ(got, want);
}

// One thread or several, batches of one page or one row or many: the bytes
// stay the same, rows keep their order, large values keep their file numbers.
TEST(ScriptOutputTest, ThreadsAndBatchSizesDoNotChangeABit) {
  const std::string want = testing::ReadFileOrEmpty(GoldenManifest());
  ASSERT_FALSE(want.empty());
  EXPECT_EQ(SaveSample(0, ExportTuning{}.batch_bytes, "script-output-0"), want);
  EXPECT_EQ(SaveSample(0, 1, "script-output-0-small"), want);
  EXPECT_EQ(SaveSample(1, 1, "script-output-1-small"), want);
  EXPECT_EQ(SaveSample(3, 16384, "script-output-3-page"), want);
  EXPECT_EQ(SaveSample(2, 40000, "script-output-2-pages"), want);
}

// Stops the save once progress has been reported `after` times, and keeps
// every progress report.
struct StoppingOutput : NullOutput {
  std::atomic<bool>* stop = nullptr;
  int after = 0;
  std::vector<std::pair<uint64_t, uint64_t>> progress;
  std::string log;
  void WriteLogText(std::string_view text) override { log += text; }
  void SetProgress(uint64_t done, uint64_t total) override {
    progress.emplace_back(done, total);
    if (static_cast<int>(progress.size()) == after) stop->store(true);
  }
};

// Every INSERT line of a script, in order.
std::vector<std::string> InsertLines(const std::string& script) {
  std::vector<std::string> lines;
  size_t p = 0;
  while ((p = script.find("INSERT INTO", p)) != std::string::npos) {
    const size_t e = script.find("\r\n", p);
    lines.push_back(script.substr(p, e - p));
    p = e;
  }
  return lines;
}

struct TableRun {
  TableExportResult result;
  std::vector<std::string> rows;
  std::string script;
  std::vector<std::pair<uint64_t, uint64_t>> progress;
  std::string log;
};

// One table into a script file; `stop_after` progress reports (0: never)
// before the user stops it.
TableRun ExportFrom(const fs::path& folder, const std::string& table, int workers, int stop_after) {
  ExportTuning& tuning = GetExportTuning();
  const ExportTuning saved = tuning;
  tuning.workers = workers;
  tuning.batch_bytes = 1;
  tuning.threads_from = 0;
  TableRun run;
  TableDef def;
  EXPECT_TRUE(ReadTableDefinition(folder / (table + ".frm"), testing::Collations(),
                                  testing::DefaultCodePage(), def)
                  .ok);
  std::atomic<bool> stop{false};
  StoppingOutput out;
  out.stop = &stop;
  out.after = stop_after;
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, &stop};
  const fs::path path = testing::TempDir("stop-" + table) / "t.sql";
  ScriptSink sink;
  EXPECT_TRUE(sink.OpenScript(path, nullptr));
  OpenedReader opened = OpenTableReaderAt(folder.string(), table, def, nullptr, ctx, out);
  EXPECT_NE(opened.reader, nullptr) << opened.not_read;
  if (opened.reader != nullptr) {
    run.result = ExportTableRows(*opened.reader, def, table, sink, nullptr, ctx, "x");
  }
  EXPECT_TRUE(sink.CloseScript());
  tuning = saved;
  run.script = testing::ReadFileOrEmpty(path);
  run.rows = InsertLines(run.script);
  run.progress = std::move(out.progress);
  run.log = std::move(out.log);
  return run;
}

TableRun ExportOne(const std::string& db, const std::string& table, int workers, int stop_after) {
  return ExportFrom(testing::SampleDataDir() / db, table, workers, stop_after);
}

// A stop request ends the table early with a clean prefix of its rows, as
// counted, and progress only ever moves forward to its end.
TEST(ScriptOutputTest, StopEndsATableWithAPrefixOfItsRows) {
  for (const auto& [db, table] :
       {std::pair<std::string, std::string>{"shop", "ledger"}, {"legacy", "notes"}}) {
    for (int workers : {0, 2}) {
      const TableRun full = ExportOne(db, table, workers, 0);
      ASSERT_EQ(full.rows.size(), full.result.rows);
      ASSERT_GT(full.rows.size(), 200u);
      const TableRun part = ExportOne(db, table, workers, 20);
      EXPECT_TRUE(part.result.completed);
      EXPECT_GT(part.result.rows, 0u) << table;
      EXPECT_LT(part.result.rows, full.result.rows) << table << " workers " << workers;
      ASSERT_EQ(part.rows.size(), part.result.rows);
      for (size_t i = 0; i < part.rows.size(); ++i) ASSERT_EQ(part.rows[i], full.rows[i]) << i;
      for (const TableRun* r : {&full, &part}) {
        ASSERT_FALSE(r->progress.empty());
        for (size_t i = 1; i < r->progress.size(); ++i) {
          EXPECT_LE(r->progress[i - 1].first, r->progress[i].first);
        }
        EXPECT_EQ(r->progress.back().first, r->progress.back().second);
      }
      if (db == "legacy") {
        EXPECT_NE(part.script.find(");\r\nCOMMIT;\r\n\r\n"), std::string::npos);
      }
    }
  }
}

// Dynamic records are rebuilt on the formatting threads when there are some:
// a damaged file must lose the same rows and report the same damage either way.
TEST(ScriptOutputTest, DamagedDynamicRowsGiveTheSameScriptWithAndWithoutThreads) {
  const fs::path src = testing::SampleDataDir() / "legacy";
  const std::string myd = testing::ReadFileOrEmpty(src / "notes.MYD");
  ASSERT_GT(myd.size(), 4096u);
  const fs::path dir = testing::TempDir("threads-damage");
  for (const char* ext : {".frm", ".MYI"}) {
    fs::copy_file(src / (std::string("notes") + ext), dir / (std::string("notes") + ext),
                  fs::copy_options::overwrite_existing);
  }
  std::mt19937 rng(7);
  int damaged_runs = 0;
  for (int round = 0; round < 24; ++round) {
    std::string bytes = myd;
    for (int flips = 0; flips < 1 + round % 4; ++flips) {
      const size_t at = rng() % bytes.size();
      bytes[at] = static_cast<char>(bytes[at] ^ (1u << (rng() % 8)));
    }
    std::ofstream(dir / "notes.MYD", std::ios::binary | std::ios::trunc) << bytes;
    const TableRun one = ExportFrom(dir, "notes", 0, 0);
    const TableRun two = ExportFrom(dir, "notes", 2, 0);
    EXPECT_EQ(one.script, two.script) << "round " << round;
    EXPECT_EQ(one.result.rows, two.result.rows);
    EXPECT_EQ(one.result.damaged, two.result.damaged);
    EXPECT_EQ(one.log, two.log);
    if (one.result.damaged) ++damaged_runs;
  }
  EXPECT_GT(damaged_runs, 0);
}

}  // namespace
}  // namespace vostrel
