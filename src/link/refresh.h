#pragma once

#include <QtGlobal>

#include <memory>

namespace vorn {

class ManagerServerClient;

namespace store {
class DbfTable;
}

namespace chart {
class GridData;
}

struct RefreshResult {
    qint32 records = 0;      // the table's record count, taken once
    qint32 detailRows = 0;   // grid rows rewritten from a record
    qint32 changedRecords = 0; // records whose bytes differ from what the state last saw
    bool fed = false;        // a feed was handed to the view
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
