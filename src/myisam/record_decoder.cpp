#include "myisam/record_decoder.h"

#include <algorithm>
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

// FieldBytes for a field that runs past the end of the image.
const uint8_t* PaddedFieldBytes(const MyisamRecord& rec, size_t off, size_t width,
                                uint8_t (&small)[16]) {
  std::memset(small, 0, sizeof small);
  for (size_t k = 0; k < width && k < sizeof small && off + k < rec.image_length; ++k) {
    small[k] = rec.image[off + k];
  }
  return small;
}

// Bytes [off, off + width) of the image; bytes past its end read as zero.
inline const uint8_t* FieldBytes(const MyisamRecord& rec, size_t off, size_t width,
                                 uint8_t (&small)[16]) {
  if (off <= rec.image_length && width <= rec.image_length - off) return rec.image + off;
  return PaddedFieldBytes(rec, off, width, small);
}

// Bytes [start, start + len) of the image, cut at its end.
std::string_view BytesAt(const MyisamRecord& rec, size_t start, size_t len) {
  if (start > rec.image_length) return {};
  if (len > rec.image_length - start) len = rec.image_length - start;
  return std::string_view(reinterpret_cast<const char*>(rec.image + start), len);
}

// The data of the BLOB field at `off`, kept apart from the image.
std::string_view BlobAt(const MyisamRecord& rec, size_t off) {
  if (rec.blobs != nullptr) {
    for (const BlobSpan& b : *rec.blobs) {
      if (b.image_offset == off)
        return std::string_view(reinterpret_cast<const char*>(b.data), b.length);
    }
  }
  return {};
}

}  // namespace

MyisamRecordDecoder::MyisamRecordDecoder(const TableDef& table, const CollationTable& collations,
                                         const CodePage& code_page)
    : table_(table), decoders_(MakeColumnDecoders(table, collations, code_page)) {
  plans_.reserve(table.columns.size());
  for (size_t i = 0; i < table.columns.size(); ++i) {
    Plan p = PlanFor(i);
    const ColumnDef& c = table.columns[i];
    if (c.null_bit >= 0) {
      p.null_byte = static_cast<size_t>(c.null_bit) / 8;
      p.null_mask = static_cast<uint8_t>(1 << (c.null_bit % 8));
    }
    plans_.push_back(p);
  }
}

MyisamRecordDecoder::Plan MyisamRecordDecoder::PlanFor(size_t i) const {
  const ColumnDef& c = table_.columns[i];
  Plan p;
  p.kind = LiteralKindOf(c);
  p.off = c.record_pos > 0 ? static_cast<size_t>(c.record_pos - 1) : 0;
  const bool binary = decoders_[i].binary();
  const bool text_kind_fits =
      binary ? p.kind == LiteralKind::kBare : p.kind == LiteralKind::kQuoted;
  switch (c.type) {
    case kTypeTiny:
    case kTypeShort:
    case kTypeInt24:
    case kTypeLong:
    case kTypeLongLong:
      p.fast = Fast::kInt;
      p.bytes = c.type == kTypeTiny    ? 1
                : c.type == kTypeShort ? 2
                : c.type == kTypeInt24 ? 3
                : c.type == kTypeLong  ? 4
                                       : 8;
      break;
    case kTypeFloat:
      p.fast = Fast::kFloat;
      p.bytes = 4;
      break;
    case kTypeDouble:
      p.fast = Fast::kDouble;
      p.bytes = 8;
      break;
    case kTypeNewDecimal:
      p.fast = Fast::kDecimal;
      p.width = PackedDecimalSize(c.precision, c.decimals);
      break;
    case kTypeNewDate:
      p.fast = Fast::kNewDate;
      p.bytes = 3;
      break;
    case kTypeDate:
      p.fast = Fast::kDate;
      p.bytes = 4;
      break;
    case kTypeTime:
      p.fast = Fast::kTime;
      p.bytes = 3;
      break;
    case kTypeTime2:
      p.fast = Fast::kTime2;
      p.bytes = Time2Size(c.fractional_digits);
      break;
    case kTypeDateTime:
      p.fast = Fast::kDateTime;
      p.bytes = 8;
      break;
    case kTypeDateTime2:
      p.fast = Fast::kDateTime2;
      p.bytes = DateTime2Size(c.fractional_digits);
      break;
    case kTypeTimestamp:
      p.fast = Fast::kTimestamp;
      p.bytes = 4;
      break;
    case kTypeTimestamp2:
      p.fast = Fast::kTimestamp2;
      p.bytes = Timestamp2Size(c.fractional_digits);
      break;
    case kTypeYear:
      p.fast = Fast::kYear;
      p.bytes = 1;
      break;
    case kTypeVarchar:
      if (text_kind_fits) p.fast = Fast::kVarchar;
      p.width = c.length < 256 ? 1 : 2;
      break;
    case kTypeString:
      if (text_kind_fits) p.fast = Fast::kChar;
      break;
    case kTypeTinyBlob:
    case kTypeBlob:
    case kTypeMediumBlob:
    case kTypeLongBlob:
      if (text_kind_fits) p.fast = Fast::kBlob;
      break;
    default:
      break;  // the rest keep to AppendColumnText
  }
  return p;
}

