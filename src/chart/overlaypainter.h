#pragma once

#include "gridoverlay.h"

#include <QtGlobal>

namespace vorn::chart {

class ChangeFlashes;
class ChartClock;

// Overlay colours; none is the planned blue, the actual red or a grid colour.
inline constexpr unsigned NowLineRgb = 0x10A03Cu;    // green
inline constexpr unsigned OverrunRgb = 0xFF8C00u;    // orange
inline constexpr unsigned LateTextRgb = 0xC05A00u;   // dark orange
inline constexpr unsigned FlashRgb = 0xFFD600u;      // amber
inline constexpr unsigned GhostLineRgb = 0x404040u;  // dark grey
inline constexpr unsigned RunningFillRgb = 0xFFD2D2u; // light red under the red hatch

// The live overlays painted over the grid: the flash of changed rows and
// the ghost of their previous planned bar, running operations (hatched red
// up to now, the planned duration as an outline, the overrun and the
// lateness beside it), the late count of each group row, the now line, and
// grey hatching over the body while the live table cannot be read; all of
// it placed by the grid's time scale. Disabled, it paints nothing at all.
class OverlayPainter : public GridOverlay {
public:
    explicit OverlayPainter(const ChartClock &clock);

    bool enabled() const { return m_enabled; }
    void setEnabled(bool on) { m_enabled = on; }
    // The flashes to paint; nullptr paints none.
    void setFlashes(const ChangeFlashes *flashes) { m_flashes = flashes; }
    void setTableMissing(bool missing) { m_tableMissing = missing; }
    bool tableMissing() const { return m_tableMissing; }

    // How far right of the now line the overlay painted (late texts), so
    // that a clock step repaints everything that moved with it.
    int reachRightOfNow() const { return m_reach; }

    void paintUnder(QPainter &painter, const GridData &grid, const PaneView &pane) override;
    void paintOver(QPainter &painter, const GridData &grid, const PaneView &pane) override;
    std::optional<qint32> nowSeconds() const override;

private:
    void paintTimeScale(QPainter &painter, const GridData &grid, const PaneView &pane);
    void paintLateCounts(QPainter &painter, const GridData &grid, const PaneView &pane);

    const ChartClock &m_clock;
    const ChangeFlashes *m_flashes = nullptr;
    bool m_enabled = true;
    bool m_tableMissing = false;
    int m_reach = 0;
};

} // namespace vorn::chart
