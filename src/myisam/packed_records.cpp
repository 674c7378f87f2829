#include "myisam/packed_records.h"

#include <algorithm>
#include <cstring>

#include "myisam/bit_reader.h"

namespace vostrel {

namespace {

// myisampack leaves this many zero bytes after the last record.
constexpr uint64_t kTrailingMargin = 7;

// The rest of a code longer than the quick table, from the pair `node`.
// Distances only point forward within the tree (checked when it was read).
inline uint32_t WalkOn(const HuffmanTree& t, BitReader& br, uint32_t node) {
  for (;;) {
    if (br.held() == 0) br.Refill();
    const uint32_t bit = br.Peek(1);
    br.Skip(1);
    const uint32_t v = t.nodes[node + bit];
    if (v & HuffmanTree::kLeaf) return v & ~HuffmanTree::kLeaf;
    node += bit + v;
  }
}

inline uint32_t DecodeOne(const HuffmanTree& t, BitReader& br) {
  if (br.held() < 32) br.Refill();
  const uint32_t e = t.quick[br.Peek(t.quick_bits)];
  if (e >> 24) {
    br.Skip(e >> 24);
    return e & 0xFFFFFF;
  }
  br.Skip(t.quick_bits);
  return WalkOn(t, br, e);
}

// One refill serves several codes while they come from the quick table.
inline void DecodeBytes(const HuffmanTree& t, BitReader& br, uint8_t* to, size_t n) {
  const unsigned q = t.quick_bits;
  const uint32_t* quick = t.quick.data();
  size_t i = 0;
  while (i < n) {
    br.Refill();
    while (i < n && br.held() >= q) {
      const uint32_t e = quick[br.Peek(q)];
      if (e >> 24) {
        br.Skip(e >> 24);
        to[i++] = static_cast<uint8_t>(e);
        continue;
      }
      br.Skip(q);
      to[i++] = static_cast<uint8_t>(WalkOn(t, br, e));
      break;
    }
  }
}

size_t ImageLength(const TableDef& table, const PackedTableInfo& info) {
  size_t stored = 0;
  for (const PackedColumn& c : info.columns) stored += c.length;
  return std::max<size_t>(static_cast<size_t>(std::max(table.record_length, 0)), stored);
}

void StoreLe(uint8_t* p, size_t n, uint64_t v) {
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

PackedRecordUnpacker::PackedRecordUnpacker(const TableDef& table, const PackedTableInfo& info)
    : info_(info), image_(ImageLength(table, info), 0) {}

bool PackedRecordUnpacker::Unpack(const StoredRecord& stored, MyisamRecord& out) {
  PackedRecordHead head;
  if (!ReadPackedRecordHead(info_, stored.data, stored.length, head) ||
      head.bits_length != stored.length - head.head_length) {
    why_ = "record length header is damaged";
    return false;
  }
  if (!UnpackBits(stored.data + head.head_length, head.bits_length, head.blob_length)) {
    return false;
  }
  out = MyisamRecord{image_.data(), image_.size(), &blobs_, stored.position};
  return true;
}

bool PackedRecordUnpacker::UnpackBits(const uint8_t* bits, uint64_t length, uint64_t blob_length) {
  blobs_.clear();
  // Every blob byte costs at least one bit.
  if (blob_length > length * 8) {
    why_ = "record's blob length is impossible";
    return false;
  }
  if (blob_data_.size() < blob_length) blob_data_.resize(static_cast<size_t>(blob_length));
  uint64_t blob_used = 0;
  BitReader br(bits, static_cast<size_t>(length));
  size_t to = 0;
  why_ = "record does not decode";
  for (const PackedColumn& c : info_.columns) {
    const size_t len = c.length;
    uint8_t* dst = image_.data() + to;
    const HuffmanTree& t = info_.trees[c.tree];
    switch (c.kind) {
      case kFieldNormal:
        if ((c.pack_type & kPackSpaceFields) && br.GetBit()) {
          std::memset(dst, ' ', len);
        } else if (!(c.pack_type & kPackSpaceFields) && (c.pack_type & kPackZeroFill)) {
          DecodeBytes(t, br, dst, len - c.length_bits);
          std::memset(dst + len - c.length_bits, 0, c.length_bits);
        } else {
          DecodeBytes(t, br, dst, len);
        }
        break;
      case kFieldSkipZero:
        if (br.GetBit()) {
          std::memset(dst, 0, len);
        } else if (c.pack_type & kPackZeroFill) {
          DecodeBytes(t, br, dst, len - c.length_bits);
          std::memset(dst + len - c.length_bits, 0, c.length_bits);
        } else {
          DecodeBytes(t, br, dst, len);
        }
        break;
      case kFieldSkipEndspace:
      case kFieldSkipPrespace: {
        if ((c.pack_type & kPackSpaceFields) && br.GetBit()) {
          std::memset(dst, ' ', len);
          break;
        }
        size_t spaces = 0;
        if (!(c.pack_type & kPackSelected) || br.GetBit()) {
          spaces = br.Get(c.length_bits);
          if (spaces > len) return false;
        }
        if (c.kind == kFieldSkipEndspace) {
          DecodeBytes(t, br, dst, len - spaces);
          std::memset(dst + len - spaces, ' ', spaces);
        } else {
          std::memset(dst, ' ', spaces);
          DecodeBytes(t, br, dst + spaces, len - spaces);
        }
        break;
      }
      case kFieldConstant:
        std::memcpy(dst, info_.intervals.data() + t.interval_offset, len);
        break;
      case kFieldInterval: {
        const uint32_t index = DecodeOne(t, br);  // below elements, checked with the tree
        std::memcpy(dst, info_.intervals.data() + t.interval_offset + size_t{index} * len, len);
        break;
      }
      case kFieldZero:
      case kFieldCheck:
        std::memset(dst, 0, len);
        break;
      case kFieldBlob: {
        const size_t size_len = len - 8;
        std::memset(dst, 0, len);
        if (br.GetBit()) break;  // empty
        const uint64_t n = br.Get(c.length_bits);
        if (n > blob_length - blob_used || (size_len < 4 && n >> (8 * size_len) != 0)) {
          return false;
        }
        uint8_t* data = blob_data_.data() + blob_used;
        DecodeBytes(t, br, data, static_cast<size_t>(n));
        StoreLe(dst, size_len, n);
        blobs_.push_back(BlobSpan{static_cast<uint32_t>(to), data, static_cast<size_t>(n)});
        blob_used += n;
        break;
      }
      case kFieldVarchar: {
        const size_t prefix = len <= 256 ? 1 : 2;
        size_t n = 0;
        if (!br.GetBit()) {
          n = br.Get(c.length_bits);
          if (n > len - prefix) return false;
          DecodeBytes(t, br, dst + prefix, n);
        }
        StoreLe(dst, prefix, n);
        break;
      }
      default:
        return false;
    }
    if (br.overrun()) return false;
    to += len;
  }
  if (br.consumed_bytes() != length || blob_used != blob_length) {
    why_ = "record's bits do not add up to its length";
    return false;
  }
  return true;
}

PackedWalker::PackedWalker(const TableDef& table, const PackedTableInfo& info,
                           const MyiHeader& header, DataFile& file, DamageLog& damage)
    : info_(info), file_(file), damage_(damage), unpacker_(table, info) {
  end_ = file.size();
  if (header.data_file_length >= info.header_length && header.data_file_length <= end_) {
    end_ = header.data_file_length;
  } else {
    trailing_margin_ = true;
  }
}

void PackedWalker::NoteBadRecord(uint64_t position, const char* why) {
  damage_.NoteAt(position, why);
}

uint64_t PackedWalker::Walk(uint64_t start, const RecordVisitor& visit,
                            const std::atomic<bool>* stop) {
  return Run(start, &visit, nullptr, stop);
}

uint64_t PackedWalker::WalkStored(uint64_t start, const StoredRecordVisitor& visit,
                                  const std::atomic<bool>* stop) {
  return Run(start, nullptr, &visit, stop);
}

PackedWalker::Found PackedWalker::Locate(uint64_t pos, StoredRecord& rec, PackedRecordHead& head) {
  if (pos >= end_) return Found::kPastEnd;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(end_ - pos, 10));
  const uint8_t* p = file_.View(pos, want);
  if (p == nullptr) return Found::kPastEnd;
  if (!ReadPackedRecordHead(info_, p, want, head)) {
    return want < 10 ? Found::kPastEnd : Found::kNone;
  }
  if (head.bits_length < info_.min_pack_length || head.bits_length > info_.max_pack_length ||
      head.blob_length > head.bits_length * 8) {
    return Found::kNone;
  }
  if (head.bits_length > end_ - pos - head.head_length) return Found::kPastEnd;
  const size_t total = static_cast<size_t>(head.head_length + head.bits_length);
  p = file_.View(pos, total);
  if (p == nullptr) return Found::kPastEnd;
  rec = StoredRecord{p, total, pos, pos};
  return Found::kRecord;
}

bool PackedWalker::Confirms(uint64_t pos, int more) {
  for (;;) {
    StoredRecord rec;
    PackedRecordHead head;
    MyisamRecord image;
    if (Locate(pos, rec, head) != Found::kRecord || !unpacker_.Unpack(rec, image)) return false;
    pos += rec.length;
    if (pos == end_ || more-- == 0) return true;
  }
}

uint64_t PackedWalker::Run(uint64_t start, const RecordVisitor* visit,
                           const StoredRecordVisitor* stored, const std::atomic<bool>* stop) {
  uint64_t pos = std::max<uint64_t>(start, info_.header_length);
  // After damage the walk tries byte after byte until a record decodes and is
  // followed by another plausible one (or the end of the data). A record that
  // did not decode first has the record its length points to tried; when
  // that does not hold either, the scan starts just after the damaged one.
  bool resync = false;
  bool guessing = false;
  uint64_t retry = 0;
  auto next_candidate = [&] {
    if (guessing) {
      guessing = false;
      pos = retry;
    } else {
      ++pos;
    }
  };
  StoredRecord rec;
  PackedRecordHead head;
  MyisamRecord image;
  while (pos < end_) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) return kEndOfTable;
    if (trailing_margin_ && end_ - pos <= kTrailingMargin) {
      // Without the index file's length the zeros myisampack appends are not records.
      const uint8_t* p = file_.View(pos, static_cast<size_t>(end_ - pos));
      if (p != nullptr && std::all_of(p, p + (end_ - pos), [](uint8_t b) { return b == 0; })) {
        break;
      }
    }
    const Found found = Locate(pos, rec, head);
    if (found != Found::kRecord) {
      if (!resync) {
        damage_.NoteAt(pos, found == Found::kPastEnd ? "data ends inside a record"
                                                     : "record length header is impossible");
        resync = true;
        guessing = false;
      }
      next_candidate();
      continue;
    }
    const uint64_t next = pos + rec.length;
    if (resync) {
      // Found again only when this record and the two after it decode
      // (fewer where the data ends): garbage rarely passes three times.
      bool ok = Confirms(pos, 2);
      if (ok) {
        Locate(pos, rec, head);  // the look ahead moved the file's buffer
        ok = unpacker_.Unpack(rec, image);
      }
      if (!ok) {
        next_candidate();
        continue;
      }
      resync = false;
      guessing = false;
    } else if (visit != nullptr && !unpacker_.Unpack(rec, image)) {
      damage_.NoteAt(pos, unpacker_.why());
      resync = true;
      guessing = true;
      retry = pos + 1;
      pos = next;
      continue;
    }
    bool go_on;
    if (visit != nullptr) {
      go_on = (*visit)(image, next);
    } else {
      go_on = (*stored)(rec, next);
    }
    pos = next;
    if (!go_on) return pos < end_ ? pos : kEndOfTable;
  }
  return kEndOfTable;
}

void NotePackedTableTotals(const MyiHeader& header, uint64_t file_size, uint64_t rows_read,
                           uint32_t checksum_sum, DamageLog& damage) {
  if (header.data_file_length > file_size) {
    damage.Note("the file holds " + std::to_string(file_size) + " bytes of the " +
                std::to_string(header.data_file_length) + " its index file records");
  }
  if (rows_read < header.live_rows) {
    damage.Note("its index file counts " + std::to_string(header.live_rows) + " rows, " +
                std::to_string(rows_read) + " were read" +
                (header.open_count > 0 ? " (the table was not closed cleanly)" : ""));
  } else if (rows_read == header.live_rows && checksum_sum != header.table_checksum) {
    damage.Note(
        "the rows read do not add up to the index file's checksum: some value is not "
        "the one written");
  }
}

}  // namespace vostrel
