// vostrel-recover: recovers MySQL tables from a data directory without a server.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/scan_pages.h"
#include "cli/tree_print.h"
#include "model/collation_table.h"
#include "model/engine_context.h"
#include "model/sql_definitions.h"
#include "model/text_codec.h"
#include "scan/scan.h"
#include "scan/selection.h"
#include "scan/session_log.h"
#include "scan/table_preview.h"
#include "sql/ddl_script.h"
#include "sql/script_save.h"
#include "sql/server_save.h"
#include "sql/table_export.h"
#include "sql/views_triggers.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

namespace {

using namespace vostrel;
namespace fs = std::filesystem;

constexpr int kExitOk = 0;
constexpr int kExitUnreadable = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage:\n"
    "  vostrel-recover scan DATADIR [options]\n"
    "  vostrel-recover ddl DATADIR [DB[.TABLE]...] [options]\n"
    "  vostrel-recover save DATADIR --script OUTDIR [DB[.TABLE]...] [options]\n"
    "  vostrel-recover save DATADIR --server HOST [--port 3306] [--user root]\n"
    "                  [--password-file FILE | --password-prompt] [--socket PATH] [DB[.TABLE]...]\n"
    "  vostrel-recover test-connection --server HOST [--port ...] [--user ...] [password options]\n"
    "  vostrel-recover show DATADIR DB.TABLE [--page N] [--keys] [options]\n"
    "  vostrel-recover show DATADIR DB.VIEW [options]\n"
    "  vostrel-recover show DATADIR DB.TABLE --trigger [options]   (the table's triggers)\n"
    "  vostrel-recover scan-pages IMAGE [--index-id N [--space-id N]\n"
    "                  [--definitions FILE [DB.TABLE] | --frm FILE] --script OUTDIR] [options]\n"
    "                  (InnoDB pages anywhere in a file or device)\n"
    "options:\n"
    "  --log-dir DIR      folder for the session log (default: home folder)\n"
    "  --codepage NAME    single-byte code page for 8-bit texts (default windows-1252)\n"
    "  --ibdata PATH      system tablespace to use when DATADIR/ibdata1 cannot be opened\n"
    "  --definitions FILE CREATE TABLE statements (a dump, SHOW CREATE TABLE, a schema file)\n"
    "                     for tables whose .frm is missing or damaged, and orphan .ibd files\n"
    "  --prefer-definitions  use those statements also for tables whose .frm reads\n"
    "  --index-id N       scan-pages: the index whose pages to list, or whose rows to recover\n"
    "  --frm FILE         scan-pages: the table definition as a .frm file\n"
    "  --space-id N       scan-pages: only the pages of this tablespace id\n"
    "  --all-leaves       scan-pages: also the leaves the tablespace marks free\n"
    "  --quiet            no status lines on stderr\n"
    "  --deleted-rows     save also rows deleted but still in the files (InnoDB), each table's\n"
    "                     into <db>_deleted.sql (schema rep_<db>_deleted), apart from live rows\n"
    "  --reduced-definitions  tables as columns, types and primary/unique keys only, views and\n"
    "                     triggers without their definers and modes (the form of earlier "
    "versions)\n"
    "  --extended-insert  scripts join a table's rows into multi-row INSERTs of up to about\n"
    "                     1 MB (the default is one INSERT per row)\n"
    "  --format sql|csv   sql (the default): rows as INSERT statements; csv: each table's rows\n"
    "                     in a tab-separated file that the script loads with LOAD DATA\n"
    "  --jobs N           save --server: tables saved at once, each over a connection of its\n"
    "                     own (default: the number of cores)\n";

struct Args {
  std::string command;
  std::string data_dir;
  std::vector<std::string> names;
  std::string log_dir;
  std::string codepage = kDefaultCodePage;
  std::string script_dir;
  std::string ibdata;
  std::string definitions;
  bool prefer_definitions = false;
  ServerParams server;
  std::string password_file;
  bool password_prompt = false;
  bool reduced_definitions = false;
  bool extended_insert = false;
  std::string format = "sql";
  unsigned jobs = 0;  // 0: one per core
  bool deleted_rows = false;
  long page = 1;
  bool keys = false;
  bool trigger = false;
  bool quiet = false;
  uint64_t index_id = 0;
  uint32_t space_id = 0xFFFFFFFF;
  bool all_leaves = false;
  std::string frm;
};

// Ctrl-C and SIGTERM: during a save the first one asks it to stop at the next
// row (the scripts still end cleanly, the report says what was not saved);
// anywhere else, or a second time, the process ends as it would by default.
std::atomic<bool> g_stop{false};
std::atomic<bool> g_graceful{false};
extern "C" void OnInterrupt(int sig) {
  if (g_graceful.load() && !g_stop.exchange(true)) return;
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

// A number option's value: digits only (no sign, no spaces), from `min` to `max`.
std::optional<uint64_t> WholeNumber(const std::string& text, uint64_t min, uint64_t max) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  uint64_t n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (n > (UINT64_MAX - digit) / 10) return std::nullopt;
    n = n * 10 + digit;
  }
  if (n < min || n > max) return std::nullopt;
  return n;
}

