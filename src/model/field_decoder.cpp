#include "model/field_decoder.h"

namespace vostrel {

FieldDecoder::FieldDecoder(const TableDef& table, std::vector<ColumnStorage> storage,
                           const CollationTable& collations, const CodePage& code_page)
    : table_(table), decoders_(MakeColumnDecoders(table, collations, code_page)) {
  storage.resize(table.columns.size());
  plans_.reserve(table.columns.size());
  for (size_t i = 0; i < table.columns.size(); ++i) {
    Plan p = PlanFor(table.columns[i], storage[i]);
    // A CHAR's trailing spaces are padding, never its value: the server
    // drops them when it reads the column. Only where a space is one byte.
    if (table.columns[i].type == kTypeString && p.what == What::kChars && !decoders_[i].binary() &&
        decoders_[i].keeps_ascii()) {
      p.what = What::kCharsTrim;
    }
    plans_.push_back(p);
  }
}

FieldDecoder::Plan FieldDecoder::PlanFor(const ColumnDef& c, const ColumnStorage& s) {
  Plan p;
  p.blob_whole = s.inline_blobs_whole;
  if (s.form == NumberForm::kBigEndianFlipped) {
    // InnoDB keeps these types as integers of its own width and sign.
    p.big_endian = true;
    p.is_unsigned = s.is_unsigned;
    p.flip_sign = !s.is_unsigned;
    switch (c.type) {
      case kTypeYear:
        p.what = What::kYear;
        return p;
      case kTypeNewDate:
        p.what = What::kNewDate;
        return p;
      case kTypeDate:
        p.what = What::kDate;
        return p;
      case kTypeTime:
        p.what = What::kTime;
        return p;
      case kTypeDateTime:
        p.what = What::kDateTime;
        return p;
      case kTypeTimestamp:
        p.what = What::kTimestamp;
        return p;
      case kTypeEnum:
        p.what = What::kEnum;
        return p;
      case kTypeSet:
        p.what = What::kSet;
        return p;
      default:
        p.what = What::kInt;
        return p;
    }
  }
  if (s.form == NumberForm::kText) {
    switch (c.type) {
      case kTypeEnum:
      case kTypeSet:
        p.what = What::kOwnTextChars;
        return p;
      case kTypeVarchar:
      case kTypeString:
      case kTypeVarString:
      case kTypeTinyBlob:
      case kTypeBlob:
      case kTypeMediumBlob:
      case kTypeLongBlob:
      case kTypeGeometry:
      case kTypeBit:
        break;  // their bytes, as below
      default:
        p.what = What::kOwnText;
        return p;
    }
  }
  const bool innodb = s.form == NumberForm::kInnodbOther;
  p.is_unsigned = c.unsigned_flag;
  auto le = [&p](What what, size_t width) {
    p.what = what;
    p.width = static_cast<uint8_t>(width);
  };
  switch (c.type) {
    case kTypeTiny:
    case kTypeShort:
    case kTypeInt24:
    case kTypeLong:
    case kTypeLongLong:
      if (innodb) break;  // an integer column the dictionary does not store as one
      le(What::kInt, c.type == kTypeTiny    ? 1
                     : c.type == kTypeShort ? 2
                     : c.type == kTypeInt24 ? 3
                     : c.type == kTypeLong  ? 4
                                            : 8);
      break;
    case kTypeYear:
      if (!innodb) le(What::kYear, 1);
      break;
    case kTypeNewDate:
      if (!innodb) le(What::kNewDate, 3);
      break;
    case kTypeDate:
      if (!innodb) le(What::kDate, 4);
      break;
    case kTypeTime:
      if (!innodb) le(What::kTime, 3);
      break;
    case kTypeDateTime:
      if (!innodb) le(What::kDateTime, 8);
      break;
    case kTypeTimestamp:
      if (!innodb) le(What::kTimestamp, 4);
      break;
    case kTypeEnum:
      if (!innodb) le(What::kEnum, EnumSize(c.enum_members.size()));
      break;
    case kTypeSet:
      if (!innodb) le(What::kSet, SetSize(c.enum_members.size()));
      break;
    case kTypeFloat:
      p.what = What::kFloat;
      break;
    case kTypeDouble:
      p.what = What::kDouble;
      break;
    case kTypeNewDecimal:
      p.what = What::kDecimal;
      break;
    case kTypeDecimalOld:
      p.what = What::kDecimalOld;
      break;
    // MyISAM reads these at their full width (zeros past a cut image); InnoDB
    // as long as the field is.
    case kTypeTime2:
      p.what = What::kTime2;
      if (!innodb) p.width = static_cast<uint8_t>(Time2Size(c.fractional_digits));
      break;
    case kTypeDateTime2:
      p.what = What::kDateTime2;
      if (!innodb) p.width = static_cast<uint8_t>(DateTime2Size(c.fractional_digits));
      break;
    case kTypeTimestamp2:
      p.what = What::kTimestamp2;
      if (!innodb) p.width = static_cast<uint8_t>(Timestamp2Size(c.fractional_digits));
      break;
    case kTypeBit:
      p.what = What::kBit;
      break;
    case kTypeVarchar:
    case kTypeString:
      p.what = What::kChars;
      break;
    case kTypeVarString:
      // MyISAM keeps pre-5.0.3 VARCHAR padded; InnoDB keeps it as it came.
      p.what = innodb ? What::kChars : What::kCharsTrim;
      break;
    case kTypeTinyBlob:
    case kTypeBlob:
    case kTypeMediumBlob:
    case kTypeLongBlob:
      p.what = What::kBlob;
      break;
    case kTypeGeometry:
      p.what = What::kGeometry;
      break;
    default:
      break;
  }
  return p;
}

void FieldDecoder::AppendValueText(size_t i, std::string_view bytes, bool export_mode,
                                   std::string& t) {
  const Plan& p = plans_[i];
  const ColumnDef& c = table_.columns[i];
  const ColumnTextDecoder& dec = decoders_[i];
  const auto* d = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t len = bytes.size();
  const DecodeOptions opts{export_mode};
  switch (p.what) {
    case What::kBit: {
      const int bits = c.length > 64 ? 64 : c.length;
      AppendBits(ReadUnsignedBe(d, std::min<size_t>(len, 8)), bits, t);
      return;
    }
    case What::kDecimalOld: {
      // Kept as right-aligned ASCII digits by servers before 5.0.3.
      std::string_view s = bytes;
      while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
      t.append(s.empty() ? std::string_view("0") : s);
      return;
    }
    case What::kChars:
      AppendStringValue(dec, bytes, opts, t);
      return;
    case What::kCharsTrim: {
      std::string_view s = bytes;
      while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
      AppendStringValue(dec, s, opts, t);
      return;
    }
    case What::kBlob:
      AppendBlobValue(dec, bytes, p.blob_whole ? DecodeOptions{true} : opts, t);
      return;
    case What::kGeometry:
      AppendGeometryValue(bytes, opts, t);
      return;
    case What::kNothing:
      return;  // a type without a value text of its own
    default: {
      // Every other kind through the writer that collects plain text.
      struct TextWriter {
        std::string& t;
        char buf[kMaxValueText + 8];
        void Null(size_t) {}
        void Absent(size_t) {}
        char* BeginPlain(size_t) { return buf; }
        void EndPlain(size_t, char* end) { t.append(buf, static_cast<size_t>(end - buf)); }
        void Floating(size_t, const uint8_t* b, size_t width) {
          if (width == 4) {
            float f;
            std::memcpy(&f, b, 4);
            AppendFloat(f, t);
          } else {
            double v;
            std::memcpy(&v, b, 8);
            AppendDouble(v, t);
          }
        }
        bool TakesAsIs(size_t, std::string_view) { return false; }
        void Text(size_t, std::string_view s, size_t, ValueSize) { t.append(s); }
        void Bytes(size_t, std::string_view s, ValueSize) { AppendHex(s, t); }
        void Value(size_t, std::string_view s) { t.append(s); }
        void External(size_t, const StoredField&) {}
        void Separator() {}
      } w{t, {}};
      Write(i, StoredField{d, static_cast<uint32_t>(len), FieldState::kInline}, w);
      return;
    }
  }
}

}  // namespace vostrel
