#include "app/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/icons.h"
#include "app/texts.h"

namespace vostrel::gui {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About");
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* picture = new QLabel(this);
  picture->setPixmap(AppIcon().pixmap(64, 64));
  picture->setAlignment(Qt::AlignTop);
  top->addWidget(picture);
  auto* texts = new QVBoxLayout;
  caption_ = new QLabel(kAppCaption, this);
  QFont f = caption_->font();
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() * 1.2);
  caption_->setFont(f);
  texts->addWidget(caption_);
  description_ = new QLabel(kAboutDescription, this);
  description_->setWordWrap(true);
  description_->setMinimumWidth(360);
  texts->addWidget(description_);
  texts->addStretch();
  top->addLayout(texts, 1);
  layout->addLayout(top);
  auto* buttons = new QDialogButtonBox(this);
  ok_ = buttons->addButton(QDialogButtonBox::Ok);
  ok_->setIcon(DrawIcon(IconKind::kOk, 16));
  ok_->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
  setFixedSize(sizeHint());
}

}  // namespace vostrel::gui