// A port the server could listen on: 1 to 65535.
bool ValidPort(const std::string& port) {
  return WholeNumber(port, 1, 65535).has_value();
}

// stdout must have taken everything printed: a full disk or a closed pipe is
// a failed run, not a quiet one.
bool StdoutWritten() {
  std::cout.flush();
  const bool ok = std::cout.good() && std::fflush(stdout) == 0 && !std::ferror(stdout);
  if (!ok) {
    std::cerr << "vostrel-recover: cannot write standard output: " << std::strerror(errno) << "\n";
  }
  return ok;
}

int UsageError(const std::string& msg) {
  std::cerr << "vostrel-recover: " << msg << "\n" << kUsage;
  return kExitUsage;
}

std::optional<Args> Parse(int argc, char** argv, std::string& error) {
  Args a;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* opt) -> std::optional<std::string> {
      if (i + 1 >= argc) {
        error = std::string(opt) + " needs a value";
        return std::nullopt;
      }
      return std::string(argv[++i]);
    };
    if (arg == "--log-dir") {
      auto v = value("--log-dir");
      if (!v) return std::nullopt;
      a.log_dir = *v;
    } else if (arg == "--codepage") {
      auto v = value("--codepage");
      if (!v) return std::nullopt;
      a.codepage = *v;
    } else if (arg == "--ibdata") {
      auto v = value("--ibdata");
      if (!v) return std::nullopt;
      a.ibdata = *v;
    } else if (arg == "--definitions") {
      auto v = value("--definitions");
      if (!v) return std::nullopt;
      a.definitions = *v;
    } else if (arg == "--prefer-definitions") {
      a.prefer_definitions = true;
    } else if (arg == "--server" || arg == "--port" || arg == "--user" || arg == "--socket" ||
               arg == "--password-file") {
      auto v = value(arg.c_str());
      if (!v) return std::nullopt;
      if (arg == "--server") a.server.host = *v;
      if (arg == "--port") {
        if (!ValidPort(*v)) {
          error = "--port needs a port number from 1 to 65535, not " + *v;
          return std::nullopt;
        }
        a.server.port = *v;
      }
      if (arg == "--user") a.server.user = *v;
      if (arg == "--socket") a.server.socket = *v;
      if (arg == "--password-file") a.password_file = *v;
    } else if (arg == "--password-prompt") {
      a.password_prompt = true;
    } else if (arg == "--script") {
      auto v = value("--script");
      if (!v) return std::nullopt;
      a.script_dir = *v;
    } else if (arg == "--page") {
      auto v = value("--page");
      if (!v) return std::nullopt;
      const auto n = WholeNumber(*v, 1, LONG_MAX);
      if (!n) {
        error = "--page needs a whole number from 1";
        return std::nullopt;
      }
      a.page = static_cast<long>(*n);
    } else if (arg == "--index-id") {
      auto v = value("--index-id");
      if (!v) return std::nullopt;
      const auto n = WholeNumber(*v, 1, UINT64_MAX);
      if (!n) {
        error = "--index-id needs a whole number from 1";
        return std::nullopt;
      }
      a.index_id = *n;
    } else if (arg == "--space-id") {
      auto v = value("--space-id");
      if (!v) return std::nullopt;
      const auto id = WholeNumber(*v, 0, 0xFFFFFFFEull);
      if (!id) {
        error = "--space-id needs a tablespace id (a whole number)";
        return std::nullopt;
      }
      a.space_id = static_cast<uint32_t>(*id);
    } else if (arg == "--all-leaves") {
      a.all_leaves = true;
    } else if (arg == "--frm") {
      auto v = value("--frm");
      if (!v) return std::nullopt;
      a.frm = *v;
    } else if (arg == "--keys") {
      a.keys = true;
    } else if (arg == "--trigger") {
      a.trigger = true;
    } else if (arg == "--quiet") {
      a.quiet = true;
    } else if (arg == "--reduced-definitions") {
      a.reduced_definitions = true;
    } else if (arg == "--extended-insert") {
      a.extended_insert = true;
    } else if (arg == "--jobs") {
      auto v = value("--jobs");
      if (!v) return std::nullopt;
      const auto n = WholeNumber(*v, 1, 64);
      if (!n) {
        error = "--jobs needs a whole number from 1 to 64, not " + *v;
        return std::nullopt;
      }
      a.jobs = static_cast<unsigned>(*n);
    } else if (arg == "--format") {
      auto v = value("--format");
      if (!v) return std::nullopt;
      if (*v != "sql" && *v != "csv") {
        error = "--format is sql or csv, not " + *v;
        return std::nullopt;
      }
      a.format = *v;
    } else if (arg == "--deleted-rows") {
      a.deleted_rows = true;
    } else if (arg == "-h" || arg == "--help") {
      error = "help";
      return std::nullopt;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg;
      return std::nullopt;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.empty()) {
    error = "no command given";
    return std::nullopt;
  }
  a.command = positional[0];
  if (a.command == "test-connection") {
    if (positional.size() > 1) {
      error = "test-connection takes no data directory";
      return std::nullopt;
    }
    return a;
  }
  if (positional.size() < 2) {
    error = a.command == "scan-pages" ? "no image given" : "no data directory given";
    return std::nullopt;
  }
  a.data_dir = positional[1];
  a.names.assign(positional.begin() + 2, positional.end());
  return a;
}

