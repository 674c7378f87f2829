// INSERT statements: one per row, values as SQL literals.
#pragma once

#include <string>
#include <string_view>

#include "model/row.h"
#include "model/table_def.h"

namespace vostrel {

// The literal of one value, without the separating comma.
void AppendValueLiteral(const ColumnDef& column, const FieldValue& value, std::string& out);

// "INSERT INTO `t`(`a`,`b`) VALUES("
std::string InsertHeader(std::string_view table_name, const TableDef& table);

// header + literals + ");" (+ CR LF for a script). `out` is cleared first, so
// one buffer serves every row of a table.
void BuildInsertRow(std::string_view header, const TableDef& table, const Row& row,
                    bool script_form, std::string& out);

}  // namespace vostrel
