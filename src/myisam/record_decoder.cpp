#include "myisam/record_decoder.h"

#include <cstring>

#include "model/field_text.h"
#include "model/value_text.h"

namespace vostrel {

namespace {

bool BitSet(const uint8_t* image, size_t image_len, int32_t bit) {
  const size_t byte = static_cast<size_t>(bit) / 8;
  return byte < image_len && ((image[byte] >> (bit % 8)) & 1);
}

uint64_t ReadBits(const uint8_t* image, size_t image_len, int32_t pos, int count) {
  uint64_t v = 0;
  for (int i = count - 1; i >= 0; --i) v = (v << 1) | (BitSet(image, image_len, pos + i) ? 1 : 0);
  return v;
}

}  // namespace

MyisamRecordDecoder::MyisamRecordDecoder(const TableDef& table, const CollationTable& collations,
                                         const CodePage& code_page)
    : table_(table), decoders_(MakeColumnDecoders(table, collations, code_page)) {}

void MyisamRecordDecoder::Decode(const MyisamRecord& record, const DecodeOptions& opts,
                                 Row& row) const {
  row.resize(table_.columns.size());
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    const ColumnDef& c = table_.columns[i];
    if (c.null_bit >= 0 && BitSet(record.image, record.image_length, c.null_bit)) {
      row[i].SetNull();
      continue;
    }
    DecodeColumn(i, record, opts, row[i]);
  }
}

