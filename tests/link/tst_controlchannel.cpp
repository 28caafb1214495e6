#include "controlchannel.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <memory>
#include <optional>

using vorn::AppState;
using vorn::ControlChannel;

namespace {

QString stateText(const AppState &state)
{
    return QStringLiteral("%1%2%3").arg(state.UpdatesStopped ? "S" : "-", state.ReloadRequested ? "R" : "-",
                                        state.CloseRequested ? "C" : "-");
}

// Runs the real tool, as the manager's side would send, while this thread's
// event loop serves the window: its exit code and first line of standard error.
QString runCtl(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(VORN_CTL_PATH), arguments);
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 15000))
        return QStringLiteral("still running");
    const QString error = QString::fromLocal8Bit(process.readAllStandardError());
    return QString::number(process.exitCode()) + u' ' + error.section(u'\n', 0, 0);
}

} // namespace

class tst_ControlChannel : public QObject {
    Q_OBJECT
private slots:
    void copyDataNotice_data()
    {
        QTest::addColumn<QString>("before"); // S: updates stopped, R: reload requested
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("after");  // the same, close requested, and the effect
        QTest::newRow("stop") << "--" << QByteArray("STOP") << "S-- 1";
        QTest::newRow("stop-leaves-reload-alone") << "-R" << QByteArray("STOP") << "SR- 1";
        QTest::newRow("stop-with-trailing-nul") << "--" << QByteArray("STOP\0", 5) << "--- 0";
        QTest::newRow("stop-with-trailing-blank") << "--" << QByteArray("STOP ") << "--- 0";
        QTest::newRow("start-after-stop") << "S-" << QByteArray("START") << "-R- 2";
        QTest::newRow("start-lower-case-while-running") << "--" << QByteArray("start") << "-R- 2";
        QTest::newRow("empty-payload") << "SR" << QByteArray() << "SR- 0";
        QTest::newRow("other-text") << "S-" << QByteArray("RESTART") << "S-- 0";
        // 0x9A is s-caron in Windows-1252; upper-cased it is not an S.
        QTest::newRow("lookalike-high-byte") << "--" << QByteArray("\x9aTOP") << "--- 0";
    }

    void copyDataNotice()
    {
        QFETCH(QString, before);
        QFETCH(QByteArray, payload);
        AppState state;
        state.UpdatesStopped = before[0] == u'S';
        state.ReloadRequested = before[1] == u'R';
        const vorn::CopyDataEffect effect = vorn::ApplyCopyData(state, payload);
        QTEST(stateText(state) + u' ' + QString::number(int(effect)), "after");
    }

    void messagesReachTheWindow_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected"); // exit code and error output; state; what the window heard
        QTest::newRow("start") << QStringList{"start"} << "0 ;-R-";
        // The flag is set before the caller has its answer; the window hears of it afterwards.
        QTest::newRow("close") << QStringList{"close"} << "0 ;--C close(C)";
        QTest::newRow("language") << QStringList{"language", "2052"} << "0 ;--- language(2052 Chinese (China))";
        QTest::newRow("help") << QStringList{"help"} << "0 ;--- help";
        // While a fill holds the channel the close waits, its flag too, until the hold ends.
        QTest::newRow("close-while-held") << QStringList{"close"} << "0 ;--- then ;--C close(C)";
        QTest::newRow("no-window-of-that-pid") << QStringList{"--pid", "999999", "close"}
            << "1 vorn-scheduler-ctl: no Vorn Scheduler window on the session bus with process id 999999;---";
        QTest::newRow("upper-case-command-unknown") << QStringList{"STOP"}
            << "2 vorn-scheduler-ctl: unknown command \"STOP\";---";
    }

    void messagesReachTheWindow()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        AppState state;
        ControlChannel channel(state);
        QVERIFY(channel.start().ok());
        QString heard;
        connect(&channel, &ControlChannel::closeRequested, this,
                [&] { heard += QStringLiteral(" close(%1)").arg(state.CloseRequested ? "C" : "-"); });
        connect(&channel, &ControlChannel::helpRequested, this, [&] { heard += QStringLiteral(" help"); });
        connect(&channel, &ControlChannel::languageChangeRequested, this,
                [&](qint32 id, const QString &name) { heard += QStringLiteral(" language(%1 %2)").arg(id).arg(name); });
        std::optional<ControlChannel::Hold> held;
        if (expected.contains(u" then "))
            held.emplace(&channel);
        QString result = runCtl(arguments);
        if (held) {
            result += u';' + stateText(state) + heard + QStringLiteral(" then ");
            held.reset();
        }
        QTRY_COMPARE(result + u';' + stateText(state) + heard, expected);
    }

    void secondWindowKeepsItsProcessNameOnly()
    {
        AppState firstState, secondState, thirdState;
        auto first = std::make_unique<ControlChannel>(firstState);
        ControlChannel second(secondState);
        QVERIFY(first->start(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "first"), 4710).ok());
        QVERIFY(second.start(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "second"), 4711).ok());
        QVERIFY(first->ownsSharedName() && !second.ownsSharedName());
        // The shared name still reaches the first window, the process name the second.
        QCOMPARE(runCtl({"stop"}) + runCtl({"--pid", "4711", "start"}), QStringLiteral("0 0 "));
        QCOMPARE(stateText(firstState) + stateText(secondState), QStringLiteral("S---R-"));
        // Its connection stays open, so only the window itself can give the name back.
        first.reset();
        ControlChannel third(thirdState);
        QVERIFY(third.start().ok() && third.ownsSharedName());
    }

    void runsWithoutABus()
    {
        AppState state;
        ControlChannel channel(state);
        QVERIFY(channel.start(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), "no-bus")).failed());
        QVERIFY(!channel.isActive() && channel.processServiceName().isEmpty());
        // The messages still act when something in the process calls them.
        channel.handleCopyData(0, QByteArray("STOP"));
        // A close is flagged at once; the window hears of it from the event loop.
        channel.handleClose();
        QCOMPARE(stateText(state), QStringLiteral("S-C"));
        QDBusConnection::disconnectFromBus(QStringLiteral("no-bus"));
    }
};

QTEST_GUILESS_MAIN(tst_ControlChannel)
#include "tst_controlchannel.moc"
