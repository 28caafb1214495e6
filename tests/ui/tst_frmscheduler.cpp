#include "controlchannel.h"
#include "texts.h"
#include "uiplant.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTimer>
#include <QToolBar>

using namespace vorn;
using namespace vorn::test;

namespace {

const QList<Op> demoOps{
    {QStringLiteral("P1"), QStringLiteral("Mill1"), QStringLiteral("O7"), 300, 400, 310, 420},
    {QStringLiteral("P2"), QStringLiteral("Lathe2"), QString(), 100, 900, 0, 0},
    {QStringLiteral("P1"), QStringLiteral("Lathe2"), QStringLiteral("O7"), 500, 700, 0, 0},
};

QString menuTree(QMenuBar *bar)
{
    QStringList menus;
    for (QAction *menuAction : bar->actions()) {
        QStringList items;
        for (QAction *item : menuAction->menu()->actions())
            items << (item->isSeparator() ? QStringLiteral("-") : item->text());
        menus << menuAction->text() + u'[' + items.join(u',') + u']';
    }
    return menus.join(u' ');
}

} // namespace

class tst_frmScheduler : public QObject {
    Q_OBJECT
private slots:
    void init() { SetLanguage(LanguageEnglish); }

    void toolbarHasTheTenButtonsInOrder()
    {
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load();

        QStringList keys;
        for (QAction *action : window->MainToolbar()->actions())
            keys << (action->isSeparator() ? QStringLiteral("|") : action->objectName());
        QCOMPARE(keys, (QStringList{"online", "|", "machine", "part", "|", "clean", "open", "save", "|", "show"}));
        const QList<std::pair<QString, QString>> tips{
            {"online", "Online"}, {"machine", "Sort By Machine"}, {"part", "Sort By Part"},
            {"clean", "Clean"}, {"open", "Open..."}, {"save", "Save As..."}};
        for (const auto &[key, tip] : tips) {
            QAction *button = window->toolbarButton(key);
            QVERIFY(button->isCheckable());
            QCOMPARE(button->toolTip(), tip);
            QCOMPARE(button->statusTip(), tip);
            QVERIFY2(!button->icon().pixmap(QSize(24, 23)).isNull(), qPrintable(key));
        }
        // The view controls sit in the toolbar row, 6500 twips wide.
        QWidget *frame = window->findChild<QWidget *>(QStringLiteral("FrameShow"));
        QCOMPARE(frame->width(), window->twipsToPixels(6500));
        QVERIFY(window->MainToolbar()->isAncestorOf(window->CmbInterval()));
        QVERIFY(window->MainToolbar()->isAncestorOf(window->ShowCol(5)));
    }

    void menuTreeInTheStartLanguage_data()
    {
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QString>("tree");
        const QString english = QStringLiteral(
            "&File[&Open...,&Save As...,-,&Clean,-,&Exit] "
            "&Display[Online,-,Sort By &Machine,Sort By &Part,-,&Resize] &Help[&Plantora Help,-,&About...]");
        QTest::newRow("english") << QByteArray("ENG") << english;
        QTest::newRow("chinese") << QByteArray("CN")
                                 << QStringLiteral("文件[打开...,另存为...,-,清除,-,退出] "
                                                   "显示[联机,-,按机器排序,按部件排序,-,调整大小] "
                                                   "帮助[Plantora 帮助,-,关于...]");
        QTest::newRow("cn-lower-case-is-english") << QByteArray("cn") << english;
    }

    void menuTreeInTheStartLanguage()
    {
        QFETCH(QByteArray, language);
        QFETCH(QString, tree);
        Plant plant;
        plant.writeTables(demoOps);
        plant.writeFile(plant.binFolder() + QStringLiteral("/LANGUAGE.INI"),
                        "[GENERAL]\r\nApplicationLanguage=" + language + "\r\n");
        auto window = plant.load();

        QCOMPARE(menuTree(window->menuBar()), tree);
        for (QAction *menuAction : window->menuBar()->actions())
            for (QAction *item : menuAction->menu()->actions())
                QVERIFY2(item->shortcut().isEmpty(), qPrintable(item->objectName()));
        QVERIFY(window->menuItem("mnuOnLine")->isChecked());
        QVERIFY(window->menuItem("mnuResize")->isChecked());
    }

