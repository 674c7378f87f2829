#include "model/merge_union.h"

#include "model/file_util.h"
#include "model/mysql_filename.h"

namespace vostrel {

namespace {

std::string Quoted(const std::string& name) {
  std::string s = "`";
  for (char c : name) {
    if (c == '`') s += '`';
    s += c;
  }
  return s + "`";
}

}  // namespace

MergeUnion ParseMergeFile(std::string_view text, const std::string& own_database) {
  MergeUnion u;
  size_t pos = 0;
  while (pos < text.size() && u.tables.size() < 100000) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(pos, end - pos));
    pos = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) continue;
    if (line[0] == '#') {
      const std::string key = "#INSERT_METHOD=";
      if (line.compare(0, key.size(), key) == 0) u.insert_method = line.substr(key.size());
      continue;
    }
    // "db/t" or a path ending in it: the last two parts; else the table alone.
    for (char& c : line) {
      if (c == '\\') c = '/';
    }
    std::string db, table = line;
    const size_t slash = line.rfind('/');
    if (slash != std::string::npos) {
      table = line.substr(slash + 1);
      const std::string dir = line.substr(0, slash);
      const size_t up = dir.rfind('/');
      db = up == std::string::npos ? dir : dir.substr(up + 1);
      if (db == "." || db == own_database) db.clear();
    }
    u.tables.emplace_back(db.empty() ? std::string() : DecodeMysqlFileName(db),
                          DecodeMysqlFileName(table));
  }
  return u;
}

bool ReadMergeUnion(const std::filesystem::path& frm, TableOptions& options, std::string* error) {
  const std::filesystem::path folder = frm.parent_path();
  const std::string stem = frm.stem().string();
  std::filesystem::path mrg = FindFileIgnoringCase(folder, stem + ".MRG");
  if (mrg.empty()) mrg = folder / (stem + ".MRG");
  std::string text;
  if (!ReadWholeFile(mrg, text, 16 << 20, error)) return false;
  const MergeUnion u = ParseMergeFile(text, folder.filename().string());
  std::string list;
  for (const auto& [db, table] : u.tables) {
    if (!list.empty()) list += ",";
    list += db.empty() ? Quoted(table) : Quoted(db) + "." + Quoted(table);
  }
  options.union_tables = list;
  options.insert_method = u.insert_method;
  return true;
}

}  // namespace vostrel
