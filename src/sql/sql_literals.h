// Quoting of identifiers and string literals for generated SQL.
#pragma once

#include <string>
#include <string_view>

namespace vostrel {

// `name` with every backtick doubled.
std::string QuoteIdentifier(std::string_view name);
void AppendQuotedIdentifier(std::string_view name, std::string& out);

// 'text' with quote, backslash, NUL and Ctrl-Z escaped, so that no stored text
// can end the literal early.
std::string SqlStringLiteral(std::string_view text);
void AppendSqlStringLiteral(std::string_view text, std::string& out);

}  // namespace vostrel
