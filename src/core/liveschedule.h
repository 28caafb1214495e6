#pragma once

#include "appstate.h"
#include "result.h"
#include "tickfeed.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

namespace vorn {
class ManagerServerClient;
}

namespace vorn::store {
class DbfTable;
class TableContext;
}

namespace vorn::core {

class FillTarget;

// Where the three tables of a fill are, each as OpenTable takes it (without
// ".dbf").
struct ScheduleTables {
    QString schedule;   // the live table, or a saved copy while offline
    QString plan;
    QString process;

    // The table the window shows, beside the manager's plan and process.
    static ScheduleTables shown(const AppState &state);
    // The live table of the state's data folder, beside the same two.
    static ScheduleTables live(const AppState &state);
};

// What the last fill found of the times its rows show, so that the first
// view is placed without reading every row again.
struct FillSummary {
    qint32 earliestPlannedStart = -1;     // of any group row; -1: none
    std::pair<qint32, qint32> shownTimes; // earliest and latest time shown
    quint64 rowsGeneration = 0;           // of the rows it left
    qint64 ticks = -1;                    // timer ticks counted when it ended
    qint32 records = -1;                  // the schedule's record count it read; -1: none read
};

// What a timer tick of a view that follows the live table does, by the
// state's mode: nothing while loading, offline or stopped by the manager; a
// rebuild while one is asked for (after a clean or a new run); else the
// in-place refresh.
enum class TickStep { Nothing, Rebuild, Refresh };
TickStep TimerTickStep(const AppState &state);
// Whether an asked-for rebuild happens now, by the live table's record
// count (nullopt: it could not be read): only once the table holds records
// again; until then the rows of the last fill stay.
inline bool RebuildReady(std::optional<qint32> liveRecords)
{
    return liveRecords && *liveRecords != 0;
}

// What the timer ticks cost: counted for benchmarks and diagnostics, never
// shown.
struct TickStats {
    qint64 ticks = 0;            // ticks that refreshed or rebuilt
    qint64 longestTickMs = 0;
    qint64 totalTickCpuUs = 0;   // processor time of the ticking thread in ticks
    qint64 rowsRewritten = 0;    // detail rows whose times a tick worked out
    qint64 recordsChanged = 0;   // records whose bytes a tick found changed
    qint64 longestGapMs = 0;     // between the starts of two such ticks
};

// The schedule of one data folder as a viewer follows it, without widgets:
// opens the three tables, fills a target with the grouped rows, answers
// each timer tick with the rows whose times changed, and keeps between them
// what the last fill and tick saw (and, when hosted, what the Manager
// Server was fed). The window keeps one; a program that follows several
// folders keeps one per folder.
class LiveSchedule {
public:
    // Whether a table that cannot be opened shows the "Open Failed" box (as
    // the window does) or is only reported in the result.
    enum class OpenFailure { ShowBox, Quiet };
    explicit LiveSchedule(OpenFailure openFailure = OpenFailure::ShowBox);

    // Hosted: the fills and ticks feed `view` (while there is one) the
    // schedule XML.
    void setFeed(bool hosted, ManagerServerClient *view);
    bool hosted() const { return m_hosted; }
    // Called now and then during a long fill, at most once per answer
    // period (40 ms unless set): the owner's chance to keep answering.
    void setAnswer(std::function<void()> answer) { m_answer = std::move(answer); }
    void setAnswerPeriod(int periodMs) { m_answerPeriodMs = periodMs; }

    // One fill: opens the three tables (all are tried, so each missing one
    // is reported), groups the schedule's records into `target`, feeds the
    // XML when hosted, and ends the target whatever happened. A failure
    // names the first table that could not be read; the target then keeps
    // its rows.
    [[nodiscard]] Result fill(const ScheduleTables &tables, qint16 sortOrder, FillTarget &target);
    // One tick over the live table: the triples of the rows whose times
    // changed go to `cells`, the summaries that moved too, and the view is
    // fed the rows it lacks when hosted; nothing when the table cannot be
    // opened.
    std::optional<TickResult> tick(const QString &liveTable, const model::TickRows &rows,
                                   model::TickCellWriter &cells);
    // The live table's record count, nullopt when it cannot be opened (with
    // the box or quietly, as this schedule reports failures).
    std::optional<qint32> liveRecordCount(const QString &liveTable) const;

    // A fill or a timer tick is running (a box of one may run events).
    bool busy() const { return m_filling || m_ticking; }
    const FillSummary &lastFill() const { return m_lastFill; }
    // Whether rows of this generation still show the times the last fill
    // left: no tick and no other rebuild since.
    bool showsLastFill(quint64 rowsGeneration) const
    {
        return m_lastFill.rowsGeneration == rowsGeneration && m_lastFill.ticks == m_stats.ticks;
    }
    const TickStats &stats() const { return m_stats; }

    // Held by the owner's timer tick, whether it refreshes or rebuilds:
    // counts and times it.
    class TimerTick {
    public:
        explicit TimerTick(LiveSchedule &schedule);
        ~TimerTick();
        TimerTick(const TimerTick &) = delete;
        TimerTick &operator=(const TimerTick &) = delete;

    private:
        LiveSchedule &m_schedule;
        qint64 m_cpuStartUs = 0;
    };

private:
    void pause();
    Result open(store::TableContext &context, store::DbfTable &table, const QString &path) const;

    OpenFailure m_openFailure;
    bool m_hosted = false;
    ManagerServerClient *m_view = nullptr;
    std::function<void()> m_answer;
    int m_answerPeriodMs = 40;
    QElapsedTimer m_sinceAnswered;   // during a fill: since the owner last answered
    bool m_filling = false;
    bool m_ticking = false;
    RefreshState m_kept;             // what the last fill or tick saw
    FillSummary m_lastFill;
    TickStats m_stats;
    QElapsedTimer m_sinceLastTick;
};

} // namespace vorn::core
