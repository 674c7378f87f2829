#include "myisam/myisam_export.h"

#include <cstring>
#include <exception>
#include <memory>
#include <new>

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

// Consecutive records as stored, copied out by the walk, and their statements.
struct RecordBatch {
  TextBuffer stored;  // per record: length, position, block, then its bytes
  uint64_t records = 0;
  uint64_t end = 0;  // where the walk went on after the last record
  RowChunk rows;
  std::vector<uint64_t> damaged;  // first blocks of records that did not unpack

  void Add(const StoredRecord& rec) {
    const uint64_t head[3] = {rec.length, rec.position, rec.block};
    char* w = stored.Reserve(sizeof head + rec.length);
    std::memcpy(w, head, sizeof head);
    if (rec.length > 0) std::memcpy(w + sizeof head, rec.data, rec.length);
    stored.Commit(w + sizeof head + rec.length);
    ++records;
  }
  void Clear() {
    stored.Clear();
    records = 0;
    rows.Clear();
    damaged.clear();
  }
};

struct Formatter {
  Formatter(const TableDef& table, const MyiHeader& header, const EngineContext& ctx)
      : unpacker(table, header), decoder(table, ctx.collations, ctx.code_page) {}
  RecordUnpacker unpacker;
  MyisamRecordDecoder decoder;
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
    result.error = "data file " + error;
    ctx.out.ReportProblem("Data file cannot be opened: " + error);
    return result;
  }
  try {
    const std::string head = InsertHeader(table_name, table);
    const std::string_view row_end = InsertRowEnd(sink.script_form());
    DamageLog damage;
    MydWalker walker(table, header, file, damage);
    const uint64_t size = file.size();
    ctx.out.SetProgress(0, size);

    const size_t batch_bytes = GetExportTuning().batch_bytes;
    const unsigned workers = ExportWorkerCount(size);
    if (workers == 0) {
      // Statements gather in a chunk that goes to the sink whole; a script
      // sink writes it on its own thread while the walk goes on.
      const MyisamRecordDecoder decoder(table, ctx.collations, ctx.code_page);
      RowChunk rows;
      walker.Walk(
          0,
          [&](const MyisamRecord& rec, uint64_t next) {
            rows.text.Append(head);
            decoder.AppendLiterals(rec, rows.text);
            rows.text.Append(row_end);
            rows.EndRow();
            if (rows.text.size() >= batch_bytes) {
              SendRows(sink, rows, result.rows, result.rejected, result.first_rejection, ctx.out);
              if (sink.broken()) return false;
            }
            ctx.out.SetProgress(next, size);
            return true;
          },
          ctx.stop);
      SendRows(sink, rows, result.rows, result.rejected, result.first_rejection, ctx.out);
    } else {
      // This thread walks the blocks and copies out each record as stored;
      // helper threads, each with its own unpacker and decoder, rebuild the
      // rows and write the statements.
      std::vector<std::unique_ptr<Formatter>> formatters;
      for (unsigned i = 0; i < workers; ++i) {
        formatters.push_back(std::make_unique<Formatter>(table, header, ctx));
      }
      OrderedBatches<RecordBatch> batches(
          workers,
          [&](RecordBatch& batch, unsigned worker) {
            Formatter& f = *formatters[worker];
            // Room for the statements up front: growing step by step copies
            // them over and over. Pages not written are never touched.
            batch.rows.text.Reserve(4 * batch.stored.size() + (64 << 10));
            const char* p = batch.stored.data();
            MyisamRecord rec;
            for (uint64_t r = 0; r < batch.records; ++r) {
              uint64_t h[3];
              std::memcpy(h, p, sizeof h);
              const StoredRecord stored{reinterpret_cast<const uint8_t*>(p + sizeof h),
                                        static_cast<size_t>(h[0]), h[1], h[2]};
              p += sizeof h + h[0];
              if (!f.unpacker.Unpack(stored, rec)) {
                batch.damaged.push_back(stored.block);
                continue;
              }
              batch.rows.text.Append(head);
              f.decoder.AppendLiterals(rec, batch.rows.text);
              batch.rows.text.Append(row_end);
              batch.rows.EndRow();
            }
          },
          [&](RecordBatch& batch) {
            for (const uint64_t block : batch.damaged) walker.NoteBadRecord(block);
            SendRows(sink, batch.rows, result.rows, result.rejected, result.first_rejection, ctx.out);
            ctx.out.SetProgress(batch.end, size);
          });
      RecordBatch* batch = nullptr;
      walker.WalkStored(
          0,
          [&](const StoredRecord& rec, uint64_t next) {
            if (batch == nullptr) {
              batch = &batches.Next();
              batch->Clear();
            }
            batch->Add(rec);
            batch->end = next;
            if (batch->stored.size() >= batch_bytes) {
              batches.Submit();
              batch = nullptr;
              if (sink.broken()) return false;
            }
            return true;
          },
          ctx.stop);
      if (batch != nullptr && batch->records > 0) batches.Submit();
      batches.Finish();
    }
    ctx.out.SetProgress(size, size);
    if (!ctx.stopped()) {
      // What the server last recorded tells a cut file or lost rows from a
      // complete table, which the walk alone cannot.
      if (header.data_file_length > size) {
        damage.Note("the file holds " + std::to_string(size) + " bytes of the " +
                    std::to_string(header.data_file_length) + " its index file records");
      }
      const uint64_t read = result.rows + result.rejected;
      if (read < header.live_rows) {
        damage.Note("its index file counts " + std::to_string(header.live_rows) + " rows, " +
                    std::to_string(read) + " were read" +
                    (header.open_count > 0 ? " (the table was not closed cleanly)" : ""));
      }
    }
    if (damage.any()) {
      result.damaged = true;
      result.damage = "data file " + myd_path.string() + ": " + damage.Summary();
      ctx.out.ReportProblem("Data file " + myd_path.string() + " is damaged: " + damage.Summary());
    }
    if (sink.script_form()) sink.WriteText("COMMIT;\r\n\r\n");
    const std::string total = TotalLine(result.rows);
    ctx.out.WriteLogText(total + "\r\n\r\n");
    ctx.out.AddOutputLine(total);
    result.completed = true;
  } catch (const std::bad_alloc&) {
    result.error = "out of memory while reading the rows";
    ctx.out.WriteLogText(std::string("Error in processing function ") + function_name + "\r\n");
  } catch (const std::exception& e) {
    result.error = std::string("reading the rows failed: ") + e.what();
    ctx.out.WriteLogText(std::string("Error in processing function ") + function_name + "\r\n");
  }
  return result;
}

}  // namespace vostrel
