// What following a cell costs the plant view: the first view of a large
// cell, a tick that finds nothing changed, and one that finds a share of the
// records changed, with the bytes each sends. Prints its figures; asserts
// nothing.
//
//   bench_serve [records] [share]     (default 100000 and 0.01)

#include "dbftable.h"
#include "plant.h"
#include "plantmodel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace vorn;

namespace {

double cpuMs()
{
    return double(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const qint64 records = args.size() > 0 ? args[0].toLongLong() : 100000;
    const double share = args.size() > 1 ? args[1].toDouble() : 0.01;

    QTemporaryDir dir;
    plant::PlantOptions options;
    options.operations = records;
    const plant::Plant cell = plant::GeneratePlant(options);
    if (!plant::WriteTables(dir.path(), cell, 13 * 3600).ok())
        return 1;

    QElapsedTimer wall;
    wall.start();
    double cpu = cpuMs();
    serve::Plant plant({{QStringLiteral("C1"), dir.path(), 0, 0}});
    std::printf("%lld records: plant made (first fill) in %.1f ms, cpu %.1f ms\n", static_cast<long long>(records),
                wall.nsecsElapsed() / 1e6, cpuMs() - cpu);

    QByteArray last;
    QObject::connect(&plant, &serve::PlantSource::cellMessage,
                     [&](const QString &, serve::Sort, const QByteArray &message) { last = message; });
    plant.follow(QStringLiteral("C1"), serve::Sort::Machine);
    std::vector<double> viewMs;
    qsizetype viewBytes = 0;
    for (int i = 0; i < 5; ++i) {
        cpu = cpuMs();
        viewBytes = plant.wholeView(QStringLiteral("C1"), serve::Sort::Machine)->size();
        viewMs.push_back(cpuMs() - cpu);
    }
    std::printf("whole view: %lld bytes, cpu median %.1f ms\n", static_cast<long long>(viewBytes), median(viewMs));
    cpu = cpuMs();
    const qsizetype plantBytes = plant.cellsJson().size();
    std::printf("plant summary: %lld bytes, cpu %.2f ms\n", static_cast<long long>(plantBytes), cpuMs() - cpu);

    // Quiet ticks: the first after the fill settles what the fill left.
    plant.tickAll();
    std::vector<double> quietMs;
    qsizetype quietBytes = 0;
    for (int i = 0; i < 40; ++i) {
        last.clear();
        cpu = cpuMs();
        plant.tickAll();
        quietMs.push_back(cpuMs() - cpu);
        quietBytes += last.size();
    }
    std::printf("quiet tick: cpu median %.2f ms, %lld bytes sent in %zu ticks\n", median(quietMs),
                static_cast<long long>(quietBytes), quietMs.size());

    // Ticks after a share of the records got a new planned finish.
    const qint32 changed = qint32(std::max<double>(1, records * share));
    std::vector<double> busyMs;
    std::vector<double> busyBytes;
    for (int round = 0; round < 5; ++round) {
        {
            store::DbfTable table;
            if (table.open(dir.path() + QStringLiteral("/Scheduler.dbf")).failed())
                return 1;
            const qint32 step = qint32(records / changed);
            for (qint32 i = 0; i < changed; ++i)
                (void)table.setField(1 + i * step, 5, QString::number(50000 + round * 60 + i % 7));
        }
        last.clear();
        cpu = cpuMs();
        plant.tickAll();
        busyMs.push_back(cpuMs() - cpu);
        busyBytes.push_back(double(last.size()));
    }
    std::printf("tick with %d records changed (%.1f%%): cpu median %.2f ms, message %.0f bytes (%.2f%% of the view)\n",
                changed, share * 100, median(busyMs), median(busyBytes), 100.0 * median(busyBytes) / double(viewBytes));
    return 0;
}
