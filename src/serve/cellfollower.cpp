#include "cellfollower.h"

#include "folderchart.h"
#include "ganttbars.h"
#include "gridcolumns.h"
#include "gridcsv.h"
#include "gridfill.h"
#include "gridlayout.h"
#include "paths.h"
#include "plantjson.h"
#include "refresh.h"
#include "settings.h"
#include "texts.h"

#include <QFileInfo>

#include <algorithm>

namespace vorn::serve {

namespace {

qint32 SecondsOrNone(const QString &text)
{
    return text.isEmpty() ? -1 : chart::TextSeconds(text);
}

} // namespace

CellFollower::CellFollower(const CellConfig &config, Sort sort, const chart::ChartClock &clock) : m_clock(clock)
{
    FolderChartRequest request;
    request.dataFolder = config.dataFolder;
    if (!request.dataFolder.endsWith(u'/'))
        request.dataFolder += u'/';
    request.sortOrder = SortOrderOf(sort);
    if (const QString interval = IntervalTextOfMinutes(config.interval); !interval.isEmpty())
        request.interval = interval;
    SetUpFolderGrid(m_grid, m_state, request);
    m_noChangeMinutes = config.noChangeMinutes > 0 ? config.noChangeMinutes
                                                   : LoadOverlaySettings(m_state.SettingsFile).noChangeMinutes;
    m_liveTable = LiveTablePath(m_state);
    m_stale.noteRefill(m_clock.steadyMs());
    fill();
    timer.setInterval(m_state.TimerInterval > 0 ? m_state.TimerInterval : 500);
}

void CellFollower::fill()
{
    GridFill target(m_grid);
    const bool filled = m_schedule.fill(core::ScheduleTables::live(m_state), m_state.SortOrder, target).ok();
    if (filled) {
        m_flashes.clear();
        m_stale.noteRefill(m_clock.steadyMs());
        m_records = m_schedule.lastFill().records;
        m_report.rebuilt = true;
        m_rowsMoved = true;
        m_timesWhole = false;
    }
    noteRead(filled, false);
}

void CellFollower::noteRead(bool readable, bool changed)
{
    m_stale.noteTick(readable, changed, m_clock.steadyMs(), m_clock.timeOfDayMs());
    if (!readable)
        return;
    // The table's own time of change, as the system tells it: a stat, not a read.
    const QDateTime modified = QFileInfo(m_liveTable + QLatin1String(".dbf")).lastModified().toUTC();
    if (modified.isValid() && modified != m_lastChange)
        m_lastChange = modified;
}

const CellFollower::Report &CellFollower::tick()
{
    m_report = {};
    const core::TickStep step = core::TimerTickStep(m_state);
    if (step == core::TickStep::Nothing || m_schedule.busy())
        return m_report;
    const QByteArray staleBefore = stale();
    const qint32 recordsBefore = m_records;
    const core::LiveSchedule::TimerTick ticking(m_schedule);
    m_report.acted = true;
    if (step == core::TickStep::Refresh) {
        RefreshResult result;
        GridCellWriter cells(m_grid, result, &m_report.changedRows);
        const std::optional<TickResult> ticked = m_schedule.tick(m_liveTable, GridTickRows(m_grid), cells);
        noteRead(ticked.has_value(), result.changed);
        if (!result.plannedChanges.empty()) {
            // The flashes this tick starts are those noted after the faded ones went.
            const qint64 nowMs = m_clock.steadyMs();
            m_flashes.expire(nowMs);
            const size_t flashing = m_flashes.flashes().size();
            m_flashes.noteChanges(result.plannedChanges, nowMs);
            for (size_t i = flashing; i < m_flashes.flashes().size(); ++i)
                m_report.flash.push_back(m_flashes.flashes()[i].row);
        }
        m_rowsMoved = m_rowsMoved || !m_report.changedRows.empty();
        if (m_timesWhole) {
            for (const int row : m_report.changedRows)
                readRowTimes(row);
        }
        if (ticked) {
            m_records = ticked->records;
            // Records added or removed, or the table emptied: the rows no
            // longer stand for the table, and are rebuilt once it holds
            // records again.
            if (ticked->records != m_schedule.lastFill().records)
                m_state.ReloadRequested = true;
        }
    }
    if (m_state.ReloadRequested) {
        const std::optional<qint32> records = m_schedule.liveRecordCount(m_liveTable);
        if (!records)
            noteRead(false, false);
        else
            m_records = *records;
        if (core::RebuildReady(records)) {
            fill();
            m_state.ReloadRequested = false;
        }
    }
    if (m_report.rebuilt) {
        m_report.changedRows.clear();
        m_report.flash.clear();
    } else {
        // Detail rows come in the order worked out, the group rows after them.
        std::sort(m_report.changedRows.begin(), m_report.changedRows.end());
        m_report.changedRows.erase(std::unique(m_report.changedRows.begin(), m_report.changedRows.end()),
                                   m_report.changedRows.end());
        std::sort(m_report.flash.begin(), m_report.flash.end());
    }
    // A table written again with the same bytes is no news to a page.
    m_report.stateMoved = stale() != staleBefore || m_records != recordsBefore;
    return m_report;
}

QByteArray CellFollower::stale() const
{
    switch (m_stale.problem(true, false, m_clock.steadyMs(), m_noChangeMinutes)) {
    case chart::StaleWatch::Problem::Unreadable:
        return QByteArrayLiteral("unreadable");
    case chart::StaleWatch::Problem::Unchanged:
        return QByteArrayLiteral("unchanged");
    default:
        return {};
    }
}

void CellFollower::appendHead(QByteArray &out, const char *type, const QString &cell, Sort sort, qint64 seq) const
{
    out.append("{\"type\":\"").append(type).append("\",\"cell\":");
    AppendJsonString(out, cell);
    out.append(",\"sort\":\"").append(SortName(sort)).append("\",\"seq\":");
    AppendJsonInt(out, seq);
    out.append(",\"now\":");
    AppendJsonInt(out, m_clock.timeOfDayMs() / 1000);
    out.append(",\"records\":");
    AppendJsonInt(out, m_records);
    out.append(",\"stale\":\"").append(stale()).append("\",\"lastChange\":");
    if (m_lastChange)
        out.append('"').append(m_lastChange->toString(Qt::ISODate).toLatin1()).append('"');
    else
        out.append("null");
}

QByteArray CellFollower::view(const QString &cell, Sort sort, qint64 seq) const
{
    QByteArray out;
    // About 80 bytes a row.
    out.reserve(256 + qsizetype(m_grid.rows()) * 80);
    appendHead(out, "view", cell, sort, seq);
    out.append(",\"interval\":");
    AppendJsonInt(out, m_state.IntervalText.toInt());
    out.append(",\"noChangeMinutes\":");
    AppendJsonInt(out, m_noChangeMinutes);
    out.append(",\"rows\":");
    AppendViewRows(out, m_grid);
    out.append('}');
    return out;
}

QByteArray CellFollower::tickMessage(const QString &cell, Sort sort, qint64 seq) const
{
    QByteArray out;
    out.reserve(256 + qsizetype(m_report.changedRows.size()) * 70);
    appendHead(out, "tick", cell, sort, seq);
    out.append(",\"rows\":[");
    for (size_t i = 0; i < m_report.changedRows.size(); ++i) {
        if (i > 0)
            out.append(',');
        AppendTickRow(out, m_grid, m_report.changedRows[i]);
    }
    out.append("],\"flash\":[");
    for (size_t i = 0; i < m_report.flash.size(); ++i) {
        if (i > 0)
            out.append(',');
        AppendJsonInt(out, m_report.flash[i] - m_grid.fixedRows());
    }
    out.append("]}");
    return out;
}

QByteArray CellFollower::csv()
{
    // The header rows hold the texts of the language they were set in:
    // those of the current one for the call.
    std::vector<QString> kept;
    for (int row = 0; row < m_grid.fixedRows(); ++row) {
        for (int col = chart::KeyCol; col <= chart::ActualDurationCol; ++col)
            kept.push_back(m_grid.text(row, col));
    }
    chart::SetLeadingHeaderTexts(m_grid);
    m_grid.setText(0, chart::KeyCol, GetText(m_state.SortOrder == kSortByMachine ? 43 : 53));
    QByteArray out = chart::GridCsv(m_grid);
    auto text = kept.begin();
    for (int row = 0; row < m_grid.fixedRows(); ++row) {
        for (int col = chart::KeyCol; col <= chart::ActualDurationCol; ++col)
            m_grid.setText(row, col, *text++);
    }
    return out;
}

void CellFollower::readRowTimes(int row)
{
    RowTimes &times = m_times[size_t(row)];
    times = {};
    if (m_grid.rowOutlineLevel(row) <= 0)
        return;
    times.detail = true;
    if (const std::optional<chart::RunningOperation> running = chart::RunningAt(m_grid, row, 0)) {
        times.running = true;
        times.ghostEnd = running->ghostEnd;
    }
    times.plannedStart = SecondsOrNone(m_grid.text(row, chart::PlannedStartCol));
    times.plannedFinish = SecondsOrNone(m_grid.text(row, chart::PlannedFinishCol));
    times.actualStart = SecondsOrNone(m_grid.text(row, chart::ActualStartCol));
    times.actualFinish = SecondsOrNone(m_grid.text(row, chart::ActualFinishCol));
}

void CellFollower::scan(qint32 now)
{
    if (!m_timesWhole) {
        m_times.assign(size_t(std::max(0, m_grid.rows())), RowTimes());
        for (int row = m_grid.fixedRows(); row < m_grid.rows(); ++row)
            readRowTimes(row);
        m_timesWhole = true;
    }
    struct Entry {
        qint32 plannedStart;
        int row;
        int groupRow;
    };
    std::vector<Entry> entries;
    m_running.clear();
    const qint32 horizon = now + TimelineSeconds;
    int groupRow = 0;
    for (int row = m_grid.fixedRows(); row < int(m_times.size()); ++row) {
        const RowTimes &times = m_times[size_t(row)];
        if (!times.detail) {
            groupRow = row;
            continue;
        }
        if (times.running)
            m_running.push_back(times.ghostEnd);
        if (times.running || (times.plannedFinish >= now && times.plannedStart < horizon))
            entries.push_back({times.plannedStart, row, groupRow});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry &a, const Entry &b) { return a.plannedStart < b.plannedStart; });
    entries.resize(std::min(entries.size(), size_t(TimelineMax)));
    m_timeline.clear();
    m_timeline.append('[');
    for (size_t i = 0; i < entries.size(); ++i) {
        const RowTimes &times = m_times[size_t(entries[i].row)];
        if (i > 0)
            m_timeline.append(',');
        m_timeline.append('[');
        AppendJsonString(m_timeline, entries[i].groupRow > 0 ? m_grid.text(entries[i].groupRow, chart::KeyCol)
                                                             : QString());
        for (const qint32 time : {times.plannedStart, times.plannedFinish, times.actualStart, times.actualFinish}) {
            m_timeline.append(',');
            AppendJsonInt(m_timeline, time);
        }
        m_timeline.append(']');
    }
    m_timeline.append(']');
}

void CellFollower::appendSummary(QByteArray &out, qint32 now)
{
    const qint64 steady = m_clock.steadyMs();
    if (m_rowsMoved || steady - m_scannedMs >= TimelineRescanMs) {
        scan(now);
        m_rowsMoved = false;
        m_scannedMs = steady;
    }
    // Whether a running operation is late moves with the time alone.
    const auto late = std::count_if(m_running.begin(), m_running.end(),
                                    [now](const std::optional<qint32> &ghostEnd) { return ghostEnd && now > *ghostEnd; });
    out.append(",\"records\":");
    AppendJsonInt(out, m_records);
    out.append(",\"running\":");
    AppendJsonInt(out, qint64(m_running.size()));
    out.append(",\"late\":");
    AppendJsonInt(out, late);
    out.append(",\"lastChange\":");
    if (m_lastChange)
        out.append('"').append(m_lastChange->toString(Qt::ISODate).toLatin1()).append('"');
    else
        out.append("null");
    out.append(",\"stale\":\"").append(stale()).append("\",\"timeline\":").append(m_timeline);
}

} // namespace vorn::serve