bool ReadPasswordFile(const std::string& path, std::string& password) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::getline(in, password);
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return true;
}

// Reads a line from the terminal with echo off.
std::string PromptPassword() {
  std::string password;
  FILE* tty = std::fopen("/dev/tty", "r+");
  if (tty == nullptr) return password;
  std::fputs("Password: ", tty);
  std::fflush(tty);
  termios old{};
  const bool have = tcgetattr(fileno(tty), &old) == 0;
  if (have) {
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(fileno(tty), TCSAFLUSH, &quiet);
  }
  int c;
  while ((c = std::fgetc(tty)) != EOF && c != '\n') password.push_back(static_cast<char>(c));
  if (have) tcsetattr(fileno(tty), TCSAFLUSH, &old);
  std::fputs("\n", tty);
  std::fclose(tty);
  return password;
}

std::vector<std::string> DatabaseNames(const ScanResult& scan) {
  std::vector<std::string> names;
  for (const std::string& f : scan.m_databaseFolders) names.push_back(DatabaseDisplayName(f));
  return names;
}

std::string DefaultLogDir() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : ".";
}

// Tabs and line breaks inside values would break the grid's lines.
void PrintCell(const std::string& v, std::ostream& os) {
  for (char c : v) {
    if (c == '\t') {
      os << "\\t";
    } else if (c == '\n') {
      os << "\\n";
    } else if (c == '\r') {
      os << "\\r";
    } else {
      os << c;
    }
  }
}

