// The main window hosted by the cell manager, against a stand-in manager on
// the test's private session bus.

#include "../store/dbfbytes.h"
#include "controlchannel.h"
#include "managerclient.h"
#include "uiplant.h"

#include <QDBusConnection>
#include <QProcess>

using namespace vorn;
using namespace vorn::test;

namespace {

// Owns ManagerServer.Document on a bus connection of its own and records the
// calls it gets: "CreateView(name,caption,kind)" or "SetViewXMLData(view)".
class ManagerStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "ManagerServer.Document")
public:
    ManagerStandIn() : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("standin")))
    {
        m_bus.registerObject(QStringLiteral("/ManagerServer/Document"), this, QDBusConnection::ExportAllSlots);
        m_bus.registerService(QStringLiteral("ManagerServer.Document"));
    }
    ~ManagerStandIn() override
    {
        m_bus.unregisterService(QStringLiteral("ManagerServer.Document"));
        m_bus.unregisterObject(QStringLiteral("/ManagerServer/Document"));
        QDBusConnection::disconnectFromBus(QStringLiteral("standin"));
    }
    QStringList calls, xml;

public slots:
    void CreateView(const QString &name, const QString &caption, short kind)
    {
        calls << QStringLiteral("CreateView(%1,%2,%3)").arg(name, caption).arg(kind);
    }
    void SetViewXMLData(const QString &viewName, const QString &data)
    {
        calls << QStringLiteral("SetViewXMLData(%1)").arg(viewName);
        xml << data;
    }

private:
    QDBusConnection m_bus;
};

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
        QTest::newRow("hosted-lower-case") << QStringLiteral("Cell /h") << true;
        QTest::newRow("not-hosted") << QStringLiteral("Cell") << false;
    }

    void hostedFeedsTheViewAndOnlyHidesOnClose()
    {
        QFETCH(QString, commandLine);
        QFETCH(bool, hosted);
        ManagerStandIn manager;
        Plant plant;
        auto window = loadWindow(plant, commandLine);
        QVERIFY(window->ManagerServerObject());   // hosted or not
        QCOMPARE(window->Hosted(), hosted);

        // Each step waits for the manager's answer: a feed still queued
        // behind an unanswered call would be replaced by the next one.
        const std::function<void()> steps[] = {
            [] {}, [&] { window->Timer1_Timer(); }, [&] { window->FillTree(1); }, [&] { window->Timer1_Timer(); }};
        for (const auto &step : steps) {
            step();
            QTRY_VERIFY_WITH_TIMEOUT(window->ManagerServerObject()->isIdle(), 10000);
        }
        QCOMPARE(manager.calls, hosted ? QStringList{"CreateView(Scheduler,View Scheduler,7)"}
                                             + QStringList(4, QStringLiteral("SetViewXMLData(SCHEDULER)"))
                                       : QStringList());
        if (hosted)
            QVERIFY(manager.xml.first().startsWith(QStringLiteral("<DataView><DataTable>"))
                    && manager.xml.first().contains(QStringLiteral("Mill1")));

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

    // The manager's Close() arrives while an error box of a fill or a tick
    // stands: the unload releases the Manager Server document inside the
    // box's event loop, and the fill or tick must not reach it afterwards.
    void closeDuringAnErrorBoxReachesNoReleasedDocument_data()
    {
        QTest::addColumn<bool>("tick");
        QTest::newRow("fill-feeding-the-view") << false;
        QTest::newRow("tick-feeding-the-view") << true;
    }

    void closeDuringAnErrorBoxReachesNoReleasedDocument()
    {
        QFETCH(bool, tick);
        ManagerStandIn manager;
        Plant plant;
        auto window = loadWindow(plant, QStringLiteral("Cell /H"));
        QVERIFY(window->ManagerServerObject());
        QTRY_VERIFY_WITH_TIMEOUT(window->ManagerServerObject()->isIdle(), 10000);
        writeOverlongMemoSchedule(plant);

        QSignalSpy unloaded(window.get(), &frmScheduler::unloaded);
        MessageRecorder recorder;
        recorder.onMessage = [&] {
            if (unloaded.isEmpty()) {
                window->channel()->handleClose();
                QCoreApplication::sendPostedEvents(window->channel(), QEvent::MetaCall);
            }
        };
        if (tick)
            window->Timer1_Timer();
        else
            window->FillTree(1);
        QCOMPARE(unloaded.size(), 1);
        QVERIFY(!window->ManagerServerObject());
        QVERIFY(recorder.texts.value(0).startsWith(QStringLiteral("Error #: -910")));
        QVERIFY(QFile::exists(plant.state.SettingsFile));
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

    void hostedWithoutManagerSaysSoOnce()
    {
        Plant plant;
        MessageRecorder recorder;
        auto window = loadWindow(plant, QStringLiteral("/H"));
        QVERIFY(!window->ManagerServerObject());
        QCOMPARE(recorder.texts, QStringList{"Cannot Create Manager Server Component"});
        QCOMPARE(recorder.requests[0].icon, MessageIcon::None);
        // Without a document the close of a hosted window goes through.
        QVERIFY(window->close());
        QVERIFY(QFile::exists(plant.state.SettingsFile));
    }
};

QTEST_MAIN(tst_HostedWindow)
#include "tst_hostedwindow.moc"
