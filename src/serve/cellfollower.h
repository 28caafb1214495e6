#pragma once

#include "appstate.h"
#include "chartclock.h"
#include "griddata.h"
#include "liveschedule.h"
#include "overlaymodel.h"
#include "plantsource.h"

#include <QByteArray>
#include <QDateTime>
#include <QTimer>

#include <optional>
#include <vector>

namespace vorn::serve {

inline qint16 SortOrderOf(Sort sort)
{
    return sort == Sort::Machine ? kSortByMachine : kSortByPart;
}

// One grouping of one cell as the window follows it: its own state, the
// grid the fill and the ticks write, and what the pages are told of it.
class CellFollower {
public:
    // The timeline: operations of the next four hours, at most 200.
    static constexpr qint32 TimelineSeconds = 4 * 3600;
    static constexpr int TimelineMax = 200;
    // The timeline is worked out again after every change of the rows, and
    // at least this often for the passing time.
    static constexpr qint64 TimelineRescanMs = 10000;

    CellFollower(const CellConfig &config, Sort sort, const chart::ChartClock &clock);

    // What the last tick did, for the messages.
    struct Report {
        bool acted = false;          // the tick refreshed or rebuilt
        bool rebuilt = false;        // the rows were filled anew
        std::vector<int> changedRows;
        std::vector<int> flash;
        bool stateMoved = false;     // the record count or the stale state moved
    };
    // One timer tick, as the window's: the in-place refresh, or the rebuild
    // while one is asked for. A tick that finds the record count moved asks
    // for a rebuild, as the manager's new run would.
    const Report &tick();
    const Report &report() const { return m_report; }

    // The "view" message of every row, and the "tick" message of the rows
    // the last tick changed (docs/plantview.md).
    QByteArray view(const QString &cell, Sort sort, qint64 seq) const;
    QByteArray tickMessage(const QString &cell, Sort sort, qint64 seq) const;
    // The viewer's CSV of the rows, the headers in the current language.
    QByteArray csv();
    // The summary's fields without the name; `now` in seconds.
    void appendSummary(QByteArray &out, qint32 now);

    // Kept by the plant: the tick's timer, the pages that follow, since when
    // nobody has (steady time), and the seq of the last message told.
    QTimer timer;
    int follows = 0;
    qint64 idleSinceMs = 0;
    qint64 seq = 0;

private:
    void fill();
    void noteRead(bool readable, bool changed);
    QByteArray stale() const;
    void appendHead(QByteArray &out, const char *type, const QString &cell, Sort sort, qint64 seq) const;
    void scan(qint32 now);

    const chart::ChartClock &m_clock;
    AppState m_state;
    chart::GridData m_grid;
    core::LiveSchedule m_schedule{core::LiveSchedule::OpenFailure::Quiet};
    chart::StaleWatch m_stale;
    chart::ChangeFlashes m_flashes;
    int m_noChangeMinutes = 0;
    QString m_liveTable;
    qint32 m_records = 0;
    std::optional<QDateTime> m_lastChange;
    Report m_report;

    // What the summary needs of each row, read from its texts once after a
    // fill and then only for the rows a tick changed; scan() works the
    // summary out of these.
    struct RowTimes {
        bool detail = false;
        bool running = false;                 // by the overlays' rule
        std::optional<qint32> ghostEnd;       // running: when it turns late
        qint32 plannedStart = -1;             // -1: empty
        qint32 plannedFinish = -1;
        qint32 actualStart = -1;
        qint32 actualFinish = -1;
    };
    void readRowTimes(int row);
    std::vector<RowTimes> m_times;            // by grid row
    bool m_timesWhole = false;                // m_times stands for the rows
    std::vector<std::optional<qint32>> m_running;   // ghost ends of the running operations
    QByteArray m_timeline;
    bool m_rowsMoved = true;
    qint64 m_scannedMs = 0;
};

} // namespace vorn::serve
