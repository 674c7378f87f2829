// The records view: a grid of rows or keys, a definition text, or the
// recovery report, with the previous and next buttons.
#pragma once

#include <QPushButton>
#include <QTableWidget>
#include <QTextEdit>
#include <QWidget>

#include "scan/recovery_report.h"
#include "view/report_table.h"
#include "view/value_detail.h"

namespace vostrel::gui {

class RecordsView : public QWidget {
  Q_OBJECT
 public:
  explicit RecordsView(QWidget* parent = nullptr);

  QTableWidget* grid() const { return grid_; }
  QTextEdit* text() const { return text_; }
  ReportTable* report() const { return report_; }
  QPushButton* previous() const { return previous_; }
  QPushButton* next() const { return next_; }
  // The detail window of the last double-clicked cell (null before the first).
  ValueDetail* detail() const { return detail_; }

  void ClearAll();
  void SetColumns(const QStringList& titles);
  // Rows numbered from `first_number` on, as the screens count them.
  void SetRows(const std::vector<QStringList>& rows, uint64_t first_number = 1);
  // Column widths from what the grid holds now (the first screen), within bounds.
  void FitColumns();
  void ShowText(const QString& text);
  void ShowGrid();
  void ShowReport(const RecoveryReport& report);
  // Opens the detail window on cell (row, column) of the grid.
  void ShowDetail(int row, int column);

 signals:
  void PreviousClicked();
  void NextClicked();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTableWidget* grid_;
  QTextEdit* text_;
  ReportTable* report_;
  QPushButton* previous_;
  QPushButton* next_;
  ValueDetail* detail_ = nullptr;
};

}  // namespace vostrel::gui
