#include "ctlcommand.h"

namespace vorn::ctl {

namespace {

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
    if (command == QLatin1String("close")) {
        request.command = CtlCommand::Close;
    } else if (command == QLatin1String("stop")) {
        request.command = CtlCommand::Stop;
    } else if (command == QLatin1String("start")) {
        request.command = CtlCommand::Start;
    } else if (command == QLatin1String("help")) {
        request.command = CtlCommand::Help;
    } else if (command == QLatin1String("language")) {
        if (rest.isEmpty())
            return usageError(QStringLiteral("language needs a language id (9 English, 2052 Chinese)"));
        bool ok = false;
        const qint32 id = rest.first().toInt(&ok);
        if (!ok)
            return usageError(QStringLiteral("not a language id: \"%1\"").arg(rest.first()));
        request.command = CtlCommand::Language;
        request.languageId = id;
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
        "Sends a message to a running Vorn Scheduler window %1.\n"
        "  close        close the window (also a hosted one)\n"
        "  stop         stop following the live schedule\n"
        "  start        resume and re-read the live schedule\n"
        "  help         open the user manual\n"
        "  language ID  switch the interface language (9 English, 2052 Chinese)\n"
        "  --pid PID    the window of that process, when several run\n"
        "Exit status: 0 done, 1 no window or no answer, 2 usage error.\n").arg(CtlWireName());
}

} // namespace vorn::ctl
