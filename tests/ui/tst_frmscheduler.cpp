#include "controlchannel.h"
#include "dlgopen.h"
#include "dlgsaveas.h"
#include "liveoverlay.h"
#include "stalebanner.h"
#include "texts.h"
#include "uiplant.h"

#include <QAccessible>

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


// "*" checked, "~" greyed, then any key combination.
QString marks(const QAction *action)
{
    return QLatin1String(action->isChecked() ? "*" : "") + QLatin1String(action->isEnabled() ? "" : "~")
           + (action->shortcut().isEmpty() ? QString() : u'{' + action->shortcut().toString() + u'}');
}

QAccessibleInterface *accessible(QWidget *widget) { return QAccessible::queryAccessibleInterface(widget); }

// The window as its user sees it, one "key: value" line each; the plant's
// folder reads "<plant>" and the clock "hh:mm:ss".
QStringList windowState(const frmScheduler &window, const Plant &plant)
{
    QStringList lines{"title: " + window.windowTitle()};
    for (QAction *menu : window.menuBar()->actions()) {
        QStringList items;
        for (QAction *item : menu->menu()->actions())
            items << (item->isSeparator() ? QStringLiteral("-") : item->text() + marks(item));
        lines << QStringLiteral("menu %1: %2[%3]").arg(lines.size()).arg(menu->text(), items.join(u','));
    }
    QStringList buttons;
    for (QAction *action : window.MainToolbar()->actions()) {
        buttons << (action->isSeparator() ? QStringLiteral("|")
                                          : action->objectName() + u'=' + action->toolTip() + marks(action)
                                                + (action->statusTip() == action->toolTip() ? "" : " status=" + action->statusTip())
                                                + (action->isCheckable() ? "" : " (not checkable)")
                                                + (action->icon().pixmap(QSize(24, 23)).isNull() ? " (no picture)" : "")
                                                + (accessible(window.MainToolbar()->widgetForAction(action))->text(QAccessible::Name).isEmpty()
                                                       ? " (unnamed)" : ""));
    }
    // A combo box is named by its label (on Linux through the label
    // relation; its own name is the value shown).
    QStringList labels;
    for (const auto &relation : accessible(window.CmbInterval())->relations(QAccessible::Label))
        labels << relation.first->object()->objectName();
    lines << "toolbar: " + buttons.join(u' ')
          << "accessible: interval labelled by " + labels.join(u',') + ", ShowCol3 described "
                 + accessible(window.ShowCol(3))->text(QAccessible::Description);
    const chart::GridData &grid = window.fg()->data();
    QStringList boxes;
    QString hiddenCols;
    for (int i = 0; i < 6; ++i)
        boxes << window.ShowCol(i)->text() + u'=' + QString::number(window.ShowCol(i)->checkState());
    for (int c = 2; c < 8; ++c)
        hiddenCols += grid.colHidden(c) ? u'h' : u'.';
    lines << QStringList{window.Label(1)->text(), window.Label(2)->text(), window.Label(3)->text()}.join(u'|').prepend("labels: ")
          << "boxes: " + boxes.join(u' ') + ", columns 2-7 " + hiddenCols
          << QStringLiteral("interval: %1, %2 time columns").arg(window.CmbInterval()->currentText()).arg(grid.cols() - 8)
          << "status: " + window.StatusPanel(1)->text()
          << QStringLiteral("timer: %1 every %2 ms").arg(window.Timer1()->isActive() ? "on" : "off").arg(window.Timer1()->interval())
          << QStringLiteral("state: sort %1, offline %2, reload %3, loaded \"%4\", exits %5")
                 .arg(plant.state.SortOrder).arg(plant.state.Offline).arg(plant.state.ReloadRequested)
                 .arg(plant.state.LoadedName).arg(plant.exits)
          << QStringLiteral("overlays: %1, banner %2 \"%3\"")
                 .arg(window.overlay()->enabled()).arg(window.banner()->isHidden() ? "hidden" : "up")
                 .arg(window.banner()->text().replace(QRegularExpression("\\d\\d:\\d\\d:\\d\\d"), "hh:mm:ss"))
          << QStringLiteral("grid: %1 rows, redraw %2").arg(grid.rows()).arg(window.fg()->redraw());
    // Every region as drawn, so that regions piling up over the ticks show.
    QStringList borders;
    for (const chart::BorderRegion &b : grid.borders())
        borders << QString::asprintf("%d,%d-%d,%d %s %d%d%d%d%d%d", b.range.row1, b.range.col1, b.range.row2, b.range.col2,
                                     qPrintable(b.color.name()), b.left, b.top, b.right, b.bottom, b.innerVertical, b.innerHorizontal);
    lines << "borders: " + borders.join(u' ');
    // Where the grid stands, as relations that hold whatever the fonts.
    const auto at = [&window](const QWidget *widget) { return QRect(widget->mapTo(&window, QPoint()), widget->size()); };
    const QRect grid_ = at(window.fg()), banner = at(window.banner());
    lines << QStringLiteral("layout: grid from %1 down to %2")
                 .arg(grid_.top() == banner.bottom() + 1 ? "below the banner" : grid_.top() == banner.top() ? "the banner's top" : "elsewhere",
                      grid_.bottom() + 1 == at(window.StatusBar1()).top() ? "the status bar" : "elsewhere");
    const auto colour = [](const QColor &c) { return c.isValid() ? c.name() : QStringLiteral("none"); };
    for (int r = 0; r < grid.rows(); ++r) {
        QStringList texts;
        for (int c = 0; c <= 7; ++c)
            texts << grid.text(r, c);
        // Group rows: a green key on a grey band up to the last column.
        const QString style = r < 2 ? QString()
            : QStringLiteral(" %1:%2%3 %4%5 on %6/%7/%8 |").arg(grid.rowOutlineLevel(r)).arg(grid.rowData(r))
                  .arg(grid.rowHidden(r) ? " hidden" : "", grid.cellFontBold(r, 1) ? "bold " : "")
                  .arg(colour(grid.cellForeColor(r, 1)), colour(grid.cellBackColor(r, 0)), colour(grid.cellBackColor(r, 7)),
                       colour(grid.cellBackColor(r, grid.cols() - 1)));
        lines << QStringLiteral("row %1:%2 %3").arg(r).arg(style, texts.join(u'|'));
    }
    QStringList flashes;
    for (const auto &flash : window.overlay()->flashes().flashes())
        flashes << QStringLiteral("%1:%2|%3").arg(flash.row).arg(flash.oldStart, flash.oldFinish);
    flashes.sort();
    lines << "flashes: " + flashes.join(u' ');
    const QList<QByteArray> ini = readFile(plant.state.SettingsFile).trimmed().split('\n');
    for (qsizetype i = 0; i < ini.size(); ++i)
        lines << QStringLiteral("ini %1: %2").arg(i + 1).arg(QString::fromUtf8(ini[i]).trimmed());
    return lines.replaceInStrings(plant.dir.path(), QStringLiteral("<plant>"));
}

} // namespace

