#include "archive/archive_reader.h"

#include <algorithm>
#include <cstring>

#include "archive/archive_row.h"
#include "model/byte_view.h"
#include "myisam/myisam_fields.h"

namespace vostrel {

namespace {

// The server's header: magic FE 03, then positions and counts.
constexpr size_t kAzHeaderSize = 78;
constexpr size_t kRowHead = 4;
// A block holds rows: per row its offset in the inflated data and its length, then its bytes.
constexpr size_t kEntryHead = 2 * sizeof(uint64_t);
constexpr size_t kFeed = 64 << 10;

uint64_t U64(const ByteView& v, size_t at) {
  return uint64_t{v.u32le(at)} | (uint64_t{v.u32le(at + 4)} << 32);
}

}  // namespace

bool ParseArzHeader(const uint8_t* bytes, size_t size, ArzHeader& h, std::string* why) {
  const ByteView v(bytes, size);
  if (v.size() >= 2 && v.u8(0) == 0x1F && v.u8(1) == 0x8B) {
    h.version = 2;
    return true;
  }
  if (v.size() < 2 || v.u8(0) != 0xFE || v.u8(1) != 0x03) {
    if (why) *why = "it does not start with an ARCHIVE header";
    return false;
  }
  if (v.size() < kAzHeaderSize) {
    if (why) *why = "its header is cut off";
    return false;
  }
  h.version = v.u8(1);
  h.data_start = U64(v, 21);
  h.rows = U64(v, 29);
  h.dirty = v.u8(77) != 0;
  if (h.data_start < kAzHeaderSize) {
    if (why) *why = "its header places the rows at byte " + std::to_string(h.data_start);
    return false;
  }
  return true;
}

// A row that cannot be read: counted, and a log line of its own.
void NoteRow(DamageLog& damage, uint64_t at, const std::string& what) {
  damage.NoteAt(at, what);
  if (damage.lines.size() < DamageLog::kMaxLines) {
    damage.lines.push_back(what + " at offset " + std::to_string(at));
  }
}

class ArchiveBlockDecoder : public BlockDecoder {
 public:
  explicit ArchiveBlockDecoder(const TableDef& table) : split_(table) {}
  void Decode(RecordBlock& block, const FieldsVisitor& visit, DamageLog& damage) override {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(block.bytes.data());
    std::string why;
    for (uint64_t k = 0; k < block.units; ++k) {
      uint64_t head[2];
      std::memcpy(head, p, sizeof head);
      const uint8_t* row = p + kEntryHead;
      p += kEntryHead + head[1];
      if (!split_.Split(row, static_cast<size_t>(head[1]), &why)) {
        NoteRow(damage, head[0], "row cannot be read (" + why + ")");
        continue;
      }
      const std::vector<StoredField>& f = split_.fields();
      if (!visit(RecordFields{f.data(), f.size(), RecordPosition{0, head[0]}})) return;
    }
  }

