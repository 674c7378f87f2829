#include "scan/scan.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <system_error>

#include "model/file_util.h"
#include "model/mysql_filename.h"
#include "partition/partition_list.h"
#include "scan/table_definitions.h"
#include "scan/table_readers.h"

namespace vostrel {

namespace {

namespace fs = std::filesystem;

std::string LowerExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return {};
  std::string ext = name.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

std::string StemOf(const std::string& name) {
  // The node text loses exactly the four characters of ".frm" / ".TRG".
  return name.size() >= 4 ? name.substr(0, name.size() - 4) : std::string{};
}

// Directory entries sorted by name, so that every run lists them alike.
// `others` are entries that are neither folders nor regular files (FIFOs,
// sockets, dangling symlinks): never opened, but a table file among them is
// reported.
struct Listing {
  std::vector<std::string> dirs;
  std::vector<std::string> files;
  std::vector<std::string> others;
  bool ok = true;
};

Listing ListFolder(const fs::path& folder) {
  Listing l;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) {
    l.ok = false;
    return l;
  }
  for (fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) {
      l.ok = false;
      break;
    }
    std::error_code sec;
    const std::string name = it->path().filename().string();
    if (it->is_directory(sec)) {
      l.dirs.push_back(name);
    } else if (it->is_regular_file(sec)) {
      l.files.push_back(name);
    } else {
      l.others.push_back(name);
    }
  }
  std::sort(l.dirs.begin(), l.dirs.end());
  std::sort(l.files.begin(), l.files.end());
  std::sort(l.others.begin(), l.others.end());
  return l;
}

// Files that hold a table's rows (or its index) beside its .frm.
bool IsDataExtension(const std::string& ext) {
  return ext == "ibd" || ext == "myd" || ext == "myi" || ext == "csv" || ext == "csm" ||
         ext == "arz" || ext == "mrg" || ext == "mad" || ext == "mai" || ext == "par";
}

// A partition's files ("t#P#p0.ibd", "t#P#p0#SP#s0.MYD") belong to the
// partitioned table t.
std::string PartitionBase(const std::string& stem) {
  size_t p = stem.find("#P#");
  if (p == std::string::npos) p = stem.find("#p#");
  return p == std::string::npos ? stem : stem.substr(0, p);
}

// Why the first bytes of a .frm are neither a table nor a view definition.
std::string FrmHeadProblem(const std::string& head) {
  if (head.empty()) return "is empty";
  if (std::all_of(head.begin(), head.end(), [](char c) { return c == '\0'; })) {
    return "holds only zero bytes at its start";
  }
  if (head.size() < 2) return "is cut to " + std::to_string(head.size()) + " byte";
  return "is not a table definition (it does not start with FE 01)";
}

TreeNode DatabaseNodeFor(const std::string& folder) {
  TreeNode db{DatabaseDisplayName(folder), kImageFolder, ITEMDATA_NODE, {}};
  db.children.push_back(TreeNode{"Tables", kImageFolder, ITEMDATA_NODE, {}});
  return db;
}

class Scanner {
 public:
  Scanner(ScanResult& r, RecoveryOutput& out) : r_(r), out_(out) {}

