#include "sql/table_export.h"

#include "innodb/innodb_table.h"
#include "innodb/table_locator.h"
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

}  // namespace

std::string TableExporter::Folder(const TableEntry& entry) const {
  return scan_.m_databaseFolders[static_cast<size_t>(entry.databaseIndex)];
}

void TableExporter::Report(const std::string& msg) {
  ctx_.out.AddOutputLine(msg);
  ctx_.out.WriteLogText(msg + "\r\n");
  errors_.push_back(msg);
}

bool TableExporter::ReadDefinition(const TableEntry& entry) {
  const fs::path frm = FindOrDefault(Folder(entry), entry.tableName + ".frm");
  const FrmReadResult fr = ReadTableDefinition(frm, ctx_.collations, ctx_.code_page, table_);
  for (const std::string& w : fr.warnings) {
    ctx_.out.WriteLogText("Table definition " + frm.string() + ": " + w + "\r\n");
  }
  if (!fr.ok || table_.columns.empty()) {
    Report("Table definition " + frm.string() + " cannot be read: " +
           (fr.ok ? std::string("no columns") : fr.error));
    return false;
  }
  return true;
}

void TableExporter::ExportRows(const TableEntry& entry, const std::string& table_name,
                               RowSink& sink, BlobFileWriter* blobs, const LoopNames& names,
                               SavedTable& saved) {
  const std::string folder = Folder(entry);
  TableExportResult r;
  if (table_.engine_type == kEngineMyIsam) {
    const fs::path myi = FindOrDefault(folder, entry.tableName + ".MYI");
    ctx_.out.WriteLogText("Processing File\t" + myi.string() + "\r\n");
    MyiHeader header;
    const MyiReadResult mr = ReadMyiHeader(myi, header);
    const fs::path myd = FindOrDefault(folder, entry.tableName + ".MYD");
    ctx_.out.WriteLogText("Processing File\t" + myd.string() + "\r\n");
    if (!mr.ok || !mr.has_columns) {
      Report("Index file " + myi.string() + " cannot be read (" + mr.error + "); rows of " +
             entry.displayName + " are not saved");
      return;
    }
    if (header.row_format == kRowCompressed) {
      Report("Table " + entry.displayName + " is compressed (myisampack); its rows are not read");
      return;
    }
    r = ExportMyisamRows(myd, table_name, table_, header, sink, ctx_, names.myisam);
  } else if (table_.engine_type == kEngineInnoDb) {
    InnoSource src = LocateTableLeaf(folder, entry.tableName, table_, scan_.dictionary.get(),
                                     ctx_.collations, ctx_.out);
    if (!src.failure.empty()) {
      Report("Rows of " + entry.displayName + " are not saved: " + src.failure);
      return;
    }
    if (!src.detail.empty()) Report("Table " + entry.displayName + ": " + src.detail);
    ctx_.out.WriteLogText("Saving Data...\r\n");
    r = ExportInnoRows(*src.space, src.leaf, table_name, table_, src.index, sink, ctx_, blobs,
                       src.in_system ? names.ibdata : names.ibd);
    r.damaged = r.damaged || src.damaged_tree;
  } else {
    return;
  }
  saved.rows = r.rows;
  saved.rejected = r.rejected;
  saved.rows_read = r.completed;
  saved.damaged = r.damaged;
}

}  // namespace vostrel
