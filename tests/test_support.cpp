#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

namespace vostrel::testing {

namespace fs = std::filesystem;

fs::path SourceDir() { return VOSTREL_SOURCE_DIR; }

std::string CliPath() { return VOSTREL_CLI; }

fs::path SampleDataDir() {
  static std::once_flag once;
  static fs::path dir = fs::path(VOSTREL_BINARY_DIR) / "fixtures";
  std::call_once(once, [] {
    const fs::path archive = SourceDir() / "tests/fixtures/sample-datadir.tar.xz";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string cmd = "tar -xJf '" + archive.string() + "' -C '" + dir.string() + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot unpack %s\n", cmd.c_str());
  });
  return dir / "sample-datadir";
}

fs::path SampleExpectedDir() { return SourceDir() / "tests/fixtures/expected"; }

fs::path ExternalFixturesDir() {
  if (const char* env = std::getenv("VOSTREL_EXTERNAL_FIXTURES"); env && *env) {
    return fs::is_directory(env) ? fs::path(env) : fs::path();
  }
  const fs::path p = SourceDir().parent_path() / "shared/external-fixtures";
  return fs::is_directory(p) ? p : fs::path();
}

const CodePage& DefaultCodePage() {
  static const CodePage cp;
  return cp;
}

const CollationTable& Collations() {
  static const CollationTable table =
      CollationTable::Load({SourceDir() / "data" / kCollationFileName}, DefaultCodePage());
  return table;
}

fs::path TempDir(const std::string& name) {
  const fs::path p = fs::path(VOSTREL_BINARY_DIR) / "test-tmp" / name;
  fs::remove_all(p);
  fs::create_directories(p);
  return p;
}

std::string ReadFileOrEmpty(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

int RunCommand(const std::string& command, std::string* output) {
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return -1;
  std::string out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int status = pclose(p);
  if (output) *output = std::move(out);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace vostrel::testing
