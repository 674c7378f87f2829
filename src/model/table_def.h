// In-memory description of one table, as read from its .frm.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vostrel {

// MySQL field type codes.
enum FieldType : int32_t {
  kTypeDecimalOld = 0,
  kTypeTiny = 1,
  kTypeShort = 2,
  kTypeLong = 3,
  kTypeFloat = 4,
  kTypeDouble = 5,
  kTypeNull = 6,
  kTypeTimestamp = 7,
  kTypeLongLong = 8,
  kTypeInt24 = 9,
  kTypeDate = 10,
  kTypeTime = 11,
  kTypeDateTime = 12,
  kTypeYear = 13,
  kTypeNewDate = 14,
  kTypeVarchar = 15,
  kTypeBit = 16,
  kTypeTimestamp2 = 17,
  kTypeDateTime2 = 18,
  kTypeTime2 = 19,
  // MySQL 5.7 JSON (binary form); in MariaDB files before 10.2 the code of a
  // virtual column, whose real type is kept with its expression.
  kTypeJson = 245,
  kTypeNewDecimal = 246,
  kTypeEnum = 247,
  kTypeSet = 248,
  kTypeTinyBlob = 249,
  kTypeMediumBlob = 250,
  kTypeLongBlob = 251,
  kTypeBlob = 252,
  kTypeVarString = 253,
  kTypeString = 254,
  kTypeGeometry = 255,
};

inline constexpr int32_t kBinaryCollation = 63;

// Engine codes of the .frm header (the server's legacy engine numbers).
inline constexpr uint8_t kEngineHeap = 6;
inline constexpr uint8_t kEngineMergeMyIsam = 10;
inline constexpr uint8_t kEngineMyIsam = 9;
inline constexpr uint8_t kEngineInnoDb = 12;
inline constexpr uint8_t kEngineArchive = 16;
inline constexpr uint8_t kEngineCsv = 17;
inline constexpr uint8_t kEngineFederated = 18;
inline constexpr uint8_t kEngineBlackhole = 19;
inline constexpr uint8_t kEnginePartition = 20;
inline constexpr uint8_t kEngineAria = 42;

// The engine's name for a .frm engine code; "engine code N" for codes of
// engines that keep their name elsewhere (plugins).
std::string EngineName(uint8_t code);

// Pack-flag bits of a column record.
inline constexpr uint32_t kPackSigned = 0x0001;  // on numbers: set = signed
inline constexpr uint32_t kPackNumber = 0x0002;
inline constexpr uint32_t kPackZerofill = 0x0004;
inline constexpr uint32_t kPackBitAsChar = 0x1000;
inline constexpr uint32_t kPackNoDefault = 0x4000;  // NOT NULL column declared without DEFAULT
inline constexpr uint32_t kPackMaybeNull = 0x8000;

// A column's unireg_check code: what the server fills in by itself.
inline constexpr uint8_t kUniregNextNumber = 15;     // AUTO_INCREMENT
inline constexpr uint8_t kUniregTimestampOld = 18;   // TIMESTAMP made before MySQL 4.1.3
inline constexpr uint8_t kUniregTimestampDn = 21;    // DEFAULT CURRENT_TIMESTAMP
inline constexpr uint8_t kUniregTimestampUn = 22;    // ON UPDATE CURRENT_TIMESTAMP
inline constexpr uint8_t kUniregTimestampDnUn = 23;  // both

struct KeyPart {
  uint16_t field_number = 0;  // 1-based column number
  uint16_t offset = 0;
  uint16_t key_type = 0;
  uint16_t length = 0;  // bytes of the column that the key covers
  uint8_t part_flag = 0;
  bool descending = false;  // DESC in the key definition
};

// What kind of index a key is, as CREATE TABLE names it.
enum class KeyKind : uint8_t { kPrimary, kUnique, kIndex, kFulltext, kSpatial };

// Index algorithms as the .frm numbers them (USING ...).
inline constexpr uint8_t kKeyAlgorithmUndefined = 0;
inline constexpr uint8_t kKeyAlgorithmBtree = 1;
inline constexpr uint8_t kKeyAlgorithmRtree = 2;
inline constexpr uint8_t kKeyAlgorithmHash = 3;
inline constexpr uint8_t kKeyAlgorithmFulltext = 4;
// MariaDB's UNIQUE over long values: a hidden hash column holds the key.
inline constexpr uint8_t kKeyAlgorithmLongHash = 5;

// Key flag bits (as read, HA_NOSAME already turned the right way).
inline constexpr uint16_t kKeyFlagUnique = 0x0001;
inline constexpr uint16_t kKeyFlagFulltext = 0x0080;
inline constexpr uint16_t kKeyFlagSpatial = 0x0400;
inline constexpr uint16_t kKeyFlagUsesComment = 0x1000;
inline constexpr uint16_t kKeyFlagGenerated = 0x2000;
inline constexpr uint16_t kKeyFlagUsesParser = 0x4000;

struct KeyDef {
  uint16_t flags = 0;  // bit 0 set = unique (after the stored flag is inverted)
  uint16_t key_length = 0;
  uint8_t part_count = 0;
  uint8_t algorithm = 0;
  uint16_t block_size = 0;
  std::string name;
  std::vector<KeyPart> parts;
  KeyKind kind = KeyKind::kIndex;
  std::string comment;   // UTF-8
  std::string parser;    // FULLTEXT ... WITH PARSER
  bool ignored = false;  // MariaDB IGNORED / MySQL INVISIBLE index

  bool unique() const { return (flags & 1) != 0; }
  bool is_primary() const;
};

