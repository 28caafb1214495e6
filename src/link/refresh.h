#pragma once

#include "overlaymodel.h"

#include <QtGlobal>

#include <vector>

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
    bool fed = false;        // a feed was handed to the view (one built later sends
                             // nothing if the table can no longer be read)
    bool changed = false;    // some time text now differs from what the grid showed
    // Rows (detail and group) whose planned start or finish text changed,
    // with the texts they had; empty on most ticks.
    std::vector<chart::PlannedChange> plannedChanges;
};

// The in-place refresh of one timer tick: rewrites the six time cells of
// every detail row of `grid` from its record in the open `table`, regathers
// each group row's summary from its detail rows, and, when `hosted` and `view`
// exists, feeds the view the schedule XML (refresh variant). An empty table
// leaves the grid alone and sends nothing. Rows are neither added nor removed.
RefreshResult RefreshTimesAndFeed(const store::DbfTable &table, chart::GridData &grid, bool hosted,
                                  ManagerServerClient *view);

} // namespace vorn
