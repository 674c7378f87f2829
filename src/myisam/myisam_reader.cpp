#include "myisam/myisam_reader.h"

#include <atomic>
#include <cstring>

#include "myisam/myisam_fields.h"
#include "myisam/row_checksum.h"

namespace vostrel {

namespace {

// A block holds records as the walk found them: per record its length, its
// position, the position of its first block, then its bytes.
constexpr size_t kEntryHead = 3 * sizeof(uint64_t);

const char* RowFormatName(uint32_t format) {
  switch (format) {
    case kRowFixed:
      return "Fixed";
    case kRowDynamic:
      return "Dynamic";
    case kRowCompressed:
      return "Compressed";
    default:
      return "unknown";
  }
}

}  // namespace

class MyisamBlockDecoder : public BlockDecoder {
 public:
  explicit MyisamBlockDecoder(const MyisamReader& reader)
      : reader_(reader), plain_(reader.table_, reader.header_), split_(reader.table_) {
    if (reader.packed_) {
      packed_ = std::make_unique<PackedRecordUnpacker>(reader.table_, reader.packed_info_);
      checksum_ = std::make_unique<MyisamRowChecksum>(reader.header_);
    }
  }
  void Decode(RecordBlock& block, const FieldsVisitor& visit, DamageLog& damage) override {
    const char* p = block.bytes.data();
    MyisamRecord rec;
    uint32_t sum = 0;
    // Row checksums add up in any order: each block's share goes in once.
    struct AddSum {
      std::atomic<uint32_t>& total;
      uint32_t& sum;
      ~AddSum() {
        if (sum != 0) total.fetch_add(sum);
      }
    } add{reader_.checksum_sum_, sum};
    for (uint64_t k = 0; k < block.units; ++k) {
      uint64_t head[3];
      std::memcpy(head, p, sizeof head);
      const StoredRecord stored{reinterpret_cast<const uint8_t*>(p + kEntryHead),
                                static_cast<size_t>(head[0]), head[1], head[2]};
      p += kEntryHead + head[0];
      if (packed_) {
        if (!packed_->Unpack(stored, rec)) {
          damage.NoteAt(stored.position, packed_->why());
          continue;
        }
        sum += checksum_->Of(rec);
      } else if (!plain_.Unpack(stored, rec)) {
        damage.NoteAt(stored.block, "record is damaged");
        continue;
      }
      const std::vector<StoredField>& f = split_.Split(rec);
      if (!visit(RecordFields{f.data(), f.size(), RecordPosition{0, stored.block}})) return;
    }
  }

 private:
  const MyisamReader& reader_;
  RecordUnpacker plain_;
  std::unique_ptr<PackedRecordUnpacker> packed_;
  std::unique_ptr<MyisamRowChecksum> checksum_;
  MyisamFieldSplitter split_;
};

OpenedReader MyisamReader::Open(const TableDef& table, const std::filesystem::path& myi,
                                const std::filesystem::path& myd) {
  OpenedReader o;
  std::unique_ptr<MyisamReader> r(new MyisamReader(table));
  const MyiReadResult mr = ReadMyiHeader(myi, r->header_);
  if (!mr.ok || !mr.has_columns) {
    o.not_read = "index file " + myi.string() + " cannot be read (" + mr.error + ")";
    return o;
  }
  o.row_format = RowFormatName(r->header_.row_format);
  o.expected_known = true;
  o.expected = r->header_.live_rows;
  o.last_auto_increment = r->header_.auto_increment;
  std::string error;
  if (!r->file_.Open(myd, &error)) {
    o.not_read = "data file " + error;
    return o;
  }
  if (r->header_.row_format == kRowCompressed) {
    const PackedHeaderResult ph = ReadPackedHeader(r->file_, r->header_, r->packed_info_);
    if (!ph.ok) {
      o.not_read = ph.unknown_format ? "not read: " + ph.error
                                     : "the compressed data file's header is damaged: " + ph.error;
      return o;
    }
    r->packed_ = true;
    r->packed_walker_ =
        std::make_unique<PackedWalker>(table, r->packed_info_, r->header_, r->file_, r->damage_);
  } else if (r->header_.row_format == kRowFixed || r->header_.row_format == kRowDynamic) {
    r->walker_ = std::make_unique<MydWalker>(table, r->header_, r->file_, r->damage_);
  } else {
    o.not_read = "not read: MyISAM row format " + std::to_string(r->header_.row_format);
    return o;
  }
  o.reader = std::move(r);
  return o;
}

std::vector<ColumnStorage> MyisamReader::storage() const {
  return MyisamColumnStorage(table_);
}

void MyisamReader::Seek(const RecordPosition& from) {
  pos_ = from.offset;
  done_ = false;
}

bool MyisamReader::NextBlock(RecordBlock& block, size_t bytes) {
  if (done_) return false;
  const uint64_t before = block.units;
  auto take = [&](const StoredRecord& rec, uint64_t) {
    const uint64_t head[3] = {rec.length, rec.position, rec.block};
    char* w = block.bytes.Reserve(kEntryHead + rec.length);
    std::memcpy(w, head, sizeof head);
    if (rec.length > 0) std::memcpy(w + kEntryHead, rec.data, rec.length);
    block.bytes.Commit(w + kEntryHead + rec.length);
    ++block.units;
    return block.bytes.size() < bytes;
  };
  pos_ = packed_ ? packed_walker_->WalkStored(pos_, take, nullptr)
                 : walker_->WalkStored(pos_, take, nullptr);
  if (pos_ == kEndOfTable) done_ = true;
  block.progress = done_ ? file_.size() : pos_;
  return block.units > before;
}

std::unique_ptr<BlockDecoder> MyisamReader::NewDecoder() const {
  return std::make_unique<MyisamBlockDecoder>(*this);
}

bool MyisamReader::Finish(uint64_t rows_read) {
  if (packed_) {
    NotePackedTableTotals(header_, file_.size(), rows_read, checksum_sum_.load(), damage_);
    return false;
  }
  // What the server last recorded tells a cut file or lost rows from a
  // complete table, which the walk alone cannot.
  if (header_.data_file_length > file_.size()) {
    damage_.Note("the file holds " + std::to_string(file_.size()) + " bytes of the " +
                 std::to_string(header_.data_file_length) + " its index file records");
  }
  if (rows_read < header_.live_rows) {
    damage_.Note("its index file counts " + std::to_string(header_.live_rows) + " rows, " +
                 std::to_string(rows_read) + " were read" +
                 (header_.open_count > 0 ? " (the table was not closed cleanly)" : ""));
  }
  return false;
}

}  // namespace vostrel
