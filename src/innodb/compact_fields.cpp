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

StoredField MissingValue(const ClusteredIndex& index, size_t field) {
  const size_t k = field - index.core_fields;
  if (field < index.core_fields || k >= index.missing_values.size() || !index.missing_values[k]) {
    return StoredField{nullptr, 0, FieldState::kNull};
  }
  const std::string& v = *index.missing_values[k];
  return StoredField{reinterpret_cast<const uint8_t*>(v.data()), static_cast<uint32_t>(v.size()),
                     FieldState::kInline};
}

std::vector<int32_t> ColumnOfField(const TableDef& table, const ClusteredIndex& index) {
  std::vector<int32_t> to(index.fields.size(), -1);
  const std::vector<int32_t> of = FieldOfColumn(table, index);
  for (size_t c = 0; c < of.size(); ++c) {
    if (of[c] >= 0) to[static_cast<size_t>(of[c])] = static_cast<int32_t>(c);
  }
  return to;
}

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
    : index_(index), column_of_field_(ColumnOfField(table, index)), fields_(table.columns.size()) {}

template <bool kAltered>
const std::vector<StoredField>* CompactFieldSplitter::SplitWith(const uint8_t* page, size_t origin,
                                                                int32_t* short_reference) {
  // Columns no field fills keep the absent field they were made with.
  const int32_t* to = column_of_field_.data();
  StoredField* out = fields_.data();
  int32_t short_ref = -1;
  auto put = [&](size_t i, const FieldSpan& s) {
    const int32_t c = to[i];
    if (c < 0) return;
    if (s.is_null) {
      out[c] = StoredField{nullptr, 0, FieldState::kNull};
    } else if (!s.external) {
      out[c] = StoredField{page + s.offset, s.length, FieldState::kInline};
    } else if (s.length >= 20) {
      out[c] = StoredField{page + s.offset, s.length, FieldState::kExternal};
    } else {
      short_ref = c;
      out[c] = StoredField{page + s.offset, 0, FieldState::kInline};
    }
  };
  const size_t held = kAltered ? SplitRecordInto(page, origin, index_, put)
                               : SplitPlainRecordInto(page, origin, index_, put);
  if (short_reference) *short_reference = short_ref;
  if (held == 0) return nullptr;
  if (kAltered) {
    // Fields a record written before an instant ALTER TABLE lacks.
    for (size_t i = held; i < index_.fields.size(); ++i) {
      if (to[i] >= 0) out[to[i]] = MissingValue(index_, i);
    }
  }
  return &fields_;
}

const std::vector<StoredField>* CompactFieldSplitter::Split(const uint8_t* page, size_t origin,
                                                            int32_t* short_reference) {
  // The walk lets through only ordinary records for a table never altered in
  // place; that common case keeps a loop of its own.
  if (index_.core_fields != 0) return SplitWith<true>(page, origin, short_reference);
  return SplitWith<false>(page, origin, short_reference);
}

}  // namespace vostrel
