#include "app/file_settings_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "app/icons.h"
#include "app/message_box.h"
#include "app/texts.h"

namespace vostrel::gui {

FileSettingsDialog::FileSettingsDialog(QWidget* parent, const QString& data_path)
    : QDialog(parent) {
  setWindowTitle("Select Database File");
  auto* layout = new QVBoxLayout(this);
  auto row = [this, layout](const QString& title, QLineEdit*& edit, const QString& browse_title,
                            bool trim) {
    auto* box = new QGroupBox(title, this);
    auto* h = new QHBoxLayout(box);
    edit = new QLineEdit(box);
    auto* button = new QPushButton("...", box);
    h->addWidget(edit);
    h->addWidget(button);
    layout->addWidget(box);
    QLineEdit* target = edit;
    connect(button, &QPushButton::clicked, this,
            [this, target, browse_title, trim] { Browse(target, browse_title, trim); });
  };
  row("Select MySQL Database File:", data_, "Select location to choose database file.", false);
  row("Select Temporary Path:", temp_, "Select location for temporary path.", false);
  row("Select Log File Path:", log_, "Select location to save Log file.", true);
  {
    auto* box = new QGroupBox("Table Definitions (optional):", this);
    auto* v = new QVBoxLayout(box);
    auto* h = new QHBoxLayout;
    definitions_ = new QLineEdit(box);
    definitions_->setPlaceholderText("CREATE TABLE statements for tables whose .frm is lost");
    auto* button = new QPushButton("...", box);
    h->addWidget(definitions_);
    h->addWidget(button);
    v->addLayout(h);
    prefer_ = new QCheckBox("Use them also where a readable .frm exists", box);
    v->addWidget(prefer_);
    layout->addWidget(box);
    connect(button, &QPushButton::clicked, this, [this] {
      const QString chosen = QFileDialog::getOpenFileName(
          this, "Select a file of CREATE TABLE statements", definitions_->text(),
          "SQL files (*.sql *.txt);;All files (*)");
      if (!chosen.isEmpty()) definitions_->setText(chosen);
    });
  }
  // The temporary and log folders of the last session, while they exist.
  QSettings settings(kSettingsKey, kSettingsKey);
  const QString temp = settings.value(kTempFolderValue).toString();
  const QString log = settings.value(kLogFolderValue).toString();
  temp_->setText(!temp.isEmpty() && QFileInfo(temp).isDir() ? temp : QDir::tempPath());
  log_->setText(!log.isEmpty() && QFileInfo(log).isDir() ? log : DefaultLogFolder());
  if (!data_path.isEmpty()) data_->setText(WithSlash(data_path));
  auto* buttons = OkCancelButtons(this);
  layout->addWidget(buttons);
  resize(560, sizeHint().height());
}

QString FileSettingsDialog::DefaultLogFolder() {
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  return !desktop.isEmpty() && QFileInfo(desktop).isDir() ? desktop : QDir::homePath();
}

QString FileSettingsDialog::WithSlash(const QString& path) {
  return path.endsWith('/') ? path : path + '/';
}

void FileSettingsDialog::Browse(QLineEdit* edit, const QString& title, bool trim_and_check) {
  QString chosen = QFileDialog::getExistingDirectory(this, title, edit->text());
  if (chosen.isEmpty()) return;
  if (trim_and_check) {
    chosen = chosen.trimmed();
    if (QFileInfo(chosen).isDir()) edit->setText(chosen);
    return;
  }
  edit->setText(WithSlash(chosen));
}

QString FileSettingsDialog::Validate() const {
  if (data_->text().isEmpty() || !QFileInfo(data_->text()).isDir()) return kBadDataPath;
  if (temp_->text().isEmpty() || !QFileInfo::exists(temp_->text())) return kBadTempPath;
  if (log_->text().isEmpty() || !QFileInfo::exists(log_->text())) return kBadLogPath;
  if (!definitions_->text().isEmpty() && !QFileInfo(definitions_->text()).isFile()) {
    return kBadDefinitionsFile;
  }
  return {};
}

void FileSettingsDialog::accept() {
  const QString problem = Validate();
  if (!problem.isEmpty()) {
    Inform(this, problem);
    return;
  }
  QSettings settings(kSettingsKey, kSettingsKey);
  settings.setValue(kTempFolderValue, temp_->text());
  settings.setValue(kLogFolderValue, log_->text());
  QDialog::accept();
}

}  // namespace vostrel::gui
