// vorn-manager-sim: plays the production cell's manager for demos and tests.
// It writes the schedule, plan and process tables into a data folder, runs
// the day on an accelerated clock (operations start and finish, actual times
// appear, rework is appended, and when the day is over the schedule is
// cleaned and the next one planned), and owns the Manager Server document on
// the session bus, printing one line per call a Vorn Scheduler window makes.

#include "chartclock.h"
#include "managerseat.h"
#include "plantmodel.h"

#include "dbftable.h"
#include "fieldreader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QRandomGenerator>
#include <QTime>
#include <QTimer>

#include <atomic>
#include <optional>
#include <csignal>
#include <cstdio>

using namespace vorn;

namespace {

std::atomic<bool> stopRequested{false};

extern "C" void requestStop(int)
{
    stopRequested = true;
}

QString clockText(qint32 seconds)
{
    return QTime::fromMSecsSinceStartOfDay((seconds % (24 * 3600)) * 1000).toString(QStringLiteral("HH:mm:ss"));
}

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

struct Options {
    QString dataFolder;
    double speed = 60;
    int tickMs = 500;
    bool bus = true;
    qint64 operations = 0;
    quint64 seed = 1;
    qint32 firstClock = -1;   // seconds from midnight where the first day's clock starts
    // A clock shared with the viewer (--clock): the simulated time follows
    // the wall clock from its anchor, and a new day goes on from where the
    // clock stands, so that the viewer's now line stays on the cell's time.
    std::optional<chart::ChartClock> sharedClock;
};

class Manager : public QObject {
public:
    explicit Manager(const Options &options)
        : m_options(options), m_random(quint32(options.seed))
    {
    }

    bool start()
    {
        if (!QDir().mkpath(m_options.dataFolder)) {
            std::fprintf(stderr, "vorn-manager-sim: cannot create %s\n", qPrintable(m_options.dataFolder));
            return false;
        }
        if (!plan(m_options.seed))
            return false;
        if (m_options.bus)
            m_seated = m_seat->take();
        connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
        m_timer.start(m_options.tickMs);
        return true;
    }

private:
    QString tablePath(const char *name) const
    {
        return QDir(m_options.dataFolder).filePath(QString::fromLatin1(name) + QStringLiteral(".dbf"));
    }

    bool plan(quint64 seed)
    {
        plant::PlantOptions plantOptions;
        plantOptions.seed = seed;
        plantOptions.operations = m_options.operations;
        const bool firstDay = seed == m_options.seed;
        if (m_options.sharedClock) {
            m_clock = double(m_options.sharedClock->continuousMs()) / 1000;
            m_now = qint32(m_clock);
            if (!firstDay)
                plantOptions.dayStart = m_now;
        }
        m_plant = plant::GeneratePlant(plantOptions);
        if (!m_options.sharedClock) {
            m_now = plantOptions.dayStart;
            // A demo that starts mid-shift shows finished and running work at once.
            if (m_options.firstClock >= 0 && firstDay)
                m_now = std::max(m_now, m_options.firstClock);
            m_clock = m_now;
        }
        m_dayEnd = m_now;
        for (const plant::Operation &operation : m_plant.operations)
            m_dayEnd = std::max(m_dayEnd, std::max(operation.actualFinish(), operation.plannedFinish()));
        if (const Result error = plant::WriteTables(m_options.dataFolder, m_plant, m_now); error.failed()) {
            std::fprintf(stderr, "vorn-manager-sim: %s\n", qPrintable(error.message()));
            return false;
        }
        say(QStringLiteral("%1 planned: %2 operations on %3 machines, day %4 to %5 (plan %6)")
                .arg(clockText(m_now))
                .arg(m_plant.operations.size())
                .arg(m_plant.machines.size())
                .arg(clockText(m_now), clockText(m_dayEnd))
                .arg(seed));
        return true;
    }

