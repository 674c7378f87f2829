// The records view: a grid of rows or keys, or a definition text, with the
// previous and next buttons.
#pragma once

#include <QPushButton>
#include <QTableWidget>
#include <QTextEdit>
#include <QWidget>

namespace vostrel::gui {

class RecordsView : public QWidget {
  Q_OBJECT
 public:
  explicit RecordsView(QWidget* parent = nullptr);

  QTableWidget* grid() const { return grid_; }
  QTextEdit* text() const { return text_; }
  QPushButton* previous() const { return previous_; }
  QPushButton* next() const { return next_; }

  void ClearAll();
  void SetColumns(const QStringList& titles);
  void SetRows(const std::vector<QStringList>& rows);
  void ShowText(const QString& text);
  void ShowGrid();

 signals:
  void PreviousClicked();
  void NextClicked();

 private:
  QTableWidget* grid_;
  QTextEdit* text_;
  QPushButton* previous_;
  QPushButton* next_;
};

}  // namespace vostrel::gui
