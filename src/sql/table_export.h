// What both save runs do per table: read its definition, then send every row
// of its data files to a sink.
#pragma once

#include <string>
#include <vector>

#include "innodb/extern_value.h"
#include "model/engine_context.h"
#include "model/table_def.h"
#include "scan/scan.h"
#include "sql/row_sink.h"

namespace vostrel {

struct SavedTable {
  std::string database;
  std::string table;
  uint64_t rows = 0;
  uint64_t rejected = 0;   // rows a server refused
  bool rows_read = false;  // false: CREATE TABLE only (unreadable or unsupported data)
  bool damaged = false;
};

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

  // Reads the .frm of `entry` into table(); false (reported) when it cannot be read.
  bool ReadDefinition(const TableEntry& entry);
  const TableDef& table() const { return table_; }

  // Sends the rows to `sink`; `blobs` takes large values of a script save.
  void ExportRows(const TableEntry& entry, const std::string& table_name, RowSink& sink,
                  BlobFileWriter* blobs, const LoopNames& names, SavedTable& saved);

  void Report(const std::string& message);

 private:
  std::string Folder(const TableEntry& entry) const;

  const ScanResult& scan_;
  EngineContext& ctx_;
  std::vector<std::string>& errors_;
  TableDef table_;
};

}  // namespace vostrel
