// The user guide (the README shipped with the application) in a window of its own.
#pragma once

#include <QString>
#include <QStringList>
#include <QTextBrowser>
#include <QWidget>

namespace vostrel::gui {

// Where the guide is looked for, first match wins: the installed doc folder,
// beside the executable, then the source tree.
QStringList UserGuideCandidates(const QString& executable_dir);
// The first candidate that exists, or empty.
QString FindUserGuide(const QString& executable_dir);

class HelpWindow : public QWidget {
  Q_OBJECT
 public:
  explicit HelpWindow(QWidget* parent = nullptr);

  // Shows the guide at `path`; false (and a note in the window) when it cannot be read.
  bool Load(const QString& path, const QStringList& looked_in = {});
  QTextBrowser* browser() const { return browser_; }
  const QString& path() const { return path_; }

 private:
  QTextBrowser* browser_;
  QString path_;
};

}  // namespace vostrel::gui
