#include "myisam/myisam_export.h"

#include <exception>
#include <memory>

#include "model/damage_log.h"
#include "model/data_file.h"
#include "myisam/myd_reader.h"
#include "myisam/record_decoder.h"
#include "sql/insert_builder.h"
#include "sql/row_batches.h"

namespace vostrel {

std::string TotalLine(uint64_t rows) {
  return "Total Number of record inserted =  " + std::to_string(rows) + " .";
}

namespace {

// The value bytes of consecutive records, copied out by the walk, and their
// statements.
struct RecordBatch {
  TextBuffer values;
  uint64_t records = 0;
  uint64_t end = 0;  // where the walk went on after the last record
  RowChunk rows;

  void Clear() {
    values.Clear();
    records = 0;
    rows.Clear();
  }
};

}  // namespace

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
    const std::string_view row_end = InsertRowEnd(sink.script_form());
    const MyisamRecordDecoder decoder(table, ctx.collations, ctx.code_page);
    DamageLog damage;
    MydWalker walker(table, header, file, damage);
    const uint64_t size = file.size();
    ctx.out.SetProgress(0, size);

    const size_t batch_bytes = GetExportTuning().batch_bytes;
    const unsigned workers = ExportWorkerCount(size);
    if (workers == 0) {
      // Statements gather in a chunk that goes to the sink whole; a script
      // sink writes it on its own thread while the walk goes on.
      RowChunk rows;
      walker.Walk(
          0,
          [&](const MyisamRecord& rec, uint64_t next) {
            rows.text.Append(head);
            decoder.AppendLiterals(rec, rows.text);
            rows.text.Append(row_end);
            rows.EndRow();
            if (rows.text.size() >= batch_bytes) {
              SendRows(sink, rows, result.rows, result.rejected, ctx.out);
            }
            ctx.out.SetProgress(next, size);
            return true;
          },
          ctx.stop);
      SendRows(sink, rows, result.rows, result.rejected, ctx.out);
    } else {
      // This thread walks and copies out each record's value bytes; helper
      // threads, each with its own decoder, write the statements.
      std::vector<std::unique_ptr<MyisamRecordDecoder>> formatters;
      for (unsigned i = 0; i < workers; ++i) {
        formatters.push_back(std::make_unique<MyisamRecordDecoder>(table, ctx.collations, ctx.code_page));
      }
      OrderedBatches<RecordBatch> batches(
          workers,
          [&](RecordBatch& batch, unsigned worker) {
            const MyisamRecordDecoder& f = *formatters[worker];
            const char* p = batch.values.data();
            for (uint64_t r = 0; r < batch.records; ++r) {
              batch.rows.text.Append(head);
              p += f.FormatExtracted(p, batch.rows.text);
              batch.rows.text.Append(row_end);
              batch.rows.EndRow();
            }
          },
          [&](RecordBatch& batch) {
            SendRows(sink, batch.rows, result.rows, result.rejected, ctx.out);
            ctx.out.SetProgress(batch.end, size);
          });
      RecordBatch* batch = nullptr;
      walker.Walk(
          0,
          [&](const MyisamRecord& rec, uint64_t next) {
            if (batch == nullptr) {
              batch = &batches.Next();
              batch->Clear();
            }
            decoder.Extract(rec, batch->values);
            ++batch->records;
            batch->end = next;
            if (batch->values.size() >= batch_bytes) {
              batches.Submit();
              batch = nullptr;
            }
            return true;
          },
          ctx.stop);
      if (batch != nullptr && batch->records > 0) batches.Submit();
      batches.Finish();
    }
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
