// How the formatted rows of a table reach their sink. Scripts group the rows
// in transactions (a COMMIT every ExportTuning::commit_rows rows) and may join them into
// multi-row INSERTs; a server takes them in bulk where it can tell each
// row's fate, and one by one where a bulk statement was refused.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/text_buffer.h"
#include "scan/recovery_output.h"
#include "sql/row_batches.h"
#include "sql/row_sink.h"
#include "sql/script_sink.h"

namespace vostrel {

struct SendForm {
  // Length of "INSERT INTO `t`(...) VALUES(": a row's "(...)" starts one before.
  size_t header_size = 0;
  // Script: COMMIT after this many rows (0: rows are not grouped).
  uint64_t commit_rows = 0;
  // Script: the rows of a stretch joined into multi-row INSERTs.
  bool extended = false;
  // Server, rows in LOAD DATA's text form: the LOAD DATA LOCAL statement
  // that takes them (empty: the rows are INSERT statements).
  std::string load_statement;
};

// Largest statement a bulk send makes: well inside the packet limit clients
// and servers accept by default (1 MB on the oldest servers). A single row
// larger than that still goes alone.
inline constexpr size_t kStatementBytes = 960 << 10;

class RowSender {
 public:
  RowSender(RowSink& sink, const SendForm& form, RecoveryOutput& out)
      : sink_(sink),
        script_(dynamic_cast<ScriptSink*>(&sink)),
        form_(form),
        out_(out),
        row_end_(sink.script_form() ? 4 : 2) {}

  // Sends the chunk's statements in order and leaves it empty. A refused row
  // is counted and logged and the rest go on; a sink that broke takes
  // nothing more.
  void Send(RowChunk& chunk);
  // Completes a multi-row INSERT left open by the last chunk.
  void Finish();

  uint64_t rows = 0;          // written, or executed without error
  uint64_t rejected = 0;      // refused by the server
  std::string first_error;    // the server's reason for the first refusal
  uint64_t altered = 0;       // the server's warnings of values it changed (LOAD DATA)
  std::string first_altered;  // the first of them

 private:
  void Script(RowChunk& chunk);
  void Extended(const RowChunk& chunk);
  void CloseStatement();
  void OneByOne(const RowChunk& chunk, size_t first, size_t last);
  void Series(const RowChunk& chunk, size_t first, size_t last);
  void MultiRow(const RowChunk& chunk, size_t first, size_t last);
  void Load(const RowChunk& chunk, size_t first, size_t last);
  bool KnowBase();
  void Refused();
  void Write(std::string_view text, size_t rows_in_it);
  std::string_view RowText(const RowChunk& chunk, size_t i) const {
    const size_t start = i == 0 ? 0 : chunk.ends[i - 1];
    return {chunk.text.data() + start, chunk.ends[i] - start};
  }

  RowSink& sink_;
  ScriptSink* const script_;  // null for other sinks of the script form
  const SendForm form_;
  RecoveryOutput& out_;
  const size_t row_end_;       // ");\r\n" in a script, ");" for a server
  uint64_t since_commit_ = 0;  // rows written since the last COMMIT
  TextBuffer statement_;       // the open multi-row INSERT of a script
  size_t statement_rows_ = 0;
  std::string scratch_;  // a server's multi-row INSERT
  // kCountedMultiRow: the rows the table held apart from those sent here.
  uint64_t base_ = 0;
  bool base_known_ = false;
};

}  // namespace vostrel
