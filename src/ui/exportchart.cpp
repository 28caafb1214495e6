#include "exportchart.h"

#include "chartrender.h"
#include "chartsvg.h"
#include "frmscheduler.h"
#include "ganttgrid.h"
#include "gridcsv.h"
#include "inifile.h"
#include "messagebox.h"
#include "settings.h"
#include "texts.h"
#include "windowchart.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

#include <string_view>
#include <vector>

namespace vorn {

namespace {

// In the order the dialog offers them; the first is its default.
struct Format {
    int textId;
    const char *filter;
    const char *suffix;
};
constexpr Format Formats[] = {
    {414, "PNG picture (*.png)", "png"},
    {415, "PDF document (*.pdf)", "pdf"},
    {416, "SVG drawing (*.svg)", "svg"},
    {417, "CSV table (*.csv)", "csv"},
};
// The settings file is ANSI text: the folder is kept percent-encoded so that
// any name survives it.
const QString ExportFolderKey = QStringLiteral("ExportFolder");

// SVG is offered only where this build can write it.
std::vector<Format> OfferedFormats()
{
    std::vector<Format> offered;
    for (const Format &format : Formats)
        if (chart::CanWriteSvg() || std::string_view(format.suffix) != "svg")
            offered.push_back(format);
    return offered;
}

} // namespace

QStringList ExportFilters()
{
    QStringList filters;
    for (const Format &format : OfferedFormats())
        filters << GetText(format.textId, format.filter);
    return filters;
}

QString ExportSuffix(int filterIndex)
{
    const std::vector<Format> offered = OfferedFormats();
    return filterIndex >= 0 && filterIndex < int(offered.size()) ? QLatin1String(offered[filterIndex].suffix)
                                                                  : QString();
}

Result ExportSchedule(frmScheduler &window, const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"png" || (suffix == u"svg" && chart::CanWriteSvg()) || suffix == u"pdf") {
        WindowChart chart(window);
        return chart::SaveChartFile(chart.grid(), chart.extent(), path);
    }
    const QByteArray bytes = chart::GridCsv(window.fg()->data());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return Result::failure(chart::FileFailureReason(path, file));
    return Result::success();
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
    std::ignore = WriteIniString(state.SettingsFile, SettingsSection, ExportFolderKey,
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
    // A name typed with one of the formats' endings chooses that format;
    // any other name gets the ending of the chosen filter.
    const QString typed = QFileInfo(path).suffix().toLower();
    bool known = false;
    for (const Format &format : OfferedFormats())
        known = known || typed == QLatin1String(format.suffix);
    if (!known)
        path += u'.' + ExportSuffix(int(ExportFilters().indexOf(dialog.selectedNameFilter())));
    RememberExportFolder(window.state(), QFileInfo(path).absolutePath());
    if (const Result result = ExportSchedule(window, path); result.failed()) {
        ShowMessage({GetText(419, "The file could not be written:") + u'\n' + QDir::toNativeSeparators(path)
                         + u'\n' + result.message(),
                     ApplicationTitle(), MessageButtons::Ok, MessageIcon::Critical});
    }
}

} // namespace vorn
