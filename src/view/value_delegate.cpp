#include "view/value_delegate.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

#include "view/plain_tooltip.h"

namespace vostrel::gui {

QString OneLine(const QString& value, int limit) {
  QString out;
  const int n = std::min<int>(static_cast<int>(value.size()), limit);
  out.reserve(n + 1);
  for (int i = 0; i < n; ++i) {
    const QChar c = value[i];
    if (c == '\r') {
      if (i + 1 < value.size() && value[i + 1] == '\n') continue;
      out += QChar(0x21B5);  // ↵
    } else if (c == '\n') {
      out += QChar(0x21B5);
    } else if (c == '\t') {
      out += QChar(0x21E5);  // ⇥
    } else {
      out += c;
    }
  }
  if (value.size() > limit) out += QChar(0x2026);  // …
  return out;
}

QString ValueTooltip(const QString& value, int limit) {
  if (value.size() <= limit) return PlainTooltip(value);
  return PlainTooltip(value.left(limit) + QChar(0x2026)) +
         QString(
             "<p><i>%1 characters in all; double-click the cell to see the whole value.</i></p>")
             .arg(value.size());
}

QString ValueDelegate::displayText(const QVariant& value, const QLocale& locale) const {
  if (value.typeId() == QMetaType::QString) return OneLine(value.toString());
  return QStyledItemDelegate::displayText(value, locale);
}

bool ValueDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                              const QStyleOptionViewItem& option, const QModelIndex& index) {
  if (event->type() != QEvent::ToolTip || !index.isValid()) {
    return QStyledItemDelegate::helpEvent(event, view, option, index);
  }
  const QString value = index.data(Qt::DisplayRole).toString();
  const QString shown = OneLine(value);
  // Only a value the cell does not show whole gets a tooltip.
  const int needed = option.fontMetrics.horizontalAdvance(shown) + 8;
  if (shown == value && needed <= option.rect.width()) {
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  QToolTip::showText(event->globalPos(), ValueTooltip(value), view->viewport(), option.rect);
  return true;
}

}  // namespace vostrel::gui
