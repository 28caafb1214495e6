// vorn-scheduler-serve: follows the cells the command line or the
// configuration file names and serves them to browsers until it is stopped.

#include "plantserver.h"
#include "plantsource.h"
#include "servesetup.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

using namespace vorn;
using namespace vorn::serve;

int main(int argc, char **argv)
{
    // The chart pictures are drawn by the grid widget, so a platform is
    // needed; a server has no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetupFailure failure;
    const std::optional<ServeSetup> setup = ParseServeSetup(app.arguments().mid(1), QDir::currentPath(), &failure);
    if (!setup) {
        if (failure.exitCode == 0)
            std::fputs(qPrintable(failure.message), stdout);
        else
            std::fprintf(stderr, "vorn-scheduler-serve: %s\n", qPrintable(failure.message));
        return failure.exitCode;
    }
    const std::unique_ptr<PlantSource> plant = MakePlant(setup->cells);
    PlantServer server(*plant, setup->web);
    if (const Result started = server.start(); started.failed()) {
        std::fprintf(stderr, "vorn-scheduler-serve: %s\n", qPrintable(started.message()));
        return 1;
    }
    std::printf("vorn-scheduler-serve: listening on %s\n", qPrintable(server.address()));
    std::fflush(stdout);
    return app.exec();
}
