#pragma once

#include "dbfheader.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace vorn::plant {

// A believable production cell and its day: machines, parts in orders, and
// the operations the manager program plans for them, with planned and actual
// times in seconds from midnight. Everything follows from the seed, so a demo
// or a benchmark table can be made again byte for byte.

struct Machine {
    QString name;     // "Mill1", "Robot2", "Wash"
    QString process;  // what it does: "Milling", "Loading", "Washing"
};

struct Part {
    QString name;     // "Shaft-1001"
    QString family;   // "Shaft"
    QString order;    // empty for rework outside any order
    qint32 release = 0;
};

enum class OperationState { Waiting, Running, Finished };

struct Operation {
    QString part;
    QString process;
    QString machine;
    QString order;
    qint32 plannedStart = 0;
    qint32 plannedDuration = 0;
    // What the cell really does, fixed at generation; how much of it shows
    // depends on the time of the look (stateAt, recordAt).
    qint32 actualStart = 0;
    qint32 actualDuration = 0;

    qint32 plannedFinish() const { return plannedStart + plannedDuration; }
    qint32 actualFinish() const { return actualStart + actualDuration; }

    // Finished once the actual finish has passed, running from the actual
    // start, waiting before it.
    OperationState stateAt(qint32 now) const;

    // The eleven field texts of the schedule table at `now`: the actual
    // times only as far as they have happened (a running operation has its
    // start but no finish or duration), and "Finished" or "Running" as the
    // finish status.
    QList<QString> recordAt(qint32 now) const;
};

struct PlantOptions {
    quint64 seed = 1;
    // Operations wanted; 0 gives one cell's day of a few hundred. Larger
    // numbers add further cells of ten machines each, so that every machine
    // keeps a believable day and the times stay inside it.
    qint64 operations = 0;
    qint32 dayStart = 6 * 3600;
};

struct Plant {
    QList<Machine> machines;
    QList<Part> parts;
    QStringList orders;
    QList<Operation> operations;  // in the order the manager writes them: part by part, step by step
};

Plant GeneratePlant(const PlantOptions &options);

// A time of day as the tools take it on their command lines: "hh:mm",
// "hh:mm:ss" (the hour may have one digit) or whole seconds from midnight;
// std::nullopt for anything else, and for seconds outside the day.
std::optional<qint32> ParseTimeOfDay(const QString &text);

// Schedule table layout: Part C(20), Process C(20), Machine C(15), Order C(15),
// StartP .. DurationA N(10,0), StatusFini C(10).
QList<store::FieldDescriptor> ScheduleTableFields();

// (Re)creates the schedule table at `path` with every operation as seen at `now`.
Result WriteScheduleTable(const QString &path, const Plant &plant, qint32 now);

// The manager's plan table: one record per part (order, part, quantity,
// release and due time).
Result WritePlanTable(const QString &path, const Plant &plant);

// The manager's process table: one record per machine and process.
Result WriteProcessTable(const QString &path, const Plant &plant);

// The three tables the manager keeps in `dataFolder`: Scheduler.dbf as seen
// at `now`, Aplan.dbf and Process.dbf. Stops at the first that fails.
Result WriteTables(const QString &dataFolder, const Plant &plant, qint32 now);

} // namespace vorn::plant