    void languageChangeAtRunTime()
    {
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load(QStringLiteral("Cell7"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Vorn Scheduler (Cell7) On-Line"));

        window->channel()->handleChangeLanguage(LanguageChinese, QStringLiteral("Chinese (China)"));
        QCOMPARE(window->menuItem("mnuFile")->text(), QStringLiteral("文件"));
        QCOMPARE(window->ShowCol(5)->text(), QStringLiteral("持续时间"));
        QCOMPARE(window->Label(1)->text(), QStringLiteral("间隔 （分钟）"));
        // The title falls back to text 1; tool tips, status texts and grid
        // headers keep the start language; the corner follows the next fill.
        QCOMPARE(window->windowTitle(), QStringLiteral("Vorn 调度"));
        QCOMPARE(window->toolbarButton("online")->toolTip(), QStringLiteral("Online"));
        QCOMPARE(window->StatusPanel(1)->text(), QStringLiteral("Ready"));
        QCOMPARE(window->fg()->data().text(0, 2), QStringLiteral("Planned"));
        QCOMPARE(window->fg()->data().text(0, 1), QStringLiteral("Part/Machine"));
        window->FillTree(1);
        QCOMPARE(window->fg()->data().text(0, 1), QStringLiteral("机器/部件"));
        // The full title has no blank before the mode in Chinese.
        window->UpdateTitle();
        QCOMPARE(window->windowTitle(), QStringLiteral("Vorn 调度 [Vorn Scheduler] (Cell7)在线"));
    }

    void loadAppliesTheSettings()
    {
        Plant plant;
        plant.writeTables(demoOps);
        plant.writeFile(plant.state.SettingsFile,
                        "[scheduler]\r\nTimer=250\r\nPlanBegVisible=1\r\nPlanDurVisible=0\r\n"
                        "Interval=7\r\nSortOrder=-1\r\nBaseDate=Mon Mar 04 2024\r\nBaseTime=06:30:00\r\n");
        auto window = plant.load();

        QCOMPARE(window->Timer1()->interval(), 250);
        QVERIFY(window->Timer1()->isActive());
        QCOMPARE(plant.state.IntervalText, QStringLiteral("12"));
        QCOMPARE(window->fg()->data().cols(), 128);
        // A stored 0 for a duration column comes back as shown.
        const bool shown[6] = {true, false, true, false, false, true};
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(window->ShowCol(i)->isChecked(), shown[i]);
            QCOMPARE(window->fg()->data().colHidden(i + 2), !shown[i]);
        }
        QCOMPARE(plant.state.SortOrder, qint16(1));
        QVERIFY(window->menuItem("mnuMachineSort")->isChecked());
        QCOMPARE(window->StatusPanel(2)->text(), QStringLiteral("Base Time: Mon Mar 04 2024 (06:30:00)"));
        QVERIFY(window->toolbarButton("online")->isChecked());
        QVERIFY(!window->toolbarButton("open")->isEnabled());
        QVERIFY(window->menuItem("mnuOpen")->isEnabled());
    }

    void fillGroupsTheTable_data()
    {
        QTest::addColumn<int>("sortOrder");
        QTest::addColumn<QString>("corner");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("by-part")
            << 0 << QStringLiteral("Part/Machine")
            << QStringList{"0:1 P1(O7)|00:05:00|00:11:40|00:06:40|00:05:10|00:07:00|00:01:50",
                           "1:1 Mill1|00:05:00|00:06:40|00:01:40|00:05:10|00:07:00|00:01:50",
                           "1:3 Lathe2|00:08:20|00:11:40|00:03:20|||",
                           "0:2 P2|00:01:40|00:15:00|00:13:20|||",
                           "1:2 Lathe2|00:01:40|00:15:00|00:13:20|||"};
        QTest::newRow("by-machine")
            << 1 << QStringLiteral("Machine/Part")
            << QStringList{"0:1 Mill1|00:05:00|00:06:40|00:01:40|00:05:10|00:07:00|00:01:50",
                           "1:1 P1(O7)|00:05:00|00:06:40|00:01:40|00:05:10|00:07:00|00:01:50",
                           "0:2 Lathe2|00:01:40|00:15:00|00:13:20|||",
                           "1:2 P2|00:01:40|00:15:00|00:13:20|||",
                           "1:3 P1(O7)|00:08:20|00:11:40|00:03:20|||"};
        // Any other grouping fills nothing and leaves the marks of the last one.
        QTest::newRow("other-sort-order") << 5 << QStringLiteral("Machine/Part") << QStringList{};
    }

    void fillGroupsTheTable()
    {
        QFETCH(int, sortOrder);
        QFETCH(QString, corner);
        QFETCH(QStringList, rows);
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load();
        window->FillTree(1);

        window->FillTree(qint16(sortOrder));
        QCOMPARE(body(*window), rows);
        const chart::GridData &grid = window->fg()->data();
        QCOMPARE(grid.text(0, 1), corner);
        const bool byPart = sortOrder == 0;
        QCOMPARE(window->toolbarButton("machine")->isChecked(), !byPart);
        QCOMPARE(window->toolbarButton("part")->isChecked(), byPart);
        QCOMPARE(window->menuItem("mnuMachineSort")->isChecked(), !byPart);
        QCOMPARE(window->menuItem("mnuPartSort")->isChecked(), byPart);
        QVERIFY(window->fg()->redraw());
        if (!rows.isEmpty())
            QCOMPARE(std::pair(grid.row(), grid.col()), std::pair(2, 1));
    }

    void missingTablesAreReportedOnceEach_data()
    {
        QTest::addColumn<QStringList>("missing");
        QTest::newRow("schedule") << QStringList{"Scheduler"};
        QTest::newRow("plan-and-process") << QStringList{"Aplan", "Process"};
        QTest::newRow("all-three") << QStringList{"Scheduler", "Aplan", "Process"};
    }

    void missingTablesAreReportedOnceEach()
    {
        QFETCH(QStringList, missing);
        Plant plant;
        plant.writeTables(demoOps);
        for (const QString &name : missing)
            QVERIFY(QFile::remove(plant.dataFile(name + QStringLiteral(".dbf"))));

        MessageRecorder recorder;
        auto window = plant.load();
        QCOMPARE(recorder.texts(), QStringList(missing.size(), QStringLiteral("Open Failed")));
        QCOMPARE(body(*window), QStringList());
        QCOMPARE(window->windowTitle(), QStringLiteral("Vorn Scheduler () On-Line"));
        QVERIFY(window->fg()->redraw());
    }

    void exitWritesNothingCloseWritesSettings()
    {
        Plant plant;
        plant.writeTables(demoOps);
        const QByteArray original = "; kept\r\n[SCHEDULER]\r\nTimer=500\r\nOther=x\r\n";
        plant.writeFile(plant.state.SettingsFile, original);
        auto window = plant.load();
        window->ShowCol(0)->setChecked(true);
        window->ShowCol(5)->setChecked(false);
        window->CmbInterval()->setCurrentIndex(4);
        window->toolbarButton("machine")->trigger();

        window->menuItem("mnuExit")->trigger();
        QCOMPARE(plant.exits, 1);
        QCOMPARE(plant.settings(), original);

        QSignalSpy unloaded(window.get(), &frmScheduler::unloaded);
        QVERIFY(window->close());
        QCOMPARE(unloaded.size(), 1);
        const QByteArray written = plant.settings();
        QVERIFY(written.startsWith(original));
        for (const char *line : {"PlanBegVisible=1", "ActDurVisible=0", "Interval=4", "SortOrder=1"})
            QVERIFY2(written.contains(line), line);
    }

    void cleanAsksFirst_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("answer-no") << false;
        QTest::newRow("answer-yes") << true;
    }

