// Quoting of identifiers and string literals for generated SQL.
#pragma once

#include <cstddef>
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
// The inside of such a literal, without the quotes.
void AppendSqlEscaped(std::string_view text, std::string& out);
// Escapes, in place, the text that starts at out[start].
void EscapeSqlTail(std::string& out, size_t start);
// True when every byte is ASCII and none needs an escape: such text goes
// into a literal as it is.
bool IsPlainAscii(std::string_view text);
// The escaped text written at `p`, which has room for 2 * text.size() bytes;
// returns the end.
char* PutSqlEscaped(char* p, std::string_view text);

// "-- text\r\n", line breaks in the text turned into spaces so that it stays one comment.
std::string SqlCommentLine(std::string_view text);

}  // namespace vostrel
