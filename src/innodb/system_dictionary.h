// InnoDB's data dictionary in ibdata1: SYS_TABLES, SYS_COLUMNS, SYS_INDEXES
// and SYS_FIELDS, read whole at the end of a scan.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "innodb/clustered_fields.h"
#include "innodb/page.h"
#include "model/collation_table.h"
#include "model/damage_log.h"
#include "model/table_def.h"

namespace vostrel {

struct SysTablesRow {
  std::string name;  // "db/table" with the on-disk (encoded) names
  uint64_t id = 0;
  uint32_t n_cols = 0;  // bit 31: compact row format
  uint32_t type = 0;
  uint32_t space = 0;
  bool compact() const { return (n_cols & 0x80000000u) != 0; }
};

struct SysColumnsRow {
  uint64_t table_id = 0;
  uint32_t pos = 0;
  std::string name;
  uint32_t mtype = 0;
  uint32_t prtype = 0;
  uint32_t len = 0;
  uint32_t prec = 0;
};

struct SysIndexesRow {
  uint64_t table_id = 0;
  uint64_t id = 0;
  std::string name;
  uint32_t n_fields = 0;
  uint32_t type = 0;  // bit 0: clustered
  uint32_t space = 0;
  uint32_t page_no = 0;
};

struct SysFieldsRow {
  uint64_t index_id = 0;
  uint32_t pos = 0;  // field number, or field number << 16 | prefix length
  std::string col_name;
};

// Whether the POS values of one index's SYS_FIELDS rows are field number << 16
// | prefix length: InnoDB writes them so when any field is a prefix. Plain
// numbers are 0 to n-1; a lone prefixed first field gives a single POS that is
// its prefix length alone.
bool FieldPositionsHavePrefixes(const std::vector<const SysFieldsRow*>& fields);

// SYS_FOREIGN: one row per foreign key. Names are "db/name" as on disk.
struct SysForeignRow {
  std::string id;        // "db/constraint"
  std::string for_name;  // the referencing table
  std::string ref_name;  // the referenced table
  uint32_t n_cols = 0;   // column count in the low 24 bits, ON DELETE/UPDATE flags above
  uint32_t column_count() const { return n_cols & 0xFFFFFFu; }
  uint32_t rules() const { return n_cols >> 24; }
};

// SYS_FOREIGN_COLS: the column pairs of a foreign key.
struct SysForeignColsRow {
  std::string id;
  uint32_t pos = 0;
  std::string for_col_name;
  std::string ref_col_name;
};

class SystemDictionary {
 public:
  // False only when the file cannot be opened (`error` says why); damage is
  // collected in damage().
  bool Load(const std::filesystem::path& path, std::string* error = nullptr);

  Tablespace& space() { return space_; }
  const std::filesystem::path& path() const { return space_.path(); }
  const DamageLog& damage() const { return damage_; }

  // "db/table" or "db\table", names as on disk.
  const SysTablesRow* FindTable(std::string_view name) const;
  uint64_t FindTableId(std::string_view name) const;
  // The clustered index: TYPE bit 0, not merely the first index listed.
  const SysIndexesRow* FindClusterIndex(uint64_t table_id) const;

  // The clustered-record field list of a table, with InnoDB's own types and the
  // key order of the index definition. False when the dictionary lacks the table.
  bool BuildClusteredIndex(uint64_t table_id, const TableDef& table,
                           const CollationTable& collations, ClusteredIndex& out,
                           std::string* problem) const;

  const std::vector<SysTablesRow>& tables() const { return tables_; }
  const std::vector<SysColumnsRow>& columns() const { return columns_; }
  const std::vector<SysIndexesRow>& indexes() const { return indexes_; }
  const std::vector<SysFieldsRow>& fields() const { return fields_; }
  const std::vector<SysForeignRow>& foreign() const { return foreign_; }
  const std::vector<SysForeignColsRow>& foreign_cols() const { return foreign_cols_; }

 private:
  template <typename Visit>
  void ReadSystemTable(uint32_t root, const char* name, Visit visit);
  // SYS_FOREIGN and SYS_FOREIGN_COLS are ordinary tables: their roots come
  // from SYS_TABLES and SYS_INDEXES, as the server's own loader finds them.
  void LoadForeignKeys();

  Tablespace space_;
  DamageLog damage_;
  std::vector<SysTablesRow> tables_;
  std::vector<SysColumnsRow> columns_;
  std::vector<SysIndexesRow> indexes_;
  std::vector<SysFieldsRow> fields_;
  std::vector<SysForeignRow> foreign_;
  std::vector<SysForeignColsRow> foreign_cols_;
};

}  // namespace vostrel
