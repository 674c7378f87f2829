#include "view/value_detail.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPushButton>
#include <QVBoxLayout>

namespace vostrel::gui {

ValueDetail::ValueDetail(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Value");
  auto* layout = new QVBoxLayout(this);
  where_ = new QLabel(this);
  where_->setTextFormat(Qt::PlainText);
  where_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(where_);
  value_ = new QPlainTextEdit(this);
  value_->setReadOnly(true);
  value_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  layout->addWidget(value_, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(640, 420);
}

void ValueDetail::hideEvent(QHideEvent* event) {
  // Back to the records, also where no window manager hands the focus back.
  if (parentWidget() != nullptr) parentWidget()->window()->activateWindow();
  QDialog::hideEvent(event);
}

void ValueDetail::ShowValue(const QString& where, const QString& value) {
  where_->setText(where + QString(": %1 characters").arg(value.size()));
  value_->setPlainText(value);
  show();
  raise();
  activateWindow();
}

}  // namespace vostrel::gui
