#include "managerclient.h"
#include "managerstandin.h"

#include <QSignalSpy>
#include <QTest>

using vorn::ManagerServerClient;
using vorn::test::ManagerCall;
using vorn::test::ManagerStandIn;

namespace {

QString flatten(const ManagerCall &call)
{
    if (call.method == QLatin1String("CreateView"))
        return QStringLiteral("CreateView(%1|%2|%3)").arg(call.first, call.second).arg(call.kind);
    return QStringLiteral("SetViewXMLData(%1|%2)").arg(call.first, call.second);
}

QStringList flatten(const QList<ManagerCall> &calls)
{
    QStringList lines;
    for (const ManagerCall &call : calls)
        lines << flatten(call);
    return lines;
}

bool waitIdle(ManagerServerClient &client)
{
    if (client.isIdle())
        return true;
    QSignalSpy idle(&client, &ManagerServerClient::idle);
    // Long enough to outlast one reply timeout of a stuck manager.
    return idle.wait(3 * ManagerServerClient::ReplyTimeoutMs) || client.isIdle();
}

} // namespace

class tst_ManagerClient : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void noObjectWithoutManager_data();
    void noObjectWithoutManager();
    void callsArriveInOrderWithTheirArguments_data();
    void callsArriveInOrderWithTheirArguments();
    void managerGoneMidRunIsIgnoredAndFoundAgain();
    void stuckManagerNeverBlocksTheCaller();
    void stuckManagerTimesOutAndTheNextCallGoes();
    void queuedCallsLeaveWhenTheClientIsReleased();
    void builtLaterFeedIsMadeOffTheCallersThread_data();
    void builtLaterFeedIsMadeOffTheCallersThread();
};

void tst_ManagerClient::initTestCase()
{
    if (!QDBusConnection::sessionBus().isConnected())
        QSKIP("needs a session bus (run under dbus-run-session)");
}

void tst_ManagerClient::noObjectWithoutManager_data()
{
    QTest::addColumn<bool>("busReachable");
    QTest::addColumn<bool>("nameOwned");
    QTest::addColumn<bool>("expectObject");

    QTest::newRow("manager-running") << true << true << true;
    QTest::newRow("no-owner-of-the-name") << true << false << false;
    QTest::newRow("bus-unreachable") << false << false << false;
}

void tst_ManagerClient::noObjectWithoutManager()
{
    QFETCH(bool, busReachable);
    QFETCH(bool, nameOwned);
    QFETCH(bool, expectObject);

    // Object registered but name not claimed: only the name's owner counts.
    ManagerStandIn manager;
    if (nameOwned)
        QVERIFY(manager.claimName());

    const QString deadName = QStringLiteral("dead-bus");
    const QDBusConnection bus = busReachable
        ? QDBusConnection::sessionBus()
        : QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/vorn-bus"), deadName);
    const auto client = ManagerServerClient::create(bus);
    QCOMPARE(bool(client), expectObject);
    if (!busReachable)
        QDBusConnection::disconnectFromBus(deadName);
}

void tst_ManagerClient::callsArriveInOrderWithTheirArguments_data()
{
    QTest::addColumn<QStringList>("feeds");

    QTest::newRow("view-without-feed") << QStringList();
    QTest::newRow("view-then-three-feeds")
        << QStringList{QStringLiteral("<DataView><DataTable></DataTable></DataView>"),
                       QStringLiteral("<DataView>a</DataView>"), QStringLiteral("<DataView>b</DataView>")};
    // Nothing is escaped on the way: a bare ampersand and angle brackets inside
    // a field, and text outside Latin-1, arrive exactly as given.
    QTest::newRow("feed-with-unescaped-markup-and-chinese")
        << QStringList{QStringLiteral("<Part>A&B <x> 零件</Part>")};
    QTest::newRow("feed-empty-text") << QStringList{QString()};
    // About the size of a 10,000-record schedule.
    QTest::newRow("feed-of-three-megabytes") << QStringList{QString(3'000'000, QLatin1Char('x'))};
}

