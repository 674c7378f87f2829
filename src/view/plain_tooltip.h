// Plain text as a tooltip: escaped (a value like "<b>" must not turn into
// markup), line breaks kept, long lines wrapped.
#pragma once

#include <QString>

namespace vostrel::gui {

inline QString PlainTooltip(const QString& text) {
  // Short lines stay whole; long ones wrap in a box of a readable width.
  bool long_line = false;
  for (const QStringView line : QStringView(text).split(u'\n')) long_line |= line.size() > 100;
  if (!long_line) return "<p style='white-space:pre'>" + text.toHtmlEscaped() + "</p>";
  return "<table width=560><tr><td style='white-space:pre-wrap'>" + text.toHtmlEscaped() +
         "</td></tr></table>";
}

}  // namespace vostrel::gui
