// The ribbon above the window: one category tab over labelled panels of
// large buttons.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QTabBar>
#include <QToolButton>
#include <vector>

class QAction;
class QHBoxLayout;

namespace vostrel::gui {

class RibbonPanel : public QFrame {
  Q_OBJECT
 public:
  RibbonPanel(const QString& title, QWidget* parent);

  // A large button that runs `action` and follows its enabled state.
  QToolButton* AddButton(QAction* action);
  QString title() const { return title_->text(); }
  const std::vector<QToolButton*>& buttons() const { return buttons_; }

 private:
  QHBoxLayout* row_;
  QLabel* title_;
  std::vector<QToolButton*> buttons_;
};

class Ribbon : public QWidget {
  Q_OBJECT
 public:
  Ribbon(const QString& category, QWidget* parent);

  RibbonPanel* AddPanel(const QString& title);
  QString category() const { return tabs_->tabText(0); }
  const std::vector<RibbonPanel*>& panels() const { return panels_; }

 private:
  QTabBar* tabs_;
  QHBoxLayout* panel_row_;
  std::vector<RibbonPanel*> panels_;
};

}  // namespace vostrel::gui
