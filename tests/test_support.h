// Shared helpers for the tests: fixture locations and a loaded collation table.
#pragma once

#include <filesystem>
#include <string>

#include "model/collation_table.h"
#include "model/text_codec.h"

namespace vostrel::testing {

std::filesystem::path SourceDir();
// The committed sample data directory, unpacked once into the build tree.
std::filesystem::path SampleDataDir();
std::filesystem::path SampleExpectedDir();
// ../shared/external-fixtures or $VOSTREL_EXTERNAL_FIXTURES; empty when absent.
std::filesystem::path ExternalFixturesDir();
const CollationTable& Collations();
const CodePage& DefaultCodePage();
// A fresh empty folder under the build tree.
std::filesystem::path TempDir(const std::string& name);
std::string ReadFileOrEmpty(const std::filesystem::path& path);
// Runs a shell command, returns its exit status and stdout.
int RunCommand(const std::string& command, std::string* output);
std::string CliPath();

}  // namespace vostrel::testing
