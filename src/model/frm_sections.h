// The parts of a .frm beyond the column layout: the MariaDB extra2 section,
// the header's table options, the extra segment after the default record
// (connection, engine name, partition clause, parser names, long comment) and
// the expression section of generated columns, defaults and CHECKs.
#pragma once

#include <string>
#include <vector>

#include "model/byte_view.h"
#include "model/table_def.h"
#include "model/text_codec.h"

namespace vostrel {

struct FrmExtra2 {
  ByteView field_flags;     // one byte per column: visibility in bits 0-1
  ByteView index_flags;     // one byte per key: bit 0 IGNORED
  ByteView engine_options;  // engine-defined table, column and index options
  std::string default_partition_engine;
};

// Reads the extra2 section at byte 64; false (with a warning) when it is damaged.
bool ReadExtra2(ByteView file, size_t length, FrmExtra2& out, std::vector<std::string>& warnings);

// Options kept in the 64-byte header and the form (short comment).
void ReadHeaderOptions(ByteView file, ByteView form, const CodePage& code_page, TableDef& table);

// The extra segment that follows the default-values record.
void ReadExtraSegment(ByteView segment, uint8_t form_comment_length, const CodePage& code_page,
                      TableDef& table, std::vector<std::string>& warnings);

// The engine-defined table options as " `name`=value" text.
void ReadEngineOptions(ByteView options, TableDef& table, std::vector<std::string>& warnings);

// MariaDB 10.2+ expression section (after its 16-byte header): generation
// expressions, DEFAULT expressions and CHECK constraints.
void ReadExpressions(ByteView section, TableDef& table, std::vector<std::string>& warnings);

// The ROW_FORMAT name of a .frm row_type code; empty for the default and unknown codes.
std::string RowFormatName(uint8_t code);

}  // namespace vostrel
