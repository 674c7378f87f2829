#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <ctime>

#include "app/file_settings_dialog.h"
#include "app/icons.h"
#include "app/message_box.h"
#include "app/texts.h"
#include "model/frm_reader.h"
#include "model/type_text.h"
#include "sql/script_save.h"
#include "sql/server_save.h"
#include "sql/views_triggers.h"

namespace vostrel::gui {

namespace fs = std::filesystem;

// The engine's reports. From a worker they reach the widgets only through
// queued calls; the log is written directly (it has its own lock).
class GuiOutput : public RecoveryOutput {
 public:
  GuiOutput(MainWindow* window, SessionLog& log) : window_(window), log_(log) {}

  void WriteLogText(std::string_view text) override { log_.WriteLogText(text); }
  void AddOutputLine(std::string_view text) override {
    Post([w = window_, t = QString::fromStdString(std::string(text))] { w->AddOutputLine(t); });
  }
  void SetCaptionText(std::string_view text) override {
    Post([w = window_, t = QString::fromStdString(std::string(text))] { w->SetCaptionText(t); });
  }
  void SetProgress(uint64_t done, uint64_t total) override {
    // Loops report every record; the bar only needs each thousandth.
    const int permille = total == 0 ? 0 : static_cast<int>(std::min(done, total) * 1000 / total);
    if (permille == last_permille_.exchange(permille)) return;
    Post([w = window_, done, total] { w->SetProgress(done, total); });
  }
  void ShowProgress(bool visible) override {
    Post([w = window_, visible] { w->ShowProgress(visible); });
  }
  void ShowMessage(std::string_view text) override {
    Post([w = window_, t = QString::fromStdString(std::string(text))] { Inform(w, t); });
  }

