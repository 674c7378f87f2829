#include "app/recent_folders.h"

#include <QDir>
#include <QSettings>

#include "app/texts.h"

namespace vostrel::gui {

namespace {

constexpr const char* kRecentValue = "RecentDataFolders";

// "/data/" and "/data" are the same folder.
QString Normalized(const QString& folder) {
  return QDir::cleanPath(folder);
}

}  // namespace

QStringList RecentFolders() {
  QSettings settings(kSettingsKey, kSettingsKey);
  QStringList list = settings.value(kRecentValue).toStringList();
  list.removeAll(QString());
  while (list.size() > kRecentFolderCount) list.removeLast();
  return list;
}

QStringList AddRecentFolder(const QString& folder) {
  QStringList list = RecentFolders();
  const QString f = Normalized(folder);
  if (f.isEmpty()) return list;
  list.removeAll(f);
  list.prepend(f);
  while (list.size() > kRecentFolderCount) list.removeLast();
  QSettings settings(kSettingsKey, kSettingsKey);
  settings.setValue(kRecentValue, list);
  return list;
}

}  // namespace vostrel::gui
