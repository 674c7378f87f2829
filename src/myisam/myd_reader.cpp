#include "myisam/myd_reader.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_set>

#include "model/value_text.h"

namespace vostrel {

namespace {

constexpr size_t kBlockHeader = 20;
constexpr uint64_t kAlign = 4;  // dynamic blocks start on 4-byte boundaries

struct BlockInfo {
  uint8_t type = 0;
  uint64_t rec_len = 0;
  uint64_t data_len = 0;
  uint64_t block_len = 0;
  uint64_t filepos = 0;
  uint64_t next_filepos = 0;
  bool first = false;
  bool last = false;
  bool deleted = false;
  bool chained = false;  // a further block of the record follows
  bool valid = true;
};

uint64_t Be(const uint8_t* p, size_t n) {
  return ReadUnsignedBe(p, n);
}

BlockInfo ReadBlockHeader(const uint8_t* h, uint64_t pos) {
  BlockInfo b;
  b.type = h[0];
  switch (b.type) {
    case 0:
      b.deleted = true;
      b.filepos = pos;
      b.block_len = Be(h + 1, 3);
      b.next_filepos = Be(h + 4, 8);
      break;
    case 1:
    case 2:
    case 3:
    case 4: {
      const size_t w = (b.type == 1 || b.type == 3) ? 2 : 3;
      b.rec_len = b.data_len = Be(h + 1, w);
      b.filepos = pos + 1 + w + (b.type >= 3 ? 1 : 0);
      b.block_len = b.data_len + (b.type >= 3 ? h[1 + w] : 0);
      b.first = b.last = true;
      break;
    }
    case 5:
      b.rec_len = Be(h + 1, 2);
      b.data_len = b.block_len = Be(h + 3, 2);
      b.next_filepos = Be(h + 5, 8);
      b.filepos = pos + 13;
      b.first = b.chained = true;
      break;
    case 6:
      b.rec_len = Be(h + 1, 3);
      b.data_len = b.block_len = Be(h + 4, 3);
      b.next_filepos = Be(h + 7, 8);
      b.filepos = pos + 15;
      b.first = b.chained = true;
      break;
    case 7:
    case 8:
    case 9:
    case 10: {
      const size_t w = (b.type == 7 || b.type == 9) ? 2 : 3;
      b.data_len = Be(h + 1, w);
      b.filepos = pos + 1 + w + (b.type >= 9 ? 1 : 0);
      b.block_len = b.data_len + (b.type >= 9 ? h[1 + w] : 0);
      b.last = true;
      break;
    }
    case 11:
      b.data_len = b.block_len = Be(h + 1, 2);
      b.next_filepos = Be(h + 3, 8);
      b.filepos = pos + 11;
      b.chained = true;
      break;
    case 12:
      b.data_len = b.block_len = Be(h + 1, 3);
      b.next_filepos = Be(h + 4, 8);
      b.filepos = pos + 12;
      b.chained = true;
      break;
    case 13:
      b.rec_len = Be(h + 1, 4);
      b.data_len = b.block_len = Be(h + 5, 3);
      b.next_filepos = Be(h + 8, 8);
      b.filepos = pos + 16;
      b.first = b.chained = true;
      break;
    default:
      b.valid = false;
  }
  return b;
}

// Column bytes are mostly short; overlapping fixed-size copies stay inline
// where a library call per column would cost more than the copy. Reads and
// writes stay within the n bytes.
inline void CopyBytes(uint8_t* to, const uint8_t* from, size_t n) {
  if (n >= 8 && n <= 16) {
    std::memcpy(to, from, 8);
    std::memcpy(to + n - 8, from + n - 8, 8);
  } else if (n >= 4 && n < 8) {
    std::memcpy(to, from, 4);
    std::memcpy(to + n - 4, from + n - 4, 4);
  } else if (n >= 2 && n < 4) {
    std::memcpy(to, from, 2);
    std::memcpy(to + n - 2, from + n - 2, 2);
  } else if (n == 1) {
    *to = *from;
  } else if (n > 16) {
    std::memcpy(to, from, n);
  }
}

size_t ImageLength(const TableDef& table, const MyiHeader& header) {
  size_t stored = 0;
  for (const MyiColumn& c : header.myi_columns) stored += c.length;
  return std::max<size_t>(static_cast<size_t>(std::max(table.record_length, 0)), stored);
}

}  // namespace

RecordUnpacker::RecordUnpacker(const TableDef& table, const MyiHeader& header)
    : header_(header), image_length_(ImageLength(table, header)) {}

bool RecordUnpacker::Unpack(const StoredRecord& stored, MyisamRecord& out) {
  if (header_.row_format != kRowDynamic) {
    out = MyisamRecord{stored.data, stored.length, nullptr, stored.position};
    return true;
  }
  if (!UnpackDynamicRow(stored.data, stored.length)) return false;
  out = Rebuilt(stored.position);
  return true;
}

MydWalker::MydWalker(const TableDef& table, const MyiHeader& header, DataFile& file,
                     DamageLog& damage)
    : table_(table), header_(header), file_(file), damage_(damage), unpacker_(table, header) {}

uint64_t MydWalker::Walk(uint64_t start, const RecordVisitor& visit,
                         const std::atomic<bool>* stop) {
  switch (header_.row_format) {
    case kRowFixed:
      return WalkFixed(start, &visit, nullptr, stop);
    case kRowDynamic:
      return WalkDynamic(start, &visit, nullptr, stop);
    default:
      return kEndOfTable;
  }
}

uint64_t MydWalker::WalkStored(uint64_t start, const StoredRecordVisitor& visit,
                               const std::atomic<bool>* stop) {
  switch (header_.row_format) {
    case kRowFixed:
      return WalkFixed(start, nullptr, &visit, stop);
    case kRowDynamic:
      return WalkDynamic(start, nullptr, &visit, stop);
    default:
      return kEndOfTable;
  }
}

void MydWalker::NoteBadRecord(uint64_t block) {
  damage_.NoteAt(block, "record is damaged");
}

uint64_t MydWalker::WalkFixed(uint64_t start, const RecordVisitor* visit,
                              const StoredRecordVisitor* stored, const std::atomic<bool>* stop) {
  const uint64_t size = file_.size();
  uint64_t step = header_.packed_row_length;
  // A file of one row is as long as the row.
  if (step == 0 || step > size) step = static_cast<uint64_t>(std::max(table_.record_length, 0));
  if (step == 0) {
    if (size > 0) damage_.Note("row length is zero");
    return kEndOfTable;
  }
  // At least the byte holding the delete mark.
  const size_t len =
      static_cast<size_t>(std::min<uint64_t>(std::max<size_t>(unpacker_.image_length(), 1), step));
  for (uint64_t pos = start; pos < size; pos += step) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) return kEndOfTable;
    if (size - pos < step) {
      damage_.NoteAt(pos, "data file ends inside a row");
      break;
    }
    const uint8_t* p = file_.View(pos, len);
    if (p == nullptr) {
      damage_.NoteAt(pos, "row cannot be read");
      break;
    }
    if ((p[0] & 1) == 0) continue;  // the delete mark: first bit cleared
    const bool go_on = visit != nullptr ? (*visit)(MyisamRecord{p, len, nullptr, pos}, pos + step)
                                        : (*stored)(StoredRecord{p, len, pos, pos}, pos + step);
    if (!go_on) return pos + step < size ? pos + step : kEndOfTable;
  }
  return kEndOfTable;
}

