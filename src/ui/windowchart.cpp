#include "windowchart.h"

#include "frmscheduler.h"
#include "ganttgrid.h"
#include "liveoverlay.h"

namespace vorn {

WindowChart::WindowChart(frmScheduler &window)
    : m_grid(*window.fg()), m_liveOverlay(m_grid.overlay())
{
    std::optional<qint32> now;
    if (const chart::LiveOverlay *live = window.overlay(); live && live->enabled()) {
        m_clock = chart::ChartClock::frozen(live->clock().timeOfDayMs());
        m_still.emplace(m_clock);
        m_still->setTableMissing(live->tableMissing());
        now = qint32(m_clock.timeOfDayMs() / 1000);
    }
    m_grid.setOverlay(m_still ? &*m_still : nullptr);
    const auto [from, to] = chart::BusyHours(m_grid.data(), now);
    m_extent = chart::ExtentOfTimes(m_grid.data().timeScale(), from, to);
}

WindowChart::~WindowChart()
{
    m_grid.setOverlay(m_liveOverlay);
}

qint32 WindowChart::columnStartSeconds(int col) const
{
    return m_grid.data().timeScale().secondsOf(col);
}

} // namespace vorn
