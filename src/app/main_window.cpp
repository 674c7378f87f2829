#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>
#include <ctime>
#include <mutex>

#include "app/about_dialog.h"
#include "app/file_settings_dialog.h"
#include "app/icons.h"
#include "app/recent_folders.h"
#include "app/texts.h"
#include "model/frm_reader.h"
#include "model/sql_definitions.h"
#include "model/type_text.h"
#include "scan/table_definitions.h"
#include "sql/script_save.h"
#include "sql/server_save.h"
#include "sql/table_export.h"
#include "sql/views_triggers.h"
#include "tree/table_marks.h"
#include "view/plain_tooltip.h"

namespace vostrel::gui {

namespace fs = std::filesystem;

// The engine's reports. From a worker they reach the widgets only through
// queued calls; the log is written directly (it has its own lock). While a
// worker runs, its messages wait for it to end, so that they are shown over
// the finished tree and report, and as warnings when the work failed.
class GuiOutput : public RecoveryOutput {
 public:
  GuiOutput(MainWindow* window, SessionLog& log) : window_(window), log_(log) {}

  void WriteLogText(std::string_view text) override { log_.WriteLogText(text); }
  void AddOutputLine(std::string_view text) override {
    Post([w = window_, t = QString::fromStdString(std::string(text))] { w->AddOutputLine(t); });
  }
  void ReportProblem(std::string_view text) override {
    Post([w = window_, t = QString::fromStdString(std::string(text))] { w->AddProblemLine(t); });
    std::string line(text);
    line += "\r\n";
    WriteLogText(line);
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
    const QString t = QString::fromStdString(std::string(text));
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (holding_) {
        held_ << t;
        return;
      }
    }
    Post([w = window_, t] { Inform(w, t); });
  }

  void Hold() {
    std::lock_guard<std::mutex> lock(mutex_);
    holding_ = true;
    held_.clear();
  }
  QStringList Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    holding_ = false;
    return std::exchange(held_, {});
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
  std::mutex mutex_;
  bool holding_ = false;
  QStringList held_;
};

