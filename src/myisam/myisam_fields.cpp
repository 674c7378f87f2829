#include "myisam/myisam_fields.h"

#include <algorithm>
#include <cstring>

#include "model/value_text.h"

namespace vostrel {

namespace {

bool BitSet(const uint8_t* image, size_t image_len, int32_t bit) {
  const size_t byte = static_cast<size_t>(bit) / 8;
  return byte < image_len && ((image[byte] >> (bit % 8)) & 1);
}

// Bytes a fixed-size column takes in the record image (0: not a fixed kind).
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

std::vector<ColumnStorage> MyisamColumnStorage(const TableDef& table) {
  std::vector<ColumnStorage> s(table.columns.size());
  for (size_t i = 0; i < s.size(); ++i) s[i].is_unsigned = table.columns[i].unsigned_flag;
  return s;
}

MyisamFieldSplitter::MyisamFieldSplitter(const TableDef& table)
    : table_(table), fields_(table.columns.size()), bits_(8 * table.columns.size()) {
  plans_.reserve(table.columns.size());
  for (const ColumnDef& c : table.columns) {
    Plan p;
    p.off = c.record_pos > 0 ? c.record_pos - 1 : 0;
    if (c.null_bit >= 0) {
      p.null_byte = static_cast<uint32_t>(c.null_bit) / 8;
      p.null_mask = static_cast<uint8_t>(1u << (c.null_bit % 8));
    }
    switch (c.type) {
      case kTypeVarchar:
        p.kind = Kind::kVarchar;
        p.width = c.length < 256 ? 1 : 2;
        p.max = static_cast<uint32_t>(std::max(c.length, 0));
        break;
      case kTypeString:
      case kTypeVarString:
      case kTypeDecimalOld:
        p.kind = Kind::kChar;
        p.width = static_cast<uint32_t>(std::max(c.length, 0));
        break;
      case kTypeTinyBlob:
      case kTypeBlob:
      case kTypeMediumBlob:
      case kTypeLongBlob:
      case kTypeGeometry:
        p.kind = Kind::kBlob;
        break;
      case kTypeBit:
        p.kind = Kind::kBit;
        p.bits = c.length > 64 ? 64 : c.length;
        p.leftover = c.bit_leftover_pos;
        break;
      default:
        p.kind = Kind::kFixed;
        p.width = FixedWidth(c);
    }
    plans_.push_back(p);
  }
}

const std::vector<StoredField>& MyisamFieldSplitter::Split(const MyisamRecord& rec) {
  const uint8_t* image = rec.image;
  const size_t n = rec.image_length;
  StoredField* out = fields_.data();
  const size_t columns = plans_.size();
  for (size_t i = 0; i < columns; ++i) {
    const Plan& p = plans_[i];
    StoredField& f = out[i];
    if (p.null_mask != 0 && p.null_byte < n && (image[p.null_byte] & p.null_mask) != 0) {
      f = StoredField{nullptr, 0, FieldState::kNull};
      continue;
    }
    switch (p.kind) {
      case Kind::kFixed:
      case Kind::kChar:
        // Bytes past the end of a short image are not the value's.
        if (p.off + p.width <= n) {
          f = StoredField{image + p.off, p.width, FieldState::kInline};
        } else {
          f = StoredField{image + std::min<size_t>(p.off, n),
                          static_cast<uint32_t>(p.off < n ? n - p.off : 0), FieldState::kInline};
        }
        break;
      case Kind::kVarchar: {
        size_t len = 0;
        if (p.off + p.width <= n) {
          len = p.width == 1 ? image[p.off] : (image[p.off] | (size_t{image[p.off + 1]} << 8));
        } else if (p.off < n) {
          len = image[p.off];
        }
        len = std::min<size_t>(len, p.max);
        const size_t start = std::min<size_t>(p.off + p.width, n);
        f = StoredField{image + start, static_cast<uint32_t>(std::min(len, n - start)),
                        FieldState::kInline};
        break;
      }
      case Kind::kBlob: {
        f = StoredField{image + std::min<size_t>(p.off, n), 0, FieldState::kInline};
        if (rec.blobs != nullptr) {
          for (const BlobSpan& b : *rec.blobs) {
            if (b.image_offset == p.off) {
              f = StoredField{b.data, static_cast<uint32_t>(b.length), FieldState::kInline};
              break;
            }
          }
        }
        break;
      }
      case Kind::kBit:
        f = Bits(i, p, image, n);
        break;
    }
  }
  return fields_;
}

// The whole bytes, with the odd bits MyISAM keeps in the null bitmap put
// back on top: the value as eight big-endian bytes.
StoredField MyisamFieldSplitter::Bits(size_t i, const Plan& p, const uint8_t* image, size_t n) {
  uint64_t v;
  uint8_t whole[8] = {};
  if (p.leftover >= 0) {
    const size_t bytes = static_cast<size_t>(p.bits / 8);
    for (size_t k = 0; k < bytes && p.off + k < n; ++k) whole[k] = image[p.off + k];
    uint64_t odd = 0;
    for (int b = p.bits % 8 - 1; b >= 0; --b) {
      odd = (odd << 1) | (BitSet(image, n, p.leftover + b) ? 1 : 0);
    }
    v = (bytes >= 8 ? 0 : odd << (8 * bytes)) | ReadUnsignedBe(whole, bytes);
  } else {
    const size_t bytes = static_cast<size_t>((p.bits + 7) / 8);
    for (size_t k = 0; k < bytes && p.off + k < n; ++k) whole[k] = image[p.off + k];
    v = ReadUnsignedBe(whole, bytes);
  }
  uint8_t* out = bits_.data() + 8 * i;
  for (int k = 7; k >= 0; --k, v >>= 8) out[k] = static_cast<uint8_t>(v);
  return StoredField{out, 8, FieldState::kInline};
}

}  // namespace vostrel
