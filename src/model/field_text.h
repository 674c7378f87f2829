// Value texts of string-like fields, shared by both storage engines.
#pragma once

#include <string_view>

#include "model/row.h"
#include "model/table_def.h"
#include "model/text_decoder.h"

namespace vostrel {

// CHAR, VARCHAR, BINARY, VARBINARY: hex for byte strings, else text.
void SetStringValue(const ColumnTextDecoder& decoder, std::string_view bytes,
                    const DecodeOptions& opts, FieldValue& out);
// BLOB and TEXT.
void SetBlobValue(const ColumnTextDecoder& decoder, std::string_view bytes,
                  const DecodeOptions& opts, FieldValue& out);
// GEOMETRY: the exact bytes as hex in export, a placeholder in the preview.
void SetGeometryValue(std::string_view bytes, const DecodeOptions& opts, FieldValue& out);

// Per-table decoders, one per column.
std::vector<ColumnTextDecoder> MakeColumnDecoders(const TableDef& table,
                                                  const CollationTable& collations,
                                                  const CodePage& fallback);

}  // namespace vostrel
