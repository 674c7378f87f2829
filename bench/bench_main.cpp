// Times the recovery of large generated tables to SQL scripts beside
// mariadb-dump on the same tables from a live server. The two take turns,
// round after round, so that both meet the same machine; each figure is the
// median of the rounds.
//
//   vostrel-bench [--rows N] [--rounds N] [--work DIR] [--keep] [--cli LABEL=PATH]...
//                 [--restore PATH]
//
// --cli also times a command-line build (`PATH save DATADIR --script ...`) in
// the same rounds, say an earlier version of this tool. --restore then times
// the way to a restored server with that command-line build, for the plain
// InnoDB and MyISAM tables (scripts/bench-restore.sh: the script loaded with
// mariadb in each form, save --server, and mariadb-dump | mariadb).
//
// WORK/dump-times.tsv receives mariadb-dump's medians (table, seconds, bytes).
//
//   vostrel-bench --scan-pages [--image-mb N] [--rounds N] [--work DIR]
//
// times the scan of an image (the sample's .ibd files and ibdata1 between
// random bytes at 512-byte shifts) for InnoDB pages, without a server.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "innodb/image_pages.h"
#include "model/collation_table.h"
#include "model/engine_context.h"
#include "scan/scan.h"
#include "scan/selection.h"
#include "sql/row_batches.h"
#include "sql/script_save.h"

namespace fs = std::filesystem;
using namespace vostrel;

