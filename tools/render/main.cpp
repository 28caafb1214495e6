// vorn-scheduler-render: the chart of a data folder as the window paints it,
// into a PNG, PDF or SVG file, without a display.
//
//   vorn-scheduler-render [--data FOLDER] [--sort machine|part] [--interval MIN]
//       [--columns LIST] [--now hh:mm:ss] [--from hh:mm] [--to hh:mm]
//       [--lang ENG|CN] [--no-overlays] OUT.png|OUT.pdf|OUT.svg
//
// Exit status 0 on success; 1 with one line on standard error when a table
// cannot be read or the output cannot be written (nothing is written then);
// 2 for a wrong command line.

#include "appstate.h"
#include "folderchart.h"
#include "ganttgrid.h"
#include "paths.h"
#include "texts.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>
#include <optional>

using namespace vorn;

namespace {

int fail(const QString &line, int code = 1)
{
    std::fprintf(stderr, "vorn-scheduler-render: %s\n", qPrintable(line));
    return code;
}

// "hh:mm" or "hh:mm:ss" in seconds; "24:00" is the end of the day.
std::optional<qint32> parseTime(const QString &text)
{
    if (text == QLatin1String("24:00"))
        return 24 * 3600;
    const std::optional<qint64> ms = chart::ChartClock::parseTimeOfDay(text);
    return ms ? std::optional<qint32>(qint32(*ms / 1000)) : std::nullopt;
}

// The settings file's key names of the six time columns, in check-box order.
std::optional<std::array<int, 6>> parseColumns(const QString &text)
{
    static const char *const names[6] = {"PlanBeg", "PlanEnd", "PlanDur", "ActBeg", "ActEnd", "ActDur"};
    std::array<int, 6> columns{};
    if (text.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0)
        return columns;
    for (const QString &piece : text.split(u',', Qt::SkipEmptyParts)) {
        int found = -1;
        for (int i = 0; i < 6; ++i) {
            if (piece.trimmed().compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0)
                found = i;
        }
        if (found < 0)
            return std::nullopt;
        columns[size_t(found)] = 1;
    }
    return columns;
}

} // namespace

// The one line of an error is all a caller should see on standard error;
// Qt's own notes (a missing runtime folder and the like) are not for them.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg)
        std::fprintf(stderr, "vorn-scheduler-render: %s\n", qPrintable(message));
}

