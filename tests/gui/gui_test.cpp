// The desktop application driven through its real windows (offscreen).
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <QtTest/QtTest>
#include <fstream>

#include "app/file_settings_dialog.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/save_dialog.h"
#include "app/texts.h"
#include "model/frm_reader.h"
#include "test_support.h"

using namespace vostrel;
using namespace vostrel::gui;
namespace fs = std::filesystem;

namespace {

QStringList g_messages;
Answer g_answer = Answer::kYes;

void RecordMessages() {
  // Answers as the real box would: an OK box can only be acknowledged.
  CurrentMessageHandler() = [](QWidget*, MessageIcon, Buttons buttons, const QString& text) {
    g_messages << text;
    if (buttons == Buttons::kOk) return Answer::kOk;
    // No manual browsing for a missing ibdata1: a file dialog would wait forever.
    return text == kAskBrowseIbdata ? Answer::kNo : g_answer;
  };
}

using testing::MakeCountersTable;

template <typename Dialog, typename F>
void WhenModal(F act) {
  QTimer::singleShot(0, [act] {
    auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    QVERIFY(d != nullptr);
    act(d);
  });
}

}  // namespace

class GuiTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<MainWindow> NewWindow() {
    auto w = std::make_unique<MainWindow>(testing::Collations(), testing::DefaultCodePage());
    w->show();
    return w;
  }
  void Scan(MainWindow& w, const fs::path& data) {
    const QString logs = QString::fromStdString(testing::TempDir("gui-logs").string());
    w.StartScan(QString::fromStdString(data.string()), QDir::tempPath(), logs);
    QVERIFY(w.WaitIdle(30000));
  }

 private slots:
  void initTestCase() { RecordMessages(); }
  void init() {
    g_messages.clear();
    g_answer = Answer::kYes;
  }

  void OpenCommandValidatesTheThreeFolders() {
    auto w = NewWindow();
    const QString data = QString::fromStdString(testing::SampleDataDir().string());
    WhenModal<FileSettingsDialog>([data](FileSettingsDialog* d) {
      QVERIFY(d->temp_path()->text() == QDir::tempPath());
      QVERIFY(!d->log_path()->text().isEmpty());
      d->accept();  // no data path
      d->data_path()->setText(data + "/ibdata1");  // a file, not a folder
      d->accept();
      d->data_path()->setText(data);
      d->temp_path()->setText("/nonexistent/tmp");
      d->accept();
      d->temp_path()->setText(data + "/ibdata1");  // any existing path will do
      d->log_path()->setText("/nonexistent/log");
      d->accept();
      QCOMPARE(d->result(), int(QDialog::Rejected));
      d->log_path()->setText(QDir::tempPath());
      d->accept();
    });
    w->OnOpen();
    QVERIFY(w->WaitIdle(30000));
    QCOMPARE(g_messages.mid(0, 4), QStringList({kBadDataPath, kBadDataPath, kBadTempPath, kBadLogPath}));
    QVERIFY(w->scan() != nullptr);
    QCOMPARE(QString::fromStdString(w->scan()->m_scanPath), data + "/");
    QVERIFY(g_messages.contains("Scanning completed for selected database file(s)"));
  }

  void ScanFillsTheTreeWithItemData() {
    auto w = NewWindow();
    Scan(*w, testing::SampleDataDir());
    ObjectTree* t = w->tree();
    QCOMPARE(t->topLevelItem(0)->text(0), QString("MYSQL database"));
    QTreeWidgetItem* path = t->topLevelItem(0)->child(0);
    QCOMPARE(path->childCount(), 5);
    QTreeWidgetItem* shop = path->child(3);
    QCOMPARE(shop->text(0), QString("shop"));
    QCOMPARE(shop->child(0)->text(0), QString("Tables"));
    QCOMPARE(ObjectTree::ItemData(shop->child(0)), ITEMDATA_NODE);
    QTreeWidgetItem* first_table = shop->child(0)->child(0);
    QCOMPARE(first_table->child(0)->text(0), QString("Keys"));
    QCOMPARE(ObjectTree::ItemData(first_table->child(0)), ITEMDATA_KEYS);
    // Item data are positions in the scan's lists, plus one.
    const int64_t d = ObjectTree::ItemData(first_table);
    QCOMPARE(QString::fromStdString(w->scan()->m_tableEntries[static_cast<size_t>(d - 1)].displayName),
             first_table->text(0));
    QCOMPARE(ObjectTree::ItemData(shop->child(1)), ITEMDATA_VIEWS);
    QCOMPARE(ObjectTree::ItemData(shop->child(2)), ITEMDATA_TRIGGERS);
    QVERIFY(t->FindByPath({"MYSQL database", path->text(0), "my-db", "Tables", "café"}) != nullptr);
  }

  void ChecksPropagateWithThreeStates() {
    auto w = NewWindow();
    Scan(*w, testing::SampleDataDir());
    ObjectTree* t = w->tree();
    QTreeWidgetItem* path = t->topLevelItem(0)->child(0);
    QTreeWidgetItem* legacy = path->child(1);
    QCOMPARE(t->CheckedCount(), 0);
    t->SetChecked(legacy, true);
    QCOMPARE(legacy->checkState(0), Qt::Checked);
    QCOMPARE(legacy->child(0)->child(2)->child(0)->checkState(0), Qt::Checked);  // a Keys node
    QCOMPARE(path->checkState(0), Qt::PartiallyChecked);
    QCOMPARE(t->topLevelItem(0)->checkState(0), Qt::PartiallyChecked);
    // One table unchecked: database and Tables become three-state; the walk
    // then yields the remaining tables, not the database.
    QTreeWidgetItem* tables = legacy->child(0);
    t->SetChecked(tables->child(0), false);
    QCOMPARE(tables->checkState(0), Qt::PartiallyChecked);
    QCOMPARE(legacy->checkState(0), Qt::PartiallyChecked);
    QTreeWidgetItem* first = t->FirstChecked();
    QCOMPARE(first, tables->child(1));
    const auto items = t->CheckedItems();
    QCOMPARE(items.size(), size_t(10));  // 5 tables + their Keys nodes
    // Clicking a three-state box (what the user does) checks everything below.
    legacy->setCheckState(0, Qt::Checked);
    QCOMPARE(tables->child(0)->checkState(0), Qt::Checked);
    QCOMPARE(legacy->checkState(0), Qt::Checked);
    t->SetChecked(t->topLevelItem(0), false);
    QCOMPARE(t->CheckedCount(), 0);
  }

  void PreviewPagesThroughATableOf2500Rows() {
    auto w = NewWindow();
    Scan(*w, MakeCountersTable("gui-2500", 2500));
    QTreeWidgetItem* table = w->tree()->FindByPath(
        {"MYSQL database", QString::fromStdString(w->scan()->m_scanPath), "legacy", "Tables", "counters"});
    QVERIFY(table != nullptr);
    w->ShowTreeSelection(table);
    QCOMPARE(w->caption()->text(), QString("counters[1000]"));
    QCOMPARE(w->records()->grid()->rowCount(), 1000);
    QCOMPARE(w->records()->grid()->horizontalHeaderItem(0)->text(), QString("name"));
    QVERIFY(!w->records()->previous()->isEnabled());
    w->ShowNextScreen();
    QCOMPARE(w->caption()->text(), QString("1000 rows to 2000"));
    QCOMPARE(w->records()->grid()->item(0, 1)->text(), QString("1000"));
    QVERIFY(!g_messages.contains(kNoMoreRecords));
    w->ShowNextScreen();
    QCOMPARE(w->caption()->text(), QString("2000 rows to 2500"));
    QCOMPARE(w->records()->grid()->rowCount(), 500);
    QVERIFY(g_messages.contains(kNoMoreRecords));
    QVERIFY(!w->records()->next()->isEnabled());
    w->ShowPreviousScreen();
    QCOMPARE(w->caption()->text(), QString("1000 rows to 2000"));
    w->ShowPreviousScreen();
    QCOMPARE(w->caption()->text(), QString("0 rows to 1000"));
    QCOMPARE(w->records()->grid()->item(999, 1)->text(), QString("999"));
    QVERIFY(!w->records()->previous()->isEnabled());
  }

  void KeysViewAndTriggerDefinitions() {
    auto w = NewWindow();
    Scan(*w, testing::SampleDataDir());
    const QString path = QString::fromStdString(w->scan()->m_scanPath);
    QTreeWidgetItem* keys = w->tree()->FindByPath({"MYSQL database", path, "legacy", "Tables", "parts", "Keys"});
    QVERIFY(keys != nullptr);
    w->ShowTreeSelection(keys);
    QCOMPARE(w->records()->grid()->columnCount(), 5);
    QCOMPARE(w->records()->grid()->horizontalHeaderItem(4)->text(), QString("Key Name"));
    QCOMPARE(w->records()->grid()->item(0, 4)->text(), QString("Primary Key"));
    QCOMPARE(w->caption()->text(), QString("Keys[7]"));
    QTreeWidgetItem* view = w->tree()->FindByPath({"MYSQL database", path, "shop", "Views", "order_summary"});
    w->ShowTreeSelection(view);
    QVERIFY(w->records()->text()->isVisibleTo(w.get()));
    QVERIFY(w->records()->text()->toPlainText().startsWith("CREATE ALGORITHM=UNDEFINED"));
    QTreeWidgetItem* trigger = w->tree()->FindByPath({"MYSQL database", path, "shop", "Trigger", "orders"});
    w->ShowTreeSelection(trigger);
    QVERIFY(w->records()->text()->toPlainText().startsWith("DELIMITER $$\nCREATE TRIGGER orders_after_insert"));
    QVERIFY(w->output()->findItems("Scanning process completed.", Qt::MatchExactly).size() >= 3);
  }

  void SaveDialogRules() {
    SaveDialog d;
    QVERIFY(d.database_mode()->isChecked());
    QCOMPARE(d.server()->text(), QString("localhost"));
    QCOMPARE(d.port()->text(), QString("3306"));
    QCOMPARE(d.user()->text(), QString("root"));
    QVERIFY(!d.folder()->isEnabled());
    d.port()->clear();
    d.TestConnectionNow();
    QCOMPARE(g_messages.last(), QString(kNeedPort));
    d.server()->clear();
    d.TestConnectionNow();
    QCOMPARE(g_messages.last(), QString(kNeedServer));
    // OK without a passing test: the test runs, fails, and the dialog stays.
    d.server()->setText("127.0.0.1");
    d.port()->setText("1");
    d.accept();
    QCOMPARE(g_messages.mid(g_messages.size() - 2),
             QStringList({kConnectionFailed, kTestUnsuccessful}));
    QCOMPARE(d.result(), int(QDialog::Rejected));
    d.script_mode()->setChecked(true);
    QVERIFY(d.folder()->isEnabled());
    QVERIFY(!d.server()->isEnabled());
    d.accept();
    QCOMPARE(g_messages.last(), QString(kNeedFolder));
    d.folder()->setText(QDir::tempPath());
    d.accept();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QVERIFY(d.choice().as_script);
    if (const char* port = std::getenv("VOSTREL_TEST_MYSQL_PORT")) {
      SaveDialog live;
      live.server()->setText("127.0.0.1");
      live.port()->setText(port);
      live.accept();  // tests, succeeds, stays open
      QCOMPARE(g_messages.last(), QString(kConnectionOk));
      QCOMPARE(live.result(), int(QDialog::Rejected));
      live.accept();
      QCOMPARE(live.result(), int(QDialog::Accepted));
      QVERIFY(live.choice().to_database);
    }
  }

  void ScriptSaveEqualsTheCommandLine() {
    auto w = NewWindow();
    Scan(*w, testing::SampleDataDir());
    const QString path = QString::fromStdString(w->scan()->m_scanPath);
    ObjectTree* t = w->tree();
    t->SetChecked(t->FindByPath({"MYSQL database", path, "legacy"}), true);
    t->SetChecked(t->FindByPath({"MYSQL database", path, "shop"}), true);
    const fs::path gui_out = testing::TempDir("gui-save");
    SaveChoice choice;
    choice.as_script = true;
    choice.folder = QString::fromStdString(gui_out.string());
    w->StartSave(t->CheckedItems(), choice);
    QVERIFY(w->WaitIdle(60000));
    QVERIFY(g_messages.contains("Script Created successfully"));
    const fs::path cli_out = testing::TempDir("gui-save-cli");
    std::string ignored;
    testing::RunCommand("'" + testing::CliPath() + "' save '" + testing::SampleDataDir().string() +
                            "' legacy shop --script '" + cli_out.string() + "' --quiet --log-dir '" +
                            cli_out.string() + "' >/dev/null 2>&1",
                        &ignored);
    for (const char* db : {"legacy.sql", "shop.sql"}) {
      std::string a = testing::ReadFileOrEmpty(gui_out / "Scriptdata" / db);
      std::string b = testing::ReadFileOrEmpty(cli_out / "Scriptdata" / db);
      // Blob file paths name each run's own folder.
      for (std::string* s : {&a, &b}) {
        const std::string from = (s == &a ? gui_out : cli_out).string();
        for (size_t p = s->find(from); p != std::string::npos; p = s->find(from, p)) s->replace(p, from.size(), "OUT");
      }
      QVERIFY(!a.empty());
      QVERIFY2(a == b, db);
    }
  }

  void StopDuringASaveEndsItAndTheWindowStaysLive() {
    auto w = NewWindow();
    Scan(*w, MakeCountersTable("gui-big", 1000000));
    w->tree()->SetChecked(w->tree()->topLevelItem(0), true);
    SaveChoice choice;
    choice.as_script = true;
    const fs::path out = testing::TempDir("gui-stop");
    choice.folder = QString::fromStdString(out.string());

    // A whole 1,000,000-row save: the event loop keeps turning meanwhile.
    int ticks = 0;
    qint64 longest_gap = 0;
    QElapsedTimer since_tick;
    since_tick.start();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
      ++ticks;
      longest_gap = std::max(longest_gap, since_tick.restart());
    });
    timer.start(5);
    w->StartSave(w->tree()->CheckedItems(), choice);
    QVERIFY(w->busy());
    QVERIFY(w->stop_action()->isEnabled());
    QVERIFY(w->WaitIdle(60000));
    timer.stop();
    QVERIFY(ticks > 2);
    QVERIFY2(longest_gap < 250, qPrintable(QString::number(longest_gap)));
    std::printf("event loop during the save: %d ticks, longest gap %lld ms\n", ticks,
                static_cast<long long>(longest_gap));

    // The same save stopped at once; busy refusals while it runs.
    const fs::path stopped_out = testing::TempDir("gui-stopped");
    choice.folder = QString::fromStdString(stopped_out.string());
    w->StartSave(w->tree()->CheckedItems(), choice);
    QVERIFY(w->busy());
    g_messages.clear();
    w->OnStop();
    QVERIFY(w->stop_requested());
    QVERIFY(w->busy());  // the flag waits for the worker to end
    w->OnOpen();
    w->OnSave();
    w->ShowTreeSelection(w->tree()->topLevelItem(0));
    w->OnHelp();
    w->OnAbout();
    w->close();
    if (w->busy()) {
      QCOMPARE(g_messages, QStringList({kAskStop, kBusy, kBusy, kBusy, kBusyHelp, kBusyHelp, kBusyClose}));
    }
    QVERIFY(w->WaitIdle(60000));
    QVERIFY(!w->busy());
    QVERIFY(!w->stop_requested());
    // A stopped save never passes for a complete one; the report says what is missing.
    QVERIFY(!g_messages.contains("Script Created successfully"));
    QVERIFY(std::any_of(g_messages.begin(), g_messages.end(), [](const QString& m) {
      return m.startsWith("Script saving was stopped: 1 of 1 tables are not complete");
    }));
    QCOMPARE(w->last_report().tables.size(), size_t{1});
    QVERIFY(!w->last_report().tables[0].complete());
    QVERIFY(w->last_report().tables[0].reason.find("stopped") != std::string::npos);
    const std::string sql = testing::ReadFileOrEmpty(stopped_out / "Scriptdata/legacy.sql");
    size_t rows = 0;
    for (size_t p = sql.find("INSERT INTO"); p != std::string::npos; p = sql.find("INSERT INTO", p + 1)) ++rows;
    QVERIFY2(rows < 1000000, "the stop came too late to be seen");
    std::printf("rows written before the stop took effect: %zu of 1000000\n", rows);
  }
};

QTEST_MAIN(GuiTest)
#include "gui_test.moc"
