#pragma once

#include "appstate.h"
#include "result.h"

#include <QString>

#include <array>
#include <optional>

namespace vorn {

namespace chart {
class GanttGrid;
}

// What to show of a data folder, where it differs from the folder's
// settings file.
struct FolderChartRequest {
    QString dataFolder;                        // ends in "/", holds the tables and VornSched.ini
    std::optional<qint16> sortOrder;           // 0 by part, 1 by machine
    std::optional<QString> interval;           // one of the interval list's texts
    std::optional<std::array<int, 6>> columns; // check values of the six time columns
};

// The chart the window would show of a folder's live table right after its
// start, without a window: the grid set up with the folder's settings (or
// the request's), filled from Scheduler.dbf, with Aplan.dbf and Process.dbf
// opened as every fill does. Nothing is reported in message boxes: a failure
// carries one line saying which table could not be read and why (the grid
// then holds its header rows only).
Result FillChartFromFolder(chart::GanttGrid &grid, AppState &state, const FolderChartRequest &request);

// The interval list's texts, by index.
QString IntervalTextOfIndex(int index);

} // namespace vorn
