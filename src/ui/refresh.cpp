#include "refresh.h"

#include "griddata.h"
#include "gridcolumns.h"

#include <utility>

namespace vorn {

quint64 GridTickRows::generation() const
{
    return m_grid.rowsGeneration();
}

int GridTickRows::count() const
{
    return m_grid.rows();
}

qint16 GridTickRows::level(int row) const
{
    return m_grid.rowOutlineLevel(row);
}

qint32 GridTickRows::record(int row) const
{
    return m_grid.rowData(row);
}

void GridCellWriter::write(const model::TickTriple &triple)
{
    const int row = triple.row;
    const int col = triple.pair == 0 ? chart::PlannedStartCol : chart::ActualStartCol;
    chart::PlannedChange before{row, m_grid.text(row, col), m_grid.text(row, col + 1)};
    bool textChanged = false;
    for (int cell = 0; cell < 3; ++cell) {
        const std::optional<QString> &text = triple.texts[size_t(cell)];
        if (!text)
            continue;
        if (m_changedRows && !textChanged)
            textChanged = m_grid.text(row, col + cell) != *text;
        m_grid.setText(row, col + cell, *text);
    }
    if (textChanged && (m_changedRows->empty() || m_changedRows->back() != row))
        m_changedRows->push_back(row);
    // The duration follows from the start and the finish.
    if (m_grid.text(row, col) == before.oldStart && m_grid.text(row, col + 1) == before.oldFinish)
        return;
    m_result.changed = true;
    if (triple.pair == 0)
        m_result.plannedChanges.push_back(std::move(before));
}

RefreshResult RefreshTimesAndFeed(const store::DbfTable &table, chart::GridData &grid, bool hosted,
                                  ManagerServerClient *view, RefreshState *kept)
{
    RefreshResult result;
    GridCellWriter cells(grid, result);
    static_cast<TickResult &>(result) = FeedTick(table, GridTickRows(grid), cells, hosted, view, kept);
    return result;
}

} // namespace vorn