namespace {

QString Trimmed(const QString& s) {
  QString t = s;
  while (t.endsWith('\n') || t.endsWith('\r')) t.chop(1);
  return t;
}

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

MainWindow::MainWindow(const CollationTable& collations, const CodePage& code_page, QWidget* parent)
    : QMainWindow(parent), collations_(collations), code_page_(code_page) {
  out_ = std::make_unique<GuiOutput>(this, log_);
  BuildUi();
  RestoreLayout();
  SetCaptionText(kStartCaption);
  ShowProgress(false);
  output_->addItem(kFirstOutputLine);
}

MainWindow::~MainWindow() {
  stop_.store(true);
  if (worker_ != nullptr) worker_->wait();
}

void MainWindow::BuildRibbon() {
  ribbon_ = new Ribbon(kRibbonCategory, this);
  auto action = [this](IconKind icon, const QString& text, const QString& tip, auto slot) {
    auto* a = new QAction(DrawIcon(icon), text, this);
    a->setToolTip(tip);
    connect(a, &QAction::triggered, this, slot);
    addAction(a);  // shortcuts work wherever the focus is
    return a;
  };
  QAction* open = action(IconKind::kOpen, "Open", "Open Database file", &MainWindow::OnOpen);
  open->setShortcut(QKeySequence::Open);
  stop_action_ = action(IconKind::kStop, "Stop", "Stop running process", &MainWindow::OnStop);
  QAction* save =
      action(IconKind::kSave, "Save MySQL Data", "Save recovered data", &MainWindow::OnSave);
  save->setShortcut(QKeySequence::Save);
  QAction* help = action(IconKind::kHelp, "Help", "Help for Vostrel MySQL Database Recovery",
                         &MainWindow::OnHelp);
  help->setShortcut(QKeySequence::HelpContents);
  QAction* about = action(IconKind::kAbout, "About", "About Vostrel MySQL Database Recovery",
                          &MainWindow::OnAbout);
  stop_action_->setEnabled(false);
  auto* quit = new QAction("Close", this);
  quit->setShortcut(QKeySequence::Quit);
  connect(quit, &QAction::triggered, this, &QWidget::close);
  addAction(quit);

  RibbonPanel* recovery = ribbon_->AddPanel("Recovery");
  QToolButton* open_button = recovery->AddButton(open);
  recent_menu_ = new QMenu(open_button);
  open_button->setMenu(recent_menu_);
  open_button->setPopupMode(QToolButton::MenuButtonPopup);
  connect(recent_menu_, &QMenu::aboutToShow, this, &MainWindow::FillRecentMenu);
  FillRecentMenu();
  recovery->AddButton(stop_action_);
  recovery->AddButton(save);
  RibbonPanel* about_panel = ribbon_->AddPanel("About");
  about_panel->AddButton(help);
  about_panel->AddButton(about);
  setMenuWidget(ribbon_);
}

void MainWindow::FillRecentMenu() {
  recent_menu_->clear();
  const QStringList folders = RecentFolders();
  if (folders.isEmpty()) {
    recent_menu_->addAction("No recent data folders")->setEnabled(false);
    return;
  }
  int n = 0;
  for (const QString& f : folders) {
    QAction* a = recent_menu_->addAction(DrawIcon(IconKind::kFolder, 16),
                                         QString("&%1  %2").arg(++n).arg(f));
    a->setData(f);
    connect(a, &QAction::triggered, this, [this, f] { OpenFolder(f); });
  }
}

void MainWindow::BuildUi() {
  setWindowTitle(kAppCaption);
  setWindowIcon(AppIcon());
  setAcceptDrops(true);
  BuildRibbon();

  tree_dock_ = new QDockWidget("MySQL Database Objects", this);
  tree_dock_->setObjectName("MySQL Database Objects");
  tree_ = new ObjectTree(tree_dock_);
  tree_dock_->setWidget(tree_);
  addDockWidget(Qt::LeftDockWidgetArea, tree_dock_);
  output_dock_ = new QDockWidget("Output", this);
  output_dock_->setObjectName("Output");
  output_ = new QListWidget(output_dock_);
  output_->setUniformItemSizes(true);
  output_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  output_dock_->setWidget(output_);
  // The output's lines are long: below the records, as wide as the window.
  setCorner(Qt::BottomLeftCorner, Qt::LeftDockWidgetArea);
  addDockWidget(Qt::BottomDockWidgetArea, output_dock_);

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(2, 2, 2, 2);
  caption_ = new QLabel(central);
  caption_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  caption_->setFrameShape(QFrame::StyledPanel);
  caption_->setTextFormat(Qt::PlainText);
  caption_->setMinimumHeight(26);
  caption_->setMinimumWidth(100);
  caption_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  caption_->setMargin(3);
  QFont bold = caption_->font();
  bold.setBold(true);
  caption_->setFont(bold);
  layout->addWidget(caption_);
  records_ = new RecordsView(central);
  layout->addWidget(records_, 1);
  setCentralWidget(central);

  auto* link = new QLabel("<a href=\"about:\">Vostrel MySQL Database Recovery</a>", this);
  link->setOpenExternalLinks(false);
  connect(link, &QLabel::linkActivated, this, [this] { OnAbout(); });
  statusBar()->addWidget(link);
  statusBar()->addWidget(new QLabel("Vostrel MySQL Database Recovery(Full)", this));
  progress_ = new QProgressBar(this);
  progress_->setFixedHeight(17);
  progress_->setTextVisible(false);
  statusBar()->addWidget(progress_, 1);

  connect(tree_, &ObjectTree::NodeClicked, this, &MainWindow::ShowTreeSelection);
  connect(records_, &RecordsView::NextClicked, this, &MainWindow::ShowNextScreen);
  connect(records_, &RecordsView::PreviousClicked, this, &MainWindow::ShowPreviousScreen);
}

void MainWindow::RestoreLayout() {
  QSettings settings(kSettingsKey, kSettingsKey);
  const QByteArray geometry = settings.value(kGeometryValue).toByteArray();
  const QByteArray state = settings.value(kWindowStateValue).toByteArray();
  const bool maximized = settings.value(kMaximizedValue, true).toBool();
  // Maximized: the whole screen (also where no window manager maximizes),
  // rather than a restored frame that a missing window manager may misplace.
  if (maximized || geometry.isEmpty() || !restoreGeometry(geometry)) {
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
      setGeometry(s->availableGeometry());
    }
    setWindowState(windowState() | Qt::WindowMaximized);
  }
  if (!state.isEmpty() && restoreState(state)) {
    layout_restored_ = true;
    return;
  }
  // First start: panes at sizes that suit common names and the output's lines.
  resizeDocks({tree_dock_}, {280}, Qt::Horizontal);
  resizeDocks({output_dock_}, {8 * output_->fontMetrics().height() + 30}, Qt::Vertical);
}

