// Start-up pieces: the single-instance lock and the visual style.
#pragma once

#include <QApplication>
#include <QPalette>
#include <QString>

namespace vostrel::gui {

// Holds a lock file that every user's copy shares; false when another copy holds it.
class SingleInstance {
 public:
  explicit SingleInstance(const QString& path);
  ~SingleInstance();
  bool acquired() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

QString DefaultLockPath();

// Looks 210..218 of the settings; anything else is 215.
int NormalizeLook(int look);
void ApplyLook(QApplication& app, int look);
// Gives the disabled group colours of its own, derived from the active ones.
void SetDisabledColours(QPalette& palette);
int StoredLook();

}  // namespace vostrel::gui