 private:
  ArchiveRowSplitter split_;
};

OpenedReader ArchiveReader::Open(const TableDef& table, const std::filesystem::path& arz) {
  OpenedReader o;
  o.row_format = "Archive";
  std::unique_ptr<ArchiveReader> r(new ArchiveReader(table));
  std::string error;
  if (!r->file_.Open(arz, &error)) {
    o.not_read = "data file " + error;
    return o;
  }
  uint8_t head[kAzHeaderSize] = {};
  const size_t got = r->file_.Read(0, sizeof head, head);
  if (!ParseArzHeader(head, got, r->header_, &error)) {
    o.not_read = "data file " + arz.string() + " cannot be read: " + error;
    return o;
  }
  if (r->header_.version != 3) {
    o.not_read = "not read: ARCHIVE data file of format " + std::to_string(r->header_.version) +
                 " (MySQL 5.0)";
    return o;
  }
  o.expected_known = true;
  o.expected = r->header_.rows;
  if (r->header_.dirty) o.detail = "the data file was not closed cleanly; its row count may be old";
  if (inflateInit2(&r->zs_, -MAX_WBITS) != Z_OK) {
    o.not_read = "the decompressor cannot be started";
    return o;
  }
  r->zs_open_ = true;
  r->Restart();
  o.reader = std::move(r);
  return o;
}

ArchiveReader::~ArchiveReader() {
  if (zs_open_) inflateEnd(&zs_);
}

std::vector<ColumnStorage> ArchiveReader::storage() const {
  return MyisamColumnStorage(table_);
}

void ArchiveReader::Restart() {
  inflateReset(&zs_);
  in_pos_ = header_.data_start;
  out_pos_ = 0;
  pending_.clear();
  pending_at_ = 0;
  stream_end_ = in_pos_ >= file_.size();  // a table never written to has no stream
  failed_ = false;
  unfinished_ = false;
  crc_ = crc32(0L, Z_NULL, 0);
  done_ = false;
}

void ArchiveReader::Seek(const RecordPosition& from) {
  // A deflate stream is read from its start: a position is reached by inflating up to it.
  Restart();
  skip_to_ = from.offset;
}

bool ArchiveReader::Inflate() {
  if (stream_end_ || failed_) return false;
  if (pending_at_ > 0 && pending_at_ * 2 >= pending_.size()) {
    pending_.erase(0, pending_at_);
    pending_at_ = 0;
  }
  const size_t room = 256 << 10;
  const size_t before = pending_.size();
  pending_.resize(before + room);
  zs_.next_out = reinterpret_cast<Bytef*>(pending_.data() + before);
  zs_.avail_out = static_cast<uInt>(room);
  bool progressed = false;
  while (zs_.avail_out > 0) {
    if (in_pos_ >= file_.size()) {
      // A stream the server did not close (it stopped, or the file was
      // copied while open) still holds the rows it flushed: Finish weighs
      // what was read against the header's count.
      unfinished_ = true;
      failed_ = true;
      break;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kFeed, file_.size() - in_pos_));
    const uint8_t* in = file_.View(in_pos_, n);
    if (in == nullptr) {
      failed_ = true;
      damage_.Name("the data file cannot be read at byte " + std::to_string(in_pos_));
      break;
    }
    zs_.next_in = const_cast<Bytef*>(in);
    zs_.avail_in = static_cast<uInt>(n);
    Bytef* out_start = zs_.next_out;
    const int rc = inflate(&zs_, Z_NO_FLUSH);
    const size_t used = n - zs_.avail_in;
    in_pos_ += used;
    crc_ = crc32(crc_, out_start, static_cast<uInt>(zs_.next_out - out_start));
    if (used > 0 || zs_.next_out != out_start) progressed = true;
    if (rc == Z_STREAM_END) {
      // The stream's CRC-32 and length follow; a later session's rows may
      // follow in a stream of their own.
      uint8_t trailer[8];
      if (file_.Read(in_pos_, 8, trailer) != 8) {
        damage_.Name("the file ends inside a stream's trailer at byte " + std::to_string(in_pos_));
        failed_ = true;
        break;
      }
      const ByteView t(trailer, 8);
      if (t.u32le(0) != crc_) {
        damage_.Name("the compressed rows before byte " + std::to_string(in_pos_) +
                     " fail their CRC-32 check");
      }
      in_pos_ += 8;
      crc_ = crc32(0L, Z_NULL, 0);
      if (in_pos_ >= file_.size()) {
        stream_end_ = true;
        break;
      }
      inflateReset(&zs_);
      continue;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      damage_.Name("the compressed rows are damaged near byte " + std::to_string(in_pos_) +
                   " of the file (" + (zs_.msg ? zs_.msg : "inflate error") +
                   "); rows after that point cannot be read");
      failed_ = true;
      break;
    }
    if (rc == Z_BUF_ERROR && used == 0 && zs_.next_out == out_start) {
      damage_.Name("the compressed rows stop near byte " + std::to_string(in_pos_));
      failed_ = true;
      break;
    }
  }
  pending_.resize(pending_.size() - zs_.avail_out);
  return progressed || pending_.size() > before;
}

bool ArchiveReader::NextBlock(RecordBlock& block, size_t bytes) {
  if (done_) return false;
  const uint64_t before_units = block.units;
  while (block.bytes.size() < bytes) {
    const size_t have = pending_.size() - pending_at_;
    if (have < kRowHead) {
      if (Inflate()) continue;
      if (have > 0 && (!failed_ || unfinished_)) {
        damage_.Name("the rows end inside a row's length at offset " + std::to_string(out_pos_));
      }
      done_ = true;
      break;
    }
    const ByteView v(reinterpret_cast<const uint8_t*>(pending_.data() + pending_at_), have);
    const uint32_t len = v.u32le(0);
    if (len > kMaxRow) {
      damage_.Name("a row at offset " + std::to_string(out_pos_) + " says it is " +
                   std::to_string(len) + " bytes long; the rows after it cannot be read");
      done_ = true;
      break;
    }
    if (have < kRowHead + len) {
      if (Inflate()) continue;
      if (!failed_ || unfinished_) {
        damage_.Name("the rows end inside the row at offset " + std::to_string(out_pos_));
      }
      done_ = true;
      break;
    }
    if (out_pos_ >= skip_to_) {
      const uint64_t head[2] = {out_pos_, len};
      char* w = block.bytes.Reserve(kEntryHead + len);
      std::memcpy(w, head, sizeof head);
      std::memcpy(w + kEntryHead, pending_.data() + pending_at_ + kRowHead, len);
      block.bytes.Commit(w + kEntryHead + len);
      ++block.units;
    }
    pending_at_ += kRowHead + len;
    out_pos_ += kRowHead + len;
  }
  block.progress = done_ ? file_.size() : in_pos_;
  return block.units > before_units;
}

std::unique_ptr<BlockDecoder> ArchiveReader::NewDecoder() const {
  return std::make_unique<ArchiveBlockDecoder>(table_);
}

bool ArchiveReader::Finish(uint64_t rows_read) {
  if (unfinished_ && rows_read < header_.rows) {
    damage_.Name("the file ends inside the compressed rows after " + std::to_string(rows_read) +
                 " rows; the rows after that point are lost");
  } else if (rows_read < header_.rows) {
    damage_.Note("its header counts " + std::to_string(header_.rows) + " rows, " +
                 std::to_string(rows_read) + " were read" +
                 (header_.dirty ? " (the table was not closed cleanly)" : ""));
  }
  return false;
}

}  // namespace vostrel
