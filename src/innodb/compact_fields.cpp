#include "innodb/compact_fields.h"

namespace vostrel {

namespace {

// The field that fills each column: the last one naming it, key prefixes
// aside (the whole column follows among the other fields).
std::vector<int32_t> FieldOfColumn(const TableDef& table, const ClusteredIndex& index) {
  std::vector<int32_t> of(table.columns.size(), -1);
  for (size_t i = 0; i < index.fields.size(); ++i) {
    const InnoColumnDef& f = index.fields[i];
    if (f.column < 0 || f.key_prefix || static_cast<size_t>(f.column) >= of.size()) continue;
    of[static_cast<size_t>(f.column)] = static_cast<int32_t>(i);
  }
  return of;
}

}  // namespace

std::vector<ColumnStorage> InnodbColumnStorage(const TableDef& table, const ClusteredIndex& index) {
  std::vector<ColumnStorage> s(table.columns.size());
  const std::vector<int32_t> of = FieldOfColumn(table, index);
  for (size_t c = 0; c < s.size(); ++c) {
    s[c].inline_blobs_whole = true;
    s[c].form = NumberForm::kInnodbOther;
    if (of[c] < 0) continue;
    const InnoColumnDef& f = index.fields[static_cast<size_t>(of[c])];
    if (f.mtype == kDataInt) {
      s[c].form = NumberForm::kBigEndianFlipped;
      s[c].is_unsigned = f.is_unsigned();
    }
  }
  return s;
}

CompactFieldSplitter::CompactFieldSplitter(const TableDef& table, const ClusteredIndex& index)
    : index_(index), field_of_column_(FieldOfColumn(table, index)), fields_(table.columns.size()) {}

const std::vector<StoredField>* CompactFieldSplitter::Split(const uint8_t* page, size_t origin) {
  if (!SplitRecord(page, origin, index_, spans_)) return nullptr;
  for (size_t c = 0; c < fields_.size(); ++c) {
    const int32_t i = field_of_column_[c];
    if (i < 0) {
      fields_[c] = StoredField{};
      continue;
    }
    const FieldSpan& s = spans_[static_cast<size_t>(i)];
    fields_[c] = s.is_null ? StoredField{nullptr, 0, FieldState::kNull}
                           : StoredField{page + s.offset, s.length,
                                         s.external ? FieldState::kExternal : FieldState::kInline};
  }
  return &fields_;
}

}  // namespace vostrel
