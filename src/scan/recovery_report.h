// The account a scan or a save gives of every table: what was recovered, what
// the files say exists, and for anything short of complete, what and why.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vostrel {

enum class TableState : uint8_t {
  kComplete,        // definition and every row
  kDamaged,         // rows read, some lost or refused: the reason says what and where
  kDefinitionOnly,  // the definition was written, its rows were not read
  kNotRead,         // nothing could be recovered from the files
};
const char* TableStateName(TableState state);

struct TableAccount {
  std::string database;  // decoded names
  std::string table;
  std::string engine;      // "InnoDB", "MyISAM", ...; empty when not known
  std::string row_format;  // "Compact", "Dynamic", "Fixed", ...; empty when not known
  uint64_t rows = 0;       // rows written to the script or taken by the server
  bool expected_known = false;
  uint64_t expected = 0;  // rows the files say exist
  uint64_t rejected = 0;  // rows a server refused
  // A pass over deleted rows: records left out, a field being no valid value.
  uint64_t left_out = 0;
  uint64_t copies = 0;  // and records passed over as copies of live rows or of each other
  TableState state = TableState::kComplete;
  std::string reason;  // for every state but complete; also notes on a complete table

  bool complete() const { return state == TableState::kComplete; }
  // Moves the table to `state` unless it is already worse off; reasons add up.
  void Mark(TableState state, const std::string& why);
  void Damaged(const std::string& why) { Mark(TableState::kDamaged, why); }
  void DefinitionOnly(const std::string& why) { Mark(TableState::kDefinitionOnly, why); }
  void NotRead(const std::string& why) { Mark(TableState::kNotRead, why); }
  // "complete", "damaged: ...", "definition only: ...", "not read: ..."
  std::string StatusText() const;
};

struct RecoveryReport {
  std::vector<TableAccount> tables;

  size_t incomplete() const;
  bool complete() const { return incomplete() == 0; }
  // One line per table, for a terminal or a log.
  std::string Text() const;
  // Tab-separated with a header line; tabs and line breaks in fields escaped.
  std::string Tsv() const;
};

// The deleted-row pass's own lines, one per table: rows written, records
// left out, or why none were read.
std::vector<std::string> DeletedRowLines(const std::vector<TableAccount>& tables);

// The same accounts as a file beside the recovery report.
std::string DeletedRowsTsv(const std::vector<TableAccount>& tables);
inline constexpr const char* kDeletedReportFileName = "deleted-rows-report.tsv";

inline constexpr const char* kReportFileName = "recovery-report.tsv";
// False (with the reason) when the file cannot be written whole.
bool WriteReportFile(const RecoveryReport& report, const std::filesystem::path& path,
                     std::string* error);

}  // namespace vostrel
