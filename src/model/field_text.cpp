#include "model/field_text.h"

#include "model/value_text.h"

namespace vostrel {

void AppendStringValue(const ColumnTextDecoder& decoder, std::string_view bytes,
                       const DecodeOptions& opts, std::string& t) {
  if (decoder.binary()) {
    if (!opts.export_mode && bytes.size() >= 100) {
      t += kBinaryPlaceholder;
    } else {
      AppendHex(bytes, t);
    }
    return;
  }
  decoder.Append(bytes, t);
}

void AppendBlobValue(const ColumnTextDecoder& decoder, std::string_view bytes,
                     const DecodeOptions& opts, std::string& t) {
  if (!opts.export_mode && bytes.size() >= 1000) {
    t += kLargeBlobPlaceholder;
    return;
  }
  if (decoder.binary()) {
    AppendHex(bytes, t);
  } else {
    decoder.Append(bytes, t);
  }
}

void AppendGeometryValue(std::string_view bytes, const DecodeOptions& opts, std::string& t) {
  if (!opts.export_mode) {
    t += kSpatialPlaceholder;
    return;
  }
  AppendHex(bytes, t);
}

std::vector<ColumnTextDecoder> MakeColumnDecoders(const TableDef& table,
                                                  const CollationTable& collations,
                                                  const CodePage& fallback) {
  std::vector<ColumnTextDecoder> out;
  out.reserve(table.columns.size());
  for (const ColumnDef& c : table.columns) out.emplace_back(c.charset_id, collations, fallback);
  return out;
}

}  // namespace vostrel
