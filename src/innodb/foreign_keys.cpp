#include "innodb/foreign_keys.h"

#include <strings.h>

#include <algorithm>

#include "model/mysql_filename.h"

namespace vostrel {

namespace {

// ON DELETE / ON UPDATE flags kept above the column count.
constexpr uint32_t kDeleteCascade = 1;
constexpr uint32_t kDeleteSetNull = 2;
constexpr uint32_t kUpdateCascade = 4;
constexpr uint32_t kUpdateSetNull = 8;
constexpr uint32_t kDeleteNoAction = 16;
constexpr uint32_t kUpdateNoAction = 32;

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// "db/name" split in two; the whole text as the name when there is no '/'.
void Split(std::string_view full, std::string& db, std::string& name) {
  const size_t slash = full.find('/');
  if (slash == std::string_view::npos) {
    db.clear();
    name = std::string(full);
  } else {
    db = std::string(full.substr(0, slash));
    name = std::string(full.substr(slash + 1));
  }
}

}  // namespace

size_t AttachForeignKeys(const SystemDictionary& dict, std::string_view database_folder,
                         std::string_view table_file, TableDef& table,
                         std::vector<std::string>* problems) {
  table.foreign_keys.clear();
  const std::string wanted = std::string(database_folder) + "/" + std::string(table_file);
  // Exact names first; a server with lower_case_table_names keeps them lower-cased.
  bool exact = false;
  for (const SysForeignRow& f : dict.foreign()) exact = exact || f.for_name == wanted;
  for (const SysForeignRow& f : dict.foreign()) {
    if (exact ? f.for_name != wanted : !SameName(f.for_name, wanted)) continue;
    ForeignKeyDef fk;
    std::string db, name;
    Split(f.id, db, name);
    fk.name = name;
    Split(f.ref_name, db, name);
    fk.ref_table = DecodeMysqlFileName(name);
    if (!db.empty() && !SameName(db, database_folder)) fk.ref_database = DecodeMysqlFileName(db);
    std::vector<const SysForeignColsRow*> cols;
    for (const SysForeignColsRow& c : dict.foreign_cols()) {
      if (c.id == f.id) cols.push_back(&c);
    }
    std::sort(cols.begin(), cols.end(), [](auto* a, auto* b) { return a->pos < b->pos; });
    for (const SysForeignColsRow* c : cols) {
      fk.columns.push_back(c->for_col_name);
      fk.ref_columns.push_back(c->ref_col_name);
    }
    const uint32_t rules = f.rules();
    if (rules & kDeleteCascade) fk.on_delete = "CASCADE";
    if (rules & kDeleteSetNull) fk.on_delete = "SET NULL";
    if (rules & kDeleteNoAction) fk.on_delete = "NO ACTION";
    if (rules & kUpdateCascade) fk.on_update = "CASCADE";
    if (rules & kUpdateSetNull) fk.on_update = "SET NULL";
    if (rules & kUpdateNoAction) fk.on_update = "NO ACTION";
    // A key whose column list is incomplete would be refused or, worse, mean
    // something else: it is left out (the caller sees the count).
    if (fk.columns.empty() || fk.columns.size() != f.column_count()) {
      if (problems) {
        problems->push_back("foreign key " + fk.name + " is not saved: the dictionary holds " +
                            std::to_string(fk.columns.size()) + " of its " +
                            std::to_string(f.column_count()) + " columns");
      }
      continue;
    }
    table.foreign_keys.push_back(std::move(fk));
  }
  return table.foreign_keys.size();
}

}  // namespace vostrel
