// Speed and size of the Gantt grid. Prints its figures; asserts nothing.
//   repaint:  a 1920x1080 viewport at the one-minute scale, every row with both bars
//   interval: the time scale rebuilt from 12 to 1 minute on a 10,000-row grid
//   append:   100,000 rows of the fill (ApplyScheduleRows) with the group-row properties
//   memory:   what a 100,000-row grid at the one-minute scale adds to the process

#include "appstate.h"
#include "ganttgrid.h"
#include "gridfill.h"
#include "gridlayout.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <vector>

using namespace vorn;
using namespace vorn::chart;

namespace {

// Resident set size in MB, from /proc (Linux only; 0 elsewhere).
double residentMb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * 4096.0 / (1024.0 * 1024.0) : 0;
}

// CPU time of this thread in ms: on a shared machine the wall clock also
// counts the time other processes had the core.
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

QString timeText(int seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// Rows as the grouped fill hands them to the grid, one group row per ten
// detail rows, made before the clock starts: the benchmark measures the grid,
// not the formatting of times.
std::vector<model::ScheduleRow> makeRows(int count)
{
    std::vector<model::ScheduleRow> rows(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const int start = (i * 37) % 80000;
        const int finish = start + 3000 + (i % 7) * 600;
        model::ScheduleRow &row = rows[size_t(i)];
        row.level = i % 11 == 0 ? 0 : 1;
        row.label = row.level == 0 ? QStringLiteral("M%1").arg(i) : QStringLiteral("P%1").arg(i);
        row.record = i + 1;
        const int values[6] = {start, finish, finish - start, start + 120, finish + 300,
                               finish - start + 180};
        for (int k = 0; k < 6; ++k)
            row.times[size_t(k)] = timeText(values[k]);
    }
    return rows;
}

class NullProgress : public ProgressBox {
public:
    int steps = 0;
    QSize windowSizeTwips() const override { return {15000, 10000}; }
    QSize boxSizeTwips() const override { return {4000, 600}; }
    void showAt(const QPoint &) override {}
    void setRange(int, int) override {}
    void setValue(int) override { ++steps; }
    void hide() override {}
};

void benchRepaint()
{
    AppState state;
    GanttGrid grid;
    grid.setLogicalDpi(96);
    grid.setFrameShape(QFrame::NoFrame);
    grid.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid.setAttribute(Qt::WA_DontShowOnScreen);
    grid.resize(1920, 1080);
    grid.show();
    grid.setAppState(&state);
    SetUpGrid(grid.data());
    CmbInterval_Click(grid.data(), state, QStringLiteral("1"), nullptr);
    GridData &d = grid.data();
    // Every visible row carries a planned and an actual bar over the view.
    for (int i = 0; i < 2000; ++i) {
        d.addItem(QStringLiteral("\tP%1\t06:00:00\t18:00:00\t12:00:00\t06:00:30\t18:30:00\t12:29:30")
                      .arg(i));
        d.setIsNode(d.rows() - 1, true);
        d.setRowOutlineLevel(d.rows() - 1, 1);
    }
    grid.setLeftCol(8 + 7 * 60);
    grid.setTopRow(500);

    QImage image(grid.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    grid.viewport()->render(&image); // warm-up: fonts and glyph caches
    const int rounds = 200;
    std::vector<double> ms;
    std::vector<double> cpu;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        const double c0 = threadCpuMs();
        t.start();
        grid.viewport()->render(&image);
        ms.push_back(t.nsecsElapsed() / 1e6);
        cpu.push_back(threadCpuMs() - c0);
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("repaint 1920x1080, interval 1, both bars on every row: CPU median %.2f ms; "
                "wall median %.2f ms, best %.2f ms (%d rounds; target 8 ms)\n",
                cpu[cpu.size() / 2], ms[ms.size() / 2], ms.front(), rounds);
}

void benchInterval()
{
    AppState state;
    GridData grid;
    SetUpGrid(grid);
    CmbInterval_Click(grid, state, QStringLiteral("12"), nullptr);
    ApplyScheduleRows(grid, makeRows(10000));
    NullProgress progress;
    std::vector<double> ms;
    for (int i = 0; i < 5; ++i) {
        CmbInterval_Click(grid, state, QStringLiteral("12"), nullptr);
        const double c0 = threadCpuMs();
        CmbInterval_Click(grid, state, QStringLiteral("1"), &progress);
        ms.push_back(threadCpuMs() - c0);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("interval 12 -> 1 on %d rows: CPU median %.2f ms, best %.2f ms "
                "(%d progress steps; target 100 ms)\n",
                grid.rows() - 2, ms[ms.size() / 2], ms.front(), progress.steps / 5);
}

void benchAppendAndMemory()
{
    // The texts count: the fill moves them into the grid, where they then
    // exist once, as in the program.
    const double before = residentMb();
    std::vector<model::ScheduleRow> rows = makeRows(100000);
    AppState state;
    auto grid = std::make_unique<GridData>();
    SetUpGrid(*grid);
    CmbInterval_Click(*grid, state, QStringLiteral("1"), nullptr);
    const double c0 = threadCpuMs();
    ApplyScheduleRows(*grid, std::move(rows));
    const double appendMs = threadCpuMs() - c0;
    const double after = residentMb();
    std::printf("append 100,000 fill rows (ApplyScheduleRows): CPU %.1f ms\n", appendMs);
    std::printf("memory of a 100,000-row grid at interval 1 (1448 columns): +%.1f MB "
                "(target 150 MB)\n",
                after - before);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Optional argument: run only "append", "interval" or "repaint".
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (only.isEmpty() || only == u"append")
        benchAppendAndMemory();
    if (only.isEmpty() || only == u"interval")
        benchInterval();
    if (only.isEmpty() || only == u"repaint")
        benchRepaint();
    return 0;
}