void tst_ManagerClient::callsArriveInOrderWithTheirArguments()
{
    QFETCH(QStringList, feeds);

    ManagerStandIn manager;
    QVERIFY(manager.claimName());
    auto client = ManagerServerClient::create();
    QVERIFY(client);

    QStringList expected{QStringLiteral("CreateView(Scheduler|View Scheduler|7)")};
    client->CreateView(QStringLiteral("Scheduler"), QStringLiteral("View Scheduler"), 7);
    for (const QString &xml : feeds) {
        // Wait for each answer so that none is folded into a later one.
        QVERIFY(waitIdle(*client));
        client->SetViewXMLData(QStringLiteral("SCHEDULER"), xml);
        expected << QStringLiteral("SetViewXMLData(SCHEDULER|%1)").arg(xml);
    }
    QVERIFY(waitIdle(*client));

    QCOMPARE(flatten(manager.recorder().calls()), expected);
    QCOMPARE(client->failedCount(), 0);
    QCOMPARE(client->supersededCount(), 0);
}

void tst_ManagerClient::managerGoneMidRunIsIgnoredAndFoundAgain()
{
    ManagerStandIn manager;
    QVERIFY(manager.claimName());
    auto client = ManagerServerClient::create();
    QVERIFY(client);
    client->CreateView(QStringLiteral("Scheduler"), QStringLiteral("View Scheduler"), 7);
    QVERIFY(waitIdle(*client));

    QVERIFY(manager.dropName());
    client->SetViewXMLData(QStringLiteral("SCHEDULER"), QStringLiteral("lost"));
    QVERIFY(waitIdle(*client));
    QCOMPARE(client->failedCount(), 1);

    // The document is reached by its name, so a manager that comes back is
    // fed again without a new object.
    QVERIFY(manager.claimName());
    client->SetViewXMLData(QStringLiteral("SCHEDULER"), QStringLiteral("found"));
    QVERIFY(waitIdle(*client));

    QCOMPARE(flatten(manager.recorder().calls()),
             (QStringList{QStringLiteral("CreateView(Scheduler|View Scheduler|7)"),
                          QStringLiteral("SetViewXMLData(SCHEDULER|found)")}));
}

void tst_ManagerClient::stuckManagerNeverBlocksTheCaller()
{
    ManagerStandIn manager;
    QVERIFY(manager.claimName());
    auto client = ManagerServerClient::create();
    QVERIFY(client);

    manager.hang();
    client->CreateView(QStringLiteral("Scheduler"), QStringLiteral("View Scheduler"), 7);
    for (int tick = 1; tick <= 4; ++tick)
        client->SetViewXMLData(QStringLiteral("SCHEDULER"), QStringLiteral("tick %1").arg(tick));

    // Every call has returned while the manager still sits on the first one:
    // nothing was waited for. Only the newest feed is kept behind it.
    QVERIFY(client->isWaitingForReply());
    QCOMPARE(client->queuedCount(), 1);
    QCOMPARE(client->supersededCount(), 3);
    QCOMPARE(manager.recorder().callCount(), 0);

    manager.release();
    QVERIFY(waitIdle(*client));
    QCOMPARE(flatten(manager.recorder().calls()),
             (QStringList{QStringLiteral("CreateView(Scheduler|View Scheduler|7)"),
                          QStringLiteral("SetViewXMLData(SCHEDULER|tick 4)")}));
}

