#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QStringList>

namespace vorn::ctl {

// Exit codes of vorn-scheduler-ctl.
enum ExitCode : int {
    ExitDone = 0,
    ExitNoWindow = 1,    // no window on the bus, no bus, or the window gave an error
    ExitUsage = 2,
};

// One message for the window, as parsed from the command line.
struct CtlRequest {
    qint64 pid = -1;          // -1: the shared name
    QDBusMessage call;        // Close, CopyData, Help or ChangeLanguage, to the window named by pid
    bool showUsage = false;   // --help
    QString error;            // not empty: a usage error, said to the user
};

// Parses the arguments after the program name:
//   [--pid PID] close|stop|start|help|language ID
CtlRequest ParseCtlArguments(const QStringList &arguments);

// The usage text.
QString CtlUsage();

// The service a request goes to.
QString CtlTargetService(const CtlRequest &request);

// Sends the request and waits for the window's answer (at most 2 s). On
// failure `message` says why; the result is the exit code.
int SendCtlRequest(const QDBusConnection &bus, const CtlRequest &request, QString *message);

} // namespace vorn::ctl
