#pragma once

#include "appstate.h"

#include <QString>

namespace vorn {

// Fills WorkFolder, DataFolder and SettingsFile from the current directory by
// plain concatenation; the ".." stays in the paths.
void BuildPaths(AppState &state, const QString &currentDirectory);

// The same from the process's current directory.
void BuildPaths(AppState &state);

// The help file in the program's own folder.
QString HelpFile(const QString &programFolder);

} // namespace vorn