uint64_t MydWalker::WalkDynamic(uint64_t start, const RecordVisitor* visit,
                                const StoredRecordVisitor* stored, const std::atomic<bool>* stop) {
  const uint64_t size = file_.size();
  if (header_.myi_columns.empty()) {
    if (size > 0) damage_.Note("no column table to unpack dynamic rows");
    return kEndOfTable;
  }
  uint8_t h[kBlockHeader];
  uint64_t pos = start;
  // After damage the walk steps block-alignment by block-alignment until a
  // record reads cleanly again; garbage must not make it jump far ahead.
  bool resync = false;
  auto lost = [&](const std::string& what) {
    if (!resync) damage_.NoteAt(pos, what);
    resync = true;
    pos = (pos / kAlign + 1) * kAlign;
  };
  auto sane_link = [size](uint64_t p) { return p < size || p == UINT64_MAX; };
  // Blocks of the record being assembled: one met again means the chain loops
  // and the bytes gathered would not be the record's.
  std::unordered_set<uint64_t> chain;
  while (pos < size) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) return kEndOfTable;
    // Read in place; only the file's last bytes need the zero-padded copy.
    const uint8_t* head = file_.View(pos, kBlockHeader);
    if (head == nullptr) {
      std::memset(h, 0, sizeof h);
      file_.Read(pos, kBlockHeader, h);
      head = h;
    }
    const BlockInfo first = ReadBlockHeader(head, pos);
    const uint64_t after = first.filepos + first.block_len;  // end of this block
    const uint64_t block = pos;
    if (!first.valid) {
      lost("unknown block type " + std::to_string(first.type));
      continue;
    }
    if (first.deleted) {
      // Freed space: its length and links must be plausible before it is skipped.
      const uint64_t prev = ReadUnsignedBe(head + 12, 8);
      if (first.block_len < kBlockHeader || first.block_len % kAlign != 0 || after > size ||
          !sane_link(first.next_filepos) || !sane_link(prev)) {
        lost("deleted block of impossible length");
        continue;
      }
      pos = after;
      continue;
    }
    if (!first.first) {
      // A later block of a record, reached through its chain.
      if (first.data_len == 0 || after <= pos || after > size) {
        lost("block of impossible length");
        continue;
      }
      if (resync) {
        pos = (pos / kAlign + 1) * kAlign;
      } else {
        pos = after;
      }
      continue;
    }
    if (after <= pos || after > size) {
      lost("record block runs past the end of the file");
      continue;
    }
    // Assemble the record from its chain; every block must bring bytes, so the
    // chain ends within rec_len steps.
    bool ok = first.rec_len > 0 && first.rec_len <= size && first.data_len <= first.rec_len;
    const char* why = "record is damaged";
    if (!chain.empty()) chain.clear();
    // A record in one block is unpacked straight from the file's buffer; a
    // chained one is gathered into record_ first.
    const uint8_t* packed = nullptr;
    size_t packed_len = 0;
    BlockInfo b = first;
    uint64_t left = first.rec_len;
    if (ok && b.data_len == left && b.filepos <= size && b.data_len <= size - b.filepos) {
      packed = file_.View(b.filepos, b.data_len);
      packed_len = b.data_len;
      ok = packed != nullptr;
    }
    while (ok && packed == nullptr) {
      if (b.data_len == 0 || b.data_len > left || b.filepos > size ||
          b.data_len > size - b.filepos) {
        ok = false;
        break;
      }
      // Grown only, never zero-filled per record: Read overwrites what is used.
      if (record_.size() < packed_len + b.data_len) record_.resize(packed_len + b.data_len);
      if (file_.Read(b.filepos, b.data_len, record_.data() + packed_len) != b.data_len) {
        ok = false;
        break;
      }
      packed_len += b.data_len;
      left -= b.data_len;
      if (left == 0) {
        packed = record_.data();
        break;
      }
      if (!b.chained || b.next_filepos >= size) {
        ok = false;
        break;
      }
      const uint64_t next = b.next_filepos;
      if (!chain.insert(next).second) {
        why = "block chain of a record loops";
        ok = false;
        break;
      }
      std::memset(h, 0, sizeof h);
      file_.Read(next, kBlockHeader, h);
      b = ReadBlockHeader(h, next);
      if (!b.valid || b.first || b.deleted) {
        ok = false;
        break;
      }
    }
    // Stored records are unpacked by the caller; here only while resynchronising,
    // where a record that does not fit means the walk is not on a record yet.
    if (ok && (visit != nullptr || resync)) ok = unpacker_.UnpackDynamicRow(packed, packed_len);
    if (!ok) {
      if (resync) {
        pos = (pos / kAlign + 1) * kAlign;
      } else {
        damage_.NoteAt(pos, why);
        pos = after;
      }
      continue;
    }
    resync = false;
    pos = after;
    bool go_on;
    if (visit != nullptr) {
      go_on = (*visit)(unpacker_.Rebuilt(first.filepos), pos);
    } else {
      go_on = (*stored)(StoredRecord{packed, packed_len, first.filepos, block}, pos);
    }
    if (!go_on) return pos < size ? pos : kEndOfTable;
  }
  return kEndOfTable;
}

