// How a script's rows are grouped for a fast load: transactions of a fixed
// number of rows, and multi-row INSERTs that hold the same rows in the same
// order as the one-per-row form, within the statement size any client takes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/engine_context.h"
#include "model/frm_reader.h"
#include "scan/table_readers.h"
#include "sql/insert_builder.h"
#include "sql/row_batches.h"
#include "sql/row_export.h"
#include "sql/row_sender.h"
#include "sql/script_sink.h"
#include "test_support.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

struct Saved {
  std::string script;
  uint64_t rows = 0;
  std::string header;
};

// shop.ledger (5840 rows) into a script, `commit_rows` rows per transaction,
// with batches of `batch_bytes` source bytes.
Saved SaveLedger(bool extended, uint64_t commit_rows, size_t batch_bytes, int workers) {
  ExportTuning& tuning = GetExportTuning();
  const ExportTuning kept = tuning;
  tuning.commit_rows = commit_rows;
  tuning.batch_bytes = batch_bytes;
  tuning.workers = workers;
  tuning.threads_from = 0;
  const fs::path shop = testing::SampleDataDir() / "shop";
  TableDef def;
  EXPECT_TRUE(ReadTableDefinition(shop / "ledger.frm", testing::Collations(),
                                  testing::DefaultCodePage(), def)
                  .ok);
  NullOutput out;
  EngineContext ctx{testing::Collations(), testing::DefaultCodePage(), out, nullptr};
  ctx.extended_insert = extended;
  const fs::path path = testing::TempDir(std::string("ledger-") + (extended ? "x" : "1")) / "t.sql";
  ScriptSink sink;
  EXPECT_TRUE(sink.OpenScript(path, nullptr));
  Saved saved;
  saved.header = InsertHeader("ledger", def);
  OpenedReader opened = OpenTableReaderAt(shop.string(), "ledger", def, nullptr, ctx, out);
  EXPECT_NE(opened.reader, nullptr) << opened.not_read;
  if (opened.reader != nullptr) {
    saved.rows = ExportTableRows(*opened.reader, def, "ledger", sink, nullptr, ctx, "x").rows;
  }
  EXPECT_TRUE(sink.CloseScript());
  tuning = kept;
  saved.script = testing::ReadFileOrEmpty(path);
  return saved;
}

// The script's lines, without their CR LF.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t p = 0; p < text.size();) {
    size_t e = text.find("\r\n", p);
    if (e == std::string::npos) e = text.size();
    lines.push_back(text.substr(p, e - p));
    p = e + 2;
  }
  return lines;
}

TEST(ScriptLoadingTest, RowsCommitInTransactionsOfTheirSizeAndAtTheTableEnd) {
  const Saved s = SaveLedger(false, 1000, 1, 2);
  ASSERT_EQ(s.rows, 5840u);
  size_t in_transaction = 0, inserts = 0, commits = 0;
  for (const std::string& line : Lines(s.script)) {
    if (line.rfind("INSERT INTO ", 0) == 0) {
      ++inserts;
      ++in_transaction;
      EXPECT_LE(in_transaction, 1000u);
    } else if (line == "COMMIT;") {
      ++commits;
      // Every transaction full but the last.
      if (inserts < 5840) {
        EXPECT_EQ(in_transaction, 1000u);
      }
      in_transaction = 0;
    }
  }
  EXPECT_EQ(inserts, 5840u);
  EXPECT_EQ(commits, 6u);
  EXPECT_EQ(in_transaction, 0u) << "rows after the last COMMIT";
  // Batch edges and threads leave the text as it is.
  EXPECT_EQ(SaveLedger(false, 1000, 256 << 10, 0).script, s.script);
}

TEST(ScriptLoadingTest, MultiRowInsertsHoldTheSameRowsInOrder) {
  const Saved single = SaveLedger(false, 1000, 1, 2);
  const Saved multi = SaveLedger(true, 1000, 1, 2);
  ASSERT_EQ(multi.rows, 5840u);
  const std::string prefix = single.header.substr(0, single.header.size() - 1);  // without "("
  // Each row's "(...)" in the one-per-row form, joined by commas per statement.
  std::string want, got;
  for (const std::string& line : Lines(single.script)) {
    if (line.rfind(prefix, 0) != 0) continue;
    want += (want.empty() ? "" : ",") + line.substr(prefix.size(), line.size() - prefix.size() - 1);
  }
  size_t statements = 0, commits = 0;
  for (const std::string& line : Lines(multi.script)) {
    if (line == "COMMIT;") ++commits;
    if (line.rfind(prefix, 0) != 0) continue;
    ++statements;
    EXPECT_LE(line.size() + 2, kStatementBytes);
    EXPECT_EQ(line.back(), ';');
    got += (got.empty() ? "" : ",") + line.substr(prefix.size(), line.size() - prefix.size() - 1);
  }
  EXPECT_EQ(got, want);
  EXPECT_EQ(commits, 6u);
  // A transaction of 1000 rows is one statement here: rows are short.
  EXPECT_EQ(statements, 6u);
  // Small statements: each COMMIT still closes the one before it.
  EXPECT_EQ(SaveLedger(true, 1000, 256 << 10, 0).script, multi.script);
}

}  // namespace
}  // namespace vostrel
