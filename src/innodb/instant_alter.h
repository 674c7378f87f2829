// What MariaDB's instant ALTER TABLE (10.3 on) leaves in a clustered index,
// and the field list it gives the records.
//
// The root page's type becomes 18 and its PAGE_INSTANT field (bits 3-15 of
// the two bytes at index header offset 12) counts the fields records had
// when the table was first altered so: the "core" fields. The first record
// of the first leaf is a metadata record (info bit "minimum record"), which
// holds, for every field past the core ones, the value records that lack it
// take.
//
// Columns added at the end are appended fields. When columns are dropped or
// reordered (10.4 on), the fields keep the order they were written in: the
// root's infimum and supremum hold zero bytes instead of their names (the
// supremum's last byte: the null bitmap size of core records), the metadata
// record is also delete-marked, and it carries, just after DB_ROLL_PTR, a
// reference to a one-page BLOB mapping each field past the key and system
// fields to a column: a 4-byte field count, then 2 bytes per field: bit 15
// set for a dropped column (bit 14: it was NOT NULL; low 10 bits: 0 for a
// variable length of up to 255 bytes, 1 for a longer one, else the fixed
// length plus 1), else the column's number among the stored columns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "innodb/clustered_fields.h"
#include "innodb/extern_value.h"
#include "innodb/page.h"
#include "model/table_def.h"

namespace vostrel {

struct InstantRoot {
  bool marked = false;         // the root carries the instant ALTER page type
  size_t core_fields = 0;      // PAGE_INSTANT
  bool column_map = false;     // columns were dropped or reordered: the map BLOB
  size_t core_null_bytes = 0;  // the supremum's note, in that form
};

InstantRoot ReadInstantRoot(const uint8_t* root);

// Makes `index` read node pointers and core records of a marked root; the
// field list itself waits for the metadata record. Returns why the table
// cannot be read ("" when it can).
std::string BeginInstant(const InstantRoot& root, ClusteredIndex& index);

// Reads the metadata record on the first leaf `leaf` and gives `index` the
// fields records are written with (dropped columns as fields of no column)
// and the values of the fields records may lack. Returns why the table
// cannot be read ("" when it can): a layout this reader does not know is
// "not read: ...", never guessed at.
std::string ReadInstantMetadata(Tablespace& space, uint32_t leaf, const InstantRoot& root,
                                const TableDef& table, ClusteredIndex& index);
// The same over any source of checked pages (pages found in an image).
std::string ReadInstantMetadata(const PageSource& pages, uint32_t leaf, const InstantRoot& root,
                                const TableDef& table, ClusteredIndex& index);

}  // namespace vostrel
