// The main window hosted by the cell manager, against a stand-in manager on
// the test's private session bus.

#include "controlchannel.h"
#include "managerclient.h"
#include "uiplant.h"

#include <QDBusConnection>

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
