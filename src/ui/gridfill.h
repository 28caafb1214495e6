#pragma once

#include "filltarget.h"
#include "griddata.h"
#include "gridlayout.h"
#include "refresh.h"
#include "schedulerows.h"

#include <QColor>

#include <optional>
#include <vector>

namespace vorn {

// Colours of a group row: the key in dark green on a light grey band.
inline const QColor GroupTextColor{10, 100, 30};
// The interval change finds group rows by this band, so it is the chart's.
inline const QColor GroupBackColor = QColor::fromRgb(chart::GroupBandRgb);

// Builds the body of the grid as a fill hands its rows over one by one,
// exactly as ApplyScheduleRows does for a whole list. The body is emptied at
// construction; the fonts and colours follow at finish().
class ScheduleRowAppender {
public:
    explicit ScheduleRowAppender(chart::GridData &grid);
    ScheduleRowAppender(const ScheduleRowAppender &) = delete;
    ScheduleRowAppender &operator=(const ScheduleRowAppender &) = delete;

    void reserve(size_t rows);
    void add(model::ScheduleRow &&row);
    void add(const model::ScheduleRow &row);
    void finish();

private:
    void pushed(bool group);
    void flush();

    chart::GridData &m_grid;
    int m_cols = 0;
    int m_nextRow = 0;
    std::vector<int> m_groupRows;
    std::vector<chart::GridData::RowContent> m_batch;   // contents [0, m_filled) wait for the grid
    size_t m_filled = 0;
};

// A fill's rows into a grid, as the window and the renderer show them: the
// body emptied once the tables are open, each row appended as it comes, and
// the body borders drawn at the end whatever happened.
class GridFill : public core::FillTarget {
public:
    explicit GridFill(chart::GridData &grid) : m_grid(grid), m_rows(grid) {}
    void begin() override { m_appender.emplace(m_grid); }
    void reserve(size_t rows) override { m_appender->reserve(rows); }
    void add(model::ScheduleRow &&row) override { m_appender->add(std::move(row)); }
    void finish() override { m_appender->finish(); }
    void end() override;
    const model::TickRows &tickRows() const override { return m_rows; }

private:
    chart::GridData &m_grid;
    GridTickRows m_rows;
    std::optional<ScheduleRowAppender> m_appender;
};

// The body of the grid after a fill: only the two fixed rows stay, then one
// grid row per schedule row, as AddScheduleRow writes it. Group rows: key in
// column 1, bold and green, the grey band over every column, outline level
// 0; detail rows: column 0 empty, label in column 1 bold, the six times,
// outline level 1. Both carry the node flag and their record as row data.
void ApplyScheduleRows(chart::GridData &grid, const std::vector<model::ScheduleRow> &rows);
// The same, moving the rows' texts into the grid instead of copying them.
void ApplyScheduleRows(chart::GridData &grid, std::vector<model::ScheduleRow> &&rows);

// The cell borders every fill and refresh end with: rows 2 to the last,
// columns 2 to 7 in colour value 3, then columns 0 to 2 in colour value 1.
// The selection is left on the second range.
void DrawBodyBorders(chart::GridData &grid);

} // namespace vorn
