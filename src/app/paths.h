#pragma once

#include "appstate.h"

#include <QString>

namespace vorn {

// Fills WorkFolder, DataFolder and SettingsFile from the current directory by
// plain concatenation; the ".." stays in the paths.
void BuildPaths(AppState &state, const QString &currentDirectory);

// The same from the process's current directory.
void BuildPaths(AppState &state);

// The names of the three tables the manager keeps in a data folder, as
// OpenTable takes them (without ".dbf").
inline constexpr QLatin1StringView ScheduleTableName{"Scheduler"};
inline constexpr QLatin1StringView PlanTableName{"Aplan"};
inline constexpr QLatin1StringView ProcessTableName{"Process"};

// The live schedule table as OpenTable takes it: DataFolder + "Scheduler".
QString LiveTablePath(const AppState &state);

// The manager's plan and process tables, which every fill opens beside the
// schedule: DataFolder + "Aplan" and DataFolder + "Process".
QString PlanTablePath(const AppState &state);
QString ProcessTablePath(const AppState &state);

// The archive folder of saved copies: DataFolder + "Scheduler", without a
// trailing separator.
QString SavedCopiesFolder(const AppState &state);

// The table the window shows, as OpenTable takes it: the saved copy
// LoadedName while offline, otherwise the live table.
QString ShownTablePath(const AppState &state);

// The user manual that Help opens. Looked for in the program's own folder
// (a plant folder or the build tree), then in the installed data folder
// relative to it (../share/vorn-scheduler/ beside /usr/bin); while the
// interface is Chinese, PlantoraUserManual_zh_CN.pdf is preferred in each
// folder. When none exists: the program's folder + "PlantoraUserManual.pdf".
QString HelpFile(const QString &programFolder);

} // namespace vorn
