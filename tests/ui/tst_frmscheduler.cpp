#include "controlchannel.h"
#include "dbftable.h"
#include "frmscheduler.h"
#include "ganttgrid.h"
#include "messagebox.h"
#include "paths.h"
#include "texts.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <memory>

using namespace vorn;

namespace {

struct Op {
    QString part, machine, order;
    int startP = 0, finishP = 0, startA = 0, finishA = 0;
};

QList<store::FieldDescriptor> scheduleFields()
{
    auto c = [](const char *name, int length) { return store::FieldDescriptor{name, 'C', length}; };
    auto n = [](const char *name) { return store::FieldDescriptor{name, 'N', 10}; };
    return {c("PART", 20), c("PROCESS", 20), c("MACHINE", 15), c("ORDER", 15),
            n("STARTP"), n("FINISHP"), n("DURATIONP"), n("STARTA"), n("FINISHA"), n("DURATIONA"),
            c("STATUSFIN", 10)};
}

QString number(int value)
{
    return value == 0 ? QString() : QString::number(value);
}

void writeSchedule(const QString &path, const QList<Op> &ops)
{
    QFile::remove(path);
    QVERIFY(store::DbfTable::create(path, scheduleFields()).ok);
    store::DbfTable table;
    QVERIFY(table.open(path).ok);
    for (const Op &op : ops) {
        const QList<QString> values{op.part, QStringLiteral("Turn"), op.machine, op.order,
                                    number(op.startP), number(op.finishP),
                                    number(op.finishP - op.startP), number(op.startA),
                                    number(op.finishA), number(op.finishA - op.startA),
                                    QString()};
        QVERIFY(table.appendRecord(values).ok);
    }
}

void writeSmallTable(const QString &path)
{
    QVERIFY(store::DbfTable::create(path, {store::FieldDescriptor{"NAME", 'C', 10}}).ok);
}

// A plant on disk: bin/ (the current directory and the program's folder)
// beside data/ with the three tables and the settings file.
class Plant {
public:
    Plant()
    {
        QDir(dir.path()).mkpath(QStringLiteral("bin"));
        QDir(dir.path()).mkpath(QStringLiteral("data"));
        BuildPaths(state, binFolder());
    }
    QString binFolder() const { return dir.path() + QStringLiteral("/bin"); }
    QString dataFile(const QString &name) const { return state.DataFolder + name; }

