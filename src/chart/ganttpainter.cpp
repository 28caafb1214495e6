#include "ganttpainter.h"

#include "appstate.h"
#include "ganttbars.h"
#include "gridcolumns.h"
#include "griddata.h"

#include <QPainter>

namespace vorn::chart {

void fg_DrawCell(QPainter &painter, const GridData &grid, const AppState &state, int row, int col,
                 int left, int top, int right, int bottom)
{
    if (col < FirstScaleCol || row <= 1)
        return;
    const std::optional<double> interval = IntervalMinutes(state.IntervalText);
    if (!interval)
        return;
    const BarTexts planned{grid.text(row, PlannedStartCol), grid.text(row, PlannedFinishCol),
                               grid.text(row, PlannedDurationCol)};
    const BarTexts actual{grid.text(row, ActualStartCol), grid.text(row, ActualFinishCol),
                              grid.text(row, ActualDurationCol)};
    const CellBars bars = ComputeCellBars(planned, actual, grid.text(0, col), grid.text(1, col),
                                          *interval, left, top, right, bottom);
    if (!bars.planned.isEmpty())
        painter.fillRect(bars.planned, QColor::fromRgb(PlannedBarRgb));
    if (!bars.actual.isEmpty())
        painter.fillRect(bars.actual, QColor::fromRgb(ActualBarRgb));
}

} // namespace vorn::chart
