#include "model/sql_script.h"

#include <algorithm>
#include <cctype>

namespace vostrel {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool IsWordChar(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_' || c == '$' || u >= 0x80;
}

bool StartsWithNoCase(std::string_view s, size_t at, std::string_view word) {
  if (s.size() - at < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[at + i])) != word[i]) return false;
  }
  return true;
}

// Keeps line breaks, blanks everything else: offsets and lines stay.
void Blank(std::string& out, std::string_view from) {
  for (char c : from) out.push_back(c == '\n' ? '\n' : ' ');
}

}  // namespace

bool IsOldTemporalMark(std::string_view comment) {
  if (comment.size() < 4 || comment.substr(0, 2) != "/*" ||
      comment.substr(comment.size() - 2) != "*/") {
    return false;
  }
  std::string_view body = comment.substr(2, comment.size() - 4);
  while (!body.empty() && IsSpace(body.front())) body.remove_prefix(1);
  while (!body.empty() && IsSpace(body.back())) body.remove_suffix(1);
  return body == "mariadb-5.3" || body == "5.5 binary format";
}

std::vector<SqlStatement> SplitSqlScript(std::string_view s) {
  std::vector<SqlStatement> out;
  std::string delimiter = ";";
  SqlStatement cur;
  uint32_t line = 1;
  bool in_exec_comment = false;
  bool blank = true;  // the statement so far is only white space
  auto finish = [&]() {
    if (!blank) out.push_back(std::move(cur));
    cur = SqlStatement{};
    cur.line = line;
    blank = true;
  };
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    const char c = s[i];
    // The client's own DELIMITER command, at the start of a statement.
    if (blank && !in_exec_comment && StartsWithNoCase(s, i, "delimiter") && i + 9 < n &&
        (s[i + 9] == ' ' || s[i + 9] == '\t')) {
      size_t e = i + 9;
      while (e < n && s[e] != '\n') ++e;
      std::string_view rest = s.substr(i + 9, e - i - 9);
      while (!rest.empty() && IsSpace(rest.front())) rest.remove_prefix(1);
      while (!rest.empty() && IsSpace(rest.back())) rest.remove_suffix(1);
      const size_t space = rest.find_first_of(" \t");
      if (space != std::string_view::npos) rest = rest.substr(0, space);
      if (!rest.empty()) delimiter = std::string(rest);
      i = e;
      cur = SqlStatement{};
      cur.line = line;
      continue;
    }
    if (c == '\n') {
      ++line;
      if (blank) {
        cur.text.clear();
        cur.line = line;
        ++i;
        continue;
      }
      cur.text.push_back(c);
      ++i;
      continue;
    }
    if (c == '\'' || c == '"' || c == '`') {
      size_t j = i + 1;
      while (j < n) {
        if (s[j] == '\\' && c != '`' && j + 1 < n) {
          j += 2;
          continue;
        }
        if (s[j] == c) {
          if (j + 1 < n && s[j + 1] == c) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      const size_t end = std::min(n, j + 1);
      for (size_t k = i; k < end; ++k) line += s[k] == '\n';
      cur.text.append(s.substr(i, end - i));
      blank = false;
      i = end;
      continue;
    }
    const bool dash_comment =
        c == '-' && i + 1 < n && s[i + 1] == '-' && (i + 2 >= n || IsSpace(s[i + 2]));
    if (c == '#' || dash_comment) {
      size_t e = i;
      while (e < n && s[e] != '\n') ++e;
      Blank(cur.text, s.substr(i, e - i));
      i = e;
      continue;
    }
    if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      size_t marker = i + 2;
      bool executable = false;
      if (marker < n && s[marker] == '!') {
        executable = true;
        ++marker;
      } else if (marker + 1 < n && s[marker] == 'M' && s[marker + 1] == '!') {
        executable = true;
        marker += 2;
      }
      if (executable && !in_exec_comment) {
        size_t d = marker;
        uint64_t version = 0;
        while (d < n && d - marker < 6 && std::isdigit(static_cast<unsigned char>(s[d]))) {
          version = version * 10 + static_cast<uint64_t>(s[d] - '0');
          ++d;
        }
        if (version < 990000) {
          Blank(cur.text, s.substr(i, d - i));
          in_exec_comment = true;
          i = d;
          continue;
        }
      }
      const size_t close = s.find("*/", i + 2);
      const size_t e = close == std::string_view::npos ? n : close + 2;
      for (size_t k = i; k < e; ++k) line += s[k] == '\n';
      if (IsOldTemporalMark(s.substr(i, e - i))) {
        cur.text.append(s.substr(i, e - i));  // the tokenizer tells the column type by it
      } else {
        Blank(cur.text, s.substr(i, e - i));
      }
      i = e;
      continue;
    }
    if (in_exec_comment && c == '*' && i + 1 < n && s[i + 1] == '/') {
      cur.text.append("  ");
      in_exec_comment = false;
      i += 2;
      continue;
    }
    if (s.compare(i, delimiter.size(), delimiter) == 0) {
      i += delimiter.size();
      finish();
      continue;
    }
    cur.text.push_back(c);
    if (!IsSpace(c)) blank = false;
    ++i;
  }
  finish();
  return out;
}

uint32_t LineAt(const SqlStatement& st, size_t offset) {
  offset = std::min(offset, st.text.size());
  return st.line +
         static_cast<uint32_t>(std::count(st.text.begin(), st.text.begin() + offset, '\n'));
}

