#include "texts.h"
#include "uiplant.h"

using namespace vorn;
using namespace vorn::test;

namespace {

const QList<Op> demoOps{
    {QStringLiteral("P1"), QStringLiteral("Mill1"), QStringLiteral("O7"), 300, 400, 310, 420},
    {QStringLiteral("P2"), QStringLiteral("Lathe2"), QString(), 100, 900, 0, 0},
    {QStringLiteral("P1"), QStringLiteral("Lathe2"), QStringLiteral("O7"), 500, 700, 0, 0},
};

std::unique_ptr<frmScheduler> demoWindow(Plant &plant, const QString &commandLine = QString())
{
    plant.writeTables(demoOps);
    return plant.load(commandLine);
}

} // namespace

class tst_frmScheduler : public QObject {
    Q_OBJECT
private slots:
    void init() { SetLanguage(LanguageEnglish); }

    void menusAndToolbarInTheStartLanguage_data()
    {
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QString>("menus");
        QTest::addColumn<QString>("toolbar");   // key=tool tip, "|" for a separator
        const QString menus = QStringLiteral("&File[&Open...,&Save As...,E&xport...,-,&Clean,-,&Exit] "
                                             "&Display[Online,-,Sort By &Machine,Sort By &Part,-,&Resize] "
                                             "&Help[&Plantora Help,-,&About...]");
        const QString toolbar = QStringLiteral("online=Online | machine=Sort By Machine part=Sort By Part | "
                                               "clean=Clean open=Open... save=Save As... | show=");
        QTest::newRow("english") << QByteArray("ENG") << menus << toolbar;
        QTest::newRow("chinese") << QByteArray("CN")
                                 << QStringLiteral("文件[打开...,另存为...,导出...,-,清除,-,退出] "
                                                   "显示[联机,-,按机器排序,按部件排序,-,调整大小] 帮助[Plantora 帮助,-,关于...]")
                                 << QStringLiteral("online=联机 | machine=按机器排序 part=按部件排序 | "
                                                   "clean=清除 open=打开... save=另存为... | show=");
        QTest::newRow("cn-lower-case-is-english") << QByteArray("cn") << menus << toolbar;
    }

    void menusAndToolbarInTheStartLanguage()
    {
        QFETCH(QByteArray, language);
        QFETCH(QString, menus);
        QFETCH(QString, toolbar);
        Plant plant;
        writeFile(plant.binFolder() + QStringLiteral("/LANGUAGE.INI"),
                  "[GENERAL]\r\nApplicationLanguage=" + language + "\r\n");
        auto window = demoWindow(plant);
        QStringList tree;
        for (QAction *menuAction : window->menuBar()->actions()) {
            QStringList items;
            for (QAction *item : menuAction->menu()->actions()) {
                items << (item->isSeparator() ? QStringLiteral("-") : item->text());
                QVERIFY2(item->shortcut().isEmpty(), qPrintable(item->objectName()));
            }
            tree << menuAction->text() + u'[' + items.join(u',') + u']';
        }
        QCOMPARE(tree.join(u' '), menus);
        QVERIFY(window->menuItem("mnuOnLine")->isChecked());

        QStringList buttons;
        for (QAction *action : window->MainToolbar()->actions()) {
            buttons << (action->isSeparator() ? QStringLiteral("|") : action->objectName() + u'=' + action->toolTip());
            if (!action->isSeparator() && action->objectName() != QLatin1String("show"))
                QVERIFY2(action->isCheckable() && action->statusTip() == action->toolTip()
                             && !action->icon().pixmap(QSize(24, 23)).isNull(), qPrintable(action->objectName()));
        }
        QCOMPARE(buttons.join(u' '), toolbar);
    }

