#include "partition/partition_list.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <system_error>

#include "model/byte_view.h"
#include "model/file_util.h"
#include "model/frm_reader.h"
#include "model/mysql_filename.h"

namespace vostrel {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

size_t FindIgnoringCase(std::string_view hay, std::string_view needle, size_t from = 0) {
  return Lower(hay).find(Lower(needle), from);
}

bool IsDataExtension(const std::string& lower_ext) {
  return lower_ext == ".ibd" || lower_ext == ".myd" || lower_ext == ".myi" || lower_ext == ".mad" ||
         lower_ext == ".mai";
}

// The clause as tokens: bare words, quoted names (their text), strings,
// and single punctuation characters.
struct Token {
  enum Kind : uint8_t { kWord, kQuoted, kString, kPunct } kind;
  std::string text;
};

std::vector<Token> Tokenize(std::string_view s) {
  std::vector<Token> out;
  size_t i = 0;
  while (i < s.size() && out.size() < 1000000) {
    const char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '`' || c == '"') {
      std::string t;
      for (++i; i < s.size(); ++i) {
        if (s[i] == c) {
          if (i + 1 < s.size() && s[i + 1] == c) {
            t += c;
            ++i;
            continue;
          }
          ++i;
          break;
        }
        t += s[i];
      }
      out.push_back({Token::kQuoted, std::move(t)});
    } else if (c == '\'') {
      for (++i; i < s.size(); ++i) {
        if (s[i] == '\\') {
          ++i;
        } else if (s[i] == '\'') {
          if (i + 1 < s.size() && s[i + 1] == '\'') {
            ++i;
            continue;
          }
          ++i;
          break;
        }
      }
      out.push_back({Token::kString, {}});
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' ||
               static_cast<unsigned char>(c) >= 0x80) {
      size_t j = i;
      while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_' ||
                              s[j] == '$' || static_cast<unsigned char>(s[j]) >= 0x80)) {
        ++j;
      }
      out.push_back({Token::kWord, std::string(s.substr(i, j - i))});
      i = j;
    } else {
      out.push_back({Token::kPunct, std::string(1, c)});
      ++i;
    }
  }
  return out;
}

bool IsWord(const Token& t, const char* w) {
  return t.kind == Token::kWord && Lower(t.text) == Lower(w);
}

uint64_t Count(const std::vector<Token>& t, size_t i) {
  if (i >= t.size() || t[i].kind != Token::kWord || t[i].text.empty() || t[i].text.size() > 6 ||
      !std::all_of(t[i].text.begin(), t[i].text.end(),
                   [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
    return 0;
  }
  return std::stoull(t[i].text);
}

// A partition name as its data files spell it: as written, or encoded as
// table names are (servers from 5.6 on encode partition names too).
struct FolderFiles {
  std::map<std::string, std::string> by_lower_stem;  // lower-case stem -> stem on disk
};

FolderFiles ListDataStems(const fs::path& folder) {
  FolderFiles f;
  std::error_code ec;
  fs::directory_iterator it(folder, ec), end;
  for (size_t n = 0; !ec && it != end && n < 1000000; it.increment(ec), ++n) {
    const std::string name = it->path().filename().string();
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || !IsDataExtension(Lower(name.substr(dot)))) continue;
    const std::string stem = name.substr(0, dot);
    f.by_lower_stem.emplace(Lower(stem), stem);
  }
  return f;
}

}  // namespace

bool IsPartitionStem(std::string_view stem, std::string* base) {
  const size_t p = FindIgnoringCase(stem, "#P#");
  if (p == std::string::npos || p == 0) return false;
  if (base) *base = std::string(stem.substr(0, p));
  return true;
}

bool IsPartitionLeftover(std::string_view stem) {
  return FindIgnoringCase(stem, "#TMP#") != std::string::npos ||
         FindIgnoringCase(stem, "#REN#") != std::string::npos;
}

