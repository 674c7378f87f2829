#include "view/records_view.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "app/icons.h"

namespace vostrel::gui {

RecordsView::RecordsView(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  grid_ = new QTableWidget(this);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setShowGrid(true);
  QFont bold("Arial");
  bold.setBold(true);
  grid_->horizontalHeader()->setFont(bold);
  grid_->horizontalHeader()->setDefaultSectionSize(200);
  text_ = new QTextEdit(this);
  text_->setReadOnly(true);
  text_->setFont(QFont("Arial"));
  text_->hide();
  layout->addWidget(grid_, 1);
  layout->addWidget(text_, 1);
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
}

void RecordsView::SetRows(const std::vector<QStringList>& rows) {
  grid_->setRowCount(0);
  grid_->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    for (int c = 0; c < rows[static_cast<size_t>(r)].size() && c < grid_->columnCount(); ++c) {
      grid_->setItem(r, c, new QTableWidgetItem(rows[static_cast<size_t>(r)][c]));
    }
  }
}

void RecordsView::ShowText(const QString& text) {
  grid_->hide();
  text_->show();
  text_->setPlainText(text);
}

void RecordsView::ShowGrid() {
  text_->hide();
  grid_->show();
}

}  // namespace vostrel::gui
