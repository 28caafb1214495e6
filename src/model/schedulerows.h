#pragma once

#include "appstate.h"
#include "secondstext.h"

#include <QString>
#include <QtGlobal>

#include <array>
#include <functional>
#include <limits>
#include <vector>

namespace vorn::store {
class DbfTable;
}

namespace vorn::model {

// One data row of the schedule grid, as the fill leaves it.
struct ScheduleRow {
    QString label;                // column 1: group key, or the other key on a detail row
    qint16 level = 0;             // outline level: 0 group row, 1 detail row
    qint32 record = 0;            // row data: record number from 1 (group: its first record)
    std::array<QString, 6> times; // columns 2..7: planned start, finish, duration; actual start, finish, duration
    // Detail rows: the six time fields as read (StartP .. DurationA), which
    // the refresh of the next tick takes over instead of reading them again.
    std::array<SecondsField, 6> fields{};
};

// Everything one fill pass produces apart from the XML.
struct FillResult {
    // Grid rows from row 2 on, in grid order: each group row followed by its
    // detail rows. Group rows (level 0) carry their summary times already.
    std::vector<ScheduleRow> rows;
    qint32 recordCount = 0;   // records read (the table's count at the start of the pass)
    qint32 groupCount = 0;    // rows of level 0
    // RecordFingerprint of every record, of the copy its detail fields were
    // read from; empty unless fingerprinted (a grouping fill of a table whose fields
    // all lie in the record).
    std::vector<quint64> fingerprints;
    bool fingerprinted = false;
    // The earliest planned start any group row shows, in seconds; -1 when
    // none shows one.
    qint32 earliestPlannedStart = -1;
    // The earliest and the latest time any start or finish cell shows,
    // planned or actual, in seconds; latest < earliest when none shows one.
    qint32 earliestShown = std::numeric_limits<qint32>::max();
    qint32 latestShown = std::numeric_limits<qint32>::min();
};

// Where a fill's rows go when the caller takes them as they are made instead
// of in FillResult::rows: a large fill then never holds every row twice.
struct FillSink {
    std::function<void(size_t rowCount)> begin;   // once, before the first row
    std::function<void(ScheduleRow &&row)> row;   // every row, in grid order
    // Now and then during a long pass: the caller's chance to keep its
    // window answering. Rows handed over so far stay valid meanwhile.
    std::function<void()> pause;
};

// Sort orders the fill understands; any other value forms no group.
using vorn::kSortByMachine;
using vorn::kSortByPart;

// The fill pass of FillTree over an open schedule table: groups records by
// part (with order) or by machine, in the order of each group's first record,
// detail rows in record order. Reads every record once.
//
// When xml is not null, the fill variant of the schedule XML over all records
// (also those that form no group) is written into *xml, replacing its content.
// When sink.row is set, the rows go there and FillResult::rows stays empty.
FillResult BuildScheduleRows(const store::DbfTable &table, qint16 sortOrder, QString *xml,
                             const FillSink &sink = {});

// PartLabel of a record: the part, followed by "(order)" when the order is not
// empty. Both arguments already without trailing blanks.
QString PartLabel(const QString &part, const QString &order);

} // namespace vorn::model
