#include "scan/table_readers.h"

#include <fstream>

#include "archive/archive_reader.h"
#include "csv/csv_reader.h"
#include "innodb/dictionary_table_def.h"
#include "innodb/foreign_keys.h"
#include "innodb/innodb_reader.h"
#include "innodb/orphan_tablespace.h"
#include "innodb/system_dictionary.h"
#include "model/file_util.h"
#include "myisam/myisam_reader.h"
#include "partition/partitioned_reader.h"

namespace vostrel {

namespace fs = std::filesystem;

namespace {

fs::path FindOrDefault(const std::string& folder, const std::string& name) {
  fs::path p = FindFileIgnoringCase(folder, name);
  return p.empty() ? fs::path(folder) / name : p;
}

}  // namespace

LoadedDictionary LoadSystemDictionary(const std::filesystem::path& path) {
  LoadedDictionary l;
  auto dict = std::make_shared<SystemDictionary>();
  if (!dict->Load(path, &l.error)) return l;
  l.path = dict->path().string();
  l.tables = dict->tables().size();
  if (dict->damage().any()) l.damage = dict->damage().Summary();
  for (const SysTablesRow& t : dict->tables()) {
    if (t.space == 0 && t.name.find('/') != std::string::npos) l.tables_inside.push_back(t.name);
  }
  l.dictionary = std::move(dict);
  return l;
}

void AttachDictionaryForeignKeys(const ScanResult& scan, const TableEntry& entry, TableDef& table,
                                 std::vector<std::string>* problems) {
  if (scan.dictionary == nullptr) return;
  const std::string folder = scan.m_databaseFolders[static_cast<size_t>(entry.databaseIndex)];
  AttachForeignKeys(*scan.dictionary, DatabaseFolderName(folder), entry.tableName, table, problems);
}

bool DictionaryKnowsTable(const ScanResult& scan, const std::string& raw_db,
                          const std::string& raw_table) {
  return scan.dictionary != nullptr &&
         scan.dictionary->FindTable(raw_db + "/" + raw_table) != nullptr;
}

bool DictionaryTableDefinition(const ScanResult& scan, const TableEntry& entry,
                               const CollationTable& collations, TableDef& out,
                               std::vector<std::string>* guesses, std::string* error) {
  if (scan.dictionary == nullptr) {
    if (error) *error = "no readable ibdata1";
    return false;
  }
  const std::string folder = scan.m_databaseFolders[static_cast<size_t>(entry.databaseIndex)];
  const SysTablesRow* row =
      scan.dictionary->FindTable(DatabaseFolderName(folder) + "/" + entry.tableName);
  if (row == nullptr) {
    if (error) *error = "the InnoDB dictionary does not list the table";
    return false;
  }
  const DictionaryDefinition d =
      BuildTableDefFromDictionary(*scan.dictionary, *row, collations, out);
  if (!d.ok) {
    if (error) *error = "its InnoDB dictionary entry cannot be read as a definition: " + d.error;
    return false;
  }
  if (guesses) *guesses = d.guesses;
  return true;
}

std::string DictionaryTableName(const ScanResult& scan, uint64_t table_id) {
  if (scan.dictionary == nullptr) return {};
  for (const SysTablesRow& t : scan.dictionary->tables()) {
    if (t.id == table_id) return t.name;
  }
  return {};
}

std::string DescribeOrphanTablespace(const std::filesystem::path& ibd) {
  return DescribeTablespaceFile(ibd).Text();
}

OpenedReader OpenTableReader(const ScanResult& scan, const TableEntry& entry, const TableDef& table,
                             const EngineContext& ctx, RecoveryOutput& log) {
  return OpenTableReaderAt(scan.m_databaseFolders[static_cast<size_t>(entry.databaseIndex)],
                           entry.tableName, table, scan.dictionary.get(), ctx, log);
}

// Rows loaded with their own AUTO_INCREMENT values move the counter to the
// largest of them; only the files know a counter above that (the last rows
// deleted), and the application must not be handed those values again.
void TakeStoredAutoIncrement(const ScanResult& scan, const TableEntry& entry,
                             const EngineContext& ctx, TableDef& table) {
  if (table.options.auto_increment != 0) return;
  bool has_column = false;
  for (const ColumnDef& c : table.columns) has_column = has_column || c.auto_increment;
  if (!has_column) return;
  NullOutput quiet;
  const OpenedReader opened = OpenTableReader(scan, entry, table, ctx, quiet);
  if (opened.last_auto_increment != 0 && opened.last_auto_increment != UINT64_MAX)
    table.options.auto_increment = opened.last_auto_increment + 1;
}

OpenedReader OpenTableReaderAt(const std::string& folder, const std::string& raw_table,
                               const TableDef& table, SystemDictionary* dictionary,
                               const EngineContext& ctx, RecoveryOutput& log) {
  OpenedReader o;
  // Records that are no longer rows are read from InnoDB tablespaces only.
  if (ctx.deleted_pass && table.engine_type == kEngineMyIsam) {
    // A DELETE writes the free-list link over the first bytes of a fixed
    // record and a 20-byte block header over a dynamic one: no deleted
    // record keeps every value, and none is guessed.
    std::string count;
    std::ifstream myi(FindOrDefault(folder, raw_table + ".MYI"), std::ios::binary);
    unsigned char state[44] = {};
    if (myi.read(reinterpret_cast<char*>(state), sizeof state)) {
      uint64_t del = 0;
      for (size_t k = 36; k < 44; ++k) del = (del << 8) | state[k];
      count = std::to_string(del) + " deleted records (as the index file counts them) ";
    }
    o.not_read = "not read: " + count +
                 "of this MyISAM table, the server overwrites the first bytes of each deleted "
                 "record";
    return o;
  }
  if (ctx.deleted_pass && table.engine_type != kEngineInnoDb) {
    o.not_read = "not read: deleted rows of " + EngineName(table.engine_type) + " tables";
    return o;
  }
  switch (table.engine_type) {
    case kEngineMyIsam: {
      const fs::path myi = FindOrDefault(folder, raw_table + ".MYI");
      log.WriteLogText("Processing File\t" + myi.string() + "\r\n");
      const fs::path myd = FindOrDefault(folder, raw_table + ".MYD");
      log.WriteLogText("Processing File\t" + myd.string() + "\r\n");
      return MyisamReader::Open(table, myi, myd);
    }
    case kEngineInnoDb:
      return InnodbReader::Open(folder, raw_table, DatabaseFolderName(folder) + "/" + raw_table,
                                table, dictionary, ctx, log);
    case kEngineHeap:
      o.note = "MEMORY tables keep no rows on disk";
      return o;
    case kEngineBlackhole:
      o.note = "BLACKHOLE tables keep no rows";
      return o;
    case kEngineMergeMyIsam:
      o.note = "a MERGE table keeps its rows in the tables it merges" +
               (table.options.union_tables.empty() ? std::string()
                                                   : " (" + table.options.union_tables + ")");
      return o;
    case kEngineCsv: {
      const fs::path csv = FindOrDefault(folder, raw_table + ".CSV");
      log.WriteLogText("Processing File\t" + csv.string() + "\r\n");
      return CsvReader::Open(table, csv, FindOrDefault(folder, raw_table + ".CSM"));
    }
    case kEngineArchive: {
      const fs::path arz = FindOrDefault(folder, raw_table + ".ARZ");
      log.WriteLogText("Processing File\t" + arz.string() + "\r\n");
      return ArchiveReader::Open(table, arz);
    }
    case kEngineFederated:
      o.note = "a FEDERATED table keeps its rows on another server";
      return o;
    case kEnginePartition:
      return PartitionedReader::Open(folder, raw_table, table, dictionary, ctx, log);
    default:
      o.not_read = "not read: " + EngineName(table.engine_type) + " engine data";
      return o;
  }
}

}  // namespace vostrel