 private:
  template <typename F>
  void Post(F f) {
    if (QThread::currentThread() == window_->thread()) {
      f();
    } else {
      QMetaObject::invokeMethod(window_, std::move(f), Qt::QueuedConnection);
    }
  }
  MainWindow* window_;
  SessionLog& log_;
  std::atomic<int> last_permille_{-1};
};

namespace {

QString Trimmed(const QString& s) {
  QString t = s;
  while (t.endsWith('\n') || t.endsWith('\r')) t.chop(1);
  return t;
}

}  // namespace

MainWindow::MainWindow(const CollationTable& collations, const CodePage& code_page, QWidget* parent)
    : QMainWindow(parent), collations_(collations), code_page_(code_page) {
  out_ = std::make_unique<GuiOutput>(this, log_);
  BuildUi();
  SetCaptionText(kStartCaption);
  ShowProgress(false);
  output_->addItem(kFirstOutputLine);
}

MainWindow::~MainWindow() {
  stop_.store(true);
  if (worker_ != nullptr) worker_->wait();
}

void MainWindow::BuildUi() {
  setWindowTitle(kAppCaption);
  auto* bar = new QToolBar("MySQL Database Recovery", this);
  bar->setObjectName("MySQL Database Recovery");
  bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  bar->setIconSize(QSize(32, 32));
  auto add = [this, bar](IconKind icon, const QString& text, const QString& tip, auto slot) {
    QAction* a = bar->addAction(DrawIcon(icon), text);
    a->setToolTip(tip);
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  add(IconKind::kOpen, "Open", "Open Database file", &MainWindow::OnOpen);
  stop_action_ = add(IconKind::kStop, "Stop", "Stop running process", &MainWindow::OnStop);
  add(IconKind::kSave, "Save MySQL Data", "Save recovered data", &MainWindow::OnSave);
  bar->addSeparator();
  auto* about_label = new QLabel(" About ", bar);
  bar->addWidget(about_label);
  add(IconKind::kHelp, "Help", "Help for Vostrel MySQL Database Recovery", &MainWindow::OnHelp);
  add(IconKind::kAbout, "About", "About Vostrel MySQL Database Recovery", &MainWindow::OnAbout);
  addToolBar(Qt::TopToolBarArea, bar);
  stop_action_->setEnabled(false);

  auto* tree_dock = new QDockWidget("MySQL Database Objects", this);
  tree_dock->setObjectName("MySQL Database Objects");
  tree_ = new ObjectTree(tree_dock);
  tree_dock->setWidget(tree_);
  addDockWidget(Qt::LeftDockWidgetArea, tree_dock);
  auto* out_dock = new QDockWidget("Output", this);
  out_dock->setObjectName("Output");
  output_ = new QListWidget(out_dock);
  out_dock->setWidget(output_);
  addDockWidget(Qt::RightDockWidgetArea, out_dock);

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(2, 2, 2, 2);
  caption_ = new QLabel(central);
  caption_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  caption_->setFrameShape(QFrame::StyledPanel);
  caption_->setMinimumHeight(24);
  layout->addWidget(caption_);
  records_ = new RecordsView(central);
  layout->addWidget(records_, 1);
  setCentralWidget(central);

  auto* link = new QLabel("<a href=\"https://example.invalid/\">Vostrel MySQL Database Recovery</a>", this);
  link->setOpenExternalLinks(false);
  statusBar()->addWidget(link);
  statusBar()->addWidget(new QLabel("Vostrel MySQL Database Recovery(Full)", this));
  progress_ = new QProgressBar(this);
  progress_->setFixedHeight(17);
  progress_->setTextVisible(false);
  statusBar()->addWidget(progress_, 1);

  connect(tree_, &ObjectTree::NodeClicked, this, &MainWindow::ShowTreeSelection);
  connect(records_, &RecordsView::NextClicked, this, &MainWindow::ShowNextScreen);
  connect(records_, &RecordsView::PreviousClicked, this, &MainWindow::ShowPreviousScreen);
  resize(1200, 760);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  progress_->setFixedWidth(std::max(50, statusBar()->width() - 560));
}

void MainWindow::AddOutputLine(const QString& text) {
  output_->addItem(text);
  output_->scrollToBottom();
}

void MainWindow::SetCaptionText(const QString& text) { caption_->setText(Trimmed(text)); }

void MainWindow::SetProgress(uint64_t done, uint64_t total) {
  progress_->setRange(0, 1000);
  progress_->setValue(total == 0 ? 0 : static_cast<int>(std::min<uint64_t>(done, total) * 1000 / total));
}

void MainWindow::ShowProgress(bool visible) { progress_->setVisible(visible); }

void MainWindow::SetBusy(bool busy) {
  busy_.store(busy);
  stop_action_->setEnabled(busy);
}

void MainWindow::SetTreeEnabled(bool enabled) {
  tree_->setEnabled(enabled);
  // Greyed while disabled, as the palette of a disabled widget does.
}

void MainWindow::RunWorker(std::function<void()> work, std::function<void()> done) {
  worker_ = QThread::create(std::move(work));
  connect(worker_, &QThread::finished, this, [this, done = std::move(done)] {
    worker_->deleteLater();
    worker_ = nullptr;
    done();
    // The flag clears only now that the worker has ended, never while it runs.
    SetBusy(false);
  });
  worker_->start();
}

bool MainWindow::WaitIdle(int timeout_ms) {
  QElapsedTimer t;
  t.start();
  while (busy_.load() || worker_ != nullptr) {
    if (t.elapsed() > timeout_ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  QApplication::processEvents();
  return true;
}

void MainWindow::OnOpen() {
  if (busy()) {
    Inform(this, kBusy);
    return;
  }
  FileSettingsDialog dialog(this);
  if (dialog.exec() != QDialog::Accepted) return;
  StartScan(dialog.database_folder(), dialog.temp_folder(), dialog.log_folder());
}

void MainWindow::StartScan(const QString& data_path, const QString& temp_path,
                           const QString& log_folder) {
  (void)temp_path;
  SetBusy(true);
  tree_->ClearAll();
  records_->ClearAll();
  records_->previous()->setEnabled(false);
  records_->next()->setEnabled(false);
  preview_.reset();
  pager_.reset();
  SetCaptionText(data_path);
  ShowProgress(true);
  output_->clear();
  std::string error;
  if (!log_.Open(log_folder.toStdString(), data_path.toStdString(), std::time(nullptr), &error)) {
    // The session goes on without a log, and the user knows it.
    AddOutputLine(QString::fromStdString(error));
    Inform(this, QString::fromStdString(error));
  }
  auto result = std::make_shared<ScanResult>();
  const std::string path = data_path.toStdString();
  RunWorker(
      [this, result, path] {
        ScanOptions opts;
        opts.ask_manual_ibdata = [this]() -> fs::path {
          QString chosen;
          QMetaObject::invokeMethod(
              this,
              [this, &chosen] {
                if (AskYesNo(this, kAskBrowseIbdata, MessageIcon::kNone)) {
                  chosen = QFileDialog::getOpenFileName(this);
                }
              },
              Qt::BlockingQueuedConnection);
          return chosen.toStdString();
        };
        *result = ScanDataDirectory(path, *out_, opts);
      },
      [this, result] {
        scan_ = result;
        tree_->Populate(scan_->root);
      });
}

void MainWindow::OnStop() {
  if (!busy()) return;
  if (!AskYesNo(this, kAskStop, MessageIcon::kInformation)) return;
  stop_.store(true);
}

void MainWindow::OnSave() {
  if (busy()) {
    Inform(this, kBusy);
    return;
  }
  if (tree_->CheckedCount() == 0) {
    Inform(this, kNothingChecked);
    return;
  }
  SaveDialog dialog(this);
  if (dialog.exec() != QDialog::Accepted) return;
  StartSave(tree_->CheckedItems(), dialog.choice());
}

void MainWindow::StartSave(const std::vector<SelectedItem>& items, const SaveChoice& choice) {
  if (!scan_) return;
  AddOutputLine("Saving process started. ");
  log_.WriteLogText("Saving process started. ");
  log_.WriteLogText("\r\n");
  if (choice.as_script) {
    log_.WriteLogText("Saving Script path: " + choice.folder.toStdString() + "\r\n");
  }
  SetBusy(true);
  SetTreeEnabled(false);
  auto scan = scan_;
  auto report = std::make_shared<RecoveryReport>();
  RunWorker(
      [this, scan, items, choice, report] {
        EngineContext ctx{collations_, code_page_, *out_, &stop_, &blob_file_counter_};
        ctx.reduced_definitions = choice.reduced_definitions;
        if (choice.as_script) {
          *report = RunScriptSave(*scan, items, choice.folder.toStdString(), ctx).report();
        } else {
          *report = RunServerSave(*scan, items, choice.server, ctx).report();
        }
      },
      [this, report] {
        ShowReport(*report);
        SetTreeEnabled(true);
        stop_.store(false);
      });
}

void MainWindow::ShowReport(const RecoveryReport& report) {
  last_report_ = report;
  const QStringList lines = QString::fromStdString(report.Text()).split('\n', Qt::SkipEmptyParts);
  for (const QString& line : lines) AddOutputLine(line);
  if (log_.failed()) {
    const QString why = QString::fromStdString(log_.failure());
    AddOutputLine(why);
    Inform(this, why);
  }
}

void MainWindow::OnHelp() {
  if (busy()) {
    Inform(this, kBusyHelp);
    return;
  }
  for (const QString& candidate :
       {QApplication::applicationDirPath() + "/../share/doc/vostrel-recover/README.md",
        QApplication::applicationDirPath() + "/../../README.md",
        QString(VOSTREL_SOURCE_DIR "/README.md")}) {
    if (QFileInfo::exists(candidate)) {
      QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(candidate).absoluteFilePath()));
      return;
    }
  }
}

void MainWindow::OnAbout() {
  if (busy()) {
    Inform(this, kBusyHelp);
    return;
  }
  Inform(this, QString(kAppCaption) +
                   "\n\nRecovers MySQL databases from their data files, without a server.");
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (busy()) {
    Inform(this, kBusyClose);
    event->ignore();
    return;
  }
  if (!AskYesNo(this, kAskClose)) {
    event->ignore();
    return;
  }
  if (!log_.path().empty() && fs::exists(log_.path())) {
    Inform(this, QString(kLogPath) + QString::fromStdString(log_.path().string()));
  }
  event->accept();
}

// ---- Preview, on the user-interface thread.

void MainWindow::ShowTreeSelection(QTreeWidgetItem* item) {
  if (item == nullptr) return;
  if (busy()) {
    if (preview_item_ != nullptr) tree_->setCurrentItem(preview_item_);
    Inform(this, kBusy);
    return;
  }
  SetBusy(true);
  preview_item_ = item;
  records_->text()->clear();
  const QString text = item->text(0);
  SetCaptionText(text);
  const QString line = "Please wait while " + text + " folder is scanning.";
  AddOutputLine(line);
  log_.WriteLogText(line.toStdString());
  log_.WriteLogText("\r\n");
  ShowProgress(true);
  records_->ShowGrid();
  SetTreeEnabled(false);
  preview_.reset();
  pager_.reset();
  records_->previous()->show();
  records_->next()->show();
  records_->next()->setEnabled(true);
  records_->previous()->setEnabled(false);
  records_->ClearAll();

  const int64_t d = ObjectTree::ItemData(item);
  const int64_t parent_data = ObjectTree::ItemData(item->parent());
  if (d == ITEMDATA_KEYS) {
    KeyGrid(item);
  } else if (scan_ && parent_data == ITEMDATA_TRIGGERS && d >= 1 &&
             static_cast<size_t>(d) <= scan_->m_triggerEntries.size()) {
    const TriggerEntry& t = scan_->m_triggerEntries[static_cast<size_t>(d - 1)];
    std::vector<std::string> dbs;
    for (const std::string& f : scan_->m_databaseFolders) dbs.push_back(DatabaseDisplayName(f));
    records_->ShowText(QString::fromStdString(
        TriggerScript(TriggerStatements(fs::path(t.folderPath) / t.fileName, dbs, code_page_))));
  } else if (scan_ && parent_data == ITEMDATA_VIEWS && d >= 1 &&
             static_cast<size_t>(d) <= scan_->m_viewFiles.size()) {
    std::vector<std::string> dbs;
    for (const std::string& f : scan_->m_databaseFolders) dbs.push_back(DatabaseDisplayName(f));
    records_->ShowText(QString::fromStdString(
        ViewStatement(scan_->m_viewFiles[static_cast<size_t>(d - 1)], dbs, code_page_)));
  } else if (d >= 1 && parent_data != ITEMDATA_TRIGGERS && parent_data != ITEMDATA_VIEWS) {
    FirstScreen(d, text);
  }

  if (records_->grid()->rowCount() == 0) {
    records_->previous()->setEnabled(false);
    records_->next()->setEnabled(false);
  }
  ShowProgress(false);
  SetBusy(false);
  SetTreeEnabled(true);
  AddOutputLine("Scanning process completed.");
  log_.WriteLogText("Scanning process completed.");
  log_.WriteLogText("\r\n");
}

void MainWindow::KeyGrid(QTreeWidgetItem* keys_item) {
  const int64_t d = ObjectTree::ItemData(keys_item->parent());
  if (!scan_ || d < 1 || static_cast<size_t>(d) > scan_->m_tableEntries.size()) return;
  const TableEntry& e = scan_->m_tableEntries[static_cast<size_t>(d - 1)];
  const fs::path folder = scan_->m_databaseFolders[static_cast<size_t>(e.databaseIndex)];
  TableDef table;
  ReadTableDefinition(folder / (e.tableName + ".frm"), collations_, code_page_, table);
  QStringList titles;
  for (const char* t : kKeyGridTitles) titles << t;
  records_->SetColumns(titles);
  std::vector<QStringList> rows;
  for (const auto& r : KeyGridRows(table, collations_)) {
    QStringList row;
    for (const std::string& cell : r) row << QString::fromStdString(cell);
    rows.push_back(row);
  }
  records_->SetRows(rows);
  SetCaptionText(rows.size() > 1 ? keys_item->text(0) + "[" + QString::number(rows.size()) + "]"
                                 : QString());
}

void MainWindow::ShowScreen(const PreviewScreen& screen) {
  std::vector<QStringList> rows;
  rows.reserve(screen.rows.size());
  for (const Row& r : screen.rows) {
    QStringList row;
    for (const FieldValue& v : r) row << QString::fromStdString(v.text);
    rows.push_back(row);
  }
  records_->SetRows(rows);
  last_screen_full_ = screen.screen_full;
}

void MainWindow::FirstScreen(int64_t d, const QString& node_text) {
  if (!scan_ || static_cast<size_t>(d) > scan_->m_tableEntries.size()) return;
  preview_ctx_ = std::make_unique<EngineContext>(EngineContext{collations_, code_page_, *out_});
  preview_ = std::make_unique<TablePreview>(*preview_ctx_);
  std::string error;
  if (!preview_->Open(*scan_, static_cast<size_t>(d - 1), &error)) return;
  QStringList titles;
  for (const ColumnDef& c : preview_->table().columns) titles << QString::fromStdString(c.name);
  records_->SetColumns(titles);
  pager_ = std::make_unique<PreviewPager>(*preview_);
  const PreviewScreen& s = pager_->First();
  ShowScreen(s);
  SetCaptionText(node_text + "[" + QString::number(s.rows.size()) + "]");
}

void MainWindow::ShowNextScreen() {
  if (busy()) {
    Inform(this, kBusy);
    return;
  }
  if (!pager_) {
    records_->next()->setEnabled(false);
    return;
  }
  SetBusy(true);
  ShowProgress(true);
  const bool was_full = last_screen_full_;
  const PreviewScreen* s = pager_->Next();
  if (s == nullptr) {
    if (was_full) {
      SetCaptionText(QString::number(pager_->last_row()) + " rows to " +
                     QString::number(pager_->last_row()));
      Inform(this, kNoMoreRecords);
    }
    records_->next()->setEnabled(false);
  } else {
    records_->previous()->setEnabled(true);
    ShowScreen(*s);
    SetCaptionText(QString::number(pager_->first_row()) + " rows to " +
                   QString::number(pager_->last_row()));
    if (!s->screen_full) {
      Inform(this, kNoMoreRecords);
      records_->next()->setEnabled(false);
    }
  }
  ShowProgress(false);
  SetBusy(false);
}

void MainWindow::ShowPreviousScreen() {
  if (busy()) {
    Inform(this, kBusy);
    return;
  }
  if (!pager_ || !pager_->has_previous()) {
    records_->previous()->setEnabled(false);
    return;
  }
  SetBusy(true);
  ShowProgress(true);
  const PreviewScreen* s = pager_->Previous();
  records_->next()->setEnabled(true);
  if (s != nullptr) {
    ShowScreen(*s);
    SetCaptionText(QString::number(pager_->first_row()) + " rows to " +
                   QString::number(pager_->last_row()));
  }
  if (!pager_->has_previous()) records_->previous()->setEnabled(false);
  ShowProgress(false);
  SetBusy(false);
}

}  // namespace vostrel::gui