bool Show(const ScanResult& scan, const std::vector<SelectedItem>& items, const Args& a,
          EngineContext& ctx) {
  const SelectedItem* table_item = nullptr;
  for (const SelectedItem& i : items) {
    if (KindOf(i) == ItemKind::kTable) table_item = &i;
  }
  if (table_item == nullptr) {
    std::cerr << "vostrel-recover: " << a.names[0] << " is not a table\n";
    return false;
  }
  TablePreview preview(ctx);
  std::string error;
  const bool opened =
      preview.Open(scan, static_cast<size_t>(ListIndexOf(*table_item, scan)), &error);
  if (!error.empty()) std::cerr << "vostrel-recover: " << error << "\n";
  if (!opened) return false;
  const TableDef& t = preview.table();
  if (a.keys) {
    for (size_t i = 0; i < kKeyGridTitles.size(); ++i)
      std::cout << (i ? "\t" : "") << kKeyGridTitles[i];
    std::cout << "\n";
    for (const auto& row : KeyGridRows(t, ctx.collations)) {
      for (size_t i = 0; i < row.size(); ++i) {
        if (i) std::cout << "\t";
        PrintCell(row[i], std::cout);
      }
      std::cout << "\n";
    }
    return true;
  }
  PreviewPager pager(preview);
  const PreviewScreen* screen = &pager.First();
  for (long p = 1; p < a.page; ++p) {
    screen = pager.Next();
    if (screen == nullptr) {
      std::cerr << "No more records in table\n";
      return true;
    }
  }
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (i) std::cout << "\t";
    PrintCell(t.columns[i].name, std::cout);
  }
  std::cout << "\n";
  for (const Row& row : screen->rows) {
    for (size_t i = 0; i < row.size(); ++i) {
      if (i) std::cout << "\t";
      PrintCell(row[i].text, std::cout);
    }
    std::cout << "\n";
  }
  std::cerr << "rows " << pager.first_row() << " to " << pager.last_row() << "\n";
  if (!preview.damage().empty())
    std::cerr << "vostrel-recover: damaged: " << preview.damage() << "\n";
  return error.empty();
}

}  // namespace