namespace {

const char* const kTables[] = {"myisam_rows", "innodb_rows", "innodb_redundant",
                               "innodb_compressed"};

uint64_t FileSize(const fs::path& p) {
  std::error_code ec;
  const auto s = fs::file_size(p, ec);
  return ec ? 0 : s;
}

std::string Quoted(const fs::path& p) {
  return "'" + p.string() + "'";
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// User plus system time of this process so far, all threads.
double CpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec +
         (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// One mariadb-dump of a table, as a DBA would run it; -1 when it fails.
double TimeDump(const fs::path& work, const std::string& table) {
  const std::string cmd =
      "mariadb-dump --no-defaults -uroot --socket=" + Quoted(work / "run/mariadbd.sock") +
      " --single-transaction bench " + table + " >" + Quoted(work / "dump.sql");
  const auto t0 = std::chrono::steady_clock::now();
  if (std::system(cmd.c_str()) != 0) return -1;
  return Seconds(t0);
}

struct Figures {
  std::vector<double> tool, tool_cpu, dump;
  std::map<std::string, std::vector<double>> clis;
  uint64_t rows_read = 0;
};

struct OtherCli {
  std::string label;
  fs::path path;
};

// One `save --script` of a table by another build of the command line; -1 when it fails.
double TimeCli(const OtherCli& cli, const fs::path& work, const std::string& table) {
  const fs::path outdir = work / "out-cli";
  fs::remove_all(outdir);
  const std::string cmd = Quoted(cli.path) + " save " + Quoted(work / "datadir") + " --script " +
                          Quoted(outdir) + " bench." + table + " --quiet --log-dir " +
                          Quoted(work) + " >/dev/null 2>&1";
  const auto t0 = std::chrono::steady_clock::now();
  if (std::system(cmd.c_str()) != 0) return -1;
  return Seconds(t0);
}

}  // namespace

// An image of about `mb` MB: the files in turn (all of them, or the .ibd
// files only), each after 512 to 32768 random bytes.
uint64_t MakeImage(const std::vector<fs::path>& files, uint64_t mb, const fs::path& image) {
  std::mt19937_64 rng(42);
  std::vector<char> junk(1 << 20);
  for (char& c : junk) c = static_cast<char>(rng());
  std::vector<std::string> data;
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    data.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::ofstream out(image, std::ios::binary | std::ios::trunc);
  uint64_t total = 0;
  for (size_t i = 0; total < mb << 20 && !data.empty(); ++i) {
    const size_t j = 512 * (1 + rng() % 64);
    out.write(junk.data() + rng() % (junk.size() - j), static_cast<std::streamsize>(j));
    const std::string& d = data[i % data.size()];
    out.write(d.data(), static_cast<std::streamsize>(d.size()));
    total += j + d.size();
  }
  return total;
}

int BenchScanPages(const fs::path& work, int rounds, uint64_t mb) {
  fs::create_directories(work);
  const fs::path sample = work / "sample-datadir";
  if (!fs::exists(sample)) {
    const std::string cmd =
        "tar -xJf " +
        Quoted(fs::path(VOSTREL_SOURCE_DIR) / "tests/fixtures/sample-datadir.tar.xz") + " -C " +
        Quoted(work);
    if (std::system(cmd.c_str()) != 0) {
      std::fprintf(stderr, "cannot unpack the sample data directory\n");
      return 1;
    }
  }
  std::vector<fs::path> all, ibd;
  for (const auto& e : fs::recursive_directory_iterator(sample)) {
    if (e.path().extension() == ".ibd") ibd.push_back(e.path());
  }
  std::sort(ibd.begin(), ibd.end());
  all = ibd;
  all.push_back(sample / "ibdata1");
  std::printf("%-28s %10s %10s %10s %12s\n", "image", "MB", "seconds", "MB/s", "index pages");
  for (const auto& [label, files] :
       {std::pair{"tablespaces and ibdata1", &all}, std::pair{"tablespaces only", &ibd}}) {
    const fs::path image = work / "scan-pages.img";
    const uint64_t bytes = MakeImage(*files, mb, image);
    ImageFile file;
    std::string error;
    if (!file.Open(image, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    std::vector<double> times;
    uint64_t found = 0;
    for (int r = 0; r < rounds; ++r) {
      const auto t0 = std::chrono::steady_clock::now();
      const ImageScanResult s = ScanImagePages(file, {});
      times.push_back(Seconds(t0));
      found = s.index_pages.size() + s.older_copies;
    }
    const double secs = Median(times);
    std::printf("%-28s %10.0f %10.3f %10.0f %12llu\n", label, bytes / 1e6, secs, bytes / 1e6 / secs,
                static_cast<unsigned long long>(found));
    fs::remove(image);
  }
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  std::printf("\nmedians of %d rounds, image in the page cache; peak memory %.1f MB\n", rounds,
              ru.ru_maxrss / 1024.0);
  return 0;
}

int main(int argc, char** argv) {
  uint64_t rows = 1000000;
  int rounds = 5;
  fs::path work = "/tmp/vostrel-bench";
  bool keep = false;
  bool scan_pages = false;
  uint64_t image_mb = 1024;
  std::vector<OtherCli> clis;
  std::string restore_cli;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--rows" && i + 1 < argc) {
      rows = std::strtoull(argv[++i], nullptr, 10);
    } else if (a == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--work" && i + 1 < argc) {
      work = argv[++i];
    } else if (a == "--keep") {
      keep = true;
    } else if (a == "--scan-pages") {
      scan_pages = true;
    } else if (a == "--image-mb" && i + 1 < argc) {
      image_mb = std::max<uint64_t>(16, std::strtoull(argv[++i], nullptr, 10));
    } else if (a == "--restore" && i + 1 < argc) {
      restore_cli = argv[++i];
    } else if (a == "--cli" && i + 1 < argc &&
               std::string(argv[i + 1]).find('=') != std::string::npos) {
      const std::string v = argv[++i];
      clis.push_back({v.substr(0, v.find('=')), v.substr(v.find('=') + 1)});
    } else {
      std::fprintf(stderr,
                   "usage: vostrel-bench [--rows N] [--rounds N] [--work DIR] [--keep] "
                   "[--cli LABEL=PATH]... [--restore PATH]\n"
                   "       vostrel-bench --scan-pages [--image-mb N] [--rounds N] [--work DIR]\n");
      return 2;
    }
  }
  if (scan_pages) return BenchScanPages(work, rounds, image_mb);
  const fs::path scripts = fs::path(VOSTREL_SOURCE_DIR) / "scripts";
  if (!keep || !fs::exists(work / "datadir") || !fs::exists(work / "server")) {
    std::printf("generating %llu rows per table with a private MariaDB...\n",
                static_cast<unsigned long long>(rows));
    std::fflush(stdout);
    fs::create_directories(work);
    const std::string cmd = Quoted(scripts / "make-bench-data.sh") + " " + Quoted(work) + " " +
                            std::to_string(rows) + " >" + Quoted(work.string() + ".log") + " 2>&1";
    if (std::system(cmd.c_str()) != 0) {
      std::fprintf(stderr, "generating the data failed; see %s.log\n", work.c_str());
      return 1;
    }
  }
  const std::string server = Quoted(scripts / "bench-server.sh");
  if (std::system((server + " start " + Quoted(work) + " >/dev/null").c_str()) != 0) {
    std::fprintf(stderr, "the benchmark server did not start\n");
    return 1;
  }

  const CodePage code_page;
  const CollationTable collations = CollationTable::Load(DefaultCollationCandidates(), code_page);
  NullOutput out;
  const ScanResult scan = ScanDataDirectory(work / "datadir", out);
  std::atomic<bool> stop{false};
  EngineContext ctx{collations, code_page, out, &stop};
  const fs::path outdir = work / "out";
  std::map<std::string, Figures> figures;
  std::map<std::string, uint64_t> dump_bytes;
  for (int round = 0; round < rounds; ++round) {
    std::printf("round %d of %d\n", round + 1, rounds);
    std::fflush(stdout);
    for (const char* table : kTables) {
      const double d = TimeDump(work, table);
      if (d >= 0) figures[table].dump.push_back(d);
      dump_bytes[table] = FileSize(work / "dump.sql");
    }
    for (const char* table : kTables) {
      const auto items = SelectItems(scan, {std::string("bench.") + table}, nullptr);
      if (items.empty()) continue;
      fs::remove_all(outdir);
      const double cpu0 = CpuSeconds();
      const auto t0 = std::chrono::steady_clock::now();
      const ScriptSaveResult r = RunScriptSave(scan, items, outdir, ctx);
      figures[table].tool.push_back(Seconds(t0));
      figures[table].tool_cpu.push_back(CpuSeconds() - cpu0);
      figures[table].rows_read = r.tables.empty() ? 0 : r.tables[0].rows;
      for (const OtherCli& cli : clis) {
        const double c = TimeCli(cli, work, table);
        if (c >= 0) figures[table].clis[cli.label].push_back(c);
      }
    }
  }
  std::system((server + " stop " + Quoted(work)).c_str());

  std::ofstream times(work / "dump-times.tsv");
  std::printf("\n%-17s %-26s %10s %12s %10s %10s\n", "table", "tool", "seconds", "rows/s", "MB/s",
              "source MB");
  for (const char* table : kTables) {
    const Figures& f = figures[table];
    const fs::path folder = work / "datadir/bench";
    const uint64_t source = FileSize(folder / (std::string(table) + ".MYD")) +
                            FileSize(folder / (std::string(table) + ".ibd"));
    if (f.tool.empty() || f.rows_read == 0) {
      std::printf("%-17s %-26s %10s\n", table, "vostrel-recover", "no rows read");
      continue;
    }
    const double secs = Median(f.tool);
    std::printf("%-17s %-26s %10.3f %12.0f %10.1f %10.1f%s\n", table, "vostrel-recover", secs,
                f.rows_read / secs, source / 1e6 / secs, source / 1e6,
                f.rows_read == rows ? "" : "  (rows read differ!)");
    std::printf("%-17s %-26s %10.3f\n", table, "  cpu (user+sys)", Median(f.tool_cpu));
    for (const auto& [label, runs] : f.clis) {
      const double c = Median(runs);
      std::printf("%-17s %-26s %10.3f %12.0f %10.1f %10s\n", table, label.c_str(), c, rows / c,
                  source / 1e6 / c, "");
    }
    if (f.dump.empty()) {
      std::printf("%-17s %-26s %10s\n", table, "mariadb-dump", "failed");
      continue;
    }
    const double dump = Median(f.dump);
    times << table << '\t' << dump << '\t' << dump_bytes[table] << '\n';
    std::printf("%-17s %-26s %10.3f %12.0f %10s %10s\n", table, "mariadb-dump", dump, rows / dump,
                "-", "-");
    std::printf("%-17s %-26s %9.2fx\n", table, "speed ratio", dump / secs);
  }
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  std::printf("\nmedians of %d rounds, mariadb-dump and this tool taking turns\n", rounds);
  std::printf("peak memory (maxrss) of this process: %.1f MB\n", ru.ru_maxrss / 1024.0);
  std::printf("formatting threads besides the walk: %u (VOSTREL_EXPORT_WORKERS to change)\n",
              ExportWorkerCount());
  if (!restore_cli.empty()) {
    // The loads take far longer than the reads: at most three rounds.
    std::printf("\ntime to a restored server (seconds)\n");
    std::fflush(stdout);
    for (const char* table : {"innodb_rows", "myisam_rows"}) {
      const std::string cmd = Quoted(scripts / "bench-restore.sh") + " " + Quoted(restore_cli) +
                              " " + Quoted(work) + " " + table + " " +
                              std::to_string(std::min(rounds, 3));
      if (std::system(cmd.c_str()) != 0) std::printf("%s: the restore timing failed\n", table);
      std::fflush(stdout);
    }
  }
  return 0;
}
