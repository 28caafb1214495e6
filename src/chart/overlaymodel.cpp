#include "overlaymodel.h"

#include "chartclock.h"
#include "ganttbars.h"
#include "appstate.h"
#include "gridcolumns.h"
#include "griddata.h"
#include "texts.h"

#include <algorithm>

namespace vorn::chart {

namespace {

// Ids of the overlay texts.
enum TextId {
    TextUnreadableSince = 303,
    TextNoChangeFor = 304,
    TextStopped = 305,
    TextPart = 307,
    TextProcess = 308,
    TextMachine = 309,
    TextOrder = 310,
    TextStatus = 311,
    TextFinished = 312,
    TextRunning = 313,
    TextWaiting = 314,
    TextLate = 315,
    TextOperations = 316,
};

bool isGroupRow(const GridData &grid, int row)
{
    return grid.rowOutlineLevel(row) <= 0;
}

// "P1(O7)" into "P1" and "O7"; a label without a trailing "(...)" is all part.
std::pair<QString, QString> splitPartLabel(const QString &label)
{
    if (label.endsWith(u')')) {
        const qsizetype open = label.lastIndexOf(u'(');
        if (open >= 0)
            return {label.left(open), label.mid(open + 1, label.size() - open - 2)};
    }
    return {label, QString()};
}

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

void addLine(QString &html, const QString &label, const QString &value)
{
    html += QStringLiteral("<tr><td>%1</td><td>&nbsp;%2</td></tr>").arg(escaped(label), escaped(value));
}

// "start – finish (duration)" of one triple, leaving out what is empty.
QString timesText(const GridData &grid, int row, int col)
{
    const QString &start = grid.text(row, col);
    const QString &finish = grid.text(row, col + 1);
    const QString &duration = grid.text(row, col + 2);
    QString text = start;
    if (!finish.isEmpty())
        text += QStringLiteral(" \u2013 ") + finish;
    if (!duration.isEmpty())
        text += QStringLiteral(" (") + duration + u')';
    return text;
}

template <typename Visit>
void forEachDetailRow(const GridData &grid, int groupRow, Visit visit)
{
    for (int row = groupRow + 1; row < grid.rows() && !isGroupRow(grid, row); ++row) {
        if (!visit(row))
            return;
    }
}

} // namespace

std::optional<RunningOperation> RunningAt(const GridData &grid, int row, qint32 nowSeconds)
{
    if (row < grid.fixedRows() || row >= grid.rows() || isGroupRow(grid, row))
        return std::nullopt;
    const QString &start = grid.text(row, ActualStartCol);
    if (start.isEmpty() || !grid.text(row, ActualFinishCol).isEmpty())
        return std::nullopt;
    RunningOperation running;
    running.actualStart = TextSeconds(start);
    const QString &duration = grid.text(row, PlannedDurationCol);
    const qint32 planned = TextSeconds(duration);
    if (planned > 0) {
        running.ghostEnd = running.actualStart + planned;
        running.lateSeconds = std::max(0, nowSeconds - *running.ghostEnd);
    }
    return running;
}

QString LateText(qint32 seconds)
{
    seconds = std::max(0, seconds);
    const int hours = seconds / 3600;
    const int minutes = seconds / 60 % 60;
    const int secs = seconds % 60;
    if (hours == 0)
        return QStringLiteral("+%1:%2").arg(minutes, 2, 10, QLatin1Char('0')).arg(secs, 2, 10, QLatin1Char('0'));
    return QStringLiteral("+%1:%2:%3")
        .arg(hours)
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(secs, 2, 10, QLatin1Char('0'));
}

GroupTotals GroupTotalsAt(const GridData &grid, int groupRow, qint32 nowSeconds)
{
    GroupTotals totals;
    forEachDetailRow(grid, groupRow, [&](int row) {
        ++totals.operations;
        if (!grid.text(row, ActualFinishCol).isEmpty())
            ++totals.finished;
        if (const auto running = RunningAt(grid, row, nowSeconds)) {
            ++totals.running;
            if (running->lateSeconds > 0)
                ++totals.late;
        }
        return true;
    });
    return totals;
}

int LateCountAt(const GridData &grid, int groupRow, qint32 nowSeconds)
{
    int late = 0;
    forEachDetailRow(grid, groupRow, [&](int row) {
        if (const auto running = RunningAt(grid, row, nowSeconds); running && running->lateSeconds > 0)
            ++late;
        return true;
    });
    return late;
}

QString TooltipText(const GridData &grid, int row, qint16 sortOrder, qint32 nowSeconds,
                    const RecordDetailsLookup &details)
{
    if (row < grid.fixedRows() || row >= grid.rows())
        return {};
    QString html = QStringLiteral("<table>");
    if (isGroupRow(grid, row)) {
        html += QStringLiteral("<tr><td colspan=2><b>%1</b></td></tr>").arg(escaped(grid.text(row, KeyCol)));
        const GroupTotals totals = GroupTotalsAt(grid, row, nowSeconds);
        addLine(html, GetText(TextOperations), QString::number(totals.operations));
        addLine(html, GetText(TextFinished), QString::number(totals.finished));
        addLine(html, GetText(TextRunning), QString::number(totals.running));
        addLine(html, GetText(TextLate), QString::number(totals.late));
        addLine(html, GetText(44), timesText(grid, row, PlannedStartCol));
        addLine(html, GetText(45), timesText(grid, row, ActualStartCol));
        return html + QStringLiteral("</table>");
    }

    // The group key stands on the nearest group row above.
    int groupRow = row - 1;
    while (groupRow >= grid.fixedRows() && !isGroupRow(grid, groupRow))
        --groupRow;
    const QString groupKey = groupRow >= grid.fixedRows() ? grid.text(groupRow, KeyCol) : QString();
    const bool byMachine = sortOrder == kSortByMachine;
    const QString machine = byMachine ? groupKey : grid.text(row, KeyCol);
    const auto [part, order] = splitPartLabel(byMachine ? grid.text(row, KeyCol) : groupKey);

    addLine(html, GetText(TextPart), part);
    if (details) {
        if (const std::optional<RecordDetails> found = details(grid.rowData(row)))
            addLine(html, GetText(TextProcess), found->process);
    }
    addLine(html, GetText(TextMachine), machine);
    if (!order.isEmpty())
        addLine(html, GetText(TextOrder), order);
    addLine(html, GetText(44), timesText(grid, row, PlannedStartCol));
    addLine(html, GetText(45), timesText(grid, row, ActualStartCol));

    QString status = GetText(TextWaiting);
    if (!grid.text(row, ActualFinishCol).isEmpty())
        status = GetText(TextFinished);
    const std::optional<RunningOperation> running = RunningAt(grid, row, nowSeconds);
    if (running)
        status = GetText(TextRunning);
    addLine(html, GetText(TextStatus), status);
    if (running && running->lateSeconds > 0)
        addLine(html, GetText(TextLate), LateText(running->lateSeconds));
    return html + QStringLiteral("</table>");
}

void ChangeFlashes::noteChanges(const std::vector<PlannedChange> &changes, qint64 nowMs)
{
    expire(nowMs);
    std::erase_if(m_recent, [&](const auto &recent) { return nowMs - recent.second >= CoolDownMs; });
    for (const PlannedChange &change : changes) {
        if (int(m_flashes.size()) >= MaxFlashes)
            break;
        const bool cooling = std::any_of(m_recent.begin(), m_recent.end(),
                                         [&](const auto &recent) { return recent.first == change.row; });
        if (cooling)
            continue;
        m_flashes.push_back({change.row, nowMs, change.oldStart, change.oldFinish});
        m_recent.emplace_back(change.row, nowMs);
    }
}

void ChangeFlashes::clear()
{
    m_flashes.clear();
    m_recent.clear();
}

bool ChangeFlashes::expire(qint64 nowMs)
{
    std::erase_if(m_flashes, [&](const Flash &flash) { return nowMs - flash.startMs >= FadeMs; });
    return !m_flashes.empty();
}

double ChangeFlashes::strength(int row, qint64 nowMs) const
{
    const Flash *flash = find(row);
    if (!flash)
        return 0;
    const qint64 age = nowMs - flash->startMs;
    if (age < 0 || age >= FadeMs)
        return age < 0 ? 1 : 0;
    return 1.0 - double(age) / double(FadeMs);
}

const ChangeFlashes::Flash *ChangeFlashes::find(int row) const
{
    for (const Flash &flash : m_flashes) {
        if (flash.row == row)
            return &flash;
    }
    return nullptr;
}

void StaleWatch::noteTick(bool readable, bool changed, qint64 steadyMs, qint64 timeOfDayMs)
{
    if (!readable) {
        if (!m_unreadableSinceMs)
            m_unreadableSinceMs = timeOfDayMs;
        return;
    }
    m_unreadableSinceMs.reset();
    if (changed)
        m_lastChangeMs = steadyMs;
}

void StaleWatch::noteRefill(qint64 steadyMs)
{
    m_unreadableSinceMs.reset();
    m_lastChangeMs = steadyMs;
}

StaleWatch::Problem StaleWatch::problem(bool online, bool stopped, qint64 steadyMs,
                                        int unchangedMinutes) const
{
    if (!online)
        return Problem::None;
    if (stopped)
        return Problem::Stopped;
    if (m_unreadableSinceMs)
        return Problem::Unreadable;
    if (unchangedMinutes > 0 && steadyMs - m_lastChangeMs >= qint64(unchangedMinutes) * 60000)
        return Problem::Unchanged;
    return Problem::None;
}

QString StaleWatch::text(bool online, bool stopped, qint64 steadyMs, int unchangedMinutes) const
{
    switch (problem(online, stopped, steadyMs, unchangedMinutes)) {
    case Problem::None:
        break;
    case Problem::Stopped:
        return GetText(TextStopped);
    case Problem::Unreadable:
        return GetText(TextUnreadableSince).arg(ClockText(*m_unreadableSinceMs));
    case Problem::Unchanged:
        return GetText(TextNoChangeFor).arg((steadyMs - m_lastChangeMs) / 60000);
    }
    return {};
}

} // namespace vorn::chart