    // The manager's notices to a window, sent without waiting: a window that
    // is not there or does not answer changes nothing here.
    void notifyWindow(const char *text)
    {
        if (!m_seated)
            return;
        m_seat->notify(QByteArray(text));
        say(QStringLiteral("%1 notice %2").arg(clockText(m_now), QString::fromLatin1(text)));
    }

    void tick()
    {
        const qint32 before = m_now;
        // The clock keeps its fractions: a tick worth less than a second must
        // still move it, and a fractional speed must not lose time every tick.
        if (m_options.sharedClock)
            m_clock = double(m_options.sharedClock->continuousMs()) / 1000;
        else
            m_clock += m_options.speed * m_options.tickMs / 1000.0;
        m_now = qint32(m_clock);
        if (m_cleanedAt >= 0) {
            // A pause between the clean and the next plan, as a real re-plan takes.
            if (m_now - m_cleanedAt >= 300) {
                m_cleanedAt = -1;
                if (plan(m_options.seed + ++m_day))
                    notifyWindow("START");
            }
            return;
        }
        update(before);
        // Only after the update, so that the tick that passes the day's end
        // still writes the last finishes before the schedule is cleaned.
        if (m_now > m_dayEnd) {
            notifyWindow("STOP");
            m_plant.operations.clear();
            if (const Result error = plant::WriteScheduleTable(tablePath("Scheduler"), m_plant, m_now); error.failed())
                say(QStringLiteral("cannot clean the schedule: %1").arg(error.message()));
            else
                say(QStringLiteral("%1 day over: schedule cleaned").arg(clockText(m_now)));
            m_cleanedAt = m_now;
        }
    }

    // Writes what changed on the cell between `before` and now into the
    // schedule table.
    void update(qint32 before)
    {
        store::DbfTable table;
        if (const Result error = table.open(tablePath("Scheduler")); error.failed()) {
            say(QStringLiteral("cannot open the schedule: %1").arg(error.message()));
            return;
        }
        int changed = 0;
        const qint32 count = std::min<qint32>(table.recordCount(), qint32(m_plant.operations.size()));
        for (qint32 record = 1; record <= count; ++record) {
            const plant::Operation &operation = m_plant.operations[record - 1];
            if (operation.stateAt(before) == operation.stateAt(m_now))
                continue;
            // Only the actual times and the status move on the cell.
            const QList<QString> fields = operation.recordAt(m_now);
            for (int position = model::kStartA; position <= model::kStatusFinish; ++position) {
                if (const Result error = table.setField(record, position, fields[position - 1]); error.failed())
                    say(QStringLiteral("cannot write record %1: %2").arg(record).arg(error.message()));
            }
            ++changed;
        }
        // Every three quarters of an hour of the day a part fails its
        // measurement and goes round again.
        if (!m_plant.operations.isEmpty() && m_now / 2700 != before / 2700) {
            plant::Operation rework =
                m_plant.operations[m_random.bounded(qint32(m_plant.operations.size()))];
            rework.part += QStringLiteral("-R");
            rework.order.clear();
            rework.plannedStart = m_now + 600;
            rework.actualStart = rework.plannedStart + m_random.bounded(120);
            m_plant.operations.append(rework);
            if (const Result error = table.appendRecord(rework.recordAt(m_now)); error.failed())
                say(QStringLiteral("cannot append the rework: %1").arg(error.message()));
            m_dayEnd = std::max(m_dayEnd, rework.actualFinish());
            say(QStringLiteral("%1 rework appended: %2 on %3").arg(clockText(m_now), rework.part, rework.machine));
        }
        if (changed > 0)
            say(QStringLiteral("%1 %2 operations changed").arg(clockText(m_now)).arg(changed));
    }

