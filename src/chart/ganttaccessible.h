#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

class QAccessibleEvent;

namespace vorn::chart {

class GanttGrid;
class GridData;

// What a screen reader says about a row's bars, from the six time texts the
// fill and the refresh left in columns 2 to 7 ("Planned 06:00:03 to
// 06:58:14, actual 06:13:43, running"); with the live overlays' time of day
// also how late a running operation is ("4 min late"), or how many of a
// group's are. Empty for a header row.
QString RowBarsDescription(const GridData &grid, int row, std::optional<qint32> nowSeconds = std::nullopt);

// Makes `grid` a table for assistive technology (rows below the header
// rows, the visible columns, header cells and the bars' description per
// row) and passes on what the grid tells: the current cell moved, rows or
// columns came or went. Once per grid, where it is made.
void InstallGanttAccessibility(GanttGrid &grid);

// Where the two notices go: to QAccessible::updateAccessibility while a
// screen reader listens, or to `sink` when one is set (tests record them
// there: Qt drops notices on platforms without an accessibility bridge,
// such as the headless one). nullptr restores the default.
using AccessibleNoticeSink = void (*)(QAccessibleEvent *event);
void SetAccessibleNoticeSink(AccessibleNoticeSink sink);

} // namespace vorn::chart
