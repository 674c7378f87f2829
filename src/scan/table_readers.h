// The one place that picks a table's reader: by the engine its definition
// names and the files beside it. Nothing else knows the engines' files.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model/engine_context.h"
#include "model/table_def.h"
#include "model/table_reader.h"
#include "scan/scan.h"

namespace vostrel {

// The InnoDB system tablespace and its dictionary, as a scan keeps them.
struct LoadedDictionary {
  std::shared_ptr<SystemDictionary> dictionary;  // null when the file cannot be opened
  std::string error;                             // why it cannot
  std::string path;
  size_t tables = 0;
  std::string damage;  // what the dictionary walk met, summed up
  // "db/table" of every table whose rows the system tablespace holds.
  std::vector<std::string> tables_inside;
};
LoadedDictionary LoadSystemDictionary(const std::filesystem::path& path);

// The foreign keys the InnoDB dictionary keeps for `entry`, into
// `table.foreign_keys` (nothing without a dictionary).
void AttachDictionaryForeignKeys(const ScanResult& scan, const TableEntry& entry, TableDef& table,
                                 std::vector<std::string>* problems);

// Whether the InnoDB dictionary lists table `raw_table` of database folder `raw_db`.
bool DictionaryKnowsTable(const ScanResult& scan, const std::string& raw_db,
                          const std::string& raw_table);
// The definition InnoDB's dictionary keeps for `entry`, for a table whose .frm
// is gone; false (with `error`) when the dictionary lacks it or cannot tell.
// `guesses` takes every part that had to be guessed or was left out.
bool DictionaryTableDefinition(const ScanResult& scan, const TableEntry& entry,
                               const CollationTable& collations, TableDef& out,
                               std::vector<std::string>* guesses, std::string* error);
// "db/table" of a dictionary table id; empty when the dictionary lacks it.
std::string DictionaryTableName(const ScanResult& scan, uint64_t table_id);
// What a tablespace file says of itself: space id, pages, row format, index ids.
std::string DescribeOrphanTablespace(const std::filesystem::path& ibd);

// The reader of `entry`'s rows. `log` takes the lines a save writes while
// opening files (a preview or a probe passes a quiet one).
OpenedReader OpenTableReader(const ScanResult& scan, const TableEntry& entry, const TableDef& table,
                             const EngineContext& ctx, RecoveryOutput& log);
// The same for the table whose .frm is `raw_table` + ".frm" in `folder`.
OpenedReader OpenTableReaderAt(const std::string& folder, const std::string& raw_table,
                               const TableDef& table, SystemDictionary* dictionary,
                               const EngineContext& ctx, RecoveryOutput& log);

// Sets the table's AUTO_INCREMENT counter from its files where they keep it
// (MyISAM's state, MariaDB's InnoDB root) and no definition gave one.
void TakeStoredAutoIncrement(const ScanResult& scan, const TableEntry& entry,
                             const EngineContext& ctx, TableDef& table);

}  // namespace vostrel