  void ScanDatabaseFolder(TreeNode& database_node, const std::string& folder_path,
                          size_t tables_child, int32_t database_index) {
    Listing l = ListFolder(folder_path);
    if (!l.ok) {
      Problem("cannot list folder " + folder_path);
      if (l.files.empty() && l.others.empty()) return;
    }
    const std::string db_opt = FileProblem(fs::path(folder_path) / "db.opt");
    if (!db_opt.empty() && db_opt != "does not exist") {
      Problem("db.opt of " + folder_path + " " + db_opt +
              "; the database's default character set "
              "is not known");
    }
    constexpr size_t kNone = static_cast<size_t>(-1);
    size_t views = kNone;
    size_t triggers = kNone;
    auto group = [&database_node](size_t& index, const char* text, int image,
                                  int64_t data) -> TreeNode& {
      if (index == kNone) {
        database_node.children.push_back(TreeNode{text, image, data, {}});
        index = database_node.children.size() - 1;
      }
      return database_node.children[index];
    };
    // Tables by stem: empty problem = a readable definition.
    std::map<std::string, std::string> tables;
    std::set<std::string> frm_stems;                // every stem with a .frm, readable or not
    std::map<std::string, std::string> data_files;  // stem -> one of its data files
    for (const std::string& name : l.files) {
      const std::string ext = LowerExtension(name);
      const std::string path = folder_path + "/" + name;
      if (ext == "frm") {
        frm_stems.insert(StemOf(name));
        std::string open_error;
        const std::string head = ReadFilePrefix(path, 10, &open_error);
        if (!open_error.empty()) {
          tables[StemOf(name)] = open_error;
        } else if (head.size() >= 2 && static_cast<unsigned char>(head[0]) == 0xFE &&
                   static_cast<unsigned char>(head[1]) == 0x01) {
          tables[StemOf(name)];
        } else if (head.compare(0, 9, "TYPE=VIEW") == 0) {
          r_.m_viewFiles.push_back(path);
          group(views, "Views", kImageViews, ITEMDATA_VIEWS)
              .children.push_back(TreeNode{DecodeMysqlFileName(StemOf(name)),
                                           kImageFolder,
                                           static_cast<int64_t>(r_.m_viewFiles.size()),
                                           {}});
        } else {
          tables[StemOf(name)] = name + " " + FrmHeadProblem(head);
        }
      } else if (ext == "trg") {
        r_.m_triggerEntries.push_back(TriggerEntry{name, folder_path});
        group(triggers, "Trigger", kImageTriggers, ITEMDATA_TRIGGERS)
            .children.push_back(TreeNode{DecodeMysqlFileName(StemOf(name)),
                                         kImageFolder,
                                         static_cast<int64_t>(r_.m_triggerEntries.size()),
                                         {}});
      } else if (ext == "ibd" && IsFulltextAuxiliaryName(StemOf(name), nullptr)) {
        r_.fulltext_files.push_back(path);  // index data of its table, named after the scan
      } else if (IsDataExtension(ext)) {
        data_files.emplace(StemOf(name), name);
      }
    }
    for (const std::string& name : l.others) {
      const std::string ext = LowerExtension(name);
      if (ext == "frm") {
        frm_stems.insert(StemOf(name));
        tables[StemOf(name)] = name + " " + FileProblem(fs::path(folder_path) / name);
      } else if (IsDataExtension(ext)) {
        data_files.emplace(StemOf(name), name);
      }
    }
    for (const std::string& name : l.dirs) {
      // A folder named like a table file: the table's definition or rows are not here.
      const std::string ext = LowerExtension(name);
      if (ext == "frm") {
        frm_stems.insert(StemOf(name));
        tables[StemOf(name)] = name + " is a directory";
      } else if (IsDataExtension(ext)) {
        data_files.emplace(StemOf(name), name);
      }
    }
    for (const auto& [stem, file] : data_files) {
      if (frm_stems.count(stem) || frm_stems.count(PartitionBase(stem))) continue;
      tables[stem] = file + " has no table definition (" + stem + ".frm is missing)";
    }
    for (const auto& [stem, problem] : tables) {
      AddTable(database_node.children[tables_child], database_index, stem, problem);
      const std::string& name = stem;  // a structured binding cannot be captured by every compiler
      const bool partitioned =
          std::any_of(
              data_files.begin(), data_files.end(),
              [&](const auto& f) { return PartitionBase(f.first) == name && f.first != name; }) ||
          (data_files.count(stem) && LowerExtension(data_files[stem]) == "par");
      if (problem.empty() && partitioned) {
        AddPartitions(database_node.children[tables_child].children.back(), folder_path, stem);
      }
      if (stem.compare(0, 4, "#sql") == 0) {
        Problem("table " + DecodeMysqlFileName(DatabaseFolderName(folder_path)) + "." +
                DecodeMysqlFileName(stem) +
                " is a temporary table an interrupted ALTER TABLE left; it is listed as it is");
      }
    }
  }

