#include "innodb/redundant_fields.h"

#include "innodb/compact_fields.h"

namespace vostrel {

RedundantFieldSplitter::RedundantFieldSplitter(const TableDef& table, const ClusteredIndex& index)
    : index_(index), column_of_field_(ColumnOfField(table, index)), fields_(table.columns.size()) {}

const std::vector<StoredField>* RedundantFieldSplitter::Split(const uint8_t* page, size_t origin,
                                                              int32_t* short_reference) {
  if (short_reference) *short_reference = -1;
  if (!SplitRedundantRecord(page, origin, record_)) return nullptr;
  // After an instant ALTER TABLE a record may stop short of the last fields.
  const size_t n = record_.fields.size();
  if (n > index_.fields.size() ||
      (n < index_.fields.size() && (index_.core_fields == 0 || n < index_.core_fields))) {
    return nullptr;
  }
  for (size_t i = 0; i < index_.fields.size(); ++i) {
    const int32_t c = column_of_field_[i];
    if (c < 0) continue;
    StoredField& out = fields_[static_cast<size_t>(c)];
    if (i >= n) {
      out = MissingValue(index_, i);
      continue;
    }
    const RedundantField& f = record_.fields[i];
    if (f.is_null) {
      out = StoredField{nullptr, 0, FieldState::kNull};
    } else if (!f.external) {
      out = StoredField{page + f.offset, f.length, FieldState::kInline};
    } else if (f.length >= 20) {
      out = StoredField{page + f.offset, f.length, FieldState::kExternal};
    } else {
      if (short_reference) *short_reference = c;
      out = StoredField{page + f.offset, 0, FieldState::kInline};
    }
  }
  return &fields_;
}

}  // namespace vostrel