int Run(const Args& a, SessionLog& log, const CollationTable& collations, const CodePage& code_page,
        std::shared_ptr<const SqlDefinitionSet> definitions) {
  const bool to_server = !a.server.host.empty() || !a.server.socket.empty();
  CliOutput out(log, a.quiet);
  ScanOptions scan_options;
  scan_options.manual_ibdata = a.ibdata;
  scan_options.definitions = std::move(definitions);
  scan_options.prefer_definitions = a.prefer_definitions;
  const ScanResult scan = ScanDataDirectory(a.data_dir, out, scan_options);
  int rc = scan.problems.empty() ? kExitOk : kExitUnreadable;

  if (a.command == "scan") {
    const std::vector<TableAccount> accounts = ProbeTables(scan, collations, code_page);
    PrintScanTree(scan, accounts, std::cout);
    size_t unreadable = 0;
    for (const TableAccount& t : accounts) unreadable += !t.complete();
    std::cout << accounts.size() << " tables: " << accounts.size() - unreadable << " can be read, "
              << unreadable << " cannot be read whole\n";
    if (unreadable > 0) rc = kExitUnreadable;
    if (scan.m_tableEntries.empty() && scan.m_viewFiles.empty() && scan.m_triggerEntries.empty()) {
      std::cerr << "vostrel-recover: no table, view or trigger found in " << scan.m_scanPath
                << "\n";
      rc = kExitUnreadable;
    }
    return rc;
  }

  std::vector<std::string> unmatched;
  auto items = SelectItems(scan, a.names, &unmatched);
  for (const std::string& u : unmatched) {
    std::cerr << "vostrel-recover: no database or table named " << u << "\n";
  }
  if (!unmatched.empty()) return kExitUsage;
  std::cout.sync_with_stdio(false);
  EngineContext ctx{collations, code_page, out, &g_stop};
  ctx.reduced_definitions = a.reduced_definitions;
  ctx.extended_insert = a.extended_insert;
  ctx.load_data_files = a.format == "csv";
  ctx.jobs = a.jobs != 0 ? a.jobs : std::max(1u, std::thread::hardware_concurrency());
  ctx.save_deleted_rows = a.deleted_rows;

  if (a.command == "show") {
    // A trigger file is named after its table: the table wins unless --trigger asks otherwise.
    std::vector<SelectedItem> picked;
    for (const SelectedItem& it : items) {
      if ((KindOf(it) == ItemKind::kTrigger) == a.trigger) picked.push_back(it);
    }
    if (picked.size() != 1) {
      return UsageError(a.names[0] + " does not name one " +
                        (a.trigger ? "trigger" : "table or view"));
    }
    items = picked;
    const int64_t i = ListIndexOf(items[0], scan);
    if (KindOf(items[0]) == ItemKind::kView) {
      const std::string text =
          ViewStatement(scan.m_viewFiles[static_cast<size_t>(i)], DatabaseNames(scan), code_page);
      std::cout << text << "\n";
      return text.empty() ? kExitUnreadable : rc;
    }
    if (KindOf(items[0]) == ItemKind::kTrigger) {
      const TriggerEntry& t = scan.m_triggerEntries[static_cast<size_t>(i)];
      const auto statements =
          TriggerStatements(fs::path(t.folderPath) / t.fileName, DatabaseNames(scan), code_page);
      std::cout << TriggerScript(statements);
      return statements.empty() ? kExitUnreadable : rc;
    }
    return Show(scan, items, a, ctx) ? rc : kExitUnreadable;
  }

  if (a.command == "save" && to_server) {
    g_graceful.store(true);
    const ServerSaveResult r = RunServerSave(scan, items, a.server, ctx);
    g_graceful.store(false);
    std::cout << r.report().Text();
    if (a.deleted_rows) {
      for (const std::string& line : DeletedRowLines(r.deleted_tables)) std::cout << line << "\n";
      for (const std::string& e : r.deleted_errors) std::cout << "deleted rows: " << e << "\n";
    }
    std::cout << "views created: " << r.views_created
              << ", triggers created: " << r.triggers_created << "\n";
    if (r.stopped) std::cerr << "vostrel-recover: stopped by the user\n";
    return r.success() ? rc : kExitUnreadable;
  }

  if (a.command == "save") {
    std::error_code ec;
    std::error_code mk;
    fs::create_directories(a.script_dir, mk);
    if (!fs::is_directory(a.script_dir, ec)) {
      std::cerr << "vostrel-recover: cannot create output folder " << a.script_dir << "\n";
      return kExitUnreadable;
    }
    g_graceful.store(true);
    const ScriptSaveResult r = RunScriptSave(scan, items, a.script_dir, ctx);
    g_graceful.store(false);
    std::cout << r.report().Text();
    if (a.deleted_rows) {
      for (const std::string& line : DeletedRowLines(r.deleted_tables)) std::cout << line << "\n";
      for (const std::string& e : r.deleted_errors) std::cout << "deleted rows: " << e << "\n";
    }
    std::cout << "scripts written to " << r.save_folder.string() << "\n";
    if (!r.report_path.empty()) std::cout << "report written to " << r.report_path.string() << "\n";
    if (r.stopped) std::cerr << "vostrel-recover: stopped by the user\n";
    return r.success() ? rc : kExitUnreadable;
  }

  const DdlSummary s =
      WriteDdlScript(scan, items, collations, code_page, out, std::cout, a.reduced_definitions);
  if (s.tables_failed > 0) rc = kExitUnreadable;
  return rc;
}

