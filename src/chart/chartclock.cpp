#include "chartclock.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTime>

#include <cmath>

namespace vorn::chart {

namespace {

qint64 wrapDay(qint64 ms)
{
    const qint64 wrapped = ms % ChartClock::DayMs;
    return wrapped < 0 ? wrapped + ChartClock::DayMs : wrapped;
}

// One steady reference for the whole process, so that every local clock
// agrees with every other.
qint64 processSteadyMs()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}

} // namespace

std::optional<qint64> ChartClock::parseTimeOfDay(QStringView text)
{
    const QList<QStringView> parts = text.split(u':');
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    qint64 value = 0;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const int n = parts[i].toInt(&ok);
        const int limit = i == 0 ? 23 : 59;
        if (!ok || n < 0 || n > limit || parts[i].isEmpty() || parts[i].size() > 2)
            return std::nullopt;
        value = value * 60 + n;
    }
    if (parts.size() == 2)
        value *= 60;
    return value * 1000;
}

ChartClock ChartClock::frozen(qint64 timeOfDayMs)
{
    ChartClock clock;
    clock.m_kind = Kind::Frozen;
    clock.m_startMs = timeOfDayMs;
    return clock;
}

ChartClock ChartClock::simulated(qint64 startMs, double speed, qint64 anchorEpochMs)
{
    ChartClock clock;
    clock.m_kind = Kind::Simulated;
    clock.m_startMs = startMs;
    clock.m_speed = speed;
    clock.m_anchorEpochMs = anchorEpochMs;
    return clock;
}

std::optional<ChartClock> ChartClock::parse(QStringView text, qint64 defaultAnchorEpochMs)
{
    const QList<QStringView> parts = text.split(u',');
    if (parts.size() > 3)
        return std::nullopt;
    const std::optional<qint64> start = parseTimeOfDay(parts[0].trimmed());
    if (!start)
        return std::nullopt;
    double speed = 1;
    if (parts.size() > 1) {
        bool ok = false;
        speed = parts[1].trimmed().toDouble(&ok);
        if (!ok || !(speed > 0) || !std::isfinite(speed))
            return std::nullopt;
    }
    qint64 anchor = defaultAnchorEpochMs;
    if (parts.size() > 2) {
        bool ok = false;
        anchor = parts[2].trimmed().toLongLong(&ok);
        if (!ok)
            return std::nullopt;
    }
    return simulated(*start, speed, anchor);
}

qint64 ChartClock::continuousMs() const
{
    switch (m_kind) {
    case Kind::Frozen:
        return m_startMs;
    case Kind::Simulated:
        return m_startMs
            + qint64(std::llround(double(QDateTime::currentMSecsSinceEpoch() - m_anchorEpochMs)
                                  * m_speed));
    case Kind::Local:
        break;
    }
    return QTime::currentTime().msecsSinceStartOfDay();
}

qint64 ChartClock::timeOfDayMs() const
{
    return wrapDay(continuousMs());
}

qint64 ChartClock::steadyMs() const
{
    if (m_kind == Kind::Frozen)
        return m_startMs;
    // Real time, whatever the speed: fades and waits are for a person.
    return processSteadyMs();
}

void ChartClock::advance(qint64 ms)
{
    if (m_kind == Kind::Frozen)
        m_startMs += ms;
}

QString ClockText(qint64 timeOfDayMs)
{
    return QTime::fromMSecsSinceStartOfDay(int(wrapDay(timeOfDayMs)))
        .toString(QStringLiteral("HH:mm:ss"));
}

} // namespace vorn::chart
