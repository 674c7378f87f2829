#include "innodb/system_dictionary.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "innodb/page_check.h"
#include "innodb/redundant_record.h"

namespace vostrel {

namespace {

// Root pages of the system indexes, as the dictionary header lists them.
constexpr uint32_t kSysTablesRoot = 8;
constexpr uint32_t kSysColumnsRoot = 10;
constexpr uint32_t kSysIndexesRoot = 11;
constexpr uint32_t kSysFieldsRoot = 12;
constexpr uint32_t kDictHeaderPage = 7;
constexpr int kMaxHeight = 16;

uint64_t Uint(const uint8_t* page, const RedundantField& f, size_t width) {
  if (f.is_null || f.length != width) return 0;
  uint64_t v = 0;
  for (size_t i = 0; i < width; ++i) v = (v << 8) | page[f.offset + i];
  return v;
}

std::string Text(const uint8_t* page, const RedundantField& f) {
  if (f.is_null) return {};
  const char* p = reinterpret_cast<const char*>(page + f.offset);
  return std::string(p, strnlen(p, f.length));
}

bool IsStringMtype(uint32_t mtype) {
  return mtype <= kDataBlob || mtype == kDataVarMysql || mtype == kDataMysql;
}

}  // namespace

template <typename Visit>
void SystemDictionary::ReadSystemTable(uint32_t root, const char* name, Visit visit) {
  PageBuffer page;
  uint32_t p = root;
  const std::string table(name);
  // Down the leftmost path to the first leaf, every page checked whole.
  uint64_t index_id = 0;
  for (int depth = 0;; ++depth) {
    const PageCheck c = space_.ReadCheckedPage(p, page);
    if (!c.ok()) {
      damage_.Note(table + ": " + space_.FaultText(p, c));
      return;
    }
    if (depth > kMaxHeight || ReadFilHeader(page.data()).type != kPageTypeIndex ||
        !IndexPageFramed(page.data()) || (depth > 0 && PageIndexId(page.data()) != index_id)) {
      damage_.Note(table + ": index page " + std::to_string(p) + " cannot be read");
      return;
    }
    index_id = PageIndexId(page.data());
    if (PageLevel(page.data()) == 0) break;
    uint32_t child = 0;
    bool first = true;
    WalkRedundantPage(page.data(), [&](const RedundantRecord& r) {
      if (!first || r.fields.empty()) return;
      first = false;
      child = static_cast<uint32_t>(Uint(page.data(), r.fields.back(), 4));
    });
    if (child == 0 || child >= space_.page_count()) {
      damage_.Note(table + ": node pointer on page " + std::to_string(p) + " is broken");
      return;
    }
    p = child;
  }
  // Along the leaf chain, each page once at most: a page met again means the
  // chain loops, and its rows would be listed again and again. A page that
  // fails its checksum gives no rows; the chain goes on through it only to a
  // page that is the one its link names.
  std::unordered_set<uint32_t> walked;
  for (uint64_t visits = 0; p != kFilNull && visits <= space_.page_count(); ++visits) {
    const PageCheck c = space_.ReadCheckedPage(p, page);
    if (c.fault == PageFault::kOutside) {
      damage_.Note(table + ": leaf chain leaves the file");
      return;
    }
    if (!c.ok() && c.fault != PageFault::kChecksum) {
      damage_.Note(table + ": " + space_.FaultText(p, c));
      return;
    }
    if (!walked.insert(p).second) {
      damage_.Note(table + ": leaf chain loops back to page " + std::to_string(p));
      return;
    }
    const FilHeader h = ReadFilHeader(page.data());
    if (!c.ok()) {
      damage_.Note(table + ": " + space_.FaultText(p, c) + ": its records are not read");
    } else if (h.type == kPageTypeIndex && PageLevel(page.data()) == 0 &&
               PageIndexId(page.data()) == index_id && IndexPageFramed(page.data())) {
      const bool ok = WalkRedundantPage(page.data(), [&](const RedundantRecord& r) {
        if (!r.deleted) visit(page.data(), r);
      });
      if (!ok) damage_.Note(table + ": records of page " + std::to_string(p) + " are damaged");
    } else {
      damage_.Note(table + ": page " + std::to_string(p) +
                   " on the leaf chain is not one of its leaves");
      return;
    }
    p = h.next;
  }
}

bool SystemDictionary::Load(const std::filesystem::path& path, std::string* error) {
  tables_.clear();
  columns_.clear();
  indexes_.clear();
  fields_.clear();
  foreign_.clear();
  foreign_cols_.clear();
  damage_ = DamageLog{};
  if (!space_.Open(path, error)) return false;
  // Roots from the dictionary header where it is sane, else the fixed pages.
  uint32_t roots[4] = {kSysTablesRoot, kSysColumnsRoot, kSysIndexesRoot, kSysFieldsRoot};
  PageBuffer header;
  if (const PageCheck check = space_.ReadCheckedPage(kDictHeaderPage, header); !check.ok()) {
    damage_.Note("dictionary header: " + space_.FaultText(kDictHeaderPage, check));
  } else {
    const uint32_t t = PageU32(header.data(), kPageHeader + 32);
    const uint32_t c = PageU32(header.data(), kPageHeader + 40);
    const uint32_t i = PageU32(header.data(), kPageHeader + 44);
    const uint32_t f = PageU32(header.data(), kPageHeader + 48);
    const uint64_t n = space_.page_count();
    if (t > 0 && t < n && c > 0 && c < n && i > 0 && i < n && f > 0 && f < n) {
      roots[0] = t;
      roots[1] = c;
      roots[2] = i;
      roots[3] = f;
    }
  }
  ReadSystemTable(roots[0], "SYS_TABLES", [&](const uint8_t* pg, const RedundantRecord& r) {
    if (r.fields.size() < 10) return;
    SysTablesRow row;
    row.name = Text(pg, r.fields[0]);
    row.id = Uint(pg, r.fields[3], 8);
    row.n_cols = static_cast<uint32_t>(Uint(pg, r.fields[4], 4));
    row.type = static_cast<uint32_t>(Uint(pg, r.fields[5], 4));
    row.space = static_cast<uint32_t>(Uint(pg, r.fields[9], 4));
    tables_.push_back(std::move(row));
  });
  ReadSystemTable(roots[1], "SYS_COLUMNS", [&](const uint8_t* pg, const RedundantRecord& r) {
    if (r.fields.size() < 9) return;
    SysColumnsRow row;
    row.table_id = Uint(pg, r.fields[0], 8);
    row.pos = static_cast<uint32_t>(Uint(pg, r.fields[1], 4));
    row.name = Text(pg, r.fields[4]);
    row.mtype = static_cast<uint32_t>(Uint(pg, r.fields[5], 4));
    row.prtype = static_cast<uint32_t>(Uint(pg, r.fields[6], 4));
    row.len = static_cast<uint32_t>(Uint(pg, r.fields[7], 4));
    row.prec = static_cast<uint32_t>(Uint(pg, r.fields[8], 4));
    if (IsStringMtype(row.mtype)) {
      if (((row.prtype >> 16) & 0xFF) == 0) {
        const bool binary = row.mtype == kDataFixBinary || row.mtype == kDataBinary ||
                            (row.mtype == kDataBlob && (row.prtype & kPrtypeBinary));
        row.prtype |= binary ? 0x3F0000u : 0x080000u;
      }
    }
    columns_.push_back(std::move(row));
  });
  ReadSystemTable(roots[2], "SYS_INDEXES", [&](const uint8_t* pg, const RedundantRecord& r) {
    if (r.fields.size() < 9) return;
    SysIndexesRow row;
    row.table_id = Uint(pg, r.fields[0], 8);
    row.id = Uint(pg, r.fields[1], 8);
    row.name = Text(pg, r.fields[4]);
    row.n_fields = static_cast<uint32_t>(Uint(pg, r.fields[5], 4));
    row.type = static_cast<uint32_t>(Uint(pg, r.fields[6], 4));
    row.space = static_cast<uint32_t>(Uint(pg, r.fields[7], 4));
    row.page_no = static_cast<uint32_t>(Uint(pg, r.fields[8], 4));
    indexes_.push_back(std::move(row));
  });
  ReadSystemTable(roots[3], "SYS_FIELDS", [&](const uint8_t* pg, const RedundantRecord& r) {
    if (r.fields.size() < 5) return;
    SysFieldsRow row;
    row.index_id = Uint(pg, r.fields[0], 8);
    row.pos = static_cast<uint32_t>(Uint(pg, r.fields[1], 4));
    row.col_name = Text(pg, r.fields[4]);
    fields_.push_back(std::move(row));
  });
  LoadForeignKeys();
  return true;
}

void SystemDictionary::LoadForeignKeys() {
  auto root_of = [this](const char* table) -> uint32_t {
    const SysTablesRow* t = FindTable(table);
    if (t == nullptr) return 0;
    const SysIndexesRow* clust = FindClusterIndex(t->id);
    if (clust == nullptr || clust->space != 0 || clust->page_no == 0 ||
        clust->page_no >= space_.page_count()) {
      damage_.Note(std::string(table) + ": no usable clustered index in SYS_INDEXES");
      return 0;
    }
    return clust->page_no;
  };
  // A dictionary made before foreign keys existed has neither table: nothing to read.
  if (const uint32_t root = root_of("SYS_FOREIGN")) {
    ReadSystemTable(root, "SYS_FOREIGN", [&](const uint8_t* pg, const RedundantRecord& r) {
      if (r.fields.size() < 6) return;
      SysForeignRow row;
      row.id = Text(pg, r.fields[0]);
      row.for_name = Text(pg, r.fields[3]);
      row.ref_name = Text(pg, r.fields[4]);
      row.n_cols = static_cast<uint32_t>(Uint(pg, r.fields[5], 4));
      foreign_.push_back(std::move(row));
    });
  }
  if (const uint32_t root = root_of("SYS_FOREIGN_COLS")) {
    ReadSystemTable(root, "SYS_FOREIGN_COLS", [&](const uint8_t* pg, const RedundantRecord& r) {
      if (r.fields.size() < 6) return;
      SysForeignColsRow row;
      row.id = Text(pg, r.fields[0]);
      row.pos = static_cast<uint32_t>(Uint(pg, r.fields[1], 4));
      row.for_col_name = Text(pg, r.fields[4]);
      row.ref_col_name = Text(pg, r.fields[5]);
      foreign_cols_.push_back(std::move(row));
    });
  }
}

bool FieldPositionsHavePrefixes(const std::vector<const SysFieldsRow*>& fields) {
  std::vector<uint32_t> pos;
  for (const SysFieldsRow* f : fields) {
    if (f->pos >= 0x10000) return true;
    pos.push_back(f->pos);
  }
  std::sort(pos.begin(), pos.end());
  for (size_t i = 0; i < pos.size(); ++i) {
    if (pos[i] != i) return true;
  }
  return false;
}

const SysTablesRow* SystemDictionary::FindTable(std::string_view name) const {
  std::string wanted(name);
  std::replace(wanted.begin(), wanted.end(), '\\', '/');
  for (const SysTablesRow& t : tables_) {
    if (t.name == wanted) return &t;
  }
  return nullptr;
}

uint64_t SystemDictionary::FindTableId(std::string_view name) const {
  const SysTablesRow* t = FindTable(name);
  return t ? t->id : 0;
}

const SysIndexesRow* SystemDictionary::FindClusterIndex(uint64_t table_id) const {
  for (const SysIndexesRow& i : indexes_) {
    if (i.table_id == table_id && (i.type & 1)) return &i;
  }
  return nullptr;
}

bool SystemDictionary::BuildClusteredIndex(uint64_t table_id, const TableDef& table,
                                           const CollationTable& collations, ClusteredIndex& out,
                                           std::string* problem) const {
  out = ClusteredIndex{};
  std::vector<const SysColumnsRow*> cols;
  for (const SysColumnsRow& c : columns_) {
    if (c.table_id == table_id) cols.push_back(&c);
  }
  const SysIndexesRow* clust = FindClusterIndex(table_id);
  if (cols.empty() || clust == nullptr) {
    if (problem)
      *problem = cols.empty() ? "no columns in SYS_COLUMNS" : "no clustered index in SYS_INDEXES";
    return false;
  }
  std::sort(cols.begin(), cols.end(), [](auto* a, auto* b) { return a->pos < b->pos; });
  auto column_of = [&table](const std::string& name) -> int32_t {
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (strcasecmp(table.columns[i].name.c_str(), name.c_str()) == 0)
        return static_cast<int32_t>(i);
    }
    return -1;
  };
  auto field_for = [&](const SysColumnsRow& c) {
    InnoColumnDef f;
    f.mtype = static_cast<int32_t>(c.mtype);
    f.prtype = c.prtype;
    f.len = static_cast<int32_t>(c.len);
    const CollationEntry* e =
        IsStringMtype(c.mtype) ? collations.LookupCollation((c.prtype >> 16) & 0xFF) : nullptr;
    f.fixed_len = FixedLength(f.mtype, f.prtype, f.len, e ? e->mbminlen : 0, e ? e->mbmaxlen : 0);
    f.name = c.name;
    f.column = column_of(c.name);
    return f;
  };
  std::vector<bool> whole(cols.size(), false);
  std::vector<const SysFieldsRow*> key;
  for (const SysFieldsRow& f : fields_) {
    if (f.index_id == clust->id) key.push_back(&f);
  }
  const bool prefixes = FieldPositionsHavePrefixes(key);
  std::sort(key.begin(), key.end(), [prefixes](auto* a, auto* b) {
    return (prefixes ? a->pos >> 16 : a->pos) < (prefixes ? b->pos >> 16 : b->pos);
  });
  for (const SysFieldsRow* k : key) {
    const auto it = std::find_if(cols.begin(), cols.end(), [&](auto* c) {
      return strcasecmp(c->name.c_str(), k->col_name.c_str()) == 0;
    });
    if (it == cols.end()) {
      if (problem) *problem = "key column " + k->col_name + " missing from SYS_COLUMNS";
      return false;
    }
    InnoColumnDef f = field_for(**it);
    const uint32_t prefix = prefixes ? (k->pos & 0xFFFF) : 0;
    if (prefix != 0) {
      f.key_prefix = true;
      if (f.fixed_len > static_cast<int32_t>(prefix)) f.fixed_len = static_cast<int32_t>(prefix);
    } else {
      whole[static_cast<size_t>(it - cols.begin())] = true;
    }
    out.fields.push_back(f);
  }
  out.key_fields = out.fields.size();
  auto hidden = [](const char* name, int32_t len) {
    InnoColumnDef f;
    f.mtype = kDataSys;
    f.prtype = kPrtypeNotNull;
    f.len = f.fixed_len = len;
    f.name = name;
    return f;
  };
  if (out.key_fields == 0) {
    out.fields.push_back(hidden("DB_ROW_ID", 6));
    out.key_fields = 1;
  }
  out.fields.push_back(hidden("DB_TRX_ID", 6));
  out.fields.push_back(hidden("DB_ROLL_PTR", 7));
  constexpr uint32_t kPrtypeVirtual = 0x2000;  // computed on read, not in the record
  for (size_t i = 0; i < cols.size(); ++i) {
    if (!whole[i] && !(cols[i]->prtype & kPrtypeVirtual)) out.fields.push_back(field_for(*cols[i]));
  }
  out.CountNullable();
  out.root = clust->page_no;
  out.id = clust->id;
  return true;
}

}  // namespace vostrel
