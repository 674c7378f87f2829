// CREATE TABLE statements as SHOW CREATE TABLE, mysqldump and schema files
// write them, parsed into what they declare (before any layout is worked out).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/sql_script.h"
#include "model/table_def.h"

namespace vostrel {

struct DeclaredColumn {
  std::string name;
  std::string type;                  // lower case: "int", "varchar", "enum", ...
  std::vector<int64_t> sizes;        // (M) or (M,D) as written; empty when not given
  std::vector<std::string> members;  // ENUM/SET members, UTF-8
  bool is_unsigned = false;
  bool zerofill = false;
  bool binary_attribute = false;
  bool old_temporal = false;  // TIME/DATETIME/TIMESTAMP in the pre-5.6 format  // CHAR(10) BINARY:
                              // the charset's _bin collation
  std::string charset;        // CHARACTER SET as written; empty: the table's
  std::string collation;      // COLLATE as written
  bool not_null = false;
  bool null_given = false;  // NULL or NOT NULL written
  ColumnDefault default_value;
  bool auto_increment = false;
  std::string on_update;
  std::string comment;
  Generated generated = Generated::kNo;
  std::string generation_expression;
  bool invisible = false;
  std::string check_expression;
  bool primary_key = false;  // PRIMARY KEY written on the column
  bool unique_key = false;
  uint32_t line = 0;
};

struct DeclaredKeyPart {
  std::string column;
  int64_t prefix = -1;  // characters (bytes for binary strings); -1: whole column
  bool descending = false;
};

struct DeclaredKey {
  KeyKind kind = KeyKind::kIndex;
  std::string name;  // empty when not given
  std::vector<DeclaredKeyPart> parts;
  uint8_t algorithm = kKeyAlgorithmUndefined;
  std::string comment;
  std::string parser;
  uint32_t block_size = 0;
  bool ignored = false;
  uint32_t line = 0;
};

struct DeclaredTable {
  std::string database;  // empty when neither the name nor a USE says it
  std::string name;
  std::vector<DeclaredColumn> columns;
  std::vector<DeclaredKey> keys;
  std::vector<ForeignKeyDef> foreign_keys;
  std::vector<CheckConstraintDef> checks;
  TableOptions options;   // engine_name empty when not given
  std::string charset;    // DEFAULT CHARSET as written
  std::string collation;  // COLLATE as written
  bool temporary = false;
  uint32_t line = 0;
};

struct SqlParseError {
  uint32_t line = 0;
  std::string message;
};

// Parses one CREATE TABLE statement. False with `error` set when it is not
// one or holds what this parser does not know.
bool ParseCreateTable(const SqlStatement& statement, DeclaredTable& out, SqlParseError& error);

// Whether a statement's first words are CREATE [OR REPLACE] [TEMPORARY] TABLE.
bool IsCreateTable(const std::vector<SqlToken>& tokens);

}  // namespace vostrel
