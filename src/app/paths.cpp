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

QString HelpFile(const QString &programFolder)
{
    QString folder = programFolder;
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder + QStringLiteral("PlantoraUserManual.pdf");
}

} // namespace vorn
