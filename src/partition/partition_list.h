// Which partitions a partitioned table has, in the server's order, and which
// engine keeps them: from the .par file, else the partition clause of the
// .frm, else the partition files present.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vostrel {

struct PartitionPart {
  std::string name;          // as the server names it: "p0", or "p0#SP#p0sp0" for a subpartition
  std::string file_stem;     // the data files' stem as on disk: "t#P#p0", "t#P#p0#SP#p0sp0"
  std::string partition;     // "p0"
  std::string subpartition;  // "p0sp0", or empty
};

struct PartitionList {
  uint8_t part_engine = 0;  // legacy engine code of the partitions (.frm byte 61)
  std::vector<PartitionPart> parts;
  std::string source;  // "the .par file", "the partition clause", "the files present"
  // What does not add up: a damaged .par, parts without files, ...
  std::vector<std::string> problems;
  // Data files of an interrupted ALTER (#TMP#, #REN#): named, never read.
  std::vector<std::string> leftovers;
};

// `stem` is the .frm file name without extension.
PartitionList ReadPartitionList(const std::filesystem::path& folder, const std::string& stem);

// The partition names a .par file lists, in order; false when it is not one.
bool ParseParFile(std::string_view bytes, std::vector<std::string>& names, std::string* problem);
// The partition clause text a .frm keeps in its extra segment; empty when none.
std::string FrmPartitionClause(std::string_view frm);
// Partition and subpartition names in the order of the clause ("p0",
// "p0#SP#p0sp0"): named lists, or the server's default names for
// PARTITIONS n / SUBPARTITIONS n.
std::vector<std::string> PartitionNamesFromClause(std::string_view clause);

// "t#P#p0.ibd" -> true (with the base table "t"): a partition's file
// stem; MySQL 5.x on case-insensitive systems wrote "#p#" and "#sp#".
bool IsPartitionStem(std::string_view stem, std::string* base);
// A partition file left by an interrupted ALTER: "#TMP#" / "#REN#" after its name.
bool IsPartitionLeftover(std::string_view stem);

}  // namespace vostrel
