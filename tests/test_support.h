// Shared helpers for the tests: fixture locations and a loaded collation table.
#pragma once

#include <filesystem>
#include <string>

#include <string_view>
#include <vector>

#include "model/collation_table.h"
#include "model/text_codec.h"
#include "scan/recovery_output.h"
#include "sql/row_sink.h"

namespace vostrel::testing {

std::filesystem::path SourceDir();
// The committed sample data directory, unpacked once into the build tree.
std::filesystem::path SampleDataDir();
// tests/fixtures/NAME.tar.xz (top folder NAME/), unpacked once into the build tree.
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

// A data directory whose legacy.counters (fixed rows) holds `rows` generated
// rows: name "row<n>", val n, flag 'x'. Built from the sample's own files.
std::filesystem::path MakeCountersTable(const std::string& name, size_t rows);

}  // namespace vostrel::testing
