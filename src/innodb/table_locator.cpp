#include "innodb/table_locator.h"

#include "innodb/instant_alter.h"
#include "innodb/leaf_chain.h"
#include "model/file_util.h"
#include "scan/scan.h"

namespace vostrel {

namespace fs = std::filesystem;

InnoSource LocateTableLeaf(const std::string& folder, const std::string& raw_table,
                           const TableDef& table, SystemDictionary* dict,
                           const CollationTable& collations, RecoveryOutput& out) {
  InnoSource src;
  fs::path ibd_path = FindFileIgnoringCase(folder, raw_table + ".ibd");
  if (ibd_path.empty()) ibd_path = fs::path(folder) / (raw_table + ".ibd");
  auto ibd = std::make_unique<Tablespace>();
  std::string open_error;
  const bool have_ibd = ibd->Open(ibd_path, &open_error);

  const SysTablesRow* row = nullptr;
  if (dict != nullptr) row = dict->FindTable(DatabaseFolderName(folder) + "/" + raw_table);
  // Rows are in ibdata1 only when the dictionary says so (tablespace 0); a
  // table of its own tablespace whose .ibd cannot be opened is not looked
  // for in ibdata1.
  const bool in_system = !have_ibd && row != nullptr && row->space == 0;
  out.WriteLogText("Opening File\t" + (in_system ? dict->path() : ibd_path).string() + "\r\n");
  if (!have_ibd && !in_system) {
    if (dict != nullptr && row == nullptr) out.WriteLogText("Table id not found.\r\n");
    src.failure =
        "tablespace cannot be opened (" + open_error + ")" +
        (dict == nullptr  ? "; without a readable ibdata1, rows kept there cannot be reached"
         : row == nullptr ? " and the dictionary does not list the table"
                          : "");
    return src;
  }
  Tablespace& space = in_system ? dict->space() : *ibd;
  if (!space.unsupported().empty()) {
    src.failure = space.unsupported();
    return src;
  }
  // A dictionary entry for another tablespace than the file's is not this
  // file's: its index ids and pages would lead astray.
  if (row != nullptr && have_ibd && space.space_id() != kFilNull && row->space != 0 &&
      row->space != space.space_id()) {
    src.detail = "the dictionary lists tablespace " + std::to_string(row->space) + ", " +
                 ibd_path.filename().string() + " is tablespace " +
                 std::to_string(space.space_id()) + "; columns taken from the .frm";
    row = nullptr;
  }
  if (row != nullptr) {
    std::string problem;
    const SysIndexesRow* clust = dict->FindClusterIndex(row->id);
    if (clust == nullptr) out.WriteLogText("Cluster page number not found.\r\n");
    if (clust != nullptr &&
        dict->BuildClusteredIndex(row->id, table, collations, src.index, &problem)) {
      src.from_dictionary = true;
    } else if (in_system) {
      src.failure = "the dictionary entry is incomplete (" +
                    (problem.empty() ? std::string("no clustered index") : problem) + ")";
      return src;
    } else {
      src.detail = "dictionary entry incomplete (" + problem + "); columns taken from the .frm";
    }
  }
  if (!src.from_dictionary) src.index = BuildClusteredIndexFromTableDef(table, collations);
  if (in_system) {
    // A handle of its own: the dictionary's read window is shared by every
    // table in ibdata1, and tables are read on several threads at once.
    auto own = std::make_unique<Tablespace>();
    if (!own->Open(dict->path(), &open_error)) {
      src.failure = "ibdata1 cannot be opened again (" + open_error + ")";
      return src;
    }
    src.ibd = std::move(own);
    src.in_system = true;
  } else {
    src.ibd = std::move(ibd);
  }
  src.space = src.ibd.get();
  // An instant ALTER TABLE changes how node pointers and records read.
  InstantRoot instant;
  if (PageBuffer root; src.space->ReadCheckedPage(src.index.root, root).ok()) {
    instant = ReadInstantRoot(root.data());
    src.root_auto_increment = RootAutoIncrement(root.data());
  }
  if (std::string why = BeginInstant(instant, src.index); !why.empty()) {
    src.failure = why;
    return src;
  }
  const LeafSearch leaf = FindLeafPage(*src.space, src.index.root, src.index, src.index.id);
  src.index.redundant = leaf.redundant;
  if (leaf.leaf == 0) {
    out.WriteLogText("Leaf page number not found.\r\n");
    src.failure = leaf.problem.rfind("not read: ", 0) == 0
                      ? leaf.problem
                      : "its first leaf page cannot be found (" + leaf.problem + ")";
    return src;
  }
  if (std::string why = ReadInstantMetadata(*src.space, leaf.leaf, instant, table, src.index);
      !why.empty()) {
    src.failure = why;
    return src;
  }
  auto add_detail = [&src](const std::string& d) {
    src.detail += (src.detail.empty() ? "" : "; ") + d;
  };
  if (leaf.from_scan) {
    src.damaged_tree = true;
    add_detail("index tree damaged (" + leaf.problem + "); rows found by scanning the pages");
  }
  // A damaged header page loses no rows, but the file is not whole.
  if (!src.in_system && !src.space->header_problem().empty()) {
    src.damaged_tree = true;
    add_detail(src.space->header_problem());
  }
  src.leaf = leaf.leaf;
  return src;
}

}  // namespace vostrel