void MyisamRecordDecoder::DecodeColumn(size_t i, const MyisamRecord& rec,
                                       const DecodeOptions& opts, FieldValue& out) const {
  const ColumnDef& c = table_.columns[i];
  const size_t off = c.record_pos > 0 ? c.record_pos - 1 : 0;
  // Bytes past the image read as zero.
  uint8_t small[16] = {};
  auto field = [&](size_t width) -> const uint8_t* {
    if (off <= rec.image_length && width <= rec.image_length - off) return rec.image + off;
    std::memset(small, 0, sizeof small);
    for (size_t k = 0; k < width && k < sizeof small && off + k < rec.image_length; ++k) {
      small[k] = rec.image[off + k];
    }
    return small;
  };
  auto bytes_at = [&](size_t start, size_t len) -> std::string_view {
    if (start > rec.image_length) return {};
    if (len > rec.image_length - start) len = rec.image_length - start;
    return std::string_view(reinterpret_cast<const char*>(rec.image + start), len);
  };
  out.Reset();
  std::string& t = out.text;
  auto integer = [&](size_t width) {
    const uint64_t v = ReadUnsignedLe(field(width), width);
    if (c.unsigned_flag) {
      AppendUnsigned(v, t);
    } else {
      AppendSigned(SignExtend(v, width), t);
    }
  };
  switch (c.type) {
    case kTypeTiny:
      integer(1);
      break;
    case kTypeShort:
      integer(2);
      break;
    case kTypeInt24:
      integer(3);
      break;
    case kTypeLong:
      integer(4);
      break;
    case kTypeLongLong:
      integer(8);
      break;
    case kTypeFloat: {
      float f;
      std::memcpy(&f, field(4), 4);
      AppendFloat(f, t);
      break;
    }
    case kTypeDouble: {
      double d;
      std::memcpy(&d, field(8), 8);
      AppendDouble(d, t);
      break;
    }
    case kTypeNewDecimal: {
      const size_t size = PackedDecimalSize(c.precision, c.decimals);
      AppendPackedDecimal(ByteView(reinterpret_cast<const uint8_t*>(bytes_at(off, size).data()),
                                   bytes_at(off, size).size()),
                          c.precision, c.decimals, t);
      break;
    }
    case kTypeDecimalOld: {
      // Kept as right-aligned ASCII digits by servers before 5.0.3.
      std::string_view s = bytes_at(off, static_cast<size_t>(c.length));
      while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
      t.assign(s);
      if (t.empty()) t = "0";
      break;
    }
    case kTypeNewDate:
      AppendOldDate3(static_cast<uint32_t>(ReadUnsignedLe(field(3), 3)), t);
      break;
    case kTypeDate: {
      const uint32_t v = static_cast<uint32_t>(ReadUnsignedLe(field(4), 4));
      AppendDate(v / 10000, static_cast<int>(v / 100 % 100), static_cast<int>(v % 100), t);
      break;
    }
    case kTypeTime:
      AppendOldTime(SignExtend(ReadUnsignedLe(field(3), 3), 3), t);
      break;
    case kTypeTime2:
      AppendTime2(ByteView(field(Time2Size(c.fractional_digits)), Time2Size(c.fractional_digits)),
                  c.fractional_digits, t);
      break;
    case kTypeDateTime:
      AppendOldDateTime(ReadUnsignedLe(field(8), 8), t);
      break;
    case kTypeDateTime2:
      AppendDateTime2(
          ByteView(field(DateTime2Size(c.fractional_digits)), DateTime2Size(c.fractional_digits)),
          c.fractional_digits, t);
      break;
    case kTypeTimestamp:
      AppendTimestampUtc(static_cast<uint32_t>(ReadUnsignedLe(field(4), 4)), 0, 0, t);
      break;
    case kTypeTimestamp2:
      AppendTimestamp2(
          ByteView(field(Timestamp2Size(c.fractional_digits)), Timestamp2Size(c.fractional_digits)),
          c.fractional_digits, t);
      break;
    case kTypeYear:
      AppendYear(field(1)[0], t);
      break;
    case kTypeBit: {
      const int bits = c.length > 64 ? 64 : c.length;
      uint64_t v;
      if (c.bit_leftover_pos >= 0) {
        const size_t whole = static_cast<size_t>(bits / 8);
        v = ReadBits(rec.image, rec.image_length, c.bit_leftover_pos, bits % 8);
        v = (whole >= 8 ? 0 : v << (8 * whole)) | ReadUnsignedBe(field(whole), whole);
      } else {
        const size_t width = static_cast<size_t>((bits + 7) / 8);
        v = ReadUnsignedBe(field(width), width);
      }
      AppendBits(v, bits, t);
      break;
    }
    case kTypeEnum: {
      const size_t w = EnumSize(c.enum_members.size());
      AppendEnum(ReadUnsignedLe(field(w), w), c.enum_members, t);
      break;
    }
    case kTypeSet: {
      const size_t w = SetSize(c.enum_members.size());
      AppendSet(ReadUnsignedLe(field(w), w), c.enum_members, t);
      break;
    }
    case kTypeVarchar: {
      const size_t len_bytes = c.length < 256 ? 1 : 2;
      size_t n = static_cast<size_t>(ReadUnsignedLe(field(len_bytes), len_bytes));
      if (n > static_cast<size_t>(c.length)) n = static_cast<size_t>(c.length);
      SetStringValue(decoders_[i], bytes_at(off + len_bytes, n), opts, out);
      break;
    }
    case kTypeString:
      SetStringValue(decoders_[i], bytes_at(off, static_cast<size_t>(c.length)), opts, out);
      break;
    case kTypeVarString: {
      // Pre-5.0.3 VARCHAR: kept padded, but trailing spaces were never part of the value.
      std::string_view s = bytes_at(off, static_cast<size_t>(c.length));
      while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
      SetStringValue(decoders_[i], s, opts, out);
      break;
    }
    case kTypeTinyBlob:
    case kTypeBlob:
    case kTypeMediumBlob:
    case kTypeLongBlob:
    case kTypeGeometry: {
      std::string_view data;
      if (rec.blobs != nullptr) {
        for (const BlobSpan& b : *rec.blobs) {
          if (b.image_offset == off) {
            data = std::string_view(reinterpret_cast<const char*>(b.data), b.length);
            break;
          }
        }
      }
      if (c.type == kTypeGeometry) {
        SetGeometryValue(data, opts, out);
      } else {
        SetBlobValue(decoders_[i], data, opts, out);
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace vostrel
