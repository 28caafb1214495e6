// The main window hosted by the cell manager, against a stand-in manager on
// the test's private session bus.

#include "../store/dbfbytes.h"
#include "controlchannel.h"
#include "fakemanager.h"
#include "managerclient.h"
#include "uiplant.h"

#include <QDBusConnection>
#include <QProcess>

using namespace vorn;
using namespace vorn::test;
using vorn::testing::FakeManager;

namespace {

std::unique_ptr<frmScheduler> loadWindow(Plant &plant, const QString &commandLine)
{
    plant.writeTables({{QStringLiteral("P1"), QStringLiteral("Mill1"), QString(), 60, 120},
                       {QStringLiteral("P2"), QStringLiteral("Mill1"), QString(), 200, 300}});
    return plant.load(commandLine, true);
}

// A live table whose PROCESS is a dBase III memo of 32768 bytes, one more
// than a text may hold: every read of it for the XML shows "CodeBase Error".
void writeOverlongMemoSchedule(const Plant &plant)
{
    using store::testing::RawTable;
    RawTable table{.version = 0x83, .fields = {{"PART", 'C', 10}, {"PROCESS", 'M', 10}, {"MACHINE", 'C', 10}}};
    QByteArray record = " P1        1         Mill1     ";
    for (const char *name : {"STARTP", "FINISHP", "DURATIONP", "STARTA", "FINISHA", "DURATIONA"}) {
        table.fields.append({name, 'N', 10});
        record += QByteArray("60").rightJustified(10);
    }
    table.records = {record};
    QVERIFY(writeFile(plant.dataFile("Scheduler.dbf"), table.bytes()));
    const QByteArray memo = QByteArray(1, '\x03').leftJustified(512, '\0') + QByteArray(32768, 'm') + "\x1A\x1A";
    QVERIFY(writeFile(plant.dataFile("Scheduler.dbt"), memo));
}

} // namespace

