#include "managerclient.h"

#include "../model/scheduletable.h"
#include "griddata.h"
#include "refresh.h"
#include "schedulexml.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using vorn::ManagerServerClient;

namespace {

// The cell manager's document service, played on a connection of its own: it
// records every call, one line each, and can be made to hang (its thread
// blocks until released) to play a manager that is stuck.
class ManagerRecorder : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "ManagerServer.Document")
public:
    mutable QMutex mutex;
    QStringList calls;

public slots:
    // The parameter types fix the wire signature: a kind sent as anything
    // but a 16-bit integer would not reach this slot.
    void CreateView(const QString &name, const QString &caption, short kind)
    {
        QMutexLocker lock(&mutex);
        calls << QStringLiteral("CreateView(%1|%2|%3)").arg(name, caption).arg(kind);
    }
    void SetViewXMLData(const QString &viewName, const QString &xml)
    {
        QMutexLocker lock(&mutex);
        calls << QStringLiteral("SetViewXMLData(%1|%2)").arg(viewName, xml);
    }
};

struct Manager {
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("manager"));
    QThread thread;
    ManagerRecorder recorder;
    QSemaphore gate;
    bool hanging = false;

    Manager()
    {
        thread.start();
        recorder.moveToThread(&thread);
        bus.registerObject(QStringLiteral("/ManagerServer/Document"), &recorder, QDBusConnection::ExportAllSlots);
    }
    ~Manager()
    {
        release();
        bus.unregisterObject(QStringLiteral("/ManagerServer/Document"));
        thread.quit();
        thread.wait();
        QDBusConnection::disconnectFromBus(QStringLiteral("manager"));
    }
    bool claimName() { return bus.registerService(QStringLiteral("ManagerServer.Document")); }
    bool dropName() { return bus.unregisterService(QStringLiteral("ManagerServer.Document")); }
    QStringList calls() const
    {
        QMutexLocker lock(&recorder.mutex);
        return recorder.calls;
    }
    void release()
    {
        if (std::exchange(hanging, false))
            gate.release();
    }
};

const QString kView = QStringLiteral("CreateView(Scheduler|View Scheduler|7)");
// Long enough to outlast one reply timeout of a stuck manager.
constexpr int kWaitMs = 3 * ManagerServerClient::ReplyTimeoutMs;

// A client that reached the manager and asked for its view; a stuck manager sits on that call.
std::unique_ptr<ManagerServerClient> viewOf(Manager &manager, bool stuck = false)
{
    manager.claimName();
    auto client = ManagerServerClient::create();
    if (stuck) {
        manager.hanging = true;
        QMetaObject::invokeMethod(&manager.recorder, [&manager] { manager.gate.acquire(); });
    }
    if (client)
        client->CreateView(QStringLiteral("Scheduler"), QStringLiteral("View Scheduler"), 7);
    return client;
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
    void stuckManagerNeverBlocksTheCaller_data();
    void stuckManagerNeverBlocksTheCaller();
    void refreshFeedsTheViewOnlyWhenHosted_data();
    void refreshFeedsTheViewOnlyWhenHosted();
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
    QTest::newRow("manager-running") << true << true;
    // Object registered but name not claimed: only the name's owner counts.
    QTest::newRow("no-owner-of-the-name") << true << false;
    QTest::newRow("bus-unreachable") << false << false;
}

void tst_ManagerClient::noObjectWithoutManager()
{
    QFETCH(bool, busReachable);
    QFETCH(bool, nameOwned);
    Manager manager;
    QVERIFY(!nameOwned || manager.claimName());
    const QDBusConnection bus = busReachable
        ? QDBusConnection::sessionBus()
        : QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/vorn-bus"), QStringLiteral("dead"));
    QCOMPARE(bool(ManagerServerClient::create(bus)), nameOwned);
    QDBusConnection::disconnectFromBus(QStringLiteral("dead"));
}

void tst_ManagerClient::callsArriveInOrderWithTheirArguments_data()
{
    QTest::addColumn<QStringList>("feeds");
    QTest::newRow("view-then-three-feeds")
        << QStringList{"<DataView><DataTable></DataTable></DataView>", "<DataView>a</DataView>", "b"};
    // Nothing is escaped on the way: a bare ampersand and angle brackets inside
    // a field, and text outside Latin-1, arrive exactly as given.
    QTest::newRow("feed-with-unescaped-markup-and-chinese") << QStringList{"<Part>A&B <x> 零件</Part>"};
    QTest::newRow("feed-empty-text") << QStringList{QString()};
    // About the size of a 10,000-record schedule.
    QTest::newRow("feed-of-three-megabytes") << QStringList{QString(3'000'000, u'x')};
}

