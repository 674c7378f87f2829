#include "view/records_view.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "app/icons.h"
#include "scan/table_preview.h"
#include "view/plain_tooltip.h"
#include "view/value_delegate.h"

namespace vostrel::gui {

namespace {

constexpr int kMinColumn = 48;
constexpr int kMaxColumn = 360;

}  // namespace

RecordsView::RecordsView(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  grid_ = new QTableWidget(this);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setShowGrid(true);
  grid_->setWordWrap(false);
  grid_->setItemDelegate(new ValueDelegate(grid_));
  grid_->setAlternatingRowColors(true);
  grid_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  QFont bold = grid_->horizontalHeader()->font();
  bold.setBold(true);
  grid_->horizontalHeader()->setFont(bold);
  grid_->horizontalHeader()->setDefaultSectionSize(160);
  grid_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // One line per row, whatever a value holds.
  grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 8);
  grid_->verticalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
  text_ = new QTextEdit(this);
  text_->setReadOnly(true);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  text_->hide();
  report_ = new ReportTable(this);
  report_->hide();
  layout->addWidget(grid_, 1);
  layout->addWidget(text_, 1);
  layout->addWidget(report_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  previous_ = new QPushButton(DrawIcon(IconKind::kPrevious, 16), QString(), this);
  previous_->setToolTip("Previous Records");
  next_ = new QPushButton(DrawIcon(IconKind::kNext, 16), QString(), this);
  next_->setToolTip("Next Records");
  previous_->setFixedSize(50, 25);
  next_->setFixedSize(50, 25);
  previous_->hide();
  next_->hide();
  buttons->addWidget(previous_);
  buttons->addWidget(next_);
  layout->addLayout(buttons);
  connect(previous_, &QPushButton::clicked, this, &RecordsView::PreviousClicked);
  connect(next_, &QPushButton::clicked, this, &RecordsView::NextClicked);
  connect(grid_, &QTableWidget::cellDoubleClicked, this, &RecordsView::ShowDetail);
  grid_->installEventFilter(this);
}

bool RecordsView::eventFilter(QObject* watched, QEvent* event) {
  // Enter opens the current cell, as a double-click does.
  if (watched == grid_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && grid_->currentItem() != nullptr) {
      ShowDetail(grid_->currentRow(), grid_->currentColumn());
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void RecordsView::ClearAll() {
  grid_->clear();
  grid_->setRowCount(0);
  grid_->setColumnCount(0);
  text_->clear();
}

void RecordsView::SetColumns(const QStringList& titles) {
  grid_->setColumnCount(static_cast<int>(titles.size()));
  grid_->setHorizontalHeaderLabels(titles);
  for (int c = 0; c < grid_->columnCount(); ++c) {
    grid_->horizontalHeaderItem(c)->setToolTip(PlainTooltip(titles[c]));
  }
}

void RecordsView::SetRows(const std::vector<QStringList>& rows, uint64_t first_number) {
  grid_->setUpdatesEnabled(false);
  grid_->setRowCount(0);
  grid_->setRowCount(static_cast<int>(rows.size()));
  QStringList numbers;
  numbers.reserve(static_cast<qsizetype>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    numbers << QString::number(first_number + static_cast<uint64_t>(r));
    for (int c = 0; c < rows[static_cast<size_t>(r)].size() && c < grid_->columnCount(); ++c) {
      grid_->setItem(r, c, new QTableWidgetItem(rows[static_cast<size_t>(r)][c]));
    }
  }
  grid_->setVerticalHeaderLabels(numbers);
  grid_->setUpdatesEnabled(true);
}

void RecordsView::FitColumns() {
  QHeaderView* h = grid_->horizontalHeader();
  h->setResizeContentsPrecision(static_cast<int>(kScreenRows));  // the whole first screen
  grid_->resizeColumnsToContents();
  // A little room for the wider values of later screens ("event 1000" after "event 999").
  const int slack = grid_->fontMetrics().horizontalAdvance("00");
  for (int c = 0; c < grid_->columnCount(); ++c) {
    grid_->setColumnWidth(c, std::clamp(grid_->columnWidth(c) + slack, kMinColumn, kMaxColumn));
  }
}

void RecordsView::ShowText(const QString& text) {
  grid_->hide();
  report_->hide();
  text_->show();
  text_->setPlainText(text);
}

void RecordsView::ShowGrid() {
  text_->hide();
  report_->hide();
  grid_->show();
}

void RecordsView::ShowReport(const RecoveryReport& report) {
  grid_->hide();
  text_->hide();
  previous_->hide();
  next_->hide();
  report_->Show(report);
  report_->show();
}

void RecordsView::ShowDetail(int row, int column) {
  const QTableWidgetItem* item = grid_->item(row, column);
  if (item == nullptr) return;
  if (detail_ == nullptr) detail_ = new ValueDetail(this);
  const QTableWidgetItem* title = grid_->horizontalHeaderItem(column);
  const QTableWidgetItem* number = grid_->verticalHeaderItem(row);
  detail_->ShowValue((title ? title->text() : QString::number(column + 1)) + ", row " +
                         (number ? number->text() : QString::number(row + 1)),
                     item->text());
}

}  // namespace vostrel::gui