// scan-pages reads a file or device, not a data directory.
int ScanPages(const Args& a) {
  const bool defined = !a.definitions.empty() || !a.frm.empty();
  if (!a.definitions.empty() && !a.frm.empty())
    return UsageError("give either --definitions or --frm");
  if (a.names.size() > (a.definitions.empty() ? 0u : 1u)) {
    return UsageError("scan-pages takes one image (and with --definitions one DB.TABLE)");
  }
  if (defined && a.index_id == 0) return UsageError("a table definition needs --index-id N");
  if (defined && a.script_dir.empty()) return UsageError("recovering rows needs --script OUTDIR");
  if (!defined && !a.script_dir.empty()) {
    return UsageError("--script needs --index-id N and --definitions FILE or --frm FILE");
  }
  CodePage code_page(a.codepage);
  if (!code_page.valid()) return UsageError("unknown single-byte code page " + a.codepage);
  std::error_code ec;
  const std::string log_dir = a.log_dir.empty() ? DefaultLogDir() : a.log_dir;
  if (!fs::is_directory(log_dir, ec)) {
    std::cerr << "vostrel-recover: log folder " << log_dir << " does not exist\n";
    return kExitUsage;
  }
  const CollationTable collations = CollationTable::Load(DefaultCollationCandidates(), code_page);
  ScanPagesRequest req;
  req.image = a.data_dir;
  req.index_id = a.index_id;
  req.space_id = a.space_id;
  req.all_leaves = a.all_leaves;
  req.frm = a.frm;
  req.script_dir = a.script_dir;
  if (!a.names.empty()) req.table = a.names[0];
  if (!a.definitions.empty()) {
    SqlDefinitionLoad load = LoadSqlDefinitions(a.definitions, &collations);
    for (const std::string& e : load.errors) std::cerr << "vostrel-recover: " << e << "\n";
    if (!load.ok) {
      std::cerr << "vostrel-recover: the definitions file cannot be used; fix or remove the "
                   "statements named above\n";
      return kExitUsage;
    }
    req.definitions = std::make_shared<const SqlDefinitionSet>(std::move(load.set));
  }
  SessionLog log;
  std::string error;
  if (!log.Open(log_dir, NormalizeDataPath(a.data_dir), std::time(nullptr), &error)) {
    std::cerr << "vostrel-recover: " << error << "\n";
    return kExitUnreadable;
  }
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  CliOutput out(log, a.quiet);
  EngineContext ctx{collations, code_page, out, &g_stop};
  ctx.reduced_definitions = a.reduced_definitions;
  int rc = kExitUnreadable;
  g_graceful.store(true);
  try {
    rc = RunScanPages(req, ctx, std::cout);
  } catch (const std::bad_alloc&) {
    std::fputs("vostrel-recover: out of memory; the run is not complete\n", stderr);
    return kExitUnreadable;
  }
  g_graceful.store(false);
  if (g_stop.load()) std::cerr << "vostrel-recover: stopped by the user\n";
  const bool printed = StdoutWritten();
  if (log.failed()) {
    std::cerr << "vostrel-recover: " << log.failure() << "\n";
    return rc == kExitOk ? kExitUnreadable : rc;
  }
  return printed || rc != kExitOk ? rc : kExitUnreadable;
}

