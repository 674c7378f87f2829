// Where an InnoDB table's rows are: its own .ibd or ibdata1, with the field
// list from the dictionary where it knows the table, else from the .frm.
#pragma once

#include <memory>
#include <string>

#include "innodb/clustered_fields.h"
#include "innodb/page.h"
#include "innodb/system_dictionary.h"
#include "model/collation_table.h"
#include "model/table_def.h"
#include "scan/recovery_output.h"

namespace vostrel {

struct InnoSource {
  std::unique_ptr<Tablespace> ibd;  // the file the rows are read from, opened for this table
  Tablespace* space = nullptr;      // where rows and value pages are read
  ClusteredIndex index;
  uint32_t leaf = 0;
  bool in_system = false;  // rows live inside ibdata1
  bool from_dictionary = false;
  uint64_t root_auto_increment = 0;  // MariaDB's PAGE_ROOT_AUTO_INC on the clustered root
  // Damage met before the rows: the leaf was found by scanning pages, or the
  // tablespace's header page is damaged.
  bool damaged_tree = false;
  // Why the rows cannot be read, for the user; empty when they can.
  std::string failure;
  std::string detail;  // further facts worth a log line
};

// `raw_table` is the .frm file name without extension; `database_folder` its folder.
// Logs "Opening File" with the file the rows are read from, and the fixed
// failure texts, through `out`. A table the dictionary places in its own
// tablespace is never looked for in ibdata1: when its .ibd cannot be opened,
// the failure is why.
InnoSource LocateTableLeaf(const std::string& database_folder, const std::string& raw_table,
                           const TableDef& table, SystemDictionary* dictionary,
                           const CollationTable& collations, RecoveryOutput& out);

}  // namespace vostrel