    void cleanAsksFirst()
    {
        QFETCH(bool, yes);
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load();
        MessageRecorder recorder(yes ? MessageAnswer::Yes : MessageAnswer::No);

        window->toolbarButton("clean")->trigger();
        QCOMPARE(recorder.texts(), QStringList{"Do you really want to clean the scheduler data?"});
        QCOMPARE(recorder.requests[0].title, QStringLiteral("Vorn Scheduler"));
        QCOMPARE(recorder.requests[0].buttons, MessageButtons::YesNo);
        store::DbfTable table;
        QVERIFY(table.open(plant.dataFile("Scheduler.dbf")).ok);
        QCOMPARE(table.recordCount(), yes ? 0 : 3);
        QCOMPARE(body(*window).size(), yes ? 0 : 5);
        QCOMPARE(plant.state.ReloadRequested, yes);
        // The click pressed the button and nothing releases it; the next click does.
        QVERIFY(window->toolbarButton("clean")->isChecked());
        window->toolbarButton("clean")->trigger();
        QVERIFY(!window->toolbarButton("clean")->isChecked());
    }

    void switchOnlineBothWays()
    {
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load(QStringLiteral("W"));
        plant.state.LoadedName = QStringLiteral("copy");

        for (bool online : {false, true}) {
            window->toolbarButton("online")->trigger();
            QCOMPARE(plant.state.Offline, qint16(online ? 0 : 1));
            QCOMPARE(window->Timer1()->isActive(), online);
            QCOMPARE(window->menuItem("mnuOnLine")->isChecked(), online);
            QCOMPARE(window->toolbarButton("online")->isChecked(), online);
            QCOMPARE(window->toolbarButton("clean")->isEnabled(), online);
            QCOMPARE(window->menuItem("mnuClean")->isEnabled(), online);
            QCOMPARE(window->toolbarButton("open")->isEnabled(), !online);
            QCOMPARE(window->menuItem("mnuOpen")->isEnabled(), !online);
            QVERIFY(plant.state.LoadedName.isEmpty());
            QCOMPARE(window->windowTitle(),
                     online ? QStringLiteral("Vorn Scheduler (W) On-Line") : QStringLiteral("Vorn Scheduler (W) Off-Line"));
        }
    }

