#include "sql/sql_literals.h"

namespace vostrel {

void AppendQuotedIdentifier(std::string_view name, std::string& out) {
  out.push_back('`');
  for (char c : name) {
    if (c == '`') out.push_back('`');
    out.push_back(c);
  }
  out.push_back('`');
}

std::string QuoteIdentifier(std::string_view name) {
  std::string out;
  out.reserve(name.size() + 2);
  AppendQuotedIdentifier(name, out);
  return out;
}

void AppendSqlStringLiteral(std::string_view text, std::string& out) {
  out.push_back('\'');
  for (char c : text) {
    switch (c) {
      case '\'':
        out += "''";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\0':
        out += "\\0";
        break;
      case '\x1a':
        out += "\\Z";
        break;
      default:
        out.push_back(c);
    }
  }
  out.push_back('\'');
}

std::string SqlStringLiteral(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  AppendSqlStringLiteral(text, out);
  return out;
}

}  // namespace vostrel
