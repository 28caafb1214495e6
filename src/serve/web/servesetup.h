#pragma once

#include "plantsource.h"
#include "weboptions.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace vorn::serve {

// What vorn-scheduler-serve is started with: the cells and how to serve them.
struct ServeSetup {
    std::vector<CellConfig> cells;
    WebOptions web;
};

// Why it cannot start, and the exit code that says so: 2 for a wrong
// command line, 1 for a file that does not do (0 with the usage for --help).
struct SetupFailure {
    int exitCode = 2;
    QString message;
};

// The setup from the command line `arguments` (without the program's name):
// --cell NAME=FOLDER (repeated) or --config FILE (one section per cell:
// DataFolder=, NoChangeMinutes=, Interval=), else one cell "Cell1" in ../data/
// below `currentFolder`; --listen ADDRESS:PORT, --token-file FILE, --cert
// FILE with --key FILE. Relative folders are taken from the current folder,
// in a configuration file from the file's own folder.
std::optional<ServeSetup> ParseServeSetup(const QStringList &arguments, const QString &currentFolder,
                                          SetupFailure *failure);

} // namespace vorn::serve
