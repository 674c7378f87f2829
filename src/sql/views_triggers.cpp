#include "sql/views_triggers.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>

#include "model/file_util.h"
#include "model/mysql_filename.h"
#include "scan/scan.h"
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

std::string RewriteSchemaReferences(std::string_view sql,
                                    const std::vector<std::string>& databases) {
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
  std::string s =
      "CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW ";
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

namespace vostrel {

namespace {

bool StartsWithNoCase(std::string_view s, size_t pos, std::string_view word) {
  if (pos + word.size() > s.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(s[pos + i])) != word[i]) return false;
  }
  return true;
}

size_t FindNoCase(std::string_view s, std::string_view word, size_t from) {
  for (size_t i = from; i + word.size() <= s.size(); ++i) {
    if (StartsWithNoCase(s, i, word)) return i;
  }
  return std::string_view::npos;
}

size_t SkipBlanks(std::string_view s, size_t pos) {
  while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos]))) ++pos;
  return pos;
}

// One word or quoted name at `pos`; `pos` moves past it.
std::string NextToken(std::string_view s, size_t& pos) {
  pos = SkipBlanks(s, pos);
  if (pos >= s.size()) return {};
  const char q = s[pos];
  std::string out;
  if (q == '`' || q == '"') {
    ++pos;
    while (pos < s.size()) {
      if (s[pos] == q) {
        if (pos + 1 < s.size() && s[pos + 1] == q) {
          out.push_back(q);
          pos += 2;
          continue;
        }
        ++pos;
        break;
      }
      out.push_back(s[pos++]);
    }
    return out;
  }
  while (pos < s.size() && !std::isspace(static_cast<unsigned char>(s[pos])) && s[pos] != '.') {
    out.push_back(s[pos++]);
  }
  return out;
}

std::vector<std::string> SplitWords(std::string_view raw) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < raw.size()) {
    while (i < raw.size() && raw[i] == ' ') ++i;
    const size_t start = i;
    while (i < raw.size() && raw[i] != ' ') ++i;
    if (i > start) out.emplace_back(raw.substr(start, i - start));
  }
  return out;
}

}  // namespace

std::string QuoteAccount(std::string_view user_at_host) {
  const size_t at = user_at_host.rfind('@');
  if (at == std::string_view::npos) return QuoteIdentifier(user_at_host);
  return QuoteIdentifier(user_at_host.substr(0, at)) + "@" +
         QuoteIdentifier(user_at_host.substr(at + 1));
}

std::string SqlModeNames(uint64_t mode) {
  static constexpr const char* kNames[] = {"REAL_AS_FLOAT",
                                           "PIPES_AS_CONCAT",
                                           "ANSI_QUOTES",
                                           "IGNORE_SPACE",
                                           "IGNORE_BAD_TABLE_OPTIONS",
                                           "ONLY_FULL_GROUP_BY",
                                           "NO_UNSIGNED_SUBTRACTION",
                                           "NO_DIR_IN_CREATE",
                                           "POSTGRESQL",
                                           "ORACLE",
                                           "MSSQL",
                                           "DB2",
                                           "MAXDB",
                                           "NO_KEY_OPTIONS",
                                           "NO_TABLE_OPTIONS",
                                           "NO_FIELD_OPTIONS",
                                           "MYSQL323",
                                           "MYSQL40",
                                           "ANSI",
                                           "NO_AUTO_VALUE_ON_ZERO",
                                           "NO_BACKSLASH_ESCAPES",
                                           "STRICT_TRANS_TABLES",
                                           "STRICT_ALL_TABLES",
                                           "NO_ZERO_IN_DATE",
                                           "NO_ZERO_DATE",
                                           "ALLOW_INVALID_DATES",
                                           "ERROR_FOR_DIVISION_BY_ZERO",
                                           "TRADITIONAL",
                                           "NO_AUTO_CREATE_USER",
                                           "HIGH_NOT_PRECEDENCE",
                                           "NO_ENGINE_SUBSTITUTION",
                                           "PAD_CHAR_TO_FULL_LENGTH",
                                           "EMPTY_STRING_IS_NULL",
                                           "SIMULTANEOUS_ASSIGNMENT",
                                           "TIME_ROUND_FRACTIONAL"};
  std::string out;
  for (size_t bit = 0; bit < std::size(kNames); ++bit) {
    if (!((mode >> bit) & 1)) continue;
    if (!out.empty()) out.push_back(',');
    out += kNames[bit];
  }
  return out;
}

