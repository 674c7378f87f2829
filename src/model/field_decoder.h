// Stored bytes of a column to its value, by the column's type and the way
// its engine stores it; the value goes to a writer, which alone knows the
// output form (SQL literals, the preview's value text, ...).
//
// A writer W provides, for column i:
//   Null(i)                     SQL NULL
//   Absent(i)                   no stored field fills the column
//   BeginPlain(i) -> char*      room for kMaxValueText bytes of a text that needs
//   EndPlain(i, char* end)        no escapes and holds no 'n' or 'i' (digits, dates)
//   Floating(i, bytes, width)   a stored FLOAT (4) or DOUBLE (8), little-endian
//   TakesAsIs(i, raw) -> bool   offered first for characters of an ASCII-keeping
//                               character set: true when the writer took the
//                               bytes as they are (they are plain ASCII to it)
//   Text(i, utf8, stored_length, size)   characters, as UTF-8
//   Bytes(i, bytes, size)       a byte string (binary character column, BLOB, GEOMETRY)
//   Value(i, text)              a value text of the slower types (ENUM, SET, BIT, ...)
//   External(i, field)          a value kept on other pages: the caller resolves it
//   Separator()                 between the columns of a record
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "model/collation_table.h"
#include "model/field_text.h"
#include "model/stored_field.h"
#include "model/table_def.h"
#include "model/text_decoder.h"
#include "model/value_text.h"

namespace vostrel {

// A number's or a temporal value's text that a literal can carry as it is:
// digits, signs, '.', ':', ' ', 'e'/'E', at most kMaxValueText bytes.
inline bool IsPlainValueText(std::string_view s) {
  if (s.empty() || s.size() > kMaxValueText) return false;
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == ':' || c == ' ' ||
          c == 'e' || c == 'E')) {
      return false;
    }
  }
  return true;
}

// What a byte string is, for writers that shorten bulky values (the preview).
enum class ValueSize : uint8_t { kShort, kBlob, kBlobWhole, kGeometry };

class FieldDecoder {
 public:
  FieldDecoder(const TableDef& table, std::vector<ColumnStorage> storage,
               const CollationTable& collations, const CodePage& code_page);

  size_t columns() const { return plans_.size(); }

  template <class W>
  void WriteRecord(const RecordFields& r, W& w);
  // Inlined into the record loop: a call per value would cost as much as
  // the work itself for short values.
  template <class W>
  [[gnu::always_inline]] inline void Write(size_t i, const StoredField& f, W& w);

  // The value text of column i (not NULL, inline), as the preview and the
  // slow paths show it.
  void AppendValueText(size_t i, std::string_view bytes, bool export_mode, std::string& t);

  // Whether column i's stored field is a value its definition allows: a
  // deleted record's bytes are taken only when every field is one. NULL only
  // where the column takes it; lengths within the column's; ENUM and SET
  // within their members; real dates and times; valid UTF-8 for UTF-8 text.
  bool ValidValue(size_t i, const StoredField& f);

 private:
  enum class What : uint8_t {
    kNothing,  // an unknown type: the empty value text
    kInt,
    kYear,
    kNewDate,
    kDate,
    kTime,
    kDateTime,
    kTimestamp,
    kEnum,
    kSet,
    kFloat,
    kDouble,
    kDecimal,
    kDecimalOld,
    kTime2,
    kDateTime2,
    kTimestamp2,
    kBit,
    kChars,      // CHAR, VARCHAR and their binary kinds
    kCharsTrim,  // CHAR, and pre-5.0.3 VARCHAR kept padded: trailing spaces are not the value's
    kBlob,
    kGeometry,
    kOwnText,       // a number or temporal value kept as its text (checked by its reader)
    kOwnTextChars,  // an ENUM/SET value kept as its member text
  };
  struct Plan {
    What what = What::kNothing;
    bool big_endian = false;  // InnoDB integer form
    bool flip_sign = false;   // InnoDB signed integer: the sign bit is inverted
    bool is_unsigned = false;
    bool blob_whole = false;
    uint8_t width = 0;  // little-endian numbers: bytes read
  };
  static Plan PlanFor(const ColumnDef& c, const ColumnStorage& s);

  // The integer of a number field, as unsigned and as signed.
  static void Number(const Plan& p, const uint8_t* d, size_t len, uint64_t& v, int64_t& sv) {
    if (p.big_endian) {
      const size_t w = std::min<size_t>(len, 8);
      v = ReadUnsignedBe(d, w);
      sv = static_cast<int64_t>(v);
      if (p.flip_sign && w > 0) {
        v ^= uint64_t{1} << (8 * w - 1);
        sv = SignExtend(v, w);
      }
    } else {
      v = ReadUnsignedLe(d, p.width);
      sv = SignExtend(v, p.width);
    }
  }

  template <class W>
  void Chars(size_t i, std::string_view raw, ValueSize size, W& w);

  const TableDef& table_;
  std::vector<Plan> plans_;
  std::vector<ColumnTextDecoder> decoders_;
  std::string scratch_;
};

template <class W>
void FieldDecoder::WriteRecord(const RecordFields& r, W& w) {
  const size_t n = std::min(r.count, plans_.size());
  for (size_t i = 0; i < n; ++i) {
    if (i) w.Separator();
    Write(i, r.fields[i], w);
  }
}

