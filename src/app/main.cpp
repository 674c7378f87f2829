// vostrel-recover-gui: the desktop application.
#include <QApplication>
#include <QDir>
#include <QSplashScreen>
#include <QTimer>
#include <cstdio>

#include "app/app_setup.h"
#include "app/icons.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/texts.h"

int main(int argc, char** argv) {
  using namespace vostrel;
  using namespace vostrel::gui;
  QApplication app(argc, argv);
  app.setApplicationName(kAppCaption);
  app.setWindowIcon(AppIcon());
  // For scripted runs (screenshots): --open DATADIR [--show DB.TABLE]; message
  // boxes then go to stderr instead of waiting for a click.
  QString open_dir, show_table;
  const QStringList args = app.arguments();
  for (int i = 1; i + 1 < args.size(); ++i) {
    if (args[i] == "--open") open_dir = args[i + 1];
    if (args[i] == "--show") show_table = args[i + 1];
  }
  if (!open_dir.isEmpty()) {
    CurrentMessageHandler() = [](QWidget*, MessageIcon, Buttons buttons, const QString& text) {
      std::fprintf(stderr, "message: %s\n", text.toLocal8Bit().constData());
      return buttons == Buttons::kOk ? Answer::kOk : Answer::kNo;
    };
  }
  SingleInstance instance(DefaultLockPath());
  if (!instance.acquired()) {
    Inform(nullptr, kAnotherInstance);
    return 1;
  }
  ApplyLook(app, StoredLook());
  const CodePage code_page;
  const CollationTable collations = CollationTable::Load(DefaultCollationCandidates(), code_page);

  QSplashScreen splash(SplashPixmap(), Qt::WindowStaysOnTopHint);
  splash.show();
  MainWindow window(collations, code_page);
  window.show();   // maximized the first time, else as it was left
  splash.raise();  // over the window even where no window manager keeps it on top
  QTimer::singleShot(2000, &splash, &QWidget::close);
  if (!open_dir.isEmpty()) {
    QTimer::singleShot(2200, &window, [&window, open_dir, show_table] {
      window.StartScan(open_dir, QDir::tempPath(), QDir::tempPath());
      window.WaitIdle(60000);
      const QStringList parts = show_table.split('.');
      if (parts.size() != 2) return;
      QTreeWidgetItem* path = window.tree()->topLevelItem(0)->child(0);
      QTreeWidgetItem* item = window.tree()->FindByPath(
          {"MYSQL database", path->text(0), parts[0], "Tables", parts[1]});
      if (item == nullptr) return;
      window.tree()->setCurrentItem(item);
      item->parent()->parent()->setExpanded(true);
      item->parent()->setExpanded(true);
      window.ShowTreeSelection(item);
    });
  }
  return app.exec();
}
