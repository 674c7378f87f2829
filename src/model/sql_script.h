// SQL script text as the mysql client reads it: statements split at the
// delimiter, comments blanked, executable comments opened, and a tokenizer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vostrel {

struct SqlStatement {
  // The statement without its delimiter. Comments are blanked to spaces and
  // the markers of /*!NNNNN ... */ comments too, so that offsets and line
  // breaks stay those of the file.
  std::string text;
  uint32_t line = 1;  // of its first character in the file
};

// Splits `script`; honours the client's DELIMITER command. Comments whose
// version is 99.99.99 or above (MariaDB's sandbox line) are left out like
// plain ones.
std::vector<SqlStatement> SplitSqlScript(std::string_view script);

enum class SqlTokenKind : uint8_t {
  kWord,    // bare word or `quoted` identifier (text holds the name)
  kString,  // '...' or "..." (text holds the value, escapes undone)
  kNumber,  // 12, 1.5, 1e3
  kHex,     // X'0A' or 0x0A (text as written)
  kBits,    // b'101' or 0b101 (text as written)
  kPunct,   // one or two characters: ( ) , ; . = <= ...
  kEnd,
};

struct SqlToken {
  SqlTokenKind kind = SqlTokenKind::kEnd;
  std::string text;
  bool quoted = false;  // a `quoted` identifier: never a keyword
  size_t begin = 0;     // offsets into the statement text
  size_t end = 0;
};

// Tokens of one statement; `error` names the first thing that is not SQL
// (an unterminated string). The last token is always kEnd.
std::vector<SqlToken> TokenizeSql(std::string_view text, std::string* error);

// The comment SHOW CREATE TABLE puts after a TIME, DATETIME or TIMESTAMP
// column kept in the format of MySQL 5.5 and MariaDB 5.3 ("/* mariadb-5.3 */",
// "/* 5.5 binary format */"); the tokenizer turns it into this one token.
inline constexpr const char* kOldTemporalMark = "/*old temporal*/";
bool IsOldTemporalMark(std::string_view comment);

// The 1-based line of `offset` within a statement that starts on `first_line`.
uint32_t LineAt(const SqlStatement& statement, size_t offset);

}  // namespace vostrel
