#include "controlchannel.h"
#include "stalebanner.h"
#include "texts.h"
#include "uiplant.h"

using namespace vorn;
using namespace vorn::test;

namespace {

// `count` operations of `parts` parts on seven machines.
QList<Op> spread(int count, int parts)
{
    QList<Op> ops;
    for (int i = 0; i < count; ++i)
        ops << Op{QStringLiteral("P%1").arg(i % parts), QStringLiteral("M%1").arg(i % 7), QString(), 60 + i, 600 + i};
    return ops;
}

} // namespace

class tst_frmScheduler : public QObject {
    Q_OBJECT
private slots:
    void init() { SetLanguage(LanguageEnglish); }

    // Captions at the start and after a language change at run time: menus,
    // labels and check boxes follow the change; tool tips, the status text and
    // the grid headers stay; the title falls back to text 1 until it is next
    // rebuilt; the corner header follows at the next fill.
    void captionsFollowTheLanguage_data()
    {
        QTest::addColumn<QByteArray>("language");   // LANGUAGE.INI
        QTest::addColumn<qint32>("change");         // a language change at run time; 0: none
        QTest::addColumn<QString>("menus");
        QTest::addColumn<QString>("toolbar");       // key=tool tip, "|" for a separator
        QTest::addColumn<QString>("window");        // title | Label1 | ShowCol(2) | status | header(1,2) | corner
        const QString menus = QStringLiteral("&File[&Open...,&Save As...,E&xport...,-,&Print...,Print Pre&view...,-,&Clean,-,&Exit] "
                                             "&Display[Online,-,Sort By &Machine,Sort By &Part,-,&Resize,-,Live overlays,Collapse all,Expand all] "
                                             "&Help[&Plantora Help,-,&About...]");
        const QString toolbar = QStringLiteral("online=Online | machine=Sort By Machine part=Sort By Part | "
                                               "clean=Clean open=Open... save=Save As... | show=");
        const QString chineseMenus = QStringLiteral("文件[打开...,另存为...,导出...,-,打印...,打印预览...,-,清除,-,退出] "
                                                    "显示[联机,-,按机器排序,按部件排序,-,调整大小,-,实时叠加显示,全部折叠,全部展开] 帮助[Plantora 帮助,-,关于...]");
        const QString chineseToolbar = QStringLiteral("online=联机 | machine=按机器排序 part=按部件排序 | "
                                                      "clean=清除 open=打开... save=另存为... | show=");
        QTest::newRow("english") << QByteArray("ENG") << 0 << menus << toolbar
                                 << "Vorn Scheduler () On-Line|Interval (min)|Duration|Ready|Start|Part/Machine";
        QTest::newRow("chinese") << QByteArray("CN") << 0 << chineseMenus << chineseToolbar
                                 << "Vorn 调度 [Vorn Scheduler] ()在线|间隔 （分钟）|持续时间|就续|开始|部件/机器";
        QTest::newRow("english-then-chinese-at-run-time")
            << QByteArray("ENG") << qint32(LanguageChinese) << chineseMenus << toolbar
            << "Vorn 调度|间隔 （分钟）|持续时间|Ready|Start|Part/Machine";
    }

