// What both save runs do per table: read its definition, then send every row
// of its data files to a sink, keeping the table's account for the report.
#pragma once

#include <string>
#include <vector>

#include "model/engine_context.h"
#include "model/table_def.h"
#include "scan/recovery_report.h"
#include "scan/scan.h"
#include "scan/table_definitions.h"
#include "sql/blob_files.h"
#include "sql/row_sink.h"

namespace vostrel {

using SavedTable = TableAccount;

// The export loops' names, as their error messages carry them.
struct LoopNames {
  const char* myisam;
  const char* ibd;
  const char* ibdata;
};
inline constexpr LoopNames kScriptLoops{"mydfileforscript", "parseibdfileforscript",
                                        "getdatafromibdatafileforscript"};
inline constexpr LoopNames kServerLoops{"mydfilefordatabase", "parseibdfilefordatabase",
                                        "getdatafromibdatafilefordatbase"};

class TableExporter {
 public:
  TableExporter(const ScanResult& scan, EngineContext& ctx, std::vector<std::string>& errors)
      : scan_(scan), ctx_(ctx), errors_(errors) {}

  // A fresh account for `entry`, named as the report names it.
  TableAccount StartAccount(const TableEntry& entry) const;

  // Reads the definition of `entry` into table(): its .frm, else a statement of
  // the definitions file, else the InnoDB dictionary (the account then says
  // so); false (reported, and the account marked not read) when none is usable.
  bool ReadDefinition(const TableEntry& entry, TableAccount& account);
  const TableDef& table() const { return table_; }
  // Where a definition not read from the table's own .frm came from, as one
  // SQL comment line ("-- ...\r\n") for the script; empty for a .frm.
  const std::string& definition_comment() const { return definition_comment_; }
  // For what the readers learn after the .frm (the next AUTO_INCREMENT value),
  // to be set before the CREATE TABLE statement is made.
  TableDef& mutable_table() { return table_; }

  // Sends the rows to `sink`; `blobs` takes large values of a script save.
  void ExportRows(const TableEntry& entry, const std::string& table_name, RowSink& sink,
                  BlobFiles* blobs, const LoopNames& names, TableAccount& account);

  // Engine, row format and whether the rows can be read, without reading them.
  void Probe(const TableEntry& entry, TableAccount& account);

  void Report(const std::string& message);

 private:
  std::string Folder(const TableEntry& entry) const;
  // What the full definition needs beyond the .frm: foreign keys from the
  // InnoDB dictionary, and a note on engines a target may lack.
  void CompleteDefinition(const TableEntry& entry, const TableAccount& account);
  // Reads the rows, or with `sink` null only checks they can be read.
  void Rows(const TableEntry& entry, const std::string& table_name, RowSink* sink, BlobFiles* blobs,
            const LoopNames& names, TableAccount& account);

  const ScanResult& scan_;
  EngineContext& ctx_;
  std::vector<std::string>& errors_;
  TableDef table_;
  DefinitionOrigin origin_ = DefinitionOrigin::kFrm;
  std::string definition_comment_;
};

// Every table's account as a scan sees it (engine, row format, whether its
// rows can be read), one per scan.m_tableEntries entry, without reading rows.
std::vector<TableAccount> ProbeTables(const ScanResult& scan, const CollationTable& collations,
                                      const CodePage& code_page);

}  // namespace vostrel
