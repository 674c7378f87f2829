// Cells of one line: line breaks and tabs shown as marks, long values cut
// for the eye, and the whole value in a tooltip when the cell cannot show it.
#pragma once

#include <QStyledItemDelegate>

namespace vostrel::gui {

// The one-line form of a value, at most `limit` characters before the "…".
QString OneLine(const QString& value, int limit = 300);
// The tooltip of a value: whole up to `limit` characters, else its start and
// how long it is.
QString ValueTooltip(const QString& value, int limit = 2000);

class ValueDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QString displayText(const QVariant& value, const QLocale& locale) const override;
  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override;
};

}  // namespace vostrel::gui