  void AddTable(TreeNode& tables_node, int32_t database_index, const std::string& stem,
                const std::string& problem) {
    TableEntry e{database_index, stem, DecodeMysqlFileName(stem), problem};
    r_.m_tableEntries.push_back(e);
    TreeNode table{e.displayName, kImageFolder, static_cast<int64_t>(r_.m_tableEntries.size()), {}};
    // A table without a usable .frm is reported once the scan knows whether
    // another definition stands in (AccountDefinitionSources).
    if (problem.empty()) table.children.push_back(TreeNode{"Keys", kImageKeys, ITEMDATA_KEYS, {}});
    tables_node.children.push_back(std::move(table));
  }

  // A partitioned table's partitions, after its "Keys": plain nodes, never
  // items of their own (rows are saved with their table). Files an
  // interrupted ALTER TABLE left are named.
  void AddPartitions(TreeNode& table, const std::string& folder, const std::string& stem) {
    const PartitionList list = ReadPartitionList(folder, stem);
    const std::string who =
        DecodeMysqlFileName(DatabaseFolderName(folder)) + "." + DecodeMysqlFileName(stem);
    for (const std::string& l : list.leftovers) {
      Problem("table " + who + ": partition files " + l +
              ".* are left from an interrupted ALTER TABLE; they are not read");
    }
    for (const std::string& p : list.problems) Problem("table " + who + ": " + p);
    if (list.parts.empty()) return;
    TreeNode group{"Partitions", kImageFolder, ITEMDATA_NODE, {}};
    for (const PartitionPart& part : list.parts) {
      if (group.children.empty() || group.children.back().text != part.partition) {
        group.children.push_back(TreeNode{part.partition, kImageFolder, ITEMDATA_NODE, {}});
      }
      if (!part.subpartition.empty()) {
        group.children.back().children.push_back(
            TreeNode{part.subpartition, kImageFolder, ITEMDATA_NODE, {}});
      }
    }
    table.children.push_back(std::move(group));
  }

  // Tables the dictionary keeps inside ibdata1 that no .frm describes: their
  // rows are in the files, so they are listed, under their database (made up
  // when its folder is gone too).
  void AddDictionaryOnlyTables(const LoadedDictionary& dict, TreeNode& path_node) {
    auto lower = [](std::string s) {
      std::transform(s.begin(), s.end(), s.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      return s;
    };
    std::set<std::string> known;
    for (const TableEntry& e : r_.m_tableEntries) {
      known.insert(lower(DatabaseFolderName(FolderOf(e.databaseIndex)) + "/" + e.tableName));
    }
    for (const std::string& name : dict.tables_inside) {
      const size_t slash = name.find('/');
      if (known.count(lower(name))) continue;
      const std::string db = name.substr(0, slash);
      const std::string table = name.substr(slash + 1);
      if (db.empty() || table.empty()) continue;
      int32_t index = -1;
      for (size_t i = 0; i < r_.m_databaseFolders.size(); ++i) {
        if (DatabaseFolderName(r_.m_databaseFolders[i]) == db) index = static_cast<int32_t>(i);
      }
      if (index < 0 || static_cast<size_t>(index) >= path_node.children.size()) {
        r_.m_databaseFolders.push_back(r_.m_scanPath + db);
        index = static_cast<int32_t>(r_.m_databaseFolders.size() - 1);
        path_node.children.push_back(DatabaseNodeFor(r_.m_databaseFolders.back()));
      }
      AddTable(path_node.children[static_cast<size_t>(index)].children[0], index, table,
               table + ".frm is missing; the system tablespace " + dict.path + " holds its rows");
    }
  }

  void Problem(const std::string& text) {
    r_.problems.push_back(text);
    out_.ReportProblem(text);
  }

 private:
  std::string FolderOf(int32_t database_index) const {
    return static_cast<size_t>(database_index) < r_.m_databaseFolders.size()
               ? r_.m_databaseFolders[static_cast<size_t>(database_index)]
               : std::string();
  }

  ScanResult& r_;
  RecoveryOutput& out_;
};

}  // namespace

std::string DatabaseFolderName(const std::string& folder) {
  const size_t slash = folder.rfind('/');
  return slash == std::string::npos ? folder : folder.substr(slash + 1);
}

std::string DatabaseDisplayName(const std::string& folder) {
  return DecodeMysqlFileName(DatabaseFolderName(folder));
}

