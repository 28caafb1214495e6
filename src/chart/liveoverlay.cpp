#include "liveoverlay.h"

#include "appstate.h"
#include "chartrender.h"
#include "ganttbars.h"
#include "ganttgrid.h"
#include "gridcolumns.h"

#include <QHelpEvent>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>

namespace vorn::chart {

namespace {

constexpr int FadeStepMs = 40;

// Whether a time-scale column's span meets the bar from start to finish
// (texts of the row; an empty finish runs to `open`, else no bar).
bool meets(QStringView start, QStringView finish, qint32 open, double from, double to)
{
    if (start.isEmpty())
        return false;
    const double s = TextSeconds(start);
    const double f = finish.isEmpty() ? open : TextSeconds(finish);
    return f > s && s < to && f > from;
}

} // namespace

LiveOverlay::LiveOverlay(GanttGrid &grid, const AppState &state, QObject *parent)
    : QObject(parent), m_grid(grid), m_state(state), m_painter(m_clock)
{
    m_painter.setFlashes(&m_flashes);
    m_grid.setOverlay(&m_painter);
    m_grid.setOutlineHandler([this](int row, bool collapse) { return toggleGroup(row, collapse); });
    m_grid.viewport()->installEventFilter(this);
    m_stale.noteRefill(m_clock.steadyMs());

    connect(&m_clockTimer, &QTimer::timeout, this, &LiveOverlay::stepClock);
    connect(&m_fadeTimer, &QTimer::timeout, this, &LiveOverlay::fadeFlashes);
    m_fadeTimer.setInterval(FadeStepMs);
    setClock(m_clock);
}

LiveOverlay::~LiveOverlay()
{
    m_grid.viewport()->removeEventFilter(this);
    m_grid.setOutlineHandler({});
    m_grid.setOverlay(nullptr);
}

void LiveOverlay::setEnabled(bool on)
{
    if (on == enabled())
        return;
    m_painter.setEnabled(on);
    m_outline.apply(m_grid.data(), m_state.SortOrder, on);
    if (on) {
        m_clockTimer.start();
    } else {
        m_clockTimer.stop();
        m_fadeTimer.stop();
        m_flashes.clear();
        QToolTip::hideText();
    }
    m_lastNowX = -1;
    m_grid.viewport()->update();
    updateBanner();
}

void LiveOverlay::setClock(const ChartClock &clock)
{
    m_clock = clock;
    // The line should move about a pixel a step; never faster than 20
    // steps a second, never slower than one.
    const double msPerStep = 1000.0 / std::max(1.0, m_clock.speed());
    m_clockTimer.setInterval(int(std::clamp(msPerStep, 50.0, 1000.0)));
    if (enabled() && !m_clock.isFrozen())
        m_clockTimer.start();
    m_grid.viewport()->update();
}

void LiveOverlay::setNoChangeMinutes(int minutes)
{
    m_noChangeMinutes = std::max(0, minutes);
    updateBanner();
}

void LiveOverlay::noteRefill()
{
    m_flashes.clear();
    m_fadeTimer.stop();
    m_stale.noteRefill(m_clock.steadyMs());
    m_painter.setTableMissing(false);
    m_outline.apply(m_grid.data(), m_state.SortOrder, enabled());
    updateBanner();
}

void LiveOverlay::noteTick(bool readable, const std::vector<PlannedChange> &changes, bool anyChange)
{
    const bool wasMissing = m_painter.tableMissing();
    m_stale.noteTick(readable, anyChange, m_clock.steadyMs(), m_clock.timeOfDayMs());
    m_painter.setTableMissing(m_stale.unreadable());
    if (enabled() && !changes.empty()) {
        m_flashes.noteChanges(changes, m_clock.steadyMs());
        if (!m_flashes.flashes().empty())
            m_fadeTimer.start();
    }
    if (enabled() && wasMissing != m_painter.tableMissing())
        m_grid.viewport()->update();
    updateBanner();
}

void LiveOverlay::noteModeChanged()
{
    updateBanner();
}

void LiveOverlay::setAllCollapsed(bool collapse)
{
    if (!enabled())
        return;
    m_outline.setAll(m_grid.data(), m_state.SortOrder, collapse);
    emit outlineChanged();
}

bool LiveOverlay::toggleGroup(int row, bool collapse)
{
    if (!enabled())
        return false;
    m_outline.setCollapsed(m_grid.data(), row, m_state.SortOrder, collapse);
    emit outlineChanged();
    return true;
}

std::optional<int> LiveOverlay::firstViewColumn(std::optional<std::pair<qint32, qint32>> shownTimes) const
{
    const GridData &data = m_grid.data();
    const TimeScale &scale = data.timeScale();
    if (!enabled() || !scale.isValid() || data.rows() <= data.fixedRows())
        return std::nullopt;
    const qint32 now = qint32(m_clock.timeOfDayMs() / 1000);
    const auto [from, to] = shownTimes ? BusyHours(shownTimes->first, shownTimes->second, std::nullopt)
                                       : BusyHours(data, std::nullopt);
    if (now < from || now >= to)
        return std::nullopt;
    const int first = scale.firstColumn();
    const int columnWidth = std::max(1, m_grid.columnX(first + 1) - m_grid.columnX(first));
    const int columnsInView = (m_grid.viewport()->width() - m_grid.fixedWidthPixels()) / columnWidth;
    return std::clamp(scale.columnOf(now) - columnsInView / 4, first, scale.endColumn() - 1);
}

QString LiveOverlay::bannerText() const
{
    if (!enabled())
        return {};
    return m_stale.text(m_state.Offline == 0, m_state.UpdatesStopped, m_clock.steadyMs(),
                        m_noChangeMinutes);
}

void LiveOverlay::updateBanner()
{
    const QString text = bannerText();
    if (text == m_banner)
        return;
    m_banner = text;
    emit bannerChanged(text);
}

PaneView LiveOverlay::bodyTimePane() const
{
    PaneView pane;
    const GridData &data = m_grid.data();
    pane.colX = m_grid.columnEdges();
    pane.baseX = m_grid.fixedWidthPixels() - m_grid.columnX(m_grid.leftCol());
    pane.firstCol = m_grid.leftCol();
    pane.lastCol = data.cols() - 1;
    pane.rowHeight = m_grid.rowHeightPixels();
    pane.y = m_grid.fixedHeightPixels();
    pane.timeScale = true;
    return pane;
}

int LiveOverlay::nowX() const
{
    const TimeScale &scale = m_grid.data().timeScale();
    if (!scale.isValid())
        return -1;
    return scale.xOf(bodyTimePane(), double(m_clock.timeOfDayMs()) / 1000);
}

void LiveOverlay::stepClock()
{
    updateBanner();
    if (!enabled() || !m_grid.redraw())
        return;
    QWidget *viewport = m_grid.viewport();
    const int fixedWidth = m_grid.fixedWidthPixels();
    const int fixedHeight = m_grid.fixedHeightPixels();
    const int x = nowX();
    if (x != m_lastNowX) {
        // The strip the line leaves and the one it enters, with the running
        // bars' ends and the late texts beside the line.
        const int from = m_lastNowX < 0 ? x : std::min(x, m_lastNowX);
        const int to = std::max(x, m_lastNowX) + m_painter.reachRightOfNow() + 2;
        QRect strip(from - 2, fixedHeight, to - from + 4, viewport->height() - fixedHeight);
        strip.setLeft(std::max(strip.left(), fixedWidth));
        if (strip.isValid())
            viewport->update(strip);
        m_lastNowX = x;
    }

    // A group row's late count changes when one of its operations passes
    // its planned end; only the key cells of the rows in view are looked at.
    const int rowHeight = m_grid.rowHeightPixels();
    const int rowsInView = (viewport->height() - fixedHeight + rowHeight - 1) / rowHeight;
    const int top = m_grid.verticalScrollBar()->value();
    const qint32 now = qint32(m_clock.timeOfDayMs() / 1000);
    m_paneRows.clear();
    for (int i = top; i < std::min(m_grid.bodyRowCount(), top + rowsInView); ++i) {
        const int row = m_grid.bodyRowAt(i);
        m_paneRows.push_back(m_grid.data().rowOutlineLevel(row) <= 0 ? LateCountAt(m_grid.data(), row, now) : 0);
    }
    if (m_paneRows != m_lateCounts) {
        std::swap(m_paneRows, m_lateCounts);
        const QRect key = m_grid.cellRect(m_grid.topRow(), 1);
        if (!key.isEmpty())
            viewport->update(QRect(key.left(), fixedHeight, key.width(), viewport->height() - fixedHeight));
    }
}

void LiveOverlay::fadeFlashes()
{
    const bool active = m_flashes.expire(m_clock.steadyMs());
    // Flashing rows and rows that just stopped both need their last paint.
    m_grid.viewport()->update();
    if (!active)
        m_fadeTimer.stop();
}

QString LiveOverlay::tooltipAt(const QPoint &pos, QRect *area) const
{
    int row = 0;
    int col = 0;
    const GridData &data = m_grid.data();
    if (!m_grid.cellAt(pos, &row, &col) || row < data.fixedRows())
        return {};
    if (col >= data.fixedCols()) {
        const TimeScale &scale = data.timeScale();
        if (!scale.isValid())
            return {};
        const qint32 from = scale.secondsOf(col);
        const qint32 to = from + scale.spanSeconds();
        const qint32 now = qint32(m_clock.timeOfDayMs() / 1000);
        const bool onBar = meets(data.text(row, PlannedStartCol), data.text(row, PlannedFinishCol), 0, from, to)
            || meets(data.text(row, ActualStartCol), data.text(row, ActualFinishCol), now, from, to);
        if (!onBar)
            return {};
    } else if (col != KeyCol) {
        return {};
    }
    *area = m_grid.cellRect(row, col);
    return TooltipText(data, row, m_state.SortOrder, qint32(m_clock.timeOfDayMs() / 1000), m_details);
}

bool LiveOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_grid.viewport() || event->type() != QEvent::ToolTip || !enabled())
        return QObject::eventFilter(watched, event);
    auto *help = static_cast<QHelpEvent *>(event);
    QRect area;
    const QString text = tooltipAt(help->pos(), &area);
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), text, m_grid.viewport(), area);
    }
    return true;
}

} // namespace vorn::chart