void MainWindow::SaveLayout() const {
  QSettings settings(kSettingsKey, kSettingsKey);
  settings.setValue(kMaximizedValue, isMaximized());
  settings.setValue(kGeometryValue, saveGeometry());
  settings.setValue(kWindowStateValue, saveState());
}

void MainWindow::FitTreePane() {
  // Only until the user has a layout of their own: then their sizes stay.
  if (layout_restored_ || tree_->topLevelItemCount() == 0) return;
  const int content = tree_->ContentWidth() + 24;
  const int width = std::clamp(content, 220, std::max(220, this->width() / 3));
  resizeDocks({tree_dock_}, {width}, Qt::Horizontal);
}

void MainWindow::AddOutputLine(const QString& text) {
  output_->addItem(text);
  output_->scrollToBottom();
}

void MainWindow::AddProblemLine(const QString& text) {
  auto* item = new QListWidgetItem(DrawIcon(IconKind::kStop, 16), text);
  item->setForeground(QColor(170, 20, 20));
  item->setToolTip(PlainTooltip(text));
  output_->addItem(item);
  output_->scrollToBottom();
}

void MainWindow::SetCaptionText(const QString& text) {
  caption_->setText(Trimmed(text));
}

void MainWindow::SetProgress(uint64_t done, uint64_t total) {
  progress_->setRange(0, 1000);
  progress_->setValue(
      total == 0 ? 0 : static_cast<int>(std::min<uint64_t>(done, total) * 1000 / total));
}

void MainWindow::ShowProgress(bool visible) {
  progress_->setVisible(visible);
}

void MainWindow::SetBusy(bool busy) {
  busy_.store(busy);
  stop_action_->setEnabled(busy);
}

void MainWindow::SetTreeEnabled(bool enabled) {
  // A disabled tree loses the keyboard focus; it gets it back with its use.
  // (The window's own focus widget: the window need not be the active one.)
  if (!enabled && tree_->isEnabled()) tree_had_focus_ = focusWidget() == tree_;
  tree_->setEnabled(enabled);
  if (enabled && tree_had_focus_) {
    tree_->setFocus();
    tree_had_focus_ = false;
  }
}

void MainWindow::RunWorker(std::function<void()> work, std::function<bool()> done) {
  out_->Hold();
  worker_ = QThread::create(std::move(work));
  connect(worker_, &QThread::finished, this, [this, done = std::move(done)] {
    worker_->deleteLater();
    worker_ = nullptr;
    const bool failed = done();
    // The flags clear only now that the worker has ended, never while it runs.
    stop_.store(false);
    SetBusy(false);
    ShowHeldMessages(failed);
  });
  worker_->start();
}

void MainWindow::ShowHeldMessages(bool failed) {
  for (const QString& m : out_->Release()) {
    if (failed) {
      Warn(this, m);
    } else {
      Inform(this, m);
    }
  }
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
  OpenFolder(QString());
}

void MainWindow::OpenFolder(const QString& folder) {
  if (busy()) {
    Inform(this, kBusy);
    return;
  }
  FileSettingsDialog dialog(this, folder);
  if (dialog.exec() != QDialog::Accepted) return;
  definitions_.reset();
  prefer_definitions_ = dialog.prefer_definitions()->isChecked();
  if (const QString file = dialog.definitions_path()->text(); !file.isEmpty()) {
    SqlDefinitionLoad load = LoadSqlDefinitions(file.toStdString(), &collations_);
    if (!load.ok) {
      QString text = "The table definitions cannot be used; fix or remove these statements:\n";
      for (size_t i = 0; i < load.errors.size() && i < 12; ++i) text += "\n" + Q(load.errors[i]);
      Warn(this, text);
      return;
    }
    definitions_ = std::make_shared<const SqlDefinitionSet>(std::move(load.set));
  }
  StartScan(dialog.database_folder(), dialog.temp_folder(), dialog.log_folder());
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() == 1 && urls[0].isLocalFile() && QFileInfo(urls[0].toLocalFile()).isDir()) {
    event->acceptProposedAction();
  }
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() != 1 || !urls[0].isLocalFile()) return;
  const QString folder = urls[0].toLocalFile();
  if (!QFileInfo(folder).isDir()) return;
  event->acceptProposedAction();
  // The dialog opens after the drop has ended, not inside the drag's own loop.
  QMetaObject::invokeMethod(
      this, [this, folder] { OpenFolder(folder); }, Qt::QueuedConnection);
}

