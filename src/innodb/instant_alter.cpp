#include "innodb/instant_alter.h"

#include <algorithm>
#include <cstring>

#include "innodb/extern_value.h"
#include "innodb/page_check.h"
#include "innodb/record.h"
#include "innodb/redundant_record.h"

namespace vostrel {

namespace {

constexpr size_t kPageInstant = kPageHeader + 12;
constexpr size_t kBlobHeader = 38;  // a BLOB page's part length and next page
constexpr size_t kBlobData = 38 + 8;
constexpr uint16_t kMapDropped = 1u << 15;
constexpr uint16_t kMapNotNull = 1u << 14;
constexpr uint16_t kMapColumn = (1u << 10) - 1;
// Column defaults are short; a value claiming more is not one.
constexpr uint64_t kMaxMissingValue = 16u << 20;

const char* const kUnknownForm =
    "not read: instant ALTER TABLE metadata in a form this tool does not know (";

std::string Unknown(const std::string& what) {
  return kUnknownForm + what + ")";
}

InnoColumnDef DroppedField(uint16_t entry) {
  InnoColumnDef f;
  const uint16_t size = entry & kMapColumn;
  f.name = "(dropped column)";
  f.prtype = (entry & kMapNotNull) ? kPrtypeNotNull : 0;
  if (size > 1) {
    f.mtype = kDataFixBinary;
    f.len = f.fixed_len = size - 1;
  } else {
    f.mtype = size == 1 ? kDataBlob : kDataBinary;  // up to 255 bytes, or more
    f.len = size == 1 ? 65535 : 255;
  }
  return f;
}

// The fields in their written order from the map of dropped and reordered columns.
std::string ApplyColumnMap(const uint8_t* map, size_t len, const TableDef& table,
                           ClusteredIndex& index) {
  if (len < 4) return Unknown("column map of " + std::to_string(len) + " bytes");
  const uint32_t n = PageU32(map, 0);
  if (n > 1017 || 4 + 2 * size_t{n} > len) {
    return Unknown("column map of " + std::to_string(n) + " fields in " + std::to_string(len) +
                   " bytes");
  }
  std::vector<int32_t> stored;  // column numbers the map counts in
  for (size_t c = 0; c < table.columns.size(); ++c) {
    if (table.columns[c].in_stored_row()) stored.push_back(static_cast<int32_t>(c));
  }
  const size_t first_user = index.key_fields + 2;
  if (index.fields.size() < first_user) return Unknown("no system fields");
  std::vector<InnoColumnDef> fields(index.fields.begin(), index.fields.begin() + first_user);
  std::vector<bool> used(index.fields.size(), false);
  for (uint32_t k = 0; k < n; ++k) {
    const uint16_t entry = PageU16(map, 4 + 2 * size_t{k});
    if (entry & kMapDropped) {
      if ((entry & kMapColumn) > 769) return Unknown("dropped column of impossible size");
      fields.push_back(DroppedField(entry));
      continue;
    }
    const size_t ind = entry;
    size_t found = 0;
    if (ind < stored.size()) {
      for (size_t j = first_user; j < index.fields.size(); ++j) {
        const InnoColumnDef& f = index.fields[j];
        if (!used[j] && !f.key_prefix && f.column == stored[ind]) {
          found = j;
          break;
        }
      }
    }
    if (found == 0) {
      return "not read: the instant ALTER TABLE column map names column " + std::to_string(ind) +
             ", which the table definition does not have where the map puts it";
    }
    used[found] = true;
    fields.push_back(index.fields[found]);
  }
  for (size_t j = first_user; j < index.fields.size(); ++j) {
    if (!used[j]) {
      return "not read: column " + index.fields[j].name +
             " of the table definition is missing from the instant ALTER TABLE column map";
    }
  }
  index.fields = std::move(fields);
  index.CountNullable();
  return {};
}

// The whole value of a metadata record field, its off-page part included.
bool FieldValue(const PageSource& space, const uint8_t* page, const FieldSpan& s, std::string& out,
                std::string* problem) {
  out.assign(reinterpret_cast<const char*>(page + s.offset), s.length);
  if (!s.external) return true;
  if (s.length < 20) {
    *problem = "a short reference to its value pages";
    return false;
  }
  const ExternRef ref = ParseExternRef(page + s.offset + s.length - 20);
  // The high half of the length (its top bits are ownership flags) is 0 for any real value.
  if ((PageU32(page, s.offset + s.length - 8) & 0x3FFFFFFF) != 0 || ref.length > kMaxMissingValue) {
    *problem = "a value longer than any column default";
    return false;
  }
  out.resize(s.length - 20);
  return ReadExternValue(
      space, ref,
      [&out](const uint8_t* p, size_t n) { out.append(reinterpret_cast<const char*>(p), n); },
      problem);
}

}  // namespace

InstantRoot ReadInstantRoot(const uint8_t* root) {
  InstantRoot r;
  if (ReadFilHeader(root).type != kPageTypeInstant) return r;
  r.marked = true;
  if (!IndexPageFramed(root)) return r;  // core_fields 0: a form not known
  r.core_fields = PageU16(root, kPageInstant) >> 3;
  const size_t supremum = PageIsCompact(root) ? kSupremumOrigin : kRedundantSupremum;
  if (std::memcmp(root + supremum, "supremum", 8) != 0) {
    r.column_map = true;
    r.core_null_bytes = root[supremum + 7];
  }
  return r;
}

std::string BeginInstant(const InstantRoot& root, ClusteredIndex& index) {
  if (!root.marked) return {};
  if (root.core_fields == 0) {
    return Unknown("the root page's infimum and supremum hold neither their names nor zero bytes");
  }
  const size_t core = root.core_fields;
  if (core < index.key_fields + 2 || core > 1017) {
    return Unknown("the root page counts " + std::to_string(core) +
                   " fields in records written before the change");
  }
  if (root.column_map) {
    if (root.core_null_bytes > 128) return Unknown("a null bitmap of impossible size");
    index.core_null_bytes = root.core_null_bytes;
  } else {
    if (core > index.fields.size()) {
      return "not read: the root page counts " + std::to_string(core) +
             " fields in records written before the first instant ALTER TABLE, the table "
             "definition gives " +
             std::to_string(index.fields.size());
    }
    if (index.nullable_before.size() != index.fields.size() + 1) index.CountNullable();
    index.core_null_bytes = (index.nullable_before[core] + 7u) / 8;
  }
  index.core_fields = core;
  return {};
}

std::string ReadInstantMetadata(Tablespace& space, uint32_t leaf, const InstantRoot& root,
                                const TableDef& table, ClusteredIndex& index) {
  return ReadInstantMetadata(TablespacePages(space), leaf, root, table, index);
}

std::string ReadInstantMetadata(const PageSource& space, uint32_t leaf, const InstantRoot& root,
                                const TableDef& table, ClusteredIndex& index) {
  if (!root.marked) return {};
  PageBuffer buf;
  const uint8_t* page = buf.data();
  if (const std::string fault = space.read(leaf, buf); !fault.empty()) {
    return "the first leaf, which holds the instant ALTER TABLE metadata, cannot be read (" +
           fault + ")";
  }
  if (ReadFilHeader(page).prev != kFilNull) {
    return "the first leaf of the index, which holds the instant ALTER TABLE metadata, is lost";
  }
  const bool compact = !index.redundant;
  const size_t r = compact ? FirstRecord(page) : NextRedundantRecord(page, kRedundantInfimum);
  if (r == 0 || r == (compact ? kSupremumOrigin : kRedundantSupremum)) return {};  // no rows
  if (r < 128 || r >= kPageSize - 20) return "the first record of the first leaf leaves its page";
  const uint8_t info = compact ? page[r - 5] : page[r - 6];
  if (!(info & kInfoMinRecord)) {
    // The marks can outlive an ALTER that was never committed; with no
    // field added past the core ones, the records are plain ones.
    if (!root.column_map && index.core_fields == index.fields.size()) {
      index.core_fields = 0;
      index.core_null_bytes = 0;
      return {};
    }
    return "the instant ALTER TABLE metadata record is missing from the first leaf (page " +
           std::to_string(leaf) + ")";
  }
  const bool deleted = (info & kInfoDeleted) != 0;
  if ((info & 0xF0 & ~kInfoDeleted) != kInfoMinRecord ||
      (compact && (page[r - 3] & 7) != kRecordInstant) || deleted != root.column_map) {
    return Unknown("metadata record info bits " + std::to_string(info >> 4));
  }

  // The field list the metadata record is written in: with the map, its
  // reference comes right after DB_ROLL_PTR.
  const size_t first_user = index.key_fields + 2;
  RedundantRecord red;
  if (!compact && !SplitRedundantRecord(page, r, red)) {
    return "the instant ALTER TABLE metadata record leaves its page";
  }
  if (root.column_map) {
    size_t at = 0;
    if (compact) {
      // Key fields of variable length are written empty in this record.
      at = r;
      for (size_t k = 0; k < index.key_fields; ++k)
        at += static_cast<size_t>(index.fields[k].fixed_len);
      at += 13;
    } else if (red.fields.size() > first_user && red.fields[first_user].length == 20) {
      at = red.fields[first_user].offset;
    }
    if (at == 0 || at + 20 > kPageSize) return Unknown("no column map reference");
    const ExternRef ref = ParseExternRef(page + at);
    if (PageU32(page, at + 12) != 0 || ref.length == 0 || ref.offset != kBlobHeader ||
        ref.length > kPageSize - kBlobData - 8 ||
        (space.space_id != kFilNull && ref.space_id != space.space_id)) {
      return Unknown("column map reference to page " + std::to_string(ref.page));
    }
    PageBuffer map;
    if (const std::string fault = space.read(ref.page, map); !fault.empty()) {
      return "the instant ALTER TABLE column map cannot be read (" + fault + ")";
    }
    if (ReadFilHeader(map.data()).type != kPageTypeBlob ||
        PageU32(map.data(), kBlobHeader + 4) != kFilNull ||
        PageU32(map.data(), kBlobHeader) != ref.length) {
      return Unknown("column map page " + std::to_string(ref.page) + " is not a one-page value");
    }
    std::string problem = ApplyColumnMap(map.data() + kBlobData, ref.length, table, index);
    if (!problem.empty()) return problem;
    if (index.core_fields > index.fields.size()) {
      return Unknown("more core fields than the column map holds");
    }
    if ((index.nullable_before[index.core_fields] + 7u) / 8 != index.core_null_bytes) {
      return Unknown("the null bitmap of core records disagrees with the column map");
    }
  }

  // Every field is in the metadata record: those past the core ones hold
  // what records lacking them read as.
  ClusteredIndex meta = index;
  if (root.column_map) {
    InnoColumnDef ref;
    ref.mtype = kDataSys;
    ref.prtype = kPrtypeNotNull;
    ref.len = ref.fixed_len = 20;
    ref.name = "(column map)";
    meta.fields.insert(meta.fields.begin() + static_cast<ptrdiff_t>(first_user), ref);
    meta.CountNullable();
  }
  std::vector<FieldSpan> spans;
  if (compact) {
    if (!SplitRecord(page, r, meta, spans))
      return "the instant ALTER TABLE metadata record leaves its page";
  } else {
    for (const RedundantField& f : red.fields) {
      spans.push_back(FieldSpan{f.offset, f.length, f.is_null, f.external});
    }
  }
  if (spans.size() != meta.fields.size() ||
      std::any_of(spans.begin(), spans.end(), [](const FieldSpan& s) { return s.missing; })) {
    return Unknown("a metadata record of " + std::to_string(spans.size()) + " fields, not " +
                   std::to_string(meta.fields.size()));
  }
  const size_t shift = root.column_map ? 1 : 0;
  index.missing_values.clear();
  for (size_t i = index.core_fields; i < index.fields.size(); ++i) {
    const FieldSpan& s = spans[i + shift];
    if (s.is_null) {
      index.missing_values.emplace_back(std::nullopt);
      continue;
    }
    std::string value, problem;
    if (!FieldValue(space, page, s, value, &problem)) {
      return "the value instant ALTER TABLE gave " + index.fields[i].name +
             " cannot be read: " + problem;
    }
    index.missing_values.emplace_back(std::move(value));
  }
  return {};
}

}  // namespace vostrel