void MyisamRecordDecoder::Decode(const MyisamRecord& record, const DecodeOptions& opts,
                                 Row& row) const {
  row.resize(table_.columns.size());
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    if (IsNull(i, record)) {
      row[i].SetNull();
      continue;
    }
    row[i].Reset();
    AppendColumnText(i, record, opts, row[i].text);
  }
}

std::string_view MyisamRecordDecoder::Locate(size_t i, const MyisamRecord& rec,
                                             uint8_t (&small)[16]) const {
  static constexpr DecodeOptions kExport{true};
  const Plan& plan = plans_[i];
  auto as_view = [](const uint8_t* b, size_t n) {
    return std::string_view(reinterpret_cast<const char*>(b), n);
  };
  switch (plan.fast) {
    case Fast::kDecimal:
      return BytesAt(rec, plan.off, plan.width);
    case Fast::kVarchar: {
      size_t len = static_cast<size_t>(
          ReadUnsignedLe(FieldBytes(rec, plan.off, plan.width, small), plan.width));
      const size_t max = static_cast<size_t>(table_.columns[i].length);
      if (len > max) len = max;
      return BytesAt(rec, plan.off + plan.width, len);
    }
    case Fast::kChar:
      return BytesAt(rec, plan.off, static_cast<size_t>(table_.columns[i].length));
    case Fast::kBlob:
      return BlobAt(rec, plan.off);
    case Fast::kSlow:
      scratch_.clear();
      AppendColumnText(i, rec, kExport, scratch_);
      return scratch_;
    default:  // a fixed number of bytes
      return as_view(FieldBytes(rec, plan.off, plan.bytes, small), plan.bytes);
  }
}

void MyisamRecordDecoder::AppendLiterals(const MyisamRecord& rec, TextBuffer& out) const {
  const size_t n = table_.columns.size();
  for (size_t i = 0; i < n; ++i) {
    if (i) out.Push(',');
    if (IsNull(i, rec)) {
      out.Append("NULL", 4);
      continue;
    }
    uint8_t small[16];
    FormatValue(i, Locate(i, rec, small), out);
  }
}

