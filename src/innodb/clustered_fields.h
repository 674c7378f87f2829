// The fields of one clustered-index record of a table, in stored order, and
// how InnoDB stores each of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/collation_table.h"
#include "model/table_def.h"

namespace vostrel {

// InnoDB main types.
enum InnoMainType : int32_t {
  kDataVarchar = 1,
  kDataChar = 2,
  kDataFixBinary = 3,
  kDataBinary = 4,
  kDataBlob = 5,
  kDataInt = 6,
  kDataSys = 8,
  kDataFloat = 9,
  kDataDouble = 10,
  kDataDecimal = 11,
  kDataVarMysql = 12,
  kDataMysql = 13,
  kDataGeometry = 14,
};

inline constexpr uint32_t kPrtypeNotNull = 0x100;
inline constexpr uint32_t kPrtypeUnsigned = 0x200;
inline constexpr uint32_t kPrtypeBinary = 0x400;

struct InnoColumnDef {
  int32_t mtype = 0;
  uint32_t prtype = 0;
  int32_t len = 0;          // declared byte length
  int32_t fixed_len = 0;    // bytes always taken; 0 when the record header holds the length
  int32_t column = -1;      // TableDef column receiving the value; -1 for hidden fields
  bool key_prefix = false;  // a key field holding only the start of a column
  std::string name;

  bool nullable() const { return (prtype & kPrtypeNotNull) == 0; }
  bool is_unsigned() const { return (prtype & kPrtypeUnsigned) != 0; }
  // Two length bytes are possible for long and large-object fields.
  bool big() const { return len > 255 || mtype == kDataBlob || mtype == kDataGeometry; }
};

struct ClusteredIndex {
  bool redundant = false;             // records in the redundant format (ROW_FORMAT=REDUNDANT)
  std::vector<InnoColumnDef> fields;  // stored order
  size_t key_fields = 0;              // the first key_fields fields form the key
  size_t nullable_fields = 0;
  // Where its tree is, as far as the source of the field list knows: page 3
  // of an .ibd, or the dictionary's entry; id 0 when only the pages can tell.
  uint32_t root = 3;
  uint64_t id = 0;

  // After an instant ALTER TABLE (MariaDB), records written before the first
  // one hold only the first `core_fields` fields (0: never altered so), with
  // a null bitmap of `core_null_bytes`; a later record may stop short of the
  // last fields too. Fields it lacks take `missing_values[field -
  // core_fields]` (nullopt: NULL), in their stored form.
  size_t core_fields = 0;
  size_t core_null_bytes = 0;
  std::vector<std::optional<std::string>> missing_values;
  // Nullable fields among the first k, for k up to fields.size().
  std::vector<uint16_t> nullable_before;

  size_t null_bytes() const { return (nullable_fields + 7) / 8; }
  // Node pointers keep the null bitmap of the table as first created.
  size_t node_null_bytes() const { return core_fields != 0 ? core_null_bytes : null_bytes(); }
  bool instant() const { return core_fields != 0; }
  // Recounts nullable_fields and nullable_before after the field list changed.
  void CountNullable();
};

// The key InnoDB clusters on: PRIMARY, else the first UNIQUE key whose columns
// are all NOT NULL (and whole); nullptr means the hidden DB_ROW_ID.
const KeyDef* ClusteredKey(const TableDef& table);

// Stored form of one column, derived from its MySQL type as InnoDB does.
InnoColumnDef InnoFieldForColumn(const TableDef& table, size_t column,
                                 const CollationTable& collations);

ClusteredIndex BuildClusteredIndexFromTableDef(const TableDef& table,
                                               const CollationTable& collations);

// Bytes a field of this type always takes (0: its length is in the record header).
int32_t FixedLength(int32_t mtype, uint32_t prtype, int32_t len, int mbminlen, int mbmaxlen);

// Length of the key part of a node-pointer record at `origin`, or 0 when its
// header does not fit inside the page.
size_t NodePointerKeyLength(const uint8_t* page, size_t origin, const ClusteredIndex& index);

}  // namespace vostrel
