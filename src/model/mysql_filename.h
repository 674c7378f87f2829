#pragma once

#include <string>
#include <string_view>

namespace vostrel {

// Turns an on-disk database or table file name (e.g. "my@002ddb", "caf@0p")
// into UTF-8 ("my-db", "café"). Anything that does not decode cleanly is kept
// byte for byte, so the result is always usable as a display name.
std::string DecodeMysqlFileName(std::string_view raw);

// The reverse, for finding the file behind a user-typed name. Bytes that are
// not valid UTF-8 are copied unchanged.
std::string EncodeMysqlFileName(std::string_view utf8);

}  // namespace vostrel