bool ParseParFile(std::string_view bytes, std::vector<std::string>& names, std::string* problem) {
  names.clear();
  auto fail = [&](std::string why) {
    if (problem) *problem = std::move(why);
    names.clear();
    return false;
  };
  const ByteView v(bytes);
  if (v.size() < 16) return fail("is shorter than its header");
  const uint64_t words = v.u32le(0);
  if (words < 4 || words * 4 > v.size()) {
    return fail("says it is " + std::to_string(words * 4) + " bytes long; it holds " +
                std::to_string(v.size()));
  }
  uint32_t sum = 0;
  for (uint64_t w = 0; w < words; ++w) sum ^= v.u32le(w * 4);
  if (sum != 0) return fail("fails its checksum");
  const uint64_t parts = v.u32le(8);
  const uint64_t part_words = (parts + 3) / 4;
  const uint64_t name_len_at = 12 + part_words * 4;
  if (parts == 0 || name_len_at + 4 > words * 4) return fail("lists no partitions");
  const uint64_t name_len = v.u32le(name_len_at);
  const uint64_t names_at = name_len_at + 4;
  if (names_at + name_len > words * 4) return fail("has its names cut off");
  const std::string_view all = v.text(names_at, name_len);
  size_t pos = 0;
  for (uint64_t k = 0; k < parts; ++k) {
    const size_t nul = all.find('\0', pos);
    if (nul == std::string_view::npos || nul == pos) return fail("has its names cut off");
    names.emplace_back(all.substr(pos, nul - pos));
    pos = nul + 1;
  }
  return true;
}

std::string FrmPartitionClause(std::string_view frm) {
  const ByteView v(frm);
  if (v.size() < 64 || v.u8(0) != 0xFE || v.u8(1) != 0x01) return {};
  const uint64_t extra_len = v.u32le(55);
  const uint64_t key_len = v.u16le(14) == 0xFFFF ? v.u32le(47) : v.u16le(14);
  const uint64_t at = uint64_t{v.u16le(6)} + key_len + v.u16le(16);
  if (extra_len == 0 || !v.fits(at, extra_len)) return {};
  const ByteView extra = v.sub(at, extra_len);
  // Connection string, engine name, then the partition clause.
  size_t p = 0;
  if (!extra.fits(p, 2)) return {};
  p += 2 + extra.u16le(p);
  if (!extra.fits(p, 2)) return {};
  p += 2 + extra.u16le(p);
  if (!extra.fits(p, 4)) return {};
  const uint32_t len = extra.u32le(p);
  if (len == 0 || !extra.fits(p + 4, len)) return {};
  return std::string(extra.text(p + 4, len));
}

std::vector<std::string> PartitionNamesFromClause(std::string_view clause) {
  const std::vector<Token> t = Tokenize(clause);
  struct Part {
    std::string name;
    std::vector<std::string> subs;
  };
  std::vector<Part> parts;
  uint64_t n_parts = 0, n_subs = 0;
  bool partitioned = false;
  int depth = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    const Token& k = t[i];
    if (k.kind == Token::kPunct) {
      if (k.text == "(") ++depth;
      if (k.text == ")") --depth;
      continue;
    }
    const bool named = i + 1 < t.size() &&
                       (t[i + 1].kind == Token::kWord || t[i + 1].kind == Token::kQuoted) &&
                       !IsWord(t[i + 1], "BY");
    if (depth == 0) {
      if (IsWord(k, "PARTITION") && i + 1 < t.size() && IsWord(t[i + 1], "BY")) partitioned = true;
      if (IsWord(k, "PARTITIONS")) n_parts = Count(t, i + 1);
      if (IsWord(k, "SUBPARTITIONS")) n_subs = Count(t, i + 1);
    } else if (depth == 1 && IsWord(k, "PARTITION") && named) {
      parts.push_back({t[i + 1].text, {}});
    } else if (depth == 2 && IsWord(k, "SUBPARTITION") && named && !parts.empty()) {
      parts.back().subs.push_back(t[i + 1].text);
    }
  }
  if (parts.empty() && partitioned) {
    for (uint64_t p = 0; p < std::max<uint64_t>(n_parts, 1); ++p) {
      parts.push_back({"p" + std::to_string(p), {}});
    }
  }
  std::vector<std::string> names;
  for (const Part& p : parts) {
    if (!p.subs.empty()) {
      for (const std::string& s : p.subs) names.push_back(p.name + "#SP#" + s);
    } else if (n_subs > 0) {
      for (uint64_t s = 0; s < n_subs; ++s) {
        names.push_back(p.name + "#SP#" + p.name + "sp" + std::to_string(s));
      }
    } else {
      names.push_back(p.name);
    }
  }
  return names;
}

