// Speed of the main window's fill and of start-up to the first painted chart.
// Prints its figures; asserts nothing.
//
//   bench_ui [records] [--fill-only]     (default 100000)
//
// --fill-only runs nothing but the window's FillTree, three times per
// grouping, for profilers (valgrind --tool=callgrind --toggle-collect=...).

#include "frmscheduler.h"
#include "ganttgrid.h"
#include "griddata.h"
#include "gridfill.h"
#include "gridlayout.h"
#include "paths.h"
#include "plantmodel.h"
#include "schedulerows.h"
#include "tablelibrary.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <vector>

using namespace vorn;

namespace {

// Processor time of this process: on a machine shared with other work the
// wall time alone overstates what the fill costs.
double cpuMs()
{
    return double(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

// Fresh pages taken by this process: each costs a page fault, which on
// some machines is dearer than the work done in the page.
long minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

struct Stopwatch {
    QElapsedTimer wall;
    double cpuStart = 0;
    long faultsStart = 0;
    void start()
    {
        faultsStart = minorFaults();
        cpuStart = cpuMs();
        wall.start();
    }
};

struct Timing {
    std::vector<double> ms;
    std::vector<double> cpu;
    long faults = 0;   // the fewest of any run
    void add(const Stopwatch &t)
    {
        ms.push_back(t.wall.nsecsElapsed() / 1e6);
        cpu.push_back(cpuMs() - t.cpuStart);
        const long f = minorFaults() - t.faultsStart;
        faults = ms.size() == 1 ? f : std::min(faults, f);
    }
    double median() const
    {
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0.0 : sorted[sorted.size() / 2];
    }
    double best() const { return ms.empty() ? 0.0 : *std::min_element(ms.begin(), ms.end()); }
    double cpuMedian() const
    {
        std::vector<double> sorted = cpu;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0.0 : sorted[sorted.size() / 2];
    }
};

void print(const char *what, const Timing &t)
{
    std::printf("%-50s median %7.1f ms  best %7.1f ms  cpu %7.1f ms  faults %6ld  (%zu runs)\n", what,
                t.median(), t.best(), t.cpuMedian(), t.faults, t.ms.size());
}

bool writePlant(const QString &root, qint64 operations)
{
    QDir(root).mkpath(QStringLiteral("bin"));
    QDir(root).mkpath(QStringLiteral("data"));
    plant::PlantOptions options;
    options.operations = operations;
    const plant::Plant cell = plant::GeneratePlant(options);
    return plant::WriteTables(root + QStringLiteral("/data"), cell, 13 * 3600).ok();
}

// Runs the event loop until the grid's viewport has been painted once.
double msToFirstPaint(frmScheduler &window, const QElapsedTimer &since)
{
    struct Watch : QObject {
        bool painted = false;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                painted = true;
            return false;
        }
    } watch;
    window.fg()->viewport()->installEventFilter(&watch);
    window.show();
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
    window.fg()->viewport()->removeEventFilter(&watch);
    return since.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const bool fillOnly = args.contains(QStringLiteral("--fill-only"));
    qint64 records = 100000;
    for (const QString &arg : args) {
        if (!arg.startsWith(u'-'))
            records = arg.toLongLong();
    }
    const int runs = fillOnly ? 3 : 5;

    // Start-up on the demo plant (one cell's day).
    if (!fillOnly) {
        QTemporaryDir dir;
        if (!writePlant(dir.path(), 0))
            return 1;
        Timing startup;
        for (int i = 0; i < runs; ++i) {
            AppState state;
            BuildPaths(state, dir.path() + QStringLiteral("/bin"));
            Stopwatch t;
            t.start();
            frmScheduler window(state, WindowStart{QString(), dir.path() + QStringLiteral("/bin"), false});
            window.resize(1200, 760);
            window.Form_Load();
            startup.ms.push_back(msToFirstPaint(window, t.wall));
            startup.cpu.push_back(cpuMs() - t.cpuStart);
        }
        print("demo plant: window load to first painted chart", startup);
    }

    QTemporaryDir dir;
    QElapsedTimer generate;
    generate.start();
    if (!writePlant(dir.path(), records))
        return 1;
    std::printf("tables of %lld records written in %.0f ms\n", static_cast<long long>(records),
                generate.nsecsElapsed() / 1e6);

    AppState state;
    BuildPaths(state, dir.path() + QStringLiteral("/bin"));
    store::TableContext context;
    store::DbfTable table;
    if (context.OpenTable(table, LiveTablePath(state)).failed())
        return 1;

    for (qint16 sortOrder : {qint16(0), qint16(1)}) {
        if (fillOnly)
            break;
        const char *by = sortOrder == 0 ? "by part" : "by machine";
        Timing model;
        Timing release;
        Timing apply;
        Timing dropResult;
        std::size_t rows = 0;
        chart::GridData grid;
        chart::SetUpGrid(grid);
        for (int i = 0; i < runs; ++i) {
            Stopwatch t;
            t.start();
            model::FillResult result = model::BuildScheduleRows(table, sortOrder, nullptr);
            model.add(t);
            rows = result.rows.size();
            t.start();
            grid.setRows(2);   // the previous fill's rows, released as FillTree does
            release.add(t);
            t.start();
            ApplyScheduleRows(grid, std::move(result.rows));
            DrawBodyBorders(grid);
            apply.add(t);
            t.start();
            result = {};
            dropResult.add(t);
        }
        std::printf("%lld records %s: %zu grid rows\n", static_cast<long long>(records), by, rows);
        print("  grouping (BuildScheduleRows)", model);
        print("  previous rows released (setRows(2))", release);
        print("  grid rows (ApplyScheduleRows + borders)", apply);
        print("  emptied rows of the pass released", dropResult);
    }
    table.close();

    // The whole FillTree of the window: three tables opened, grouped, applied.
    frmScheduler window(state, WindowStart{QString(), dir.path() + QStringLiteral("/bin"), false});
    window.Form_Load();
    for (qint16 sortOrder : {qint16(0), qint16(1)}) {
        Timing fill;
        for (int i = 0; i < runs; ++i) {
            Stopwatch t;
            t.start();
            window.FillTree(sortOrder);
            fill.add(t);
        }
        print(sortOrder == 0 ? "FillTree by part (target 200 ms at 100,000)"
                             : "FillTree by machine (target 200 ms at 100,000)",
              fill);
    }
    return 0;
}
