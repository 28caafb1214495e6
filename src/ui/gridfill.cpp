#include "gridfill.h"

#include "gridcolumns.h"
#include "griddata.h"

#include <algorithm>

namespace vorn {

namespace {

// Row texts from column 0 on, as AddScheduleRow writes them: a group key
// stays whole in column 1; a detail row is added from tab-separated text, so
// a tab inside its label spills the pieces into the next columns, where the
// times then overwrite them, empty or not, as they always have.
template <typename Row>
void fillContent(chart::GridData::RowContent &content, Row &&row, int cols)
{
    // The content is one of a batch used again and again: its texts keep
    // their room, so a row costs no allocation here.
    std::vector<QString> &texts = content.texts;
    texts.clear();
    const bool spills = row.level != 0 && row.label.contains(QLatin1Char('\t'));
    texts.resize(2);
    bool spilled = false;
    if (spills) {
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
        texts[chart::KeyCol] = std::forward<Row>(row).label;
    }
    for (size_t i = 0; i < 6; ++i) {
        const size_t col = chart::PlannedStartCol + i;
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
}

} // namespace

// Rows go in by batches: a small batch stays warm in the cache.
constexpr size_t BatchSize = 4096;
constexpr int FirstBodyRow = 2;

ScheduleRowAppender::ScheduleRowAppender(chart::GridData &grid)
    : m_grid(grid)
{
    m_grid.setRows(FirstBodyRow);
    m_cols = m_grid.cols();
    m_nextRow = FirstBodyRow;
    m_batch.resize(BatchSize);
}

void ScheduleRowAppender::reserve(size_t rows)
{
    m_grid.reserveRows(size_t(FirstBodyRow) + rows);
}

void ScheduleRowAppender::add(model::ScheduleRow &&row)
{
    const bool group = row.level == 0;
    fillContent(m_batch[m_filled], std::move(row), m_cols);
    pushed(group);
}

void ScheduleRowAppender::add(const model::ScheduleRow &row)
{
    fillContent(m_batch[m_filled], row, m_cols);
    pushed(row.level == 0);
}

void ScheduleRowAppender::pushed(bool group)
{
    if (group)
        m_groupRows.push_back(m_nextRow);
    ++m_nextRow;
    if (++m_filled == m_batch.size())
        flush();
}

void ScheduleRowAppender::flush()
{
    m_grid.appendRows(std::span(m_batch.data(), m_filled));
    m_filled = 0;
}

void ScheduleRowAppender::finish()
{
    flush();
    if (m_nextRow == FirstBodyRow)
        return;
    const int lastRow = m_grid.rows() - 1;
    const int lastCol = m_grid.cols() - 1;
    m_grid.setCellFontBold(chart::CellRange{FirstBodyRow, 1, lastRow, 1}, true);
    for (const int r : m_groupRows) {
        m_grid.setCellForeColor(chart::CellRange{r, 1, r, 1}, GroupTextColor);
        m_grid.setCellBackColor(chart::CellRange{r, 0, r, lastCol}, GroupBackColor);
    }
}

void ApplyScheduleRows(chart::GridData &grid, const std::vector<model::ScheduleRow> &rows)
{
    ScheduleRowAppender appender(grid);
    appender.reserve(rows.size());
    for (const model::ScheduleRow &row : rows)
        appender.add(row);
    appender.finish();
}

void ApplyScheduleRows(chart::GridData &grid, std::vector<model::ScheduleRow> &&rows)
{
    ScheduleRowAppender appender(grid);
    appender.reserve(rows.size());
    for (model::ScheduleRow &row : rows)
        appender.add(std::move(row));
    appender.finish();
}

void GridFill::end()
{
    m_appender.reset();
    DrawBodyBorders(m_grid);
}

void DrawBodyBorders(chart::GridData &grid)
{
    // Colour values 3 and 1 are red 3 and red 1: practically black.
    const int last = grid.rows() - 1;
    // Every tick draws them again over the same rows; when the two regions
    // already stand last, drawing them would leave the grid as it is, and
    // only cost the window a repaint.
    const std::vector<chart::BorderRegion> &borders = grid.borders();
    const chart::BorderRegion times{{2, chart::PlannedStartCol, last, chart::ActualDurationCol}, QColor(3, 0, 0), 1, 1, 1, 1, 1, 1};
    const chart::BorderRegion keys{{2, chart::OutlineCol, last, chart::PlannedStartCol}, QColor(1, 0, 0), 1, 1, 1, 1, 1, 1};
    if (borders.size() >= 2 && borders[borders.size() - 2] == times && borders.back() == keys)
        return;
    if (grid.select(2, chart::PlannedStartCol, last, chart::ActualDurationCol))
        grid.setCellBorder(QColor(3, 0, 0), 1, 1, 1, 1, 1, 1);
    if (grid.select(2, chart::OutlineCol, last, chart::PlannedStartCol))
        grid.setCellBorder(QColor(1, 0, 0), 1, 1, 1, 1, 1, 1);
}

} // namespace vorn