PartitionList ReadPartitionList(const fs::path& folder, const std::string& stem) {
  PartitionList list;
  std::string frm;
  fs::path frm_path = FindFileIgnoringCase(folder, stem + ".frm");
  if (frm_path.empty()) frm_path = folder / (stem + ".frm");
  if (ReadWholeFile(frm_path, frm, kMaxFrmBytes) && frm.size() > 61) {
    list.part_engine = static_cast<uint8_t>(frm[61]);
  }
  std::vector<std::string> names;
  const fs::path par = FindFileIgnoringCase(folder, stem + ".par");
  if (!par.empty()) {
    std::string bytes, problem;
    if (!ReadWholeFile(par, bytes, 16 << 20, &problem)) {
      list.problems.push_back(par.filename().string() + " cannot be read: " + problem);
    } else if (ParseParFile(bytes, names, &problem)) {
      list.source = "the .par file";
    } else {
      list.problems.push_back(par.filename().string() + " " + problem);
    }
  }
  if (names.empty()) {
    names = PartitionNamesFromClause(FrmPartitionClause(frm));
    if (!names.empty()) list.source = "the partition clause";
  }

  // Match names to files; files of the table that no name claims are named.
  const FolderFiles files = ListDataStems(folder);
  const std::string prefix = Lower(stem + "#P#");
  std::set<std::string> claimed;
  auto on_disk = [&](const std::string& name) -> std::string {
    for (const std::string& spelled : {name, EncodeMysqlFileName(name)}) {
      const auto it = files.by_lower_stem.find(prefix + Lower(spelled));
      if (it != files.by_lower_stem.end()) return it->second;
    }
    return {};
  };
  if (names.empty()) {
    for (const auto& [lower, disk] : files.by_lower_stem) {
      if (lower.compare(0, prefix.size(), prefix) != 0 || IsPartitionLeftover(disk)) continue;
      names.push_back(DecodeMysqlFileName(disk.substr(prefix.size())));
    }
    if (!names.empty()) list.source = "the files present";
  }
  for (const std::string& name : names) {
    PartitionPart part;
    part.name = name;
    const size_t sp = FindIgnoringCase(name, "#SP#");
    part.partition = sp == std::string::npos ? name : name.substr(0, sp);
    if (sp != std::string::npos) part.subpartition = name.substr(sp + 4);
    part.file_stem = on_disk(name);
    if (part.file_stem.empty()) {
      part.file_stem = stem + "#P#" + EncodeMysqlFileName(name);
    } else {
      claimed.insert(Lower(part.file_stem));
    }
    list.parts.push_back(std::move(part));
  }
  for (const auto& [lower, disk] : files.by_lower_stem) {
    if (lower.compare(0, prefix.size(), prefix) != 0 || claimed.count(lower)) continue;
    if (IsPartitionLeftover(disk)) {
      list.leftovers.push_back(disk);
    } else {
      list.problems.push_back("partition files " + disk +
                              ".* are not in the table's partition list");
    }
  }
  return list;
}

}  // namespace vostrel
