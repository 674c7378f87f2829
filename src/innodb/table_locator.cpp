#include "innodb/table_locator.h"

#include "innodb/innodb_table.h"
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
  out.WriteLogText("Opening File\t" + ibd_path.string() + "\r\n");
  auto ibd = std::make_unique<Tablespace>();
  std::string open_error;
  const bool have_ibd = ibd->Open(ibd_path, &open_error);

  const SysTablesRow* row = nullptr;
  if (dict != nullptr) row = dict->FindTable(DatabaseFolderName(folder) + "/" + raw_table);
  if (!have_ibd && row == nullptr) {
    if (dict != nullptr) out.WriteLogText("Table id not found.\r\n");
    src.failure = "tablespace cannot be opened (" + open_error + ")" +
                  (dict != nullptr ? " and the dictionary does not list the table"
                                   : "; without a readable ibdata1, rows kept there cannot be "
                                     "reached");
    return src;
  }
  if (!have_ibd && row->space != 0) {
    // The dictionary places the rows in the table's own file, which is not there.
    src.failure = "tablespace cannot be opened (" + open_error + ")";
    return src;
  }
  uint32_t root = kClusteredRootIbd;
  uint64_t index_id = 0;
  if (row != nullptr) {
    if (!row->compact()) {
      src.failure = "the table uses ROW_FORMAT=REDUNDANT, which is not read";
      return src;
    }
    std::string problem;
    const SysIndexesRow* clust = dict->FindClusterIndex(row->id);
    if (clust == nullptr) out.WriteLogText("Cluster page number not found.\r\n");
    if (clust != nullptr && dict->BuildClusteredIndex(row->id, table, collations, src.index, &problem)) {
      root = clust->page_no;
      index_id = clust->id;
      src.from_dictionary = true;
    } else if (!have_ibd) {
      src.failure = "the dictionary entry is incomplete (" +
                    (problem.empty() ? std::string("no clustered index") : problem) + ")";
      return src;
    } else {
      src.detail = "dictionary entry incomplete (" + problem + "); columns taken from the .frm";
    }
  }
  if (!src.from_dictionary) src.index = BuildClusteredIndexFromTableDef(table, collations);
  if (have_ibd) {
    src.ibd = std::move(ibd);
    src.space = src.ibd.get();
  } else {
    src.space = &dict->space();
    src.in_system = true;
  }
  const LeafSearch leaf = FindLeafPage(*src.space, root, src.index, index_id);
  if (leaf.redundant) {
    src.failure = "the table uses ROW_FORMAT=REDUNDANT, which is not read";
    return src;
  }
  if (leaf.leaf == 0) {
    out.WriteLogText("Leaf page number not found.\r\n");
    src.failure = "its first leaf page cannot be found (" + leaf.problem + ")";
    return src;
  }
  if (leaf.from_scan) {
    src.damaged_tree = true;
    src.detail = "index tree damaged (" + leaf.problem + "); rows found by scanning the pages";
  }
  src.leaf = leaf.leaf;
  return src;
}

}  // namespace vostrel
