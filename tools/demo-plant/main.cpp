// Writes a believable day of a production cell into ROOT/bin and ROOT/data,
// the folder pair the scheduler expects: run it from ROOT/bin and the tables
// are found in ../data.

#include "paths.h"
#include "plantmodel.h"
#include "settings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTime>

#include <cstdio>

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "vorn-demo-plant: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vorn-demo-plant"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes a demo plant (bin/ and data/ with the schedule, plan and process tables, "
        "VornSched.ini and LANGUAGE.INI) under ROOT."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("ROOT"), QStringLiteral("folder to write bin/ and data/ into"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("random seed (default 1)"),
                                        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption recordsOption(
        QStringLiteral("records"),
        QStringLiteral("number of schedule records (default: one cell's day, a few hundred)"),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption langOption(QStringLiteral("lang"),
                                        QStringLiteral("ENG or CN for LANGUAGE.INI (default ENG)"),
                                        QStringLiteral("LANG"), QStringLiteral("ENG"));
    const QCommandLineOption nowOption(
        QStringLiteral("now"),
        QStringLiteral("time of day the actual times run up to: hh:mm[:ss] or seconds (default 12:00)"),
        QStringLiteral("TIME"), QStringLiteral("12:00"));
    const QCommandLineOption dateOption(QStringLiteral("date"),
                                        QStringLiteral("base date for the status bar, yyyy-mm-dd (default today)"),
                                        QStringLiteral("DATE"));
    parser.addOptions({seedOption, recordsOption, langOption, nowOption, dateOption});
    parser.process(app);

    if (parser.positionalArguments().size() != 1)
        parser.showHelp(1);
    const QString root = parser.positionalArguments().front();

    bool ok = false;
    vorn::plant::PlantOptions options;
    options.seed = parser.value(seedOption).toULongLong(&ok);
    if (!ok)
        return fail(QStringLiteral("--seed needs a whole number"));
    options.operations = parser.value(recordsOption).toLongLong(&ok);
    if (!ok || options.operations < 0 || options.operations > 100'000'000)
        return fail(QStringLiteral("--records needs a number from 0 to 100000000"));
    const QString language = parser.value(langOption).toUpper();
    if (language != u"ENG" && language != u"CN")
        return fail(QStringLiteral("--lang is ENG or CN"));
    const std::optional<qint32> now = vorn::plant::ParseTimeOfDay(parser.value(nowOption));
    if (!now)
        return fail(QStringLiteral("--now needs hh:mm, hh:mm:ss or seconds below 86400"));
    QDate date = QDate::currentDate();
    if (parser.isSet(dateOption)) {
        date = QDate::fromString(parser.value(dateOption), Qt::ISODate);
        if (!date.isValid())
            return fail(QStringLiteral("--date needs yyyy-mm-dd"));
    }

    // The folders and files as the viewer finds them when started in bin.
    vorn::AppState state;
    vorn::BuildPaths(state, QDir(root).filePath(QStringLiteral("bin")));
    const QString &data = state.DataFolder;
    const QString archive = vorn::SavedCopiesFolder(state);
    for (const QString &folder : {state.WorkFolder, data, archive}) {
        if (!QDir().mkpath(folder))
            return fail(QStringLiteral("cannot create %1").arg(folder));
    }

    QElapsedTimer clock;
    clock.start();
    const vorn::plant::Plant plant = vorn::plant::GeneratePlant(options);
    const qint64 generated = clock.elapsed();

    if (const vorn::Result error = vorn::plant::WriteTables(data, plant, *now); error.failed())
        return fail(error.message());
    const qint64 written = clock.elapsed();

    // A finished earlier day in the archive, for the Open dialog.
    if (options.operations == 0) {
        vorn::plant::PlantOptions earlier = options;
        earlier.seed = options.seed + 1;
        if (const vorn::Result error = vorn::plant::WriteScheduleTable(
                archive + QStringLiteral("/Previous Day.dbf"),
                vorn::plant::GeneratePlant(earlier), 24 * 3600 - 1);
            error.failed())
            return fail(error.message());
    }

    if (!QFile::exists(state.SettingsFile)) {
        QFile file(state.SettingsFile);
        if (file.open(QIODevice::WriteOnly))
            file.write("; View settings of the scheduler for the demo plant\n");
    }
    // Grouped by part at five minutes with the finish columns hidden: each
    // part's route reads as a staircase of bars, the first thing a newcomer sees.
    const QString section = QStringLiteral("SCHEDULER");
    const QTime dayStart = QTime::fromMSecsSinceStartOfDay(options.dayStart * 1000);
    const vorn::Result results[] = {
        vorn::WriteIniString(state.SettingsFile, section, QStringLiteral("Timer"), QStringLiteral("500")),
        vorn::SaveSettings(state, {1, 0, 1, 1, 0, 1}, 4, 0),
        vorn::WriteIniString(state.SettingsFile, section, QStringLiteral("BaseDate"),
                             vorn::BaseDateText(date)),
        vorn::WriteIniString(state.SettingsFile, section, QStringLiteral("BaseTime"),
                             vorn::BaseTimeText(dayStart)),
        vorn::WriteIniString(state.WorkFolder + QStringLiteral("LANGUAGE.INI"), QStringLiteral("GENERAL"),
                             QStringLiteral("ApplicationLanguage"), language),
    };
    for (const vorn::Result &result : results) {
        if (result.failed())
            return fail(result.message());
    }

    std::printf("%s: %lld machines, %lld parts, %lld orders, %lld schedule records\n",
                qPrintable(QDir(root).absolutePath()), qint64(plant.machines.size()),
                qint64(plant.parts.size()), qint64(plant.orders.size()),
                qint64(plant.operations.size()));
    std::printf("generated in %lld ms, tables written in %lld ms\n", generated,
                written - generated);
    return 0;
}
