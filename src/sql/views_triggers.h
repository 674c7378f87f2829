// CREATE VIEW and CREATE TRIGGER statements from MySQL's view (.frm text) and
// trigger (.TRG) files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "model/text_codec.h"

namespace vostrel {

// MySQL escapes values in these files: \n, \\, \', \0 and \z.
std::string UnescapeFileValue(std::string_view value);

// The raw value of the first line that starts with `key` + "="; false
// when there is none.
bool ReadFileValue(std::string_view file_text, std::string_view key, std::string& value);

// Qualified names `db`.x of the given databases become `rep_db`.x; quoted
// strings are left alone.
std::string RewriteSchemaReferences(std::string_view sql, const std::vector<std::string>& databases);

// Empty when the file cannot be read or holds no query.
std::string ViewStatement(const std::filesystem::path& view_file,
                          const std::vector<std::string>& databases, const CodePage& code_page);

// One "CREATE TRIGGER ..." statement per trigger of the file, in file order.
std::vector<std::string> TriggerStatements(const std::filesystem::path& trigger_file,
                                           const std::vector<std::string>& databases,
                                           const CodePage& code_page);

// The statements as DELIMITER blocks for a script or the preview.
std::string TriggerScript(const std::vector<std::string>& statements);

}  // namespace vostrel
