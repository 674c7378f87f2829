#include "model/charset_names.h"

#include <utility>

namespace vostrel {

namespace {

constexpr std::pair<std::string_view, const char*> kCharsets[] = {
    {"latin1", "WINDOWS-1252"},  // MySQL's latin1 is really cp1252
    {"latin2", "ISO-8859-2"},   {"latin5", "ISO-8859-9"},
    {"latin7", "ISO-8859-13"},  {"cp1250", "CP1250"},
    {"cp1251", "CP1251"},       {"cp1256", "CP1256"},
    {"cp1257", "CP1257"},       {"cp850", "CP850"},
    {"cp852", "CP852"},         {"cp866", "CP866"},
    {"koi8r", "KOI8-R"},        {"koi8u", "KOI8-U"},
    {"greek", "ISO-8859-7"},    {"hebrew", "ISO-8859-8"},
    {"tis620", "TIS-620"},      {"ascii", "ASCII"},
    {"macroman", "MACINTOSH"},  {"macce", "MAC-CENTRALEUROPE"},
    {"armscii8", "ARMSCII-8"},  {"geostd8", "GEORGIAN-PS"},
    {"hp8", "HP-ROMAN8"},       {"keybcs2", "CP895"},
    {"dec8", "DEC-MCS"},        {"sjis", "SHIFT_JIS"},
    {"cp932", "CP932"},         {"ujis", "EUC-JP"},
    {"eucjpms", "EUC-JP-MS"},   {"gbk", "GBK"},
    {"gb2312", "GB2312"},       {"gb18030", "GB18030"},
    {"big5", "BIG5"},           {"euckr", "EUC-KR"},
    {"ucs2", "UCS-2BE"},        {"utf16", "UTF-16BE"},
    {"utf16le", "UTF-16LE"},    {"utf32", "UTF-32BE"},
    {"utf8", "UTF-8"},          {"utf8mb3", "UTF-8"},
    {"utf8mb4", "UTF-8"},
};

}  // namespace

const char* IconvNameForCharset(std::string_view mysql_charset) {
  for (const auto& [name, iconv_name] : kCharsets) {
    if (name == mysql_charset) return iconv_name;
  }
  return nullptr;
}

bool IsUtf8Charset(std::string_view mysql_charset) {
  return mysql_charset == "utf8" || mysql_charset == "utf8mb3" || mysql_charset == "utf8mb4";
}

}  // namespace vostrel
