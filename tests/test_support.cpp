#include "test_support.h"

#include "model/frm_reader.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>
#include <sstream>

namespace vostrel::testing {

namespace fs = std::filesystem;

fs::path SourceDir() { return VOSTREL_SOURCE_DIR; }

std::string CliPath() { return VOSTREL_CLI; }

// Unpacked once per build tree; concurrent test processes race to rename a
// finished copy into place, and the loser's copy is dropped.
fs::path SampleDataDir() {
  const fs::path dir = fs::path(VOSTREL_BINARY_DIR) / "fixtures";
  const fs::path target = dir / "sample-datadir";
  if (fs::exists(target / ".unpacked")) return target;
  fs::create_directories(dir);
  std::string tmpl = (dir / "unpack.XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) return target;
  const fs::path tmp = tmpl;
  const fs::path archive = SourceDir() / "tests/fixtures/sample-datadir.tar.xz";
  const std::string cmd = "tar -xJf '" + archive.string() + "' -C '" + tmp.string() + "'";
  if (std::system(cmd.c_str()) == 0) {
    std::ofstream(tmp / "sample-datadir/.unpacked") << "ok\n";
    std::error_code ec;
    fs::rename(tmp / "sample-datadir", target, ec);
  } else {
    std::fprintf(stderr, "cannot unpack %s\n", archive.c_str());
  }
  std::error_code ec;
  fs::remove_all(tmp, ec);
  return target;
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
  const fs::path p =
      fs::path(VOSTREL_BINARY_DIR) / "test-tmp" / (std::to_string(getpid()) + "-" + name);
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

fs::path MakeCountersTable(const std::string& name, size_t rows) {
  const fs::path root = TempDir(name);
  const fs::path db = root / "legacy";
  fs::create_directories(db);
  const fs::path src = SampleDataDir() / "legacy";
  fs::copy_file(src / "counters.frm", db / "counters.frm");
  fs::copy_file(src / "counters.MYI", db / "counters.MYI");
  TableDef t;
  ReadTableDefinition(db / "counters.frm", Collations(), DefaultCodePage(), t);
  std::ofstream f(db / "counters.MYD", std::ios::binary);
  std::string rec(static_cast<size_t>(t.record_length), '\0');
  for (size_t i = 0; i < rows; ++i) {
    std::fill(rec.begin(), rec.end(), '\0');
    rec[0] = 1;  // live, flag not NULL
    char text[32];
    std::snprintf(text, sizeof text, "row%-13zu", i);
    rec.replace(t.columns[0].record_pos - 1, 16, text, 16);
    for (int b = 0; b < 8; ++b) {
      rec[t.columns[1].record_pos - 1 + b] = static_cast<char>((i >> (8 * b)) & 0xFF);
    }
    rec[t.columns[2].record_pos - 1] = 'x';
    f << rec;
  }
  return root;
}

}  // namespace vostrel::testing
