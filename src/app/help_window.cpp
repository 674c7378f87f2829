#include "app/help_window.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/icons.h"
#include "app/texts.h"

namespace vostrel::gui {

QStringList UserGuideCandidates(const QString& executable_dir) {
  return {QDir::cleanPath(executable_dir + "/../share/doc/vostrel-recover/README.md"),
          QDir::cleanPath(executable_dir + "/README.md"),
          QDir::cleanPath(QString(VOSTREL_SOURCE_DIR) + "/README.md")};
}

QString FindUserGuide(const QString& executable_dir) {
  for (const QString& candidate : UserGuideCandidates(executable_dir)) {
    if (QFileInfo(candidate).isFile()) return candidate;
  }
  return {};
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QString("Help - ") + kAppCaption);
  setWindowIcon(DrawIcon(IconKind::kHelp, 32));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  browser_ = new QTextBrowser(this);
  browser_->setOpenExternalLinks(false);
  browser_->setOpenLinks(true);
  layout->addWidget(browser_);
  auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(close, &QShortcut::activated, this, &QWidget::close);
  resize(860, 700);
}

bool HelpWindow::Load(const QString& path, const QStringList& looked_in) {
  path_ = path;
  QFile f(path);
  if (path.isEmpty()) {
    browser_->setPlainText("The user guide (README.md) was not found. Looked in:\n" +
                           looked_in.join("\n"));
    return false;
  }
  if (!f.open(QIODevice::ReadOnly)) {
    browser_->setPlainText("The user guide " + path + " cannot be read: " + f.errorString());
    return false;
  }
  browser_->setSearchPaths({QFileInfo(path).absolutePath()});
  browser_->setMarkdown(QString::fromUtf8(f.readAll()));
  return true;
}

}  // namespace vostrel::gui