std::string FullViewStatement(const std::filesystem::path& view_file,
                              const std::vector<std::string>& databases, const CodePage& code_page,
                              std::string* definer_out) {
  std::string text;
  if (!ReadDefinitionFile(view_file, text)) return {};
  std::string query;
  if (!ReadFileValue(text, "query", query)) return {};
  query = RewriteSchemaReferences(DecodeStoredText(UnescapeFileValue(query), code_page), databases);
  std::string value;
  std::string algorithm = "UNDEFINED";
  if (ReadFileValue(text, "algorithm", value)) {
    if (value == "1") algorithm = "MERGE";
    if (value == "2") algorithm = "TEMPTABLE";
  }
  std::string definer;
  std::string user, host;
  if (ReadFileValue(text, "definer_user", user) && ReadFileValue(text, "definer_host", host)) {
    definer = QuoteIdentifier(DecodeStoredText(UnescapeFileValue(user), code_page)) + "@" +
              QuoteIdentifier(DecodeStoredText(UnescapeFileValue(host), code_page));
  }
  const bool invoker = ReadFileValue(text, "suid", value) && value == "0";
  std::string check;
  if (ReadFileValue(text, "with_check_option", value)) {
    if (value == "1") check = " WITH LOCAL CHECK OPTION";
    if (value == "2") check = " WITH CASCADED CHECK OPTION";
  }
  if (definer_out) *definer_out = definer;
  std::string s = "CREATE ALGORITHM=" + algorithm;
  if (!definer.empty()) s += " DEFINER=" + definer;
  s += invoker ? " SQL SECURITY INVOKER" : " SQL SECURITY DEFINER";
  s += " VIEW " + QuoteIdentifier(DecodeMysqlFileName(view_file.stem().string()));
  s += " AS " + query + check + ";";
  return s;
}

std::vector<TriggerDefinition> FullTriggerDefinitions(const std::filesystem::path& trigger_file,
                                                      const std::vector<std::string>& databases,
                                                      const CodePage& code_page) {
  std::vector<TriggerDefinition> out;
  std::string text;
  std::string list;
  if (!ReadDefinitionFile(trigger_file, text) || !ReadFileValue(text, "triggers", list)) return out;
  std::string raw;
  std::vector<std::string> modes;
  if (ReadFileValue(text, "sql_modes", raw)) modes = SplitWords(raw);
  std::vector<std::string> definers;
  if (ReadFileValue(text, "definers", raw)) definers = SplitQuotedList(raw);
  // The last trigger seen per timing and event, for FOLLOWS.
  std::vector<std::pair<std::string, std::string>> last_of;
  size_t index = 0;
  for (std::string def : SplitQuotedList(list)) {
    const size_t i = index++;
    def = DecodeStoredText(def, code_page);
    std::string_view d(def);
    const size_t start = d.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) continue;
    d.remove_prefix(start);
    size_t header_end = 6;
    if (StartsWithNoCase(d, 0, "CREATE DEFINER=")) header_end = SkipDefiner(d, 15);
    const size_t trigger_kw = FindNoCase(d, "TRIGGER", header_end);
    if (!StartsWithNoCase(d, 0, "CREATE") || trigger_kw == std::string_view::npos) continue;
    TriggerDefinition t;
    size_t pos = trigger_kw + 7;
    t.name = NextToken(d, pos);
    if (pos < d.size() && d[pos] == '.') {  // db.name
      ++pos;
      t.name = NextToken(d, pos);
    }
    std::string timing = NextToken(d, pos);
    std::string event = NextToken(d, pos);
    for (auto* w : {&timing, &event}) {
      for (char& c : *w) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    std::string body(d.substr(trigger_kw));
    while (!body.empty() && (body.back() == ' ' || body.back() == '\n' || body.back() == '\r' ||
                             body.back() == '\t' || body.back() == ';')) {
      body.pop_back();
    }
    const std::string key = timing + " " + event;
    std::string previous;
    for (auto& [k, name] : last_of) {
      if (k == key) previous = name;
    }
    const size_t each_row = FindNoCase(body, "FOR EACH ROW", 0);
    if (!previous.empty() && each_row != std::string::npos) {
      const size_t after = SkipBlanks(body, each_row + 12);
      if (!StartsWithNoCase(body, after, "FOLLOWS") && !StartsWithNoCase(body, after, "PRECEDES")) {
        body.insert(each_row + 12, " FOLLOWS " + QuoteIdentifier(previous));
      }
    }
    bool replaced = false;
    for (auto& [k, name] : last_of) {
      if (k == key) {
        name = t.name;
        replaced = true;
      }
    }
    if (!replaced) last_of.emplace_back(key, t.name);
    if (i < definers.size() && !definers[i].empty()) {
      t.definer = QuoteAccount(DecodeStoredText(definers[i], code_page));
    }
    if (i < modes.size()) {
      t.has_sql_mode = true;
      t.sql_mode = SqlModeNames(std::strtoull(modes[i].c_str(), nullptr, 10));
    }
    t.statement = "CREATE " + (t.definer.empty() ? std::string() : "DEFINER=" + t.definer + " ") +
                  RewriteSchemaReferences(body, databases);
    out.push_back(std::move(t));
  }
  return out;
}

