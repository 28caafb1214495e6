#pragma once

#include <QIODevice>
#include <QSize>

class QPainter;

namespace vorn::chart {

class GanttGrid;
struct ChartExtent;

// SVG drawings need Qt SVG, which not every Qt has (Debian's Qt for Windows
// is built without it): the build picks one of two implementations.
bool CanWriteSvg();

// Paints the chart, `size` pixels, as one SVG drawing into `device`. False
// when this build cannot write SVG.
bool WriteChartSvg(GanttGrid &grid, const ChartExtent &extent, QIODevice &device, QSize size);

} // namespace vorn::chart
