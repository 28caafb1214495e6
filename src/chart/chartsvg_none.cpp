#include "chartsvg.h"

namespace vorn::chart {

bool CanWriteSvg()
{
    return false;
}

bool WriteChartSvg(GanttGrid &, const ChartExtent &, QIODevice &, QSize)
{
    return false;
}

} // namespace vorn::chart
