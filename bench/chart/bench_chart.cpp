// Speed and size of the Gantt grid. Prints its figures; asserts nothing.
//   repaint:  a 1920x1080 viewport at the one-minute scale, every row with both bars
//   interval: the time scale rebuilt from 12 to 1 minute on a 10,000-row grid
//   append:   100,000 rows of the fill (ApplyScheduleRows) with the group-row properties
//   memory:   what a 100,000-row grid at the one-minute scale adds to the process
//   overlays: the same repaint of a 100,000-row grouped grid with the live
//             overlays off and on, the now line's strip, a tooltip's text

#include "appstate.h"
#include "chartclock.h"
#include "ganttgrid.h"
#include "gridfill.h"
#include "gridlayout.h"
#include "overlaymodel.h"
#include "overlaypainter.h"
#include "texts.h"

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

// CPU and wall milliseconds of `rounds` runs of `work`, each sorted.
struct Times {
    std::vector<double> cpu;
    std::vector<double> wall;
    double cpuMedian() const { return cpu[cpu.size() / 2]; }
    double wallMedian() const { return wall[wall.size() / 2]; }
};

template <typename Work>
Times timeRounds(int rounds, Work work)
{
    Times times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        const double c0 = threadCpuMs();
        t.start();
        work();
        times.wall.push_back(t.nsecsElapsed() / 1e6);
        times.cpu.push_back(threadCpuMs() - c0);
    }
    std::sort(times.cpu.begin(), times.cpu.end());
    std::sort(times.wall.begin(), times.wall.end());
    return times;
}

// A 1920x1080 viewport without frame or scroll bars at the one-minute scale.
void showFullHd(GanttGrid &grid, AppState &state)
{
    grid.setLogicalDpi(96);
    grid.setFrameShape(QFrame::NoFrame);
    grid.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid.setAttribute(Qt::WA_DontShowOnScreen);
    grid.resize(1920, 1080);
    grid.show();
    grid.setAppState(&state);
    SetUpGrid(grid.data());
    SetTimeScaleInterval(grid.data(), state, QStringLiteral("1"), nullptr);
}

void benchRepaint()
{
    AppState state;
    GanttGrid grid;
    showFullHd(grid, state);
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
    const Times times = timeRounds(rounds, [&] { grid.viewport()->render(&image); });
    std::printf("repaint 1920x1080, interval 1, both bars on every row: CPU median %.2f ms; "
                "wall median %.2f ms, best %.2f ms (%d rounds; target 8 ms)\n",
                times.cpuMedian(), times.wallMedian(), times.wall.front(), rounds);
}

