#include "gridfill.h"

#include "griddata.h"

#include <algorithm>
#include <type_traits>

namespace vorn {

namespace {

// Row texts from column 0 on, as AddScheduleRow writes them: a group key
// stays whole in column 1; a detail row is added from tab-separated text, so
// a tab inside its label spills the pieces into the next columns, where the
// times then overwrite them, empty or not, as they always have.
template <typename Row>
chart::GridData::RowContent contentOf(Row &&row, int cols)
{
    chart::GridData::RowContent content;
    std::vector<QString> &texts = content.texts;
    texts.reserve(8);
    texts.resize(2);
    bool spilled = false;
    if (row.level != 0 && row.label.contains(QLatin1Char('\t'))) {
        spilled = true;
        texts.pop_back();
        // An empty cell is never written: it stays a null text.
        for (QStringView piece : QStringView(row.label).split(QLatin1Char('\t'))) {
            if (texts.size() >= size_t(cols))
                break;
            texts.push_back(piece.isEmpty() ? QString() : piece.toString());
        }
        while (!texts.empty() && texts.back().isEmpty())
            texts.pop_back();
    } else if (!row.label.isEmpty()) {
        texts[1] = std::forward<Row>(row).label;
    }
    for (size_t i = 0; i < 6; ++i) {
        const size_t col = 2 + i;
        const bool empty = row.times[i].isEmpty();
        if (!spilled && empty)
            continue;
        if (texts.size() <= col) {
            if (empty)
                continue;
            texts.resize(col + 1);
        }
        texts[col] = std::forward<Row>(row).times[i];
    }
    content.data = row.record;
    content.outlineLevel = row.level;
    content.node = true;
    return content;
}

template <typename Rows>
void applyRows(chart::GridData &grid, Rows &&rows)
{
    constexpr int firstRow = 2;
    grid.setRows(firstRow);
    const int cols = grid.cols();
    // Rows go in by batches: a small batch vector stays warm in the cache.
    constexpr size_t batchSize = 4096;
    std::vector<chart::GridData::RowContent> batch;
    batch.reserve(std::min(batchSize, rows.size()));
    for (auto &row : rows) {
        if constexpr (std::is_const_v<std::remove_reference_t<decltype(row)>>)
            batch.push_back(contentOf(row, cols));
        else
            batch.push_back(contentOf(std::move(row), cols));
        if (batch.size() == batchSize) {
            grid.appendRows(std::move(batch));
            batch.clear();
        }
    }
    grid.appendRows(std::move(batch));
    if (rows.empty())
        return;

    const int lastRow = grid.rows() - 1;
    const int lastCol = grid.cols() - 1;
    grid.setCellFontBold(chart::CellRange{firstRow, 1, lastRow, 1}, true);
    int r = firstRow;
    for (const model::ScheduleRow &row : rows) {
        if (row.level == 0) {
            grid.setCellForeColor(chart::CellRange{r, 1, r, 1}, GroupTextColor);
            grid.setCellBackColor(chart::CellRange{r, 0, r, lastCol}, GroupBackColor);
        }
        ++r;
    }
}

} // namespace

void ApplyScheduleRows(chart::GridData &grid, const std::vector<model::ScheduleRow> &rows)
{
    applyRows(grid, rows);
}

void ApplyScheduleRows(chart::GridData &grid, std::vector<model::ScheduleRow> &&rows)
{
    applyRows(grid, rows);
}

void DrawBodyBorders(chart::GridData &grid)
{
    // Colour values 3 and 1 are red 3 and red 1: practically black.
    const int last = grid.rows() - 1;
    // Every tick draws them again over the same rows; when the two regions
    // already stand last, drawing them would leave the grid as it is, and
    // only cost the window a repaint.
    const std::vector<chart::BorderRegion> &borders = grid.borders();
    const chart::BorderRegion times{{2, 2, last, 7}, QColor(3, 0, 0), 1, 1, 1, 1, 1, 1};
    const chart::BorderRegion keys{{2, 0, last, 2}, QColor(1, 0, 0), 1, 1, 1, 1, 1, 1};
    if (borders.size() >= 2 && borders[borders.size() - 2] == times && borders.back() == keys)
        return;
    if (grid.select(2, 2, last, 7))
        grid.setCellBorder(QColor(3, 0, 0), 1, 1, 1, 1, 1, 1);
    if (grid.select(2, 0, last, 2))
        grid.setCellBorder(QColor(1, 0, 0), 1, 1, 1, 1, 1, 1);
}

} // namespace vorn
