#pragma once

#include "result.h"

#include <QString>
#include <QStringList>

namespace vorn::ctl {

// Exit codes of vorn-scheduler-ctl.
enum ExitCode : int {
    ExitDone = 0,
    ExitNoWindow = 1,    // no window on the bus, no bus, or the window gave an error
    ExitUsage = 2,
};

// The messages the tool sends.
enum class CtlCommand { Close, Stop, Start, Help, Language };

// One message for the window, as parsed from the command line.
struct CtlRequest {
    qint64 pid = -1;          // -1: any window (on the bus: the shared name)
    CtlCommand command = CtlCommand::Close;
    qint32 languageId = 0;    // Language's
    bool showUsage = false;   // --help
    QString error;            // not empty: a usage error, said to the user
};

// Parses the arguments after the program name:
//   [--pid PID] close|stop|start|help|language ID
CtlRequest ParseCtlArguments(const QStringList &arguments);

// The usage text.
QString CtlUsage();

// Implemented once per platform, chosen by the build:

// How the messages travel, for the usage text.
QString CtlWireName();

// Sends the request and waits for the window's answer (at most 2 s). A
// failure says why: no window, no bus, or no answer.
Result SendCtlRequest(const CtlRequest &request);

} // namespace vorn::ctl
