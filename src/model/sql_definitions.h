// Table definitions given as SQL (--definitions FILE): the CREATE TABLE
// statements of a dump, of SHOW CREATE TABLE or of a schema file, for tables
// whose .frm is missing or damaged.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "model/collation_table.h"
#include "model/create_table_parser.h"
#include "model/table_def_builder.h"

namespace vostrel {

struct SqlDefinition {
  DeclaredTable declared;  // database filled from USE where the name lacks it
  std::string where;       // "defs.sql line 12", for logs and reports
};

struct SqlDefinitionSet {
  std::string path;
  std::vector<SqlDefinition> tables;
  // Default collation (or character set) names from CREATE DATABASE, by database.
  std::map<std::string, std::string> database_charsets;
  std::vector<std::string> notes;  // statements that were not used, worth a log line

  // The statement for a table: one naming its database first, else one that
  // names none (a SHOW CREATE TABLE). Names are decoded, compared without case.
  const SqlDefinition* Find(std::string_view database, std::string_view table) const;
};

struct SqlDefinitionLoad {
  bool ok = false;
  std::vector<std::string> errors;  // "FILE line N: what"
  SqlDefinitionSet set;
};

// Reads and parses a file; with `collations`, every table's definition is
// also built once so that unknown character sets are found now.
SqlDefinitionLoad LoadSqlDefinitions(const std::filesystem::path& path,
                                     const CollationTable* collations);
SqlDefinitionLoad ParseSqlDefinitions(std::string_view text, const std::string& source_name,
                                      const CollationTable* collations);

// The TableDef of one definition; `database_collation` is the default of the
// database the table is recovered into (db.opt), 0 when not known.
TableDefBuild BuildDefinitionTable(const SqlDefinitionSet& set, const SqlDefinition& def,
                                   const CollationTable& collations, int32_t database_collation,
                                   TableDef& out);

}  // namespace vostrel
