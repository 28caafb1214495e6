#include "paths.h"

#include "texts.h"

#include <QDir>
#include <QFileInfo>

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
    return state.DataFolder + ScheduleTableName;
}

QString PlanTablePath(const AppState &state)
{
    return state.DataFolder + PlanTableName;
}

QString ProcessTablePath(const AppState &state)
{
    return state.DataFolder + ProcessTableName;
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
    const QString english = QStringLiteral("PlantoraUserManual.pdf");
    QStringList names{english};
    if (CurrentLanguageID() == LanguageChinese)
        names.prepend(QStringLiteral("PlantoraUserManual_zh_CN.pdf"));
    // The build defines where an install puts the manual, relative to the
    // program, so a relocated install (another prefix, a DESTDIR) still finds it.
    for (const QString &name : names) {
        if (QFileInfo::exists(folder + name))
            return folder + name;
    }
    const QString installed = folder + QStringLiteral(VORN_MANUAL_FROM_PROGRAM "/");
    for (const QString &name : names) {
        if (QFileInfo::exists(installed + name))
            return QDir::cleanPath(installed + name);
    }
    return folder + english;
}

} // namespace vorn
