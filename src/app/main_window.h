// The main window: commands, panes, the object tree, the records view, and
// the worker thread that scans and saves.
#pragma once

#include <QDockWidget>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QThread>
#include <atomic>
#include <memory>

#include "app/help_window.h"
#include "app/message_box.h"
#include "app/ribbon.h"
#include "app/save_dialog.h"
#include "model/collation_table.h"
#include "model/sql_definitions.h"
#include "model/text_codec.h"
#include "scan/recovery_report.h"
#include "scan/scan.h"
#include "scan/session_log.h"
#include "scan/table_preview.h"
#include "tree/object_tree.h"
#include "view/records_view.h"

class QAction;

namespace vostrel::gui {

class GuiOutput;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  MainWindow(const CollationTable& collations, const CodePage& code_page,
             QWidget* parent = nullptr);
  ~MainWindow() override;

  // Commands, as the ribbon runs them.
  void OnOpen();
  void OnStop();
  void OnSave();
  void OnHelp();
  void OnAbout();
  // Open with the data path filled in (a recent folder, a dropped folder).
  void OpenFolder(const QString& folder);

  // The steps behind the commands, once their dialogs are answered.
  void StartScan(const QString& data_path, const QString& temp_path, const QString& log_folder);
  void StartSave(const std::vector<SelectedItem>& items, const SaveChoice& choice);
  void ShowTreeSelection(QTreeWidgetItem* item);
  void ShowNextScreen();
  void ShowPreviousScreen();

  bool busy() const { return busy_.load(); }
  bool stop_requested() const { return stop_.load(); }
  // Runs the event loop until no activity runs (for tests and scripts).
  bool WaitIdle(int timeout_ms);

  Ribbon* ribbon() const { return ribbon_; }
  ObjectTree* tree() const { return tree_; }
  QDockWidget* tree_pane() const { return tree_dock_; }
  QDockWidget* output_pane() const { return output_dock_; }
  RecordsView* records() const { return records_; }
  QListWidget* output() const { return output_; }
  QLabel* caption() const { return caption_; }
  QProgressBar* progress() const { return progress_; }
  QAction* stop_action() const { return stop_action_; }
  QMenu* recent_menu() const { return recent_menu_; }
  // The help window once Help has opened it.
  HelpWindow* help_window() const { return help_; }
  const ScanResult* scan() const { return scan_.get(); }
  const SessionLog& log() const { return log_; }
  // The account of the last save, table by table.
  const RecoveryReport& last_report() const { return last_report_; }
  // Every table's probe after the last scan, one per scan entry.
  const std::vector<TableAccount>& probes() const { return probes_; }

  // The output operations, on the user-interface thread.
  void AddOutputLine(const QString& text);
  void AddProblemLine(const QString& text);
  void SetCaptionText(const QString& text);
  void SetProgress(uint64_t done, uint64_t total);
  void ShowProgress(bool visible);

  // Pane sizes and places, kept in the settings.
  void SaveLayout() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildUi();
  void BuildRibbon();
  void RestoreLayout();
  void FitTreePane();
  void FillRecentMenu();
  void SetBusy(bool busy);
  void SetTreeEnabled(bool enabled);
  // `done` runs on this thread once `work` has ended and says whether it failed.
  void RunWorker(std::function<void()> work, std::function<bool()> done);
  // The engine's messages of the work that just ended, as warnings when it failed.
  void ShowHeldMessages(bool failed);
  void ShowScreen(const PreviewScreen& screen);
  void FirstScreen(int64_t item_data, const QString& node_text);
  void KeyGrid(QTreeWidgetItem* keys_item);
  void ShowReport(const RecoveryReport& report);
  void MarkProbes();

  const CollationTable& collations_;
  const CodePage& code_page_;
  std::atomic<bool> busy_{false};
  std::atomic<bool> stop_{false};
  uint64_t blob_file_counter_ = 0;
  SessionLog log_;
  std::unique_ptr<GuiOutput> out_;
  std::shared_ptr<ScanResult> scan_;
  // The Open dialog's CREATE TABLE statements, for the scans that follow.
  std::shared_ptr<const SqlDefinitionSet> definitions_;
  bool prefer_definitions_ = false;
  QThread* worker_ = nullptr;
  RecoveryReport last_report_;
  std::vector<TableAccount> probes_;
  bool layout_restored_ = false;
  bool tree_had_focus_ = false;

  Ribbon* ribbon_;
  ObjectTree* tree_;
  QDockWidget* tree_dock_;
  QDockWidget* output_dock_;
  RecordsView* records_;
  QListWidget* output_;
  QLabel* caption_;
  QProgressBar* progress_;
  QAction* stop_action_;
  QMenu* recent_menu_;
  HelpWindow* help_ = nullptr;

  // Preview state: the node on screen and its screens.
  QTreeWidgetItem* preview_item_ = nullptr;
  std::unique_ptr<EngineContext> preview_ctx_;
  std::unique_ptr<TablePreview> preview_;
  std::unique_ptr<PreviewPager> pager_;
  bool last_screen_full_ = false;
};

}  // namespace vostrel::gui
