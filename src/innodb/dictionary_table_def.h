// A table definition rebuilt from InnoDB's dictionary (SYS_TABLES, SYS_COLUMNS,
// SYS_INDEXES, SYS_FIELDS) for a table whose .frm is gone. What the dictionary
// does not keep is either left out or named as a guess.
#pragma once

#include <string>
#include <vector>

#include "innodb/system_dictionary.h"
#include "model/collation_table.h"
#include "model/table_def.h"

namespace vostrel {

struct DictionaryDefinition {
  bool ok = false;
  std::string error;
  // Each part of the definition that had to be guessed or left out, for the
  // log and the report ("DECIMAL amount kept as its 5 stored bytes", ...).
  std::vector<std::string> guesses;
};

DictionaryDefinition BuildTableDefFromDictionary(const SystemDictionary& dictionary,
                                                 const SysTablesRow& row,
                                                 const CollationTable& collations, TableDef& out);

}  // namespace vostrel