bool RecordUnpacker::UnpackDynamicRow(const uint8_t* data, size_t length) {
  // No image length: the column tables describe no row at all.
  if (length < header_.min_packed_length || length < header_.flag_bytes || image_length_ == 0) {
    return false;
  }
  // The image is zeroed once; each column below writes every byte a decoder
  // reads (a VARCHAR's bytes past its length are never read).
  if (image_.size() != image_length_) image_.assign(image_length_, 0);
  blobs_.clear();
  const uint8_t* from = data + header_.flag_bytes;
  const uint8_t* end = data + length;
  const uint8_t* flags = data;
  unsigned bit = 1;
  unsigned flag = header_.flag_bytes > 0 ? flags[0] : 0;
  size_t flag_index = 0;
  uint64_t min_left = header_.min_packed_length - header_.flag_bytes;
  size_t to = 0;
  auto next_bit = [&] {
    bit <<= 1;
    if (bit >= 256) {
      bit = 1;
      ++flag_index;
      flag = flag_index < header_.flag_bytes ? flags[flag_index] : 0;
    }
  };
  for (const MyiColumn& col : header_.myi_columns) {
    const size_t len = col.length;
    if (to + len > image_.size()) return false;
    uint8_t* dst = image_.data() + to;
    const size_t left = static_cast<size_t>(end - from);
    const int16_t kind = col.kind;
    if (kind == kFieldNormal || kind == kFieldCheck) {
      if (min_left > left || len > left) return false;
      min_left -= std::min<uint64_t>(min_left, len);
      CopyBytes(dst, from, len);
      from += len;
    } else if (kind == kFieldVarchar) {
      if (len == 0) return false;
      size_t n;
      size_t prefix;
      if (len - 1 < 256) {
        if (left < 1) return false;
        n = from[0];
        prefix = 1;
        if (n > len - 1) return false;
        dst[0] = from[0];
        from += 1;
      } else {
        if (left < 1) return false;
        if (from[0] != 255) {
          n = from[0];
          from += 1;
        } else {
          if (left < 3) return false;
          n = (size_t{from[1]} << 8) | from[2];
          from += 3;
        }
        prefix = 2;
        if (len < 2 || n > len - 2) return false;
        dst[0] = static_cast<uint8_t>(n & 0xFF);
        dst[1] = static_cast<uint8_t>(n >> 8);
      }
      if (n > static_cast<size_t>(end - from)) return false;
      CopyBytes(dst + prefix, from, n);
      from += n;
      if (min_left > 0) --min_left;
    } else {
      if (flag & bit) {
        if (kind == kFieldSkipEndspace || kind == kFieldSkipPrespace) {
          size_t n;
          if (len > 255 && left >= 1 && (from[0] & 128)) {
            if (left < 2) return false;
            n = (from[0] & 127u) + (size_t{from[1]} << 7);
            from += 2;
          } else {
            if (left < 1) return false;
            n = from[0];
            from += 1;
          }
          if (min_left > 0) --min_left;
          if (n >= len || min_left + n > static_cast<size_t>(end - from)) return false;
          if (kind == kFieldSkipEndspace) {
            CopyBytes(dst, from, n);
            std::memset(dst + n, ' ', len - n);
          } else {
            std::memset(dst, ' ', len - n);
            CopyBytes(dst + len - n, from, n);
          }
          from += n;
        } else {
          // Blob and zero fields with the bit set are empty / all zero.
          std::memset(dst, 0, len);
        }
      } else if (kind == kFieldBlob) {
        if (len < 9 || len > 12) return false;
        const size_t size_len = len - 8;
        if (left < size_len) return false;
        const uint64_t blob_len = ReadUnsignedLe(from, size_len);
        if (left - size_len < blob_len || left - size_len - blob_len < min_left) return false;
        std::memcpy(dst, from, size_len);
        std::memset(dst + size_len, 0, len - size_len);
        blobs_.push_back(
            BlobSpan{static_cast<uint32_t>(to), from + size_len, static_cast<size_t>(blob_len)});
        from += size_len + blob_len;
      } else {
        if (kind == kFieldSkipEndspace || kind == kFieldSkipPrespace) {
          if (min_left > 0) --min_left;
        }
        if (min_left + len > left) return false;
        CopyBytes(dst, from, len);
        from += len;
      }
      next_bit();
    }
    to += len;
  }
  return true;
}

}  // namespace vostrel
