// The last data folders opened, newest first, kept in the settings.
#pragma once

#include <QStringList>

namespace vostrel::gui {

inline constexpr int kRecentFolderCount = 4;

QStringList RecentFolders();
// Puts `folder` first (once), keeps kRecentFolderCount, stores and returns the list.
QStringList AddRecentFolder(const QString& folder);

}  // namespace vostrel::gui
