#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <optional>

namespace vorn::chart {

// The clock the live overlays read: the time of day for the now line and
// lateness, and a steady count of milliseconds for fades and durations.
//
// By default it is the local time of day. A frozen clock stands where it is
// put (the headless renderer's --now, tests); a simulated one runs from a
// given time of day at a given speed from an instant of the wall clock, so
// that a simulated cell and the viewer that follows it agree on the time
// when both are handed the same description.
class ChartClock {
public:
    static constexpr qint64 DayMs = 24 * 3600 * 1000;

    ChartClock() = default;
    static ChartClock frozen(qint64 timeOfDayMs);
    static ChartClock simulated(qint64 startMs, double speed, qint64 anchorEpochMs);

    // "hh:mm[:ss][,speed[,anchor]]": the time of day at the anchor (whole
    // milliseconds since 1970 UTC, default `defaultAnchorEpochMs`) and the
    // speed (simulated seconds per real second, default 1). Nothing for
    // anything else.
    static std::optional<ChartClock> parse(QStringView text, qint64 defaultAnchorEpochMs);

    // "hh:mm" or "hh:mm:ss" (hours 0 to 23) in milliseconds.
    static std::optional<qint64> parseTimeOfDay(QStringView text);

    // Milliseconds of the time of day, 0 to DayMs - 1.
    qint64 timeOfDayMs() const;
    // Simulated or frozen: milliseconds from the midnight before the start,
    // not wrapped at the end of the day. Local: the time of day.
    qint64 continuousMs() const;
    // Steady real milliseconds from an arbitrary start, whatever the speed;
    // they never run backwards (a frozen clock moves only when advanced).
    qint64 steadyMs() const;
    double speed() const { return m_speed; }
    bool isFrozen() const { return m_kind == Kind::Frozen; }

    // Moves a frozen clock on (tests); other clocks ignore it.
    void advance(qint64 ms);

private:
    enum class Kind { Local, Frozen, Simulated };
    Kind m_kind = Kind::Local;
    qint64 m_startMs = 0;
    qint64 m_anchorEpochMs = 0;
    double m_speed = 1;
};

// "hh:mm:ss" of a time of day in milliseconds (wrapped into the day).
QString ClockText(qint64 timeOfDayMs);

} // namespace vorn::chart
