// Pictures drawn by the application itself.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace vostrel::gui {

enum class IconKind { kOpen, kStop, kSave, kHelp, kAbout, kFolder, kKeys, kViews, kTriggers, kPrevious, kNext, kOk, kCancel, kTest };

QIcon DrawIcon(IconKind kind, int size = 32);
QPixmap SplashPixmap();

}  // namespace vostrel::gui