    void fillGroupsTheTable_data()
    {
        QTest::addColumn<int>("sortOrder");
        QTest::addColumn<QString>("corner");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("by-part") << 0 << QStringLiteral("Part/Machine")
                                 << QStringList{"0:1 P1(O7)|00:05:00|00:11:40|00:06:40|00:05:10|00:07:00|00:01:50",
                                                "1:1 Mill1|00:05:00|00:06:40|00:01:40|00:05:10|00:07:00|00:01:50",
                                                "1:3 Lathe2|00:08:20|00:11:40|00:03:20|||",
                                                "0:2 P2|00:01:40|00:15:00|00:13:20|||",
                                                "1:2 Lathe2|00:01:40|00:15:00|00:13:20|||"};
        QTest::newRow("by-machine") << 1 << QStringLiteral("Machine/Part")
                                    << QStringList{"0:1 Mill1|00:05:00|00:06:40|00:01:40|00:05:10|00:07:00|00:01:50",
                                                   "1:1 P1(O7)|00:05:00|00:06:40|00:01:40|00:05:10|00:07:00|00:01:50",
                                                   "0:2 Lathe2|00:01:40|00:15:00|00:13:20|||",
                                                   "1:2 P2|00:01:40|00:15:00|00:13:20|||",
                                                   "1:3 P1(O7)|00:08:20|00:11:40|00:03:20|||"};
    }

    void fillGroupsTheTable()
    {
        QFETCH(int, sortOrder);
        QFETCH(QString, corner);
        QFETCH(QStringList, rows);
        Plant plant;
        auto window = demoWindow(plant);
        window->FillTree(1);   // a later part fill lands group rows on former detail rows

        window->FillTree(qint16(sortOrder));
        QCOMPARE(body(*window), rows);
        const chart::GridData &grid = window->fg()->data();
        QCOMPARE(grid.text(0, 1), corner);
        for (int r = 2; r < grid.rows(); ++r) {
            // Group rows: green key on a grey band up to the last column.
            const bool group = grid.rowOutlineLevel(r) == 0;
            QVERIFY(grid.cellFontBold(r, 1));
            QCOMPARE(grid.cellForeColor(r, 1) == QColor(10, 100, 30), group);
            for (int c : {0, 7, grid.cols() - 1})
                QCOMPARE(grid.cellBackColor(r, c) == QColor(226, 226, 226), group);
        }
        const bool byPart = sortOrder == 0;
        QCOMPARE(window->toolbarButton("part")->isChecked(), byPart);
        QCOMPARE(window->menuItem("mnuMachineSort")->isChecked(), !byPart);
        QVERIFY(window->fg()->redraw());
    }

    void missingTablesAreReportedOnceEach_data()
    {
        QTest::addColumn<QStringList>("missing");
        QTest::newRow("schedule") << QStringList{"Scheduler"};
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
        QCOMPARE(recorder.texts, QStringList(missing.size(), QStringLiteral("Open Failed")));
        QCOMPARE(window->windowTitle(), QStringLiteral("Vorn Scheduler () On-Line"));

        // Ticks arriving from the event loop of a tick's box raise no second
        // box; once it has closed, the next tick tries again.
        recorder.texts.clear();
        int nestedTicks = 0;
        recorder.onMessage = [&] {
            if (nestedTicks++ < 3)
                window->Timer1_Timer();
        };
        window->Timer1_Timer();
        window->Timer1_Timer();
        QCOMPARE(recorder.texts, QStringList(2, QStringLiteral("Open Failed")));
    }

    void exitWritesNothingCloseWritesSettings()
    {
        Plant plant;
        const QByteArray original = "; kept\r\n[SCHEDULER]\r\nTimer=500\r\nOther=x\r\n";
        writeFile(plant.state.SettingsFile, original);
        auto window = demoWindow(plant);
        window->ShowCol(0)->setChecked(true);
        window->CmbInterval()->setCurrentIndex(4);
        window->toolbarButton("machine")->trigger();

        window->menuItem("mnuExit")->trigger();
        QCOMPARE(plant.exits, 1);
        QCOMPARE(readFile(plant.state.SettingsFile), original);

        QVERIFY(window->close());
        const QByteArray written = readFile(plant.state.SettingsFile);
        QVERIFY(written.startsWith(original));
        for (const char *line : {"PlanBegVisible=1", "Interval=4", "SortOrder=1"})
            QVERIFY2(written.contains(line), line);
    }

