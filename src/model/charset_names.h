// MySQL character-set names mapped to iconv's names.
#pragma once

#include <string_view>

namespace vostrel {

// iconv name for a MySQL character set, or nullptr when there is none.
const char* IconvNameForCharset(std::string_view mysql_charset);

bool IsUtf8Charset(std::string_view mysql_charset);

}  // namespace vostrel