    void captionsFollowTheLanguage()
    {
        QFETCH(QByteArray, language);
        QFETCH(qint32, change);
        Plant plant;
        QVERIFY(writeFile(plant.binFolder() + QStringLiteral("/LANGUAGE.INI"),
                  "[GENERAL]\r\nApplicationLanguage=" + language + "\r\n"));
        auto form = plant.loadDemo();
        if (change != 0)
            form->channel()->handleChangeLanguage(change, QStringLiteral("any"));
        QStringList tree;
        for (QAction *menuAction : form->menuBar()->actions()) {
            QStringList items;
            for (QAction *item : menuAction->menu()->actions()) {
                items << (item->isSeparator() ? QStringLiteral("-") : item->text());
                QVERIFY2(item->shortcut().isEmpty(), qPrintable(item->objectName()));
            }
            tree << menuAction->text() + u'[' + items.join(u',') + u']';
        }
        QTEST(tree.join(u' '), "menus");
        QVERIFY(form->menuItem("mnuOnLine")->isChecked());

        QStringList buttons;
        for (QAction *action : form->MainToolbar()->actions()) {
            buttons << (action->isSeparator() ? QStringLiteral("|") : action->objectName() + u'=' + action->toolTip());
            if (!action->isSeparator() && action->objectName() != QLatin1String("show"))
                QVERIFY2(action->isCheckable() && action->statusTip() == action->toolTip()
                             && !action->icon().pixmap(QSize(24, 23)).isNull(), qPrintable(action->objectName()));
        }
        QTEST(buttons.join(u' '), "toolbar");

        const chart::GridData &grid = form->fg()->data();
        QTEST(QStringList({form->windowTitle(), form->Label(1)->text(), form->ShowCol(2)->text(),
                           form->StatusPanel(1)->text(), grid.text(1, 2), grid.text(0, 1)}).join(u'|'),
              "window");
        form->menuItem("mnuPartSort")->trigger();
        QCOMPARE(grid.text(0, 1), GetText(53));
    }

    // Resize (a check mark, on at load, toggled by each click) decides whether
    // a new window size also spreads the leading columns over the grid; the
    // grid always follows the window.
    void resizeFitsColumnsOnlyWhenChecked()
    {
        Plant plant;
        auto window = plant.loadDemo();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const chart::GridData &grid = window->fg()->data();
        const auto widths = [&] { return QList<int>{grid.colWidth(1), grid.colWidth(2), grid.colWidth(7)}; };
        for (const bool fits : {true, false, true}) {
            QCOMPARE(window->menuItem("mnuResize")->isChecked(), fits);
            const QList<int> before = widths();
            const int gridWidth = window->fg()->width();
            window->resize(window->width() + 300, window->height());
            QTRY_COMPARE(window->fg()->width(), gridWidth + 300);
            QCOMPARE(widths() != before, fits);
            window->menuItem("mnuResize")->trigger();
        }
    }

    // The manual opens from the menu, from F1 and from the manager's help
    // message alike.
    void helpOpensTheManual()
    {
        Plant plant;
        auto window = plant.loadDemo();
        QStringList opened;
        window->setOpenUrl([&](const QString &path) { opened << path; });
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        const std::function<void()> ways[] = {[&] { window->menuItem("mnuVornHelp")->trigger(); },
                                              [&] { QTest::keyClick(window.get(), Qt::Key_F1); },
                                              [&] { window->channel()->handleHelp(); }};
        for (const auto &way : ways) {
            opened.clear();
            way();
            QCOMPARE(opened, QStringList{plant.binFolder() + QStringLiteral("/PlantoraUserManual.pdf")});
        }
    }

