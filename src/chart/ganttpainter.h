#pragma once

class QPainter;

namespace vorn {
struct AppState;
}

namespace vorn::chart {

class GridData;

// Bar colours: planned (upper half of a cell) and actual (lower half).
inline constexpr unsigned PlannedBarRgb = 0x0000FFu; // RGB(0, 0, 255)
inline constexpr unsigned ActualBarRgb = 0xFF0000u;  // RGB(255, 0, 0)

// The cell-draw callback of the Gantt grid: paints the planned and actual
// bars of row `row` into the time-scale cell of column `col`, from the row's
// time texts (columns 2 to 7), the column's header labels (rows 0 and 1) and
// state.IntervalText. Coordinates are device pixels (right and bottom
// exclusive); header rows and leading columns are left alone. Never throws.
void fg_DrawCell(QPainter &painter, const GridData &grid, const AppState &state, int row, int col,
                 int left, int top, int right, int bottom);

} // namespace vorn::chart
