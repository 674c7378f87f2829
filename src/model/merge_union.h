// The .MRG file of a MERGE table: the MyISAM tables it merges and its
// INSERT_METHOD, for the CREATE statement's UNION=(...) and INSERT_METHOD.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "model/table_def.h"

namespace vostrel {

struct MergeUnion {
  // Per merged table its database (empty: the MERGE table's own) and name, decoded.
  std::vector<std::pair<std::string, std::string>> tables;
  std::string insert_method;  // "FIRST", "LAST", or empty (NO)
};

// Parses .MRG text: one table a line ("t1", "./db/t1" or a full path to its
// files), "#INSERT_METHOD=LAST"; `own_database` is the folder name of the
// MERGE table's database, so that its own tables are named without one.
MergeUnion ParseMergeFile(std::string_view text, const std::string& own_database);

// Reads the .MRG beside `frm` into `options` (union_tables as `a`,`db`.`b`,
// insert_method); false, with `error`, when it cannot be read.
bool ReadMergeUnion(const std::filesystem::path& frm, TableOptions& options, std::string* error);

}  // namespace vostrel
