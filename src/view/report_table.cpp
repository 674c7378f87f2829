#include "view/report_table.h"

#include <QHeaderView>

#include "app/icons.h"
#include "view/value_delegate.h"

namespace vostrel::gui {

namespace {

constexpr int kSortRole = Qt::UserRole;

// Sorts by its key, not by its text: numbers as numbers, states by severity.
class KeyedItem : public QTableWidgetItem {
 public:
  KeyedItem(const QString& text, qlonglong key) : QTableWidgetItem(text) {
    setData(kSortRole, key);
  }
  bool operator<(const QTableWidgetItem& other) const override {
    const QVariant a = data(kSortRole);
    const QVariant b = other.data(kSortRole);
    if (a.isValid() && b.isValid()) return a.toLongLong() < b.toLongLong();
    return QTableWidgetItem::operator<(other);
  }
};

}  // namespace

ReportTable::ReportTable(QWidget* parent) : QTableWidget(parent) {
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setWordWrap(false);
  setItemDelegate(new ValueDelegate(this));
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
  verticalHeader()->hide();
  QStringList titles;
  for (const char* t : kReportTitles) titles << t;
  setColumnCount(static_cast<int>(titles.size()));
  setHorizontalHeaderLabels(titles);
  horizontalHeader()->setStretchLastSection(true);
  horizontalHeader()->setSortIndicatorShown(true);
}

void ReportTable::Show(const RecoveryReport& report) {
  setSortingEnabled(false);
  clearContents();
  setRowCount(static_cast<int>(report.tables.size()));
  int r = 0;
  for (const TableAccount& t : report.tables) {
    auto text = [](const std::string& s) { return QString::fromStdString(s); };
    setItem(r, 0, new QTableWidgetItem(text(t.database)));
    setItem(r, 1, new QTableWidgetItem(text(t.table)));
    setItem(r, 2, new QTableWidgetItem(text(t.engine)));
    setItem(r, 3, new QTableWidgetItem(text(t.row_format)));
    auto* rows = new KeyedItem(QString::number(t.rows), static_cast<qlonglong>(t.rows));
    rows->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setItem(r, 4, rows);
    auto* expected = t.expected_known ? new KeyedItem(QString::number(t.expected),
                                                      static_cast<qlonglong>(t.expected))
                                      : new KeyedItem("?", -1);
    expected->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setItem(r, 5, expected);
    auto* status = new KeyedItem(TableStateName(t.state), static_cast<qlonglong>(t.state));
    status->setIcon(TableStateIcon(t.state));
    setItem(r, 6, status);
    QString reason = text(t.reason);
    if (t.rejected > 0 && reason.isEmpty()) reason = QString("%1 rows refused").arg(t.rejected);
    setItem(r, 7, new QTableWidgetItem(reason));
    ++r;
  }
  // The save's own order until a header is clicked.
  horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  setSortingEnabled(true);
  resizeColumnsToContents();
  for (int c = 0; c + 1 < columnCount(); ++c) setColumnWidth(c, std::min(columnWidth(c), 260));
}

}  // namespace vostrel::gui
