// CREATE SCHEMA, USE and CREATE TABLE texts for the recovered schema.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/collation_table.h"
#include "model/table_def.h"

namespace vostrel {

inline constexpr const char* kSchemaPrefix = "rep_";

// Script form ends in ";\r\n"; server form in ";".
std::string SchemaStatement(std::string_view database_name, std::string_view charset,
                            std::string_view collation, bool for_script);
std::string UseStatement(std::string_view database_name, bool for_script);

// The reduced form: columns, types, NOT NULL, the primary and unique keys.
std::string CreateTableStatement(std::string_view table_name, const TableDef& table,
                                 const CollationTable& collations);

// The full form, as SHOW CREATE TABLE of MariaDB 10.11 writes it: defaults,
// AUTO_INCREMENT, generated columns, every key with its name and kind, CHECK
// constraints and the table options. Foreign keys are left out: they are
// added once every table holds its rows (ForeignKeyStatements).
std::string FullCreateTableStatement(std::string_view table_name, const TableDef& table,
                                     const CollationTable& collations);

// The statement of either form: `reduced` is the --reduced-definitions switch.
std::string TableDefinitionStatement(std::string_view table_name, const TableDef& table,
                                     const CollationTable& collations, bool reduced);

// A column's type as SHOW CREATE TABLE writes it: "int(11) unsigned", "varchar(20)".
std::string FullColumnTypeText(const TableDef& table, const ColumnDef& column,
                               const CollationTable& collations);

// True when an InnoDB table declares no ROW_FORMAT but a key part needs more
// than the 767 bytes a COMPACT or REDUNDANT table allows.
bool NeedsDynamicRowFormat(const TableDef& table);

// "ALTER TABLE `t` ADD CONSTRAINT ..." per foreign key of the table. A key
// that refers to another database among `recovered` refers to its rep_ schema.
std::vector<std::string> ForeignKeyStatements(std::string_view table_name, const TableDef& table,
                                              const std::vector<std::string>& recovered);

// Table names longer than 64 characters are cut to their first 63.
std::string OutputTableName(std::string_view table_name);

// A db.opt value fit to stand unquoted in a statement (a name such as utf8mb4).
bool IsPlainCharsetName(std::string_view name);

}  // namespace vostrel
