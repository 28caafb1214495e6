// The fill and the refresh cycle: FillTree, online mode, the timer tick that
// refreshes the times in place or rebuilds after a clean.
#include "frmscheduler.h"

#include "cleaner.h"
#include "controlchannel.h"
#include "ganttgrid.h"
#include "gridcolumns.h"
#include "gridfill.h"
#include "liveoverlay.h"
#include "managerclient.h"
#include "paths.h"
#include "refresh.h"
#include "schedulerows.h"
#include "texts.h"

#include <QAction>
#include <QStringList>
#include <QTimer>

namespace vorn {

// ---------------------------------------------------------------------------
// Grid fill

void frmScheduler::FillTree(qint16 sortOrder)
{
    if (!m_grid)
        return;
    const OperationScope scope(*this);
    // The manager's messages that come while the fill answers the bus wait
    // for its end (and for whatever the event that runs it does after it).
    const ControlChannel::Hold fillRunning(m_channel.get());
    chart::GridData &grid = m_grid->data();
    m_grid->setRedraw(false);

    if (sortOrder == model::kSortByPart || sortOrder == model::kSortByMachine) {
        const bool byMachine = sortOrder == model::kSortByMachine;
        setButtonPressed(QStringLiteral("machine"), byMachine);
        setButtonPressed(QStringLiteral("part"), !byMachine);
        menuItem(QStringLiteral("mnuMachineSort"))->setChecked(byMachine);
        menuItem(QStringLiteral("mnuPartSort"))->setChecked(!byMachine);
        grid.setText(0, 1, GetText(byMachine ? 43 : 53));
    }

    GridFill target(grid);
    // A table that cannot be opened has shown its box; the grid keeps its rows.
    const bool filled = m_schedule.fill(core::ScheduleTables::shown(m_state), sortOrder, target).ok();
    if (m_overlay) {
        if (filled)
            m_overlay->noteRefill();
        else
            m_overlay->noteTick(false, {}, false);
    }
    m_grid->setRedraw(true);
    if (grid.rows() > 1)
        grid.select(2, chart::KeyCol);
    // The next tick comes a whole period after a long fill, not at once: the
    // window shows the new rows first.
    if (m_timer->isActive())
        m_timer->start();
}

// ---------------------------------------------------------------------------
// Online mode and the refresh cycle

void frmScheduler::SwitchOnline()
{
    const bool goingOnline = m_state.Offline != 0;
    m_state.Offline = goingOnline ? 0 : 1;
    setTimerPeriod(goingOnline ? m_state.TimerInterval : 0);
    menuItem(QStringLiteral("mnuOnLine"))->setChecked(goingOnline);
    setButtonPressed(QStringLiteral("online"), goingOnline);
    setButtonEnabled(QStringLiteral("clean"), goingOnline);
    menuItem(QStringLiteral("mnuClean"))->setEnabled(goingOnline);
    setButtonEnabled(QStringLiteral("open"), !goingOnline);
    menuItem(QStringLiteral("mnuOpen"))->setEnabled(!goingOnline);
    m_state.LoadedName.clear();
    UpdateTitle();
    FillTree(m_state.SortOrder);
}

void frmScheduler::Timer1_Timer()
{
    // A message box raised by a tick runs its own event loop; the ticks that
    // arrive meanwhile are dropped, so one box stands at a time.
    if (m_schedule.busy())
        return;
    const core::TickStep step = core::TimerTickStep(m_state);
    if (step == core::TickStep::Nothing)
        return;
    const OperationScope scope(*this);
    const core::LiveSchedule::TimerTick ticking(m_schedule);
    if (step == core::TickStep::Rebuild)
        RefreshAfterClean();
    else
        UpdateScheduleView();
}

QVariantMap frmScheduler::diagnostics(bool withGrid) const
{
    QVariantMap map;
    const core::TickStats &stats = m_schedule.stats();
    map.insert(QStringLiteral("ticks"), stats.ticks);
    map.insert(QStringLiteral("longestTickMs"), stats.longestTickMs);
    map.insert(QStringLiteral("totalTickCpuUs"), stats.totalTickCpuUs);
    map.insert(QStringLiteral("rowsRewritten"), stats.rowsRewritten);
    map.insert(QStringLiteral("recordsChanged"), stats.recordsChanged);
    map.insert(QStringLiteral("longestTickGapMs"), stats.longestGapMs);
    if (m_managerServer) {
        map.insert(QStringLiteral("feedsSent"), m_managerServer->sentCount());
        map.insert(QStringLiteral("feedsFailed"), m_managerServer->failedCount());
    }
    if (!m_grid)
        return map;
    const chart::GridData &grid = m_grid->data();
    map.insert(QStringLiteral("rows"), grid.rows());
    map.insert(QStringLiteral("firstChartPaintMs"), m_grid->firstChartPaintMs());
    map.insert(QStringLiteral("firstChartPaintCpuMs"), m_grid->firstChartPaintCpuMs());
    if (withGrid) {
        // One line per body row: level, record, then the texts of columns 1 to 7.
        QStringList lines;
        lines.reserve(grid.rows());
        for (int row = grid.fixedRows(); row < grid.rows(); ++row) {
            QStringList cells{QString::number(grid.rowOutlineLevel(row)), QString::number(grid.rowData(row))};
            for (int col = chart::KeyCol; col <= chart::ActualDurationCol; ++col)
                cells << grid.text(row, col);
            lines << cells.join(u'|');
        }
        map.insert(QStringLiteral("grid"), lines.join(u'\n'));
    }
    return map;
}

void frmScheduler::UpdateScheduleView()
{
    if (!m_grid)
        return;
    chart::GridData &grid = m_grid->data();
    const int topRow = m_grid->topRow();
    const int leftCol = m_grid->leftCol();
    m_grid->setRedraw(false);
    RefreshResult result;
    GridCellWriter cells(grid, result);
    const std::optional<TickResult> ticked = m_schedule.tick(LiveTablePath(m_state), GridTickRows(grid), cells);
    if (ticked)
        static_cast<TickResult &>(result) = *ticked;
    if (m_overlay)
        m_overlay->noteTick(ticked.has_value(), result.plannedChanges, result.changed);
    DrawBodyBorders(grid);
    m_grid->setTopRow(topRow);
    m_grid->setLeftCol(leftCol);
    m_grid->setRedraw(true);
    if (grid.rows() > 1)
        grid.select(2, chart::KeyCol);
}

void frmScheduler::RefreshAfterClean()
{
    const std::optional<qint32> records = LiveRecordCount(m_state);
    if (isUnloaded())
        return;
    if (!records && m_overlay)
        m_overlay->noteTick(false, {}, false);
    if (core::RebuildReady(records)) {
        FillTree(m_state.SortOrder);
        m_state.ReloadRequested = false;
    }
}

void frmScheduler::setTimerPeriod(int milliseconds)
{
    // A period of 0 (or less) means stopped.
    if (milliseconds > 0)
        m_timer->start(milliseconds);
    else
        m_timer->stop();
}

} // namespace vorn