// A column's DEFAULT clause, as SQL text ready to follow "DEFAULT ".
struct ColumnDefault {
  enum class Kind : uint8_t {
    kNone,        // no DEFAULT clause (BLOB/TEXT, or NOT NULL without one)
    kNull,        // DEFAULT NULL
    kLiteral,     // sql holds a literal: 'abc', 12, b'101', 0x00FF
    kExpression,  // sql holds an expression: current_timestamp(), (1 + 2)
  };
  Kind kind = Kind::kNone;
  std::string sql;
};

enum class Generated : uint8_t { kNo, kVirtual, kStored };

struct ForeignKeyDef {
  std::string name;  // as the server named it, without the "db/" prefix
  std::vector<std::string> columns;
  std::string ref_database;  // decoded name; empty = the same database
  std::string ref_table;
  std::vector<std::string> ref_columns;
  std::string on_delete;  // "CASCADE", "SET NULL", "NO ACTION", "RESTRICT"; empty = default
  std::string on_update;
};

struct CheckConstraintDef {
  std::string name;        // empty for an unnamed column CHECK
  std::string expression;  // as the server keeps it, without the surrounding parentheses
};

// Table options of CREATE TABLE beyond engine and character set. Zero and
// empty mean "not given".
struct TableOptions {
  std::string engine_name;      // as stored ("InnoDB", "Aria", "ROCKSDB", ...)
  std::string comment;          // UTF-8
  uint64_t auto_increment = 0;  // the next value to hand out; 0: unknown
  std::string row_format;       // declared ROW_FORMAT ("COMPACT", "DYNAMIC", "FIXED", ...)
  uint32_t key_block_size = 0;
  uint64_t max_rows = 0;
  uint64_t min_rows = 0;
  uint32_t avg_row_length = 0;
  bool checksum = false;
  int pack_keys = -1;  // -1 default, 0 PACK_KEYS=0, 1 PACK_KEYS=1
  bool delay_key_write = false;
  int page_checksum = -1;     // Aria PAGE_CHECKSUM: -1 not given, else 0/1
  int transactional = -1;     // Aria TRANSACTIONAL: -1 not given, else 0/1
  int stats_persistent = -1;  // -1 default, else 0/1
  int stats_auto_recalc = -1;
  uint32_t stats_sample_pages = 0;
  std::string connection;        // FEDERATED / CONNECT connection string
  std::string union_tables;      // MERGE: `a`,`b`
  std::string insert_method;     // MERGE: FIRST / LAST
  std::string partition_clause;  // "PARTITION BY ..." as the server wrote it
  std::string data_directory;
  std::string index_directory;
  // Engine-defined options (MariaDB), ready to follow the table options: " `name`=value ...".
  std::string engine_options;
};

struct ColumnDef {
  std::string name;  // UTF-8
  int32_t index = 0;
  uint32_t record_pos = 0;  // byte offset in the row + 1, as stored
  int32_t type = 0;
  int32_t geometry_type = 0;
  int32_t length = 0;
  uint8_t nullable = 0;
  uint8_t in_primary_key = 0;
  uint8_t in_unique_key = 0;
  int32_t precision = 0;
  int32_t decimals = 0;
  int32_t charset_id = 0;
  std::string enum_values;                // 'a','b' as SQL literals, empty members kept
  std::vector<std::string> enum_members;  // UTF-8, in member order
  std::string comment;                    // UTF-8

  uint32_t pack_flags = 0;
  bool unsigned_flag = false;  // numeric column declared UNSIGNED
  bool zerofill = false;
  // Fractional-second digits of the 5.6 temporal types and MariaDB's older ones.
  int32_t fractional_digits = 0;
  // Position of this column's bit in the row's null bitmap; -1 when not nullable.
  int32_t null_bit = -1;
  // BIT columns: where the length % 8 leftover bits sit in the null bitmap; -1 if none.
  int32_t bit_leftover_pos = -1;

  // The rest of the column's definition, for the full CREATE TABLE.
  ColumnDefault default_value;
  bool auto_increment = false;
  std::string on_update;  // "current_timestamp()" with its precision; empty: none
  Generated generated = Generated::kNo;
  std::string generation_expression;  // for generated columns
  bool invisible = false;             // MariaDB INVISIBLE column
  std::string check_expression;       // MariaDB column CHECK (...)
  // Made by the server (the hash column of a long UNIQUE key): it is not part
  // of CREATE TABLE and not in the stored row.
  bool server_hidden = false;
  uint8_t unireg_check = 0;  // kUnireg* code of the .frm column record

  // Whether the storage engine keeps this column's value in the row. VIRTUAL
  // columns (and the hidden hash columns) are computed on read: they sit after
  // the stored columns in the record layout and the data files lack them.
  bool in_stored_row() const { return generated != Generated::kVirtual && !server_hidden; }
  // Parts of the definition that had to be guessed (a definition rebuilt
  // from the InnoDB dictionary), for the report.
  std::string guessed;
};

struct TableDef {
  std::vector<ColumnDef> columns;
  std::vector<KeyDef> keys;
  uint8_t engine_type = 0;
  int32_t table_charset_id = 0;
  int32_t record_length = 0;
  int32_t null_bytes = 0;
  uint8_t frm_version = 0;
  // Built from a CREATE TABLE statement or the InnoDB dictionary, not the
  // table's own .frm: it may describe another version of the table.
  bool layout_unverified = false;
  uint32_t mysql_version = 0;
  bool frm_from_56 = false;  // written by MySQL 5.6.0 or later
  uint16_t create_options = 0;

  TableOptions options;
  std::vector<ForeignKeyDef> foreign_keys;
  std::vector<CheckConstraintDef> checks;  // table CHECK constraints

  void Clear() { *this = TableDef{}; }
  const KeyDef* PrimaryKey() const;
};

}  // namespace vostrel
