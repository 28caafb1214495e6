#include "controlchannel.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using vorn::AppState;
using vorn::ControlChannel;
using vorn::CopyDataEffect;

Q_DECLARE_METATYPE(vorn::CopyDataEffect)

namespace {

// Calls the window over the bus from a connection of its own, as another
// program would. The call is asynchronous so that this thread's event loop
// can serve the window while the call waits.
QDBusMessage callWindow(const QString &service, const QString &method, const QVariantList &args)
{
    static const QDBusConnection caller =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("caller"));
    QDBusMessage message = QDBusMessage::createMethodCall(service, ControlChannel::ObjectPath,
                                                          ControlChannel::InterfaceName, method);
    message.setArguments(args);
    QDBusPendingCallWatcher watcher(caller.asyncCall(message, 5000));
    QSignalSpy done(&watcher, &QDBusPendingCallWatcher::finished);
    if (!watcher.isFinished())
        done.wait(10000);
    return watcher.reply();
}

QString stateText(const AppState &state)
{
    const auto word = [](bool flag) { return flag ? QStringLiteral("true") : QStringLiteral("false"); };
    return QStringLiteral("stopped=%1 reload=%2 close=%3")
        .arg(word(state.UpdatesStopped), word(state.ReloadRequested), word(state.CloseRequested));
}

} // namespace

class tst_ControlChannel : public QObject {
    Q_OBJECT
private slots:
    void copyDataNotice_data();
    void copyDataNotice();
    void messagesOverTheBus_data();
    void messagesOverTheBus();
    void closeSetsTheFlagBeforeTheWindowHearsOfIt();
    void secondWindowKeepsItsProcessNameOnly();
    void wireSignaturesAreFixed();
    void runsWithoutABus();
};

void tst_ControlChannel::copyDataNotice_data()
{
    QTest::addColumn<bool>("stoppedBefore");
    QTest::addColumn<bool>("reloadBefore");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<CopyDataEffect>("effect");
    QTest::addColumn<bool>("stoppedAfter");
    QTest::addColumn<bool>("reloadAfter");

    const auto None = CopyDataEffect::None;
    const auto Stopped = CopyDataEffect::Stopped;
    const auto Started = CopyDataEffect::Started;

    QTest::newRow("stop") << false << false << QByteArray("STOP") << Stopped << true << false;
    QTest::newRow("stop-lower-case") << false << false << QByteArray("stop") << Stopped << true << false;
    QTest::newRow("stop-mixed-case") << false << false << QByteArray("sToP") << Stopped << true << false;
    QTest::newRow("stop-leaves-reload-alone") << false << true << QByteArray("STOP") << Stopped << true << true;
    QTest::newRow("stop-with-trailing-nul") << false << false << QByteArray("STOP\0", 5) << None << false << false;
    QTest::newRow("stop-with-trailing-blank") << false << false << QByteArray("STOP ") << None << false << false;
    QTest::newRow("start-after-stop") << true << false << QByteArray("START") << Started << false << true;
    QTest::newRow("start-lower-case-while-running") << false << false << QByteArray("start") << Started << false << true;
    QTest::newRow("start-with-trailing-nul") << true << false << QByteArray("START\0", 6) << None << true << false;
    QTest::newRow("empty-payload") << true << true << QByteArray() << None << true << true;
    QTest::newRow("other-text") << true << false << QByteArray("RESTART") << None << true << false;
    QTest::newRow("prefix-only") << false << false << QByteArray("STA") << None << false << false;
    // 0x9A is s-caron in Windows-1252; upper-cased it is not an S.
    QTest::newRow("lookalike-high-byte") << false << false << QByteArray("\x9aTOP") << None << false << false;
}

void tst_ControlChannel::copyDataNotice()
{
    QFETCH(bool, stoppedBefore);
    QFETCH(bool, reloadBefore);
    QFETCH(QByteArray, payload);
    QFETCH(CopyDataEffect, effect);
    QFETCH(bool, stoppedAfter);
    QFETCH(bool, reloadAfter);

    AppState state;
    state.UpdatesStopped = stoppedBefore;
    state.ReloadRequested = reloadBefore;

    QCOMPARE(vorn::ApplyCopyData(state, payload), effect);
    QCOMPARE(state.UpdatesStopped, stoppedAfter);
    QCOMPARE(state.ReloadRequested, reloadAfter);
    QCOMPARE(state.CloseRequested, false);
}

void tst_ControlChannel::messagesOverTheBus_data()
{
    QTest::addColumn<bool>("byProcessName");
    QTest::addColumn<QStringList>("calls");   // method:argument
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("signalsSeen");

    QTest::newRow("stop-then-start")
        << false << QStringList{QStringLiteral("CopyData:STOP"), QStringLiteral("CopyData:START")}
        << QStringLiteral("stopped=false reload=true close=false")
        << QStringList{QStringLiteral("copy:1"), QStringLiteral("copy:2")};
    QTest::newRow("stop-by-process-name")
        << true << QStringList{QStringLiteral("CopyData:stop")}
        << QStringLiteral("stopped=true reload=false close=false") << QStringList{QStringLiteral("copy:1")};
    QTest::newRow("unknown-notice-is-silent")
        << false << QStringList{QStringLiteral("CopyData:PAUSE"), QStringLiteral("CopyData:")}
        << QStringLiteral("stopped=false reload=false close=false") << QStringList();
    QTest::newRow("help")
        << false << QStringList{QStringLiteral("Help:")}
        << QStringLiteral("stopped=false reload=false close=false") << QStringList{QStringLiteral("help")};
    QTest::newRow("language-chinese")
        << true << QStringList{QStringLiteral("ChangeLanguage:2052")}
        << QStringLiteral("stopped=false reload=false close=false")
        << QStringList{QStringLiteral("language:2052:name-2052")};
}

