#include "model/field_text.h"

#include "model/value_text.h"

namespace vostrel {

void SetStringValue(const ColumnTextDecoder& decoder, std::string_view bytes,
                    const DecodeOptions& opts, FieldValue& out) {
  out.Reset();
  if (decoder.binary()) {
    if (!opts.export_mode && bytes.size() >= 100) {
      out.text = kBinaryPlaceholder;
    } else {
      AppendHex(bytes, out.text);
    }
    return;
  }
  decoder.Append(bytes, out.text);
}

void SetBlobValue(const ColumnTextDecoder& decoder, std::string_view bytes,
                  const DecodeOptions& opts, FieldValue& out) {
  out.Reset();
  if (!opts.export_mode && bytes.size() >= 1000) {
    out.text = kLargeBlobPlaceholder;
    return;
  }
  if (decoder.binary()) {
    AppendHex(bytes, out.text);
  } else {
    decoder.Append(bytes, out.text);
  }
}

void SetGeometryValue(std::string_view bytes, const DecodeOptions& opts, FieldValue& out) {
  out.Reset();
  if (!opts.export_mode) {
    out.text = kSpatialPlaceholder;
    return;
  }
  AppendHex(bytes, out.text);
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
