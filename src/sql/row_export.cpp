#include "sql/row_export.h"

#include "sql/export_loop.h"
#include "sql/sql_value_writer.h"

namespace vostrel {

std::string TotalLine(uint64_t rows) {
  return "Total Number of record inserted =  " + std::to_string(rows) + " .";
}

TableExportResult ExportTableRows(TableReader& reader, const TableDef& table,
                                  const std::string& table_name, RowSink& sink, BlobFiles* blobs,
                                  EngineContext& ctx, const char* function_name, RowText form,
                                  const std::unordered_set<std::string>* live_keys) {
  // Deleted rows carry their place in a comment: statements only.
  if (form == RowText::kLoadData && !ctx.deleted_pass) {
    return export_loop::ExportLoadDataRows(reader, table, table_name, sink, blobs, ctx,
                                           function_name, live_keys);
  }
  return export_loop::ExportWith<SqlValueWriter>(reader, table, table_name, sink, blobs, ctx,
                                                 function_name, RowText::kInsert, live_keys);
}

}  // namespace vostrel
