// The recovery report as a sortable table: one row per saved table.
#pragma once

#include <QTableWidget>

#include "scan/recovery_report.h"

namespace vostrel::gui {

inline constexpr const char* kReportTitles[] = {"Database",   "Table",          "Engine",
                                                "Row format", "Rows recovered", "Rows in files",
                                                "Status",     "Reason"};

class ReportTable : public QTableWidget {
  Q_OBJECT
 public:
  explicit ReportTable(QWidget* parent = nullptr);
  void Show(const RecoveryReport& report);
};

}  // namespace vostrel::gui
