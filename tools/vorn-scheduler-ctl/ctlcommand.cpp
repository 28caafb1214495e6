#include "ctlcommand.h"

#include "controlchannel.h"
#include "texts.h"

#include <QDBusConnectionInterface>

namespace vorn::ctl {

namespace {
constexpr int ReplyTimeoutMs = 2000;

CtlRequest usageError(const QString &text)
{
    CtlRequest request;
    request.error = text;
    return request;
}
} // namespace

CtlRequest ParseCtlArguments(const QStringList &arguments)
{
    CtlRequest request;
    QStringList rest = arguments;
    if (!rest.isEmpty() && (rest.first() == QLatin1String("--help") || rest.first() == QLatin1String("-h"))) {
        request.showUsage = true;
        return request;
    }
    if (!rest.isEmpty() && rest.first() == QLatin1String("--pid")) {
        if (rest.size() < 2)
            return usageError(QStringLiteral("--pid needs a process id"));
        bool ok = false;
        request.pid = rest.at(1).toLongLong(&ok);
        if (!ok || request.pid <= 0)
            return usageError(QStringLiteral("not a process id: \"%1\"").arg(rest.at(1)));
        rest = rest.mid(2);
    }
    if (rest.isEmpty())
        return usageError(QStringLiteral("no command given"));

    const QString command = rest.takeFirst();
    const qsizetype expectedRest = command == QLatin1String("language") ? 1 : 0;
    const QString service = CtlTargetService(request);
    if (command == QLatin1String("close")) {
        request.call = ControlChannel::windowCall(service, QStringLiteral("Close"));
    } else if (command == QLatin1String("stop")) {
        request.call = ControlChannel::noticeCall(service, "STOP");
    } else if (command == QLatin1String("start")) {
        request.call = ControlChannel::noticeCall(service, "START");
    } else if (command == QLatin1String("help")) {
        request.call = ControlChannel::windowCall(service, QStringLiteral("Help"));
    } else if (command == QLatin1String("language")) {
        if (rest.isEmpty())
            return usageError(QStringLiteral("language needs a language id (9 English, 2052 Chinese)"));
        bool ok = false;
        const qint32 id = rest.first().toInt(&ok);
        if (!ok)
            return usageError(QStringLiteral("not a language id: \"%1\"").arg(rest.first()));
        request.call = ControlChannel::windowCall(service, QStringLiteral("ChangeLanguage"),
                                                  {id, LanguageName(id)});
    } else {
        return usageError(QStringLiteral("unknown command \"%1\"").arg(command));
    }
    if (rest.size() != expectedRest)
        return usageError(QStringLiteral("too many arguments after \"%1\"").arg(command));
    return request;
}

QString CtlUsage()
{
    return QStringLiteral(
        "usage: vorn-scheduler-ctl [--pid PID] close|stop|start|help|language ID\n"
        "Sends a message to a running Vorn Scheduler window on the session bus.\n"
        "  close        close the window (also a hosted one)\n"
        "  stop         stop following the live schedule\n"
        "  start        resume and re-read the live schedule\n"
        "  help         open the user manual\n"
        "  language ID  switch the interface language (9 English, 2052 Chinese)\n"
        "  --pid PID    the window of that process, when several run\n"
        "Exit status: 0 done, 1 no window or no answer, 2 usage error.\n");
}

QString CtlTargetService(const CtlRequest &request)
{
    return request.pid > 0 ? ControlChannel::serviceNameForPid(request.pid) : ControlChannel::ServiceName;
}

int SendCtlRequest(const QDBusConnection &bus, const CtlRequest &request, QString *message)
{
    Q_ASSERT(request.error.isEmpty() && request.call.type() == QDBusMessage::MethodCallMessage);
    if (!bus.isConnected()) {
        *message = QStringLiteral("no session bus: %1").arg(bus.lastError().message());
        return ExitNoWindow;
    }
    const QString service = request.call.service();
    const QDBusReply<bool> owned = bus.interface()->isServiceRegistered(service);
    if (!owned.isValid() || !owned.value()) {
        *message = request.pid > 0
            ? QStringLiteral("no Vorn Scheduler window on the session bus with process id %1").arg(request.pid)
            : QStringLiteral("no Vorn Scheduler window on the session bus");
        return ExitNoWindow;
    }
    const QDBusMessage reply = bus.call(request.call, QDBus::Block, ReplyTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        *message = QStringLiteral("the Vorn Scheduler window did not answer: %1").arg(reply.errorMessage());
        return ExitNoWindow;
    }
    return ExitDone;
}

} // namespace vorn::ctl
