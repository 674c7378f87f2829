#include "sql/views_triggers.h"

#include <algorithm>

#include "model/file_util.h"
#include "model/mysql_filename.h"
#include "sql/sql_literals.h"

namespace vostrel {

namespace {

constexpr uint64_t kMaxDefinitionFile = 64ull * 1024 * 1024;

bool ReadDefinitionFile(const std::filesystem::path& path, std::string& text) {
  return ReadWholeFile(path, text, kMaxDefinitionFile);
}

// The quoted strings of a trigger list: 'a' 'b' ...
std::vector<std::string> SplitQuotedList(std::string_view raw) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < raw.size()) {
    while (i < raw.size() && raw[i] != '\'') ++i;
    if (i >= raw.size()) break;
    std::string item;
    ++i;
    bool closed = false;
    while (i < raw.size()) {
      const char c = raw[i];
      if (c == '\\' && i + 1 < raw.size()) {
        item.push_back(c);
        item.push_back(raw[i + 1]);
        i += 2;
        continue;
      }
      ++i;
      if (c == '\'') {
        closed = true;
        break;
      }
      item.push_back(c);
    }
    out.push_back(UnescapeFileValue(item));
    if (!closed) break;
  }
  return out;
}

// Skips `user`@`host` after DEFINER=; returns the position after it.
size_t SkipDefiner(std::string_view s, size_t pos) {
  for (int part = 0; part < 2 && pos < s.size(); ++part) {
    if (s[pos] == '`') {
      ++pos;
      while (pos < s.size()) {
        if (s[pos] == '`') {
          if (pos + 1 < s.size() && s[pos + 1] == '`') {
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        ++pos;
      }
    } else {
      while (pos < s.size() && s[pos] != '@' && s[pos] != ' ') ++pos;
    }
    if (part == 0 && pos < s.size() && s[pos] == '@') ++pos;
  }
  return pos;
}

}  // namespace

std::string UnescapeFileValue(std::string_view v) {
  std::string out;
  out.reserve(v.size());
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] != '\\' || i + 1 >= v.size()) {
      out.push_back(v[i]);
      continue;
    }
    const char n = v[++i];
    switch (n) {
      case 'n':
        out.push_back('\n');
        break;
      case '0':
        out.push_back('\0');
        break;
      case 'z':
        out.push_back('\x1a');
        break;
      case '\\':
      case '\'':
        out.push_back(n);
        break;
      default:
        out.push_back('\\');
        out.push_back(n);
    }
  }
  return out;
}

bool ReadFileValue(std::string_view text, std::string_view key, std::string& value) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == '=') {
      value = std::string(line.substr(key.size() + 1));
      return true;
    }
    pos = end + 1;
  }
  return false;
}

std::string RewriteSchemaReferences(std::string_view sql, const std::vector<std::string>& databases) {
  std::string out;
  out.reserve(sql.size() + 16);
  size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {  // copy a string literal whole
      const size_t start = i++;
      while (i < sql.size()) {
        if (sql[i] == '\\' && i + 1 < sql.size()) {
          i += 2;
        } else if (sql[i] == c) {
          if (i + 1 < sql.size() && sql[i + 1] == c) {
            i += 2;
          } else {
            ++i;
            break;
          }
        } else {
          ++i;
        }
      }
      out.append(sql.substr(start, i - start));
      continue;
    }
    if (c == '`') {
      std::string name;
      size_t j = i + 1;
      while (j < sql.size()) {
        if (sql[j] == '`') {
          if (j + 1 < sql.size() && sql[j + 1] == '`') {
            name.push_back('`');
            j += 2;
            continue;
          }
          break;
        }
        name.push_back(sql[j++]);
      }
      const size_t after = std::min(j + 1, sql.size());
      const bool qualifier = after < sql.size() && sql[after] == '.';
      if (qualifier && std::find(databases.begin(), databases.end(), name) != databases.end()) {
        AppendQuotedIdentifier("rep_" + name, out);
      } else {
        out.append(sql.substr(i, after - i));
      }
      i = after;
      continue;
    }
    out.push_back(c);
    ++i;
  }
  return out;
}

std::string ViewStatement(const std::filesystem::path& view_file,
                          const std::vector<std::string>& databases, const CodePage& code_page) {
  std::string text;
  if (!ReadDefinitionFile(view_file, text)) return {};
  std::string query;
  if (!ReadFileValue(text, "query", query)) return {};
  query = RewriteSchemaReferences(DecodeStoredText(UnescapeFileValue(query), code_page), databases);
  const std::string name = DecodeMysqlFileName(view_file.stem().string());
  std::string s = "CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW ";
  AppendQuotedIdentifier(name, s);
  s += " AS " + query + ";";
  return s;
}

std::vector<std::string> TriggerStatements(const std::filesystem::path& trigger_file,
                                           const std::vector<std::string>& databases,
                                           const CodePage& code_page) {
  std::vector<std::string> out;
  std::string text;
  std::string list;
  if (!ReadDefinitionFile(trigger_file, text) || !ReadFileValue(text, "triggers", list)) return out;
  for (std::string def : SplitQuotedList(list)) {
    def = DecodeStoredText(def, code_page);
    // Leading blanks aside, a definition is CREATE [DEFINER=...] TRIGGER ...
    const size_t start = def.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) continue;
    std::string_view d(def);
    d.remove_prefix(start);
    size_t body = std::string_view::npos;
    static constexpr std::string_view kDefiner = "CREATE DEFINER=";
    if (d.substr(0, kDefiner.size()) == kDefiner) {
      const size_t after = SkipDefiner(d, kDefiner.size());
      body = d.find("TRIGGER", after);
    } else if (d.substr(0, 6) == "CREATE") {
      body = d.find("TRIGGER");
    }
    if (body == std::string_view::npos) continue;
    std::string stmt = "CREATE " + std::string(d.substr(body));
    while (!stmt.empty() && (stmt.back() == ' ' || stmt.back() == '\n' || stmt.back() == '\r' ||
                             stmt.back() == '\t' || stmt.back() == ';')) {
      stmt.pop_back();
    }
    out.push_back(RewriteSchemaReferences(stmt, databases));
  }
  return out;
}

std::string TriggerScript(const std::vector<std::string>& statements) {
  std::string out;
  for (const std::string& s : statements) {
    // The delimiter must not occur inside the body.
    std::string delimiter = "$$";
    while (s.find(delimiter) != std::string::npos) delimiter += "$";
    out += "DELIMITER " + delimiter + "\n" + s + "\n" + delimiter + "\nDELIMITER ;\n";
  }
  return out;
}

}  // namespace vostrel
