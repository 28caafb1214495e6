#include "controlchannel.h"
#include "ctlcommand.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using vorn::AppState;
using vorn::ControlChannel;
using vorn::ctl::CtlRequest;

namespace {

// The request in one line: target, method and arguments in their wire types.
QString flatten(const CtlRequest &request)
{
    if (!request.error.isEmpty())
        return QStringLiteral("error");
    if (request.showUsage)
        return QStringLiteral("usage");
    QStringList parts{vorn::ctl::CtlTargetService(request), request.method};
    for (const QVariant &argument : request.arguments) {
        if (argument.typeId() == QMetaType::QByteArray)
            parts << QStringLiteral("ay:%1").arg(QString::fromLatin1(argument.toByteArray().toHex()));
        else
            parts << QStringLiteral("%1:%2").arg(QString::fromLatin1(argument.typeName()), argument.toString());
    }
    return parts.join(QLatin1Char(' '));
}

struct CtlRun {
    int exitCode = -1;
    QString errorOutput;
};

// Runs the real tool while this thread's event loop serves the window.
CtlRun runCtl(const QStringList &arguments)
{
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QStringLiteral(VORN_CTL_PATH), arguments);
    if (!process.waitForStarted())
        return {};
    if (process.state() != QProcess::NotRunning)
        finished.wait(15000);
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError())};
}

} // namespace

class tst_SchedulerCtl : public QObject {
    Q_OBJECT
private slots:
    void parsesCommandLine_data();
    void parsesCommandLine();
    void reachesTheWindow_data();
    void reachesTheWindow();
    void saysWhenNoWindowRuns_data();
    void saysWhenNoWindowRuns();
};

void tst_SchedulerCtl::parsesCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("request");

    const QString shared = QStringLiteral("VornScheduler.Window");
    QTest::newRow("close") << QStringList{"close"} << shared + " Close";
    QTest::newRow("stop-sends-four-ansi-bytes-without-nul")
        << QStringList{"stop"} << shared + " CopyData uint:0 ay:53544f50";
    QTest::newRow("start-sends-five-ansi-bytes")
        << QStringList{"start"} << shared + " CopyData uint:0 ay:5354415254";
    QTest::newRow("help") << QStringList{"help"} << shared + " Help";
    QTest::newRow("language-english-with-its-name")
        << QStringList{"language", "9"} << shared + " ChangeLanguage int:9 QString:English";
    QTest::newRow("language-chinese-with-its-name")
        << QStringList{"language", "2052"} << shared + " ChangeLanguage int:2052 QString:Chinese (China)";
    QTest::newRow("language-unknown-id-still-sent")
        << QStringList{"language", "1031"} << shared + " ChangeLanguage int:1031 QString:Invalid Language Index";
    QTest::newRow("pid-selects-the-process-name")
        << QStringList{"--pid", "4711", "stop"} << "VornScheduler.Window.p4711 CopyData uint:0 ay:53544f50";
    QTest::newRow("usage") << QStringList{"--help"} << "usage";
    QTest::newRow("no-command") << QStringList{} << "error";
    QTest::newRow("pid-without-command") << QStringList{"--pid", "12"} << "error";
    QTest::newRow("pid-without-value") << QStringList{"--pid"} << "error";
    QTest::newRow("pid-not-a-number") << QStringList{"--pid", "abc", "close"} << "error";
    QTest::newRow("pid-zero") << QStringList{"--pid", "0", "close"} << "error";
    QTest::newRow("pid-after-command") << QStringList{"close", "--pid", "12"} << "error";
    QTest::newRow("command-upper-case-unknown") << QStringList{"STOP"} << "error";
    QTest::newRow("language-without-id") << QStringList{"language"} << "error";
    QTest::newRow("language-id-not-a-number") << QStringList{"language", "zh"} << "error";
    QTest::newRow("extra-argument") << QStringList{"stop", "now"} << "error";
}

void tst_SchedulerCtl::parsesCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, request);
    QCOMPARE(flatten(vorn::ctl::ParseCtlArguments(arguments)), request);
}

void tst_SchedulerCtl::reachesTheWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");

    QTest::newRow("stop") << QStringList{"stop"} << "stopped reload=false close=false";
    QTest::newRow("start") << QStringList{"start"} << "running reload=true close=false";
    QTest::newRow("close") << QStringList{"close"} << "running reload=false close=true";
    QTest::newRow("stop-by-own-pid")
        << QStringList{"--pid", QString::number(QCoreApplication::applicationPid()), "stop"}
        << "stopped reload=false close=false";
    QTest::newRow("language") << QStringList{"language", "2052"}
                              << "running reload=false close=false language=2052:Chinese (China)";
    QTest::newRow("help") << QStringList{"help"} << "running reload=false close=false help";
}

void tst_SchedulerCtl::reachesTheWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    if (!QDBusConnection::sessionBus().isConnected())
        QSKIP("needs a session bus (run under dbus-run-session)");

    AppState state;
    ControlChannel channel(state);
    QVERIFY(channel.start());
    QString heard;
    connect(&channel, &ControlChannel::languageChangeRequested, this,
            [&](qint32 id, const QString &name) { heard += QStringLiteral(" language=%1:%2").arg(id).arg(name); });
    connect(&channel, &ControlChannel::helpRequested, this, [&] { heard += QStringLiteral(" help"); });

    const CtlRun run = runCtl(arguments);
    QCOMPARE(run.errorOutput, QString());
    QCOMPARE(run.exitCode, 0);

    const QString result = QStringLiteral("%1 reload=%2 close=%3")
                               .arg(state.UpdatesStopped ? "stopped" : "running")
                               .arg(state.ReloadRequested ? "true" : "false")
                               .arg(state.CloseRequested ? "true" : "false")
        + heard;
    QCOMPARE(result, expected);
}

void tst_SchedulerCtl::saysWhenNoWindowRuns_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("saysPart");

    QTest::newRow("no-window-at-all") << QStringList{"stop"} << 1
                                      << "no Vorn Scheduler window on the session bus";
    QTest::newRow("no-window-of-that-pid") << QStringList{"--pid", "999999", "close"} << 1
                                           << "with process id 999999";
    QTest::newRow("usage-error") << QStringList{"pause"} << 2 << "unknown command \"pause\"";
}

void tst_SchedulerCtl::saysWhenNoWindowRuns()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, saysPart);
    if (!QDBusConnection::sessionBus().isConnected())
        QSKIP("needs a session bus (run under dbus-run-session)");

    const CtlRun run = runCtl(arguments);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.errorOutput.contains(saysPart), qPrintable(run.errorOutput));
}

QTEST_GUILESS_MAIN(tst_SchedulerCtl)
#include "tst_schedulerctl.moc"
