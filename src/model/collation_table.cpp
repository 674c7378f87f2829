#include "model/collation_table.h"

#include <cctype>
#include <fstream>
#include <system_error>

#include "model/byte_view.h"
#include "model/file_util.h"

#ifndef VOSTREL_DATA_DIR
#define VOSTREL_DATA_DIR "/usr/local/share/vostrel-recover"
#endif

namespace vostrel {

CollationTable CollationTable::FromBytes(std::string_view bytes, const CodePage& code_page) {
  CollationTable table;
  ByteView v(bytes);
  size_t pos = 0;
  while (v.fits(pos, 16)) {
    const int32_t id = static_cast<int32_t>(v.u32le(pos));
    CollationEntry e;
    e.mbminlen = static_cast<int32_t>(v.u32le(pos + 4));
    e.mbmaxlen = static_cast<int32_t>(v.u32le(pos + 8));
    const uint32_t len1 = v.u32le(pos + 12);
    if (!v.fits(pos + 16, len1)) break;
    e.charset_name = code_page.ToUtf8(v.text(pos + 16, len1));
    const size_t p2 = pos + 16 + len1;
    if (!v.fits(p2, 4)) break;
    const uint32_t len2 = v.u32le(p2);
    if (!v.fits(p2 + 4, len2)) break;
    e.collation_name = code_page.ToUtf8(v.text(p2 + 4, len2));
    table.entries_[id] = std::move(e);
    pos = p2 + 4 + len2;
  }
  return table;
}

CollationTable CollationTable::Load(const std::vector<std::filesystem::path>& candidates,
                                    const CodePage& code_page) {
  for (const auto& path : candidates) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes, 16 * 1024 * 1024)) continue;
    CollationTable table = FromBytes(bytes, code_page);
    table.source_ = path;
    return table;
  }
  return CollationTable{};
}

const CollationEntry* CollationTable::LookupCollation(int32_t id) const {
  auto it = entries_.find(id);
  return it == entries_.end() ? nullptr : &it->second;
}

namespace {

std::string LowerName(std::string_view name) {
  std::string s(name);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // MySQL 5.x and older MariaDB call utf8mb3 "utf8".
  if (s == "utf8" || s.rfind("utf8_", 0) == 0) s.insert(4, "mb3");
  return s;
}

}  // namespace

int32_t CollationTable::FindCollation(std::string_view name) const {
  const std::string wanted = LowerName(name);
  for (const auto& [id, e] : entries_) {
    if (LowerName(e.collation_name) == wanted) return id;
  }
  return 0;
}

int32_t CollationTable::DefaultCollation(std::string_view charset) const {
  const std::string cs = LowerName(charset);
  // Sets whose default is not their "_general_ci" collation.
  static const std::pair<const char*, const char*> kDefaults[] = {
      {"latin1", "latin1_swedish_ci"},
      {"big5", "big5_chinese_ci"},
      {"gbk", "gbk_chinese_ci"},
      {"gb2312", "gb2312_chinese_ci"},
      {"gb18030", "gb18030_chinese_ci"},
      {"ujis", "ujis_japanese_ci"},
      {"sjis", "sjis_japanese_ci"},
      {"cp932", "cp932_japanese_ci"},
      {"eucjpms", "eucjpms_japanese_ci"},
      {"euckr", "euckr_korean_ci"},
      {"tis620", "tis620_thai_ci"},
      {"dec8", "dec8_swedish_ci"},
      {"hp8", "hp8_english_ci"},
      {"swe7", "swe7_swedish_ci"},
      {"binary", "binary"},
  };
  for (const auto& [set, collation] : kDefaults) {
    if (cs == set) return FindCollation(collation);
  }
  if (const int32_t id = FindCollation(cs + "_general_ci")) return id;
  for (const auto& [id, e] : entries_) {  // the lowest id of the set
    if (LowerName(e.charset_name) == cs) return id;
  }
  return 0;
}

std::vector<std::filesystem::path> DefaultCollationCandidates() {
  std::vector<std::filesystem::path> out;
  out.emplace_back(kCollationFileName);
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) out.push_back(exe.parent_path() / kCollationFileName);
  out.push_back(std::filesystem::path(VOSTREL_DATA_DIR) / kCollationFileName);
  return out;
}

DatabaseOptions ReadDatabaseOptions(const std::filesystem::path& database_folder) {
  DatabaseOptions opts;
  const std::filesystem::path path = database_folder / "db.opt";
  std::string text;
  if (!ReadWholeFile(path, text, 1 << 20, &opts.problem)) {
    // Databases made before MySQL 4.1 have no db.opt; that is no problem.
    if (FileProblem(path) == "does not exist") opts.problem.clear();
    return opts;
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (auto p = line.find("character-set="); p != std::string::npos) {
      opts.charset = std::string(line.substr(p + 14));
    }
    if (auto p = line.find("collation="); p != std::string::npos) {
      opts.collation = std::string(line.substr(p + 10));
    }
  }
  return opts;
}

}  // namespace vostrel
