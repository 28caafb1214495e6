#include "exportchart.h"

#include "frmscheduler.h"
#include "ganttgrid.h"
#include "gridcsv.h"
#include "inifile.h"
#include "messagebox.h"
#include "texts.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

#include <cerrno>

namespace vorn {

namespace {

const char *const Suffixes[] = {"csv"};
constexpr int FormatCount = 1;
// The settings file is ANSI text: the folder is kept percent-encoded so that
// any name survives it.
const QString ExportFolderKey = QStringLiteral("ExportFolder");
const QString SettingsSection = QStringLiteral("SCHEDULER");

// The system's reason; QSaveFile gives none when the target is a folder.
QString FailureReason(const QString &path, const QFileDevice &file)
{
    if (!file.errorString().isEmpty())
        return file.errorString();
    return qt_error_string(QFileInfo(path).isDir() ? EISDIR : EIO);
}

ExportResult WriteBytes(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return {false, FailureReason(path, file)};
    return {};
}

} // namespace

QStringList ExportFilters()
{
    return {GetText(417, "CSV table (*.csv)")};
}

QString ExportSuffix(int filterIndex)
{
    return filterIndex >= 0 && filterIndex < FormatCount ? QLatin1String(Suffixes[filterIndex]) : QString();
}

ExportResult ExportSchedule(chart::GanttGrid &grid, const QString &path)
{
    return WriteBytes(path, chart::GridCsv(grid.data()));
}

QString ExportFolder(const AppState &state)
{
    const QString stored = ReadIniString(state.SettingsFile, SettingsSection, ExportFolderKey, QString(), 4096);
    const QString folder = QUrl::fromPercentEncoding(stored.toLatin1());
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::currentPath();
}

void RememberExportFolder(const AppState &state, const QString &folder)
{
    // Not worth a message: the next export simply starts elsewhere.
    WriteIniString(state.SettingsFile, SettingsSection, ExportFolderKey,
                   QString::fromLatin1(QUrl::toPercentEncoding(folder, "/")));
}

void RunExportDialog(frmScheduler &window, bool topMost)
{
    QFileDialog dialog(&window, GetText(418, "Export"), ExportFolder(window.state()));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(ExportFilters());
    if (topMost)
        dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    QString path = dialog.selectedFiles().first();
    const QString suffix = ExportSuffix(int(ExportFilters().indexOf(dialog.selectedNameFilter())));
    if (QFileInfo(path).suffix().toLower() != suffix)
        path += u'.' + suffix;
    RememberExportFolder(window.state(), QFileInfo(path).absolutePath());
    const ExportResult result = ExportSchedule(*window.fg(), path);
    if (!result.ok) {
        ShowMessage({GetText(419, "The file could not be written:") + u'\n' + QDir::toNativeSeparators(path)
                         + u'\n' + result.reason,
                     ApplicationTitle(), MessageButtons::Ok, MessageIcon::Critical});
    }
}

} // namespace vorn
