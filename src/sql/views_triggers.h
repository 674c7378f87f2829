// CREATE VIEW and CREATE TRIGGER statements from MySQL's view (.frm text) and
// trigger (.TRG) files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "model/text_codec.h"
#include "scan/scan.h"
#include "scan/selection.h"

namespace vostrel {

// MySQL escapes values in these files: \n, \\, \', \0 and \z.
std::string UnescapeFileValue(std::string_view value);

// The raw value of the first line that starts with `key` + "="; false
// when there is none.
bool ReadFileValue(std::string_view file_text, std::string_view key, std::string& value);

// Qualified names `db`.x of the given databases become `rep_db`.x; quoted
// strings are left alone.
std::string RewriteSchemaReferences(std::string_view sql,
                                    const std::vector<std::string>& databases);

// Empty when the file cannot be read or holds no query.
std::string ViewStatement(const std::filesystem::path& view_file,
                          const std::vector<std::string>& databases, const CodePage& code_page);

// One "CREATE TRIGGER ..." statement per trigger of the file, in file order.
std::vector<std::string> TriggerStatements(const std::filesystem::path& trigger_file,
                                           const std::vector<std::string>& databases,
                                           const CodePage& code_page);

// The statements as DELIMITER blocks for a script or the preview.
std::string TriggerScript(const std::vector<std::string>& statements);

// The full forms keep what the files record about who runs the object and how.

// "CREATE ALGORITHM=... DEFINER=`u`@`h` SQL SECURITY ... VIEW `v` AS ... [WITH ... CHECK
// OPTION];"; `definer` gets the account ("" when the file names none). Empty when unreadable.
std::string FullViewStatement(const std::filesystem::path& view_file,
                              const std::vector<std::string>& databases, const CodePage& code_page,
                              std::string* definer = nullptr);

struct TriggerDefinition {
  std::string name;
  std::string statement;  // CREATE DEFINER=... TRIGGER ... [FOLLOWS `previous`] ...
  std::string sql_mode;   // the mode it was created under, as names; empty: the default
  bool has_sql_mode = false;
  std::string definer;  // `user`@`host`, empty when the file names none
};

// The triggers of a .TRG file in their action order; a trigger that follows
// another one of the same timing and event says so with FOLLOWS.
std::vector<TriggerDefinition> FullTriggerDefinitions(const std::filesystem::path& trigger_file,
                                                      const std::vector<std::string>& databases,
                                                      const CodePage& code_page);

// As mysqldump writes them: each trigger under its own sql_mode, the session's
// mode restored after it.
std::string FullTriggerScript(const std::vector<TriggerDefinition>& triggers);

// sql_mode names of a stored sql_mode number.
std::string SqlModeNames(uint64_t mode);

// The items with every view moved after the views it selects from (a view
// made before them is refused); the other items keep their places.
std::vector<SelectedItem> OrderViewsByDependency(const ScanResult& scan,
                                                 std::vector<SelectedItem> items);

// `user`@`host` from "user@host" as the files keep it (the host after the last '@').
std::string QuoteAccount(std::string_view user_at_host);

}  // namespace vostrel
