#include "csv/csv_line.h"

#include <cctype>
#include <cstring>

namespace vostrel {

namespace {

void Unescaped(char c, std::string& out) {
  switch (c) {
    case 'r':
      out += '\r';
      break;
    case 'n':
      out += '\n';
      break;
    case '\\':
    case '"':
      out += c;
      break;
    default:  // only a file written by something else holds these
      out += '\\';
      out += c;
  }
}

bool Digits(std::string_view s, size_t& i, size_t min, size_t max) {
  size_t n = 0;
  while (i < s.size() && n < max && std::isdigit(static_cast<unsigned char>(s[i]))) {
    ++i;
    ++n;
  }
  return n >= min;
}

bool IsNumber(std::string_view s, bool allow_exponent) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  const size_t start = i;
  Digits(s, i, 0, 1000);
  bool digits = i > start;
  if (i < s.size() && s[i] == '.') {
    ++i;
    const size_t f = i;
    Digits(s, i, 0, 1000);
    digits = digits || i > f;
  }
  if (!digits) return false;
  if (allow_exponent && i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
    if (!Digits(s, i, 1, 5)) return false;
  }
  return i == s.size();
}

// [-]H+:MM:SS[.f], YYYY-MM-DD, YYYY-MM-DD HH:MM:SS[.f], as val_str prints them.
bool IsTemporal(std::string_view s, bool date, bool time) {
  size_t i = 0;
  if (date) {
    if (!Digits(s, i, 4, 4) || i >= s.size() || s[i++] != '-' || !Digits(s, i, 2, 2) ||
        i >= s.size() || s[i++] != '-' || !Digits(s, i, 2, 2)) {
      return false;
    }
    if (!time) return i == s.size();
    if (i >= s.size() || s[i++] != ' ') return false;
  } else if (i < s.size() && s[i] == '-') {
    ++i;
  }
  if (!Digits(s, i, 2, date ? 2 : 3) || i >= s.size() || s[i++] != ':' || !Digits(s, i, 2, 2) ||
      i >= s.size() || s[i++] != ':' || !Digits(s, i, 2, 2)) {
    return false;
  }
  if (i < s.size() && s[i] == '.') {
    ++i;
    if (!Digits(s, i, 1, 6)) return false;
  }
  return i == s.size();
}

}  // namespace

size_t FindCsvLineEnd(std::string_view data, size_t pos, size_t* end_length) {
  for (size_t x = pos; x < data.size(); ++x) {
    if (data[x] == '\n') {
      *end_length = 1;
      return x;
    }
    if (data[x] == '\r') {
      *end_length = x + 1 < data.size() && data[x + 1] == '\n' ? 2 : 1;
      return x;
    }
  }
  return std::string_view::npos;
}

bool SplitCsvLine(std::string_view line, size_t columns, CsvFields& out, std::string* why) {
  out.scratch.clear();
  out.spans.clear();
  const size_t end = line.size();
  size_t at = 0;
  auto fail = [&](std::string w) {
    if (why) *why = std::move(w);
    return false;
  };
  for (size_t col = 0; col < columns; ++col) {
    if (at >= end)
      return fail("the line holds " + std::to_string(col) + " of its " + std::to_string(columns) +
                  " fields");
    const size_t start = out.scratch.size();
    if (line[at] == '"') {
      bool closed = false;
      for (++at; at < end; ++at) {
        const char c = line[at];
        if (c == '"' && (at == end - 1 || line[at + 1] == ',')) {
          at += 2;
          closed = true;
          break;
        }
        if (c == '\\' && at != end - 1) {
          Unescaped(line[++at], out.scratch);
        } else {
          if (at == end - 1) break;
          out.scratch += c;
        }
      }
      if (!closed) return fail("field " + std::to_string(col + 1) + " has no closing quote");
    } else {
      for (; at < end; ++at) {
        const char c = line[at];
        if (c == ',') {
          ++at;
          break;
        }
        if (c == '\\' && at != end - 1) {
          Unescaped(line[++at], out.scratch);
        } else {
          if (at == end - 1 && c == '"') {
            return fail("field " + std::to_string(col + 1) + " ends in a stray quote");
          }
          out.scratch += c;
        }
      }
    }
    out.spans.emplace_back(start, out.scratch.size() - start);
  }
  return true;
}

bool CsvValueFits(const ColumnDef& c, std::string_view s) {
  switch (c.type) {
    case kTypeTiny:
    case kTypeShort:
    case kTypeInt24:
    case kTypeLong:
    case kTypeLongLong:
    case kTypeYear:
      return IsNumber(s, false) && s.find('.') == std::string_view::npos;
    case kTypeNewDecimal:
    case kTypeDecimalOld:
      return IsNumber(s, false);
    case kTypeFloat:
    case kTypeDouble:
      return IsNumber(s, true);
    case kTypeDate:
    case kTypeNewDate:
      return IsTemporal(s, true, false);
    case kTypeTime:
    case kTypeTime2:
      return IsTemporal(s, false, true);
    case kTypeDateTime:
    case kTypeDateTime2:
    case kTypeTimestamp:
    case kTypeTimestamp2:
      return IsTemporal(s, true, true);
    default:
      return true;
  }
}

}  // namespace vostrel
