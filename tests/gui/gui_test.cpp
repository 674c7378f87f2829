// The desktop application driven through its real windows (offscreen).
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <QtTest/QtTest>
#include <fstream>

#include "app/about_dialog.h"
#include "app/app_setup.h"
#include "app/file_settings_dialog.h"
#include "app/help_window.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/recent_folders.h"
#include "app/save_dialog.h"
#include "app/texts.h"
#include "model/frm_reader.h"
#include "test_support.h"
#include "tree/table_marks.h"
#include "view/value_delegate.h"

using namespace vostrel;
using namespace vostrel::gui;
namespace fs = std::filesystem;

namespace {

QStringList g_messages;
QList<MessageIcon> g_icons;
Answer g_answer = Answer::kYes;
// Runs when the ibdata1 question comes, to look at the window behind it.
std::function<void()> g_on_ibdata_question;

void RecordMessages() {
  // Answers as the real box would: an OK box can only be acknowledged.
  CurrentMessageHandler() = [](QWidget*, MessageIcon icon, Buttons buttons, const QString& text) {
    g_messages << text;
    g_icons << icon;
    if (buttons == Buttons::kOk) return Answer::kOk;
    // No manual browsing for a missing ibdata1: a file dialog would wait forever.
    if (text == kAskBrowseIbdata) {
      if (g_on_ibdata_question) g_on_ibdata_question();
      return Answer::kNo;
    }
    return g_answer;
  };
}

MessageIcon IconOf(const QString& message) {
  const qsizetype i = g_messages.indexOf(message);
  return i < 0 ? MessageIcon::kNone : g_icons[i];
}

using testing::MakeCountersTable;

// Acts on the dialog of type Dialog once it runs modally (it may open a few
// event-loop turns later, after a queued call).
template <typename Dialog, typename F>
void WhenModal(F act, int tries = 500) {
  QTimer::singleShot(10, [act, tries] {
    auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (d == nullptr && tries > 0) {
      WhenModal<Dialog>(act, tries - 1);
      return;
    }
    QVERIFY(d != nullptr);
    act(d);
  });
}

// The darkest pixel of a widget as drawn: where its text is.
int DarkestGrey(QWidget* w) {
  const QImage image = w->grab().toImage();
  int darkest = 255;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) darkest = std::min(darkest, qGray(image.pixel(x, y)));
  }
  return darkest;
}

QStringList Column(const QTableWidget* t, int column) {
  QStringList out;
  for (int r = 0; r < t->rowCount(); ++r) out << t->item(r, column)->text();
  return out;
}

