#include "paths.h"

#include <QDir>

namespace vorn {

void BuildPaths(AppState &state, const QString &currentDirectory)
{
    state.WorkFolder = currentDirectory;
    // The root directory already ends in the separator.
    if (!state.WorkFolder.endsWith(u'/'))
        state.WorkFolder += u'/';
    state.DataFolder = state.WorkFolder + QStringLiteral("../data/");
    state.SettingsFile = state.DataFolder + QStringLiteral("VornSched.ini");
}

void BuildPaths(AppState &state)
{
    BuildPaths(state, QDir::currentPath());
}

QString LiveTablePath(const AppState &state)
{
    return state.DataFolder + QStringLiteral("Scheduler");
}

QString SavedCopiesFolder(const AppState &state)
{
    return state.DataFolder + QStringLiteral("Scheduler");
}

QString ShownTablePath(const AppState &state)
{
    // Offline holds only 0 or 1, so "offline" reads the same whether it is
    // written as Offline = 1 or as Offline not 0.
    if (state.Offline != 0 && !state.LoadedName.isEmpty())
        return SavedCopiesFolder(state) + u'/' + state.LoadedName;
    return LiveTablePath(state);
}

QString HelpFile(const QString &programFolder)
{
    QString folder = programFolder;
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder + QStringLiteral("PlantoraUserManual.pdf");
}

} // namespace vorn
