// Pictures drawn by the application itself.
#pragma once

#include <QIcon>
#include <QPixmap>

#include "scan/recovery_report.h"

class QDialog;
class QDialogButtonBox;

namespace vostrel::gui {

enum class IconKind {
  kOpen,
  kStop,
  kSave,
  kHelp,
  kAbout,
  kFolder,
  kKeys,
  kViews,
  kTriggers,
  kPrevious,
  kNext,
  kOk,
  kCancel,
  kTest,
  kServer,
  kDatabase,
  kTable,
  kView,
  kTrigger,
  kReport,
  kApp
};

QIcon DrawIcon(IconKind kind, int size = 32);
// A table with a badge for what a probe or a save found.
QIcon TableStateIcon(TableState state, int size = 16);
// The application's own icon, at every size a desktop asks for.
QIcon AppIcon();
// OK and Cancel with their pictures and tooltips, wired to accept/reject.
QDialogButtonBox* OkCancelButtons(QDialog* dialog);
QPixmap SplashPixmap();

}  // namespace vostrel::gui
