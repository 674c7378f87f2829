// The columns of a compact-format clustered-index record as stored fields:
// each column's bytes in the page, NULL, or a reference to value pages.
#pragma once

#include <cstdint>
#include <vector>

#include "innodb/clustered_fields.h"
#include "innodb/record.h"
#include "model/stored_field.h"
#include "model/table_def.h"

namespace vostrel {

// How InnoDB keeps each column: integers (and the types it stores as
// integers) big-endian with the sign bit flipped, by the field's own type.
std::vector<ColumnStorage> InnodbColumnStorage(const TableDef& table, const ClusteredIndex& index);

// The column each index field fills (-1: none), the last field naming a
// column winning, key prefixes aside.
std::vector<int32_t> ColumnOfField(const TableDef& table, const ClusteredIndex& index);

// The value of a field a record stops before (after an instant ALTER TABLE).
StoredField MissingValue(const ClusteredIndex& index, size_t field);

class CompactFieldSplitter {
 public:
  CompactFieldSplitter(const TableDef& table, const ClusteredIndex& index);

  // The fields of the record at `origin`, valid while the page and this
  // splitter are; nullptr when the record does not fit its page. A reference
  // to value pages too short to be one becomes an empty value, and
  // `short_reference` names its column (else it is set to -1).
  const std::vector<StoredField>* Split(const uint8_t* page, size_t origin,
                                        int32_t* short_reference);

 private:
  template <bool kAltered>
  const std::vector<StoredField>* SplitWith(const uint8_t* page, size_t origin,
                                            int32_t* short_reference);

  const ClusteredIndex& index_;
  std::vector<int32_t> column_of_field_;  // the column each index field fills, or -1
  std::vector<StoredField> fields_;
};

}  // namespace vostrel
