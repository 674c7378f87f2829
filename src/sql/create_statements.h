// CREATE SCHEMA, USE and CREATE TABLE texts for the recovered schema.
#pragma once

#include <string>
#include <string_view>

#include "model/collation_table.h"
#include "model/table_def.h"

namespace vostrel {

inline constexpr const char* kSchemaPrefix = "rep_";

// Script form ends in ";\r\n"; server form in ";".
std::string SchemaStatement(std::string_view database_name, std::string_view charset,
                            std::string_view collation, bool for_script);
std::string UseStatement(std::string_view database_name, bool for_script);

std::string CreateTableStatement(std::string_view table_name, const TableDef& table,
                                 const CollationTable& collations);

// Table names longer than 64 characters are cut to their first 63.
std::string OutputTableName(std::string_view table_name);

// A db.opt value fit to stand unquoted in a statement (a name such as utf8mb4).
bool IsPlainCharsetName(std::string_view name);

}  // namespace vostrel