std::string NormalizeDataPath(const fs::path& data_path) {
  std::error_code ec;
  fs::path abs = fs::absolute(data_path, ec);
  std::string s = (ec ? data_path : abs).lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  if (s != "/") s += "/";
  return s;
}

ScanResult ScanDataDirectory(const fs::path& data_path, RecoveryOutput& out,
                             const ScanOptions& options) {
  ScanResult r;
  r.definitions = options.definitions;
  r.prefer_definitions = options.prefer_definitions;
  Scanner scanner(r, out);
  r.m_scanPath = NormalizeDataPath(data_path);
  if (!r.m_scanPath.empty())
    out.WriteLogText("MySql database File Path:\t" + r.m_scanPath + "\r\n");

  r.root = TreeNode{"MYSQL database", kImageFolder, ITEMDATA_NODE, {}};
  r.root.children.push_back(TreeNode{r.m_scanPath, kImageFolder, ITEMDATA_NODE, {}});
  TreeNode& path_node = r.root.children.back();
  out.AddOutputLine("Finding Database and tables");

  Listing top = ListFolder(r.m_scanPath);
  if (!top.ok) scanner.Problem("cannot list folder " + r.m_scanPath);
  for (const std::string& d : top.dirs) r.m_databaseFolders.push_back(r.m_scanPath + d);

  if (r.m_databaseFolders.empty()) {
    // A folder without sub-folders is itself the one database.
    std::string folder = r.m_scanPath;
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    if (!folder.empty()) {
      r.m_databaseFolders.push_back(folder);
      path_node.children.push_back(DatabaseNodeFor(folder));
      scanner.ScanDatabaseFolder(path_node.children.back(), folder, 0, 0);
      if (options.database_listed) options.database_listed(r.root, path_node.children.back());
    }
  } else {
    const size_t count = r.m_databaseFolders.size();
    for (size_t i = 0; i < count; ++i) {
      const std::string folder = r.m_databaseFolders[i];
      out.SetProgress(i, count);
      path_node.children.push_back(DatabaseNodeFor(folder));
      scanner.ScanDatabaseFolder(path_node.children.back(), folder, 0, static_cast<int32_t>(i));
      if (options.database_listed) options.database_listed(r.root, path_node.children.back());
    }
    out.SetProgress(count, count);
  }

  out.AddOutputLine("Processing ibdata1 File");
  out.WriteLogText("Processing ibdata1 File\r\n");
  LoadedDictionary dict = LoadSystemDictionary(r.m_scanPath + "ibdata1");
  if (dict.dictionary == nullptr) {
    out.WriteLogText("ibdata1 File cannot be open\r\n");
    // A missing ibdata1 is common in a copied folder; one that is there but
    // cannot be read hides every table kept inside it.
    if (FileProblem(r.m_scanPath + "ibdata1") != "does not exist") {
      scanner.Problem("the system tablespace cannot be read: " + dict.error +
                      "; tables kept inside it cannot be read");
    }
    std::filesystem::path manual = options.manual_ibdata;
    if (manual.empty() && options.ask_manual_ibdata) manual = options.ask_manual_ibdata();
    if (!manual.empty()) {
      dict = LoadSystemDictionary(manual);
      if (dict.dictionary == nullptr) {
        out.WriteLogText("Manually browse ibdata1 File cannot be open\r\n");
      }
    }
  }
  if (dict.dictionary != nullptr) {
    r.dictionary = dict.dictionary;
    const std::string line =
        "System dictionary of " + dict.path + ": " + std::to_string(dict.tables) + " tables";
    out.WriteLogText(line + "\r\n");
    if (!dict.damage.empty()) scanner.Problem("ibdata1 dictionary is damaged: " + dict.damage);
    scanner.AddDictionaryOnlyTables(dict, path_node);
  }
  AccountDefinitionSources(r, out, [&scanner](const std::string& p) { scanner.Problem(p); });
  out.AddOutputLine("scanning completed.");
  out.ShowMessage("Scanning completed for selected database file(s)");
  out.ShowProgress(false);
  out.SetCaptionText("Scanning completed for selected database file(s).\r\n");
  out.WriteLogText("Scanning completed for selected database file(s).\r\n");
  return r;
}

}  // namespace vostrel
