// Where each table's definition comes from: its .frm, a CREATE TABLE of the
// definitions file, or InnoDB's dictionary; and the scan's account of tables
// that have none (orphan tablespaces) and of FULLTEXT index files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/collation_table.h"
#include "model/table_def.h"
#include "model/text_codec.h"
#include "scan/recovery_output.h"
#include "scan/scan.h"

namespace vostrel {

enum class DefinitionOrigin : uint8_t { kFrm, kSqlFile, kDictionary };

struct ResolvedDefinition {
  bool ok = false;
  DefinitionOrigin origin = DefinitionOrigin::kFrm;
  std::string error;  // why there is no definition
  // Where a definition not from the .frm came from and why, for the report:
  // "definition from defs.sql line 12 (t.frm is missing)".
  std::string note;
  std::vector<std::string> guesses;   // a dictionary definition's guesses
  std::vector<std::string> warnings;  // lines for the log
  std::string frm_path;               // the .frm that was read or looked for
};

// The definition of `entry`, in this order: its .frm (unless the scan prefers
// the definitions file), a statement of the definitions file, the InnoDB
// dictionary.
ResolvedDefinition ResolveTableDefinition(const ScanResult& scan, const TableEntry& entry,
                                          const CollationTable& collations,
                                          const CodePage& code_page, TableDef& out);

// "definition rebuilt from the InnoDB dictionary: <guesses>", as the report says it.
std::string DictionaryDefinitionReason(const std::vector<std::string>& guesses);

// InnoDB's FULLTEXT helper tablespaces: FTS_<table id>_<index id>_INDEX_<n>,
// FTS_<table id>_DELETED, _DELETED_CACHE, _BEING_DELETED, _BEING_DELETED_CACHE
// and _CONFIG. `stem` is the file name without ".ibd".
bool IsFulltextAuxiliaryName(const std::string& stem, uint64_t* table_id);

// After the scan has listed everything: says in the log where the definition
// of each table without a usable .frm will come from, reports those with none
// through `problem` (orphan tablespaces with what their file says), and names
// the FULLTEXT files with their tables.
void AccountDefinitionSources(ScanResult& scan, RecoveryOutput& out,
                              const std::function<void(const std::string&)>& problem);

}  // namespace vostrel
