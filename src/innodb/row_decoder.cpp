#include "innodb/row_decoder.h"

#include <algorithm>
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
    : table_(table), index_(index), decoders_(MakeColumnDecoders(table, collations, code_page)) {
  // The direct form needs each column filled by at most one field; other
  // layouts (a damaged dictionary) keep to Decode.
  plans_.resize(table.columns.size());
  for (size_t i = 0; i < table.columns.size(); ++i)
    plans_[i].kind = LiteralKindOf(table.columns[i]);
  for (size_t i = 0; i < index.fields.size(); ++i) {
    const InnoColumnDef& f = index.fields[i];
    if (f.column < 0 || f.key_prefix || static_cast<size_t>(f.column) >= table.columns.size())
      continue;
    const size_t col = static_cast<size_t>(f.column);
    Plan& plan = plans_[col];
    if (plan.field >= 0) direct_ = false;
    plan.field = static_cast<int32_t>(i);
    plan.fast = FastFor(f, table.columns[col], plan.kind, decoders_[col].binary());
  }
}

InnoRowDecoder::Fast InnoRowDecoder::FastFor(const InnoColumnDef& f, const ColumnDef& c,
                                             LiteralKind kind, bool binary) {
  if (f.mtype == kDataInt) {
    switch (c.type) {
      case kTypeYear:
        return Fast::kIntYear;
      case kTypeNewDate:
        return Fast::kIntNewDate;
      case kTypeDate:
        return Fast::kIntDate;
      case kTypeTime:
        return Fast::kIntTime;
      case kTypeDateTime:
        return Fast::kIntDateTime;
      case kTypeTimestamp:
        return Fast::kIntTimestamp;
      case kTypeEnum:
      case kTypeSet:
        return Fast::kSlow;
      default:
        return Fast::kInt;
    }
  }
  const bool text_kind_fits = binary ? kind == LiteralKind::kBare : kind == LiteralKind::kQuoted;
  switch (c.type) {
    case kTypeFloat:
      return Fast::kFloat;
    case kTypeDouble:
      return Fast::kDouble;
    case kTypeNewDecimal:
      return Fast::kDecimal;
    case kTypeTime2:
      return Fast::kTime2;
    case kTypeDateTime2:
      return Fast::kDateTime2;
    case kTypeTimestamp2:
      return Fast::kTimestamp2;
    case kTypeVarchar:
    case kTypeVarString:
    case kTypeString:
    case kTypeTinyBlob:
    case kTypeBlob:
    case kTypeMediumBlob:
    case kTypeLongBlob:
      return text_kind_fits ? Fast::kText : Fast::kSlow;
    case kTypeGeometry:
      return kind == LiteralKind::kBare ? Fast::kHex : Fast::kSlow;
    default:
      return Fast::kSlow;
  }
}

