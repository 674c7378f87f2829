// Column defaults from the default-values record of a .frm, as SQL literals.
#pragma once

#include <string>
#include <vector>

#include "model/byte_view.h"
#include "model/collation_table.h"
#include "model/table_def.h"
#include "model/text_codec.h"

namespace vostrel {

// Fills default_value, auto_increment and on_update of every column from the
// record (whose null bits come first) and the columns' unireg codes. Columns
// whose default is an expression (set before from the .frm's expression
// section) keep it. Values that cannot be decoded are left without DEFAULT
// and named in `warnings`.
void ReadColumnDefaults(ByteView record, const CollationTable& collations,
                        const CodePage& code_page, TableDef& table,
                        std::vector<std::string>& warnings);

// The literal of one column's default bytes; false when they cannot be read.
bool DefaultLiteral(ByteView record, const ColumnDef& column, const CollationTable& collations,
                    const CodePage& code_page, std::string& out);

}  // namespace vostrel