int main(int argc, char** argv) {
  std::string error;
  auto parsed = Parse(argc, argv, error);
  if (!parsed) {
    if (error == "help") {
      std::cout << kUsage;
      return kExitOk;
    }
    return UsageError(error);
  }
  Args& a = *parsed;
  if (a.command != "scan" && a.command != "ddl" && a.command != "save" && a.command != "show" &&
      a.command != "test-connection" && a.command != "scan-pages") {
    return UsageError("unknown command " + a.command);
  }
  const bool to_server = !a.server.host.empty() || !a.server.socket.empty();
  if (!a.password_file.empty() && a.password_prompt) {
    return UsageError("give either --password-file or --password-prompt");
  }
  if (!a.password_file.empty() && !ReadPasswordFile(a.password_file, a.server.password)) {
    std::cerr << "vostrel-recover: cannot read password file " << a.password_file << "\n";
    return kExitUsage;
  }
  if (a.password_prompt) a.server.password = PromptPassword();
  if (a.command == "test-connection") {
    if (!to_server) return UsageError("test-connection needs --server HOST");
    std::string why;
    if (TestConnection(a.server, &why)) {
      std::cout << "Connection is successful\n";
      return kExitOk;
    }
    std::cout << "Connection is Failed\n";
    std::cerr << "vostrel-recover: " << why << "\n";
    return kExitUnreadable;
  }
  if (a.command == "scan-pages") return ScanPages(a);
  if (a.command == "scan" && !a.names.empty()) return UsageError("scan takes no table names");
  if (a.command == "save" && a.script_dir.empty() == !to_server) {
    return UsageError("save needs either --script OUTDIR or --server HOST");
  }
  if (a.command == "show" && a.names.size() != 1) return UsageError("show needs one DB.TABLE");
  if (a.extended_insert && (a.command != "save" || a.script_dir.empty())) {
    return UsageError("--extended-insert is for save --script");
  }
  if (a.format == "csv" && (a.command != "save" || a.script_dir.empty())) {
    return UsageError("--format csv is for save --script");
  }
  if (a.format == "csv" && a.extended_insert) {
    return UsageError("--extended-insert is for --format sql");
  }
  if (a.extended_insert && a.reduced_definitions) {
    return UsageError("--extended-insert writes the full form; leave out --reduced-definitions");
  }

  CodePage code_page(a.codepage);
  if (!code_page.valid()) return UsageError("unknown single-byte code page " + a.codepage);

  std::error_code ec;
  if (!fs::is_directory(a.data_dir, ec)) {
    std::cerr << "vostrel-recover: " << a.data_dir << " is not a readable folder\n";
    return kExitUnreadable;
  }
  const std::string log_dir = a.log_dir.empty() ? DefaultLogDir() : a.log_dir;
  if (!fs::is_directory(log_dir, ec)) {
    std::cerr << "vostrel-recover: log folder " << log_dir << " does not exist\n";
    return kExitUsage;
  }

  const CollationTable collations = CollationTable::Load(DefaultCollationCandidates(), code_page);
  if (collations.empty()) {
    std::cerr << "vostrel-recover: warning: collation table \"" << kCollationFileName
              << "\" not found; character lengths are given in bytes\n";
  }

  std::shared_ptr<const SqlDefinitionSet> definitions;
  if (a.prefer_definitions && a.definitions.empty()) {
    return UsageError("--prefer-definitions needs --definitions FILE");
  }
  if (!a.definitions.empty()) {
    SqlDefinitionLoad load = LoadSqlDefinitions(a.definitions, &collations);
    for (const std::string& e : load.errors) std::cerr << "vostrel-recover: " << e << "\n";
    if (!load.ok) {
      std::cerr << "vostrel-recover: the definitions file cannot be used; fix or remove the "
                   "statements named above\n";
      return kExitUsage;
    }
    definitions = std::make_shared<const SqlDefinitionSet>(std::move(load.set));
  }

  SessionLog log;
  const std::string data_path = NormalizeDataPath(a.data_dir);
  if (!log.Open(log_dir, data_path, std::time(nullptr), &error)) {
    std::cerr << "vostrel-recover: " << error << "\n";
    return kExitUnreadable;
  }
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  int rc = 1;
  try {
    rc = Run(a, log, collations, code_page, std::move(definitions));
  } catch (const std::bad_alloc&) {
    // Tables are guarded one by one; this is memory the run itself could not get.
    std::fputs("vostrel-recover: out of memory; the run is not complete\n", stderr);
    return 1;
  }
  const bool printed = StdoutWritten();
  if (log.failed()) {
    std::cerr << "vostrel-recover: " << log.failure() << "\n";
    return rc == kExitOk ? kExitUnreadable : rc;
  }
  return printed || rc != kExitOk ? rc : kExitUnreadable;
}
