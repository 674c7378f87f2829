// Foreign keys of a table from the InnoDB dictionary (SYS_FOREIGN and
// SYS_FOREIGN_COLS), for its full definition.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "innodb/system_dictionary.h"
#include "model/table_def.h"

namespace vostrel {

// Replaces table.foreign_keys with the keys the dictionary holds for the
// table `table_file` of database `database_folder` (both as on disk, e.g.
// "my@002ddb", "stock@002dlevel"). Names in the result are decoded. Returns
// the number of keys attached; keys the dictionary holds only in part are
// left out and named in `problems`.
size_t AttachForeignKeys(const SystemDictionary& dictionary, std::string_view database_folder,
                         std::string_view table_file, TableDef& table,
                         std::vector<std::string>* problems = nullptr);

}  // namespace vostrel
