#include "innodb/zip_page.h"

#include <algorithm>
#include <cstring>

#include "innodb/page.h"

namespace vostrel {

namespace {

constexpr size_t kPageData = 94;  // FIL header, index page header, segment headers
constexpr size_t kInfimum = 99;
constexpr size_t kSupremum = 112;
constexpr size_t kZipStart = 120;  // records begin after the supremum
constexpr size_t kExtra = 5;       // fixed record header, never in the stream
constexpr size_t kDirEnd = kPageSize - 8;
constexpr uint16_t kSlotMask = 0x3FFF;
constexpr uint16_t kSlotOwned = 0x4000;
constexpr uint16_t kSlotDeleted = 0x8000;
constexpr size_t kTrxRoll = 13;  // DB_TRX_ID + DB_ROLL_PTR
constexpr size_t kChildLen = 4;
constexpr size_t kRefLen = 20;
constexpr size_t kMaxFields = 1023;
constexpr size_t kMaxFixedRun = 768;
constexpr uint8_t kDeletedFlag = 0x20;
constexpr uint8_t kMinRecFlag = 0x10;
constexpr unsigned kStatusNodePtr = 1;
constexpr uint16_t kUnknown = 0xFFFF;

constexpr size_t kNDirSlots = kPageHeader + 0;
constexpr size_t kHeapTop = kPageHeader + 2;
constexpr size_t kNHeap = kPageHeader + 4;
constexpr size_t kNRecs = kPageHeader + 16;

enum Kind : uint8_t { kValue = 0, kNull = 1, kExtern = 2 };

void Put16(uint8_t* p, size_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

void SetNext(uint8_t* page, size_t rec, size_t next) {
  Put16(page + rec - 2, next == 0 ? 0 : (next - rec) & 0xFFFF);
}

bool Fail(std::string* problem, std::string why) {
  if (problem) *problem = std::move(why);
  return false;
}

// Decodes the field list at the start of the stream.
bool DecodeFields(const uint8_t* b, const uint8_t* end, bool leaf, ZipPageLayout& l,
                  std::string* problem) {
  size_t n = 0;
  const uint8_t* p = b;
  while (p < end) {
    if (*p++ & 0x80) ++p;
    ++n;
  }
  if (p > end || n < 2) return Fail(problem, "the field list is cut short");
  --n;  // the last entry is not a field
  if (n > kMaxFields) return Fail(problem, "the field list holds too many fields");
  l.field_info.assign(b, end);
  l.fields.resize(n);
  size_t nullable = 0;
  p = b;
  for (size_t i = 0; i < n; ++i) {
    unsigned val = *p++;
    ZipField& f = l.fields[i];
    if (val & 0x80) {
      val = ((val & 0x7F) << 8) | *p++;
      f.fixed_len = static_cast<uint16_t>(val >> 1);
      if (f.fixed_len == 0) return Fail(problem, "the field list has a zero-length field");
    } else if (val >= 126) {
      f.big = true;
    } else if (val > 1) {
      f.fixed_len = static_cast<uint16_t>(val >> 1);
    }
    f.not_null = (val & 1) != 0;
    nullable += !f.not_null;
  }
  unsigned last = *p++;
  if (last & 0x80) last = ((last & 0x7F) << 8) | *p++;
  l.leaf = leaf;
  if (leaf) {
    l.nullable = nullable;
    if (last != 0) {
      if (last >= n) return Fail(problem, "the field list puts DB_TRX_ID past its fields");
      const ZipField& trx = l.fields[last];
      if (!trx.not_null || trx.fixed_len < kTrxRoll) {
        return Fail(problem, "the field list's DB_TRX_ID field is not 13 fixed bytes");
      }
      l.clustered = true;
      l.trx_id_field = last;
    }
  } else {
    if (nullable > last)
      return Fail(problem, "the field list counts fewer nullable fields than it has");
    l.nullable = last;
  }
  return true;
}

// Field ends of one record, read from its header. `hb(k)` gives the k-th
// header byte outward from the record (null bitmap first, then lengths), or
// -1 when that byte lies outside what may be read.
template <typename HeaderByte>
bool ReadOffsets(const ZipPageLayout& l, bool node_ptr, HeaderByte hb, std::vector<uint16_t>& start,
                 std::vector<uint16_t>& end, std::vector<uint8_t>& kind, size_t& extra,
                 size_t& data, bool& any_extern) {
  const size_t nf = l.fields.size();
  const size_t n = node_ptr ? nf + 1 : nf;
  const size_t null_bytes = (l.nullable + 7) / 8;
  size_t null_at = 0;
  unsigned mask = 1;
  size_t len_at = null_bytes;
  size_t offs = 0;
  any_extern = false;
  for (size_t i = 0; i < n; ++i) {
    start[i] = static_cast<uint16_t>(offs);
    kind[i] = kValue;
    if (i == nf) {
      offs += kChildLen;
      end[i] = static_cast<uint16_t>(offs);
      continue;
    }
    const ZipField& f = l.fields[i];
    if (!f.not_null) {
      if (mask == 0x100) {
        ++null_at;
        mask = 1;
      }
      if (null_at >= null_bytes) return false;
      const int b = hb(null_at);
      if (b < 0) return false;
      const bool is_null = (b & mask) != 0;
      mask <<= 1;
      if (is_null) {
        kind[i] = kNull;
        end[i] = static_cast<uint16_t>(offs);
        continue;
      }
    }
    if (f.fixed_len != 0) {
      offs += f.fixed_len;
    } else {
      const int b = hb(len_at++);
      if (b < 0) return false;
      size_t len = static_cast<size_t>(b);
      if (f.big && (b & 0x80)) {
        const int b2 = hb(len_at++);
        if (b2 < 0) return false;
        len = (static_cast<size_t>(b & 0x3F) << 8) | static_cast<size_t>(b2);
        if (b & 0x40) {
          kind[i] = kExtern;
          any_extern = true;
        }
      }
      offs += len;
    }
    if (offs >= kPageSize) return false;
    end[i] = static_cast<uint16_t>(offs);
  }
  extra = len_at + kExtra;
  data = offs;
  return true;
}

// One page being rebuilt.
struct Job {
  const uint8_t* zp;
  size_t zip_size;
  uint8_t* page;
  z_stream& zs;
  ZipPageLayout& l;
  std::vector<uint16_t>& recs;
  std::vector<uint16_t>& start;
  std::vector<uint16_t>& end;
  std::vector<uint8_t>& kind;
  std::vector<uint16_t>& freed;  // offsets of the free list, sorted
  std::vector<uint16_t>& known;  // per slot: where its trailer bytes go, or kUnknown
  std::vector<uint8_t>& scratch;
  std::string* problem;
  uint8_t* out = nullptr;        // next page byte the stream fills
  const uint8_t* src = nullptr;  // inflated stream not yet placed
  const uint8_t* src_end = nullptr;

  size_t n_dense = 0;
  size_t n_recs = 0;
  size_t limit = 0;  // first byte of the sparse directory
  unsigned heap_status = 0;
  size_t extra = 0, data = 0;
  bool any_extern = false;

  uint16_t Dense(size_t i) const {
    const uint8_t* s = zp + zip_size - 2 * (i + 1);
    return static_cast<uint16_t>((s[0] << 8) | s[1]);
  }

  bool Fail(const std::string& why) { return vostrel::Fail(problem, why); }
  size_t Len(size_t i) const { return static_cast<size_t>(end[i] - start[i]); }

  bool OffsetsFromPage(size_t rec, bool node_ptr) {
    const uint8_t* pg = page;
    return ReadOffsets(
        l, node_ptr,
        [pg, rec](size_t k) -> int {
          return rec >= kZipStart + kExtra + 1 + k ? pg[rec - kExtra - 1 - k] : -1;
        },
        start, end, kind, extra, data, any_extern);
  }

  bool OffsetsFromLog(const uint8_t* log, const uint8_t* log_end, bool node_ptr) {
    return ReadOffsets(
        l, node_ptr,
        [log, log_end](size_t k) -> int {
          return k < static_cast<size_t>(log_end - log) ? log[k] : -1;
        },
        start, end, kind, extra, data, any_extern);
  }

  // The stream is inflated in one go into `src`; these copy it into the page
  // up to `to`. Before a record the stream may end (the remaining records are
  // in the modification log); inside one it may not.
  enum Step { kFilled, kEnded, kBroken };
  Step CopyTo(size_t to, bool record_start) {
    uint8_t* dst = page + to;
    if (to > limit || dst < out) return kBroken;
    const size_t need = static_cast<size_t>(dst - out);
    const size_t have = static_cast<size_t>(src_end - src);
    if (record_start && have <= need) {
      std::memcpy(out, src, have);
      out += have;
      src += have;
      return kEnded;
    }
    if (have < need) return kBroken;
    std::memcpy(out, src, need);
    out += need;
    src += need;
    return kFilled;
  }

  bool Run();
  bool DirDecode();
  bool Records(bool& ended);
  bool ApplyLog(const uint8_t* log, const uint8_t* log_end, const uint8_t** log_stop);
  bool ApplyLogExtern(size_t rec, const uint8_t*& log, const uint8_t* log_end);
  bool RestoreTrailer(const uint8_t* log_stop);
  bool SetExtraBytes();
};

bool Job::DirDecode() {
  const size_t n_slots = PageU16(page, kNDirSlots);
  if (n_slots < 2 || kDirEnd - 2 * n_slots <= kZipStart)
    return Fail("the page directory size is impossible");
  limit = kDirEnd - 2 * n_slots;
  size_t owned = 0;
  for (size_t i = 0; i < n_recs; ++i) owned += (Dense(i) & kSlotOwned) != 0;
  if (owned + 2 != n_slots)
    return Fail("the dense directory does not match the page directory size");
  std::memset(page + kDirEnd, 0, kPageSize - kDirEnd);
  size_t slot = kDirEnd - 2;
  Put16(page + slot, kInfimum);
  recs.resize(n_dense);
  known.assign(n_dense, kUnknown);
  for (size_t i = 0; i < n_dense; ++i) {
    const uint16_t d = Dense(i);
    if (i < n_recs) {
      if (d & kSlotOwned) {
        slot -= 2;
        Put16(page + slot, d & kSlotMask);
      }
    } else if (d & ~kSlotMask) {
      return Fail("a deleted record in the dense directory carries flags");
    }
    recs[i] = d & kSlotMask;
  }
  Put16(page + slot - 2, kSupremum);
  std::sort(recs.begin(), recs.end());
  for (size_t i = 0; i < n_dense; ++i) {
    if (recs[i] < kZipStart + kExtra || recs[i] >= limit) {
      return Fail("the dense directory points outside the record heap");
    }
    if (i > 0 && recs[i] <= recs[i - 1]) return Fail("the dense directory lists a record twice");
  }
  return true;
}

// Records in heap order: the header bytes before each record, its data, with
// the bytes kept outside the stream (trx id, off-page references, child page
// numbers) left as zero gaps.
bool Job::Records(bool& ended) {
  ended = false;
  const bool node_ptr = !l.leaf;
  for (size_t slot = 0; slot < n_dense; ++slot) {
    const size_t rec = recs[slot];
    if (l.leaf && !l.clustered && page + rec - kExtra == out) {
      // Secondary leaf records follow each other in the stream.
    } else {
      const Step s = CopyTo(rec - kExtra, true);
      if (s == kEnded) {
        if (out == page + rec - kExtra) {
          out = page + rec;
          Put16(page + rec - 4, heap_status);
          heap_status += 8;
        }
        ended = true;
        return true;
      }
      if (s == kBroken)
        return Fail("the compressed stream breaks before record " + std::to_string(slot));
    }
    out = page + rec;
    Put16(page + rec - 4, heap_status);
    heap_status += 8;
    ++l.stream_records;
    if (!l.leaf || l.clustered) {
      if (!OffsetsFromPage(rec, node_ptr) || rec + data > limit) {
        return Fail("record " + std::to_string(slot) + " has a header that does not fit the page");
      }
      // Unless the log rewrites it, the trailer pass needs only this.
      if (node_ptr) {
        known[slot] = static_cast<uint16_t>(data - kChildLen);
      } else if (!any_extern && Len(l.trx_id_field) >= kTrxRoll) {
        known[slot] = start[l.trx_id_field];
      }
    }
    if (node_ptr) {
      if (CopyTo(rec + data - kChildLen, false) != kFilled) {
        return Fail("the compressed stream breaks inside node pointer " + std::to_string(slot));
      }
      std::memset(out, 0, kChildLen);
      out += kChildLen;
    } else if (l.clustered) {
      const size_t nf = l.fields.size();
      for (size_t i = 0; i < nf; ++i) {
        size_t gap_at, gap_len;
        if (i == l.trx_id_field) {
          if (kind[i] != kValue || Len(i) < kTrxRoll) {
            return Fail("record " + std::to_string(slot) + " has no room for DB_TRX_ID");
          }
          gap_at = rec + start[i];
          gap_len = kTrxRoll;
        } else if (kind[i] == kExtern) {
          if (Len(i) < kRefLen) {
            return Fail("record " + std::to_string(slot) + " has a short off-page reference");
          }
          gap_at = rec + end[i] - kRefLen;
          gap_len = kRefLen;
        } else {
          continue;
        }
        if (CopyTo(gap_at, false) != kFilled) {
          return Fail("the compressed stream breaks inside record " + std::to_string(slot));
        }
        std::memset(out, 0, gap_len);
        out += gap_len;
      }
      if (CopyTo(rec + data, false) != kFilled) {
        return Fail("the compressed stream breaks inside record " + std::to_string(slot));
      }
    }
  }
  // The rest of the heap: the last secondary record and any unused tail.
  const size_t heap_top = PageU16(page, kHeapTop);
  if (heap_top > limit || page + heap_top < out) {
    return Fail("the heap top lies outside the record heap");
  }
  // The stream may stop short of the heap top when records were added later.
  if (static_cast<size_t>(src_end - src) > static_cast<size_t>(page + heap_top - out)) {
    return Fail("the compressed stream runs past the heap top");
  }
  const size_t rest = static_cast<size_t>(src_end - src);
  std::memcpy(out, src, rest);
  out += rest;
  src += rest;
  return true;
}

bool Job::ApplyLogExtern(size_t rec, const uint8_t*& log, const uint8_t* log_end) {
  size_t out = rec;
  for (size_t i = 0; i < l.fields.size(); ++i) {
    if (i == l.trx_id_field) {
      const size_t at = rec + start[i];
      if (kind[i] != kValue || Len(i) < kTrxRoll ||
          at - out >= static_cast<size_t>(log_end - log)) {
        return Fail("a modification-log record has no room for DB_TRX_ID");
      }
      std::memcpy(page + out, log, at - out);
      log += at - out;
      out = at + kTrxRoll;
    } else if (kind[i] == kExtern) {
      if (Len(i) < kRefLen) return Fail("a modification-log record has a short reference");
      const size_t len = rec + end[i] - kRefLen - out;
      if (len >= static_cast<size_t>(log_end - log))
        return Fail("a modification-log record runs past the log");
      std::memcpy(page + out, log, len);
      log += len;
      out += len + kRefLen;
    }
  }
  const size_t len = rec + data - out;
  if (len >= static_cast<size_t>(log_end - log))
    return Fail("a modification-log record runs past the log");
  std::memcpy(page + out, log, len);
  log += len;
  return true;
}

// Each entry: heap number and a "cleared" bit, then (unless cleared) the
// record header bytes in reverse and the data bytes, minus what the trailer
// keeps.
bool Job::ApplyLog(const uint8_t* log, const uint8_t* log_end, const uint8_t** log_stop) {
  for (;;) {
    if (log >= log_end) return Fail("the modification log has no end marker");
    unsigned val = *log++;
    if (val == 0) {
      *log_stop = log - 1;
      return true;
    }
    if (val & 0x80) {
      if (log >= log_end) return Fail("the modification log is cut short");
      val = ((val & 0x7F) << 8) | *log++;
    }
    if (log >= log_end) return Fail("the modification log is cut short");
    const size_t heap_no_minus_1 = val >> 1;
    if (heap_no_minus_1 == 0 || heap_no_minus_1 > n_dense) {
      return Fail("the modification log names a record the page does not have");
    }
    const size_t rec = recs[heap_no_minus_1 - 1];
    const unsigned hs = static_cast<unsigned>((heap_no_minus_1 + 1) << 3) | (heap_status & 7);
    if (hs > heap_status) return Fail("the modification log skips a record");
    if (hs == heap_status) {
      if (val & 1) return Fail("the modification log clears a record never written");
      heap_status += 8;
    }
    Put16(page + rec - 4, hs);
    ++l.log_entries;
    known[heap_no_minus_1 - 1] = kUnknown;
    const bool node_ptr = (hs & kStatusNodePtr) != 0;
    if (val & 1) {
      if (!OffsetsFromPage(rec, node_ptr) || rec + data > limit) {
        return Fail("a record cleared by the modification log does not fit the page");
      }
      std::memset(page + rec, 0, data);
      continue;
    }
    if (!OffsetsFromLog(log, log_end, node_ptr))
      return Fail("a modification-log record header runs past the log");
    if (rec < kZipStart + extra || rec + data > limit) {
      return Fail("a modification-log record does not fit the page");
    }
    for (size_t b = rec - kExtra; b != rec - extra;) page[--b] = *log++;
    if (any_extern) {
      if (node_ptr) return Fail("a node pointer in the modification log refers to value pages");
      if (!ApplyLogExtern(rec, log, log_end)) return false;
    } else if (node_ptr) {
      const size_t len = data - kChildLen;
      if (len >= static_cast<size_t>(log_end - log))
        return Fail("a modification-log record runs past the log");
      std::memcpy(page + rec, log, len);
      log += len;
    } else if (!l.clustered) {
      if (data >= static_cast<size_t>(log_end - log))
        return Fail("a modification-log record runs past the log");
      std::memcpy(page + rec, log, data);
      log += data;
    } else {
      const size_t t = l.trx_id_field;
      if (kind[t] != kValue || Len(t) < kTrxRoll) {
        return Fail("a modification-log record has no room for DB_TRX_ID");
      }
      const size_t before = start[t];
      if (before >= static_cast<size_t>(log_end - log))
        return Fail("a modification-log record runs past the log");
      std::memcpy(page + rec, log, before);
      log += before;
      const size_t after = data - before - kTrxRoll;
      if (after >= static_cast<size_t>(log_end - log))
        return Fail("a modification-log record runs past the log");
      std::memcpy(page + rec + before + kTrxRoll, log, after);
      log += after;
    }
  }
}

// The uncompressed trailer below the dense directory: per record in heap
// order the child page number, or DB_TRX_ID + DB_ROLL_PTR; below those the
// off-page references of live records, in record order.
bool Job::RestoreTrailer(const uint8_t* log_stop) {
  if (l.leaf && !l.clustered) return true;
  const uint8_t* storage = zp + zip_size - 2 * n_dense;
  const bool node_ptr = !l.leaf;
  if (node_ptr) {
    for (size_t slot = 0; slot < n_dense; ++slot) {
      const size_t rec = recs[slot];
      size_t at = known[slot];
      if (at == kUnknown) {
        if (!OffsetsFromPage(rec, true) || rec + data > limit) {
          return Fail("node pointer " + std::to_string(slot) + " does not fit the page");
        }
        at = data - kChildLen;
      }
      storage -= kChildLen;
      std::memcpy(page + rec + at, storage, kChildLen);
    }
    return true;
  }
  freed.clear();
  for (size_t i = n_recs; i < n_dense; ++i) freed.push_back(Dense(i) & kSlotMask);
  std::sort(freed.begin(), freed.end());
  const uint8_t* externs = storage - n_dense * kTrxRoll;
  const size_t t = l.trx_id_field;
  for (size_t slot = 0; slot < n_dense; ++slot) {
    const size_t rec = recs[slot];
    storage -= kTrxRoll;
    if (known[slot] != kUnknown) {
      std::memcpy(page + rec + known[slot], storage, kTrxRoll);
      continue;
    }
    if (!OffsetsFromPage(rec, false) || rec + data > limit) {
      return Fail("record " + std::to_string(slot) + " does not fit the page");
    }
    if (kind[t] != kValue || Len(t) < kTrxRoll) {
      return Fail("record " + std::to_string(slot) + " has no room for DB_TRX_ID");
    }
    std::memcpy(page + rec + start[t], storage, kTrxRoll);
    if (!any_extern) continue;
    const bool exists = !std::binary_search(freed.begin(), freed.end(), rec);
    for (size_t i = 0; i < l.fields.size(); ++i) {
      if (kind[i] != kExtern) continue;
      if (Len(i) < kRefLen)
        return Fail("record " + std::to_string(slot) + " has a short reference");
      uint8_t* dst = page + rec + end[i] - kRefLen;
      if (!exists) {
        std::memset(dst, 0, kRefLen);  // a freed record's references are not kept
        continue;
      }
      externs -= kRefLen;
      if (externs < log_stop) return Fail("the off-page references overlap the modification log");
      std::memcpy(dst, externs, kRefLen);
      ++l.blobs;
    }
  }
  return true;
}

// The fixed header bytes: the record chain in key order (from the dense
// directory), delete marks, directory ownership, and the free list.
bool Job::SetExtraBytes() {
  uint8_t info = !l.leaf && PageU32(page, 8) == kFilNull ? kMinRecFlag : 0;
  unsigned n_owned = 1;
  size_t rec = kInfimum;
  for (size_t i = 0; i < n_recs; ++i) {
    const uint16_t d = Dense(i);
    if (d & kSlotDeleted) info |= kDeletedFlag;
    if (d & kSlotOwned) {
      if (n_owned > 15) return Fail("a directory slot owns too many records");
      info |= static_cast<uint8_t>(n_owned);
      n_owned = 1;
    } else {
      ++n_owned;
    }
    const size_t next = d & kSlotMask;
    SetNext(page, rec, next);
    rec = next;
    page[rec - kExtra] = info;
    info = 0;
  }
  SetNext(page, rec, kSupremum);
  if (n_owned > 15) return Fail("the supremum owns too many records");
  page[kSupremum - kExtra] = static_cast<uint8_t>(n_owned);
  if (n_recs == n_dense) return true;
  rec = Dense(n_recs);
  for (size_t i = n_recs + 1; i <= n_dense; ++i) {
    page[rec - kExtra] = 0;
    const size_t next = i < n_dense ? Dense(i) : 0;
    SetNext(page, rec, next);
    rec = next;
  }
  return true;
}

bool Job::Run() {
  std::memcpy(page, zp, kPageData);
  n_dense = (PageU16(zp, kNHeap) & 0x7FFF);
  if (n_dense < 2) return Fail("the page header counts fewer than the two fixed records");
  n_dense -= 2;
  n_recs = PageU16(zp, kNRecs);
  if (2 * n_dense >= zip_size) return Fail("the dense directory is larger than the page");
  if (n_recs > n_dense) return Fail("the page header counts more records than the directory has");
  if (!DirDecode()) return false;

  static const uint8_t kInfimumExtra[3] = {0x01, 0x00, 0x02};
  static const uint8_t kSupremumRecord[12] = {0x00, 0x0B, 0x00, 0x00, 's', 'u',
                                              'p',  'r',  'e',  'm',  'u', 'm'};
  std::memcpy(page + kInfimum - kExtra, kInfimumExtra, 3);
  SetNext(page, kInfimum, n_recs != 0 ? (Dense(0) & kSlotMask) : kSupremum);
  std::memcpy(page + kInfimum, "infimum", 8);
  std::memcpy(page + kSupremum - kExtra + 1, kSupremumRecord, sizeof kSupremumRecord);

  zs.next_in = const_cast<Bytef*>(zp + kPageData);
  zs.avail_in = static_cast<uInt>(zip_size - kPageData - 1);  // the last byte ends the log
  zs.next_out = page + kZipStart;
  zs.avail_out = static_cast<uInt>(limit - kZipStart);
  // The zlib header, then the block holding the field list.
  if (inflate(&zs, Z_BLOCK) != Z_OK || inflate(&zs, Z_BLOCK) != Z_OK) {
    return Fail(std::string("the compressed stream does not start: ") +
                (zs.msg ? zs.msg : "bad header"));
  }
  if (!DecodeFields(page + kZipStart, zs.next_out, l.leaf, l, problem)) return false;
  l.records = n_dense;
  start.resize(l.fields.size() + 1);
  end.resize(l.fields.size() + 1);
  kind.resize(l.fields.size() + 1);

  const size_t slot_size = !l.leaf ? 2 + kChildLen : l.clustered ? 2 + kTrxRoll : 2;
  if (n_dense * slot_size >= zs.avail_in)
    return Fail("the uncompressed trailer is larger than the page");
  zs.avail_in -= static_cast<uInt>(n_dense * slot_size);
  heap_status = (2u << 3) | (l.leaf ? 0u : kStatusNodePtr);

  // Records and the uncompressed parts between them, in one inflate call:
  // zlib is several times faster over a whole page than over its pieces.
  scratch.resize(kPageSize);
  zs.next_out = scratch.data();
  zs.avail_out = static_cast<uInt>(scratch.size());
  if (inflate(&zs, Z_FINISH) != Z_STREAM_END) {
    return Fail(std::string("the compressed stream is damaged: ") +
                (zs.msg ? zs.msg : "it does not end within the page"));
  }
  src = scratch.data();
  src_end = zs.next_out;
  out = page + kZipStart;
  bool ended = false;
  if (!Records(ended)) return false;
  // What the stream left of the heap is unused until the log fills it.
  std::memset(out, 0, page + limit - out);

  const uint8_t* log = zs.next_in;
  const uint8_t* log_end = log + zs.avail_in + 1;
  const uint8_t* log_stop = nullptr;
  if (!ApplyLog(log, log_end, &log_stop)) return false;
  if ((heap_status >> 3) != n_dense + 2) {
    return Fail("records are missing from both the compressed stream and the modification log");
  }
  if (!RestoreTrailer(log_stop)) return false;
  return SetExtraBytes();
}

}  // namespace

ZipPageDecompressor::ZipPageDecompressor() = default;

ZipPageDecompressor::~ZipPageDecompressor() {
  if (stream_ready_) inflateEnd(&stream_);
}

bool ZipPageDecompressor::Decompress(const uint8_t* zpage, size_t zip_size, uint8_t* out,
                                     std::string* problem, ZipPageLayout* layout) {
  if (zip_size != 1024 && zip_size != 2048 && zip_size != 4096 && zip_size != 8192 &&
      zip_size != 16384) {
    return Fail(problem, "not read: compressed page size " + std::to_string(zip_size));
  }
  const uint16_t type = PageU16(zpage, 24);
  if (type == kPageTypeRtree) return Fail(problem, "not read: spatial index page");
  if (type != kPageTypeIndex)
    return Fail(problem, "page type " + std::to_string(type) + " is not an index page");
  if (!PageIsCompact(zpage))
    return Fail(problem, "the compressed page is not in the compact format");
  if (stream_ready_) {
    if (inflateReset(&stream_) != Z_OK) return Fail(problem, "zlib cannot be reset");
  } else {
    stream_ = z_stream{};
    // A 15-bit window takes every stream InnoDB writes (it uses 14 bits for 16 KiB pages).
    if (inflateInit2(&stream_, 15) != Z_OK) return Fail(problem, "zlib cannot be set up");
    stream_ready_ = true;
  }
  layout_ = ZipPageLayout{};
  layout_.leaf = PageLevel(zpage) == 0;
  Job job{zpage, zip_size, out,    stream_, layout_,  recs_,  start_,
          end_,  kind_,    freed_, known_,  scratch_, problem};
  const bool ok = job.Run();
  if (layout) *layout = layout_;
  return ok;
}

bool DecompressIndexPage(const uint8_t* zpage, size_t zip_size, uint8_t* out16k,
                         std::string* problem, ZipPageLayout* layout) {
  ZipPageDecompressor d;
  return d.Decompress(zpage, zip_size, out16k, problem, layout);
}

std::vector<uint8_t> EncodeZipFields(const ClusteredIndex& index, bool leaf) {
  std::vector<uint8_t> out;
  auto put = [&out](size_t v, bool two_byte_form_from_126) {
    const size_t limit = two_byte_form_from_126 ? 126 : 128;
    if (v < limit) {
      out.push_back(static_cast<uint8_t>(v));
    } else {
      out.push_back(static_cast<uint8_t>(0x80 | (v >> 8)));
      out.push_back(static_cast<uint8_t>(v));
    }
  };
  size_t trx_pos = ZipPageLayout::kNone;
  for (size_t i = 0; i < index.fields.size(); ++i) {
    if (index.fields[i].name == "DB_TRX_ID" && index.fields[i].column < 0) trx_pos = i;
  }
  const size_t n = leaf ? index.fields.size() : index.key_fields;
  size_t col = 0, trx_col = 0, fixed_sum = 0;
  for (size_t i = 0; i < n; ++i) {
    const InnoColumnDef& f = index.fields[i];
    const bool not_null = !f.nullable();
    const size_t fixed = static_cast<size_t>(f.fixed_len);
    if (fixed == 0) {
      if (fixed_sum) {
        put(fixed_sum << 1 | 1, true);
        fixed_sum = 0;
        ++col;
      }
      out.push_back(static_cast<uint8_t>((not_null ? 1 : 0) | (f.big() ? 0x7E : 0)));
      ++col;
    } else if (not_null) {
      if (fixed_sum && fixed_sum + fixed > kMaxFixedRun) {
        put(fixed_sum << 1 | 1, true);
        fixed_sum = 0;
        ++col;
      }
      if (leaf && i != 0 && i == trx_pos) {
        if (fixed_sum) {
          put(fixed_sum << 1 | 1, true);
          ++col;
        }
        trx_col = col;
        fixed_sum = fixed;
      } else {
        fixed_sum += fixed;
      }
    } else {
      if (fixed_sum) {
        put(fixed_sum << 1 | 1, true);
        fixed_sum = 0;
        ++col;
      }
      put(fixed << 1, true);
      ++col;
    }
  }
  if (fixed_sum) put(fixed_sum << 1 | 1, true);
  put(leaf ? trx_col : index.nullable_fields, false);
  return out;
}

bool ZipLayoutMatchesIndex(const ZipPageLayout& layout, const ClusteredIndex& index,
                           std::string* problem) {
  if (layout.leaf && !layout.clustered) {
    return Fail(problem, "the page belongs to a secondary index");
  }
  const std::vector<uint8_t> want = EncodeZipFields(index, layout.leaf);
  if (want == layout.field_info) return true;
  ZipPageLayout expected;
  std::string ignored;
  DecodeFields(want.data(), want.data() + want.size(), layout.leaf, expected, &ignored);
  std::string why =
      "the page's field list (" + std::to_string(layout.fields.size()) + " stored fields";
  if (layout.clustered) why += ", DB_TRX_ID at " + std::to_string(layout.trx_id_field);
  why += ") differs from the table definition's (" + std::to_string(expected.fields.size()) +
         " stored fields";
  if (expected.clustered) why += ", DB_TRX_ID at " + std::to_string(expected.trx_id_field);
  why += ")";
  return Fail(problem, why);
}

}  // namespace vostrel