void MainWindow::StartScan(const QString& data_path, const QString& temp_path,
                           const QString& log_folder) {
  (void)temp_path;
  SetBusy(true);
  preview_item_ = nullptr;
  tree_->ClearAll();
  records_->ClearAll();
  records_->ShowGrid();
  records_->previous()->setEnabled(false);
  records_->next()->setEnabled(false);
  preview_.reset();
  pager_.reset();
  probes_.clear();
  SetCaptionText(data_path);
  ShowProgress(true);
  output_->clear();
  std::string error;
  if (!log_.Open(log_folder.toStdString(), data_path.toStdString(), std::time(nullptr), &error)) {
    // The session goes on without a log, and the user knows it.
    AddProblemLine(Q(error));
    Warn(this, Q(error));
  }
  AddRecentFolder(data_path);
  SetTreeEnabled(false);
  auto result = std::make_shared<ScanResult>();
  auto probes = std::make_shared<std::vector<TableAccount>>();
  const std::string path = data_path.toStdString();
  RunWorker(
      [this, result, probes, path, definitions = definitions_, prefer = prefer_definitions_] {
        ScanOptions opts;
        opts.definitions = definitions;
        opts.prefer_definitions = prefer;
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
        // The tree grows database by database; the question about ibdata1,
        // asked after the last one, comes over a filled tree.
        opts.database_listed = [this](const TreeNode& root, const TreeNode& database) {
          QMetaObject::invokeMethod(
              this,
              [this, r = Q(root.text), p = Q(root.children.at(0).text), database] {
                tree_->AppendDatabase(r, p, database);
              },
              Qt::QueuedConnection);
        };
        *result = ScanDataDirectory(path, *out_, opts);
        out_->AddOutputLine("Checking " + std::to_string(result->m_tableEntries.size()) +
                            " tables");
        *probes = ProbeTables(*result, collations_, code_page_);
      },
      [this, result, probes] {
        scan_ = result;
        probes_ = std::move(*probes);
        preview_item_ = nullptr;
        tree_->Populate(scan_->root);
        MarkProbes();
        SetTreeEnabled(true);
        FitTreePane();
        size_t readable = 0;
        for (const TableAccount& t : probes_) readable += t.complete();
        const QString summary = QString("%1 tables: %2 can be read, %3 cannot be read whole")
                                    .arg(probes_.size())
                                    .arg(readable)
                                    .arg(probes_.size() - readable);
        const bool whole = readable == probes_.size() && scan_->problems.empty();
        if (whole) {
          AddOutputLine(summary);
        } else {
          AddProblemLine(summary);
        }
        return !whole;  // the scan's closing message then comes as a warning
      });
}

void MainWindow::MarkProbes() {
  for (size_t i = 0; i < probes_.size(); ++i) {
    tree_->MarkTable(i, probes_[i].state, Q(ProbeTip(probes_[i])));
  }
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
  auto success = std::make_shared<bool>(false);
  RunWorker(
      [this, scan, items, choice, report, success] {
        EngineContext ctx{collations_, code_page_, *out_, &stop_, &blob_file_counter_};
        ctx.reduced_definitions = choice.reduced_definitions;
        ctx.extended_insert = choice.extended_insert;
        ctx.save_deleted_rows = choice.deleted_rows;
        if (choice.as_script) {
          const ScriptSaveResult r = RunScriptSave(*scan, items, choice.folder.toStdString(), ctx);
          *report = r.report();
          *success = r.success();
        } else {
          const ServerSaveResult r = RunServerSave(*scan, items, choice.server, ctx);
          *report = r.report();
          *success = r.success();
        }
      },
      [this, report, success] {
        ShowReport(*report);
        SetTreeEnabled(true);
        return !*success;
      });
}