    void cleanAsksFirst()
    {
        Plant plant;
        auto window = demoWindow(plant);
        QAction *clean = window->toolbarButton("clean");
        for (const MessageAnswer answer : {MessageAnswer::No, MessageAnswer::Yes}) {
            MessageRecorder recorder(answer);
            clean->trigger();
            const bool yes = answer == MessageAnswer::Yes;
            QCOMPARE(recorder.texts, QStringList{"Do you really want to clean the scheduler data?"});
            QCOMPARE(recorder.requests[0].buttons, MessageButtons::YesNo);
            store::DbfTable table;
            QVERIFY(table.open(plant.dataFile("Scheduler.dbf")).ok);
            QCOMPARE(table.recordCount(), yes ? 0 : 3);
            QCOMPARE(body(*window).size(), yes ? 0 : 5);
            QCOMPARE(plant.state.ReloadRequested, yes);
            // Each click toggles the button; nothing in the command releases it.
            QCOMPARE(clean->isChecked(), !yes);
        }
    }

    void switchOnlineBothWays()
    {
        Plant plant;
        auto window = demoWindow(plant, QStringLiteral("W"));
        plant.state.LoadedName = QStringLiteral("copy");
        for (bool online : {false, true}) {
            window->toolbarButton("online")->trigger();
            const QList<bool> shown{window->Timer1()->isActive(), window->menuItem("mnuOnLine")->isChecked(),
                                    window->toolbarButton("online")->isChecked(),
                                    window->toolbarButton("clean")->isEnabled(), window->menuItem("mnuClean")->isEnabled(),
                                    !window->toolbarButton("open")->isEnabled(), !window->menuItem("mnuOpen")->isEnabled()};
            QCOMPARE(shown, QList<bool>(7, online));   // timer, checks, clean enabled, open disabled
            QVERIFY(plant.state.LoadedName.isEmpty());
            QCOMPARE(window->windowTitle(), QStringLiteral("Vorn Scheduler (W) ") + (online ? "On-Line" : "Off-Line"));
        }
    }

    void tickGuards_data()
    {
        QTest::addColumn<int>("sortOrder");
        QTest::addColumn<QStringList>("flags");   // state set before the tick; "emptied": a cleaned table
        QTest::addColumn<bool>("refreshes");
        QTest::newRow("online-following") << 0 << QStringList() << true;
        QTest::newRow("loading-sort-order") << 10 << QStringList() << false;
        QTest::newRow("negative-sort-order") << -1 << QStringList() << false;
        QTest::newRow("offline") << 1 << QStringList{"offline"} << false;
        QTest::newRow("stopped") << 1 << QStringList{"stopped"} << false;
        QTest::newRow("reload-waits-for-records") << 1 << QStringList{"reload", "emptied"} << false;
        QTest::newRow("reload-once-records-are-back") << 1 << QStringList{"reload"} << true;
    }

    void tickGuards()
    {
        QFETCH(int, sortOrder);
        QFETCH(QStringList, flags);
        QFETCH(bool, refreshes);
        Plant plant;
        auto window = demoWindow(plant);
        window->FillTree(1);
        QList<Op> changed = demoOps;
        changed[0].startP = 360;
        plant.writeTables(flags.contains("emptied") ? QList<Op>() : changed);
        plant.state.SortOrder = qint16(sortOrder);
        plant.state.Offline = flags.contains("offline") ? 1 : 0;
        plant.state.UpdatesStopped = flags.contains("stopped");
        plant.state.ReloadRequested = flags.contains("reload");

        window->Timer1_Timer();
        QCOMPARE(window->fg()->data().text(3, 2), refreshes ? QStringLiteral("00:06:00") : QStringLiteral("00:05:00"));
        QCOMPARE(plant.state.ReloadRequested, flags.contains("reload") && !refreshes);
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
};

QTEST_MAIN(tst_frmScheduler)
#include "tst_frmscheduler.moc"
