// vostrel-recover-gui: the desktop application.
#include <QApplication>
#include <QSplashScreen>
#include <QTimer>

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
  window.setWindowIcon(DrawIcon(IconKind::kSave, 32));
  QTimer::singleShot(2000, &splash, &QWidget::close);
  window.showMaximized();
  return app.exec();
}