// A data directory with one table of each kind of finding: readable rows, a
// definition whose rows are missing, and a definition that cannot be read.
fs::path MakeMixedDirectory() {
  const fs::path root = MakeCountersTable("gui-mixed", 50);
  const fs::path sample = testing::SampleDataDir();
  fs::copy_file(sample / "shop/customers.frm",
                root / "legacy/customers.frm");  // no .ibd, no ibdata1
  std::ofstream(root / "legacy/junk.frm", std::ios::binary) << "\xFE\x02nothing";
  return root;
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
  void initTestCase() {
    // Settings of the test's own: nothing read from or left in the user's.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(testing::TempDir("gui-settings").string()));
    QSettings(kSettingsKey, kSettingsKey).clear();
    RecordMessages();
  }
  void init() {
    g_messages.clear();
    g_icons.clear();
    g_answer = Answer::kYes;
    g_on_ibdata_question = nullptr;
  }

  void OpenCommandValidatesTheThreeFolders() {
    auto w = NewWindow();
    const QString data = QString::fromStdString(testing::SampleDataDir().string());
    WhenModal<FileSettingsDialog>([data](FileSettingsDialog* d) {
      QVERIFY(d->temp_path()->text() == QDir::tempPath());
      QVERIFY(!d->log_path()->text().isEmpty());
      d->accept();                                 // no data path
      d->data_path()->setText(data + "/ibdata1");  // a file, not a folder
      d->accept();
      d->data_path()->setText(data);
      d->temp_path()->setText("/nonexistent/tmp");
      d->accept();
      d->temp_path()->setText(data + "/ibdata1");  // any existing path will do
      d->log_path()->setText("/nonexistent/log");
      d->accept();
      QCOMPARE(d->result(), int(QDialog::Rejected));
      d->log_path()->setText(QString::fromStdString(testing::TempDir("gui-open-logs").string()));
      d->accept();
    });
    w->OnOpen();
    QVERIFY(w->WaitIdle(30000));
    QCOMPARE(g_messages.mid(0, 4),
             QStringList({kBadDataPath, kBadDataPath, kBadTempPath, kBadLogPath}));
    QVERIFY(w->scan() != nullptr);
    QCOMPARE(QString::fromStdString(w->scan()->m_scanPath), data + "/");
    QVERIFY(g_messages.contains("Scanning completed for selected database file(s)"));
    QVERIFY(IconOf("Scanning completed for selected database file(s)") ==
            MessageIcon::kInformation);
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
    QCOMPARE(
        QString::fromStdString(w->scan()->m_tableEntries[static_cast<size_t>(d - 1)].displayName),
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
    QTreeWidgetItem* table =
        w->tree()->FindByPath({"MYSQL database", QString::fromStdString(w->scan()->m_scanPath),
                               "legacy", "Tables", "counters"});
    QVERIFY(table != nullptr);
    w->ShowTreeSelection(table);
    QTableWidget* grid = w->records()->grid();
    QCOMPARE(w->caption()->text(), QString("counters[1000]"));
    QCOMPARE(grid->rowCount(), 1000);
    QCOMPARE(grid->horizontalHeaderItem(0)->text(), QString("name"));
    QCOMPARE(grid->verticalHeaderItem(0)->text(), QString("1"));
    QCOMPARE(grid->verticalHeaderItem(999)->text(), QString("1000"));
    QVERIFY(!w->records()->previous()->isEnabled());
    // Widths come from the first screen: the one-letter "flag" column is
    // narrower than the 16-character names, and paging keeps them.
    const int name_width = grid->columnWidth(0);
    const int flag_width = grid->columnWidth(2);
    QVERIFY2(flag_width < name_width, qPrintable(QString("%1 %2").arg(flag_width).arg(name_width)));
    QVERIFY(name_width <= 360);
    w->ShowNextScreen();
    QCOMPARE(w->caption()->text(), QString("1000 rows to 2000"));
    QCOMPARE(grid->item(0, 1)->text(), QString("1000"));
    // The second screen's rows are numbered 1001-2000, as the caption counts them.
    QCOMPARE(grid->verticalHeaderItem(0)->text(), QString("1001"));
    QCOMPARE(grid->verticalHeaderItem(999)->text(), QString("2000"));
    QCOMPARE(grid->columnWidth(0), name_width);
    QVERIFY(!g_messages.contains(kNoMoreRecords));
    w->ShowNextScreen();
    QCOMPARE(w->caption()->text(), QString("2000 rows to 2500"));
    QCOMPARE(w->records()->grid()->rowCount(), 500);
    QCOMPARE(grid->verticalHeaderItem(499)->text(), QString("2500"));
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
    QTreeWidgetItem* keys =
        w->tree()->FindByPath({"MYSQL database", path, "legacy", "Tables", "parts", "Keys"});
    QVERIFY(keys != nullptr);
    w->ShowTreeSelection(keys);
    QCOMPARE(w->records()->grid()->columnCount(), 5);
    QCOMPARE(w->records()->grid()->horizontalHeaderItem(4)->text(), QString("Key Name"));
    QCOMPARE(w->records()->grid()->item(0, 4)->text(), QString("Primary Key"));
    QCOMPARE(w->caption()->text(), QString("Keys[7]"));
    QTreeWidgetItem* view =
        w->tree()->FindByPath({"MYSQL database", path, "shop", "Views", "order_summary"});
    w->ShowTreeSelection(view);
    QVERIFY(w->records()->text()->isVisibleTo(w.get()));
    QVERIFY(w->records()->text()->toPlainText().startsWith("CREATE ALGORITHM=UNDEFINED"));
    QTreeWidgetItem* trigger =
        w->tree()->FindByPath({"MYSQL database", path, "shop", "Trigger", "orders"});
    w->ShowTreeSelection(trigger);
    QVERIFY(w->records()->text()->toPlainText().startsWith(
        "DELIMITER $$\nCREATE TRIGGER orders_after_insert"));
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
    QVERIFY(IconOf("Script Created successfully") == MessageIcon::kInformation);

    // The report in the records view: one row per saved table, in the save's order.
    const RecoveryReport& report = w->last_report();
    ReportTable* view = w->records()->report();
    QVERIFY(view->isVisibleTo(w.get()));
    QVERIFY(!w->records()->grid()->isVisibleTo(w.get()));
    QCOMPARE(view->rowCount(), static_cast<int>(report.tables.size()));
    QCOMPARE(view->columnCount(), 8);
    QCOMPARE(view->horizontalHeaderItem(5)->text(), QString("Rows in files"));
    QCOMPARE(view->item(0, 1)->text(), QString::fromStdString(report.tables[0].table));
    QVERIFY(w->caption()->text().startsWith(
        QString("Recovery report: %1 tables, %1 complete").arg(report.tables.size())));
    // Sorted by rows as numbers, not as texts ("39" after "360" would be text order).
    view->sortByColumn(4, Qt::AscendingOrder);
    QStringList rows = Column(view, 4);
    for (int i = 1; i < rows.size(); ++i)
      QVERIFY(rows[i - 1].toULongLong() <= rows[i].toULongLong());
    // Each saved table carries its mark and what the save found.
    const std::vector<int64_t> entries = ReportEntryIndexes(*w->scan(), report);
    for (size_t i = 0; i < entries.size(); ++i) {
      QVERIFY(entries[i] >= 0);
      TableState state = TableState::kNotRead;
      QVERIFY(t->TableMark(static_cast<size_t>(entries[i]), &state));
      QVERIFY(state == TableState::kComplete);
      QVERIFY(
          t->TableItem(static_cast<size_t>(entries[i]))->toolTip(0).contains("Saved: complete"));
    }
    const fs::path cli_out = testing::TempDir("gui-save-cli");
    std::string ignored;
    testing::RunCommand("'" + testing::CliPath() + "' save '" + testing::SampleDataDir().string() +
                            "' legacy shop --script '" + cli_out.string() +
                            "' --quiet --log-dir '" + cli_out.string() + "' >/dev/null 2>&1",
                        &ignored);
    for (const char* db : {"legacy.sql", "shop.sql"}) {
      std::string a = testing::ReadFileOrEmpty(gui_out / "Scriptdata" / db);
      std::string b = testing::ReadFileOrEmpty(cli_out / "Scriptdata" / db);
      // Blob file paths name each run's own folder.
      for (std::string* s : {&a, &b}) {
        const std::string from = (s == &a ? gui_out : cli_out).string();
        for (size_t p = s->find(from); p != std::string::npos; p = s->find(from, p))
          s->replace(p, from.size(), "OUT");
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
    g_icons.clear();
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
      QCOMPARE(g_messages,
               QStringList({kAskStop, kBusy, kBusy, kBusy, kBusyHelp, kBusyHelp, kBusyClose}));
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
    // Shown as a failure: a warning box, the table marked damaged with the reason.
    for (qsizetype i = 0; i < g_messages.size(); ++i) {
      if (g_messages[i].startsWith("Script saving was stopped"))
        QVERIFY(g_icons[i] == MessageIcon::kWarning);
    }
    TableState state = TableState::kComplete;
    QVERIFY(w->tree()->TableMark(0, &state));
    QVERIFY(state == w->last_report().tables[0].state);
    QVERIFY(w->tree()->TableItem(0)->toolTip(0).contains("stopped"));
    QCOMPARE(w->records()->report()->item(0, 6)->text(),
             QString(TableStateName(w->last_report().tables[0].state)));
    const std::string sql = testing::ReadFileOrEmpty(stopped_out / "Scriptdata/legacy.sql");
    size_t rows = 0;
    for (size_t p = sql.find("INSERT INTO"); p != std::string::npos;
         p = sql.find("INSERT INTO", p + 1))
      ++rows;
    QVERIFY2(rows < 1000000, "the stop came too late to be seen");
    std::printf("rows written before the stop took effect: %zu of 1000000\n", rows);
  }

  void DisabledControlsLookDisabled() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    for (int look : {210, 216, 217, 218, 215}) {
      ApplyLook(*app, look);
      const QPalette p = QApplication::palette();
      for (QPalette::ColorRole role :
           {QPalette::ButtonText, QPalette::Text, QPalette::WindowText}) {
        QVERIFY2(p.color(QPalette::Disabled, role) != p.color(QPalette::Active, role),
                 qPrintable(QString("look %1 role %2").arg(look).arg(int(role))));
      }
      // Disabled text sits between the text and its background.
      const int text = qGray(p.color(QPalette::Active, QPalette::Text).rgb());
      const int base = qGray(p.color(QPalette::Active, QPalette::Base).rgb());
      const int off = qGray(p.color(QPalette::Disabled, QPalette::Text).rgb());
      QVERIFY(std::min(text, base) < off && off < std::max(text, base));
    }
    // As drawn: the idle Stop button's label is lighter than Open's, and the
    // save dialog's inactive folder field differs from the active server field.
    auto w = NewWindow();
    QToolButton* open = w->ribbon()->panels()[0]->buttons()[0];
    QToolButton* stop = w->ribbon()->panels()[0]->buttons()[1];
    QVERIFY(!stop->isEnabled());
    QVERIFY2(DarkestGrey(stop) > DarkestGrey(open) + 40,
             qPrintable(QString("%1 %2").arg(DarkestGrey(stop)).arg(DarkestGrey(open))));
    SaveDialog d;
    d.show();
    d.folder()->setText("/some/folder");
    d.server()->setText("/some/folder");
    QVERIFY(DarkestGrey(d.folder()) > DarkestGrey(d.server()) + 40);
  }

  void RibbonHasTheCategoryAndTwoLabelledPanels() {
    auto w = NewWindow();
    Ribbon* r = w->ribbon();
    QCOMPARE(r->category(), QString("MySQL Database Recovery"));
    QCOMPARE(r->panels().size(), size_t{2});
    QCOMPARE(r->panels()[1]->title(), QString("About"));
    QStringList first, second;
    for (QToolButton* b : r->panels()[0]->buttons()) first << b->text();
    for (QToolButton* b : r->panels()[1]->buttons()) second << b->text();
    QCOMPARE(first, QStringList({"Open", "Stop", "Save MySQL Data"}));
    QCOMPARE(second, QStringList({"Help", "About"}));
    QCOMPARE(r->panels()[0]->buttons()[0]->iconSize(), QSize(32, 32));
    QVERIFY(!r->panels()[0]->title().isEmpty());
  }

  void AboutIsADialogOfItsOwn() {
    auto w = NewWindow();
    bool seen = false;
    WhenModal<AboutDialog>([&seen](AboutDialog* d) {
      seen = true;
      QCOMPARE(d->caption()->text(), QString("Vostrel MySQL Database Recovery(Full) v22.0"));
      QVERIFY(d->description()->text().contains("data files"));
      QCOMPARE(d->ok()->text().remove('&'), QString("OK"));
      d->ok()->click();
    });
    w->OnAbout();
    QVERIFY(seen);
    QVERIFY(g_messages.isEmpty());  // no message box on the way
  }

  void HelpShowsTheUserGuideInAWindow() {
    // Looked for in the installed doc folder first, then beside the executable,
    // then in the source tree.
    const fs::path root = testing::TempDir("gui-guide");
    fs::create_directories(root / "bin");
    fs::create_directories(root / "share/doc/vostrel-recover");
    const QString bin = QString::fromStdString((root / "bin").string());
    QCOMPARE(FindUserGuide(bin), QString(VOSTREL_SOURCE_DIR "/README.md"));
    std::ofstream(root / "bin/README.md") << "# beside\n";
    QCOMPARE(FindUserGuide(bin), bin + "/README.md");
    std::ofstream(root / "share/doc/vostrel-recover/README.md") << "# installed\n";
    QCOMPARE(FindUserGuide(bin),
             QString::fromStdString((root / "share/doc/vostrel-recover/README.md").string()));

    auto w = NewWindow();
    w->OnHelp();
    QVERIFY(g_messages.isEmpty());
    HelpWindow* help = w->help_window();
    QVERIFY(help != nullptr && help->isVisible());
    QCOMPARE(help->path(), FindUserGuide(QApplication::applicationDirPath()));
    QVERIFY(help->isWindow());
    const QString text = help->browser()->toPlainText();
    // Markdown rendered: the heading's text without its "#", code blocks kept.
    QVERIFY(text.contains("Desktop application"));
    QVERIFY(!text.contains("## Desktop application"));
    QVERIFY(text.contains("vostrel-recover scan DATADIR"));
    HelpWindow missing;
    QVERIFY(!missing.Load(QString(), {"/nowhere/README.md"}));
    QVERIFY(missing.browser()->toPlainText().contains("/nowhere/README.md"));
  }

  // A table whose .frm is lost is read through the Open dialog's definitions file;
  // a file that is not there, or does not parse, stops the scan with a message.
  void OpenDialogTakesTableDefinitions() {
    const fs::path data = testing::TempDir("gui-definitions");
    fs::copy(testing::SampleDataDir() / "legacy", data / "legacy");
    fs::remove(data / "legacy/parts.frm");
    const fs::path bad = testing::TempDir("gui-definitions-bad") / "bad.sql";
    std::ofstream(bad) << "CREATE TABLE parts (id frob);\n";
    const QString logs = QString::fromStdString(testing::TempDir("gui-definitions-logs").string());
    auto open_with = [&](const std::string& defs, bool missing_first) {
      auto w = NewWindow();
      WhenModal<FileSettingsDialog>([&](FileSettingsDialog* d) {
        d->data_path()->setText(QString::fromStdString(data.string()));
        d->log_path()->setText(logs);
        if (missing_first) {
          d->definitions_path()->setText("/nowhere/defs.sql");
          d->accept();
          QCOMPARE(d->result(), int(QDialog::Rejected));
        }
        d->definitions_path()->setText(QString::fromStdString(defs));
        QVERIFY(!d->prefer_definitions()->isChecked());
        d->accept();
      });
      w->OnOpen();
      w->WaitIdle(30000);
      return w;
    };
    auto w = open_with((testing::SourceDir() / "tests/fixtures/expected/dump/legacy.sql").string(),
                       true);
    QVERIFY(g_messages.contains(kBadDefinitionsFile));
    const ScanResult* scan = w->scan();
    QVERIFY(scan != nullptr);
    size_t parts = scan->m_tableEntries.size();
    for (size_t i = 0; i < scan->m_tableEntries.size(); ++i) {
      if (scan->m_tableEntries[i].tableName == "parts") parts = i;
    }
    QVERIFY(parts < scan->m_tableEntries.size());
    TableState state = TableState::kNotRead;
    QVERIFY(w->tree()->TableMark(parts, &state));
    QVERIFY(state == TableState::kComplete);
    QVERIFY(w->tree()->TableItem(parts)->toolTip(0).contains("legacy.sql"));

    g_messages.clear();
    g_icons.clear();
    auto refused = open_with(bad.string(), false);
    QVERIFY(refused->scan() == nullptr);
    QVERIFY(!g_messages.isEmpty() && g_messages.back().contains("bad.sql line 1"));
    QVERIFY(IconOf(g_messages.back()) == MessageIcon::kWarning);
  }

  void ScanMarksEveryTableWithWhatItsFilesAllow() {
    auto w = NewWindow();
    Scan(*w, MakeMixedDirectory());
    const ScanResult* scan = w->scan();
    QCOMPARE(w->probes().size(), scan->m_tableEntries.size());
    std::map<std::string, TableState> states;
    for (size_t i = 0; i < scan->m_tableEntries.size(); ++i) {
      TableState s = TableState::kComplete;
      QVERIFY(w->tree()->TableMark(i, &s));
      states[scan->m_tableEntries[i].displayName] = s;
      QVERIFY(!w->tree()->TableItem(i)->toolTip(0).isEmpty());
    }
    QVERIFY(states.at("counters") == TableState::kComplete);
    QVERIFY(states.at("customers") == TableState::kDefinitionOnly);
    QVERIFY(states.at("junk") == TableState::kNotRead);
    auto index_of = [scan](const std::string& name) {
      for (size_t i = 0; i < scan->m_tableEntries.size(); ++i) {
        if (scan->m_tableEntries[i].displayName == name) return i;
      }
      return size_t{0};
    };
    const QString counters = w->tree()->TableItem(index_of("counters"))->toolTip(0);
    QVERIFY(counters.contains("Scan: can be read") && counters.contains("MyISAM") &&
            counters.contains("Rows in the files: "));
    QVERIFY(w->tree()->TableItem(index_of("junk"))->toolTip(0).contains("not a table definition"));
    // Distinct pictures for each finding.
    QSet<QByteArray> images;
    for (const char* name : {"counters", "customers", "junk"}) {
      const QImage im = w->tree()
                            ->TableItem(index_of(name))
                            ->icon(0)
                            .pixmap(16)
                            .toImage()
                            .convertToFormat(QImage::Format_ARGB32);
      images << QByteArray(reinterpret_cast<const char*>(im.constBits()), im.sizeInBytes());
    }
    QCOMPARE(images.size(), 3);
    // The output says how many tables cannot be read, as a problem.
    const auto found =
        w->output()->findItems("3 tables: 1 can be read, 2 cannot be read whole", Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    QVERIFY(found[0]->foreground().color() != w->output()->palette().color(QPalette::Text));
    QVERIFY(IconOf("Scanning completed for selected database file(s)") == MessageIcon::kWarning);
  }

  void TreeGrowsWhileTheScanRuns() {
    auto w = NewWindow();
    int databases_at_question = -1;
    bool counters_at_question = false;
    bool tree_enabled_at_question = true;
    g_on_ibdata_question = [&] {
      QTreeWidgetItem* root = w->tree()->topLevelItem(0);
      if (root == nullptr || root->childCount() == 0) {
        databases_at_question = 0;
        return;
      }
      QTreeWidgetItem* path = root->child(0);
      databases_at_question = path->childCount();
      counters_at_question = w->tree()->FindByPath({"MYSQL database", path->text(0), "legacy",
                                                    "Tables", "counters"}) != nullptr;
      tree_enabled_at_question = w->tree()->isEnabled();
    };
    Scan(*w, MakeCountersTable("gui-growing", 10));  // no ibdata1: the question comes
    QVERIFY(g_messages.contains(kAskBrowseIbdata));
    QCOMPARE(databases_at_question, 1);
    QVERIFY(counters_at_question);
    QVERIFY(!tree_enabled_at_question);  // filled, but not for clicks until the scan ends
    QVERIFY(w->tree()->isEnabled());
    // After the scan the tree is the scan's whole tree, opened as the user left it.
    QCOMPARE(w->tree()->topLevelItem(0)->child(0)->childCount(), 1);
    QVERIFY(w->tree()->TableItem(0) != nullptr);
  }

  void TreeNodesHaveTheirOwnPicturesAndTheDataPathItsTooltip() {
    auto w = NewWindow();
    Scan(*w, testing::SampleDataDir());
    const QString path = QString::fromStdString(w->scan()->m_scanPath);
    ObjectTree* t = w->tree();
    const std::vector<std::pair<QStringList, NodeKind>> nodes = {
        {{"MYSQL database"}, NodeKind::kRoot},
        {{"MYSQL database", path}, NodeKind::kDataPath},
        {{"MYSQL database", path, "shop"}, NodeKind::kDatabase},
        {{"MYSQL database", path, "shop", "Tables"}, NodeKind::kTables},
        {{"MYSQL database", path, "shop", "Tables", "orders"}, NodeKind::kTable},
        {{"MYSQL database", path, "shop", "Tables", "orders", "Keys"}, NodeKind::kKeys},
        {{"MYSQL database", path, "shop", "Views"}, NodeKind::kViews},
        {{"MYSQL database", path, "shop", "Views", "order_summary"}, NodeKind::kView},
        {{"MYSQL database", path, "shop", "Trigger"}, NodeKind::kTriggers},
        {{"MYSQL database", path, "shop", "Trigger", "orders"}, NodeKind::kTrigger},
    };
    QSet<QByteArray> pictures;
    for (const auto& [texts, kind] : nodes) {
      QTreeWidgetItem* item = t->FindByPath(texts);
      QVERIFY2(item != nullptr, qPrintable(texts.join("/")));
      QVERIFY2(ObjectTree::KindOf(item) == kind, qPrintable(texts.join("/")));
      // Tables carry the scan's mark; the others a picture of their kind.
      if (kind == NodeKind::kTable) continue;
      const QImage im = item->icon(0).pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32);
      pictures << QByteArray(reinterpret_cast<const char*>(im.constBits()), im.sizeInBytes());
    }
    // The data path and the Tables group share the folder; all others differ.
    QCOMPARE(pictures.size(), static_cast<int>(nodes.size()) - 2);
    QTreeWidgetItem* data_path = t->FindByPath({"MYSQL database", path});
    QVERIFY(data_path->toolTip(0).contains(path));
    QCOMPARE(t->textElideMode(), Qt::ElideMiddle);
  }

  void GridRowsAreOneLineAndValuesOpenWhole() {
    auto w = NewWindow();
    Scan(*w, testing::SampleDataDir());
    const QString path = QString::fromStdString(w->scan()->m_scanPath);
    w->ShowTreeSelection(
        w->tree()->FindByPath({"MYSQL database", path, "types", "Tables", "t_compact"}));
    QTableWidget* grid = w->records()->grid();
    QVERIFY(grid->rowCount() > 0);
    QVERIFY(!grid->wordWrap());
    // The value with a line break and a tab, and the longest one.
    int br_row = -1, br_col = -1, long_row = -1, long_col = -1;
    qsizetype longest = 0;
    for (int r = 0; r < grid->rowCount(); ++r) {
      QCOMPARE(grid->rowHeight(r), grid->rowHeight(0));
      for (int c = 0; c < grid->columnCount(); ++c) {
        const QString v = grid->item(r, c)->text();
        if (v.contains('\n') && br_row < 0) {
          br_row = r;
          br_col = c;
        }
        if (v.size() > longest) {
          longest = v.size();
          long_row = r;
          long_col = c;
        }
      }
    }
    QVERIFY(br_row >= 0);
    QVERIFY(grid->rowHeight(0) < 2 * grid->fontMetrics().height());
    const QString with_break = grid->item(br_row, br_col)->text();
    QCOMPARE(with_break, QString("line1\nline2\ttab"));
    const QString shown =
        static_cast<QStyledItemDelegate*>(grid->itemDelegate())->displayText(with_break, QLocale());
    QCOMPARE(shown, QString("line1") + QChar(0x21B5) + "line2" + QChar(0x21E5) + "tab");
    // A long value: cut in the cell and its tooltip, whole in the detail view.
    QVERIFY(longest > 2000);
    const QString long_value = grid->item(long_row, long_col)->text();
    QVERIFY(OneLine(long_value).size() < 400);
    QVERIFY(ValueTooltip(long_value).contains(QString("%1 characters in all").arg(longest)));
    QVERIFY(ValueTooltip("<b>bold</b>").contains("&lt;b&gt;"));  // values are never markup
    w->records()->ShowDetail(long_row, long_col);
    ValueDetail* detail = w->records()->detail();
    QVERIFY(detail != nullptr && detail->isVisible());
    QCOMPARE(detail->value()->toPlainText(), long_value);
    QVERIFY(detail->where()->text().startsWith(grid->horizontalHeaderItem(long_col)->text() +
                                               ", row " + QString::number(long_row + 1)));
    // A double-click on the cell opens the same view with that value.
    grid->scrollToItem(grid->item(br_row, br_col));
    const QRect cell = grid->visualRect(grid->model()->index(br_row, br_col));
    // A widget's double-click in QTest comes without its press: the press first.
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, cell.topLeft() + QPoint(8, 8));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.topLeft() + QPoint(8, 8));
    QCOMPARE(detail->value()->toPlainText(), with_break);
  }

  void PanesAreRememberedBetweenSessions() {
    QSettings(kSettingsKey, kSettingsKey).remove(kWindowStateValue);
    {
      auto w = NewWindow();
      w->showNormal();
      w->resize(1200, 800);
      QApplication::processEvents();
      w->resizeDocks({w->tree_pane()}, {410}, Qt::Horizontal);
      w->resizeDocks({w->output_pane()}, {230}, Qt::Vertical);
      QApplication::processEvents();
      w->SaveLayout();
    }
    auto w = NewWindow();
    QApplication::processEvents();
    QVERIFY(!w->isMaximized());
    QCOMPARE(w->size(), QSize(1200, 800));
    QVERIFY2(std::abs(w->tree_pane()->width() - 410) <= 4,
             qPrintable(QString::number(w->tree_pane()->width())));
    QVERIFY2(std::abs(w->output_pane()->height() - 230) <= 4,
             qPrintable(QString::number(w->output_pane()->height())));
    // A scan leaves a layout the user made alone.
    Scan(*w, testing::SampleDataDir());
    QVERIFY(std::abs(w->tree_pane()->width() - 410) <= 4);
    QSettings(kSettingsKey, kSettingsKey).remove(kWindowStateValue);
    QSettings(kSettingsKey, kSettingsKey).remove(kGeometryValue);
    QSettings(kSettingsKey, kSettingsKey).remove(kMaximizedValue);
  }

  void DroppedAndRecentFoldersOpenTheFileDialog() {
    QSettings(kSettingsKey, kSettingsKey).remove("RecentDataFolders");
    auto w = NewWindow();
    const QString sample = QString::fromStdString(testing::SampleDataDir().string());
    // A folder dropped on the window: the dialog comes with it filled in.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(sample)});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &drop);
    QString offered;
    WhenModal<FileSettingsDialog>([&offered](FileSettingsDialog* d) {
      offered = d->data_path()->text();
      d->accept();
    });
    QVERIFY(QTest::qWaitFor([&] { return w->scan() != nullptr && !w->busy(); }, 30000));
    QCOMPARE(offered, sample + "/");
    // A file is not a data folder.
    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(sample + "/ibdata1")});
    QDragEnterEvent refused(QPoint(50, 50), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &refused);
    QVERIFY(!refused.isAccepted());

    // The last four folders, newest first, each once.
    QStringList folders;
    for (int i = 0; i < 5; ++i) {
      folders << QString::fromStdString(
          testing::TempDir("gui-recent-" + std::to_string(i)).string());
    }
    for (const QString& f : folders) AddRecentFolder(f + "/");
    AddRecentFolder(folders[3]);
    QCOMPARE(RecentFolders(), QStringList({folders[3], folders[4], folders[2], folders[1]}));
    emit w->recent_menu()->aboutToShow();
    const QList<QAction*> entries = w->recent_menu()->actions();
    QCOMPARE(entries.size(), 4);
    QCOMPARE(entries[0]->data().toString(), folders[3]);
    WhenModal<FileSettingsDialog>([&offered](FileSettingsDialog* d) {
      offered = d->data_path()->text();
      d->reject();
    });
    entries[1]->trigger();
    QCOMPARE(offered, folders[4] + "/");
  }

  void SaveDialogLeavesTheOtherModesFieldsOff() {
    SaveDialog d;
    d.show();
    auto label_enabled = [&d](const QString& text) {
      for (QLabel* l : d.findChildren<QLabel*>()) {
        if (l->text() == text) return l->isEnabled();
      }
      return false;
    };
    QVERIFY(label_enabled("Server:") && !label_enabled("Saving Folder:"));
    d.script_mode()->setChecked(true);
    QVERIFY(!label_enabled("Server:") && !label_enabled("Password:") &&
            label_enabled("Saving Folder:"));
    // The save's options: the reduced definitions, and room for more.
    QVERIFY(d.options() != nullptr);
    QCOMPARE(d.options()->title(), QString("Options"));
    QVERIFY(d.options()->isVisible());
    QCOMPARE(d.reduced_definitions()->parentWidget(), d.options());
    QVERIFY(!d.reduced_definitions()->isChecked());
    // Multi-row INSERTs: scripts of the full form only.
    QCOMPARE(d.extended_insert()->parentWidget(), d.options());
    QVERIFY(d.extended_insert()->isEnabled() && !d.extended_insert()->isChecked());
    d.reduced_definitions()->setChecked(true);
    QVERIFY(!d.extended_insert()->isEnabled());
    d.reduced_definitions()->setChecked(false);
    d.database_mode()->setChecked(true);
    QVERIFY(!d.extended_insert()->isEnabled());
    d.script_mode()->setChecked(true);
    QVERIFY(d.extended_insert()->isEnabled());
    // Deleted rows are opt-in: off unless asked for.
    QCOMPARE(d.deleted_rows()->parentWidget(), d.options());
    QVERIFY(!d.deleted_rows()->isChecked());
    QVERIFY(!d.choice().deleted_rows);
    auto* box = new QCheckBox("an option");
    d.AddOption(box);
    QVERIFY(d.options()->isVisible());
    QCOMPARE(box->parentWidget(), d.options());
  }

  void TheTreeKeepsTheKeyboardAfterAClick() {
    auto w = NewWindow();
    Scan(*w, testing::SampleDataDir());
    QApplication::setActiveWindow(w.get());
    w->tree()->setFocus();
    const QString path = QString::fromStdString(w->scan()->m_scanPath);
    QTreeWidgetItem* orders =
        w->tree()->FindByPath({"MYSQL database", path, "shop", "Tables", "orders"});
    w->tree()->setCurrentItem(orders);
    QTest::keyClick(w->tree(), Qt::Key_Return);  // Enter shows the node, as a click does
    QCOMPARE(w->caption()->text(), QString("orders[765]"));
    QCOMPARE(w->focusWidget(), w->tree());
    QTest::keyClick(w->tree(), Qt::Key_Down);
    QTest::keyClick(w->tree(), Qt::Key_Return);
    QCOMPARE(w->caption()->text(), QString("sessions[116]"));
    // Enter in the grid opens the current cell's detail.
    w->records()->grid()->setCurrentCell(3, 1);
    QTest::keyClick(w->records()->grid(), Qt::Key_Return);
    QVERIFY(w->records()->detail() != nullptr);
    QCOMPARE(w->records()->detail()->value()->toPlainText(),
             w->records()->grid()->item(3, 1)->text());
  }

  void UnopenableLogFolderIsSaid() {
    auto w = NewWindow();
    w->StartScan(QString::fromStdString(testing::SampleDataDir().string()), QDir::tempPath(),
                 "/nonexistent/logs/");
    QVERIFY(w->WaitIdle(30000));
    QVERIFY(!g_messages.isEmpty());
    QVERIFY(g_messages[0].contains("/nonexistent/logs"));
    QVERIFY(g_icons[0] == MessageIcon::kWarning);
    QVERIFY(w->scan() != nullptr && !w->scan()->m_tableEntries.empty());
  }
};

QTEST_MAIN(GuiTest)
#include "gui_test.moc"