    void writeTables(const QList<Op> &ops)
    {
        writeSchedule(dataFile(QStringLiteral("Scheduler.dbf")), ops);
        writeSmallTable(dataFile(QStringLiteral("Aplan.dbf")));
        writeSmallTable(dataFile(QStringLiteral("Process.dbf")));
    }
    void writeSettings(const QByteArray &text)
    {
        QFile file(state.SettingsFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QByteArray settings() const
    {
        QFile file(state.SettingsFile);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void setLanguage(const QByteArray &value)
    {
        QFile file(binFolder() + QStringLiteral("/LANGUAGE.INI"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[GENERAL]\r\nApplicationLanguage=" + value + "\r\n");
    }

    std::unique_ptr<frmScheduler> load(const QString &commandLine = QString())
    {
        auto window = std::make_unique<frmScheduler>(
            state, WindowStart{commandLine, binFolder(), false});
        window->setExitProcess([this] { ++exits; });
        window->setOpenUrl([this](const QString &path) { opened << path; });
        window->resize(1000, 600);
        window->Form_Load();
        return window;
    }

    QTemporaryDir dir;
    AppState state;
    int exits = 0;
    QStringList opened;
};

const QList<Op> demoOps{
    {QStringLiteral("P1"), QStringLiteral("Mill1"), QStringLiteral("O7"), 300, 400, 310, 420},
    {QStringLiteral("P2"), QStringLiteral("Lathe2"), QString(), 100, 900, 0, 0},
    {QStringLiteral("P1"), QStringLiteral("Lathe2"), QStringLiteral("O7"), 500, 700, 0, 0},
};

// The grid body as one line per row: level, row data and columns 1 to 7.
QStringList body(const frmScheduler &window)
{
    const chart::GridData &grid = window.fg()->data();
    QStringList lines;
    for (int r = 2; r < grid.rows(); ++r) {
        QStringList cells;
        for (int c = 1; c <= 7; ++c)
            cells << grid.text(r, c);
        lines << QStringLiteral("%1:%2 %3").arg(grid.rowOutlineLevel(r)).arg(grid.rowData(r)).arg(cells.join(u'|'));
    }
    return lines;
}

// Records every message box and answers it.
class MessageRecorder {
public:
    explicit MessageRecorder(MessageAnswer answer = MessageAnswer::Ok)
    {
        m_previous = SetMessageHandler([this, answer](const MessageRequest &request) {
            requests << request;
            if (onMessage)
                onMessage();
            return request.buttons == MessageButtons::YesNo ? answer : MessageAnswer::Ok;
        });
    }
    ~MessageRecorder() { SetMessageHandler(std::move(m_previous)); }
    QStringList texts() const
    {
        QStringList out;
        for (const MessageRequest &request : requests)
            out << request.text;
        return out;
    }

    QList<MessageRequest> requests;
    std::function<void()> onMessage;

private:
    MessageHandler m_previous;
};

QString menuTree(QMenuBar *bar)
{
    QStringList menus;
    for (QAction *menuAction : bar->actions()) {
        QStringList items;
        for (QAction *item : menuAction->menu()->actions())
            items << (item->isSeparator() ? QStringLiteral("-") : item->text());
        menus << menuAction->text() + QStringLiteral("[") + items.join(u',') + QStringLiteral("]");
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
            QVERIFY2(button, qPrintable(key));
            QVERIFY(button->isCheckable());
            QCOMPARE(button->toolTip(), tip);
            QCOMPARE(button->statusTip(), tip);
            QVERIFY(!button->icon().isNull());
            QVERIFY(button->shortcut().isEmpty());
        }

        // The view controls sit in the toolbar row, 6500 twips wide.
        QWidget *frame = window->findChild<QWidget *>(QStringLiteral("FrameShow"));
        QVERIFY(frame);
        QCOMPARE(frame->width(), window->twipsToPixels(6500));
        QVERIFY(window->MainToolbar()->isAncestorOf(frame));
        QVERIFY(frame->isAncestorOf(window->CmbInterval()));
        for (int i = 0; i < 6; ++i)
            QVERIFY(frame->isAncestorOf(window->ShowCol(i)));
    }

    void imageListPicturesRenderAtToolbarSize()
    {
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load();
        for (const char *key : {"online", "machine", "part", "clean", "save", "open"}) {
            const QImage image = window->MainImageList(QLatin1String(key)).pixmap(QSize(24, 23)).toImage();
            QVERIFY2(!image.isNull(), key);
            // Something is drawn: not every pixel transparent.
            bool painted = false;
            for (int y = 0; y < image.height() && !painted; ++y)
                for (int x = 0; x < image.width() && !painted; ++x)
                    painted = qAlpha(image.pixel(x, y)) > 0;
            QVERIFY2(painted, key);
        }
    }

    void menuTreeCaptionsAndMarks_data()
    {
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QString>("tree");
        QTest::newRow("english")
            << QByteArray("ENG")
            << QStringLiteral("&File[&Open...,&Save As...,-,&Clean,-,&Exit] "
                              "&Display[Online,-,Sort By &Machine,Sort By &Part,-,&Resize] "
                              "&Help[&Plantora Help,-,&About...]");
        QTest::newRow("chinese")
            << QByteArray("CN")
            << QStringLiteral("文件[打开...,另存为...,-,清除,-,退出] "
                              "显示[联机,-,按机器排序,按部件排序,-,调整大小] "
                              "帮助[Plantora 帮助,-,关于...]");
        QTest::newRow("cn-lower-case-is-english")
            << QByteArray("cn")
            << QStringLiteral("&File[&Open...,&Save As...,-,&Clean,-,&Exit] "
                              "&Display[Online,-,Sort By &Machine,Sort By &Part,-,&Resize] "
                              "&Help[&Plantora Help,-,&About...]");
    }

    void menuTreeCaptionsAndMarks()
    {
        QFETCH(QByteArray, language);
        QFETCH(QString, tree);
        Plant plant;
        plant.writeTables(demoOps);
        plant.setLanguage(language);
        auto window = plant.load();

        QCOMPARE(menuTree(window->menuBar()), tree);
        for (QAction *menuAction : window->menuBar()->actions())
            for (QAction *item : menuAction->menu()->actions())
                QVERIFY2(item->shortcut().isEmpty(), qPrintable(item->objectName()));

        // After the load: online and fit-to-window checked, grouped by part.
        QVERIFY(window->menuItem("mnuOnLine")->isChecked());
        QVERIFY(window->menuItem("mnuResize")->isChecked());
        QVERIFY(window->menuItem("mnuPartSort")->isChecked());
        QVERIFY(!window->menuItem("mnuMachineSort")->isChecked());
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
        // Title falls back to text 1; tool tips, status and grid headers stay.
        QCOMPARE(window->windowTitle(), QStringLiteral("Vorn 调度"));
        QCOMPARE(window->toolbarButton("online")->toolTip(), QStringLiteral("Online"));
        QCOMPARE(window->StatusPanel(1)->text(), QStringLiteral("Ready"));
        QCOMPARE(window->fg()->data().text(0, 2), QStringLiteral("Planned"));
        // The corner header follows at the next fill.
        QCOMPARE(window->fg()->data().text(0, 1), QStringLiteral("Part/Machine"));
        window->FillTree(1);
        QCOMPARE(window->fg()->data().text(0, 1), QStringLiteral("机器/部件"));
    }

    void loadAppliesTheSettings()
    {
        Plant plant;
        plant.writeTables(demoOps);
        plant.writeSettings("[scheduler]\r\nTimer=250\r\nPlanBegVisible=1\r\nActEndVisible=0\r\n"
                            "PlanDurVisible=0\r\nInterval=7\r\nSortOrder=-1\r\n"
                            "BaseDate=Mon Mar 04 2024\r\nBaseTime=06:30:00\r\n");
        auto window = plant.load();

        QCOMPARE(window->Timer1()->interval(), 250);
        QVERIFY(window->Timer1()->isActive());
        QCOMPARE(window->CmbInterval()->currentText(), QStringLiteral("12"));
        QCOMPARE(plant.state.IntervalText, QStringLiteral("12"));
        QCOMPARE(window->fg()->data().cols(), 128);
        const bool expectedChecked[6] = {true, false, true, false, false, true};
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(window->ShowCol(i)->isChecked(), expectedChecked[i]);
            QCOMPARE(window->fg()->data().colHidden(i + 2), !expectedChecked[i]);
        }
        QCOMPARE(plant.state.SortOrder, qint16(1));
        QVERIFY(window->menuItem("mnuMachineSort")->isChecked());
        QVERIFY(window->toolbarButton("machine")->isChecked());
        QVERIFY(!window->toolbarButton("part")->isChecked());
        QCOMPARE(window->StatusPanel(1)->text(), QStringLiteral("Ready"));
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
    }

    void fillGroupsTheTable()
    {
        QFETCH(int, sortOrder);
        QFETCH(QString, corner);
        QFETCH(QStringList, rows);
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load();

        window->FillTree(qint16(sortOrder));
        QCOMPARE(body(*window), rows);
        const chart::GridData &grid = window->fg()->data();
        QCOMPARE(grid.text(0, 1), corner);
        QCOMPARE(window->toolbarButton("machine")->isChecked(), sortOrder == 1);
        QCOMPARE(window->toolbarButton("part")->isChecked(), sortOrder == 0);
        QCOMPARE(window->menuItem("mnuMachineSort")->isChecked(), sortOrder == 1);
        QCOMPARE(window->menuItem("mnuPartSort")->isChecked(), sortOrder == 0);
        QCOMPARE(grid.row(), 2);
        QCOMPARE(grid.col(), 1);
        QVERIFY(window->fg()->redraw());
    }

    void fillWithOtherSortOrderKeepsMarks()
    {
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load();
        window->FillTree(1);
        window->FillTree(5);
        QCOMPARE(body(*window), QStringList());
        QCOMPARE(window->fg()->data().text(0, 1), QStringLiteral("Machine/Part"));
        QVERIFY(window->menuItem("mnuMachineSort")->isChecked());
        QVERIFY(window->toolbarButton("machine")->isChecked());
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
        QCOMPARE(recorder.requests.size(), missing.size());
        for (const MessageRequest &request : recorder.requests)
            QCOMPARE(request.text, QStringLiteral("Open Failed"));
        QCOMPARE(body(*window), QStringList());
        QCOMPARE(window->windowTitle(), QStringLiteral("Vorn Scheduler () On-Line"));
        QVERIFY(window->fg()->redraw());
    }

    void exitWritesNothingCloseWritesSettings()
    {
        Plant plant;
        plant.writeTables(demoOps);
        const QByteArray original = "; kept\r\n[SCHEDULER]\r\nTimer=500\r\nOther=x\r\n";
        plant.writeSettings(original);
        auto window = plant.load();
        window->ShowCol(0)->setChecked(true);
        window->ShowCol(5)->setChecked(false);
        window->CmbInterval()->setCurrentIndex(4);
        window->RunCommand(Command::SortByMachine);

        window->menuItem("mnuExit")->trigger();
        QCOMPARE(plant.exits, 1);
        QCOMPARE(plant.settings(), original);

        QSignalSpy unloaded(window.get(), &frmScheduler::unloaded);
        QVERIFY(window->close());
        QCOMPARE(unloaded.size(), 1);
        const QByteArray written = plant.settings();
        QVERIFY(written.startsWith("; kept\r\n[SCHEDULER]\r\nTimer=500\r\nOther=x\r\n"));
        for (const char *line : {"PlanBegVisible=1", "ActDurVisible=0", "Interval=4", "SortOrder=1"})
            QVERIFY2(written.contains(line), line);
    }

    void hostedWithoutManager()
    {
        Plant plant;
        plant.writeTables(demoOps);
        MessageRecorder recorder;
        auto window = plant.load(QStringLiteral("W /x10 /y20 /cx800 /cy600 /T /h "));
        QCOMPARE(recorder.texts(), QStringList{"Cannot Create Manager Server Component"});
        QVERIFY(window->Hosted());
        QCOMPARE(plant.state.CommandText, QStringLiteral("W"));
        // Without a document object a close really closes, hosted or not.
        QVERIFY(window->close());
        QVERIFY(!plant.settings().isEmpty());
    }

    void sortCommandsRebuild_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("sortOrder");
        QTest::newRow("machine-button") << QStringLiteral("machine") << 1;
        QTest::newRow("part-button") << QStringLiteral("part") << 0;
    }

    void sortCommandsRebuild()
    {
        QFETCH(QString, key);
        QFETCH(int, sortOrder);
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load();
        // Clicking the button of the current grouping rebuilds all the same.
        for (int click = 0; click < 2; ++click) {
            window->toolbarButton(key)->trigger();
            QCOMPARE(plant.state.SortOrder, qint16(sortOrder));
            QVERIFY(window->toolbarButton(key)->isChecked());
            QCOMPARE(window->fg()->data().rowOutlineLevel(2), qint16(0));
        }
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
        QCOMPARE(recorder.requests.size(), 1);
        QCOMPARE(recorder.requests[0].text, QStringLiteral("Do you really want to clean the scheduler data?"));
        QCOMPARE(recorder.requests[0].title, QStringLiteral("Vorn Scheduler"));
        QCOMPARE(recorder.requests[0].buttons, MessageButtons::YesNo);
        QCOMPARE(recorder.requests[0].icon, MessageIcon::None);

        store::DbfTable table;
        QVERIFY(table.open(plant.dataFile("Scheduler.dbf")).ok);
        QCOMPARE(table.recordCount(), yes ? 0 : 3);
        QCOMPARE(body(*window).size(), yes ? 0 : 5);
        QCOMPARE(plant.state.ReloadRequested, yes);
    }

    void cleanButtonTogglesWithEveryClick()
    {
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load();
        MessageRecorder recorder(MessageAnswer::No);
        QAction *clean = window->toolbarButton("clean");
        clean->trigger();
        QVERIFY(clean->isChecked());
        clean->trigger();
        QVERIFY(!clean->isChecked());
        QCOMPARE(recorder.requests.size(), 2);
        // The menu item asks too, and leaves the button alone.
        window->menuItem("mnuClean")->trigger();
        QCOMPARE(recorder.requests.size(), 3);
        QVERIFY(!clean->isChecked());
    }

    void switchOnlineBothWays()
    {
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load(QStringLiteral("W"));
        plant.state.LoadedName = QStringLiteral("copy");

        window->toolbarButton("online")->trigger();
        QCOMPARE(plant.state.Offline, qint16(1));
        QVERIFY(!window->Timer1()->isActive());
        QVERIFY(!window->menuItem("mnuOnLine")->isChecked());
        QVERIFY(!window->toolbarButton("online")->isChecked());
        QVERIFY(!window->toolbarButton("clean")->isEnabled());
        QVERIFY(!window->menuItem("mnuClean")->isEnabled());
        QVERIFY(window->toolbarButton("open")->isEnabled());
        QVERIFY(window->menuItem("mnuOpen")->isEnabled());
        QVERIFY(plant.state.LoadedName.isEmpty());
        QCOMPARE(window->windowTitle(), QStringLiteral("Vorn Scheduler (W) Off-Line"));
        QCOMPARE(body(*window).size(), 5);

        window->menuItem("mnuOnLine")->trigger();
        QCOMPARE(plant.state.Offline, qint16(0));
        QVERIFY(window->Timer1()->isActive());
        QCOMPARE(window->Timer1()->interval(), 500);
        QVERIFY(window->menuItem("mnuOnLine")->isChecked());
        QVERIFY(window->toolbarButton("online")->isChecked());
        QVERIFY(window->toolbarButton("clean")->isEnabled());
        QVERIFY(!window->toolbarButton("open")->isEnabled());
        QVERIFY(!window->menuItem("mnuOpen")->isEnabled());
        QCOMPARE(window->windowTitle(), QStringLiteral("Vorn Scheduler (W) On-Line"));
    }

    void offlineShowsASavedCopy()
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
        QCOMPARE(body(*window), (QStringList{"0:1 PX|00:01:00|00:02:00|00:01:00|||", "1:1 Wash|00:01:00|00:02:00|00:01:00|||"}));
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
        QCOMPARE(window->fg()->data().text(3, 2), QStringLiteral("00:05:00"));

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
        QCOMPARE(body(*window), QStringList());

        plant.writeTables(demoOps);
        window->Timer1_Timer();
        QVERIFY(!plant.state.ReloadRequested);
        QCOMPARE(body(*window).size(), 5);
    }

    void tickKeepsTheScrollPosition()
    {
        QList<Op> many;
        for (int i = 0; i < 200; ++i)
            many << Op{QStringLiteral("P%1").arg(i), QStringLiteral("M%1").arg(i % 7), QString(), 60 * i, 60 * i + 300, 0, 0};
        Plant plant;
        plant.writeTables(many);
        auto window = plant.load();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->fg()->setTopRow(50);
        window->fg()->setLeftCol(300);
        const int top = window->fg()->topRow();
        const int left = window->fg()->leftCol();
        QVERIFY(top > 2);
        QVERIFY(left > 8);
        window->Timer1_Timer();
        QCOMPARE(window->fg()->topRow(), top);
        QCOMPARE(window->fg()->leftCol(), left);
    }

    void oneMessageBoxAtATime()
    {
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load();
        QVERIFY(QFile::remove(plant.dataFile(QStringLiteral("Scheduler.dbf"))));

        // While the box of a tick is open, further ticks arrive (its event
        // loop runs the timer); none of them may raise a second box.
        MessageRecorder recorder;
        int nestedTicks = 0;
        recorder.onMessage = [&] {
            if (nestedTicks++ < 3)
                window->Timer1_Timer();
        };
        window->Timer1_Timer();
        QCOMPARE(recorder.requests.size(), 1);
        QCOMPARE(nestedTicks, 1);

        // After the box has closed, the next tick tries again.
        nestedTicks = 10;
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
        resize->trigger();
        QVERIFY(resize->isChecked());
    }

    void helpOpensTheManual()
    {
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load();
        window->menuItem("mnuVornHelp")->trigger();
        window->channel()->handleHelp();
        const QString manual = plant.binFolder() + QStringLiteral("/PlantoraUserManual.pdf");
        QCOMPARE(plant.opened, (QStringList{manual, manual}));
    }

    void closeMessageFromTheManager()
    {
        Plant plant;
        plant.writeTables(demoOps);
        auto window = plant.load();
        window->show();
        QSignalSpy unloaded(window.get(), &frmScheduler::unloaded);
        window->channel()->handleClose();
        QVERIFY(plant.state.CloseRequested);
        QTRY_COMPARE(unloaded.size(), 1);
        QVERIFY(!window->isVisible());
    }
};

QTEST_MAIN(tst_frmScheduler)
#include "tst_frmscheduler.moc"
