#include "model/collation_table.h"

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
