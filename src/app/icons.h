// Pictures drawn by the application itself.
#pragma once

#include <QIcon>
#include <QPixmap>

class QDialog;
class QDialogButtonBox;

namespace vostrel::gui {

enum class IconKind { kOpen, kStop, kSave, kHelp, kAbout, kFolder, kKeys, kViews, kTriggers, kPrevious, kNext, kOk, kCancel, kTest };

QIcon DrawIcon(IconKind kind, int size = 32);
// OK and Cancel with their pictures and tooltips, wired to accept/reject.
QDialogButtonBox* OkCancelButtons(QDialog* dialog);
QPixmap SplashPixmap();

}  // namespace vostrel::gui