class tst_HostedWindow : public QObject {
    Q_OBJECT
private slots:
    void hostedFeedsTheViewAndOnlyHidesOnClose_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<bool>("hosted");
        QTest::newRow("hosted-upper-case") << QStringLiteral("Cell /H") << true;
        QTest::newRow("not-hosted") << QStringLiteral("Cell") << false;
    }

    void hostedFeedsTheViewAndOnlyHidesOnClose()
    {
        QFETCH(QString, commandLine);
        QFETCH(bool, hosted);
        FakeManager manager;
        Plant plant;
        auto window = loadWindow(plant, commandLine);
        QVERIFY(window->ManagerServerObject());   // hosted or not
        QCOMPARE(window->Hosted(), hosted);

        // Each step waits for the manager's answer: a feed still queued
        // behind an unanswered call would be replaced by the next one.
        // A record the view was fed changes before a fill: the tick after
        // the fill still owes the view its row.
        const QString schedule = plant.dataFile(QStringLiteral("Scheduler.dbf"));
        store::DbfTable table;
        const auto rewriteAndFill = [&] {
            QVERIFY(table.open(schedule).ok() && table.setField(2, 8, QStringLiteral("150")).ok());
            table.close();
            window->FillTree(1);
        };
        const std::function<void()> steps[] = {
            [] {}, [&] { window->Timer1_Timer(); }, rewriteAndFill, [&] { window->Timer1_Timer(); }};
        for (const auto &step : steps) {
            step();
            QTRY_VERIFY_WITH_TIMEOUT(window->ManagerServerObject()->isIdle(), 10000);
        }
        // The view, then four feeds: the load's, and the last of the table as it is now.
        VORN_COMPARE_STORED(QStringLiteral("manager-%1.txt").arg(QTest::currentDataTag()),
                            manager.calls().join(u'\n').toUtf8() + '\n');

        // Hosted, a close only hides the window, until the manager asks it to close.
        window->show();
        QSignalSpy unloaded(window.get(), &frmScheduler::unloaded);
        QCOMPARE(window->close(), !hosted);
        QVERIFY(!window->isVisible());
        QCOMPARE(unloaded.size(), hosted ? 0 : 1);
        QCOMPARE(QFile::exists(plant.state.SettingsFile), !hosted);
        if (hosted)
            window->channel()->handleClose();
        QTRY_COMPARE(unloaded.size(), 1);
        QVERIFY(QFile::exists(plant.state.SettingsFile));
    }

    // The manager's messages come over the bus while an event of the window
    // is in its middle: a long fill that answers the bus, or a box. Those of
    // a fill or of the load wait for its end and then come in their order;
    // two closes inside a tick's box unload the window once.
    void managerMessagesWaitForTheEventInProgress_data()
    {
        QTest::addColumn<QString>("event");        // fill, tick, rebuild (the tick after a clean) or load
        QTest::addColumn<QString>("table");        // long: the fill answers the bus; memo: a box; none: Open Failed
        QTest::addColumn<QStringList>("messages"); // sent while a long fill answers, else at the first box
        QTest::addColumn<QString>("expected");     // what happened, in order; the feeds after the load
        QTest::newRow("close-during-a-long-fill") << "fill" << "long" << QStringList{"Close"} << "end close; feeds 1";
        QTest::newRow("close-in-a-box-of-a-fill") << "fill" << "memo" << QStringList{"Close"} << "end close; feeds 1";
        QTest::newRow("help-and-language-during-a-long-fill")
            << "fill" << "long" << QStringList{"Help", "ChangeLanguage 2052"} << "end help language; feeds 1";
        QTest::newRow("start-during-the-rebuild-after-a-clean")
            << "rebuild" << "long" << QStringList{"CopyData START"} << "end start; feeds 1; reload";
        QTest::newRow("close-in-a-box-of-the-load") << "load" << "none" << QStringList{"Close"} << "end close; feeds 0";
        QTest::newRow("two-closes-in-a-box-of-a-tick")
            << "tick" << "memo" << QStringList{"Close", "Close"} << "close end; feeds 1";
    }

    void managerMessagesWaitForTheEventInProgress()
    {
        QFETCH(QString, event);
        QFETCH(QString, table);
        QFETCH(QStringList, messages);
        QFETCH(QString, expected);
        FakeManager manager;
        Plant plant;
        QString trace;
        // As the manager sends them, from a bus connection of its own; the
        // box or the fill goes on answering after each.
        const auto send = [&] {
            QDBusConnection peer = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("peer"));
            const QString window = ControlChannel::serviceNameForPid(QCoreApplication::applicationPid());
            for (const QString &message : std::exchange(messages, {})) {
                const QStringList words = message.split(u' ');
                peer.call(words[0] == u"CopyData" ? ControlChannel::noticeCall(window, words[1].toLatin1())
                                                  : ControlChannel::windowCall(window, words[0],
                                                        words.size() > 1 ? QVariantList{words[1].toInt(), QString()}
                                                                         : QVariantList{}),
                          QDBus::BlockWithGui);
                QCoreApplication::processEvents();
            }
        };
        MessageRecorder recorder;
        recorder.onMessage = send;
        if (event != u"load")
            plant.writeTables({{QStringLiteral("P1"), QStringLiteral("Mill1"), QString(), 60, 120}});
        auto window = std::make_unique<frmScheduler>(plant.state, WindowStart{QStringLiteral("Cell /H"), plant.binFolder()});
        connect(window.get(), &frmScheduler::unloaded, this, [&] { trace += QStringLiteral(" close"); });
        window->setOpenUrl([&](const QString &) { trace += QStringLiteral(" help"); });
        window->Form_Load();
        if (event != u"load") {
            window->Timer1()->stop();
            connect(window->channel(), &ControlChannel::languageChangeRequested, this, [&] { trace += QStringLiteral(" language"); });
            connect(window->channel(), &ControlChannel::copyDataApplied, this, [&] { trace += QStringLiteral(" start"); });
            QTRY_VERIFY_WITH_TIMEOUT(window->ManagerServerObject()->isIdle(), 10000);
            manager.clear();
            if (table == u"memo") {
                writeOverlongMemoSchedule(plant);
            } else {
                plant.writeTables(QList<Op>(20000, Op{QStringLiteral("P1"), QStringLiteral("Mill1"), QString(), 60, 120}));
                window->setFillAnswerPeriod(0);
                QTimer::singleShot(0, this, send);
            }
            plant.state.ReloadRequested = event == u"rebuild";
            if (event == u"fill")
                window->FillTree(1);
            else
                window->Timer1_Timer();
        }
        trace += QStringLiteral(" end");
        QTRY_COMPARE_WITH_TIMEOUT(trace.trimmed() + QStringLiteral("; feeds %1").arg(manager.calls().filter(QStringLiteral("SetViewXMLData(")).size())
                                      + (plant.state.ReloadRequested ? QStringLiteral("; reload") : QString()),
                                  expected, 10000);
    }

    // A manager process that never answers, one that answers after 5 s, and
    // one that vanishes and comes back: ticks and input go on while a call
    // is unanswered, at most one feed waits behind it, and a manager that
    // returns gets the whole text again.
    void stuckOrVanishedManagerNeverHoldsUpTheWindow_data()
    {
        QTest::addColumn<QString>("reply");   // the stand-in's --reply
        QTest::addColumn<bool>("vanishes");   // killed mid-run, then started again
        QTest::newRow("never-answers") << QStringLiteral("never") << false;
        QTest::newRow("answers-after-5-s") << QStringLiteral("5000") << false;
        QTest::newRow("vanishes-and-comes-back") << QStringLiteral("now") << true;
    }

    void stuckOrVanishedManagerNeverHoldsUpTheWindow()
    {
#ifndef VORN_STANDIN_PATH
        QSKIP("needs vorn-stand-in-manager");
#else
        QFETCH(QString, reply);
        QFETCH(bool, vanishes);
        QTemporaryDir dir;
        const QString kept = dir.filePath(QStringLiteral("received.xml"));
        const auto startManager = [&](QProcess &process) {
            process.start(QStringLiteral(VORN_STANDIN_PATH), {QStringLiteral("--reply"), reply, QStringLiteral("--keep"), kept});
            QVERIFY(process.waitForReadyRead(10000));
            QCOMPARE(process.readLine().trimmed(), QByteArray("ready"));
        };
        QProcess manager;
        startManager(manager);
        Plant plant;
        auto window = loadWindow(plant, QStringLiteral("Cell /H"));
        ManagerServerClient *client = window->ManagerServerObject();
        QVERIFY(client);
        if (vanishes) {
            QTRY_VERIFY_WITH_TIMEOUT(client->isIdle(), 10000);
            manager.kill();
            QVERIFY(manager.waitForFinished());
        } else {
            QVERIFY(client->isWaitingForReply());   // CreateView, left unanswered
        }

        // Ticks return at once while a call waits, the window's events run,
        // and nothing piles up behind the waiting call.
        int eventsWhileWaiting = 0;
        QTimer input;
        connect(&input, &QTimer::timeout, [&] { eventsWhileWaiting += client->isWaitingForReply(); });
        input.start(20);
        const int failedBefore = client->failedCount();
        for (int i = 0; i < 60 && client->failedCount() <= failedBefore + 1; ++i) {
            window->Timer1_Timer();
            QVERIFY(client->queuedCount() <= 1);
            QTest::qWait(50);
        }
        QVERIFY(client->failedCount() > failedBefore);
        QVERIFY(vanishes || eventsWhileWaiting > 0);

        // A manager that is there again gets the whole text with the next feed.
        if (vanishes)
            startManager(manager);
        QFile::remove(kept);
        QTRY_VERIFY_WITH_TIMEOUT((window->Timer1_Timer(), QFile::exists(kept)), 15000);
        QCOMPARE(readFile(kept).count("<DataRow>"), 2);
        manager.kill();
        manager.waitForFinished();
#endif
    }
};

QTEST_MAIN(tst_HostedWindow)
#include "tst_hostedwindow.moc"
