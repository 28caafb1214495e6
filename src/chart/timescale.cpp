#include "timescale.h"

#include "gridoverlay.h"

#include <algorithm>
#include <cmath>

namespace vorn::chart {

TimeScale::TimeScale(int intervalMinutes, int firstColumn, int columns) : m_first(firstColumn)
{
    if (intervalMinutes <= 0 || columns <= 0)
        return;
    m_minutes = intervalMinutes;
    m_columns = columns;
}

TimeScale TimeScale::ofInterval(QStringView intervalText, int firstColumn)
{
    const std::optional<double> minutes = IntervalMinutes(intervalText);
    if (!minutes)
        return TimeScale(0, firstColumn, 0);
    // The labels and the column count work in whole minutes; an interval of
    // two hours or more leaves no column in an hour.
    const double whole = Nearest(*minutes);
    const double perHour = whole > 0 ? Nearest(60 / whole) : 0;
    if (perHour <= 0)
        return TimeScale(0, firstColumn, 0);
    return TimeScale(int(whole), firstColumn, int(perHour) * 24);
}

int TimeScale::columnOf(double seconds) const
{
    if (!isValid())
        return m_first;
    const double k = std::floor(seconds / spanSeconds());
    return m_first + int(std::clamp(k, 0.0, double(m_columns - 1)));
}

qint32 TimeScale::secondsOf(int column) const
{
    return qint32(column - m_first) * spanSeconds();
}

int TimeScale::xOf(const PaneView &pane, double seconds) const
{
    if (seconds <= 0 || !isValid())
        return pane.left(m_first);
    const double span = spanSeconds();
    const double k = std::floor(seconds / span);
    if (k >= m_columns)
        return pane.right(endColumn() - 1);
    const int col = m_first + int(k);
    return pane.left(col) + int(OffsetInCell(seconds - k * span, span, pane.right(col) - pane.left(col)));
}

} // namespace vorn::chart
