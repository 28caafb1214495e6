// vorn-scheduler-ctl: sends a running Vorn Scheduler window the messages the
// cell manager sends it (close, the STOP/START notices, help, a language change).

#include "ctlcommand.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const vorn::ctl::CtlRequest request = vorn::ctl::ParseCtlArguments(app.arguments().mid(1));
    if (request.showUsage) {
        std::fputs(qPrintable(vorn::ctl::CtlUsage()), stdout);
        return vorn::ctl::ExitDone;
    }
    if (!request.error.isEmpty()) {
        std::fprintf(stderr, "vorn-scheduler-ctl: %s\n%s", qPrintable(request.error),
                     qPrintable(vorn::ctl::CtlUsage()));
        return vorn::ctl::ExitUsage;
    }
    const vorn::Result sent = vorn::ctl::SendCtlRequest(request);
    if (sent.ok())
        return vorn::ctl::ExitDone;
    std::fprintf(stderr, "vorn-scheduler-ctl: %s\n", qPrintable(sent.message()));
    return vorn::ctl::ExitNoWindow;
}
