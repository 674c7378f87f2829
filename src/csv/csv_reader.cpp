#include "csv/csv_reader.h"

#include <algorithm>
#include <cstring>

#include "csv/csv_line.h"
#include "model/byte_view.h"
#include "model/file_util.h"

namespace vostrel {

namespace {

// A block holds lines: per line its offset and length, then its bytes.
constexpr size_t kEntryHead = 2 * sizeof(uint64_t);

// The .CSM file: check byte 254, version, then the row count.
constexpr size_t kMetaSize = 35;

// A row that cannot be read: counted, and a log line of its own.
void NoteRow(DamageLog& damage, uint64_t at, const std::string& what) {
  damage.NoteAt(at, what);
  if (damage.lines.size() < DamageLog::kMaxLines) {
    damage.lines.push_back(what + " at byte " + std::to_string(at));
  }
}

}  // namespace

class CsvBlockDecoder : public BlockDecoder {
 public:
  explicit CsvBlockDecoder(const TableDef& table) : table_(table), fields_(table.columns.size()) {}

  void Decode(RecordBlock& block, const FieldsVisitor& visit, DamageLog& damage) override {
    const char* p = block.bytes.data();
    const size_t n = table_.columns.size();
    std::string why;
    for (uint64_t k = 0; k < block.units; ++k) {
      uint64_t head[2];
      std::memcpy(head, p, sizeof head);
      const std::string_view line(p + kEntryHead, static_cast<size_t>(head[1]));
      p += kEntryHead + head[1];
      if (!SplitCsvLine(line, n, split_, &why)) {
        NoteRow(damage, head[0], "row cannot be read (" + why + ")");
        continue;
      }
      bool fits = true;
      for (size_t i = 0; i < n && fits; ++i) {
        const auto [off, len] = split_.spans[i];
        const std::string_view text(split_.scratch.data() + off, len);
        if (!CsvValueFits(table_.columns[i], text)) {
          NoteRow(damage, head[0],
                  "row cannot be read (column " + table_.columns[i].name + " holds '" +
                      std::string(text.substr(0, 40)) + "', not a value of its type)");
          fits = false;
        }
        fields_[i] = StoredField{reinterpret_cast<const uint8_t*>(split_.scratch.data() + off),
                                 static_cast<uint32_t>(len), FieldState::kInline};
      }
      if (!fits) continue;
      if (!visit(RecordFields{fields_.data(), n, RecordPosition{0, head[0]}})) return;
    }
  }

 private:
  const TableDef& table_;
  CsvFields split_;
  std::vector<StoredField> fields_;
};

OpenedReader CsvReader::Open(const TableDef& table, const std::filesystem::path& csv,
                             const std::filesystem::path& csm) {
  OpenedReader o;
  o.row_format = "CSV";
  std::unique_ptr<CsvReader> r(new CsvReader(table));
  std::string error;
  if (!r->file_.Open(csv, &error)) {
    o.not_read = "data file " + error;
    return o;
  }
  std::string meta;
  if (!ReadWholeFile(csm, meta, 4096, &error)) {
    o.detail = "metadata file " + csm.string() + " cannot be read (" + error +
               "); the row count is not known";
  } else {
    const ByteView v(meta);
    if (v.size() < kMetaSize || v.u8(0) != 254) {
      o.detail = "metadata file " + csm.string() + " is not one; the row count is not known";
    } else {
      r->counted_ = {true, uint64_t{v.u32le(2)} | (uint64_t{v.u32le(6)} << 32)};
      r->meta_dirty_ = v.u8(kMetaSize - 1) != 0;
      o.expected_known = true;
      o.expected = r->counted_.rows;
    }
  }
  o.reader = std::move(r);
  return o;
}

std::vector<ColumnStorage> CsvReader::storage() const {
  std::vector<ColumnStorage> s(table_.columns.size());
  for (ColumnStorage& c : s) c.form = NumberForm::kText;
  return s;
}

void CsvReader::Seek(const RecordPosition& from) {
  pos_ = from.offset;
  done_ = false;
}

bool CsvReader::NextBlock(RecordBlock& block, size_t bytes) {
  const uint64_t before = block.units;
  std::string line;
  while (!done_ && block.bytes.size() < bytes) {
    // Read on in pieces until the line ends.
    line.clear();
    size_t end_len = 0;
    bool ended = false;
    uint64_t at = pos_;
    while (!ended && at < file_.size()) {
      const size_t got = static_cast<size_t>(std::min<uint64_t>(64 << 10, file_.size() - at));
      const uint8_t* view = file_.View(at, got);
      if (view == nullptr) break;
      const std::string_view piece(reinterpret_cast<const char*>(view), got);
      const size_t e = FindCsvLineEnd(piece, 0, &end_len);
      if (e != std::string_view::npos) {
        line.append(piece.substr(0, e));
        // A CR at the end of the piece may be the first half of CR LF.
        if (piece[e] == '\r' && e + 1 == got) {
          uint8_t next = 0;
          if (file_.Read(at + got, 1, &next) == 1 && next == '\n') end_len = 2;
        }
        ended = true;
      } else {
        line.append(piece);
        at += got;
        if (line.size() > kMaxLine) break;
      }
    }
    if (!ended) {
      if (!line.empty()) {
        NoteRow(damage_, pos_,
                line.size() > kMaxLine
                    ? "line is longer than " + std::to_string(kMaxLine) + " bytes"
                    : "the file ends inside a row (" + std::to_string(line.size()) +
                          " bytes without a line end)");
      }
      done_ = true;
      break;
    }
    const uint64_t head[2] = {pos_, line.size()};
    char* w = block.bytes.Reserve(kEntryHead + line.size());
    std::memcpy(w, head, sizeof head);
    if (!line.empty()) std::memcpy(w + kEntryHead, line.data(), line.size());
    block.bytes.Commit(w + kEntryHead + line.size());
    ++block.units;
    pos_ += line.size() + end_len;
    if (pos_ >= file_.size()) done_ = true;
  }
  block.progress = done_ ? file_.size() : pos_;
  return block.units > before;
}

std::unique_ptr<BlockDecoder> CsvReader::NewDecoder() const {
  return std::make_unique<CsvBlockDecoder>(table_);
}

bool CsvReader::Finish(uint64_t rows_read) {
  if (counted_.known && rows_read < counted_.rows) {
    damage_.Name("its metadata file counts " + std::to_string(counted_.rows) + " rows, " +
                 std::to_string(rows_read) + " were read" +
                 (meta_dirty_ ? " (the table was not closed cleanly)" : ""));
  }
  return false;
}

}  // namespace vostrel
