// Times the recovery of large generated tables to SQL scripts and prints the
// figures beside mariadb-dump's on the same tables from the same run (each
// the median of five runs).
//
//   vostrel-bench [--rows N] [--work DIR] [--keep]
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "model/collation_table.h"
#include "model/engine_context.h"
#include "scan/scan.h"
#include "scan/selection.h"
#include "sql/row_batches.h"
#include "sql/script_save.h"

namespace fs = std::filesystem;
using namespace vostrel;

namespace {

struct DumpTime {
  double seconds = 0;
  uint64_t bytes = 0;
};

std::map<std::string, DumpTime> ReadDumpTimes(const fs::path& file) {
  std::map<std::string, DumpTime> m;
  std::ifstream in(file);
  std::string table;
  DumpTime t;
  while (in >> table >> t.seconds >> t.bytes) m[table] = t;
  return m;
}

uint64_t FileSize(const fs::path& p) {
  std::error_code ec;
  const auto s = fs::file_size(p, ec);
  return ec ? 0 : s;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t rows = 1000000;
  fs::path work = "/tmp/vostrel-bench";
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--rows" && i + 1 < argc) {
      rows = std::strtoull(argv[++i], nullptr, 10);
    } else if (a == "--work" && i + 1 < argc) {
      work = argv[++i];
    } else if (a == "--keep") {
      keep = true;
    } else {
      std::fprintf(stderr, "usage: vostrel-bench [--rows N] [--work DIR] [--keep]\n");
      return 2;
    }
  }
  const fs::path scripts = fs::path(VOSTREL_SOURCE_DIR) / "scripts";
  if (!keep || !fs::exists(work / "dump-times.tsv")) {
    std::printf("generating %llu rows per table with a private MariaDB...\n",
                static_cast<unsigned long long>(rows));
    std::fflush(stdout);
    const std::string cmd = "'" + (scripts / "make-bench-data.sh").string() + "' '" +
                            work.string() + "' " + std::to_string(rows) + " >'" +
                            (work.string() + ".log") + "' 2>&1";
    fs::create_directories(work);
    if (std::system(cmd.c_str()) != 0) {
      std::fprintf(stderr, "generating the data failed; see %s.log\n", work.c_str());
      return 1;
    }
  }
  const auto dumps = ReadDumpTimes(work / "dump-times.tsv");
  const CodePage code_page;
  const CollationTable collations = CollationTable::Load(DefaultCollationCandidates(), code_page);
  NullOutput out;
  const ScanResult scan = ScanDataDirectory(work / "datadir", out);

  std::printf("\n%-12s %-18s %10s %12s %10s %10s\n", "table", "tool", "seconds", "rows/s", "MB/s",
              "source MB");
  for (const char* table : {"myisam_rows", "innodb_rows"}) {
    const std::string db_table = std::string("bench.") + table;
    const auto items = SelectItems(scan, {db_table}, nullptr);
    if (items.empty()) continue;
    const fs::path folder = work / "datadir/bench";
    const uint64_t source = FileSize(folder / (std::string(table) + ".MYD")) +
                            FileSize(folder / (std::string(table) + ".ibd"));
    std::atomic<bool> stop{false};
    EngineContext ctx{collations, code_page, out, &stop};
    const fs::path outdir = work / "out";
    // The median of five runs, as for mariadb-dump.
    std::vector<double> times;
    ScriptSaveResult r;
    for (int run = 0; run < 5; ++run) {
      fs::remove_all(outdir);
      const auto t0 = std::chrono::steady_clock::now();
      r = RunScriptSave(scan, items, outdir, ctx);
      times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(times.begin(), times.end());
    const double secs = times[times.size() / 2];
    const uint64_t got = r.tables.empty() ? 0 : r.tables[0].rows;
    if (got == 0) {
      std::printf("%-12s %-18s %10s\n", table, "vostrel-recover", "no rows read");
      continue;
    }
    std::printf("%-12s %-18s %10.3f %12.0f %10.1f %10.1f%s\n", table, "vostrel-recover", secs,
                got / secs, source / 1e6 / secs, source / 1e6,
                got == rows ? "" : "  (rows read differ!)");
    if (auto it = dumps.find(table); it != dumps.end()) {
      const DumpTime& d = it->second;
      std::printf("%-12s %-18s %10.3f %12.0f %10s %10s\n", table, "mariadb-dump", d.seconds,
                  rows / d.seconds, "-", "-");
      std::printf("%-12s %-18s %9.2fx\n", table, "speed ratio", d.seconds / secs);
    }
  }
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  std::printf("\npeak memory (maxrss) of this process: %.1f MB\n", ru.ru_maxrss / 1024.0);
  std::printf("formatting threads besides the walk: %u (VOSTREL_EXPORT_WORKERS to change)\n",
              ExportWorkerCount());
  return 0;
}