class tst_frmScheduler : public QObject {
    Q_OBJECT
private slots:
    void init() { SetLanguage(LanguageEnglish); }

    // A run of commands on the demo plant, with the window as it stood at
    // the load, and after each step what changed, what it asked and what it
    // opened. The stored copy holds the captions in each language (a change
    // at run time turns menus, labels and boxes; tool tips, the status and
    // the grid's headers stay until they are next built), the marks of menu
    // and toolbar, the rows of each grouping, the overlays' collapsed rows
    // and flashes, and the settings file after each close.
    void commandsAsTheUserSeesThem_data()
    {
        QTest::addColumn<QByteArray>("language");   // LANGUAGE.INI
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QByteArray>("settings");   // VornSched.ini before the load
        QTest::addColumn<QStringList>("steps");     // see run() below
        // English, no command line and no settings file, unless the row says otherwise.
        const auto row = [](const char *name, const QStringList &steps, const QByteArray &language = "ENG",
                            const QString &commandLine = {}, const QByteArray &settings = {}) {
            QTest::newRow(name) << language << commandLine << settings << steps;
        };
        // The manual opens from the menu, from F1 and from the manager's help
        // message alike. Resize (checked at load, toggled by each click)
        // decides whether a new window size also spreads the leading columns
        // over the grid. Tab reaches the interval and every column box.
        row("english-sort-help-and-resize", {"menu mnuMachineSort", "menu mnuPartSort", "show", "menu mnuVornHelp", "key F1",
                                             "help", "wider", "menu mnuResize", "wider", "menu mnuResize", "wider", "tab 12"});
        row("chinese", {"menu mnuMachineSort"}, "CN");
        row("english-then-chinese-at-run-time", {"lang 2052", "menu mnuMachineSort", "menu mnuPartSort"});
        row("offline-online-and-clean", {"loaded copy", "tool online", "loaded copy", "tool online", "answer no",
                                         "tool clean", "answer yes", "tool clean"}, "ENG", "W");
        // Each missing table says so once at the load; ticks arriving from
        // the event loop of a tick's box raise no second box. The banner
        // stands above the grid while the live table cannot be read, and not
        // once the overlays are off.
        row("missing-tables", {"remove Scheduler", "load", "tick nested", "tick nested", "remove Aplan", "remove Process",
                               "load", "tick nested", "tick nested", "show", "menu mnuLiveOverlays"});
        // Saved on-line, then opened off-line after the live table has moved
        // on: the window shows the copy as it was saved and names it.
        row("saved-copy-opens-offline", {"dialog save", "op 0 startP 360", "tool online", "dialog open"});
        // Hosted without a manager it says so once; its close goes through.
        row("hosted-without-manager", {"close"}, "ENG", "/H");
        // On and closed unchanged, switched off, off again.
        row("overlay-switch-kept-only-when-changed", {"close", "load", "menu mnuLiveOverlays", "close", "load", "close"});
        // Collapsed groups survive refills, sort changes and restarts, and
        // hidden rows are refreshed all the same. A tick that moves a planned
        // time flashes its rows; a refill starts afresh. Off shows every row
        // and leaves the commands alone; on again hides.
        row("collapsed-groups-and-flashes", {"show", "click 2 0", "tick", "op 2 startA 510", "op 1 finishP 1000", "tick",
                                             "fill", "menu mnuMachineSort", "menu mnuPartSort", "menu mnuLiveOverlays",
                                             "collapse 0", "menu mnuLiveOverlays", "collapse 1", "close", "load", "collapse 0"});
        // Off-line, stopped or while a load is under way a tick leaves the
        // grid; after a clean it waits for records, then refreshes.
        row("tick-guards", {"fill 1", "op 0 startP 360", "state Offline 1", "tick", "state Offline 0", "state UpdatesStopped 1",
                            "tick", "state UpdatesStopped 0", "state SortOrder 10", "tick", "state SortOrder 1", "empty",
                            "state ReloadRequested 1", "tick", "op 0 startP 360", "tick", "op 0 startP 420",
                            "state SortOrder 0", "tick"});
        // The saved interval and column choices reach the grid at load (how a
        // missing or 0 key reads is the settings suite's). Exit writes
        // nothing, a close writes the settings. A stored 2 greys a box and
        // hides its column; a click checks or clears it, never greys it again.
        const QByteArray saved = "; kept\r\n[SCHEDULER]\r\nTimer=500\r\nInterval=4\r\nPlanEndVisible=1\r\n"
                                 "ActBegVisible=2\r\nActDurVisible=2\r\nOther=x\r\n";
        row("saved-view-exit-then-close", {"check 0", "interval 6", "tool machine", "menu mnuExit", "close"}, "ENG", {}, saved);
        row("saved-view-greyed-box-clicked", {"box 3", "box 3", "box 3", "close"}, "ENG", {}, saved);
    }

