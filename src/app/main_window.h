// The main window: commands, panes, the object tree, the records view, and
// the worker thread that scans and saves.
#pragma once

#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QProgressBar>
#include <QThread>
#include <atomic>
#include <memory>

#include "app/save_dialog.h"
#include "model/collation_table.h"
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
  MainWindow(const CollationTable& collations, const CodePage& code_page, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Commands, as the toolbar runs them.
  void OnOpen();
  void OnStop();
  void OnSave();
  void OnHelp();
  void OnAbout();

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

  ObjectTree* tree() const { return tree_; }
  RecordsView* records() const { return records_; }
  QListWidget* output() const { return output_; }
  QLabel* caption() const { return caption_; }
  QProgressBar* progress() const { return progress_; }
  QAction* stop_action() const { return stop_action_; }
  const ScanResult* scan() const { return scan_.get(); }
  const SessionLog& log() const { return log_; }
  // The account of the last save, table by table.
  const RecoveryReport& last_report() const { return last_report_; }

  // The output operations, on the user-interface thread.
  void AddOutputLine(const QString& text);
  void SetCaptionText(const QString& text);
  void SetProgress(uint64_t done, uint64_t total);
  void ShowProgress(bool visible);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildUi();
  void SetBusy(bool busy);
  void SetTreeEnabled(bool enabled);
  void RunWorker(std::function<void()> work, std::function<void()> done);
  void ShowScreen(const PreviewScreen& screen);
  void FirstScreen(int64_t item_data, const QString& node_text);
  void KeyGrid(QTreeWidgetItem* keys_item);
  void ShowReport(const RecoveryReport& report);

  const CollationTable& collations_;
  const CodePage& code_page_;
  std::atomic<bool> busy_{false};
  std::atomic<bool> stop_{false};
  uint64_t blob_file_counter_ = 0;
  SessionLog log_;
  std::unique_ptr<GuiOutput> out_;
  std::shared_ptr<ScanResult> scan_;
  QThread* worker_ = nullptr;
  RecoveryReport last_report_;

  ObjectTree* tree_;
  RecordsView* records_;
  QListWidget* output_;
  QLabel* caption_;
  QProgressBar* progress_;
  QAction* stop_action_;

  // Preview state: the node on screen and its screens.
  QTreeWidgetItem* preview_item_ = nullptr;
  std::unique_ptr<EngineContext> preview_ctx_;
  std::unique_ptr<TablePreview> preview_;
  std::unique_ptr<PreviewPager> pager_;
  bool last_screen_full_ = false;
};

}  // namespace vostrel::gui
