// A TableDef from a parsed CREATE TABLE, laid out as the server lays out the
// .frm it would write for it: field lengths in bytes, pack flags, null bits,
// record positions, keys with their parts in bytes.
#pragma once

#include <string>
#include <vector>

#include "model/collation_table.h"
#include "model/create_table_parser.h"
#include "model/table_def.h"

namespace vostrel {

struct TableDefBuild {
  bool ok = false;
  std::string error;
  std::vector<std::string> notes;  // what the statement left to the server's defaults
};

// `default_collation` stands for the database's default when the statement
// names no character set (0: the server's latin1_swedish_ci).
TableDefBuild BuildTableDef(const DeclaredTable& declared, const CollationTable& collations,
                            int32_t default_collation, TableDef& out);

// The engine code the .frm header would carry for an engine name; 0 for
// engines that keep their name in the .frm's extra segment.
uint8_t EngineCodeForName(std::string_view engine);

}  // namespace vostrel
