#include "innodb/redundant_fields.h"

#include "innodb/compact_fields.h"

namespace vostrel {

RedundantFieldSplitter::RedundantFieldSplitter(const TableDef& table, const ClusteredIndex& index)
    : index_(index),
      column_of_field_(ColumnOfField(table, index)),
      fields_(table.columns.size()) {}

const std::vector<StoredField>* RedundantFieldSplitter::Split(const uint8_t* page, size_t origin,
                                                              int32_t* short_reference) {
  if (short_reference) *short_reference = -1;
  if (!SplitRedundantRecord(page, origin, record_)) return nullptr;
  if (record_.fields.size() != index_.fields.size()) return nullptr;
  for (size_t i = 0; i < record_.fields.size(); ++i) {
    const int32_t c = column_of_field_[i];
    if (c < 0) continue;
    const RedundantField& f = record_.fields[i];
    StoredField& out = fields_[static_cast<size_t>(c)];
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
