// The export loop shared by the row forms: a reader's records formatted on
// helper threads, in stored order, through a value writer W (SQL literals or
// LOAD DATA fields) and handed to a sink. Each form instantiates it in a file
// of its own, so that the compiler inlines the per-value code of each as
// fully as when it was the only one.
#pragma once

#include <exception>
#include <memory>
#include <new>
#include <string>
#include <unordered_set>

#include "model/field_decoder.h"
#include "sql/deleted_rows.h"
#include "sql/insert_builder.h"
#include "sql/load_data_writer.h"
#include "sql/row_batches.h"
#include "sql/row_export.h"
#include "sql/row_sender.h"

namespace vostrel {
namespace export_loop {

inline bool IsBlobType(int32_t type) {
  return (type >= kTypeTinyBlob && type <= kTypeBlob) || type == kTypeGeometry;
}

// A stretch of the table as stored, and the statements of its records.
struct Batch {
  RecordBlock block;
  RowChunk rows;
  DamageLog damage;
  bool external = false;  // a value lies on other pages: the calling thread redoes the batch
  uint64_t left_out = 0;  // deleted records with a field that is no valid value
  uint64_t copies = 0;    // deleted records that are copies of a live row or of each other

  void Clear() {
    block.Clear();
    rows.Clear();
    damage = DamageLog{};
    external = false;
    left_out = 0;
    copies = 0;
  }
};

// What one thread formats with; W writes the values (SQL literals or LOAD
// DATA fields).
template <class W>
struct Formatter {
  Formatter(TableReader& reader, const TableDef& table, const EngineContext& ctx)
      : decoder(reader.NewDecoder()),
        fields(table, reader.storage(), ctx.collations, ctx.code_page),
        writer(table) {}
  std::unique_ptr<BlockDecoder> decoder;
  FieldDecoder fields;
  W writer;
};

class Exporter {
 public:
  // Each row is `head` + its values + `row_end`. A deleted pass (`deleted`)
  // writes only records whose every field is valid and that are no copy of a
  // live row (`live_keys`) or of each other.
  Exporter(TableReader& reader, const TableDef& table, BlobFiles* blobs, std::string head,
           std::string_view row_end, bool deleted, const std::unordered_set<std::string>* live_keys)
      : reader_(reader),
        table_(table),
        blobs_(blobs),
        head_(std::move(head)),
        row_end_(row_end),
        deleted_(deleted),
        live_keys_(live_keys) {}

  // The statements of every record of the batch. Without `full` (a helper
  // thread) a value on other pages stops the batch; with it, such a value is
  // read whole, written to a file when it is large.
  template <class F>
  void Format(Batch& batch, F& f, bool full) {
    TextBuffer& text = batch.rows.text;
    // Room for the statements up front, rather than growing step by step.
    text.Reserve(4 * batch.block.bytes.size() + (64 << 10));
    f.writer.Into(text);
    f.decoder->Decode(
        batch.block,
        [&](const RecordFields& r) {
          const size_t mark = text.size();
          if (deleted_ && !TakeDeleted(r, f, batch)) return true;
          text.Append(head_);
          if (deleted_) AppendPlace(r.position, text);
          if (full) {
            for (size_t i = 0; i < r.count; ++i) {
              if (i) f.writer.Separator();
              if (r.fields[i].state == FieldState::kExternal) {
                Resolve(i, r.fields[i], f, batch.damage);
              } else {
                f.fields.Write(i, r.fields[i], f.writer);
              }
            }
          } else {
            f.writer.ClearExternal();
            f.fields.WriteRecord(r, f.writer);
            if (f.writer.external()) {
              text.Truncate(mark);
              batch.external = true;
              return false;
            }
          }
          text.Append(row_end_);
          batch.rows.EndRow();
          return true;
        },
        batch.damage);
  }

