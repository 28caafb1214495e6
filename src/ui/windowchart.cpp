#include "windowchart.h"

#include "frmscheduler.h"
#include "ganttbars.h"
#include "ganttgrid.h"
#include "liveoverlay.h"

#include <cmath>

namespace vorn {

WindowChart::WindowChart(frmScheduler &window)
    : m_grid(*window.fg()), m_liveOverlay(m_grid.overlay()),
      m_intervalMinutes(chart::IntervalMinutes(window.state().IntervalText).value_or(1))
{
    std::optional<qint32> now;
    if (const chart::LiveOverlay *live = window.overlay(); live && live->enabled()) {
        m_clock = chart::ChartClock::frozen(live->clock().timeOfDayMs());
        m_still.emplace(window.state(), m_clock);
        m_still->setTableMissing(live->tableMissing());
        now = qint32(m_clock.timeOfDayMs() / 1000);
    }
    m_grid.setOverlay(m_still ? &*m_still : nullptr);
    const auto [from, to] = chart::BusyHours(m_grid.data(), now);
    m_extent = chart::ExtentOfTimes(m_grid.data(), m_intervalMinutes, from, to);
}

WindowChart::~WindowChart()
{
    m_grid.setOverlay(m_liveOverlay);
}

qint32 WindowChart::columnStartSeconds(int col) const
{
    return qint32(std::lround((col - m_grid.data().fixedCols()) * m_intervalMinutes * 60));
}

} // namespace vorn
