#pragma once

#include "result.h"

#include <QSize>
#include <QString>
#include <QtGlobal>

#include <optional>
#include <utility>

#include <vector>

class QFileDevice;
class QIODevice;
class QPagedPaintDevice;
class QPainter;

namespace vorn::chart {

class GanttGrid;
class GridData;
class TimeScale;

// Painting the whole chart, or pages of it, onto any surface (an image, a
// PDF, an SVG, a printer) exactly as the grid paints its viewport, with
// whatever overlay and callback the grid has. Sizes are logical pixels.

// The time-scale columns to paint; -1: from the first, to the last.
struct ChartExtent {
    int firstCol = -1;
    int lastCol = -1;
};

// The time-scale columns that cover fromSeconds up to toSeconds (end
// excluded), clamped to the scale.
ChartExtent ExtentOfTimes(const TimeScale &scale, qint32 fromSeconds, qint32 toSeconds);
// Whole hours around every start and finish the rows show, and around
// alsoSeconds when given (the now line); the whole day when there is none.
std::pair<qint32, qint32> BusyHours(const GridData &grid, std::optional<qint32> alsoSeconds);
// The same from the earliest and latest time the rows show, where already
// known (latest < earliest: none).
std::pair<qint32, qint32> BusyHours(qint32 earliest, qint32 latest, std::optional<qint32> alsoSeconds);

// The leading columns and the chosen time-scale columns across, the header
// rows and every shown body row down.
QSize ChartSize(const GanttGrid &grid, const ChartExtent &extent = {});
// Paints that whole chart with its top left at the painter's origin.
void RenderChart(GanttGrid &grid, QPainter &painter, const ChartExtent &extent = {});

// One page: body rows from a position on, and a run of time-scale columns;
// the header rows and the leading columns come on every page.
struct ChartPage {
    int firstBodyIndex = 0;
    int bodyRows = 0;
    int firstCol = 0;
    int lastCol = 0;
};
// Pages no larger than pageSize, down the rows first and then across; at
// least one row and one column a page even when they do not fit.
std::vector<ChartPage> PlanChartPages(const GanttGrid &grid, const QSize &pageSize,
                                      const ChartExtent &extent = {});
QSize ChartPageSize(const GanttGrid &grid, const ChartPage &page);
void RenderChartPage(GanttGrid &grid, QPainter &painter, const ChartPage &page);

// Pages fromPage to toPage (from 1; 0: from the first, to the last) into a
// paged device, one logical pixel to 1/96 inch, each page at the top left of
// the device's page area. Returns the number of pages painted (0 when the
// painter could not start).
int RenderChartPages(GanttGrid &grid, QPagedPaintDevice &device, const ChartExtent &extent = {},
                     int fromPage = 0, int toPage = 0);

// The kinds of picture a chart is written as.
enum class ChartFileFormat { Png, Svg, Pdf };

// Writes the whole chart into an open `device`: one picture, one drawing
// (a PDF where this build cannot write SVG) or a PDF paginated on A4
// landscape. A failure of the device itself comes back with an empty
// message (the device knows why); a chart too large for one picture says so.
Result WriteChart(GanttGrid &grid, const ChartExtent &extent, ChartFileFormat format, QIODevice &device);

// Writes the whole chart into `path` by its ending: ".png" one picture,
// ".svg" one drawing (where CanWriteSvg), anything else a PDF paginated on
// A4 landscape. The
// file is replaced only when everything was written. A failure says why
// (the system's reason, in the interface language where it is ours), for a
// message that names the path itself.
Result SaveChartFile(GanttGrid &grid, const ChartExtent &extent, const QString &path);

// Why a write through `file` to `path` failed: the system's reason, which
// QSaveFile leaves empty when the target is a folder.
QString FileFailureReason(const QString &path, const QFileDevice &file);

} // namespace vorn::chart
