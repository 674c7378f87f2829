#include "app/app_setup.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QPalette>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>

#include "app/texts.h"

namespace vostrel::gui {

SingleInstance::SingleInstance(const QString& path) {
  const mode_t old = umask(0);
  fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  umask(old);
  if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

SingleInstance::~SingleInstance() {
  if (fd_ >= 0) ::close(fd_);
}

QString DefaultLockPath() { return "/tmp/vostrel-recover-gui.lock"; }

int NormalizeLook(int look) { return look >= 210 && look <= 218 ? look : kDefaultLook; }

int StoredLook() {
  QSettings settings(kSettingsKey, kSettingsKey);
  return NormalizeLook(settings.value(kLookValue, kDefaultLook).toInt());
}

void ApplyLook(QApplication& app, int look) {
  look = NormalizeLook(look);
  app.setStyle(QStyleFactory::create(look == 210 ? "Windows" : "Fusion"));
  QPalette p = app.style()->standardPalette();
  auto tint = [&p](QColor window, QColor base, QColor text, QColor highlight) {
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Highlight, highlight);
  };
  switch (look) {
    case 215:  // blue
      tint(QColor(214, 228, 245), Qt::white, Qt::black, QColor(51, 102, 187));
      break;
    case 216:  // black
      tint(QColor(53, 53, 53), QColor(35, 35, 35), Qt::white, QColor(42, 130, 218));
      break;
    case 217:  // silver
      tint(QColor(225, 228, 232), Qt::white, Qt::black, QColor(110, 120, 135));
      break;
    case 218:  // aqua
      tint(QColor(210, 236, 240), Qt::white, Qt::black, QColor(20, 140, 160));
      break;
    default:
      break;
  }
  app.setPalette(p);
  QSettings settings(kSettingsKey, kSettingsKey);
  settings.setValue(kLookValue, look);
}

}  // namespace vostrel::gui