void tst_ControlChannel::messagesOverTheBus()
{
    QFETCH(bool, byProcessName);
    QFETCH(QStringList, calls);
    QFETCH(QString, state);
    QFETCH(QStringList, signalsSeen);

    AppState appState;
    ControlChannel channel(appState);
    QVERIFY(channel.start());
    QCOMPARE(channel.processServiceName(),
             QStringLiteral("VornScheduler.Window.p%1").arg(QCoreApplication::applicationPid()));
    QVERIFY(channel.ownsSharedName());

    QStringList seen;
    connect(&channel, &ControlChannel::copyDataApplied, this,
            [&](CopyDataEffect effect) { seen << QStringLiteral("copy:%1").arg(int(effect)); });
    connect(&channel, &ControlChannel::helpRequested, this, [&] { seen << QStringLiteral("help"); });
    connect(&channel, &ControlChannel::languageChangeRequested, this,
            [&](qint32 id, const QString &name) { seen << QStringLiteral("language:%1:%2").arg(id).arg(name); });

    const QString service = byProcessName ? channel.processServiceName() : ControlChannel::ServiceName;
    for (const QString &call : calls) {
        const QString method = call.section(QLatin1Char(':'), 0, 0);
        const QString argument = call.section(QLatin1Char(':'), 1);
        QVariantList args;
        if (method == QLatin1String("CopyData"))
            args << QVariant::fromValue(quint32(0)) << argument.toLatin1();
        else if (method == QLatin1String("ChangeLanguage"))
            args << argument.toInt() << QStringLiteral("name-") + argument;
        const QDBusMessage reply = callWindow(service, method, args);
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    }

    QCOMPARE(stateText(appState), state);
    QCOMPARE(seen, signalsSeen);
}

void tst_ControlChannel::closeSetsTheFlagBeforeTheWindowHearsOfIt()
{
    AppState state;
    ControlChannel channel(state);
    QVERIFY(channel.start());
    bool flagWhenSignalled = false;
    QSignalSpy closeSpy(&channel, &ControlChannel::closeRequested);
    connect(&channel, &ControlChannel::closeRequested, this,
            [&] { flagWhenSignalled = state.CloseRequested; });

    const QDBusMessage reply = callWindow(ControlChannel::ServiceName, QStringLiteral("Close"), {});
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QVERIFY(state.CloseRequested);
    if (closeSpy.isEmpty())
        QVERIFY(closeSpy.wait());
    QCOMPARE(closeSpy.count(), 1);
    QVERIFY(flagWhenSignalled);
}

void tst_ControlChannel::secondWindowKeepsItsProcessNameOnly()
{
    AppState firstState;
    AppState secondState;
    auto first = std::make_unique<ControlChannel>(firstState);
    QVERIFY(first->start());

    const QString name = QStringLiteral("second-window");
    {
        const QDBusConnection otherBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        ControlChannel second(secondState);
        QVERIFY(second.start(otherBus, 4711));
        QCOMPARE(second.processServiceName(), QStringLiteral("VornScheduler.Window.p4711"));
        QVERIFY(!second.ownsSharedName());

        // The shared name still reaches the first window, the process name the second.
        callWindow(ControlChannel::ServiceName, QStringLiteral("CopyData"),
                   {QVariant::fromValue(quint32(0)), QByteArray("STOP")});
        callWindow(second.processServiceName(), QStringLiteral("CopyData"),
                   {QVariant::fromValue(quint32(0)), QByteArray("START")});
        QVERIFY(firstState.UpdatesStopped);
        QVERIFY(!firstState.ReloadRequested);
        QVERIFY(secondState.ReloadRequested);
    }
    QDBusConnection::disconnectFromBus(name);

    // A window that goes away frees its names.
    first.reset();
    const QDBusConnectionInterface *daemon = QDBusConnection::sessionBus().interface();
    QVERIFY(!daemon->isServiceRegistered(ControlChannel::ServiceName).value());
    QVERIFY(!daemon->isServiceRegistered(QStringLiteral("VornScheduler.Window.p4711")).value());
}

void tst_ControlChannel::wireSignaturesAreFixed()
{
    AppState state;
    ControlChannel channel(state);
    QVERIFY(channel.start());

    // A payload sent as a string instead of bytes, or a language id as a
    // 16-bit number, finds no method: the signatures are the contract.
    QCOMPARE(callWindow(ControlChannel::ServiceName, QStringLiteral("CopyData"),
                        {QVariant::fromValue(quint32(0)), QStringLiteral("STOP")}).type(),
             QDBusMessage::ErrorMessage);
    QCOMPARE(callWindow(ControlChannel::ServiceName, QStringLiteral("ChangeLanguage"),
                        {QVariant::fromValue(qint16(9)), QStringLiteral("English")}).type(),
             QDBusMessage::ErrorMessage);
    QVERIFY(!state.UpdatesStopped);
}

void tst_ControlChannel::runsWithoutABus()
{
    AppState state;
    ControlChannel channel(state);
    const QString name = QStringLiteral("no-bus");
    const QDBusConnection dead =
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/vorn-bus"), name);
    QVERIFY(!channel.start(dead));
    QVERIFY(!channel.isActive());
    QVERIFY(channel.processServiceName().isEmpty());
    // The messages still act when something in the process calls them.
    channel.handleCopyData(0, QByteArray("STOP"));
    QVERIFY(state.UpdatesStopped);
    QDBusConnection::disconnectFromBus(name);
}

QTEST_GUILESS_MAIN(tst_ControlChannel)
#include "tst_controlchannel.moc"