InnoRowDecoder::Direct InnoRowDecoder::AppendLiterals(const uint8_t* page, size_t origin,
                                                      TextBuffer& out) {
  if (!SplitRecord(page, origin, index_, spans_)) return Direct::kMisfit;
  static constexpr DecodeOptions kExport{true};
  const size_t entry = out.size();
  const size_t n = table_.columns.size();
  for (size_t col = 0; col < n; ++col) {
    if (col) out.Push(',');
    const Plan& plan = plans_[col];
    if (plan.field < 0) {
      // Never filled: the empty text a fresh row holds.
      AppendLiteral(plan.kind, {}, out);
      continue;
    }
    const FieldSpan& s = spans_[static_cast<size_t>(plan.field)];
    if (s.is_null) {
      out.Append("NULL", 4);
      continue;
    }
    if (s.external) {
      out.Truncate(entry);
      return Direct::kExternal;
    }
    const InnoColumnDef& f = index_.fields[static_cast<size_t>(plan.field)];
    const ColumnDef& c = table_.columns[col];
    const uint8_t* data = page + s.offset;
    const size_t len = s.length;
    // Fixed-width reads past a short field see zeros.
    uint8_t buf[16];
    auto fixed = [&](size_t width) -> const uint8_t* {
      if (len >= width) return data;
      std::memset(buf, 0, sizeof buf);
      std::memcpy(buf, data, std::min(len, sizeof buf));
      return buf;
    };
    // Texts of numbers and dates need no escapes: written straight in place.
    auto plain = [&](auto put) {
      char* p = out.Reserve(kMaxValueText + 4);
      p = put(OpenPlainLiteral(plan.kind, p));
      out.Commit(ClosePlainLiteral(plan.kind, p));
    };
    uint64_t v = 0;
    int64_t sv = 0;
    if (plan.fast >= Fast::kInt && plan.fast <= Fast::kIntTimestamp) {
      const size_t w = std::min<size_t>(len, 8);
      v = ReadUnsignedBe(data, w);
      sv = static_cast<int64_t>(v);
      if (!f.is_unsigned() && w > 0) {
        v ^= uint64_t{1} << (8 * w - 1);
        sv = SignExtend(v, w);
      }
    }
    switch (plan.fast) {
      case Fast::kInt:
        plain([&](char* p) { return f.is_unsigned() ? PutUnsigned(p, v) : PutSigned(p, sv); });
        break;
      case Fast::kIntYear:
        plain([&](char* p) { return PutYear(p, static_cast<uint8_t>(v)); });
        break;
      case Fast::kIntNewDate:
        plain([&](char* p) { return PutOldDate3(p, static_cast<uint32_t>(v)); });
        break;
      case Fast::kIntDate:
        plain([&](char* p) {
          return PutDate(p, sv / 10000, static_cast<int>(sv / 100 % 100),
                         static_cast<int>(sv % 100));
        });
        break;
      case Fast::kIntTime:
        plain([&](char* p) { return PutOldTime(p, sv); });
        break;
      case Fast::kIntDateTime:
        plain([&](char* p) { return PutOldDateTime(p, v); });
        break;
      case Fast::kIntTimestamp:
        plain([&](char* p) { return PutTimestampUtc(p, static_cast<uint32_t>(v), 0, 0); });
        break;
      case Fast::kFloat:
        AppendFloatingLiteral(fixed(4), 4, out);
        break;
      case Fast::kDouble:
        AppendFloatingLiteral(fixed(8), 8, out);
        break;
      case Fast::kDecimal:
        plain([&](char* p) {
          return PutPackedDecimal(p, ByteView(data, len), c.precision, c.decimals);
        });
        break;
      case Fast::kTime2:
        plain([&](char* p) { return PutTime2(p, ByteView(data, len), c.fractional_digits); });
        break;
      case Fast::kDateTime2:
        plain([&](char* p) { return PutDateTime2(p, ByteView(data, len), c.fractional_digits); });
        break;
      case Fast::kTimestamp2:
        plain([&](char* p) { return PutTimestamp2(p, ByteView(data, len), c.fractional_digits); });
        break;
      case Fast::kText:
        AppendCharacterLiteral(std::string_view(reinterpret_cast<const char*>(data), len),
                               decoders_[col], scratch_, out);
        break;
      case Fast::kHex:
        AppendHexLiteral(std::string_view(reinterpret_cast<const char*>(data), len), out);
        break;
      case Fast::kSlow:
        scratch_.clear();
        AppendFieldText(f, data, len, kExport, scratch_);
        AppendLiteral(plan.kind, scratch_, out);
        break;
    }
  }
  return Direct::kDone;
}

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
      out.Reset();
      AppendFieldText(f, page + s.offset, s.length, ctx.opts, out.text);
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
      const auto path = ctx.blobs->Write(ctx.space, local, ref, &damage, &ctx.value_pages);
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
      &damage, &ctx.value_pages);
  if (!damage.empty()) ctx.damage.Note("column " + f.name + ": " + damage);
  const std::string value = std::move(scratch_);
  scratch_.clear();
  AppendFieldText(f, reinterpret_cast<const uint8_t*>(value.data()), value.size(), ctx.opts,
                  out.text);
}

void InnoRowDecoder::AppendFieldText(const InnoColumnDef& f, const uint8_t* data, size_t len,
                                     const DecodeOptions& opts, std::string& t) const {
  const ColumnDef& c = table_.columns[static_cast<size_t>(f.column)];
  const ColumnTextDecoder& dec = decoders_[static_cast<size_t>(f.column)];
  const std::string_view bytes(reinterpret_cast<const char*>(data), len);
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
      t.append(s.empty() ? std::string_view("0") : s);
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
      AppendStringValue(dec, bytes, opts, t);
      return;
    case kTypeTinyBlob:
    case kTypeBlob:
    case kTypeMediumBlob:
    case kTypeLongBlob:
      // Values kept inside the page are shown whole, even in the preview.
      AppendBlobValue(dec, bytes, DecodeOptions{true}, t);
      return;
    case kTypeGeometry:
      AppendGeometryValue(bytes, opts, t);
      return;
    default:
      return;
  }
}

}  // namespace vostrel