void tst_ManagerClient::stuckManagerTimesOutAndTheNextCallGoes()
{
    ManagerStandIn manager;
    QVERIFY(manager.claimName());
    auto client = ManagerServerClient::create();
    QVERIFY(client);
    QSignalSpy finished(client.get(), &ManagerServerClient::callFinished);

    manager.hang();
    client->CreateView(QStringLiteral("Scheduler"), QStringLiteral("View Scheduler"), 7);
    client->SetViewXMLData(QStringLiteral("SCHEDULER"), QStringLiteral("after the timeout"));

    QVERIFY(finished.wait(3 * ManagerServerClient::ReplyTimeoutMs));
    QCOMPARE(finished.at(0).at(0).toString(), QStringLiteral("CreateView"));
    QCOMPARE(finished.at(0).at(1).toBool(), false);
    QCOMPARE(finished.at(0).at(2).toString(), QStringLiteral("org.freedesktop.DBus.Error.NoReply"));
    // The feed went out without waiting for the stuck manager to recover.
    QVERIFY(client->isWaitingForReply());
    QCOMPARE(client->queuedCount(), 0);

    manager.release();
    QVERIFY(waitIdle(*client));
    QCOMPARE(flatten(manager.recorder().calls()),
             (QStringList{QStringLiteral("CreateView(Scheduler|View Scheduler|7)"),
                          QStringLiteral("SetViewXMLData(SCHEDULER|after the timeout)")}));
}

void tst_ManagerClient::queuedCallsLeaveWhenTheClientIsReleased()
{
    ManagerStandIn manager;
    QVERIFY(manager.claimName());
    auto client = ManagerServerClient::create();
    QVERIFY(client);

    manager.hang();
    client->CreateView(QStringLiteral("Scheduler"), QStringLiteral("View Scheduler"), 7);
    client->SetViewXMLData(QStringLiteral("SCHEDULER"), QStringLiteral("last words"));
    client.reset();
    manager.release();

    QTRY_COMPARE(manager.recorder().callCount(), 2);
    QCOMPARE(flatten(manager.recorder().calls()).last(),
             QStringLiteral("SetViewXMLData(SCHEDULER|last words)"));
}

void tst_ManagerClient::builtLaterFeedIsMadeOffTheCallersThread_data()
{
    QTest::addColumn<QStringList>("texts");     // what each builder returns, in call order
    QTest::addColumn<bool>("stuckWhileCalling");
    QTest::addColumn<QStringList>("received");
    QTest::addColumn<int>("buildersRun");

    QTest::newRow("one-feed") << QStringList{"<x/>"} << false << QStringList{"<x/>"} << 1;
    QTest::newRow("empty-text-sends-nothing") << QStringList{QString()} << false << QStringList() << 1;
    // Behind a stuck manager only the newest builder is kept, and only it runs.
    QTest::newRow("stuck-manager-runs-only-the-newest")
        << QStringList{"a", "b", "c"} << true << QStringList{"c"} << 1;
}

void tst_ManagerClient::builtLaterFeedIsMadeOffTheCallersThread()
{
    QFETCH(QStringList, texts);
    QFETCH(bool, stuckWhileCalling);
    QFETCH(QStringList, received);
    QFETCH(int, buildersRun);

    ManagerStandIn manager;
    QVERIFY(manager.claimName());
    auto client = ManagerServerClient::create();
    QVERIFY(client);

    QThread *const callerThread = QThread::currentThread();
    QAtomicInt runs = 0;
    QAtomicInt runsOnCallerThread = 0;
    if (stuckWhileCalling) {
        manager.hang();
        client->CreateView(QStringLiteral("Scheduler"), QStringLiteral("View Scheduler"), 7);
    }
    for (const QString &text : texts) {
        client->SetViewXMLDataBuiltLater(QStringLiteral("SCHEDULER"), [=, &runs, &runsOnCallerThread] {
            runs.fetchAndAddOrdered(1);
            if (QThread::currentThread() == callerThread)
                runsOnCallerThread.fetchAndAddOrdered(1);
            return text;
        });
    }
    manager.release();
    QVERIFY(waitIdle(*client));

    QStringList feeds;
    for (const ManagerCall &call : manager.recorder().calls()) {
        if (call.method == QLatin1String("SetViewXMLData"))
            feeds << call.second;
    }
    QCOMPARE(feeds, received);
    QCOMPARE(runs.loadAcquire(), buildersRun);
    QCOMPARE(runsOnCallerThread.loadAcquire(), 0);
}

QTEST_GUILESS_MAIN(tst_ManagerClient)
#include "tst_managerclient.moc"