    Options m_options;
    QRandomGenerator m_random;
    plant::Plant m_plant;
    double m_clock = 0;   // simulated seconds from midnight
    qint32 m_now = 0;     // the clock's whole seconds
    qint32 m_dayEnd = 0;
    qint32 m_cleanedAt = -1;
    quint64 m_day = 0;
    std::unique_ptr<ManagerSeat> m_seat = MakeManagerSeat(say);
    bool m_seated = false;
    QTimer m_timer;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vorn-manager-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays the production cell's manager: keeps the schedule tables in a data folder "
        "up to date on an accelerated clock and owns ManagerServer.Document on the session bus."));
    parser.addHelpOption();
    const QCommandLineOption dataOption(QStringLiteral("data"),
                                        QStringLiteral("data folder for the tables (default ./data)"),
                                        QStringLiteral("DIR"), QStringLiteral("data"));
    const QCommandLineOption speedOption(QStringLiteral("speed"),
                                         QStringLiteral("simulated seconds per real second (default 60)"),
                                         QStringLiteral("N"), QStringLiteral("60"));
    const QCommandLineOption tickOption(QStringLiteral("tick-ms"),
                                        QStringLiteral("real milliseconds between updates (default 500)"),
                                        QStringLiteral("MS"), QStringLiteral("500"));
    const QCommandLineOption operationsOption(
        QStringLiteral("operations"), QStringLiteral("operations per plan (default: one cell's day)"),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("first plan's seed (default 1)"),
                                        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption noBusOption(QStringLiteral("no-bus"),
                                         QStringLiteral("only write the tables; no Manager Server document"));
    const QCommandLineOption startOption(QStringLiteral("start"),
                                         QStringLiteral("clock time the first day starts at: hh:mm[:ss] or seconds "
                                                        "(default: the first release)"),
                                         QStringLiteral("TIME"));
    const QCommandLineOption clockOption(
        QStringLiteral("clock"),
        QStringLiteral("a clock shared with the viewer's --clock: the time of day at an instant of the "
                       "wall clock (milliseconds since 1970, default now) and the speed; replaces "
                       "--start and --speed"),
        QStringLiteral("hh:mm[:ss],SPEED[,ANCHOR]"));
    parser.addOptions({dataOption, speedOption, tickOption, operationsOption, seedOption, noBusOption, startOption,
                       clockOption});
    parser.process(app);

    Options options;
    options.dataFolder = parser.value(dataOption);
    bool speedOk = false;
    bool tickOk = false;
    bool operationsOk = false;
    bool seedOk = false;
    options.speed = parser.value(speedOption).toDouble(&speedOk);
    options.tickMs = parser.value(tickOption).toInt(&tickOk);
    options.operations = parser.value(operationsOption).toLongLong(&operationsOk);
    options.seed = parser.value(seedOption).toULongLong(&seedOk);
    options.bus = !parser.isSet(noBusOption);
    if (parser.isSet(startOption)) {
        const std::optional<qint32> start = plant::ParseTimeOfDay(parser.value(startOption));
        if (!start) {
            std::fprintf(stderr, "vorn-manager-sim: --start needs hh:mm, hh:mm:ss or seconds below 86400\n");
            return 2;
        }
        options.firstClock = *start;
    }
    if (parser.isSet(clockOption)) {
        options.sharedClock = chart::ChartClock::parse(parser.value(clockOption), QDateTime::currentMSecsSinceEpoch());
        if (!options.sharedClock) {
            std::fprintf(stderr, "vorn-manager-sim: --clock needs hh:mm[:ss],SPEED[,ANCHOR-MS]\n");
            return 2;
        }
        options.speed = options.sharedClock->speed();
    }
    if (!speedOk || options.speed <= 0 || !tickOk || options.tickMs <= 0 || !operationsOk
        || options.operations < 0 || !seedOk) {
        std::fprintf(stderr, "vorn-manager-sim: --speed and --tick-ms need positive numbers, "
                             "--operations and --seed whole numbers\n");
        return 2;
    }

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    // A signal handler may only set the flag; the event loop is ended from here,
    // independent of how slowly the simulated clock ticks.
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, &app, [] {
        if (stopRequested)
            QCoreApplication::quit();
    });
    stopWatch.start(100);

    Manager manager(options);
    if (!manager.start())
        return 1;
    const int code = app.exec();
    say(QStringLiteral("stopped"));
    return code;
}