std::vector<SelectedItem> OrderViewsByDependency(const ScanResult& scan,
                                                 std::vector<SelectedItem> items) {
  struct ViewItem {
    SelectedItem item;
    std::string reference;  // `db`.`name` as other queries name it
    std::string query;
    bool placed = false;
  };
  std::vector<size_t> slots;
  std::vector<ViewItem> views;
  for (size_t i = 0; i < items.size(); ++i) {
    if (KindOf(items[i]) != ItemKind::kView) continue;
    const int64_t index = ListIndexOf(items[i], scan);
    if (index < 0) continue;
    const std::filesystem::path path = scan.m_viewFiles[static_cast<size_t>(index)];
    ViewItem v;
    v.item = items[i];
    v.reference = QuoteIdentifier(DatabaseDisplayName(path.parent_path().string())) + "." +
                  QuoteIdentifier(DecodeMysqlFileName(path.stem().string()));
    std::string text;
    if (ReadDefinitionFile(path, text)) ReadFileValue(text, "query", v.query);
    slots.push_back(i);
    views.push_back(std::move(v));
  }
  size_t next = 0;
  // Each round places the first view whose sources are all placed; a cycle
  // (which the server would not have allowed) keeps the remaining order.
  while (next < views.size()) {
    size_t pick = views.size();
    for (size_t a = 0; a < views.size() && pick == views.size(); ++a) {
      if (views[a].placed) continue;
      bool ready = true;
      for (size_t b = 0; b < views.size() && ready; ++b) {
        ready = b == a || views[b].placed ||
                views[a].query.find(views[b].reference) == std::string::npos;
      }
      if (ready) pick = a;
    }
    if (pick == views.size()) {
      for (size_t a = 0; a < views.size(); ++a) {
        if (!views[a].placed) {
          pick = a;
          break;
        }
      }
    }
    views[pick].placed = true;
    items[slots[next++]] = views[pick].item;
  }
  return items;
}

std::string FullTriggerScript(const std::vector<TriggerDefinition>& triggers) {
  std::string out;
  for (const TriggerDefinition& t : triggers) {
    std::string delimiter = ";;";
    while (t.statement.find(delimiter) != std::string::npos) delimiter += ";";
    if (t.has_sql_mode) {
      out += "SET @saved_sql_mode = @@sql_mode;\n";
      out += "SET sql_mode = " + SqlStringLiteral(t.sql_mode) + ";\n";
    }
    out += "DELIMITER " + delimiter + "\n" + t.statement + delimiter + "\nDELIMITER ;\n";
    if (t.has_sql_mode) out += "SET sql_mode = @saved_sql_mode;\n";
  }
  return out;
}

}  // namespace vostrel
