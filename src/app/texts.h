// Fixed texts of the desktop application.
#pragma once

namespace vostrel::gui {

inline constexpr const char* kAppCaption = "Vostrel MySQL Database Recovery(Full) v22.0";
inline constexpr const char* kSettingsKey = "VostrelMySqlDbRecve22.0";
inline constexpr const char* kLookValue = "ApplicationLook";
inline constexpr int kDefaultLook = 215;
inline constexpr const char* kTempFolderValue = "TempFolder";
inline constexpr const char* kLogFolderValue = "LogFolder";
inline constexpr const char* kGeometryValue = "MainWindowGeometry";
inline constexpr const char* kWindowStateValue = "MainWindowState";
inline constexpr const char* kMaximizedValue = "MainWindowMaximized";
inline constexpr const char* kRibbonCategory = "MySQL Database Recovery";
inline constexpr const char* kAboutDescription =
    "Recovers MySQL and MariaDB databases straight from a server's data files (.frm, MyISAM, "
    "InnoDB .ibd and ibdata1, views and triggers) with no server running, as SQL scripts or "
    "into a live server. The source files are only read, never written.";

inline constexpr const char* kBusy = "Please wait for the running process.";
inline constexpr const char* kBusyHelp = "Please stop the running process to continue the process.";
inline constexpr const char* kBusyClose =
    "Please stop the running process to close the application.";
inline constexpr const char* kAskStop = "Are you sure to stop the running process?";
inline constexpr const char* kAskClose = "Do you want to close the application?";
inline constexpr const char* kLogPath = "Log file path : ";
inline constexpr const char* kAnotherInstance =
    "Another instance of application is already running";
inline constexpr const char* kNothingChecked = "Please select folder to save the database";
inline constexpr const char* kNoMoreRecords = "No more records in table";
inline constexpr const char* kAskBrowseIbdata =
    "Ibdata1File Cannot be opened.Do you want to browse ibdata1 File Manually?";
inline constexpr const char* kStartCaption =
    "Select MySQL database file to continue the recovery process.";
inline constexpr const char* kFirstOutputLine =
    "select database file to continue the recovery process.";

// File settings dialog.
inline constexpr const char* kBadDataPath =
    "Please select valid database file path to continue the recovery process.";
inline constexpr const char* kBadTempPath =
    "Please select valid temporary file path to continue the recovery process.";
inline constexpr const char* kBadLogPath =
    "Please select valid Log file path to continue the recovery process.";
inline constexpr const char* kBadDefinitionsFile =
    "The table definitions file cannot be found; choose a file of CREATE TABLE statements or "
    "leave the entry empty.";

// Save dialog.
inline constexpr const char* kNeedServer = "Please enter Server name.";
inline constexpr const char* kNeedUser = "Please enter user name.";
inline constexpr const char* kNeedPort = "Please enter port number.";
inline constexpr const char* kConnectionFailed = "Connection is Failed";
inline constexpr const char* kConnectionOk = "Connection is successful";
inline constexpr const char* kTestUnsuccessful =
    "Test connection is unsuccessful.Saving in database cannot be done.";
inline constexpr const char* kNeedFolder = "Please select valid destination folder path.";

}  // namespace vostrel::gui