    // The sort items of the menu refill the grid grouped their way, over
    // the other grouping's rows, and the marks of menu and toolbar follow.
    void sortMenuItemsRegroupTheTable_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("sortOrder");
        QTest::addColumn<QString>("corner");
        QTest::addColumn<QString>("keys");   // level:record key of each row
        QTest::newRow("machine-then-part") << QStringList{"mnuMachineSort", "mnuPartSort"} << 0 << "Part/Machine"
                                           << "0:1 P1(O7)|1:1 Mill1|1:3 Lathe2|0:2 P2|1:2 Lathe2";
        QTest::newRow("machine") << QStringList{"mnuMachineSort"} << 1 << "Machine/Part"
                                 << "0:1 Mill1|1:1 P1(O7)|0:2 Lathe2|1:2 P2|1:3 P1(O7)";
    }

    void sortMenuItemsRegroupTheTable()
    {
        QFETCH(QStringList, items);
        QFETCH(int, sortOrder);
        Plant plant;
        auto window = plant.loadDemo();
        for (const QString &item : items)
            window->menuItem(item)->trigger();
        QCOMPARE(plant.state.SortOrder, sortOrder);
        QStringList keys;
        for (const QString &line : body(*window))
            keys << line.section(u'|', 0, 0);
        QTEST(keys.join(u'|'), "keys");
        const chart::GridData &grid = window->fg()->data();
        QTEST(grid.text(0, 1), "corner");
        for (int r = 2; r < grid.rows(); ++r) {
            // Group rows: green key on a grey band up to the last column.
            const bool group = grid.rowOutlineLevel(r) == 0;
            QVERIFY(grid.cellFontBold(r, 1));
            QCOMPARE(grid.cellForeColor(r, 1) == QColor(10, 100, 30), group);
            for (int c : {0, 7, grid.cols() - 1})
                QCOMPARE(grid.cellBackColor(r, c) == QColor(226, 226, 226), group);
        }
        const bool byMachine = sortOrder == 1;
        QCOMPARE(QList<bool>({window->menuItem("mnuMachineSort")->isChecked(), window->menuItem("mnuPartSort")->isChecked(),
                              window->toolbarButton("machine")->isChecked(), window->toolbarButton("part")->isChecked()}),
                 QList<bool>({byMachine, !byMachine, byMachine, !byMachine}));
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

        // The banner's texts are the overlay model's; it stands above the grid
        // while the live table cannot be read, and not once switched off.
        window->show();
        QVERIFY2(QRegularExpression("^Schedule table unreadable since \\d\\d:\\d\\d:\\d\\d$").match(window->banner()->text()).hasMatch(),
                 qPrintable(window->banner()->text()));
        QVERIFY(window->banner()->isVisible());
        const QRect banner = window->banner()->geometry(), grid = window->fg()->geometry();
        QCOMPARE(grid.top(), banner.bottom() + 1);
        window->LiveOverlaysCommand();
        QVERIFY(window->banner()->isHidden());
        QCOMPARE(window->fg()->geometry(), QRect(QPoint(grid.left(), banner.top()), grid.bottomRight()));
    }

    // The saved interval and column choices reach the grid at load (how a
    // missing or 0 key reads is the settings suite's). Exit writes nothing, a
    // close writes the settings. A stored 2 greys a box and hides its column;
    // a click checks or clears it, never greys it again.
    void exitWritesNothingCloseWritesSettings_data()
    {
        QTest::addColumn<int>("clicks");   // on the greyed box
        QTest::addColumn<QByteArray>("actualStart");
        QTest::newRow("greyed-box-kept") << 0 << QByteArray("ActBegVisible=2");
        QTest::newRow("one-click-checks") << 1 << QByteArray("ActBegVisible=1");
        QTest::newRow("third-click-checks-again") << 3 << QByteArray("ActBegVisible=1");
    }

    void exitWritesNothingCloseWritesSettings()
    {
        QFETCH(int, clicks);
        QFETCH(QByteArray, actualStart);
        Plant plant;
        const QByteArray original = "; kept\r\n[SCHEDULER]\r\nTimer=500\r\nInterval=4\r\nPlanEndVisible=1\r\n"
                                    "ActBegVisible=2\r\nActDurVisible=2\r\nOther=x\r\n";
        QVERIFY(writeFile(plant.state.SettingsFile, original));
        auto window = plant.loadDemo();
        const chart::GridData &grid = window->fg()->data();
        QCOMPARE(window->CmbInterval()->currentText(), QStringLiteral("5"));
        QCOMPARE(grid.cols() - 8, 24 * 60 / 5);
        for (int i = 0; i < clicks; ++i)
            window->ShowCol(3)->click();
        QCOMPARE(window->ShowCol(3)->checkState(), clicks ? Qt::Checked : Qt::PartiallyChecked);
        QString hidden;
        for (int c = 2; c < 8; ++c)
            hidden += grid.colHidden(c) ? u'1' : u'0';
        QCOMPARE(hidden, clicks ? QStringLiteral("100011") : QStringLiteral("100111"));
        window->ShowCol(0)->setChecked(true);
        window->CmbInterval()->setCurrentIndex(6);
        window->toolbarButton("machine")->trigger();

        window->menuItem("mnuExit")->trigger();
        QCOMPARE(plant.exits, 1);
        QCOMPARE(readFile(plant.state.SettingsFile), original);

        QVERIFY(window->close());
        const QByteArray written = readFile(plant.state.SettingsFile);
        QVERIFY(clicks > 0 || written.startsWith(QByteArray(original).replace("Interval=4", "Interval=6")));
        for (const QByteArray &line : {QByteArray("Other=x"), QByteArray("PlanBegVisible=1"), actualStart,
                                       QByteArray("Interval=6"), QByteArray("SortOrder=1")})
            QVERIFY2(written.contains(line), line);
    }

    void cleanAsksFirst()
    {
        Plant plant;
        auto window = plant.loadDemo();
        QAction *clean = window->toolbarButton("clean");
        for (const MessageAnswer answer : {MessageAnswer::No, MessageAnswer::Yes}) {
            MessageRecorder recorder(answer);
            clean->trigger();
            const bool yes = answer == MessageAnswer::Yes;
            QCOMPARE(recorder.texts, QStringList{"Do you really want to clean the scheduler data?"});
            QCOMPARE(recorder.requests[0].buttons, MessageButtons::YesNo);
            // Emptied and filled again (the emptying is the cleaner suite's).
            QCOMPARE(body(*window).size(), yes ? 0 : 5);
            QCOMPARE(plant.state.ReloadRequested, yes);
            // Each click toggles the button; nothing in the command releases it.
            QCOMPARE(clean->isChecked(), !yes);
        }
    }

    void switchOnlineBothWays()
    {
        Plant plant;
        auto window = plant.loadDemo(QStringLiteral("W"));
        plant.state.LoadedName = QStringLiteral("copy");
        QVERIFY(window->Timer1()->isActive());   // ticking from the load on
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
        auto window = plant.loadDemo();
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

    // A long fill lets the window answer now and then; a tick that comes
    // meanwhile is dropped rather than run on half a grid.
    void longFillAnswersButRunsNoTick()
    {
        Plant plant;
        auto window = plant.load(spread(20000, 900));
        const int rows = window->fg()->data().rows();
        QCOMPARE(rows, 2 + 900 + 20000);
        window->setFillAnswerPeriod(0);
        int rowsSeen = -1;
        QVariant ticksBefore, ticksAfter;
        QTimer::singleShot(0, window.get(), [&] {
            rowsSeen = window->fg()->data().rows();
            ticksBefore = window->channel()->diagnostics(false).value("ticks");
            window->Timer1_Timer();
            ticksAfter = window->channel()->diagnostics(false).value("ticks");
        });
        window->FillTree(0);
        QVERIFY(rowsSeen >= 2 && rowsSeen < rows);   // answered in the middle of the fill
        QCOMPARE(ticksAfter, ticksBefore);
        QCOMPARE(window->fg()->data().rows(), rows);
        window->Timer1_Timer();
        QCOMPARE(window->channel()->diagnostics(false).value("ticks").toInt(), ticksBefore.toInt() + 1);
    }

    void tickKeepsTheScrollPosition()
    {
        Plant plant;
        auto window = plant.load(spread(200, 200));
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
        // Ticks run all day: the borders they draw must not pile up. The
        // body's lines: the times in colour 3, the keys in colour 1, all round
        // and between the cells.
        const std::vector<chart::BorderRegion> &drawn = window->fg()->data().borders();
        const int last = window->fg()->data().rows() - 1;
        QVERIFY(drawn.size() == borders && borders >= 2);
        QVERIFY((drawn.end()[-2] == chart::BorderRegion{{2, 2, last, 7}, QColor(3, 0, 0), 1, 1, 1, 1, 1, 1}));
        QVERIFY((drawn.back() == chart::BorderRegion{{2, 0, last, 2}, QColor(1, 0, 0), 1, 1, 1, 1, 1, 1}));
    }
};

QTEST_MAIN(tst_frmScheduler)
#include "tst_frmscheduler.moc"
