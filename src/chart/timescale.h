#pragma once

#include "ganttbars.h"

#include <QStringView>
#include <QtGlobal>

namespace vorn::chart {

struct PaneView;

// The time scale behind the leading columns: column firstColumn() + k stands
// for the seconds from k * span up to (k + 1) * span of the day, span being
// the interval in seconds. Built when the interval changes and kept by the
// grid; whatever turns a time into a column or an x, or back, asks it.
class TimeScale {
public:
    // No scale: no interval chosen yet, or one without a column.
    TimeScale() = default;
    // intervalMinutes > 0 and columns > 0, else no scale (that still knows
    // where it would start).
    TimeScale(int intervalMinutes, int firstColumn, int columns);
    // The scale of an interval text: its whole number of minutes I and
    // nearest(60 / I) columns an hour over 24 hours; no scale when the text
    // is not a positive number or leaves no column in an hour.
    static TimeScale ofInterval(QStringView intervalText, int firstColumn);

    bool isValid() const { return m_columns > 0; }
    int intervalMinutes() const { return m_minutes; }
    int spanSeconds() const { return m_minutes * 60; }
    int firstColumn() const { return m_first; }
    // One past the last column; firstColumn() when there is no scale.
    int endColumn() const { return m_first + m_columns; }

    // The column whose span holds the time, clamped to the scale's columns.
    int columnOf(double seconds) const;
    // Where a column's span starts.
    qint32 secondsOf(int column) const;
    // The x of a time in a pane showing the scale's columns, placed in its
    // column to whole percent as the bars place their ends; the ends of the
    // scale for times before or behind it.
    int xOf(const PaneView &pane, double seconds) const;

    // How far into a cell `width` pixels wide a time lies that is `seconds`
    // into the cell's span: whole percent of the span, then whole pixels.
    static double OffsetInCell(double seconds, double spanSeconds, int width);

    friend bool operator==(const TimeScale &, const TimeScale &) = default;

private:
    int m_minutes = 0;
    int m_first = 0;
    int m_columns = 0;
};

// Inline: the bars ask it for both ends of every bar in every painted cell.
inline double TimeScale::OffsetInCell(double seconds, double spanSeconds, int width)
{
    return Nearest(width / 100.0 * Nearest(seconds / spanSeconds * 100));
}

} // namespace vorn::chart