template <class W>
void FieldDecoder::Chars(size_t i, std::string_view raw, ValueSize size, W& w) {
  const ColumnTextDecoder& dec = decoders_[i];
  if (dec.binary()) {
    w.Bytes(i, raw, size);
  } else if (dec.keeps_ascii() && w.TakesAsIs(i, raw)) {
  } else if (dec.utf8() && IsValidUtf8(raw)) {
    w.Text(i, raw, raw.size(), size);
  } else {
    scratch_.clear();
    dec.Append(raw, scratch_);
    w.Text(i, scratch_, raw.size(), size);
  }
}

template <class W>
inline void FieldDecoder::Write(size_t i, const StoredField& f, W& w) {
  switch (f.state) {
    case FieldState::kNull:
      w.Null(i);
      return;
    case FieldState::kAbsent:
      w.Absent(i);
      return;
    case FieldState::kExternal:
      w.External(i, f);
      return;
    case FieldState::kInline:
      break;
  }
  const Plan& p = plans_[i];
  const ColumnDef& c = table_.columns[i];
  // Fixed-width reads past a short field see zeros.
  uint8_t small[16];
  const uint8_t* d = f.data;
  const size_t len = f.length;
  auto fixed = [&](size_t width) -> const uint8_t* {
    if (len >= width) return d;
    std::memset(small, 0, sizeof small);
    if (len > 0) std::memcpy(small, d, std::min(len, sizeof small));
    return small;
  };
  auto plain = [&](auto put) { w.EndPlain(i, put(w.BeginPlain(i))); };
  switch (p.what) {
    case What::kInt:
    case What::kYear:
    case What::kNewDate:
    case What::kDate:
    case What::kTime:
    case What::kDateTime:
    case What::kTimestamp:
    case What::kEnum:
    case What::kSet: {
      uint64_t v;
      int64_t sv;
      Number(p, p.big_endian ? d : fixed(p.width), len, v, sv);
      switch (p.what) {
        case What::kInt:
          plain([&](char* o) { return p.is_unsigned ? PutUnsigned(o, v) : PutSigned(o, sv); });
          return;
        case What::kYear:
          plain([&](char* o) { return PutYear(o, static_cast<uint8_t>(v)); });
          return;
        case What::kNewDate:
          plain([&](char* o) { return PutOldDate3(o, static_cast<uint32_t>(v)); });
          return;
        case What::kDate: {
          const int64_t x = p.big_endian ? sv : static_cast<int64_t>(static_cast<uint32_t>(v));
          plain([&](char* o) {
            return PutDate(o, x / 10000, static_cast<int>(x / 100 % 100),
                           static_cast<int>(x % 100));
          });
          return;
        }
        case What::kTime:
          plain([&](char* o) { return PutOldTime(o, sv); });
          return;
        case What::kDateTime:
          plain([&](char* o) { return PutOldDateTime(o, v); });
          return;
        case What::kTimestamp:
          plain([&](char* o) { return PutTimestampUtc(o, static_cast<uint32_t>(v), 0, 0); });
          return;
        case What::kEnum:
          scratch_.clear();
          AppendEnum(v, c.enum_members, scratch_);
          w.Value(i, scratch_);
          return;
        default:
          scratch_.clear();
          AppendSet(v, c.enum_members, scratch_);
          w.Value(i, scratch_);
          return;
      }
    }
    case What::kFloat:
      w.Floating(i, fixed(4), 4);
      return;
    case What::kDouble:
      w.Floating(i, fixed(8), 8);
      return;
    case What::kDecimal:
      plain(
          [&](char* o) { return PutPackedDecimal(o, ByteView(d, len), c.precision, c.decimals); });
      return;
    case What::kTime2:
    case What::kDateTime2:
    case What::kTimestamp2: {
      const ByteView b = p.width ? ByteView(fixed(p.width), p.width) : ByteView(d, len);
      const int digits = c.fractional_digits;
      if (p.what == What::kTime2) {
        plain([&](char* o) { return PutTime2(o, b, digits); });
      } else if (p.what == What::kDateTime2) {
        plain([&](char* o) { return PutDateTime2(o, b, digits); });
      } else {
        plain([&](char* o) { return PutTimestamp2(o, b, digits); });
      }
      return;
    }
    case What::kChars:
      Chars(i, f.bytes(), ValueSize::kShort, w);
      return;
    case What::kCharsTrim: {
      std::string_view s = f.bytes();
      while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
      Chars(i, s, ValueSize::kShort, w);
      return;
    }
    case What::kBlob:
      Chars(i, f.bytes(), p.blob_whole ? ValueSize::kBlobWhole : ValueSize::kBlob, w);
      return;
    case What::kGeometry:
      w.Bytes(i, f.bytes(), ValueSize::kGeometry);
      return;
    case What::kOwnText:
      if (IsPlainValueText(f.bytes())) {
        plain([&](char* o) {
          std::memcpy(o, f.data, len);
          return o + len;
        });
      } else {
        w.Absent(i);  // never a literal of unchecked text
      }
      return;
    case What::kOwnTextChars:
      Chars(i, f.bytes(), ValueSize::kShort, w);
      return;
    case What::kBit:
    case What::kDecimalOld:
    case What::kNothing:
      scratch_.clear();
      AppendValueText(i, f.bytes(), true, scratch_);
      w.Value(i, scratch_);
      return;
  }
}

}  // namespace vostrel
