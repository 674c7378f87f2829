// Value texts of string-like fields, shared by both storage engines. Each
// appends to `t`, which may already hold text that must stay.
#pragma once

#include <string>
#include <string_view>

#include "model/row.h"
#include "model/table_def.h"
#include "model/text_decoder.h"

namespace vostrel {

// CHAR, VARCHAR, BINARY, VARBINARY: hex for byte strings, else text.
void AppendStringValue(const ColumnTextDecoder& decoder, std::string_view bytes,
                       const DecodeOptions& opts, std::string& t);
// BLOB and TEXT.
void AppendBlobValue(const ColumnTextDecoder& decoder, std::string_view bytes,
                     const DecodeOptions& opts, std::string& t);
// GEOMETRY: the exact bytes as hex in export, a placeholder in the preview.
void AppendGeometryValue(std::string_view bytes, const DecodeOptions& opts, std::string& t);

// Per-table decoders, one per column.
std::vector<ColumnTextDecoder> MakeColumnDecoders(const TableDef& table,
                                                  const CollationTable& collations,
                                                  const CodePage& fallback);

}  // namespace vostrel