void tst_ManagerClient::callsArriveInOrderWithTheirArguments()
{
    QFETCH(QStringList, feeds);
    Manager manager;
    const auto client = viewOf(manager);
    QVERIFY(client);
    QStringList expected{kView};
    for (const QString &xml : feeds) {
        // Each answer awaited, so that no feed is folded into a later one.
        QTRY_VERIFY_WITH_TIMEOUT(client->isIdle(), kWaitMs);
        client->SetViewXMLData(QStringLiteral("SCHEDULER"), xml);
        expected << "SetViewXMLData(SCHEDULER|" + xml + ')';
    }
    QTRY_VERIFY_WITH_TIMEOUT(client->isIdle(), kWaitMs);
    QCOMPARE(manager.calls(), expected);
    QCOMPARE(client->failedCount() + client->supersededCount(), 0);
}

void tst_ManagerClient::managerGoneMidRunIsIgnoredAndFoundAgain()
{
    Manager manager;
    const auto client = viewOf(manager);
    QVERIFY(client);
    QTRY_VERIFY_WITH_TIMEOUT(client->isIdle(), kWaitMs);
    QVERIFY(manager.dropName());
    client->SetViewXMLData(QStringLiteral("SCHEDULER"), QStringLiteral("lost"));
    QTRY_COMPARE_WITH_TIMEOUT(client->failedCount(), 1, kWaitMs);
    // The document is reached by its name, so a manager that comes back is
    // fed again without a new object.
    QVERIFY(manager.claimName());
    client->SetViewXMLData(QStringLiteral("SCHEDULER"), QStringLiteral("found"));
    QTRY_COMPARE_WITH_TIMEOUT(manager.calls(), QStringList({kView, "SetViewXMLData(SCHEDULER|found)"}), kWaitMs);
}

void tst_ManagerClient::stuckManagerNeverBlocksTheCaller_data()
{
    QTest::addColumn<QStringList>("feeds");
    QTest::addColumn<bool>("waitForTimeout"); // else the client goes before the manager recovers
    QTest::newRow("newest-feed-kept-and-sent-by-a-released-client") << QStringList{"1", "2", "3", "4"} << false;
    QTest::newRow("timeout-lets-the-next-call-go") << QStringList{"after the timeout"} << true;
}

void tst_ManagerClient::stuckManagerNeverBlocksTheCaller()
{
    QFETCH(QStringList, feeds);
    QFETCH(bool, waitForTimeout);
    Manager manager;
    auto client = viewOf(manager, true);
    QVERIFY(client);
    QSignalSpy finished(client.get(), &ManagerServerClient::callFinished);
    for (const QString &xml : feeds)
        client->SetViewXMLData(QStringLiteral("SCHEDULER"), xml);
    // Every call has returned while the manager still sits on the first one:
    // nothing was waited for. Only the newest feed is kept behind it.
    QVERIFY(client->isWaitingForReply());
    QCOMPARE(client->queuedCount(), 1);
    QCOMPARE(client->supersededCount(), feeds.size() - 1);
    QCOMPARE(manager.calls(), QStringList());
    if (waitForTimeout) {
        QVERIFY(finished.wait(kWaitMs));
        QCOMPARE(finished.at(0), QVariantList({"CreateView", false, "org.freedesktop.DBus.Error.NoReply"}));
        // The feed went out without waiting for the stuck manager to recover.
        QVERIFY(client->isWaitingForReply());
        QCOMPARE(client->queuedCount(), 0);
    } else {
        client.reset();
    }
    manager.release();
    QTRY_COMPARE(manager.calls(), QStringList({kView, "SetViewXMLData(SCHEDULER|" + feeds.last() + ')'}));
}

void tst_ManagerClient::refreshFeedsTheViewOnlyWhenHosted_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<bool>("hosted");
    QTest::newRow("hosted") << QStringList{"P1;;M1;;60;120", "P2"} << true;
    QTest::newRow("not-hosted") << QStringList{"P1;;M1;;60;120"} << false;
    QTest::newRow("hosted-empty-table-sends-nothing") << QStringList{} << true;
}

void tst_ManagerClient::refreshFeedsTheViewOnlyWhenHosted()
{
    QFETCH(QStringList, records);
    QFETCH(bool, hosted);
    QTemporaryDir dir;
    vorn::store::DbfTable table;
    QCOMPARE(vorn::testing::makeScheduleTable(table, dir.filePath(QStringLiteral("Scheduler.dbf")), records), QString());
    Manager manager;
    manager.claimName();
    const auto client = ManagerServerClient::create();
    QVERIFY(client);
    vorn::chart::GridData grid;
    grid.setCols(8);
    QVERIFY(!vorn::RefreshTimesAndFeed(table, grid, true, nullptr).fed);
    const bool fed = vorn::RefreshTimesAndFeed(table, grid, hosted, client.get()).fed;
    QCOMPARE(fed, hosted && !records.isEmpty());
    QTRY_VERIFY(client->isIdle());
    // Every record goes out, empty times as "0".
    const QString xml = vorn::model::BuildScheduleXml(table, vorn::model::XmlVariant::Refresh);
    QCOMPARE(manager.calls(), fed ? QStringList{"SetViewXMLData(SCHEDULER|" + xml + ')'} : QStringList());
}

QTEST_GUILESS_MAIN(tst_ManagerClient)
#include "tst_managerclient.moc"
