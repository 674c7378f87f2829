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

QString DefaultLockPath() {
  return "/tmp/vostrel-recover-gui.lock";
}

int NormalizeLook(int look) {
  return look >= 210 && look <= 218 ? look : kDefaultLook;
}

int StoredLook() {
  QSettings settings(kSettingsKey, kSettingsKey);
  return NormalizeLook(settings.value(kLookValue, kDefaultLook).toInt());
}

namespace {

QColor Mix(const QColor& a, const QColor& b, double share_of_b) {
  auto mix = [share_of_b](int x, int y) {
    return static_cast<int>(x + (y - x) * share_of_b + 0.5);
  };
  return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

}  // namespace

void SetDisabledColours(QPalette& p) {
  const QColor window = p.color(QPalette::Active, QPalette::Window);
  const QColor base = p.color(QPalette::Active, QPalette::Base);
  const QColor text = p.color(QPalette::Active, QPalette::Text);
  const QColor window_text = p.color(QPalette::Active, QPalette::WindowText);
  // Text halfway to its background reads as "not now" on every look.
  p.setColor(QPalette::Disabled, QPalette::WindowText, Mix(window_text, window, 0.55));
  p.setColor(QPalette::Disabled, QPalette::ButtonText, Mix(window_text, window, 0.55));
  p.setColor(QPalette::Disabled, QPalette::Text, Mix(text, base, 0.55));
  p.setColor(QPalette::Disabled, QPalette::Base, Mix(base, window, 0.6));
  p.setColor(QPalette::Disabled, QPalette::Button, window);
  p.setColor(QPalette::Disabled, QPalette::Window, window);
  p.setColor(QPalette::Disabled, QPalette::Highlight,
             Mix(p.color(QPalette::Active, QPalette::Highlight), window, 0.6));
  p.setColor(QPalette::Disabled, QPalette::HighlightedText, Mix(base, window, 0.3));
  p.setColor(QPalette::Disabled, QPalette::Light, window.lighter(110));
}

void ApplyLook(QApplication& app, int look) {
  look = NormalizeLook(look);
  app.setStyle(QStyleFactory::create(look == 210 ? "Windows" : "Fusion"));
  QPalette p = app.style()->standardPalette();
  // Only the active and inactive groups take the look's colours; the disabled
  // group is derived from them afterwards.
  auto set = [&p](QPalette::ColorRole role, QColor c) {
    p.setColor(QPalette::Active, role, c);
    p.setColor(QPalette::Inactive, role, c);
  };
  auto tint = [&set](QColor window, QColor base, QColor text, QColor highlight) {
    set(QPalette::Window, window);
    set(QPalette::Button, window);
    set(QPalette::Base, base);
    set(QPalette::AlternateBase, base == Qt::white ? window.lighter(108) : base.lighter(115));
    set(QPalette::WindowText, text);
    set(QPalette::ButtonText, text);
    set(QPalette::Text, text);
    set(QPalette::ToolTipText, Qt::black);
    set(QPalette::Highlight, highlight);
    set(QPalette::HighlightedText, Qt::white);
  };
  switch (look) {
    case 215:  // blue
      tint(QColor(214, 228, 245), Qt::white, Qt::black, QColor(51, 102, 187));
      break;
    case 216:  // black
      tint(QColor(53, 53, 53), QColor(35, 35, 35), Qt::white, QColor(42, 130, 218));
      set(QPalette::Link, QColor(120, 180, 255));
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
  SetDisabledColours(p);
  app.setPalette(p);
  QSettings settings(kSettingsKey, kSettingsKey);
  settings.setValue(kLookValue, look);
}

}  // namespace vostrel::gui
