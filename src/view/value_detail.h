// The whole of one value, opened by a double-click on its cell.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>

namespace vostrel::gui {

class ValueDetail : public QDialog {
  Q_OBJECT
 public:
  explicit ValueDetail(QWidget* parent = nullptr);

  // `where` names the cell (column and row); `value` is shown as it is.
  void ShowValue(const QString& where, const QString& value);
  QLabel* where() const { return where_; }
  QPlainTextEdit* value() const { return value_; }

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  QLabel* where_;
  QPlainTextEdit* value_;
};

}  // namespace vostrel::gui
