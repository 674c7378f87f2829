#include "app/save_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/icons.h"
#include "app/message_box.h"
#include "app/texts.h"

namespace vostrel::gui {

SaveDialog::SaveDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Save Database");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(
      new QLabel("Choose the saving mode and click OK button to continue the process", this));
  // Each mode's fields sit under its button, indented, and are off while the
  // other mode is chosen.
  auto indented = [layout](QLayout* inner) {
    auto* row = new QHBoxLayout;
    row->addSpacing(22);
    row->addLayout(inner, 1);
    layout->addLayout(row);
  };
  database_ = new QRadioButton("Save in database", this);
  layout->addWidget(database_);
  auto* form = new QFormLayout;
  server_ = new QLineEdit("localhost", this);
  port_ = new QLineEdit("3306", this);
  user_ = new QLineEdit("root", this);
  password_ = new QLineEdit(this);
  password_->setEchoMode(QLineEdit::Password);
  form->addRow("Server:", server_);
  form->addRow("Port:", port_);
  form->addRow("User:", user_);
  form->addRow("Password:", password_);
  for (QWidget* field : {server_, port_, user_, password_})
    database_labels_.push_back(form->labelForField(field));
  test_ = new QPushButton(DrawIcon(IconKind::kTest, 16), "Test Connection", this);
  test_->setToolTip("Test connection");
  auto* test_row = new QHBoxLayout;
  test_row->addStretch();
  test_row->addWidget(test_);
  form->addRow(test_row);
  indented(form);
  layout->addSpacing(6);
  script_ = new QRadioButton("Save as Script", this);
  layout->addWidget(script_);
  auto* folder_row = new QHBoxLayout;
  folder_label_ = new QLabel("Saving Folder:", this);
  folder_row->addWidget(folder_label_);
  folder_ = new QLineEdit(this);
  folder_->setReadOnly(true);
  folder_->setMinimumWidth(280);
  browse_ = new QPushButton("...", this);
  browse_->setToolTip("Please choose a folder.");
  folder_row->addWidget(folder_);
  folder_row->addWidget(browse_);
  indented(folder_row);
  // What a save can be asked to do besides; shown once it holds a choice.
  options_ = new QGroupBox("Options", this);
  options_layout_ = new QVBoxLayout(options_);
  options_->hide();
  layout->addWidget(options_);
  layout->addStretch();
  reduced_ = new QCheckBox("Reduced table definitions (columns and primary/unique keys only)");
  AddOption(reduced_);
  extended_ = new QCheckBox("Multi-row INSERT statements (scripts load faster)");
  extended_->setToolTip(
      "Each statement holds many rows, up to about 1 MB, which the mariadb "
      "and mysql clients load without special options");
  AddOption(extended_);
  // Multi-row statements belong to scripts of the full form.
  connect(reduced_, &QCheckBox::toggled, this, [this] { SetMode(database_->isChecked()); });
  deleted_ = new QCheckBox("Recover deleted rows (InnoDB), apart from the live rows");
  deleted_->setToolTip(
      "Rows deleted but still in the files go to <db>_deleted.sql (database "
      "rep_<db>_deleted), each with the page and offset it was found at; only rows whose "
      "every value is valid are written. Live rows are saved as without this.");
  AddOption(deleted_);
  layout->addWidget(OkCancelButtons(this));
  connect(database_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) SetMode(true);
  });
  connect(script_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) SetMode(false);
  });
  connect(test_, &QPushButton::clicked, this, [this] { TestConnectionNow(); });
  connect(browse_, &QPushButton::clicked, this, [this] {
    // A cancelled browser leaves no folder.
    folder_->setText(QFileDialog::getExistingDirectory(this, "Please choose a folder."));
  });
  database_->setChecked(true);
  SetMode(true);
}

void SaveDialog::AddOption(QWidget* option) {
  option->setParent(options_);
  options_layout_->addWidget(option);
  options_->show();
}

void SaveDialog::SetMode(bool database) {
  database_->setChecked(database);
  script_->setChecked(!database);
  for (QWidget* w :
       {static_cast<QWidget*>(server_), static_cast<QWidget*>(port_), static_cast<QWidget*>(user_),
        static_cast<QWidget*>(password_), static_cast<QWidget*>(test_)}) {
    w->setEnabled(database);
  }
  for (QWidget* label : database_labels_) label->setEnabled(database);
  folder_label_->setEnabled(!database);
  folder_->setEnabled(!database);
  browse_->setEnabled(!database);
  extended_->setEnabled(!database && !reduced_->isChecked());
}

bool SaveDialog::TestConnectionNow() {
  if (server_->text().isEmpty()) {
    Inform(this, kNeedServer);
    return false;
  }
  if (user_->text().isEmpty()) {
    Inform(this, kNeedUser);
    return false;
  }
  if (port_->text().isEmpty()) {
    Inform(this, kNeedPort);
    return false;
  }
  ServerParams p;
  p.host = server_->text().toStdString();
  p.port = port_->text().toStdString();
  p.user = user_->text().toStdString();
  p.password = password_->text().toStdString();
  tested_ = TestConnection(p, nullptr);
  Inform(this, tested_ ? kConnectionOk : kConnectionFailed);
  if (tested_) choice_.server = p;
  return tested_;
}

void SaveDialog::accept() {
  choice_.reduced_definitions = reduced_->isChecked();
  choice_.extended_insert = extended_->isEnabled() && extended_->isChecked();
  choice_.deleted_rows = deleted_->isChecked();
  if (database_->isChecked()) {
    choice_.as_script = false;
    if (!tested_) {
      if (!TestConnectionNow()) Inform(this, kTestUnsuccessful);
      return;  // a second OK closes the dialog once the test passed
    }
    choice_.to_database = true;
    QDialog::accept();
    return;
  }
  choice_.as_script = true;
  choice_.to_database = false;
  if (folder_->text().isEmpty()) {
    Inform(this, kNeedFolder);
    return;
  }
  choice_.folder = folder_->text();
  QDialog::accept();
}

}  // namespace vostrel::gui
