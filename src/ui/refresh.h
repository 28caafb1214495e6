#pragma once

#include "overlaymodel.h"
#include "tickfeed.h"
#include "tickstate.h"

#include <vector>

namespace vorn {

namespace chart {
class GridData;
}

// A grid's rows as the tick sees them.
class GridTickRows final : public model::TickRows {
public:
    explicit GridTickRows(const chart::GridData &grid) : m_grid(grid) {}
    const void *holder() const override { return &m_grid; }
    quint64 generation() const override;
    int count() const override;
    qint16 level(int row) const override;
    qint32 record(int row) const override;

private:
    const chart::GridData &m_grid;
};

struct RefreshResult : TickResult {
    bool changed = false;    // some time text now differs from what the grid showed
    // Rows (detail and group) whose planned start or finish text changed,
    // with the texts they had; empty on most ticks.
    std::vector<chart::PlannedChange> plannedChanges;
};

// Writes the triples of a tick into the grid's time columns as they come,
// noting in `result` whether a start or finish text changed and which
// planned ones, with the texts they had; with `changedRows`, also every row
// any of whose six texts changed (a row at most once in a row).
class GridCellWriter final : public model::TickCellWriter {
public:
    GridCellWriter(chart::GridData &grid, RefreshResult &result, std::vector<int> *changedRows = nullptr)
        : m_grid(grid), m_result(result), m_changedRows(changedRows)
    {
    }
    void write(const model::TickTriple &triple) override;

private:
    chart::GridData &m_grid;
    RefreshResult &m_result;
    std::vector<int> *m_changedRows;
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
