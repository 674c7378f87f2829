// The data-directory scan: database folders, table, view and trigger files,
// and the object tree built from them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <functional>
#include <memory>
#include "scan/recovery_output.h"

namespace vostrel {

inline constexpr int64_t ITEMDATA_NODE = -1;
inline constexpr int64_t ITEMDATA_KEYS = -2;
inline constexpr int64_t ITEMDATA_TRIGGERS = -3;
inline constexpr int64_t ITEMDATA_VIEWS = -4;

// Tree images, as positions in the tree's image list.
inline constexpr int kImageFolder = 0;
inline constexpr int kImageKeys = 2;
inline constexpr int kImageViews = 15;
inline constexpr int kImageTriggers = 21;

struct TableEntry {
  int32_t databaseIndex = 0;
  std::string tableName;    // the .frm file name without extension, as on disk
  std::string displayName;  // decoded for SQL and for the user
  // Why the table has no usable definition: its .frm is missing, cut, a
  // directory, ... while data files or the dictionary hold its rows. Empty
  // when the .frm reads as a table definition as far as the scan can tell.
  std::string definition_problem;
};

struct TriggerEntry {
  std::string fileName;    // e.g. t1.TRG
  std::string folderPath;  // the database folder
};

struct TreeNode {
  std::string text;
  int image = kImageFolder;
  int64_t item_data = ITEMDATA_NODE;
  std::vector<TreeNode> children;
};

class SystemDictionary;
struct SqlDefinitionSet;

struct ScanOptions {
  // Tried when <data path>/ibdata1 cannot be opened (the user's own choice).
  std::filesystem::path manual_ibdata;
  // Asked instead when no manual path is given: returns the path the user
  // browsed to, or an empty path.
  std::function<std::filesystem::path()> ask_manual_ibdata;
  // Called on the scanning thread after each database folder is listed, with
  // the tree so far (root > data path > databases) and that database's node,
  // so that a window can show the tree as it grows. The dictionary may still
  // add tables and databases at the end.
  std::function<void(const TreeNode& root, const TreeNode& database)> database_listed;
  // CREATE TABLE statements for tables whose .frm is missing or damaged
  // (--definitions); with prefer_definitions they replace readable .frm files too.
  std::shared_ptr<const SqlDefinitionSet> definitions;
  bool prefer_definitions = false;
};

struct ScanResult {
  std::string m_scanPath;  // ends with '/'
  std::vector<std::string> m_databaseFolders;
  std::vector<TableEntry> m_tableEntries;
  std::vector<std::string> m_viewFiles;
  std::vector<TriggerEntry> m_triggerEntries;
  TreeNode root;  // "MYSQL database" > data path > databases > groups > items
  std::shared_ptr<SystemDictionary> dictionary;  // null without a readable ibdata1
  bool system_dictionary_loaded() const { return dictionary != nullptr; }
  std::vector<std::string> problems;  // files or folders that could not be read
  // As the scan options gave them.
  std::shared_ptr<const SqlDefinitionSet> definitions;
  bool prefer_definitions = false;
  // InnoDB FULLTEXT index tablespaces (FTS_*.ibd): index data of their
  // tables, not tables.
  std::vector<std::string> fulltext_files;
};

// The folder name of a database (raw, as on disk) and its decoded form.
std::string DatabaseFolderName(const std::string& folder);
std::string DatabaseDisplayName(const std::string& folder);

// Runs the whole scan, reporting through `out`.
ScanResult ScanDataDirectory(const std::filesystem::path& data_path, RecoveryOutput& out,
                             const ScanOptions& options = {});

// The data path as the scan keeps it: absolute, with one trailing '/'.
std::string NormalizeDataPath(const std::filesystem::path& data_path);

}  // namespace vostrel
