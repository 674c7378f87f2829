#include "app/ribbon.h"

#include <QAction>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace vostrel::gui {

RibbonPanel::RibbonPanel(const QString& title, QWidget* parent) : QFrame(parent) {
  setObjectName(title);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 2, 4, 1);
  layout->setSpacing(0);
  row_ = new QHBoxLayout;
  row_->setSpacing(2);
  layout->addLayout(row_, 1);
  title_ = new QLabel(title, this);
  title_->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
  QFont f = title_->font();
  f.setPointSizeF(f.pointSizeF() * 0.9);
  title_->setFont(f);
  // The caption reads as a caption, not as a button: mid-way to the background.
  QPalette p = title_->palette();
  const QColor text = p.color(QPalette::WindowText);
  const QColor back = p.color(QPalette::Window);
  p.setColor(QPalette::WindowText,
             QColor((text.red() * 2 + back.red()) / 3, (text.green() * 2 + back.green()) / 3,
                    (text.blue() * 2 + back.blue()) / 3));
  title_->setPalette(p);
  layout->addWidget(title_);
}

QToolButton* RibbonPanel::AddButton(QAction* action) {
  auto* b = new QToolButton(this);
  b->setDefaultAction(action);
  b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  b->setIconSize(QSize(32, 32));
  b->setAutoRaise(true);
  b->setMinimumWidth(56);
  b->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
  row_->addWidget(b);
  buttons_.push_back(b);
  return b;
}

Ribbon::Ribbon(const QString& category, QWidget* parent) : QWidget(parent) {
  setObjectName(category);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 2, 0, 0);
  layout->setSpacing(0);
  tabs_ = new QTabBar(this);
  tabs_->addTab(category);
  tabs_->setDrawBase(false);
  tabs_->setExpanding(false);
  auto* tab_row = new QHBoxLayout;
  tab_row->setContentsMargins(6, 0, 0, 0);
  tab_row->addWidget(tabs_);
  tab_row->addStretch();
  layout->addLayout(tab_row);
  auto* area = new QFrame(this);
  area->setFrameShape(QFrame::StyledPanel);
  area->setAutoFillBackground(true);
  QPalette p = area->palette();
  p.setColor(QPalette::Window, p.color(QPalette::Window).lighter(106));
  area->setPalette(p);
  panel_row_ = new QHBoxLayout(area);
  panel_row_->setContentsMargins(2, 2, 2, 2);
  panel_row_->setSpacing(0);
  panel_row_->addStretch();
  layout->addWidget(area);
}

RibbonPanel* Ribbon::AddPanel(const QString& title) {
  auto* parent = panel_row_->parentWidget();
  if (!panels_.empty()) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    panel_row_->insertWidget(panel_row_->count() - 1, line);
  }
  auto* panel = new RibbonPanel(title, parent);
  panel_row_->insertWidget(panel_row_->count() - 1, panel);
  panels_.push_back(panel);
  return panel;
}

}  // namespace vostrel::gui