std::vector<SqlToken> TokenizeSql(std::string_view s, std::string* error) {
  std::vector<SqlToken> out;
  size_t i = 0;
  const size_t n = s.size();
  auto quoted_body = [&](size_t open, char q, std::string& value) -> size_t {
    // Returns the offset past the closing quote, or npos when there is none.
    size_t j = open + 1;
    while (j < n) {
      const char c = s[j];
      if (c == '\\' && q != '`' && j + 1 < n) {
        const char e = s[j + 1];
        switch (e) {
          case 'n':
            value.push_back('\n');
            break;
          case 't':
            value.push_back('\t');
            break;
          case 'r':
            value.push_back('\r');
            break;
          case '0':
            value.push_back('\0');
            break;
          case 'b':
            value.push_back('\b');
            break;
          case 'Z':
            value.push_back('\x1A');
            break;
          // Kept with their backslash, as the server keeps them (LIKE patterns).
          case '%':
          case '_':
            value.push_back('\\');
            value.push_back(e);
            break;
          default:
            value.push_back(e);
        }
        j += 2;
        continue;
      }
      if (c == q) {
        if (j + 1 < n && s[j + 1] == q) {
          value.push_back(q);
          j += 2;
          continue;
        }
        return j + 1;
      }
      value.push_back(c);
      ++j;
    }
    return std::string_view::npos;
  };
  while (i < n) {
    const char c = s[i];
    if (IsSpace(c)) {
      ++i;
      continue;
    }
    SqlToken t;
    t.begin = i;
    const char next = i + 1 < n ? s[i + 1] : '\0';
    if (c == '/' && next == '*') {
      const size_t close = s.find("*/", i + 2);
      const size_t e = close == std::string_view::npos ? n : close + 2;
      if (IsOldTemporalMark(s.substr(i, e - i))) {
        t.kind = SqlTokenKind::kPunct;
        t.text = kOldTemporalMark;
        t.end = e;
        out.push_back(std::move(t));
      }
      i = e;
      continue;
    }
    if ((c == 'x' || c == 'X' || c == 'b' || c == 'B') && next == '\'') {
      const size_t close = s.find('\'', i + 2);
      if (close == std::string_view::npos) {
        if (error) *error = "unterminated literal";
        break;
      }
      t.kind = (c == 'x' || c == 'X') ? SqlTokenKind::kHex : SqlTokenKind::kBits;
      t.text = std::string(s.substr(i, close + 1 - i));
      i = close + 1;
    } else if (c == '\'' || c == '"' || c == '`' || ((c == 'n' || c == 'N') && next == '\'')) {
      const size_t open = (c == 'n' || c == 'N') ? i + 1 : i;
      const char q = s[open];
      const size_t end = quoted_body(open, q, t.text);
      if (end == std::string_view::npos) {
        if (error) *error = q == '`' ? "unterminated quoted name" : "unterminated string";
        break;
      }
      t.kind = q == '`' ? SqlTokenKind::kWord : SqlTokenKind::kString;
      t.quoted = q == '`';
      i = end;
    } else if (c == '0' && (next == 'x' || next == 'b') && i + 2 < n &&
               std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      size_t j = i + 2;
      while (j < n && IsWordChar(s[j])) ++j;
      t.kind = next == 'x' ? SqlTokenKind::kHex : SqlTokenKind::kBits;
      t.text = std::string(s.substr(i, j - i));
      i = j;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && std::isdigit(static_cast<unsigned char>(next)))) {
      size_t j = i;
      while (j < n && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
      if (j < n && IsWordChar(s[j]) && s[j] != 'e' && s[j] != 'E') {
        // A name that starts with digits.
        while (j < n && IsWordChar(s[j])) ++j;
        t.kind = SqlTokenKind::kWord;
      } else {
        if (j < n && s[j] == '.') {
          ++j;
          while (j < n && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
        }
        if (j < n && (s[j] == 'e' || s[j] == 'E')) {
          size_t k = j + 1;
          if (k < n && (s[k] == '+' || s[k] == '-')) ++k;
          if (k < n && std::isdigit(static_cast<unsigned char>(s[k]))) {
            j = k;
            while (j < n && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
          }
        }
        t.kind = SqlTokenKind::kNumber;
      }
      t.text = std::string(s.substr(i, j - i));
      i = j;
    } else if (IsWordChar(c)) {
      size_t j = i;
      while (j < n && IsWordChar(s[j])) ++j;
      if (c == '_' && j < n && s[j] == '\'') {
        // A character-set introducer: _utf8mb4'text' is the string.
        const size_t end = quoted_body(j, '\'', t.text);
        if (end == std::string_view::npos) {
          if (error) *error = "unterminated string";
          break;
        }
        t.kind = SqlTokenKind::kString;
        i = end;
      } else {
        t.kind = SqlTokenKind::kWord;
        t.text = std::string(s.substr(i, j - i));
        i = j;
      }
    } else {
      static constexpr std::string_view kTwo[] = {
          "<=", ">=", "<>", "!=", ":=", "||", "&&", "<<", ">>", "->"};
      t.kind = SqlTokenKind::kPunct;
      size_t len = 1;
      for (std::string_view two : kTwo) {
        if (s.compare(i, 2, two) == 0) len = 2;
      }
      t.text = std::string(s.substr(i, len));
      i += len;
    }
    t.end = i;
    out.push_back(std::move(t));
  }
  SqlToken end;
  end.begin = end.end = n;
  out.push_back(end);
  return out;
}

}  // namespace vostrel