void MainWindow::ShowReport(const RecoveryReport& report) {
  last_report_ = report;
  for (const TableAccount& t : report.tables) {
    const QString line = Q(t.database + "." + t.table + ": " + t.StatusText());
    if (t.complete()) {
      AddOutputLine(line);
    } else {
      AddProblemLine(line);
    }
  }
  if (scan_) {
    const std::vector<int64_t> entries = ReportEntryIndexes(*scan_, report);
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i] < 0) continue;
      tree_->MarkTable(static_cast<size_t>(entries[i]), report.tables[i].state,
                       Q(SaveTip(report.tables[i])));
    }
  }
  preview_item_ = nullptr;
  preview_.reset();
  pager_.reset();
  records_->ShowReport(report);
  SetCaptionText(QString("Recovery report: %1 tables, %2 complete, %3 not complete")
                     .arg(report.tables.size())
                     .arg(report.tables.size() - report.incomplete())
                     .arg(report.incomplete()));
  if (log_.failed()) {
    const QString why = Q(log_.failure());
    AddProblemLine(why);
    Warn(this, why);
  }
}

void MainWindow::OnHelp() {
  if (busy()) {
    Inform(this, kBusyHelp);
    return;
  }
  if (help_ == nullptr) {
    help_ = new HelpWindow(this);
    help_->move(geometry().center() - help_->rect().center());
  }
  const QString dir = QApplication::applicationDirPath();
  help_->Load(FindUserGuide(dir), UserGuideCandidates(dir));
  help_->show();
  help_->raise();
  help_->activateWindow();
}

void MainWindow::OnAbout() {
  if (busy()) {
    Inform(this, kBusyHelp);
    return;
  }
  AboutDialog dialog(this);
  dialog.exec();
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
    Inform(this, QString(kLogPath) + Q(log_.path().string()));
  }
  SaveLayout();
  if (help_ != nullptr) help_->close();
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
    records_->ShowText(
        Q(TriggerScript(TriggerStatements(fs::path(t.folderPath) / t.fileName, dbs, code_page_))));
  } else if (scan_ && parent_data == ITEMDATA_VIEWS && d >= 1 &&
             static_cast<size_t>(d) <= scan_->m_viewFiles.size()) {
    std::vector<std::string> dbs;
    for (const std::string& f : scan_->m_databaseFolders) dbs.push_back(DatabaseDisplayName(f));
    records_->ShowText(
        Q(ViewStatement(scan_->m_viewFiles[static_cast<size_t>(d - 1)], dbs, code_page_)));
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
  (void)folder;
  TableDef table;
  ResolveTableDefinition(*scan_, e, collations_, code_page_, table);
  QStringList titles;
  for (const char* t : kKeyGridTitles) titles << t;
  records_->SetColumns(titles);
  std::vector<QStringList> rows;
  for (const auto& r : KeyGridRows(table, collations_)) {
    QStringList row;
    for (const std::string& cell : r) row << Q(cell);
    rows.push_back(row);
  }
  records_->SetRows(rows);
  records_->FitColumns();
  SetCaptionText(rows.size() > 1 ? keys_item->text(0) + "[" + QString::number(rows.size()) + "]"
                                 : QString());
}

void MainWindow::ShowScreen(const PreviewScreen& screen) {
  std::vector<QStringList> rows;
  rows.reserve(screen.rows.size());
  for (const Row& r : screen.rows) {
    QStringList row;
    row.reserve(static_cast<qsizetype>(r.size()));
    for (const FieldValue& v : r) row << Q(v.text);
    rows.push_back(row);
  }
  records_->SetRows(rows, pager_ ? pager_->first_row() + 1 : 1);
  last_screen_full_ = screen.screen_full;
}

void MainWindow::FirstScreen(int64_t d, const QString& node_text) {
  if (!scan_ || static_cast<size_t>(d) > scan_->m_tableEntries.size()) return;
  preview_ctx_ = std::make_unique<EngineContext>(EngineContext{collations_, code_page_, *out_});
  preview_ = std::make_unique<TablePreview>(*preview_ctx_);
  std::string error;
  if (!preview_->Open(*scan_, static_cast<size_t>(d - 1), &error)) {
    AddProblemLine(node_text + " cannot be shown: " + Q(error));
    return;
  }
  QStringList titles;
  for (const ColumnDef& c : preview_->table().columns) titles << Q(c.name);
  records_->SetColumns(titles);
  pager_ = std::make_unique<PreviewPager>(*preview_);
  const PreviewScreen& s = pager_->First();
  ShowScreen(s);
  records_->FitColumns();
  SetCaptionText(node_text + "[" + QString::number(s.rows.size()) + "]");
  if (!preview_->damage().empty()) AddProblemLine(node_text + ": " + Q(preview_->damage()));
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
