#pragma once

#include "chartclock.h"
#include "chartrender.h"
#include "overlaypainter.h"

#include <QtGlobal>

#include <optional>
#include <utility>

namespace vorn {

class frmScheduler;

// The chart as the window shows it, held still while it is exported or
// printed: the window's grid (its rows, columns, collapsed groups and
// interval) with the live overlays as its switch says, their clock stopped
// at the moment this was made and without the passing flash of changed rows,
// over the whole hours around every start and finish (and now, with the
// overlays). Gives the grid its own overlay back when it goes.
class WindowChart {
public:
    explicit WindowChart(frmScheduler &window);
    ~WindowChart();
    WindowChart(const WindowChart &) = delete;
    WindowChart &operator=(const WindowChart &) = delete;

    chart::GanttGrid &grid() { return m_grid; }
    const chart::ChartExtent &extent() const { return m_extent; }
    // The time of day a time-scale column starts at, in seconds.
    qint32 columnStartSeconds(int col) const;

private:
    chart::GanttGrid &m_grid;
    chart::GridOverlay *m_liveOverlay;
    chart::ChartClock m_clock;
    std::optional<chart::OverlayPainter> m_still;
    chart::ChartExtent m_extent;
};

} // namespace vorn
