#include "sql/export_loop.h"
#include "sql/load_data_writer.h"

namespace vostrel {
namespace export_loop {

TableExportResult ExportLoadDataRows(TableReader& reader, const TableDef& table,
                                     const std::string& table_name, RowSink& sink, BlobFiles* blobs,
                                     EngineContext& ctx, const char* function_name,
                                     const std::unordered_set<std::string>* live_keys) {
  return ExportWith<LoadDataWriter>(reader, table, table_name, sink, blobs, ctx, function_name,
                                    RowText::kLoadData, live_keys);
}

}  // namespace export_loop
}  // namespace vostrel
