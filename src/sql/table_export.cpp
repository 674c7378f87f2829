#include "sql/table_export.h"

#include <new>
#include <unordered_set>

#include "model/file_util.h"
#include "model/frm_reader.h"
#include "partition/partition_list.h"
#include "scan/table_definitions.h"
#include "scan/table_readers.h"
#include "sql/deleted_rows.h"
#include "sql/row_export.h"
#include "sql/sql_literals.h"

namespace vostrel {

namespace fs = std::filesystem;

std::string TableExporter::Folder(const TableEntry& entry) const {
  return scan_.m_databaseFolders[static_cast<size_t>(entry.databaseIndex)];
}

void TableExporter::Report(const std::string& msg) {
  ctx_.out.ReportProblem(msg);
  errors_.push_back(msg);
}

TableAccount TableExporter::StartAccount(const TableEntry& entry) const {
  TableAccount a;
  a.database = DatabaseDisplayName(Folder(entry));
  a.table = entry.displayName;
  return a;
}

bool TableExporter::ReadDefinition(const TableEntry& entry, TableAccount& account) {
  const ResolvedDefinition d =
      ResolveTableDefinition(scan_, entry, ctx_.collations, ctx_.code_page, table_);
  for (const std::string& w : d.warnings) ctx_.out.WriteLogText(w + "\r\n");
  origin_ = d.origin;
  definition_comment_.clear();
  if (d.ok && !d.note.empty())
    definition_comment_ = SqlCommentLine(entry.displayName + ": " + d.note);
  if (!d.ok) {
    account.NotRead(d.error);
    Report("Table " + account.database + "." + account.table + " is not read: " + d.error);
    return false;
  }
  const std::string who = account.database + "." + account.table;
  if (d.origin == DefinitionOrigin::kSqlFile) {
    ctx_.out.WriteLogText("Table " + who + ": " + d.note + "\r\n");
    account.Mark(TableState::kComplete, d.note);
  } else if (d.origin == DefinitionOrigin::kDictionary) {
    // Rows can come out whole, but the table is not what its .frm said: never complete.
    ctx_.out.WriteLogText("Table " + who + ": " + d.note + "\r\n");
    account.Damaged(d.note);
  }
  account.engine = EngineName(table_.engine_type);
  if (table_.engine_type == kEnginePartition) {
    const uint8_t parts = ReadPartitionList(Folder(entry), entry.tableName).part_engine;
    account.engine = (parts != 0 ? EngineName(parts) + " " : std::string()) + "partitioned";
  }
  if (!ctx_.reduced_definitions) CompleteDefinition(entry, account);
  return true;
}

void TableExporter::CompleteDefinition(const TableEntry& entry, const TableAccount& account) {
  const std::string who = account.database + "." + account.table;
  std::vector<std::string> problems;
  // A statement of the definitions file brings its own foreign keys.
  if (origin_ != DefinitionOrigin::kSqlFile)
    AttachDictionaryForeignKeys(scan_, entry, table_, &problems);
  for (const std::string& p : problems) Report("Table " + who + ": " + p);
  TakeStoredAutoIncrement(scan_, entry, ctx_, table_);
  const std::string& engine = table_.options.engine_name;
  static constexpr const char* kCommon[] = {"InnoDB", "MyISAM",     "Aria",    "MEMORY",
                                            "CSV",    "MRG_MyISAM", "SEQUENCE"};
  bool common = false;
  for (const char* e : kCommon) common = common || engine == e;
  if (!common && !engine.empty()) {
    ctx_.out.WriteLogText("Table " + who + " uses the " + engine +
                          " engine: its CREATE TABLE keeps ENGINE=" + engine +
                          "; a server without that engine makes the table with its default "
                          "engine instead (with a warning)\r\n");
  }
}

void TableExporter::ExportRows(const TableEntry& entry, const std::string& table_name,
                               RowSink& sink, BlobFiles* blobs, const LoopNames& names,
                               TableAccount& account, RowText form) {
  Rows(entry, table_name, &sink, blobs, names, account, form);
}

void TableExporter::Probe(const TableEntry& entry, TableAccount& account) {
  Rows(entry, std::string(), nullptr, nullptr, kScriptLoops, account);
}

void TableExporter::Rows(const TableEntry& entry, const std::string& table_name, RowSink* sink,
                         BlobFiles* blobs, const LoopNames& names, TableAccount& account,
                         RowText form) {
  const std::string who = account.database + "." + account.table;
  NullOutput quiet;
  OpenedReader opened = OpenTableReader(scan_, entry, table_, ctx_, sink ? ctx_.out : quiet);
  account.row_format = opened.row_format;
  account.expected_known = opened.expected_known;
  account.expected = opened.expected;
  if (opened.reader == nullptr) {
    if (!opened.not_read.empty()) {
      account.DefinitionOnly(opened.not_read);
      if (sink != nullptr) Report("Rows of " + who + " are not saved: " + opened.not_read);
    } else {
      account.reason = opened.note;
    }
    return;
  }
  if (!opened.damage.empty()) account.Damaged(opened.damage);
  if (sink == nullptr) return;
  if (!opened.damage.empty()) Report("Table " + who + ": " + opened.damage);
  if (!opened.detail.empty()) Report("Table " + who + ": " + opened.detail);
  if (opened.source != OpenedReader::Source::kDataFile) ctx_.out.WriteLogText("Saving Data...\r\n");
  const char* loop = opened.source == OpenedReader::Source::kDataFile           ? names.myisam
                     : opened.source == OpenedReader::Source::kSystemTablespace ? names.ibdata
                                                                                : names.ibd;
  // Deleted rows: the live rows' keys first, to pass over stale copies of them.
  std::unordered_set<std::string> live_keys;
  if (ctx_.deleted_pass) {
    EngineContext live = ctx_;
    live.deleted_pass = false;
    OpenedReader live_reader = OpenTableReader(scan_, entry, table_, live, quiet);
    if (live_reader.reader == nullptr) {
      account.NotRead("not read: the live rows cannot be read to tell copies of them");
      return;
    }
    if (!CollectLiveKeys(*live_reader.reader, table_, live, live_keys)) {
      account.Damaged(
          "the live rows are not all read: rows written may be copies of lost live "
          "rows");
    }
  }
  const TableExportResult r =
      ExportTableRows(*opened.reader, table_, table_name, *sink, blobs, ctx_, loop, form,
                      ctx_.deleted_pass ? &live_keys : nullptr);
  if (r.completed || r.expected_known) {
    account.expected_known = r.expected_known;
    account.expected = r.expected_rows;
  }
  account.rows = r.rows;
  account.rejected = r.rejected;
  account.left_out = r.left_out;
  account.copies = r.copies;
  if (!r.error.empty()) {
    Report("Rows of " + who + ": " + r.error);
    if (r.rows == 0 && !r.completed) {
      account.DefinitionOnly(r.error);
    } else {
      account.Damaged(r.error);
    }
  } else if (!r.completed) {
    account.Damaged("reading the rows ended early");
  }
  if (r.damaged) account.Damaged(r.damage.empty() ? std::string("rows are damaged") : r.damage);
  if (r.rejected > 0) {
    account.Damaged(std::to_string(r.rejected) + " rows rejected by the server" +
                    (r.first_rejection.empty() ? "" : " (first: " + r.first_rejection + ")"));
  }
  if (r.altered > 0) {
    const std::string what =
        std::to_string(r.altered) +
        " warnings of the server about values it changed as it loaded them (first: " +
        r.first_altered + ")";
    Report("Table " + who + ": " + what);
    account.Damaged(what);
  }
  if (ctx_.stop != nullptr && ctx_.stop->load()) {
    account.Damaged("stopped by the user");
  } else if (ctx_.stopped()) {
    // Another table's connection was lost, and the whole run ended.
    account.Damaged("the save ended before this table's last rows were sent");
  }
}

std::vector<TableAccount> ProbeTables(const ScanResult& scan, const CollationTable& collations,
                                      const CodePage& code_page) {
  NullOutput quiet;
  EngineContext ctx{collations, code_page, quiet};
  std::vector<std::string> errors;
  TableExporter exporter(scan, ctx, errors);
  std::vector<TableAccount> accounts;
  accounts.reserve(scan.m_tableEntries.size());
  for (const TableEntry& e : scan.m_tableEntries) {
    TableAccount account = exporter.StartAccount(e);
    if (exporter.ReadDefinition(e, account)) exporter.Probe(e, account);
    accounts.push_back(std::move(account));
  }
  return accounts;
}

}  // namespace vostrel
