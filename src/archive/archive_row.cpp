#include "archive/archive_row.h"

#include <algorithm>
#include <cstring>

#include "model/value_text.h"

namespace vostrel {

namespace {

uint32_t FixedWidth(const ColumnDef& c) {
  switch (c.type) {
    case kTypeTiny:
    case kTypeYear:
      return 1;
    case kTypeShort:
      return 2;
    case kTypeInt24:
    case kTypeNewDate:
    case kTypeTime:
      return 3;
    case kTypeLong:
    case kTypeFloat:
    case kTypeDate:
    case kTypeTimestamp:
      return 4;
    case kTypeLongLong:
    case kTypeDouble:
    case kTypeDateTime:
      return 8;
    case kTypeNewDecimal:
      return static_cast<uint32_t>(PackedDecimalSize(c.precision, c.decimals));
    case kTypeDecimalOld:
      return static_cast<uint32_t>(std::max(c.length, 0));
    case kTypeTime2:
      return static_cast<uint32_t>(Time2Size(c.fractional_digits));
    case kTypeDateTime2:
      return static_cast<uint32_t>(DateTime2Size(c.fractional_digits));
    case kTypeTimestamp2:
      return static_cast<uint32_t>(Timestamp2Size(c.fractional_digits));
    case kTypeEnum:
      return static_cast<uint32_t>(EnumSize(c.enum_members.size()));
    case kTypeSet:
      return static_cast<uint32_t>(SetSize(c.enum_members.size()));
    default:
      return 0;
  }
}

}  // namespace

ArchiveRowSplitter::ArchiveRowSplitter(const TableDef& table)
    : table_(table), fields_(table.columns.size()) {
  size_t first = SIZE_MAX;
  size_t scratch = 0;
  for (const ColumnDef& c : table.columns) {
    if (c.record_pos > 0) first = std::min<size_t>(first, c.record_pos - 1);
    Plan p;
    if (c.null_bit >= 0) {
      p.null_byte = static_cast<uint32_t>(c.null_bit) / 8;
      p.null_mask = static_cast<uint8_t>(1u << (c.null_bit % 8));
    }
    const uint32_t len = static_cast<uint32_t>(std::max(c.length, 0));
    switch (c.type) {
      case kTypeString:
      case kTypeVarString:
        p.kind = Kind::kChar;
        p.width = len;
        p.length_bytes = len > 255 ? 2 : 1;
        p.zero_pad = c.charset_id == kBinaryCollation;
        if (p.zero_pad) scratch += len;
        break;
      case kTypeVarchar:
        p.kind = Kind::kVarchar;
        p.width = len;
        p.length_bytes = len > 255 ? 2 : 1;
        break;
      case kTypeTinyBlob:
        p.kind = Kind::kBlob;
        p.length_bytes = 1;
        break;
      case kTypeBlob:
        p.kind = Kind::kBlob;
        p.length_bytes = 2;
        break;
      case kTypeMediumBlob:
        p.kind = Kind::kBlob;
        p.length_bytes = 3;
        break;
      case kTypeLongBlob:
      case kTypeGeometry:
        p.kind = Kind::kBlob;
        p.length_bytes = 4;
        break;
      case kTypeBit:
        p.kind = Kind::kBit;
        p.odd_bits = c.bit_leftover_pos >= 0 ? len % 8 : 0;
        p.width = p.odd_bits ? len / 8 : (len + 7) / 8;
        scratch += 8;
        break;
      default:
        p.kind = Kind::kFixed;
        p.width = FixedWidth(c);
    }
    plans_.push_back(p);
  }
  null_bytes_ = first == SIZE_MAX ? 0 : first;
  scratch_.resize(scratch);
}

bool ArchiveRowSplitter::Split(const uint8_t* row, size_t n, std::string* why) {
  auto fail = [&](size_t i, const char* what) {
    if (why) *why = "column " + table_.columns[i].name + ": " + what;
    return false;
  };
  if (n < null_bytes_) {
    if (why) *why = "the row is shorter than its null bytes";
    return false;
  }
  size_t at = null_bytes_;
  uint8_t* scratch = scratch_.data();
  for (size_t i = 0; i < plans_.size(); ++i) {
    const Plan& p = plans_[i];
    StoredField& f = fields_[i];
    if (p.null_mask != 0 && p.null_byte < null_bytes_ && (row[p.null_byte] & p.null_mask) != 0) {
      f = StoredField{nullptr, 0, FieldState::kNull};
      continue;
    }
    switch (p.kind) {
      case Kind::kFixed:
        if (n - at < p.width) return fail(i, "the row ends inside the value");
        f = StoredField{row + at, p.width, FieldState::kInline};
        at += p.width;
        break;
      case Kind::kChar:
      case Kind::kVarchar:
      case Kind::kBlob: {
        if (n - at < p.length_bytes) return fail(i, "the row ends inside the value's length");
        uint64_t len = 0;
        for (uint32_t k = 0; k < p.length_bytes; ++k) len |= uint64_t{row[at + k]} << (8 * k);
        at += p.length_bytes;
        if (p.kind != Kind::kBlob && len > p.width)
          return fail(i, "the value is longer than the column");
        if (n - at < len) return fail(i, "the row ends inside the value");
        if (p.zero_pad) {
          std::memcpy(scratch, row + at, len);
          std::memset(scratch + len, 0, p.width - len);
          f = StoredField{scratch, p.width, FieldState::kInline};
          scratch += p.width;
        } else {
          f = StoredField{row + at, static_cast<uint32_t>(len), FieldState::kInline};
        }
        at += len;
        break;
      }
      case Kind::kBit: {
        const size_t bytes = p.width + (p.odd_bits ? 1 : 0);
        if (n - at < bytes || bytes > 8) return fail(i, "the row ends inside the value");
        // Odd bits first, then the whole bytes: together the value, big-endian.
        uint64_t v = 0;
        for (size_t k = 0; k < bytes; ++k) v = (v << 8) | row[at + k];
        at += bytes;
        for (int k = 7; k >= 0; --k, v >>= 8) scratch[k] = static_cast<uint8_t>(v);
        f = StoredField{scratch, 8, FieldState::kInline};
        scratch += 8;
        break;
      }
    }
  }
  if (at != n) {
    if (why) *why = std::to_string(n - at) + " bytes after its last field";
    return false;
  }
  return true;
}

}  // namespace vostrel
