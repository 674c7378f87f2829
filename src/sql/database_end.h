// What a database's load carries in the full form around its tables: the
// checks turned off before the first table, as mysqldump does, and after the
// last one the foreign keys, added once every table holds its rows, so that
// the order of the tables does not matter.
#pragma once

#include <string>
#include <vector>

namespace vostrel {

// Follows the session settings at the top of a database's script.
inline constexpr const char* kScriptChecksOff =
    "/*!40014 SET @OLD_UNIQUE_CHECKS=@@UNIQUE_CHECKS, UNIQUE_CHECKS=0 */;\r\n"
    "/*!40014 SET @OLD_FOREIGN_KEY_CHECKS=@@FOREIGN_KEY_CHECKS, FOREIGN_KEY_CHECKS=0 */;\r\n";

// The statements that end a database: its foreign keys (ALTER TABLE ... ADD
// CONSTRAINT, see ForeignKeyStatements), with the checks off while they are
// added. The script form restores the checks saved by kScriptChecksOff and
// ends each statement with a line end; the server form is one statement each.
std::vector<std::string> EndOfDatabaseStatements(const std::vector<std::string>& foreign_keys,
                                                 bool for_script);

}  // namespace vostrel
