#pragma once

#include "appstate.h"
#include "chartclock.h"
#include "chartrender.h"
#include "overlaypainter.h"
#include "result.h"

#include <QString>

#include <array>
#include <optional>

namespace vorn {

namespace chart {
class GanttGrid;
class GridData;
}

// What to show of a data folder, where it differs from the folder's
// settings file.
struct FolderChartRequest {
    QString dataFolder;                        // ends in "/", holds the tables and VornSched.ini
    std::optional<qint16> sortOrder;           // 0 by part, 1 by machine
    std::optional<QString> interval;           // one of the interval list's texts
    std::optional<std::array<int, 6>> columns; // check values of the six time columns
};

// The grid as the window sets it up for a folder before its first fill:
// the folder's settings (or the request's) in `state`, the columns, the
// interval's time scale and the key column's header of the grouping.
void SetUpFolderGrid(chart::GridData &grid, AppState &state, const FolderChartRequest &request);

// The chart the window would show of a folder's live table right after its
// start, without a window: the grid set up with the folder's settings (or
// the request's), filled from Scheduler.dbf, with Aplan.dbf and Process.dbf
// opened as every fill does. Nothing is reported in message boxes: a failure
// carries one line saying which table could not be read and why (the grid
// then holds its header rows only).
Result FillChartFromFolder(chart::GanttGrid &grid, AppState &state, const FolderChartRequest &request);

// How the renderer shows a chart filled by FillChartFromFolder.
struct FolderChartOptions {
    qint32 nowSeconds = 0;                // time of day of the overlays
    std::optional<qint32> fromSeconds;    // first time shown; else the hour of the earliest
    std::optional<qint32> toSeconds;      // end of the time shown; else the hour after the latest
    bool overlays = true;                 // unless the folder's settings turn them off
};

// The grid made ready to paint as the renderer paints it, while this lives:
// the live overlays at a clock frozen at `now` (when on), the groups the
// folder's settings keep collapsed, and the columns from..to (by default
// the hours the rows and the now line use).
class FolderChartView {
public:
    FolderChartView(chart::GanttGrid &grid, const AppState &state, const FolderChartOptions &options);
    ~FolderChartView();
    FolderChartView(const FolderChartView &) = delete;
    FolderChartView &operator=(const FolderChartView &) = delete;
    const chart::ChartExtent &extent() const { return m_extent; }

private:
    chart::GanttGrid &m_grid;
    chart::ChartClock m_clock;   // the painter's, frozen
    chart::OverlayPainter m_painter;
    chart::ChartExtent m_extent;
};

// The interval list's texts, by index.
QString IntervalTextOfIndex(int index);
// The list's text of `minutes`; empty when the list has no such interval.
QString IntervalTextOfMinutes(int minutes);

} // namespace vorn
