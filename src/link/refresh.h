#pragma once

#include "overlaymodel.h"
#include "secondstext.h"

#include <QtGlobal>

#include <array>
#include <memory>
#include <vector>

namespace vorn {

class ManagerServerClient;

namespace store {
class DbfTable;
}

namespace model {
struct ScheduleRow;
}

namespace chart {
class GridData;
}

struct RefreshResult {
    qint32 records = 0;      // the table's record count, taken once
    qint32 detailRows = 0;   // grid rows rewritten from a record
    qint32 changedRecords = 0; // records whose bytes differ from what the state last saw
    bool fed = false;        // a feed was handed to the view
    bool changed = false;    // some time text now differs from what the grid showed
    // Rows (detail and group) whose planned start or finish text changed,
    // with the texts they had; empty on most ticks.
    std::vector<chart::PlannedChange> plannedChanges;
};

// What the last tick saw, kept by the window from tick to tick, so that a
// tick does work only for what changed: a fingerprint of each record's bytes,
// and per grid row the time values its cells were last written from. Whatever
// does not match any more (another table layout, rows rebuilt by a fill, a
// table with memo fields, whose contents live outside the record) is simply
// worked out again.
class RefreshState {
public:
    RefreshState();
    ~RefreshState();
    // Forgets everything: the next tick works on every row and record.
    void clear();
    // Takes over what a fill puts in a grid, row by row as the fill hands
    // its rows to the grid (before it moves them there): per body row its
    // outline level, its record, the six time fields it read and a group's
    // summary texts; then, at the end, the fingerprints the fill took of
    // the copy of each record it read the fields from.
    // The next tick then works only on the records changed since and on the
    // rows whose stored duration differs from finish minus start, instead of
    // on every row. Anything that does not fit leaves a full tick.
    void beginFill(const store::DbfTable &table, size_t rows);
    void addFillRow(const model::ScheduleRow &row);
    void endFill(const chart::GridData &grid, std::vector<quint64> fingerprints);

private:
    friend RefreshResult RefreshTimesAndFeed(const store::DbfTable &, chart::GridData &, bool,
                                             ManagerServerClient *, RefreshState *);
    struct Data;
    std::unique_ptr<Data> d;
};

// The in-place refresh of one timer tick: rewrites the six time cells of
// every detail row of `grid` from its record in the open `table`, regathers
// each group row's summary from its detail rows, and, when `hosted` and `view`
// exists, feeds the view the schedule XML (refresh variant). An empty table
// leaves the grid alone and sends nothing. Rows are neither added nor removed.
// With `state`, rows whose record bytes did not change since the tick that
// last used the state keep their texts (they would get the same ones), and
// only summaries that moved are written again; without it, every row is
// worked out.
RefreshResult RefreshTimesAndFeed(const store::DbfTable &table, chart::GridData &grid, bool hosted,
                                  ManagerServerClient *view, RefreshState *state = nullptr);

} // namespace vorn
