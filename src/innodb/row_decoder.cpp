#include "innodb/row_decoder.h"

#include <cstring>

#include "model/field_text.h"
#include "model/value_text.h"

namespace vostrel {

namespace {

bool IsBlobType(int32_t type) {
  return (type >= kTypeTinyBlob && type <= kTypeBlob) || type == kTypeGeometry;
}

}  // namespace

InnoRowDecoder::InnoRowDecoder(const TableDef& table, const ClusteredIndex& index,
                               const CollationTable& collations, const CodePage& code_page)
    : table_(table), index_(index), decoders_(MakeColumnDecoders(table, collations, code_page)) {}

bool InnoRowDecoder::Decode(const uint8_t* page, size_t origin, InnoDecodeContext& ctx, Row& row) {
  row.resize(table_.columns.size());
  if (!SplitRecord(page, origin, index_, spans_)) return false;
  for (size_t i = 0; i < index_.fields.size(); ++i) {
    const InnoColumnDef& f = index_.fields[i];
    if (f.column < 0 || f.key_prefix || static_cast<size_t>(f.column) >= row.size()) continue;
    FieldValue& out = row[static_cast<size_t>(f.column)];
    const FieldSpan& s = spans_[i];
    if (s.is_null) {
      out.SetNull();
    } else if (s.external) {
      DecodeExternal(f, page + s.offset, s.length, ctx, out);
    } else {
      DecodeField(f, page + s.offset, s.length, ctx, out);
    }
  }
  return true;
}

void InnoRowDecoder::DecodeExternal(const InnoColumnDef& f, const uint8_t* data, size_t len,
                                    InnoDecodeContext& ctx, FieldValue& out) {
  out.Reset();
  if (len < 20) {
    ctx.damage.Note("column " + f.name + " has a short reference to its value pages");
    return;
  }
  const std::string_view local(reinterpret_cast<const char*>(data), len - 20);
  const ExternRef ref = ParseExternRef(data + len - 20);
  const ColumnDef& c = table_.columns[static_cast<size_t>(f.column)];
  std::string damage;
  if (IsBlobType(c.type)) {
    if (!ctx.opts.export_mode) {
      out.text = kLargeExternPlaceholder;
      return;
    }
    if (ctx.blobs != nullptr) {
      const auto path = ctx.blobs->Write(ctx.space, local, ref, &damage);
      if (!damage.empty()) ctx.damage.Note("column " + f.name + ": " + damage);
      if (!path.empty()) {
        out.is_blob_file = true;
        out.text = path.string();
        return;
      }
    }
  }
  // Long VARCHAR/VARBINARY values, and large values that go inline.
  scratch_.assign(local);
  damage.clear();
  ReadExternValue(
      ctx.space, ref,
      [this](const uint8_t* p, size_t n) { scratch_.append(reinterpret_cast<const char*>(p), n); },
      &damage);
  if (!damage.empty()) ctx.damage.Note("column " + f.name + ": " + damage);
  const std::string value = std::move(scratch_);
  scratch_.clear();
  DecodeField(f, reinterpret_cast<const uint8_t*>(value.data()), value.size(), ctx, out);
}

void InnoRowDecoder::DecodeField(const InnoColumnDef& f, const uint8_t* data, size_t len,
                                 InnoDecodeContext& ctx, FieldValue& out) {
  const ColumnDef& c = table_.columns[static_cast<size_t>(f.column)];
  const ColumnTextDecoder& dec = decoders_[static_cast<size_t>(f.column)];
  const std::string_view bytes(reinterpret_cast<const char*>(data), len);
  out.Reset();
  std::string& t = out.text;
  // Fixed-width reads past a short field see zeros.
  uint8_t buf[16] = {};
  auto fixed = [&](size_t width) -> const uint8_t* {
    if (len >= width) return data;
    std::memset(buf, 0, sizeof buf);
    std::memcpy(buf, data, std::min(len, sizeof buf));
    return buf;
  };
  if (f.mtype == kDataInt) {
    const size_t w = std::min<size_t>(len, 8);
    uint64_t v = ReadUnsignedBe(data, w);
    int64_t sv = static_cast<int64_t>(v);
    if (!f.is_unsigned() && w > 0) {
      v ^= uint64_t{1} << (8 * w - 1);
      sv = SignExtend(v, w);
    }
    switch (c.type) {
      case kTypeYear:
        AppendYear(static_cast<uint8_t>(v), t);
        return;
      case kTypeNewDate:
        AppendOldDate3(static_cast<uint32_t>(v), t);
        return;
      case kTypeDate:
        AppendDate(sv / 10000, static_cast<int>(sv / 100 % 100), static_cast<int>(sv % 100), t);
        return;
      case kTypeTime:
        AppendOldTime(sv, t);
        return;
      case kTypeDateTime:
        AppendOldDateTime(v, t);
        return;
      case kTypeTimestamp:
        AppendTimestampUtc(static_cast<uint32_t>(v), 0, 0, t);
        return;
      case kTypeEnum:
        AppendEnum(v, c.enum_members, t);
        return;
      case kTypeSet:
        AppendSet(v, c.enum_members, t);
        return;
      default:
        if (f.is_unsigned()) {
          AppendUnsigned(v, t);
        } else {
          AppendSigned(sv, t);
        }
        return;
    }
  }
  switch (c.type) {
    case kTypeFloat: {
      float v;
      std::memcpy(&v, fixed(4), 4);
      AppendFloat(v, t);
      return;
    }
    case kTypeDouble: {
      double v;
      std::memcpy(&v, fixed(8), 8);
      AppendDouble(v, t);
      return;
    }
    case kTypeNewDecimal:
      AppendPackedDecimal(ByteView(data, len), c.precision, c.decimals, t);
      return;
    case kTypeDecimalOld: {
      std::string_view s = bytes;
      while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
      t.assign(s.empty() ? std::string_view("0") : s);
      return;
    }
    case kTypeTime2:
      AppendTime2(ByteView(data, len), c.fractional_digits, t);
      return;
    case kTypeDateTime2:
      AppendDateTime2(ByteView(data, len), c.fractional_digits, t);
      return;
    case kTypeTimestamp2:
      AppendTimestamp2(ByteView(data, len), c.fractional_digits, t);
      return;
    case kTypeBit:
      AppendBits(ReadUnsignedBe(data, std::min<size_t>(len, 8)), c.length > 64 ? 64 : c.length, t);
      return;
    case kTypeVarchar:
    case kTypeVarString:
    case kTypeString:
      SetStringValue(dec, bytes, ctx.opts, out);
      return;
    case kTypeTinyBlob:
    case kTypeBlob:
    case kTypeMediumBlob:
    case kTypeLongBlob:
      // Values kept inside the page are shown whole, even in the preview.
      SetBlobValue(dec, bytes, DecodeOptions{true}, out);
      return;
    case kTypeGeometry:
      SetGeometryValue(bytes, ctx.opts, out);
      return;
    default:
      return;
  }
}

}  // namespace vostrel
