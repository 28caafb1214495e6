#include "chartsvg.h"

#include "chartrender.h"
#include "texts.h"

#include <QPainter>
#include <QSvgGenerator>

namespace vorn::chart {

bool CanWriteSvg()
{
    return true;
}

bool WriteChartSvg(GanttGrid &grid, const ChartExtent &extent, QIODevice &device, QSize size)
{
    QSvgGenerator svg;
    svg.setOutputDevice(&device);
    svg.setResolution(96);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(), size));
    svg.setTitle(GetText(1));
    QPainter painter(&svg);
    RenderChart(grid, painter, extent);
    return true;
}

} // namespace vorn::chart
