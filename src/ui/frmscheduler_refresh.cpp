// The fill and the refresh cycle: FillTree, online mode, the timer tick that
// refreshes the times in place or rebuilds after a clean.
#include "frmscheduler.h"

#include "cleaner.h"
#include "ganttgrid.h"
#include "gridfill.h"
#include "liveoverlay.h"
#include "managerclient.h"
#include "paths.h"
#include "refresh.h"
#include "schedulerows.h"
#include "tablelibrary.h"
#include "texts.h"

#include <QAction>
#include <QTimer>

namespace vorn {

// ---------------------------------------------------------------------------
// Grid fill

void frmScheduler::FillTree(qint16 sortOrder)
{
    if (!m_grid)
        return;
    const OperationScope scope(*this);
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


    QString xml;
    bool feed = false;
    bool filled = false;
    {
        store::TableContext context;
        store::DbfTable schedule;
        store::DbfTable plan;
        store::DbfTable process;
        // All three are attempted, so a missing table is reported even when
        // an earlier one already failed.
        const bool scheduleOpen = context.OpenTable(schedule, ShownTablePath(m_state));
        const bool planOpen = context.OpenTable(plan, PlanTablePath(m_state));
        const bool processOpen = context.OpenTable(process, ProcessTablePath(m_state));
        if (scheduleOpen && planOpen && processOpen) {
            const bool withXml = m_hosted && m_managerServer;
            model::FillResult result =
                model::BuildScheduleRows(schedule, sortOrder, withXml ? &xml : nullptr);
            ApplyScheduleRows(grid, std::move(result.rows));
            feed = withXml;
            filled = true;
            context.closeAll();
        }
    }
    // The opens and the reads may have shown boxes, and the window may have
    // been unloaded meanwhile.
    if (feed && m_managerServer)
        m_managerServer->SetViewXMLData(QStringLiteral("SCHEDULER"), xml);

    DrawBodyBorders(grid);
    if (m_overlay) {
        if (filled)
            m_overlay->noteRefill();
        else
            m_overlay->noteTick(false, {}, false);
    }
    m_grid->setRedraw(true);
    if (grid.rows() > 1)
        grid.select(2, 1);
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
    if (m_inTick)
        return;
    if ((m_state.SortOrder != model::kSortByPart && m_state.SortOrder != model::kSortByMachine) || m_state.Offline != 0
        || m_state.UpdatesStopped)
        return;
    m_inTick = true;
    const OperationScope scope(*this);
    if (m_state.ReloadRequested)
        RefreshAfterClean();
    else
        UpdateScheduleView();
    m_inTick = false;
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
    bool readable = false;
    {
        store::TableContext context;
        store::DbfTable schedule;
        if (context.OpenTable(schedule, LiveTablePath(m_state))) {
            readable = true;
            result = RefreshTimesAndFeed(schedule, grid, m_hosted, m_hosted ? m_managerServer.get() : nullptr);
            context.closeAll();
        }
    }
    if (m_overlay)
        m_overlay->noteTick(readable, result.plannedChanges, result.changed);
    DrawBodyBorders(grid);
    m_grid->setTopRow(topRow);
    m_grid->setLeftCol(leftCol);
    m_grid->setRedraw(true);
    if (grid.rows() > 1)
        grid.select(2, 1);
}

void frmScheduler::RefreshAfterClean()
{
    const std::optional<qint32> records = LiveRecordCount(m_state);
    if (isUnloaded())
        return;
    if (!records && m_overlay)
        m_overlay->noteTick(false, {}, false);
    if (records && *records != 0) {
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
