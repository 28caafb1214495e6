// Speed of one in-place refresh tick (the times of every row rewritten from
// the live table) with and without the XML feed to the Manager Server, and
// the memory over many ticks on a table that keeps changing. Prints its
// figures; asserts nothing.
//
//   bench_refresh [ticks]     (default 10000 for the memory run)

#include "fieldreader.h"
#include "griddata.h"
#include "managerclient.h"
#include "plantmodel.h"
#include "refresh.h"
#include "schedulerows.h"
#include "schedulexml.h"
#include "tablelibrary.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace vorn;

namespace {

// A table the benchmark cannot write or open would time nothing: stop there.
void require(const Result &result)
{
    if (result.failed()) {
        std::fprintf(stderr, "bench_refresh: %s\n", qPrintable(result.message()));
        std::exit(1);
    }
}

// A manager that only counts what it gets, so that its own memory stays flat.
class CountingManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "ManagerServer.Document")
public:
    qint64 calls = 0;
    qint64 characters = 0;
public slots:
    void CreateView(const QString &, const QString &, short) { ++calls; }
    void SetViewXMLData(const QString &, const QString &xml)
    {
        ++calls;
        characters += xml.size();
    }
};

struct Timing {
    std::vector<double> ms;
    double median() const
    {
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0.0 : sorted[sorted.size() / 2];
    }
    double best() const { return ms.empty() ? 0.0 : *std::min_element(ms.begin(), ms.end()); }
};

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// The grid as the fill leaves it: header rows, then group and detail rows.
void fillGrid(chart::GridData &grid, const store::DbfTable &table)
{
    const model::FillResult fill = model::BuildScheduleRows(table, model::kSortByMachine, nullptr);
    grid.setCols(8 + 24 * 60);
    grid.setRows(2 + int(fill.rows.size()));
    int row = 2;
    for (const model::ScheduleRow &r : fill.rows) {
        grid.setText(row, 1, r.label);
        for (int i = 0; i < 6; ++i)
            grid.setText(row, 2 + i, r.times[size_t(i)]);
        grid.setRowOutlineLevel(row, r.level);
        grid.setRowData(row, r.record);
        ++row;
    }
}

qint32 result0(const QString &path)
{
    store::DbfTable table;
    return table.open(path).ok() ? table.recordCount() : 0;
}

