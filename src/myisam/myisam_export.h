// The MyISAM export loop: every live row of a .MYD as one INSERT statement.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "model/engine_context.h"
#include "model/table_def.h"
#include "myisam/myi_header.h"
#include "sql/row_sink.h"

namespace vostrel {

struct TableExportResult {
  uint64_t rows = 0;       // statements written or executed without error
  uint64_t rejected = 0;   // statements a server refused
  bool completed = false;  // false when an error ended the loop
  bool damaged = false;
  std::string damage;           // what the damage line named
  std::string error;            // what ended the loop early, or kept it from starting
  std::string first_rejection;  // the server's reason for the first row it refused
  // Live rows the source's own pages say exist (InnoDB: the leaves' record
  // counts), when every page holding rows could be counted.
  uint64_t expected_rows = 0;
  bool expected_known = false;
};

// `function_name` is mydfileforscript or mydfilefordatabase, as the log names it.
TableExportResult ExportMyisamRows(const std::filesystem::path& myd_path,
                                   const std::string& table_name, const TableDef& table,
                                   const MyiHeader& header, RowSink& sink, EngineContext& ctx,
                                   const char* function_name);

// The total line of a table: "Total Number of record inserted =  N ."
std::string TotalLine(uint64_t rows);

}  // namespace vostrel
