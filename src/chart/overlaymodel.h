#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <vector>

namespace vorn::chart {

class GridData;

// What the live overlays read from the grid, without any painting: which
// operations are running and how late, a group's totals, the tooltip texts,
// which rows flash after a change. Everything works from the cell texts the
// fill and the refresh leave (columns 1 to 7, outline levels) and a time of
// day in seconds.

// A detail row with an actual start and no actual finish. The ghost is the
// planned duration laid from the actual start; without a planned duration
// there is no ghost and the operation is never late.
struct RunningOperation {
    qint32 actualStart = 0;
    std::optional<qint32> ghostEnd;
    qint32 lateSeconds = 0; // now past the ghost's end, 0 when not late
};
std::optional<RunningOperation> RunningAt(const GridData &grid, int row, qint32 nowSeconds);

// "+mm:ss" below an hour, "+h:mm:ss" from an hour on.
QString LateText(qint32 seconds);

// The detail rows of the group whose row is groupRow: up to the next group row.
struct GroupTotals {
    int operations = 0;
    int finished = 0;
    int running = 0;
    int late = 0;
};
GroupTotals GroupTotalsAt(const GridData &grid, int groupRow, qint32 nowSeconds);
// The late operations alone (what the group row shows).
int LateCountAt(const GridData &grid, int groupRow, qint32 nowSeconds);

// What the grid does not hold about a record: found by the caller (from the
// table) when a tooltip asks for it.
struct RecordDetails {
    QString process;
};
using RecordDetailsLookup = std::function<std::optional<RecordDetails>(qint32 record)>;

// The tooltip of a data row as rich text in the current language: a detail
// row's fields and times (with the lateness of a running operation), a group
// row's totals. Empty for header rows and rows out of range. sortOrder tells
// which key the group rows carry (1 machine, 0 part).
QString TooltipText(const GridData &grid, int row, qint16 sortOrder, qint32 nowSeconds,
                    const RecordDetailsLookup &details);

// A row whose planned start or finish a tick changed, with the texts it had.
struct PlannedChange {
    int row = 0;
    QString oldStart;
    QString oldFinish;
};

// Rows that flash after a change and fade out. A person can follow only a
// few changes at once, so a row flashes at most once per cool-down and at
// most `MaxFlashes` rows flash together; further changes are still shown by
// the times themselves.
class ChangeFlashes {
public:
    static constexpr qint64 FadeMs = 2000;
    static constexpr qint64 CoolDownMs = 10000;
    static constexpr int MaxFlashes = 8;

    struct Flash {
        int row = 0;
        qint64 startMs = 0;
        QString oldStart;
        QString oldFinish;
    };

    // Starts the flashes of one tick's changes at steady time nowMs.
    void noteChanges(const std::vector<PlannedChange> &changes, qint64 nowMs);
    // A refill: rows are new, nothing of the old rows flashes.
    void clear();
    // Drops the flashes that have faded by nowMs; true while any remains.
    bool expire(qint64 nowMs);
    // 1 when the flash starts, falling to 0 at FadeMs; 0 without a flash.
    double strength(int row, qint64 nowMs) const;
    const Flash *find(int row) const;
    const std::vector<Flash> &flashes() const { return m_flashes; }

private:
    std::vector<Flash> m_flashes;
    // Row and start of each flash of the last cool-down, for the limit.
    std::vector<std::pair<int, qint64>> m_recent;
};

// Why the chart may not show the present: the live table could not be read
// on the last tick, or has not changed for a while, or the manager stopped
// the updates.
class StaleWatch {
public:
    enum class Problem { None, Unreadable, Unchanged, Stopped };

    // One tick's outcome: whether the live table was read, and whether any
    // time text changed. steadyMs for durations, timeOfDayMs for "since".
    void noteTick(bool readable, bool changed, qint64 steadyMs, qint64 timeOfDayMs);
    // A fill (start, refill, mode change) shows fresh data.
    void noteRefill(qint64 steadyMs);

    // What the banner shows; unchangedMinutes 0 never warns of an
    // unchanged table. Only online does anything count.
    Problem problem(bool online, bool stopped, qint64 steadyMs, int unchangedMinutes) const;
    bool unreadable() const { return m_unreadableSinceMs.has_value(); }
    // The banner's text for problem(), in the current language; empty for None.
    QString text(bool online, bool stopped, qint64 steadyMs, int unchangedMinutes) const;

private:
    std::optional<qint64> m_unreadableSinceMs; // time of day
    qint64 m_lastChangeMs = 0;                 // steady
};

} // namespace vorn::chart
