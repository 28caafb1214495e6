// The fill and the refresh cycle: FillTree, online mode, the timer tick that
// refreshes the times in place or rebuilds after a clean.
#include "frmscheduler.h"

#include "cleaner.h"
#include "controlchannel.h"
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
#include <QCoreApplication>
#include <QScopedValueRollback>
#include <QStringList>

#include <ctime>
#include <QTimer>

namespace vorn {

namespace {

// Processor time of the calling thread: what a tick costs, whatever else
// the machine is doing meanwhile. 0 where the system does not tell.
qint64 ThreadCpuUs()
{
#ifdef CLOCK_THREAD_CPUTIME_ID
    timespec now{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) == 0)
        return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
#endif
    return 0;
}

} // namespace

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
    const QScopedValueRollback filling(m_filling, true);
    m_sinceAnswered.start();
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
        const bool scheduleOpen = context.OpenTable(schedule, ShownTablePath(m_state)).ok();
        const bool planOpen = context.OpenTable(plan, PlanTablePath(m_state)).ok();
        const bool processOpen = context.OpenTable(process, ProcessTablePath(m_state)).ok();
        if (scheduleOpen && planOpen && processOpen) {
            // A schedule too large for one bus message is not fed at all.
            const bool withXml = m_hosted && m_managerServer
                && ManagerServerClient::feedFits(schedule.recordCount());
            // The rows go into the grid as they are made; the next tick
            // starts from the fields this fill read instead of reading every
            // row again.
            ScheduleRowAppender appender(grid);
            if (!m_refreshState)
                m_refreshState = std::make_unique<RefreshState>();
            RefreshState &state = *m_refreshState;
            model::FillSink sink;
            sink.begin = [&](size_t rows) {
                appender.reserve(rows);
                state.beginFill(schedule, rows);
            };
            sink.row = [&](model::ScheduleRow &&row) {
                state.addFillRow(row);
                appender.add(std::move(row));
            };
            sink.pause = [this] { keepAnswering(); };
            model::FillResult result =
                model::BuildScheduleRows(schedule, sortOrder, withXml ? &xml : nullptr, sink);
            appender.finish();
            state.endFill(GridTickRows(grid), std::move(result.fingerprints));
            m_firstStart = {result.earliestPlannedStart, {result.earliestShown, result.latestShown},
                            grid.rowsGeneration(), m_tickStats.ticks};
            feed = withXml;
            filled = true;
            context.closeAll();
        }
    }
    // The opens and the reads may have shown boxes, and the window may have
    // been unloaded meanwhile.
    if (feed && m_managerServer)
        m_managerServer->SetViewXMLData(ManagerServerClient::ViewName, xml);

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
    // The next tick comes a whole period after a long fill, not at once: the
    // window shows the new rows first.
    if (m_timer->isActive())
        m_timer->start();
}

void frmScheduler::keepAnswering()
{
    // A fill of a large table takes a second; meanwhile the window paints,
    // follows moves and answers the bus. Clicks and keys wait for the end
    // of the fill, so that nothing a user does runs in the middle of one.
    if (m_sinceAnswered.elapsed() < m_fillAnswerPeriodMs)
        return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_sinceAnswered.start();
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
    if (m_inTick || m_filling)
        return;
    if ((m_state.SortOrder != model::kSortByPart && m_state.SortOrder != model::kSortByMachine) || m_state.Offline != 0
        || m_state.UpdatesStopped)
        return;
    m_inTick = true;
    const OperationScope scope(*this);
    if (m_tickStats.sinceLast.isValid())
        m_tickStats.longestGapMs = qMax(m_tickStats.longestGapMs, m_tickStats.sinceLast.elapsed());
    m_tickStats.sinceLast.start();
    const qint64 cpuStartUs = ThreadCpuUs();
    if (m_state.ReloadRequested)
        RefreshAfterClean();
    else
        UpdateScheduleView();
    ++m_tickStats.ticks;
    m_tickStats.totalTickCpuUs += ThreadCpuUs() - cpuStartUs;
    m_tickStats.longestTickMs = qMax(m_tickStats.longestTickMs, m_tickStats.sinceLast.elapsed());
    m_inTick = false;
}

QVariantMap frmScheduler::diagnostics(bool withGrid) const
{
    QVariantMap map;
    map.insert(QStringLiteral("ticks"), m_tickStats.ticks);
    map.insert(QStringLiteral("longestTickMs"), m_tickStats.longestTickMs);
    map.insert(QStringLiteral("totalTickCpuUs"), m_tickStats.totalTickCpuUs);
    map.insert(QStringLiteral("rowsRewritten"), m_tickStats.rowsRewritten);
    map.insert(QStringLiteral("recordsChanged"), m_tickStats.recordsChanged);
    map.insert(QStringLiteral("longestTickGapMs"), m_tickStats.longestGapMs);
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
            for (int col = 1; col <= 7; ++col)
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
    bool readable = false;
    {
        store::TableContext context;
        store::DbfTable schedule;
        if (context.OpenTable(schedule, LiveTablePath(m_state)).ok()) {
            readable = true;
            if (!m_refreshState)
                m_refreshState = std::make_unique<RefreshState>();
            result = RefreshTimesAndFeed(schedule, grid, m_hosted, m_hosted ? m_managerServer.get() : nullptr,
                                         m_refreshState.get());
            m_tickStats.rowsRewritten += result.detailRows;
            m_tickStats.recordsChanged += result.changedRecords;
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