void benchOverlays()
{
    LoadTextResources();
    AppState state;
    GanttGrid grid;
    showFullHd(grid, state);
    GridData &d = grid.data();
    // 100,000 rows in groups of ten operations; every operation runs, half
    // of them past their planned end, so each row in view gets a running
    // bar, a ghost, most an overrun and a late text, and each group a count.
    std::vector<GridData::RowContent> rows(100000);
    for (size_t i = 0; i < rows.size(); ++i) {
        GridData::RowContent &row = rows[i];
        row.node = true;
        row.data = int(i) + 1;
        if (i % 11 == 0) {
            row.texts = {QString(), QStringLiteral("M%1").arg(i), QStringLiteral("06:00:00"),
                         QStringLiteral("18:00:00"), QStringLiteral("12:00:00"), QStringLiteral("06:00:30")};
        } else {
            row.outlineLevel = 1;
            row.texts = {QString(), QStringLiteral("P%1").arg(i), QStringLiteral("06:00:00"),
                         QStringLiteral("13:00:00"), i % 2 ? QStringLiteral("07:00:00") : QStringLiteral("01:00:00"),
                         QStringLiteral("06:00:30")};
        }
    }
    d.appendRows(rows);
    grid.setLeftCol(8 + 7 * 60);
    grid.setTopRow(50000);
    // Now at 07:30, half way across the view.
    ChartClock clock = ChartClock::frozen(qint64(7 * 3600 + 30 * 60) * 1000);
    OverlayPainter painter(clock);

    QImage image(grid.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    const auto repaint = [&] { grid.viewport()->render(&image); };
    grid.setOverlay(&painter);
    repaint(); // warm-up
    // Off and on in turns, so that a busy machine weighs on both alike.
    Times off;
    Times on;
    for (int i = 0; i < 400; ++i) {
        const bool overlays = i % 2 == 1;
        painter.setEnabled(overlays);
        const Times once = timeRounds(1, repaint);
        Times &into = overlays ? on : off;
        into.cpu.push_back(once.cpu.front());
        into.wall.push_back(once.wall.front());
    }
    for (Times *times : {&off, &on}) {
        std::sort(times->cpu.begin(), times->cpu.end());
        std::sort(times->wall.begin(), times->wall.end());
    }
    const double offCpu = off.cpuMedian();
    const double onCpu = on.cpuMedian();
    const double offWall = off.wallMedian();
    const double onWall = on.wallMedian();
    painter.setEnabled(true);
    std::printf("repaint 1920x1080 of 100,000 grouped rows, every operation running: overlays off "
                "CPU %.2f ms (wall %.2f), on CPU %.2f ms (wall %.2f): +%.2f ms (target +1 ms)\n",
                offCpu, offWall, onCpu, onWall, onCpu - offCpu);

    // The now line's step repaints a strip around it and the late texts.
    const QRect strip(grid.fixedWidthPixels() + 30 * 26 - 4, grid.fixedHeightPixels(), 80,
                      1080 - grid.fixedHeightPixels());
    const Times strips = timeRounds(200, [&] {
        grid.viewport()->render(&image, strip.topLeft(), QRegion(strip));
    });
    const double stripCpu = strips.cpuMedian();
    const double stripWall = strips.wallMedian();
    std::printf("now line step, strip of 80x%d pixels: CPU %.3f ms (wall %.3f)\n", strip.height(),
                stripCpu, stripWall);

    int sink = 0;
    const Times tips = timeRounds(200, [&] {
        for (int r = 50000; r < 50100; ++r)
            sink += int(TooltipText(d, r, 1, 7 * 3600 + 1800, {}).size());
    });
    const double tipCpu = tips.cpuMedian();
    const double tipWall = tips.wallMedian();
    std::printf("tooltip text of a row: CPU %.1f us (wall %.1f us; %d characters)\n", tipCpu * 10,
                tipWall * 10, sink / 20000);
    grid.setOverlay(nullptr);
}

void benchInterval()
{
    AppState state;
    GridData grid;
    SetUpGrid(grid);
    SetTimeScaleInterval(grid, state, QStringLiteral("12"), nullptr);
    ApplyScheduleRows(grid, makeRows(10000));
    NullProgress progress;
    std::vector<double> ms;
    for (int i = 0; i < 5; ++i) {
        SetTimeScaleInterval(grid, state, QStringLiteral("12"), nullptr);
        const double c0 = threadCpuMs();
        SetTimeScaleInterval(grid, state, QStringLiteral("1"), &progress);
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
    SetTimeScaleInterval(*grid, state, QStringLiteral("1"), nullptr);
    const double c0 = threadCpuMs();
    ApplyScheduleRows(*grid, std::move(rows));
    const double appendMs = threadCpuMs() - c0;
    // What is left of the rows (their six time fields, the vector) is the
    // fill's, not the grid's.
    std::vector<model::ScheduleRow>().swap(rows);
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
    // Optional argument: run only "append", "interval", "repaint" or "overlays".
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (only.isEmpty() || only == u"append")
        benchAppendAndMemory();
    if (only.isEmpty() || only == u"interval")
        benchInterval();
    if (only.isEmpty() || only == u"repaint")
        benchRepaint();
    if (only.isEmpty() || only == u"overlays")
        benchOverlays();
    return 0;
}
