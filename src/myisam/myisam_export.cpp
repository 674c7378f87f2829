#include "myisam/myisam_export.h"

#include <exception>

#include "model/damage_log.h"
#include "model/data_file.h"
#include "myisam/myd_reader.h"
#include "myisam/record_decoder.h"
#include "sql/insert_builder.h"

namespace vostrel {

std::string TotalLine(uint64_t rows) {
  return "Total Number of record inserted =  " + std::to_string(rows) + " .";
}

TableExportResult ExportMyisamRows(const std::filesystem::path& myd_path,
                                   const std::string& table_name, const TableDef& table,
                                   const MyiHeader& header, RowSink& sink, EngineContext& ctx,
                                   const char* function_name) {
  TableExportResult result;
  DataFile file;
  std::string error;
  if (!file.Open(myd_path, &error)) {
    const std::string line = "Data file cannot be opened: " + error;
    ctx.out.AddOutputLine(line);
    ctx.out.WriteLogText(line + "\r\n");
    result.completed = true;
    return result;
  }
  try {
    const std::string head = InsertHeader(table_name, table);
    const MyisamRecordDecoder decoder(table, ctx.collations, ctx.code_page);
    const DecodeOptions opts{true};
    DamageLog damage;
    MydWalker walker(table, header, file, damage);
    Row row;
    std::string statement;
    const uint64_t size = file.size();
    ctx.out.SetProgress(0, size);
    walker.Walk(
        0,
        [&](const MyisamRecord& rec, uint64_t next) {
          decoder.Decode(rec, opts, row);
          BuildInsertRow(head, table, row, sink.script_form(), statement);
          if (sink.ExecuteRow(statement)) {
            ++result.rows;
          } else if (!sink.script_form()) {
            ++result.rejected;
            ctx.out.WriteLogText("row not inserted after " +
                                 std::to_string(static_cast<uint32_t>(result.rows)) +
                                 "  row no.\r\n");
          }
          ctx.out.SetProgress(next, size);
          return true;
        },
        ctx.stop);
    ctx.out.SetProgress(size, size);
    if (damage.any()) {
      result.damaged = true;
      const std::string line = "Data file " + myd_path.string() + " is damaged: " + damage.Summary();
      ctx.out.AddOutputLine(line);
      ctx.out.WriteLogText(line + "\r\n");
    }
    if (sink.script_form()) sink.WriteText("COMMIT;\r\n\r\n");
    const std::string total = TotalLine(result.rows);
    ctx.out.WriteLogText(total + "\r\n\r\n");
    ctx.out.AddOutputLine(total);
    result.completed = true;
  } catch (const std::exception&) {
    ctx.out.WriteLogText(std::string("Error in processing function ") + function_name + "\r\n");
  }
  return result;
}

}  // namespace vostrel
