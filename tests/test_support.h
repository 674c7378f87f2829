// Shared helpers for the tests: fixture locations and a loaded collation table.
#pragma once

#include <filesystem>
#include <string>

#include <string_view>
#include <vector>

#include "model/collation_table.h"
#include "model/table_def.h"
#include "model/text_codec.h"
#include "scan/recovery_output.h"
#include "sql/row_export.h"
#include "sql/row_sink.h"

namespace vostrel {
class SystemDictionary;
}

namespace vostrel::testing {

std::filesystem::path SourceDir();
// The committed sample data directory, unpacked once into the build tree.
std::filesystem::path SampleDataDir();
// tests/fixtures/NAME.tar.xz (top folder NAME/), unpacked the same way.
std::filesystem::path UnpackedFixture(const std::string& name);
std::filesystem::path SampleExpectedDir();
// ../shared/external-fixtures or $VOSTREL_EXTERNAL_FIXTURES; empty when absent.
std::filesystem::path ExternalFixturesDir();
const CollationTable& Collations();
const CodePage& DefaultCodePage();
// A fresh empty folder under the build tree.
std::filesystem::path TempDir(const std::string& name);
std::string ReadFileOrEmpty(const std::filesystem::path& path);
// SHA-256 of a byte string, as hex.
std::string Sha256Hex(std::string_view data);
// Runs a shell command, returns its exit status and stdout.
int RunCommand(const std::string& command, std::string* output);
std::string CliPath();

// Keeps everything the engine reports.
struct RecordingOutput : RecoveryOutput {
  std::string log;
  std::vector<std::string> lines;
  std::vector<std::string> messages;
  void WriteLogText(std::string_view t) override { log += t; }
  void AddOutputLine(std::string_view t) override { lines.emplace_back(t); }
  void SetCaptionText(std::string_view) override {}
  void SetProgress(uint64_t, uint64_t) override {}
  void ShowProgress(bool) override {}
  void ShowMessage(std::string_view t) override { messages.emplace_back(t); }
};

// Keeps the statements of an export, as a script would get them.
struct CollectingSink : RowSink {
  std::vector<std::string> rows;
  bool script_form() const override { return true; }
  bool ExecuteRow(std::string_view s) override {
    rows.emplace_back(s);
    return true;
  }
  void WriteText(std::string_view) override {}
};

// Gives a page of the sample (crc32 checksums) whose bytes a test changed a
// valid checksum again, as a server that wrote those bytes would: what the
// test then damages is only what the bytes say.
void RestampPage(uint8_t* page);

// A table's rows through the export loop, as a save reads them: the reader
// picked by the files in `folder` for `table` (its .frm, unless `def` is
// given), every statement collected, large values into `blob_dir` when given.
struct TableExport {
  bool opened = false;
  std::string not_read;  // why no reader could be opened
  std::string open_damage;
  TableExportResult result;
  std::vector<std::string> rows;
  std::string log;
};
TableExport ExportTable(const std::filesystem::path& folder, const std::string& table,
                        const std::filesystem::path& blob_dir = {},
                        SystemDictionary* dictionary = nullptr, const TableDef* def = nullptr);

// A data directory whose legacy.counters (fixed rows) holds `rows` generated
// rows: name "row<n>", val n, flag 'x'. Built from the sample's own files.
std::filesystem::path MakeCountersTable(const std::string& name, size_t rows);

}  // namespace vostrel::testing
