// "Save Database": scripts into a folder, or straight into a live server.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <vector>

#include "sql/server_connection.h"

namespace vostrel::gui {

struct SaveChoice {
  bool as_script = false;
  bool to_database = false;
  QString folder;
  ServerParams server;
  bool reduced_definitions = false;  // tables without defaults, secondary keys, options
  bool extended_insert = false;      // scripts with multi-row INSERTs
  bool deleted_rows = false;         // deleted rows too, apart from the live ones
};

class SaveDialog : public QDialog {
  Q_OBJECT
 public:
  explicit SaveDialog(QWidget* parent = nullptr);

  QRadioButton* database_mode() const { return database_; }
  QRadioButton* script_mode() const { return script_; }
  QLineEdit* server() const { return server_; }
  QLineEdit* port() const { return port_; }
  QLineEdit* user() const { return user_; }
  QLineEdit* password() const { return password_; }
  QLineEdit* folder() const { return folder_; }
  QCheckBox* reduced_definitions() const { return reduced_; }
  QCheckBox* extended_insert() const { return extended_; }
  QCheckBox* deleted_rows() const { return deleted_; }
  QGroupBox* options() const { return options_; }
  bool tested() const { return tested_; }
  const SaveChoice& choice() const { return choice_; }

  // The connection test; returns whether it succeeded and tells the user.
  bool TestConnectionNow();
  // Puts a choice (a check box) into the "Options" group, which shows from then on.
  void AddOption(QWidget* option);

 public slots:
  void accept() override;

 private:
  void SetMode(bool database);

  QRadioButton* database_;
  QRadioButton* script_;
  QLineEdit* server_;
  QLineEdit* port_;
  QLineEdit* user_;
  QLineEdit* password_;
  QPushButton* test_;
  QLineEdit* folder_;
  QPushButton* browse_;
  QCheckBox* reduced_;
  QCheckBox* extended_;
  QCheckBox* deleted_;
  std::vector<QWidget*> database_labels_;
  QLabel* folder_label_;
  QGroupBox* options_;
  QVBoxLayout* options_layout_;
  bool tested_ = false;
  SaveChoice choice_;
};

}  // namespace vostrel::gui