// A row copied out: a bit per column for NULL, then per value its bytes,
// preceded by an 8-byte length unless the column's kind has a fixed size.
void MyisamRecordDecoder::FormatValue(size_t i, std::string_view v, TextBuffer& out) const {
  const Plan& plan = plans_[i];
  const ColumnDef& c = table_.columns[i];
  const uint8_t* b = reinterpret_cast<const uint8_t*>(v.data());
  // Texts of numbers and dates need no escapes: written straight in place.
  auto plain = [&](auto put) {
    char* p = out.Reserve(kMaxValueText + 4);
    p = put(OpenPlainLiteral(plan.kind, p));
    out.Commit(ClosePlainLiteral(plan.kind, p));
  };
  switch (plan.fast) {
    case Fast::kInt:
      plain([&](char* p) {
        const uint64_t x = ReadUnsignedLe(b, plan.bytes);
        return c.unsigned_flag ? PutUnsigned(p, x) : PutSigned(p, SignExtend(x, plan.bytes));
      });
      break;
    case Fast::kFloat:
      AppendFloatingLiteral(b, 4, out);
      break;
    case Fast::kDouble:
      AppendFloatingLiteral(b, 8, out);
      break;
    case Fast::kDecimal:
      plain([&](char* p) {
        return PutPackedDecimal(p, ByteView(b, v.size()), c.precision, c.decimals);
      });
      break;
    case Fast::kNewDate:
      plain([&](char* p) { return PutOldDate3(p, static_cast<uint32_t>(ReadUnsignedLe(b, 3))); });
      break;
    case Fast::kDate:
      plain([&](char* p) {
        const uint32_t x = static_cast<uint32_t>(ReadUnsignedLe(b, 4));
        return PutDate(p, x / 10000, static_cast<int>(x / 100 % 100), static_cast<int>(x % 100));
      });
      break;
    case Fast::kTime:
      plain([&](char* p) { return PutOldTime(p, SignExtend(ReadUnsignedLe(b, 3), 3)); });
      break;
    case Fast::kTime2:
      plain([&](char* p) { return PutTime2(p, ByteView(b, plan.bytes), c.fractional_digits); });
      break;
    case Fast::kDateTime:
      plain([&](char* p) { return PutOldDateTime(p, ReadUnsignedLe(b, 8)); });
      break;
    case Fast::kDateTime2:
      plain([&](char* p) { return PutDateTime2(p, ByteView(b, plan.bytes), c.fractional_digits); });
      break;
    case Fast::kTimestamp:
      plain([&](char* p) {
        return PutTimestampUtc(p, static_cast<uint32_t>(ReadUnsignedLe(b, 4)), 0, 0);
      });
      break;
    case Fast::kTimestamp2:
      plain(
          [&](char* p) { return PutTimestamp2(p, ByteView(b, plan.bytes), c.fractional_digits); });
      break;
    case Fast::kYear:
      plain([&](char* p) { return PutYear(p, b[0]); });
      break;
    case Fast::kVarchar:
    case Fast::kChar:
    case Fast::kBlob:
      AppendCharacterLiteral(v, decoders_[i], format_scratch_, out);
      break;
    case Fast::kSlow:
      AppendLiteral(plan.kind, v, out);
      break;
  }
}

bool MyisamRecordDecoder::IsNull(size_t i, const MyisamRecord& record) const {
  const ColumnDef& c = table_.columns[i];
  return c.null_bit >= 0 && BitSet(record.image, record.image_length, c.null_bit);
}

void MyisamRecordDecoder::AppendColumnText(size_t i, const MyisamRecord& rec,
                                           const DecodeOptions& opts, std::string& t) const {
  const ColumnDef& c = table_.columns[i];
  const size_t off = c.record_pos > 0 ? c.record_pos - 1 : 0;
  uint8_t small[16];
  auto field = [&](size_t width) { return FieldBytes(rec, off, width, small); };
  auto bytes_at = [&](size_t start, size_t len) { return BytesAt(rec, start, len); };
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
      t.append(s.empty() ? std::string_view("0") : s);
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
      AppendStringValue(decoders_[i], bytes_at(off + len_bytes, n), opts, t);
      break;
    }
    case kTypeString:
      AppendStringValue(decoders_[i], bytes_at(off, static_cast<size_t>(c.length)), opts, t);
      break;
    case kTypeVarString: {
      // Pre-5.0.3 VARCHAR: kept padded, but trailing spaces were never part of the value.
      std::string_view s = bytes_at(off, static_cast<size_t>(c.length));
      while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
      AppendStringValue(decoders_[i], s, opts, t);
      break;
    }
    case kTypeTinyBlob:
    case kTypeBlob:
    case kTypeMediumBlob:
    case kTypeLongBlob:
    case kTypeGeometry: {
      const std::string_view data = BlobAt(rec, off);
      if (c.type == kTypeGeometry) {
        AppendGeometryValue(data, opts, t);
      } else {
        AppendBlobValue(decoders_[i], data, opts, t);
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace vostrel
