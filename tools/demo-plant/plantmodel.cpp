#include "plantmodel.h"

#include "dbftable.h"

#include <QDir>
#include <QHash>
#include <QTime>

#include <algorithm>
#include <array>

namespace vorn::plant {

namespace {

// SplitMix64: tiny, and the same numbers on every compiler and library,
// which the standard distributions do not promise.
class Random {
public:
    explicit Random(quint64 seed) : m_state(seed) {}

    quint64 next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // A whole number from lo to hi, both included.
    qint32 between(qint32 lo, qint32 hi)
    {
        return lo + qint32(next() % quint64(hi - lo + 1));
    }

private:
    quint64 m_state;
};

struct ProcessKind {
    const char *process;
    const char *machine;   // machine name stem
    int machinesPerCell;
    bool numberedAlone;    // a single machine of the kind still carries a number
    qint32 shortest;       // planned duration, seconds
    qint32 longest;
};

// One cell: two mills, two lathes, a drill, a grinder, two robots that load
// and unload the machine tools, a washer and a measuring machine.
constexpr std::array<ProcessKind, 8> kKinds = {{
    {"Milling", "Mill", 2, true, 600, 2400},
    {"Turning", "Lathe", 2, true, 480, 1500},
    {"Drilling", "Drill", 1, true, 240, 900},
    {"Grinding", "Grind", 1, true, 600, 1500},
    {"Loading", "Robot", 2, true, 30, 90},
    {"Unloading", "Robot", 0, true, 30, 90},   // the same robots
    {"Washing", "Wash", 1, false, 300, 600},
    {"Measuring", "Measure", 1, false, 240, 900},
}};

enum Step { Milling, Turning, Drilling, Grinding, Loading, Unloading, Washing, Measuring };

struct Family {
    const char *name;
    std::initializer_list<Step> route;  // the machining and finishing steps
};

const std::array<Family, 6> kFamilies = {{
    {"Shaft", {Turning, Grinding, Washing, Measuring}},
    {"Gear", {Turning, Milling, Drilling, Washing, Measuring}},
    {"Flange", {Turning, Drilling, Washing}},
    {"Housing", {Milling, Drilling, Milling, Washing, Measuring}},
    {"Bracket", {Milling, Drilling, Washing}},
    {"Cover", {Milling, Washing, Measuring}},
}};

constexpr int kPartsPerCell = 30;
constexpr int kPartsPerOrder = 6;
constexpr int kRushPartsPerCell = 2;   // rework, outside any order
constexpr qint32 kLastSecond = 24 * 3600 - 1;

bool isMachining(Step step)
{
    return step == Milling || step == Turning || step == Drilling || step == Grinding;
}

QString processName(Step step)
{
    return QString::fromLatin1(kKinds[step].process);
}

// The machines of cell `cell` for each step; robots serve both robot steps.
struct CellMachines {
    std::array<QList<int>, 8> byStep;  // indexes into Plant::machines
};

CellMachines addCellMachines(Plant &plant, int cell)
{
    CellMachines result;
    for (int step = Milling; step <= Measuring; ++step) {
        const ProcessKind &kind = kKinds[step];
        if (step == Unloading) {
            result.byStep[step] = result.byStep[Loading];
            continue;
        }
        for (int i = 0; i < kind.machinesPerCell; ++i) {
            const int number = cell * kind.machinesPerCell + i + 1;
            QString name = QString::fromLatin1(kind.machine);
            if (kind.numberedAlone || number > 1)
                name += QString::number(number);
            result.byStep[step].append(int(plant.machines.size()));
            plant.machines.append({name, processName(Step(step))});
        }
    }
    return result;
}

// Busy times of one machine, kept sorted, so that a step can take the first
// gap that fits instead of queueing behind everything planned so far.
class Timeline {
public:
    // The earliest start at or after `ready` that leaves `duration` free.
    qint32 earliest(qint32 ready, qint32 duration) const
    {
        qint32 start = ready;
        for (const auto &[busyFrom, busyTo] : m_busy) {
            if (start + duration <= busyFrom)
                break;
            start = std::max(start, busyTo);
        }
        return start;
    }

