// Collation ids to character-set facts, and the per-database db.opt.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "model/text_codec.h"

namespace vostrel {

inline constexpr const char* kCollationFileName = "collation (2)";

struct CollationEntry {
  int32_t mbminlen = 0;
  int32_t mbmaxlen = 0;
  std::string charset_name;
  std::string collation_name;
};

class CollationTable {
 public:
  // Parses the record file; a truncated last record ends the load.
  static CollationTable FromBytes(std::string_view bytes, const CodePage& code_page);
  // Loads the first readable file among `candidates`; empty table when none is.
  static CollationTable Load(const std::vector<std::filesystem::path>& candidates,
                             const CodePage& code_page);

  const CollationEntry* LookupCollation(int32_t id) const;
  // The id of a collation by name (case-insensitive; utf8_ names as utf8mb3_); 0 when unknown.
  int32_t FindCollation(std::string_view name) const;
  // The server's default collation of a character set; 0 when the set is unknown.
  int32_t DefaultCollation(std::string_view charset) const;
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  // Path the table came from; empty when nothing was loaded.
  const std::filesystem::path& source() const { return source_; }

  void Set(int32_t id, CollationEntry entry) { entries_[id] = std::move(entry); }

 private:
  std::map<int32_t, CollationEntry> entries_;
  std::filesystem::path source_;
};

// Current folder first, then beside the running program, then the installed data folder.
std::vector<std::filesystem::path> DefaultCollationCandidates();

struct DatabaseOptions {
  std::string charset;
  std::string collation;
  std::string problem;  // db.opt exists but cannot be read
};

DatabaseOptions ReadDatabaseOptions(const std::filesystem::path& database_folder);

}  // namespace vostrel
