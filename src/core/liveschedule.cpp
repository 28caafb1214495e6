#include "liveschedule.h"

#include "filltarget.h"
#include "managerclient.h"
#include "paths.h"
#include "schedulerows.h"
#include "tablelibrary.h"

#include <QFileInfo>
#include <QScopedValueRollback>

#include <array>
#include <ctime>

namespace vorn::core {

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

ScheduleTables ScheduleTables::shown(const AppState &state)
{
    return {ShownTablePath(state), PlanTablePath(state), ProcessTablePath(state)};
}

ScheduleTables ScheduleTables::live(const AppState &state)
{
    return {LiveTablePath(state), PlanTablePath(state), ProcessTablePath(state)};
}

TickStep TimerTickStep(const AppState &state)
{
    if ((state.SortOrder != kSortByPart && state.SortOrder != kSortByMachine) || state.Offline != 0
        || state.UpdatesStopped)
        return TickStep::Nothing;
    return state.ReloadRequested ? TickStep::Rebuild : TickStep::Refresh;
}

LiveSchedule::LiveSchedule(OpenFailure openFailure) : m_openFailure(openFailure) {}

void LiveSchedule::setFeed(bool hosted, ManagerServerClient *view)
{
    m_hosted = hosted;
    m_view = view;
}

void LiveSchedule::pause()
{
    if (!m_answer || m_sinceAnswered.elapsed() < m_answerPeriodMs)
        return;
    m_answer();
    m_sinceAnswered.start();
}

Result LiveSchedule::fill(const ScheduleTables &tables, qint16 sortOrder, FillTarget &target)
{
    const QScopedValueRollback filling(m_filling, true);
    m_sinceAnswered.start();
    QString xml;
    bool feed = false;
    Result opened = Result::success();
    {
        store::TableContext context;
        std::array<store::DbfTable, 3> opens;
        store::DbfTable &schedule = opens[0];
        // All three are attempted, so a missing table is reported even when
        // an earlier one already failed.
        const QString *const paths[] = {&tables.schedule, &tables.plan, &tables.process};
        for (size_t i = 0; i < opens.size(); ++i) {
            const Result result = open(context, opens[i], *paths[i]);
            if (result.failed() && opened.ok()) {
                opened = Result::failure(QStringLiteral("cannot read the %1 table: %2")
                                             .arg(QFileInfo(*paths[i]).fileName(), result.message()));
            }
        }
        if (opened.ok()) {
            // A schedule too large for one bus message is not fed at all.
            const bool withXml = m_hosted && m_view && ManagerServerClient::feedFits(schedule.recordCount());
            // The rows go to the target as they are made; the next tick
            // starts from the fields this fill read instead of reading every
            // row again.
            target.begin();
            model::FillSink sink;
            sink.begin = [&](size_t rows) {
                target.reserve(rows);
                m_kept.beginFill(schedule, rows);
            };
            sink.row = [&](model::ScheduleRow &&row) {
                m_kept.addFillRow(row);
                target.add(std::move(row));
            };
            sink.pause = [this] { pause(); };
            model::FillResult result = model::BuildScheduleRows(schedule, sortOrder, withXml ? &xml : nullptr, sink);
            target.finish();
            const model::TickRows &rows = target.tickRows();
            m_kept.endFill(rows, std::move(result.fingerprints));
            m_lastFill = {result.earliestPlannedStart, {result.earliestShown, result.latestShown},
                          rows.generation(), m_stats.ticks, result.recordCount};
            feed = withXml;
            // Closed before the view finishes its rows, not at the return:
            // with the three tables still mapped, a fill of 100,000 records
            // measured slower (median 72 ms against 47 ms).
            context.closeAll();
        }
    }
    // The opens and the reads may have shown boxes, and the view may have
    // gone meanwhile.
    if (feed && m_view)
        m_view->SetViewXMLData(ManagerServerClient::ViewName, xml);
    target.end();
    return opened;
}

std::optional<TickResult> LiveSchedule::tick(const QString &liveTable, const model::TickRows &rows,
                                             model::TickCellWriter &cells)
{
    store::TableContext context;
    store::DbfTable schedule;
    if (open(context, schedule, liveTable).failed())
        return std::nullopt;
    const TickResult result = FeedTick(schedule, rows, cells, m_hosted, m_hosted ? m_view : nullptr, &m_kept);
    m_stats.rowsRewritten += result.detailRows;
    m_stats.recordsChanged += result.changedRecords;
    return result;
}

std::optional<qint32> LiveSchedule::liveRecordCount(const QString &liveTable) const
{
    store::TableContext context;
    store::DbfTable table;
    if (open(context, table, liveTable).failed())
        return std::nullopt;
    return table.recordCount();
}

Result LiveSchedule::open(store::TableContext &context, store::DbfTable &table, const QString &path) const
{
    return m_openFailure == OpenFailure::ShowBox ? context.OpenTable(table, path)
                                                 : table.open(path + QLatin1String(".dbf"));
}

LiveSchedule::TimerTick::TimerTick(LiveSchedule &schedule) : m_schedule(schedule)
{
    m_schedule.m_ticking = true;
    TickStats &stats = m_schedule.m_stats;
    QElapsedTimer &sinceLast = m_schedule.m_sinceLastTick;
    if (sinceLast.isValid())
        stats.longestGapMs = qMax(stats.longestGapMs, sinceLast.elapsed());
    sinceLast.start();
    m_cpuStartUs = ThreadCpuUs();
}

LiveSchedule::TimerTick::~TimerTick()
{
    TickStats &stats = m_schedule.m_stats;
    ++stats.ticks;
    stats.totalTickCpuUs += ThreadCpuUs() - m_cpuStartUs;
    stats.longestTickMs = qMax(stats.longestTickMs, m_schedule.m_sinceLastTick.elapsed());
    m_schedule.m_ticking = false;
}

} // namespace vorn::core
