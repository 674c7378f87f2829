#include "sql/row_sender.h"

namespace vostrel {

void RowSender::Send(RowChunk& chunk) {
  if (chunk.ends.empty()) return;
  if (sink_.script_form()) {
    if (form_.extended) {
      Extended(chunk);
    } else {
      Script(chunk);
    }
    chunk.Clear();
    return;
  }
  const size_t n = chunk.ends.size();
  if (!form_.load_statement.empty()) {
    Load(chunk, 0, n);
    chunk.Clear();
    return;
  }
  if (sink_.bulk() == RowSink::Bulk::kNone) {
    OneByOne(chunk, 0, n);
    chunk.Clear();
    return;
  }
  // Stretches of rows up to kStatementBytes of text each.
  size_t first = 0;
  while (first < n && !sink_.broken()) {
    const size_t start = first == 0 ? 0 : chunk.ends[first - 1];
    size_t last = first + 1;
    while (last < n && chunk.ends[last] - start <= kStatementBytes) ++last;
    if (last - first == 1) {
      OneByOne(chunk, first, last);
    } else if (sink_.bulk() == RowSink::Bulk::kSeries) {
      Series(chunk, first, last);
    } else {
      MultiRow(chunk, first, last);
    }
    first = last;
  }
  chunk.Clear();
}

// One INSERT of the rows: the header of the first, then each row's "(...)".
void RowSender::MultiRow(const RowChunk& chunk, size_t first, size_t last) {
  const bool counted = sink_.bulk() == RowSink::Bulk::kCountedMultiRow;
  if (counted && !KnowBase()) {
    Series(chunk, first, last);
    return;
  }
  while (first < last && !sink_.broken()) {
    if (last - first == 1) {
      OneByOne(chunk, first, last);
      return;
    }
    const std::string_view head = RowText(chunk, first);
    scratch_.assign(head.data(), head.size() - 1);
    for (size_t i = first + 1; i < last; ++i) {
      const std::string_view r = RowText(chunk, i);
      scratch_.push_back(',');
      scratch_.append(r.data() + form_.header_size - 1, r.size() - form_.header_size);
    }
    if (sink_.ExecuteRow(scratch_)) {
      rows += last - first;
      return;
    }
    if (sink_.broken()) return;
    if (!counted || sink_.too_large()) {
      // Nothing of it was stored: the rows again, each on its own, so that
      // every refused one is named.
      Series(chunk, first, last);
      return;
    }
    // The engine kept the rows before the refused one, and only those.
    uint64_t now = 0;
    if (!sink_.CountRows(now) || now < base_ + rows || now - base_ - rows >= last - first) {
      sink_.Break(
          "the rows a multi-row INSERT stored before the server refused one of them "
          "cannot be counted (" +
          sink_.last_error() + ")");
      return;
    }
    const size_t kept = static_cast<size_t>(now - base_ - rows);
    rows += kept;
    first += kept;
    Refused();
    ++first;
  }
}

// The rows the table held before the first bulk statement of this run.
bool RowSender::KnowBase() {
  if (base_known_) return true;
  if (!sink_.CountRows(base_)) return false;
  base_known_ = true;
  base_ -= std::min(base_, rows);
  return true;
}

// Rows in LOAD DATA's form, all of them in one LOAD DATA LOCAL. The server
// skips rows with a duplicate key there and says so: each skipped row is
// counted as refused, with its own warning. The rows it read must be the
// rows sent, or none of its counts can be matched to them. A LOAD DATA refused before it
// stored anything goes again row by row, so that each refused row is named
// where it was; one that stopped after storing some leaves it unknown which
// rows went in, and nothing more is sent.
void RowSender::Load(const RowChunk& chunk, size_t first, size_t last) {
  if (first >= last || sink_.broken()) return;
  if (!KnowBase()) {
    sink_.Break("the rows of the table cannot be counted (" + sink_.last_error() + ")");
    return;
  }
  const size_t start = first == 0 ? 0 : chunk.ends[first - 1];
  const std::string_view data(chunk.text.data() + start, chunk.ends[last - 1] - start);
  RowSink::LoadOutcome got;
  if (sink_.LoadRows(form_.load_statement, data, got)) {
    if (got.stored + got.skipped != last - first) {
      // The server read the data as another number of rows than were sent.
      uint64_t now = 0;
      if (sink_.CountRows(now) && now >= base_ + rows) rows = now - base_;
      sink_.Break("the server read " + std::to_string(got.stored + got.skipped) + " rows of the " +
                  std::to_string(last - first) +
                  " a LOAD DATA sent; which of them it stored is not known");
      return;
    }
    // The server names no row: each line says where the statement began.
    const std::string where = " after " + std::to_string(static_cast<uint32_t>(rows)) +
                              "  row no. (one of the next " + std::to_string(last - first) +
                              " rows sent): ";
    rows += got.stored;
    for (uint64_t k = 0; k < got.skipped; ++k) {
      ++rejected;
      const std::string why = k < got.reasons.size() ? got.reasons[k] : "skipped by the server";
      if (first_error.empty()) first_error = why;
      out_.WriteLogText("row not inserted" + where + why + "\r\n");
    }
    for (const std::string& why : got.altered) {
      ++altered;
      if (first_altered.empty()) first_altered = why;
      out_.WriteLogText("value changed by the server" + where + why + "\r\n");
    }
    return;
  }
  if (sink_.broken()) return;
  uint64_t now = 0;
  if (!sink_.CountRows(now) || now < base_ + rows) {
    sink_.Break("the rows a refused LOAD DATA stored cannot be counted (" + sink_.last_error() +
                ")");
    return;
  }
  if (now > base_ + rows) {
    rows += now - base_ - rows;
    sink_.Break("the server stopped a LOAD DATA after storing some of its rows (" +
                sink_.last_error() + "); which of them it stored is not known");
    return;
  }
  if (last - first == 1) {
    Refused();
    return;
  }
  for (size_t i = first; i < last && !sink_.broken(); ++i) Load(chunk, i, i + 1);
}

void RowSender::Refused() {
  ++rejected;
  if (first_error.empty()) first_error = sink_.last_error();
  out_.WriteLogText("row not inserted after " + std::to_string(static_cast<uint32_t>(rows)) +
                    "  row no.\r\n");
}

void RowSender::OneByOne(const RowChunk& chunk, size_t first, size_t last) {
  for (size_t i = first; i < last; ++i) {
    if (sink_.broken()) return;
    if (sink_.ExecuteRow(RowText(chunk, i))) {
      ++rows;
    } else if (!sink_.broken()) {
      Refused();
    }
  }
}

void RowSender::Series(const RowChunk& chunk, size_t first, size_t last) {
  while (first < last && !sink_.broken()) {
    const size_t start = first == 0 ? 0 : chunk.ends[first - 1];
    const std::string_view text(chunk.text.data() + start, chunk.ends[last - 1] - start);
    const size_t ran = sink_.ExecuteSeries(text, last - first);
    if (ran == RowSink::kNothingRan) {
      OneByOne(chunk, first, last);
      return;
    }
    rows += ran;
    first += ran;
    if (first < last) {
      if (sink_.broken()) return;
      Refused();
      ++first;
    }
  }
}

// Script text of `rows_in_it` whole statements.
void RowSender::Write(std::string_view text, size_t rows_in_it) {
  if (rows_in_it == 0) return;
  if (script_ != nullptr) {
    script_->WriteText(text);
    if (!script_->failed()) rows += rows_in_it;
  } else if (sink_.ExecuteRow(text)) {
    rows += rows_in_it;
  }
}

void RowSender::Script(RowChunk& chunk) {
  const size_t n = chunk.ends.size();
  if (script_ == nullptr) {
    for (size_t i = 0; i < n; ++i) {
      if (form_.commit_rows != 0 && since_commit_ == form_.commit_rows) {
        sink_.WriteText("COMMIT;\r\n");
        since_commit_ = 0;
      }
      Write(RowText(chunk, i), 1);
      ++since_commit_;
    }
    return;
  }
  if (form_.commit_rows == 0 || since_commit_ + n <= form_.commit_rows) {
    if (script_->WriteRows(chunk.text)) rows += n;
    since_commit_ += n;
    return;
  }
  // A COMMIT before each row that would go past a transaction's rows.
  size_t written = 0;  // text already handed to the script
  size_t pending = 0;  // rows in it not yet handed
  for (size_t i = 0; i < n; ++i) {
    if (since_commit_ == form_.commit_rows) {
      const size_t at = i == 0 ? 0 : chunk.ends[i - 1];
      Write(std::string_view(chunk.text.data() + written, at - written), pending);
      sink_.WriteText("COMMIT;\r\n");
      written = at;
      pending = 0;
      since_commit_ = 0;
    }
    ++since_commit_;
    ++pending;
  }
  Write(std::string_view(chunk.text.data() + written, chunk.text.size() - written), pending);
}

void RowSender::Extended(const RowChunk& chunk) {
  const size_t n = chunk.ends.size();
  for (size_t i = 0; i < n; ++i) {
    const std::string_view r = RowText(chunk, i);
    // "(...)" of the row, without the header and the ";\r\n" after it.
    const std::string_view values =
        r.substr(form_.header_size - 1, r.size() - (form_.header_size - 1) - (row_end_ - 1));
    if (form_.commit_rows != 0 && since_commit_ == form_.commit_rows) {
      CloseStatement();
      sink_.WriteText("COMMIT;\r\n");
      since_commit_ = 0;
    }
    if (statement_rows_ > 0 && statement_.size() + 1 + values.size() + 3 > kStatementBytes) {
      CloseStatement();
    }
    if (statement_rows_ == 0) {
      statement_.Append(r.data(), form_.header_size - 1);
    } else {
      statement_.Push(',');
    }
    statement_.Append(values);
    ++statement_rows_;
    ++since_commit_;
    // Counted as they are taken, as the readers follow the count; a script
    // that then fails to be written marks its table damaged.
    ++rows;
  }
}

void RowSender::CloseStatement() {
  if (statement_rows_ == 0) return;
  statement_.Append(";\r\n", 3);
  if (script_ != nullptr) {
    script_->WriteRows(statement_);
  } else {
    sink_.ExecuteRow(statement_.view());
  }
  statement_.Clear();
  statement_rows_ = 0;
}

void RowSender::Finish() {
  if (sink_.script_form()) CloseStatement();
}

}  // namespace vostrel