 private:
  // Out of line, so that the live rows' loop stays as small as without them.
  // Whether a deleted record is written: every field a valid value, and no
  // copy of a live row or of one already written.
  template <class F>
  [[gnu::noinline]] bool TakeDeleted(const RecordFields& r, F& f, Batch& batch) {
    for (size_t i = 0; i < r.count; ++i) {
      if (!f.fields.ValidValue(i, r.fields[i])) {
        ++batch.left_out;
        return false;
      }
    }
    // One thread formats a deleted pass, so these sets need no lock.
    RecordKey(table_, r, key_);
    RecordImage(r, image_);
    if ((live_keys_ != nullptr && live_keys_->count(key_)) || !written_.insert(image_).second) {
      ++batch.copies;
      return false;
    }
    return true;
  }
  // Inside the row's parentheses, so that it stays with the row when rows
  // are joined into one statement.
  [[gnu::noinline]] static void AppendPlace(const RecordPosition& at, TextBuffer& text) {
    text.Append("/* deleted row: page " + std::to_string(at.page) + " offset " +
                std::to_string(at.offset) + " */ ");
  }

  // A value kept on other pages: a file for a script's large values, else
  // read whole and written inline.
  template <class F>
  void Resolve(size_t i, const StoredField& field, F& f, DamageLog& damage) {
    const ColumnDef& c = table_.columns[i];
    std::string problem;
    if (IsBlobType(c.type) && blobs_ != nullptr) {
      const std::filesystem::path path = blobs_->Write(reader_, field, &problem);
      if (!problem.empty()) damage.Note("column " + c.name + ": " + problem);
      if (!path.empty()) {
        f.writer.File(path.string());
        return;
      }
    }
    value_.assign(reinterpret_cast<const char*>(field.data), reader_.ExternalPrefix(field));
    problem.clear();
    reader_.ReadExternal(
        field,
        [this](const uint8_t* p, size_t n) { value_.append(reinterpret_cast<const char*>(p), n); },
        &problem);
    if (!problem.empty()) damage.Note("column " + c.name + ": " + problem);
    f.fields.Write(i,
                   StoredField{reinterpret_cast<const uint8_t*>(value_.data()),
                               static_cast<uint32_t>(value_.size()), FieldState::kInline},
                   f.writer);
  }