    void offlineOpenShowsASavedCopy()
    {
        Plant plant;
        plant.writeTables(demoOps);
        QDir(plant.state.DataFolder).mkpath(QStringLiteral("Scheduler"));
        writeSchedule(plant.dataFile(QStringLiteral("Scheduler/Monday.dbf")),
                      {{QStringLiteral("PX"), QStringLiteral("Wash"), QString(), 60, 120, 0, 0}});
        auto window = plant.load();
        window->setOpenDialog([](frmScheduler &w, bool) {
            w.state().LoadedName = QStringLiteral("Monday");
            w.FillTree(w.state().SortOrder);
        });
        window->RunCommand(Command::OnlineToggle);
        window->toolbarButton("open")->trigger();
        QVERIFY(!window->toolbarButton("open")->isChecked());
        QCOMPARE(window->windowTitle(), QStringLiteral("Vorn Scheduler () Off-Line: Monday"));
        QCOMPARE(body(*window), (QStringList{"0:1 PX|00:01:00|00:02:00|00:01:00|||",
                                             "1:1 Wash|00:01:00|00:02:00|00:01:00|||"}));
    }

    void tickGuards_data()
    {
        QTest::addColumn<int>("sortOrder");
        QTest::addColumn<int>("offline");
        QTest::addColumn<bool>("stopped");
        QTest::addColumn<bool>("refreshes");
        QTest::newRow("online-following") << 0 << 0 << false << true;
        QTest::newRow("loading-sort-order") << 10 << 0 << false << false;
        QTest::newRow("negative-sort-order") << -1 << 0 << false << false;
        QTest::newRow("offline") << 1 << 1 << false << false;
        QTest::newRow("stopped") << 1 << 0 << true << false;
    }