    void commandsAsTheUserSeesThem()
    {
        QFETCH(QByteArray, language);
        QFETCH(QString, commandLine);
        QFETCH(QByteArray, settings);
        QFETCH(QStringList, steps);
        Plant plant;
        QVERIFY(settings.isEmpty() || writeFile(plant.state.SettingsFile, settings));
        QVERIFY(writeFile(plant.binFolder() + QStringLiteral("/LANGUAGE.INI"),
                          "[GENERAL]\r\nApplicationLanguage=" + language + "\r\n"));
        QList<Op> ops = demoOps;
        MessageRecorder recorder;
        QStringList opened;
        std::unique_ptr<frmScheduler> window;
        QStringList transcript;
        plant.writeTables(ops);
        const auto load = [&] {
            window.reset();
            window = plant.load(commandLine);
            window->setOpenUrl([&](const QString &path) { opened << path; });
            window->setSaveAsDialog(RunSaveAsDialog);
            window->setOpenDialog(RunOpenDialog);
        };
        const auto run = [&](const QStringList &words) {
            const QString &what = words[0];
            const int n = words.value(1).toInt();
            if (what == u"lang")
                window->channel()->handleChangeLanguage(n, QStringLiteral("any"));
            else if (what == u"menu")
                window->menuItem(words[1])->trigger();
            else if (what == u"dialog") {   // its OK pressed (Open has the first copy selected)
                QTimer::singleShot(0, [] {
                    QWidget *dialog = QApplication::activeModalWidget();
                    QVERIFY2(dialog, "no modal dialog was shown");
                    dialog->findChild<QPushButton *>(QStringLiteral("OKButton"))->click();
                });
                window->toolbarButton(words[1])->trigger();
            } else if (what == u"tool")
                window->toolbarButton(words[1])->trigger();
            else if (what == u"answer")
                recorder.answer = words[1] == u"yes" ? MessageAnswer::Yes : MessageAnswer::No;
            else if (what == u"loaded")
                plant.state.LoadedName = words[1];
            else if (what == u"show") {
                window->show();
                QVERIFY(QTest::qWaitForWindowActive(window.get()));
            } else if (what == u"click")
                QTest::mouseClick(window->fg()->viewport(), Qt::LeftButton, {},
                                  window->fg()->cellRect(n, words[2].toInt()).center());
            else if (what == u"key")
                QTest::keyClick(window.get(), Qt::Key_F1);
            else if (what == u"tab") {   // "tab N": from the interval, where N presses of Tab lead
                window->CmbInterval()->setFocus();
                QStringList visited;
                for (int i = 0; i < n; ++i) {
                    QWidget *focus = QApplication::focusWidget();
                    visited << (focus ? focus->objectName() : QStringLiteral("<none>"));
                    QTest::keyClick(focus ? focus : window.get(), Qt::Key_Tab);
                }
                transcript << "focus: " + visited.join(u',');
            }
            else if (what == u"help")
                window->channel()->handleHelp();
            else if (what == u"tick") {   // "tick nested": another tick from the event loop of any box
                int nested = words.size() - 1;
                recorder.onMessage = [&] {
                    if (nested-- > 0)
                        window->Timer1_Timer();
                };
                window->Timer1_Timer();
                recorder.onMessage = {};
            } else if (what == u"wider") {   // the grid follows; its columns as Resize says
                const chart::GridData &grid = window->fg()->data();
                const auto widths = [&] { return QList<int>{grid.colWidth(1), grid.colWidth(2), grid.colWidth(7)}; };
                const QList<int> before = widths();
                const int gridWidth = window->fg()->width();
                window->resize(window->width() + 300, window->height());
                QTRY_COMPARE(window->fg()->width(), gridWidth + 300);
                QCOMPARE(widths() != before, window->menuItem("mnuResize")->isChecked());
            } else if (what == u"remove")
                QVERIFY(QFile::remove(plant.dataFile(words[1] + QStringLiteral(".dbf"))));
            else if (what == u"fill")
                window->FillTree(words.size() > 1 ? qint16(n) : plant.state.SortOrder);
            else if (what == u"box")
                window->ShowCol(n)->click();
            else if (what == u"check")
                window->ShowCol(n)->setChecked(true);
            else if (what == u"interval")
                window->CmbInterval()->setCurrentIndex(n);
            else if (what == u"empty")
                writeSchedule(plant.dataFile(QStringLiteral("Scheduler.dbf")), {});
            else if (what == u"state") {
                const int value = words[2].toInt();
                if (words[1] == u"SortOrder")
                    plant.state.SortOrder = qint16(value);
                else if (words[1] == u"Offline")
                    plant.state.Offline = qint16(value);
                else if (words[1] == u"UpdatesStopped")
                    plant.state.UpdatesStopped = value;
                else
                    plant.state.ReloadRequested = value;
            }
            else if (what == u"collapse")
                window->CollapseAllCommand(words[1] == u"1");
            else if (what == u"close")
                window->close();
            else if (what == u"load")
                load();
            else if (what == u"op") {   // op <index> <field> <seconds>: the live table rewritten
                int Op::*field = words[2] == u"startP" ? &Op::startP : words[2] == u"startA" ? &Op::startA : &Op::finishP;
                ops[n].*field = words[3].toInt();
                writeSchedule(plant.dataFile(QStringLiteral("Scheduler.dbf")), ops);
            } else
                QFAIL(qPrintable("unknown step " + what));
        };

        const auto key = [](const QString &line) { return line.section(u':', 0, 0); };
        QMap<QString, QString> shown;   // by key; empty before the load, which shows every line
        for (const QString &step : QStringList{"load"} + steps) {
            transcript << "> " + step;
            run(step.split(u' '));
            for (const MessageRequest &request : std::exchange(recorder.requests, {}))
                transcript << QStringLiteral("message: %1 (buttons %2, icon %3)")
                                  .arg(request.text).arg(int(request.buttons)).arg(int(request.icon));
            for (const QString &path : std::exchange(opened, {}))
                transcript << "opened: " + QString(path).replace(plant.dir.path(), QStringLiteral("<plant>"));
            QMap<QString, QString> now;
            for (const QString &line : windowState(*window, plant)) {
                if (shown.take(key(line)) != line)
                    transcript << line;
                now.insert(key(line), line);
            }
            for (const QString &gone : shown.keys())
                transcript << gone + ": <gone>";
            shown = now;
        }
        VORN_COMPARE_STORED(QStringLiteral("window-%1.txt").arg(QTest::currentDataTag()),
                            (transcript.join(u'\n') + u'\n').toUtf8());
    }

    // A long fill lets the window answer now and then; a tick that comes
    // meanwhile is dropped rather than run on half a grid. The ticks after
    // it keep the scroll position.
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

        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->fg()->setTopRow(50);
        window->fg()->setLeftCol(300);
        const std::pair before(window->fg()->topRow(), window->fg()->leftCol());
        QVERIFY(before.first > 2 && before.second > 8);
        for (int tick = 0; tick < 3; ++tick)
            window->Timer1_Timer();
        QCOMPARE(std::pair(window->fg()->topRow(), window->fg()->leftCol()), before);
    }
};

QTEST_MAIN(tst_frmScheduler)
#include "tst_frmscheduler.moc"
