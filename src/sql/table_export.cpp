#include "sql/table_export.h"

#include <new>

#include "innodb/foreign_keys.h"
#include "innodb/innodb_table.h"
#include "innodb/table_locator.h"
#include "model/data_file.h"
#include "model/file_util.h"
#include "model/frm_reader.h"
#include "myisam/myi_header.h"
#include "myisam/myisam_export.h"

namespace vostrel {

namespace fs = std::filesystem;

namespace {

fs::path FindOrDefault(const std::string& folder, const std::string& name) {
  fs::path p = FindFileIgnoringCase(folder, name);
  return p.empty() ? fs::path(folder) / name : p;
}

const char* MyisamRowFormatName(uint32_t format) {
  switch (format) {
    case kRowFixed:
      return "Fixed";
    case kRowDynamic:
      return "Dynamic";
    case kRowCompressed:
      return "Compressed";
    default:
      return "unknown";
  }
}

// InnoDB's row format, from the table's dictionary flags where the dictionary
// knows it, else from the tablespace flags and the leaf page's own format bit.
std::string InnoRowFormatName(const InnoSource& src, const SystemDictionary* dict,
                              const std::string& name) {
  PageBuffer page;
  bool compact = true;
  if (src.space != nullptr && src.leaf != 0 && src.space->ReadPage(src.leaf, page)) {
    compact = PageIsCompact(page.data());
  }
  uint32_t flags = 0;  // table flags: bit 0 compact, bits 1-4 compressed page size, bit 5 dynamic
  if (dict != nullptr) {
    if (const SysTablesRow* row = dict->FindTable(name)) {
      flags = row->type;
      if (!row->compact()) return "Redundant";
    }
  }
  if (flags == 0 && src.ibd != nullptr && src.ibd->ReadPage(0, page)) {
    flags = PageU32(page.data(), kPageHeader + 16);  // FSP_SPACE_FLAGS
  }
  if (!compact) return "Redundant";
  if ((flags >> 1) & 0xF) return "Compressed";
  if (flags & 0x20) return "Dynamic";
  return "Compact";
}

}  // namespace

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
  table_.Clear();
  if (!entry.definition_problem.empty()) {
    account.NotRead(entry.definition_problem);
    Report("Table " + account.database + "." + account.table +
           " is not read: " + entry.definition_problem);
    return false;
  }
  const fs::path frm = FindOrDefault(Folder(entry), entry.tableName + ".frm");
  const FrmReadResult fr = ReadTableDefinition(frm, ctx_.collations, ctx_.code_page, table_);
  for (const std::string& w : fr.warnings) {
    ctx_.out.WriteLogText("Table definition " + frm.string() + ": " + w + "\r\n");
  }
  if (!fr.ok || table_.columns.empty()) {
    const std::string why = "table definition " + frm.string() + " cannot be read: " +
                            (fr.ok ? std::string("no columns") : fr.error);
    account.NotRead(why);
    Report("Table " + account.database + "." + account.table + " is not read: " + why);
    return false;
  }
  account.engine = EngineName(table_.engine_type);
  if (!ctx_.reduced_definitions) CompleteDefinition(entry, account);
  return true;
}

void TableExporter::CompleteDefinition(const TableEntry& entry, const TableAccount& account) {
  const std::string who = account.database + "." + account.table;
  if (scan_.dictionary != nullptr) {
    std::vector<std::string> problems;
    AttachForeignKeys(*scan_.dictionary, DatabaseFolderName(Folder(entry)), entry.tableName, table_,
                      &problems);
    for (const std::string& p : problems) Report("Table " + who + ": " + p);
  }
  const std::string& engine = table_.options.engine_name;
  static constexpr const char* kCommon[] = {"InnoDB", "MyISAM", "Aria",      "MEMORY", "CSV",
                                            "MRG_MyISAM", "SEQUENCE"};
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
                               RowSink& sink, BlobFileWriter* blobs, const LoopNames& names,
                               TableAccount& account) {
  Rows(entry, table_name, &sink, blobs, names, account);
}

void TableExporter::Probe(const TableEntry& entry, TableAccount& account) {
  Rows(entry, std::string(), nullptr, nullptr, kScriptLoops, account);
}

void TableExporter::Rows(const TableEntry& entry, const std::string& table_name, RowSink* sink,
                         BlobFileWriter* blobs, const LoopNames& names, TableAccount& account) {
  const std::string folder = Folder(entry);
  const std::string who = account.database + "." + account.table;
  auto not_read = [&](const std::string& why) {
    account.DefinitionOnly(why);
    if (sink != nullptr) Report("Rows of " + who + " are not saved: " + why);
  };
  TableExportResult r;
  switch (table_.engine_type) {
    case kEngineMyIsam: {
      const fs::path myi = FindOrDefault(folder, entry.tableName + ".MYI");
      if (sink) ctx_.out.WriteLogText("Processing File\t" + myi.string() + "\r\n");
      MyiHeader header;
      const MyiReadResult mr = ReadMyiHeader(myi, header);
      const fs::path myd = FindOrDefault(folder, entry.tableName + ".MYD");
      if (sink) ctx_.out.WriteLogText("Processing File\t" + myd.string() + "\r\n");
      if (!mr.ok || !mr.has_columns) {
        not_read("index file " + myi.string() + " cannot be read (" + mr.error + ")");
        return;
      }
      account.row_format = MyisamRowFormatName(header.row_format);
      account.expected_known = true;
      account.expected = header.live_rows;
      if (header.row_format == kRowCompressed) {
        not_read("not read: compressed rows (myisampack)");
        return;
      }
      if (sink == nullptr) {
        DataFile data;
        std::string error;
        if (!data.Open(myd, &error)) not_read("data file " + error);
        return;
      }
      r = ExportMyisamRows(myd, table_name, table_, header, *sink, ctx_, names.myisam);
      break;
    }
    case kEngineInnoDb: {
      NullOutput quiet;
      InnoSource src = LocateTableLeaf(folder, entry.tableName, table_, scan_.dictionary.get(),
                                       ctx_.collations, sink ? ctx_.out : quiet);
      account.row_format = InnoRowFormatName(src, scan_.dictionary.get(),
                                             DatabaseFolderName(folder) + "/" + entry.tableName);
      if (!src.failure.empty()) {
        not_read(src.failure);
        return;
      }
      if (src.damaged_tree) account.Damaged(src.detail);
      if (sink == nullptr) return;
      if (!src.detail.empty()) Report("Table " + who + ": " + src.detail);
      ctx_.out.WriteLogText("Saving Data...\r\n");
      r = ExportInnoRows(*src.space, src.leaf, table_name, table_, src.index, *sink, ctx_, blobs,
                         src.in_system ? names.ibdata : names.ibd);
      break;
    }
    case kEngineHeap:
      account.reason = "MEMORY tables keep no rows on disk";
      return;
    case kEngineBlackhole:
      account.reason = "BLACKHOLE tables keep no rows";
      return;
    case kEngineMergeMyIsam:
      account.reason = "a MERGE table keeps its rows in the tables it merges";
      return;
    case kEngineFederated:
      account.reason = "a FEDERATED table keeps its rows on another server";
      return;
    case kEnginePartition:
      not_read("not read: partitioned table");
      return;
    default:
      not_read("not read: " + EngineName(table_.engine_type) + " engine data");
      return;
  }
  account.rows = r.rows;
  account.rejected = r.rejected;
  if (!r.error.empty()) {
    Report("Rows of " + who + ": " + r.error);
    if (r.rows == 0 && !r.completed) {
      not_read(r.error);
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
  if (ctx_.stopped()) account.Damaged("stopped by the user");
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
