// "About": the application's name and version, what it does, and OK.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace vostrel::gui {

class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  explicit AboutDialog(QWidget* parent = nullptr);

  QLabel* caption() const { return caption_; }
  QLabel* description() const { return description_; }
  QPushButton* ok() const { return ok_; }

 private:
  QLabel* caption_;
  QLabel* description_;
  QPushButton* ok_;
};

}  // namespace vostrel::gui
