// Whether a stored field holds a value its column allows, for records that
// are no longer rows: their bytes are taken only when nothing in them is off.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "model/field_decoder.h"
#include "model/text_codec.h"

namespace vostrel {

namespace {

// Reads `n` digits at s[at]; false when one is not a digit.
bool Digits(std::string_view s, size_t at, size_t n, int& v) {
  if (at + n > s.size()) return false;
  v = 0;
  for (size_t k = 0; k < n; ++k) {
    const char c = s[at + k];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  return true;
}

bool LeapYear(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// "YYYY-MM-DD": a day of the calendar (zero dates and zero parts refused).
bool RealDate(std::string_view s) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int y, m, d;
  if (s.size() < 10 || s[4] != '-' || s[7] != '-') return false;
  if (!Digits(s, 0, 4, y) || !Digits(s, 5, 2, m) || !Digits(s, 8, 2, d)) return false;
  if (y == 0 || m < 1 || m > 12 || d < 1) return false;
  return d <= kDays[m - 1] + (m == 2 && LeapYear(y) ? 1 : 0);
}

// "HH:MM:SS" at s[at], hours below `max_hours`, then an optional fraction.
bool RealClock(std::string_view s, size_t at, int hour_digits, int max_hours) {
  int h, m, sec;
  const size_t hd = static_cast<size_t>(hour_digits);
  if (!Digits(s, at, hd, h) || s.size() < at + hd + 6) return false;
  if (s[at + hd] != ':' || s[at + hd + 3] != ':') return false;
  if (!Digits(s, at + hd + 1, 2, m) || !Digits(s, at + hd + 4, 2, sec)) return false;
  if (h > max_hours || m > 59 || sec > 59) return false;
  const size_t end = at + hd + 6;
  if (end == s.size()) return true;
  if (s[end] != '.') return false;
  for (size_t k = end + 1; k < s.size(); ++k) {
    if (s[k] < '0' || s[k] > '9') return false;
  }
  return end + 1 < s.size();
}

bool RealDateTime(std::string_view s) {
  return s.size() >= 19 && RealDate(s.substr(0, 10)) && s[10] == ' ' && RealClock(s, 11, 2, 23);
}

bool RealTime(std::string_view s) {
  size_t at = s.empty() || s[0] != '-' ? 0 : 1;
  const size_t colon = s.find(':', at);
  if (colon == std::string_view::npos || colon - at < 2 || colon - at > 3) return false;
  return RealClock(s, at, static_cast<int>(colon - at), 838);
}

bool NumberText(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || c == '-' || c == '.')) return false;
  }
  return true;
}

}  // namespace

bool FieldDecoder::ValidValue(size_t i, const StoredField& f) {
  if (i >= plans_.size()) return false;
  const ColumnDef& c = table_.columns[i];
  switch (f.state) {
    case FieldState::kNull:
      return c.nullable != 0;
    case FieldState::kAbsent:
    case FieldState::kExternal:  // its value pages may be freed and reused
      return false;
    case FieldState::kInline:
      break;
  }
  const Plan& p = plans_[i];
  const std::string_view raw = f.bytes();
  std::string& t = scratch_;
  auto text = [&]() -> std::string_view {
    t.clear();
    AppendValueText(i, raw, true, t);
    return t;
  };
  switch (p.what) {
    case What::kChars:
    case What::kCharsTrim: {
      if (c.length > 0 && raw.size() > static_cast<size_t>(c.length)) return false;
      const ColumnTextDecoder& dec = decoders_[i];
      if (dec.utf8()) return IsValidUtf8(raw);
      return true;
    }
    case What::kBlob:
      return !decoders_[i].utf8() || IsValidUtf8(raw);
    case What::kEnum:
    case What::kSet: {
      if (raw.empty() || raw.size() > 8) return false;
      uint64_t v;
      int64_t sv;
      uint8_t small[8] = {};
      std::memcpy(small, raw.data(), raw.size());
      Number(p, p.big_endian ? reinterpret_cast<const uint8_t*>(raw.data()) : small, raw.size(), v,
             sv);
      const size_t members = c.enum_members.size();
      if (p.what == What::kEnum) return v >= 1 && v <= members;
      return members >= 64 || (v >> members) == 0;
    }
    case What::kNewDate:
    case What::kDate:
      return RealDate(text());
    case What::kDateTime:
    case What::kDateTime2:
    case What::kTimestamp:
    case What::kTimestamp2:
      return RealDateTime(text());
    case What::kTime:
    case What::kTime2:
      return RealTime(text());
    case What::kFloat:
    case What::kDouble: {
      if (raw.size() < (p.what == What::kFloat ? 4u : 8u)) return false;
      double v;
      if (p.what == What::kFloat) {
        float fl;
        std::memcpy(&fl, raw.data(), 4);
        v = fl;
      } else {
        std::memcpy(&v, raw.data(), 8);
      }
      return std::isfinite(v);
    }
    case What::kDecimal: {
      // A digit group out of its range decodes to more digits than the
      // column has: within precision and scale, or it is none of its values.
      const std::string_view v = text();
      if (!NumberText(v)) return false;
      std::string_view digits = v[0] == '-' ? v.substr(1) : v;
      const size_t dot = digits.find('.');
      std::string_view whole = digits.substr(0, dot);
      const size_t scale = dot == std::string_view::npos ? 0 : digits.size() - dot - 1;
      while (whole.size() > 1 && whole[0] == '0') whole.remove_prefix(1);
      const size_t whole_digits = whole == "0" ? 0 : whole.size();
      return c.precision <= 0 || (scale == static_cast<size_t>(std::max(c.decimals, 0)) &&
                                  whole_digits + static_cast<size_t>(std::max(c.decimals, 0)) <=
                                      static_cast<size_t>(c.precision));
    }
    case What::kDecimalOld:
      return NumberText(text());
    case What::kYear:
    case What::kInt:
    case What::kBit:
    case What::kGeometry:
      return true;
    case What::kNothing:
    case What::kOwnText:
    case What::kOwnTextChars:
      return false;
  }
  return false;
}

}  // namespace vostrel