  TableReader& reader_;
  const TableDef& table_;
  BlobFiles* blobs_;
  const std::string head_;
  const std::string_view row_end_;
  const bool deleted_;
  const std::unordered_set<std::string>* live_keys_;
  std::unordered_set<std::string> written_;
  std::string key_, image_;
  std::string value_;
};

// "Data file /x" -> "data file /x", for the report's sentence.
inline std::string Lowered(std::string s) {
  if (!s.empty() && s[0] >= 'A' && s[0] <= 'Z') s[0] = static_cast<char>(s[0] - 'A' + 'a');
  return s;
}

template <class W>
[[gnu::noinline]] TableExportResult ExportWith(TableReader& reader, const TableDef& table,
                                               const std::string& table_name, RowSink& sink,
                                               BlobFiles* blobs, EngineContext& ctx,
                                               const char* function_name, RowText form_of_rows,
                                               const std::unordered_set<std::string>* live_keys) {
  TableExportResult result;
  const bool load_data = form_of_rows == RowText::kLoadData;
  std::unique_ptr<RowSender> sending;
  const auto take = [&result](const RowSender& s) {
    result.rows = s.rows;
    result.rejected = s.rejected;
    result.first_rejection = s.first_error;
    result.altered = s.altered;
    result.first_altered = s.first_altered;
  };
  // What reached the sink before an error ended the loop, with a multi-row
  // INSERT left open completed.
  const auto sent = [&] {
    if (sending == nullptr) return;
    try {
      sending->Finish();
    } catch (const std::exception&) {
    }
    take(*sending);
  };
  try {
    Exporter exporter(reader, table, blobs,
                      load_data ? std::string() : InsertHeader(table_name, table),
                      load_data ? std::string_view("\n") : InsertRowEnd(sink.script_form()),
                      ctx.deleted_pass, live_keys);
    const uint64_t total = reader.progress_total();
    ctx.out.SetProgress(0, total);
    const unsigned workers = ctx.deleted_pass ? 0 : ExportWorkerCount(reader.source_bytes());
    // The calling thread's formatter also redoes batches with values on
    // other pages; helper threads each get their own.
    Formatter<W> main(reader, table, ctx);
    std::vector<std::unique_ptr<Formatter<W>>> helpers;
    for (unsigned i = 0; i < workers; ++i) {
      helpers.push_back(std::make_unique<Formatter<W>>(reader, table, ctx));
    }
    DamageLog& damage = reader.damage();
    // The full form of a script loads in transactions of commit_rows rows;
    // the reduced one stays as earlier versions wrote it.
    // A data file for LOAD DATA holds rows only.
    const bool grouped = sink.script_form() && !ctx.reduced_definitions && !load_data;
    SendForm form;
    form.header_size = load_data ? 0 : InsertHeader(table_name, table).size();
    form.commit_rows = grouped ? GetExportTuning().commit_rows : 0;
    form.extended = grouped && ctx.extended_insert;
    if (load_data && !sink.script_form()) {
      form.load_statement = LoadDataStatement("rows", table_name, table);
      while (!form.load_statement.empty() &&
             (form.load_statement.back() == '\n' || form.load_statement.back() == '\r')) {
        form.load_statement.pop_back();
      }
    }
    sending = std::make_unique<RowSender>(sink, form, ctx.out);
    RowSender& sender = *sending;
    OrderedBatches<Batch> batches(
        workers,
        [&](Batch& batch, unsigned worker) {
          if (helpers.empty()) {
            exporter.Format(batch, main, true);
          } else {
            exporter.Format(batch, *helpers[worker], false);
          }
        },
        [&](Batch& batch) {
          if (batch.external) {
            batch.rows.Clear();
            batch.damage = DamageLog{};
            batch.external = false;
            batch.block.unit_ok.clear();
            batch.block.claimed = 0;
            exporter.Format(batch, main, true);
          }
          reader.Consumed(batch.block);
          damage.Merge(batch.damage);
          // A deleted pass: the reader counts records that do not fit their page.
          if (ctx.deleted_pass) {
            result.left_out += batch.left_out + batch.block.claimed;
            result.copies += batch.copies;
          }
          sender.Send(batch.rows);
          ctx.out.SetRows(sender.rows);
          ctx.out.SetProgress(batch.block.progress, total);
        });
    const size_t batch_bytes = GetExportTuning().batch_bytes;
    reader.Seek(RecordPosition{});
    // The walk, then whatever the reader finds more once it has seen it all
    // (leaves no link reached), until it finds nothing more.
    for (bool more = true; more;) {
      for (;;) {
        if (ctx.stopped() || sink.broken()) break;
        Batch& batch = batches.Next();
        batch.Clear();
        if (!reader.NextBlock(batch.block, batch_bytes)) break;
        batches.Submit();
      }
      batches.Finish();
      more = !ctx.stopped() && !sink.broken() && reader.Finish(sender.rows + sender.rejected);
    }
    sender.Finish();
    take(sender);
    ctx.out.SetProgress(total, total);
    if (damage.any()) {
      result.damaged = true;
      result.damage = Lowered(reader.subject()) + ": " + damage.Summary();
      ctx.out.ReportProblem(reader.subject() + " is damaged: " + damage.Summary());
      for (const std::string& line : damage.lines) ctx.out.WriteLogText("  " + line + "\r\n");
    }
    const RowCount counted = reader.counted();
    result.expected_known = counted.known && !ctx.stopped();
    result.expected_rows = counted.rows;
    if (sink.script_form() && !load_data && (grouped || reader.ends_rows_with_commit())) {
      sink.WriteText("COMMIT;\r\n\r\n");
    }
    const std::string line = TotalLine(result.rows);
    ctx.out.AddOutputLine(line);
    ctx.out.WriteLogText(line + "\r\n\r\n");
    result.completed = true;
  } catch (const std::bad_alloc&) {
    result.error = "out of memory while reading the rows";
    sent();
    ctx.out.WriteLogText(std::string("Error in processing function ") + function_name + "\r\n");
  } catch (const std::exception& e) {
    result.error = std::string("reading the rows failed: ") + e.what();
    sent();
    ctx.out.WriteLogText(std::string("Error in processing function ") + function_name + "\r\n");
  }
  return result;
}

// The loop with LOAD DATA fields (row_export_load_data.cpp).
TableExportResult ExportLoadDataRows(TableReader& reader, const TableDef& table,
                                     const std::string& table_name, RowSink& sink, BlobFiles* blobs,
                                     EngineContext& ctx, const char* function_name,
                                     const std::unordered_set<std::string>* live_keys);

}  // namespace export_loop
}  // namespace vostrel
