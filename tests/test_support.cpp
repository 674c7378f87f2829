#include "test_support.h"

#include "model/engine_context.h"
#include "scan/table_readers.h"

#include "innodb/page_check.h"
#include "model/frm_reader.h"

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vostrel::testing {

namespace fs = std::filesystem;

fs::path SourceDir() {
  return VOSTREL_SOURCE_DIR;
}

std::string CliPath() {
  return VOSTREL_CLI;
}

// Unpacked once per build tree; concurrent test processes race to rename a
// finished copy into place, and the loser's copy is dropped.
fs::path UnpackedFixture(const std::string& name) {
  const fs::path dir = fs::path(VOSTREL_BINARY_DIR) / "fixtures";
  const fs::path target = dir / name;
  if (fs::exists(target / ".unpacked")) return target;
  fs::create_directories(dir);
  std::string tmpl = (dir / "unpack.XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) return target;
  const fs::path tmp = tmpl;
  const fs::path archive = SourceDir() / "tests/fixtures" / (name + ".tar.xz");
  const std::string cmd = "tar -xJf '" + archive.string() + "' -C '" + tmp.string() + "'";
  if (std::system(cmd.c_str()) == 0) {
    std::ofstream(tmp / name / ".unpacked") << "ok\n";
    std::error_code ec;
    fs::rename(tmp / name, target, ec);
  } else {
    std::fprintf(stderr, "cannot unpack %s\n", archive.c_str());
  }
  std::error_code ec;
  fs::remove_all(tmp, ec);
  return target;
}

fs::path SampleDataDir() {
  return UnpackedFixture("sample-datadir");
}

fs::path SampleExpectedDir() {
  return SourceDir() / "tests/fixtures/expected";
}

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

TableExport ExportTable(const fs::path& folder, const std::string& table, const fs::path& blob_dir,
                        SystemDictionary* dictionary, const TableDef* def) {
  TableExport e;
  TableDef read;
  if (def == nullptr) {
    ReadTableDefinition(folder / (table + ".frm"), Collations(), DefaultCodePage(), read);
    def = &read;
  }
  struct Log : NullOutput {
    std::string text;
    void WriteLogText(std::string_view t) override { text += t; }
    void AddOutputLine(std::string_view t) override {
      text += t;
      text += "\n";
    }
  } out;
  EngineContext ctx{Collations(), DefaultCodePage(), out, nullptr};
  OpenedReader opened = OpenTableReaderAt(folder.string(), table, *def, dictionary, ctx, out);
  e.not_read = opened.not_read;
  e.open_damage = opened.damage;
  if (opened.reader != nullptr) {
    e.opened = true;
    CollectingSink sink;
    uint64_t counter = 0;
    BlobFiles blobs(blob_dir, counter);
    e.result = ExportTableRows(*opened.reader, *def, table, sink,
                               blob_dir.empty() ? nullptr : &blobs, ctx, "test");
    e.rows = std::move(sink.rows);
  }
  e.log = std::move(out.text);
  return e;
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

void RestampPage(uint8_t* page) {
  const uint32_t crc = PageCrc32(page);
  for (int i = 0; i < 4; ++i) {
    page[i] = page[kPageSize - 8 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
  }
}

std::string Sha256Hex(std::string_view data) {
  static constexpr uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
      0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
      0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
      0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
      0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
      0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
      0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
      0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
      0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
      0xc67178f2};
  uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  auto rotr = [](uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
  std::string msg(data);
  const uint64_t bits = static_cast<uint64_t>(data.size()) * 8;
  msg.push_back(static_cast<char>(0x80));
  while (msg.size() % 64 != 56) msg.push_back('\0');
  for (int i = 7; i >= 0; --i) msg.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
  for (size_t block = 0; block < msg.size(); block += 64) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
      const auto* p = reinterpret_cast<const unsigned char*>(msg.data() + block + 4 * i);
      w[i] = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    }
    for (int i = 16; i < 64; ++i) {
      const uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
    for (int i = 0; i < 64; ++i) {
      const uint32_t t1 =
          hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      hh = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += hh;
  }
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (uint32_t v : h) {
    for (int i = 28; i >= 0; i -= 4) out.push_back(kHex[(v >> i) & 15]);
  }
  return out;
}

}  // namespace vostrel::testing