    void tickGuards()
    {
        QFETCH(int, sortOrder);
        QFETCH(int, offline);
        QFETCH(bool, stopped);
        QFETCH(bool, refreshes);
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load();
        window->FillTree(1);

        QList<Op> changed = demoOps;
        changed[0].startP = 360;
        plant.writeTables(changed);
        plant.state.SortOrder = qint16(sortOrder);
        plant.state.Offline = qint16(offline);
        plant.state.UpdatesStopped = stopped;
        window->Timer1_Timer();
        QCOMPARE(window->fg()->data().text(3, 2), refreshes ? QStringLiteral("00:06:00") : QStringLiteral("00:05:00"));
    }

    void tickAfterCleanWaitsForRecords()
    {
        Plant plant;
        plant.writeTables({});
        auto window = plant.load();
        plant.state.ReloadRequested = true;
        window->Timer1_Timer();
        QVERIFY(plant.state.ReloadRequested);

        plant.writeTables(demoOps);
        window->Timer1_Timer();
        QVERIFY(!plant.state.ReloadRequested);
        QCOMPARE(body(*window).size(), 5);
    }

    void tickKeepsTheScrollPosition()
    {
        QList<Op> many;
        for (int i = 0; i < 200; ++i)
            many << Op{QStringLiteral("P%1").arg(i), QStringLiteral("M%1").arg(i % 7), QString(), 60 * i, 60 * i + 300};
        Plant plant;
        plant.writeTables(many);
        auto window = plant.load();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->fg()->setTopRow(50);
        window->fg()->setLeftCol(300);
        const std::pair before(window->fg()->topRow(), window->fg()->leftCol());
        QVERIFY(before.first > 2 && before.second > 8);
        const auto borders = window->fg()->data().borders().size();
        for (int tick = 0; tick < 3; ++tick)
            window->Timer1_Timer();
        QCOMPARE(std::pair(window->fg()->topRow(), window->fg()->leftCol()), before);
        // Ticks run all day: the borders they draw must not pile up.
        QCOMPARE(window->fg()->data().borders().size(), borders);
    }

    void oneMessageBoxAtATime()
    {
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load();
        QVERIFY(QFile::remove(plant.dataFile(QStringLiteral("Scheduler.dbf"))));

        // While the box of a tick is open, ticks arrive from its event loop;
        // none of them may raise a second box.
        MessageRecorder recorder;
        int nestedTicks = 0;
        recorder.onMessage = [&] {
            if (nestedTicks++ < 3)
                window->Timer1_Timer();
        };
        window->Timer1_Timer();
        QCOMPARE(recorder.requests.size(), 1);
        // Once it has closed, the next tick tries again.
        window->Timer1_Timer();
        QCOMPARE(recorder.requests.size(), 2);
    }

    void resizeCommandOnlyTogglesTheMark()
    {
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load();
        QAction *resize = window->menuItem("mnuResize");
        const int width1 = window->fg()->data().colWidth(1);
        resize->trigger();
        QVERIFY(!resize->isChecked());
        QCOMPARE(window->fg()->data().colWidth(1), width1);
    }

    void helpAndCloseMessages()
    {
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load();
        window->show();
        window->menuItem("mnuVornHelp")->trigger();
        window->channel()->handleHelp();
        const QString manual = plant.binFolder() + QStringLiteral("/PlantoraUserManual.pdf");
        QCOMPARE(plant.opened, (QStringList{manual, manual}));

        QSignalSpy unloaded(window.get(), &frmScheduler::unloaded);
        window->channel()->handleClose();
        QVERIFY(plant.state.CloseRequested);
        QTRY_COMPARE(unloaded.size(), 1);
        QVERIFY(!window->isVisible());
    }
};

QTEST_MAIN(tst_frmScheduler)
#include "tst_frmscheduler.moc"
