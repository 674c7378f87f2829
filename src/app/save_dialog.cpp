#include "app/save_dialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QCheckBox>
#include <QVBoxLayout>

#include "app/icons.h"
#include "app/message_box.h"
#include "app/texts.h"

namespace vostrel::gui {

SaveDialog::SaveDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Save Database");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Choose the saving mode and click OK button to continue the process", this));
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
  layout->addLayout(form);
  test_ = new QPushButton(DrawIcon(IconKind::kTest, 16), "Test Connection", this);
  test_->setToolTip("Test connection");
  layout->addWidget(test_);
  script_ = new QRadioButton("Save as Script", this);
  layout->addWidget(script_);
  auto* folder_row = new QHBoxLayout;
  folder_row->addWidget(new QLabel("Saving Folder:", this));
  folder_ = new QLineEdit(this);
  folder_->setReadOnly(true);
  browse_ = new QPushButton("...", this);
  folder_row->addWidget(folder_);
  folder_row->addWidget(browse_);
  layout->addLayout(folder_row);
  reduced_ = new QCheckBox("Reduced table definitions (columns and primary/unique keys only)", this);
  layout->addWidget(reduced_);
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

void SaveDialog::SetMode(bool database) {
  database_->setChecked(database);
  script_->setChecked(!database);
  for (QWidget* w : {static_cast<QWidget*>(server_), static_cast<QWidget*>(port_),
                     static_cast<QWidget*>(user_), static_cast<QWidget*>(password_),
                     static_cast<QWidget*>(test_)}) {
    w->setEnabled(database);
  }
  folder_->setEnabled(!database);
  browse_->setEnabled(!database);
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
