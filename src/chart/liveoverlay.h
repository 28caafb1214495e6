#pragma once

#include "chartclock.h"
#include "groupoutline.h"
#include "overlaymodel.h"
#include "overlaypainter.h"

#include <QObject>
#include <QTimer>

#include <optional>
#include <vector>

namespace vorn {
struct AppState;
}

namespace vorn::chart {

class GanttGrid;

// The live overlays of one grid in a window: paints them (OverlayPainter),
// moves the now line with the clock, fades the flashes of changed rows,
// opens and closes groups, shows tooltips, and says what the stale-data
// banner should show. The window tells it about fills and ticks; it reads
// nothing but the grid, the state and its clock.
class LiveOverlay : public QObject {
    Q_OBJECT
public:
    LiveOverlay(GanttGrid &grid, const AppState &state, QObject *parent = nullptr);
    ~LiveOverlay() override;

    // Off: the grid paints exactly as without overlays, every row is shown,
    // no tooltip, no banner. Collapsed groups are remembered either way.
    bool enabled() const { return m_painter.enabled(); }
    void setEnabled(bool on);

    void setClock(const ChartClock &clock);
    const ChartClock &clock() const { return m_clock; }

    // Minutes without any change before the banner warns; 0 never.
    void setNoChangeMinutes(int minutes);
    void setRecordDetails(RecordDetailsLookup lookup) { m_details = std::move(lookup); }

    // The grid was filled anew: nothing flashes, the collapsed groups of
    // the grouping are hidden again, the data counts as fresh.
    void noteRefill();
    // One tick: whether the live table could be read, the rows whose planned
    // start or finish changed, and whether any time text changed.
    void noteTick(bool readable, const std::vector<PlannedChange> &changes, bool anyChange);
    // STOP, START, going on- or offline: the banner may change.
    void noteModeChanged();

    // Whether the body is greyed because the live table cannot be read.
    bool tableMissing() const { return m_painter.tableMissing(); }

    GroupOutline &outline() { return m_outline; }
    const ChangeFlashes &flashes() const { return m_flashes; }
    void setAllCollapsed(bool collapse);

    // The first time-scale column of a first look at the chart: now a
    // quarter into the view when the schedule's times reach now (and the
    // overlays are on); else nothing.
    // shownTimes: the earliest and latest time the rows show, where the
    // caller already knows them.
    std::optional<int> firstViewColumn(std::optional<std::pair<qint32, qint32>> shownTimes = {}) const;

    // What the stale-data banner shows; empty when nothing is wrong.
    QString bannerText() const;

signals:
    void bannerChanged(const QString &text);
    // The user opened or closed a group (to persist the outline).
    void outlineChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void stepClock();
    void fadeFlashes();
    void updateBanner();
    bool toggleGroup(int row, bool collapse);
    QString tooltipAt(const QPoint &pos, QRect *area) const;
    PaneView bodyTimePane() const;
    int nowX() const;

    GanttGrid &m_grid;
    const AppState &m_state;
    ChartClock m_clock;
    ChangeFlashes m_flashes;
    StaleWatch m_stale;
    GroupOutline m_outline;
    OverlayPainter m_painter;
    RecordDetailsLookup m_details;
    int m_noChangeMinutes = 10;
    QTimer m_clockTimer;
    QTimer m_fadeTimer;
    int m_lastNowX = -1;
    std::vector<int> m_lateCounts; // of the group rows in view at the last step
    std::vector<int> m_paneRows;   // reused
    QString m_banner;
};

} // namespace vorn::chart
