// SQL type text of a column.
#pragma once

#include <string>

#include "model/collation_table.h"
#include "model/table_def.h"

namespace vostrel {

// Character length of CHAR/VARCHAR columns: bytes divided by the collation's
// widest character, or the bytes when the collation is unknown.
int32_t CharacterLength(const TableDef& table, const ColumnDef& column,
                        const CollationTable& collations);

// e.g. "VARCHAR(20)", "INT UNSIGNED", "DATETIME(6)", "ENUM('a','b')".
std::string ColumnTypeText(const TableDef& table, const ColumnDef& column,
                           const CollationTable& collations);

bool IsIntegerType(int32_t type);
bool IsCharacterType(int32_t type);  // types that take a character set clause
bool IsTimestampType(int32_t type);

}  // namespace vostrel