    void book(qint32 from, qint32 to)
    {
        const auto at = std::lower_bound(m_busy.begin(), m_busy.end(), std::pair{from, to});
        m_busy.insert(at, {from, to});
    }

private:
    QList<std::pair<qint32, qint32>> m_busy;
};

// Lays out one cell's day. Parts are released one after the other; each step
// goes to the machine of its kind that can start it first, in the first free
// gap after the part's previous step. The actual run then drifts from the
// plan by late starts and slow cycles, never overlapping on a machine or
// within a part.
void addCell(Plant &plant, int cell, const PlantOptions &options)
{
    Random random(options.seed * 1000003ull + quint64(cell));
    const CellMachines machines = addCellMachines(plant, cell);
    QHash<int, Timeline> planned;
    QHash<int, Timeline> actual;
    const QString processes[8] = {processName(Milling), processName(Turning),
                                  processName(Drilling), processName(Grinding),
                                  processName(Loading), processName(Unloading),
                                  processName(Washing), processName(Measuring)};

    const int firstPart = cell * kPartsPerCell;
    const int ordersPerCell = (kPartsPerCell - kRushPartsPerCell + kPartsPerOrder - 1) / kPartsPerOrder;
    const int firstOrder = int(plant.orders.size());
    for (int i = 0; i < ordersPerCell; ++i)
        plant.orders.append(QStringLiteral("ORD-%1").arg(24001 + cell * ordersPerCell + i));

    qint32 release = options.dayStart;
    for (int p = 0; p < kPartsPerCell; ++p) {
        const Family &family = kFamilies[random.next() % kFamilies.size()];
        Part part;
        part.family = QString::fromLatin1(family.name);
        part.name = QStringLiteral("%1-%2").arg(part.family).arg(1001 + firstPart + p);
        if (p < kPartsPerCell - kRushPartsPerCell)
            part.order = plant.orders[firstOrder + p / kPartsPerOrder];
        part.release = release;
        release += random.between(600, 1500);
        plant.parts.append(part);

        qint32 plannedReady = part.release;
        qint32 actualReady = part.release;
        const auto schedule = [&](Step step) {
            const ProcessKind &kind = kKinds[step];
            Operation op;
            op.part = part.name;
            op.process = processes[step];
            op.order = part.order;
            op.plannedDuration = random.between(kind.shortest, kind.longest);
            const qint32 ready = plannedReady
                + (isMachining(step) ? random.between(0, 120) : random.between(0, 20));
            int machine = -1;
            for (const int m : machines.byStep[step]) {
                const qint32 start = planned[m].earliest(ready, op.plannedDuration);
                if (machine < 0 || start < op.plannedStart) {
                    machine = m;
                    op.plannedStart = start;
                }
            }
            op.machine = plant.machines[machine].name;

            // Mostly a little late, now and then early, rarely much late.
            const qint32 roll = random.between(0, 99);
            const qint32 delay = roll < 15 ? -random.between(10, 90)
                : roll < 90               ? random.between(0, 240)
                                          : random.between(300, 1200);
            op.actualDuration = op.plannedDuration * random.between(92, 125) / 100;
            op.actualStart = actual[machine].earliest(
                std::max(op.plannedStart + delay, actualReady), op.actualDuration);

            // A day has 24 hours; a cell that ran past midnight would end its
            // last steps at the day's last second (the default sizes never do).
            op.plannedStart = std::min(op.plannedStart, kLastSecond - op.plannedDuration);
            op.actualStart = std::min(op.actualStart, kLastSecond - op.actualDuration);

            planned[machine].book(op.plannedStart, op.plannedFinish());
            actual[machine].book(op.actualStart, op.actualFinish());
            plannedReady = op.plannedFinish();
            actualReady = op.actualFinish();
            plant.operations.append(op);
        };
        for (const Step step : family.route) {
            if (isMachining(step))
                schedule(Loading);
            schedule(step);
            if (isMachining(step))
                schedule(Unloading);
        }
    }
}

store::FieldDescriptor field(const char *name, char type, int length)
{
    store::FieldDescriptor f;
    f.name = name;
    f.type = type;
    f.length = length;
    return f;
}

// Creates the table at `path` anew and opens it for the records to come.
Result createTable(store::DbfTable &table, const QString &path,
                   const QList<store::FieldDescriptor> &fields)
{
    if (Result error = store::DbfTable::create(path, fields); error.failed())
        return error;
    return table.open(path);
}

} // namespace

OperationState Operation::stateAt(qint32 now) const
{
    if (now >= actualFinish())
        return OperationState::Finished;
    if (now >= actualStart)
        return OperationState::Running;
    return OperationState::Waiting;
}

QList<QString> Operation::recordAt(qint32 now) const
{
    const OperationState state = stateAt(now);
    const bool started = state != OperationState::Waiting;
    const bool finished = state == OperationState::Finished;
    return {part,
            process,
            machine,
            order,
            QString::number(plannedStart),
            QString::number(plannedFinish()),
            QString::number(plannedDuration),
            started ? QString::number(actualStart) : QString(),
            finished ? QString::number(actualFinish()) : QString(),
            finished ? QString::number(actualDuration) : QString(),
            finished ? QStringLiteral("Finished")
                     : started ? QStringLiteral("Running") : QString()};
}

Plant GeneratePlant(const PlantOptions &options)
{
    Plant plant;
    const qint64 wanted = options.operations;
    int cell = 0;
    do {
        addCell(plant, cell++, options);
    } while (plant.operations.size() < wanted);
    if (wanted > 0)
        plant.operations.resize(wanted);
    return plant;
}

std::optional<qint32> ParseTimeOfDay(const QString &text)
{
    bool ok = false;
    const qint32 seconds = text.toInt(&ok);
    if (ok)
        return (seconds >= 0 && seconds < 24 * 3600) ? std::optional<qint32>(seconds) : std::nullopt;
    QTime time = QTime::fromString(text, QStringLiteral("H:mm:ss"));
    if (!time.isValid())
        time = QTime::fromString(text, QStringLiteral("H:mm"));
    if (!time.isValid())
        return std::nullopt;
    return time.msecsSinceStartOfDay() / 1000;
}

QList<store::FieldDescriptor> ScheduleTableFields()
{
    return {field("Part", 'C', 20),       field("Process", 'C', 20),   field("Machine", 'C', 15),
            field("Order", 'C', 15),      field("StartP", 'N', 10),    field("FinishP", 'N', 10),
            field("DurationP", 'N', 10),  field("StartA", 'N', 10),    field("FinishA", 'N', 10),
            field("DurationA", 'N', 10),  field("StatusFini", 'C', 10)};
}

Result WriteScheduleTable(const QString &path, const Plant &plant, qint32 now)
{
    store::DbfTable table;
    if (Result error = createTable(table, path, ScheduleTableFields()); error.failed())
        return error;
    return table.appendRecords(qint32(plant.operations.size()),
                               [&](qint32 index) { return plant.operations[index].recordAt(now); });
}

Result WritePlanTable(const QString &path, const Plant &plant)
{
    store::DbfTable table;
    if (const Result error = createTable(table, path,
                                         {field("Order", 'C', 15), field("Part", 'C', 20),
                                          field("Family", 'C', 15), field("Quantity", 'N', 6),
                                          field("Release", 'N', 10), field("Due", 'N', 10)});
        error.failed())
        return error;
    QHash<QString, qint32> due;
    for (const Operation &op : plant.operations)
        due[op.part] = std::max(due.value(op.part), op.plannedFinish());
    QList<const Part *> planned;   // parts cut off by a wanted number of operations have none
    for (const Part &part : plant.parts) {
        if (due.contains(part.name))
            planned.append(&part);
    }
    return table.appendRecords(qint32(planned.size()), [&](qint32 index) -> QList<QString> {
        const Part &part = *planned[index];
        return {part.order, part.name, part.family, QStringLiteral("1"), QString::number(part.release),
                QString::number(due.value(part.name))};
    });
}

Result WriteProcessTable(const QString &path, const Plant &plant)
{
    store::DbfTable table;
    if (const Result error =
            createTable(table, path, {field("Process", 'C', 20), field("Machine", 'C', 15)});
        error.failed())
        return error;
    return table.appendRecords(qint32(plant.machines.size()), [&](qint32 index) -> QList<QString> {
        return {plant.machines[index].process, plant.machines[index].name};
    });
}

Result WriteTables(const QString &dataFolder, const Plant &plant, qint32 now)
{
    const QDir folder(dataFolder);
    if (const Result error =
            WriteScheduleTable(folder.filePath(QStringLiteral("Scheduler.dbf")), plant, now);
        error.failed())
        return error;
    if (Result error = WritePlanTable(folder.filePath(QStringLiteral("Aplan.dbf")), plant); error.failed())
        return error;
    return WriteProcessTable(folder.filePath(QStringLiteral("Process.dbf")), plant);
}

} // namespace vorn::plant
