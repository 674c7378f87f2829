// "Select Database File": the data path, a temporary folder and the log
// folder, and a file of CREATE TABLE statements for tables without a usable .frm.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>

namespace vostrel::gui {

class FileSettingsDialog : public QDialog {
  Q_OBJECT
 public:
  // `data_path` fills the first entry (a recent or dropped folder).
  explicit FileSettingsDialog(QWidget* parent = nullptr, const QString& data_path = {});

  QLineEdit* data_path() const { return data_; }
  QLineEdit* temp_path() const { return temp_; }
  QLineEdit* log_path() const { return log_; }
  // Optional: CREATE TABLE statements, and whether they win over readable .frm files.
  QLineEdit* definitions_path() const { return definitions_; }
  QCheckBox* prefer_definitions() const { return prefer_; }
  // The first message the entries fail with, or empty when they are fine.
  QString Validate() const;
  // After OK: the three folders, each ending with '/'.
  QString database_folder() const { return WithSlash(data_->text()); }
  QString temp_folder() const { return WithSlash(temp_->text()); }
  QString log_folder() const { return WithSlash(log_->text()); }

  static QString WithSlash(const QString& path);
  static QString DefaultLogFolder();

 public slots:
  void accept() override;

 private:
  void Browse(QLineEdit* edit, const QString& title, bool trim_and_check);

  QLineEdit* data_;
  QLineEdit* temp_;
  QLineEdit* log_;
  QLineEdit* definitions_;
  QCheckBox* prefer_;
};

}  // namespace vostrel::gui