void drain(ManagerServerClient *view)
{
    while (view && !view->isIdle())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

// One tick as the window runs it: a context of its own, open, refresh, close.
RefreshResult tick(const QString &tablePath, chart::GridData &grid, ManagerServerClient *view,
                   RefreshState *state = nullptr)
{
    store::TableContext context;
    store::DbfTable table;
    if (context.OpenTable(table, tablePath).failed())
        return {};
    return RefreshTimesAndFeed(table, grid, view != nullptr, view, state);
}

// A tick on a table that did not change, with what the last tick saw kept, as
// the window runs it, beside its floor: opening the table and finding that no
// record's bytes changed, which no tick can skip.
void timeQuietTicks(const QString &path, chart::GridData &grid, ManagerServerClient *view)
{
    for (const bool feed : {false, true}) {
        if (feed && !view)
            continue;
        RefreshState state;
        tick(path, grid, feed ? view : nullptr, &state);
        drain(feed ? view : nullptr);
        Timing quiet;
        Timing floor;
        quint64 sink = 0;
        for (int run = 0; run < 15; ++run) {
            QElapsedTimer timer;
            timer.start();
            tick(path, grid, feed ? view : nullptr, &state);
            quiet.ms.push_back(timer.nsecsElapsed() / 1e6);
            drain(feed ? view : nullptr);
            timer.restart();
            {
                store::TableContext context;
                store::DbfTable table;
                if (context.OpenTable(table, path).ok()) {
                    for (qint32 record = 1; record <= table.recordCount(); ++record)
                        sink += model::RecordFingerprint(table.rawRecord(record));
                }
            }
            floor.ms.push_back(timer.nsecsElapsed() / 1e6);
        }
        std::printf("  nothing changed, %-14s median %6.2f ms  best %6.2f ms; floor (open, fingerprint every record) "
                    "best %6.2f ms%s\n",
                    feed ? "with feed" : "without feed", quiet.median(), quiet.best(), floor.best(),
                    sink == 42 ? " " : "");
    }
}

void timeTicks(qint64 operations, ManagerServerClient *view, const QTemporaryDir &dir)
{
    plant::PlantOptions options;
    options.operations = operations;
    const plant::Plant cell = plant::GeneratePlant(options);
    const QString path = dir.filePath(QStringLiteral("Scheduler%1").arg(operations));
    require(plant::WriteScheduleTable(path + QStringLiteral(".dbf"), cell, 13 * 3600));

    chart::GridData grid;
    {
        store::DbfTable table;
        require(table.open(path));
        fillGrid(grid, table);
    }
    for (const bool feed : {false, true}) {
        if (feed && !view)
            continue;
        Timing timing;
        Timing delivered;
        RefreshResult result;
        for (int run = 0; run < 7; ++run) {
            QElapsedTimer timer;
            timer.start();
            result = tick(path, grid, feed ? view : nullptr);
            timing.ms.push_back(timer.nsecsElapsed() / 1e6);
            // The manager's side is not the window's time, but say how long
            // the view waits for its text.
            drain(feed ? view : nullptr);
            delivered.ms.push_back(timer.nsecsElapsed() / 1e6);
        }
        std::printf("tick, %6d grid rows, %-14s median %7.1f ms  best %7.1f ms  (%d records)\n",
                    grid.rows() - 2, feed ? "with feed" : "without feed", timing.median(),
                    timing.best(), result.records);
        if (feed)
            std::printf("  the view has the new text %.1f ms after the tick began (median)\n",
                        delivered.median());
    }
    timeQuietTicks(path, grid, view);
    if (!view)
        return;
    // The feed built and sent on the window's thread, as a table with memo
    // fields still needs it.
    Timing build;
    Timing send;
    for (int run = 0; run < 7; ++run) {
        store::DbfTable table;
        require(table.open(path));
        QElapsedTimer timer;
        timer.start();
        const QString xml = model::BuildScheduleXml(table, model::XmlVariant::Refresh);
        build.ms.push_back(timer.nsecsElapsed() / 1e6);
        timer.restart();
        view->SetViewXMLData(QStringLiteral("SCHEDULER"), xml);
        send.ms.push_back(timer.nsecsElapsed() / 1e6);
        drain(view);
    }
    std::printf("  XML of %d records built on the window's thread in %.1f ms, handed over in %.2f ms (medians)\n",
                result0(path), build.median(), send.median());
}

void memoryOverTicks(int ticks, ManagerServerClient *view, const QTemporaryDir &dir)
{
    plant::PlantOptions options;
    options.operations = 1000;
    plant::Plant cell = plant::GeneratePlant(options);
    const QString path = dir.filePath(QStringLiteral("Changing"));
    qint32 now = 7 * 3600;
    require(plant::WriteScheduleTable(path + QStringLiteral(".dbf"), cell, now));
    chart::GridData grid;
    {
        store::DbfTable table;
        require(table.open(path));
        fillGrid(grid, table);
    }

    long startKiB = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 1; i <= ticks; ++i) {
        // The day moves on: actual times appear in the table between ticks;
        // now and then the manager rewrites it with more operations.
        now += 5;
        if (i % 500 == 0) {
            cell.operations.append(cell.operations.first());
            require(plant::WriteScheduleTable(path + QStringLiteral(".dbf"), cell, now));
        } else {
            store::DbfTable table;
            if (table.open(path).ok()) {
                const qint32 record = 1 + (i * 7919) % table.recordCount();
                const QList<QString> fields = cell.operations[record - 1].recordAt(now);
                for (int position = 8; position <= 11; ++position)
                    require(table.setField(record, position, fields[position - 1]));
            }
        }
        tick(path, grid, view);
        drain(view);
        if (i == 100)
            startKiB = residentKiB();   // after the first allocations have settled
    }
    std::printf("%d ticks on a changing %d-record table%s: RSS at tick 100 %ld KiB, at the end %ld KiB "
                "(%+ld KiB); %.1f s\n",
                ticks, int(cell.operations.size()), view ? " with feed" : "", startKiB, residentKiB(),
                residentKiB() - startKiB, timer.elapsed() / 1000.0);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int ticks = argc > 1 ? std::max(200, atoi(argv[1])) : 10000;
    QTemporaryDir dir;

    // The manager plays on its own connection of this process when a session
    // bus is there; without one only the ticks without feed are measured.
    CountingManager manager;
    std::unique_ptr<ManagerServerClient> view;
    QDBusConnection managerBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("bench-manager"));
    if (managerBus.isConnected()
        && managerBus.registerObject(QStringLiteral("/ManagerServer/Document"), &manager,
                                     QDBusConnection::ExportAllSlots)
        && managerBus.registerService(ManagerServerClient::ServiceName)) {
        view = ManagerServerClient::create();
    }
    if (!view)
        std::printf("no session bus or the manager name is taken: ticks without feed only\n");

    timeTicks(10000, view.get(), dir);
    timeTicks(100000, view.get(), dir);
    memoryOverTicks(ticks, view.get(), dir);
    if (view)
        std::printf("manager received %lld calls, %lld characters; client failed %d, superseded %d\n",
                    manager.calls, manager.characters, view->failedCount(), view->supersededCount());
    return 0;
}

#include "bench_refresh.moc"