int main(int argc, char *argv[])
{
    qInstallMessageHandler(quietMessages);
    // A renderer never needs a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vorn-scheduler-render"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Renders the Gantt chart of a data folder as the Vorn Scheduler window paints it, "
        "with the settings of the folder's VornSched.ini."));
    parser.addHelpOption();
    const QCommandLineOption dataOption(QStringLiteral("data"),
        QStringLiteral("data folder (default: the viewer's, ../data/ from the current folder)"),
        QStringLiteral("FOLDER"));
    const QCommandLineOption sortOption(QStringLiteral("sort"), QStringLiteral("grouping: machine or part"),
                                        QStringLiteral("machine|part"));
    const QCommandLineOption intervalOption(QStringLiteral("interval"),
        QStringLiteral("minutes per column: 1, 2, 3, 4, 5, 6, 10 or 12"), QStringLiteral("MIN"));
    const QCommandLineOption columnsOption(QStringLiteral("columns"),
        QStringLiteral("time columns shown, comma-separated from PlanBeg, PlanEnd, PlanDur, ActBeg, "
                       "ActEnd, ActDur, or none"), QStringLiteral("LIST"));
    const QCommandLineOption nowOption(QStringLiteral("now"),
        QStringLiteral("time of day of the overlays (default: the local time)"), QStringLiteral("hh:mm:ss"));
    const QCommandLineOption fromOption(QStringLiteral("from"),
        QStringLiteral("first time shown (default: the hour of the earliest time)"), QStringLiteral("hh:mm"));
    const QCommandLineOption toOption(QStringLiteral("to"),
        QStringLiteral("end of the time shown (default: the hour after the latest time)"), QStringLiteral("hh:mm"));
    const QCommandLineOption langOption(QStringLiteral("lang"),
        QStringLiteral("language ENG or CN (default: LANGUAGE.INI beside this program)"), QStringLiteral("ENG|CN"));
    const QCommandLineOption noOverlaysOption(QStringLiteral("no-overlays"),
        QStringLiteral("paint only what the grid paints, without the live overlays"));
    parser.addOptions({dataOption, sortOption, intervalOption, columnsOption, nowOption, fromOption,
                       toOption, langOption, noOverlaysOption});
    parser.addPositionalArgument(QStringLiteral("OUT"), QStringLiteral("output file: .png, .pdf or .svg"));
    parser.process(app);

    const QStringList outputs = parser.positionalArguments();
    if (outputs.size() != 1)
        return fail(QStringLiteral("give exactly one output file (.png, .pdf or .svg)"), 2);
    const QString output = outputs.first();
    const QString suffix = QFileInfo(output).suffix().toLower();
    if (suffix != QLatin1String("png") && suffix != QLatin1String("pdf") && suffix != QLatin1String("svg"))
        return fail(QStringLiteral("the output must end in .png, .pdf or .svg"), 2);

    FolderChartRequest request;
    if (parser.isSet(dataOption)) {
        request.dataFolder = parser.value(dataOption);
        if (!request.dataFolder.endsWith(u'/'))
            request.dataFolder += u'/';
    } else {
        AppState paths;
        BuildPaths(paths);
        request.dataFolder = paths.DataFolder;
    }
    if (parser.isSet(sortOption)) {
        const QString sort = parser.value(sortOption).toLower();
        if (sort != QLatin1String("machine") && sort != QLatin1String("part"))
            return fail(QStringLiteral("--sort takes machine or part"), 2);
        request.sortOrder = sort == QLatin1String("machine") ? qint16(1) : qint16(0);
    }
    if (parser.isSet(intervalOption)) {
        const QString interval = parser.value(intervalOption);
        bool known = false;
        for (int i = 0; i < 8; ++i)
            known = known || interval == IntervalTextOfIndex(i);
        if (!known)
            return fail(QStringLiteral("--interval takes 1, 2, 3, 4, 5, 6, 10 or 12"), 2);
        request.interval = interval;
    }
    if (parser.isSet(columnsOption)) {
        request.columns = parseColumns(parser.value(columnsOption));
        if (!request.columns)
            return fail(QStringLiteral("--columns takes PlanBeg, PlanEnd, PlanDur, ActBeg, ActEnd, "
                                       "ActDur separated by commas, or none"), 2);
    }
    std::optional<qint32> now;
    std::optional<qint32> from;
    std::optional<qint32> to;
    for (const auto &[option, value] : {std::pair{&nowOption, &now}, {&fromOption, &from}, {&toOption, &to}}) {
        if (!parser.isSet(*option))
            continue;
        *value = parseTime(parser.value(*option));
        if (!*value)
            return fail(QStringLiteral("--%1 takes a time of day as hh:mm or hh:mm:ss").arg(option->names().first()), 2);
    }

    LoadTextResources();
    qint32 language = GetLanguageID(QCoreApplication::applicationDirPath());
    if (parser.isSet(langOption)) {
        const QString lang = parser.value(langOption).toUpper();
        if (lang != QLatin1String("ENG") && lang != QLatin1String("CN"))
            return fail(QStringLiteral("--lang takes ENG or CN"), 2);
        language = lang == QLatin1String("CN") ? LanguageChinese : LanguageEnglish;
    }
    SetLanguage(language);

    AppState state;
    chart::GanttGrid grid;
    grid.setLogicalDpi(96);
    grid.setAppState(&state);
    if (const Result error = FillChartFromFolder(grid, state, request); error.failed())
        return fail(error.message());

    FolderChartOptions options;
    options.nowSeconds = now.value_or(qint32(chart::ChartClock().timeOfDayMs() / 1000));
    options.fromSeconds = from;
    options.toSeconds = to;
    options.overlays = !parser.isSet(noOverlaysOption);
    const FolderChartView view(grid, state, options);
    if (const Result error = chart::SaveChartFile(grid, view.extent(), output); error.failed())
        return fail(QStringLiteral("cannot write %1: %2").arg(output, error.message()));
    return 0;
}
