#pragma once

#include <QRect>
#include <QStringView>
#include <QtGlobal>

#include <optional>

namespace vorn::chart {

// Bar geometry of one time-scale cell, free of any painting. Every position
// is in device pixels; a column's time span and the bar ends are quantised to
// whole percent of the column, as the chart has always shown them.
// Nothing here allocates: the cell texts are read as views.

// Characters 1-2, 4-5 and 7-8 of an "hh:mm:ss" text; shorter or empty when
// the text is shorter.
QStringView HourPart(QStringView t);
QStringView MinutePart(QStringView t);
QStringView SecondPart(QStringView t);

// A piece of a time text or a header label read as a number: leading blanks,
// an optional sign and the digits that follow; 0 when there are none
// ("ab" and "" give 0, "1:" gives 1, "-0" gives 0). Clamped to 16 bits.
qint16 PartValue(QStringView piece);

// hh * 3600 + mm * 60 + ss of a time text; an empty text is 0 seconds.
qint32 TextSeconds(QStringView t);

// The interval in minutes from IntervalText; nothing when the text is not a
// positive number (then no bar is drawn, instead of dividing by zero).
std::optional<double> IntervalMinutes(QStringView intervalText);

// nearest(): to the nearest whole number, a half to the even neighbour.
double Nearest(double x);

// Left edge of a bar in a cell whose left edge is base; mm/hh/ss from the
// start text, M/H the column's header minute and hour, W the cell width,
// interval the column span in minutes (> 0).
int BarStartX(qint32 base, qint16 mm, qint16 hh, qint16 ss, qint16 M, qint16 H, qint16 W,
              double interval);
// Right edge (exclusive) of a bar in a cell whose right edge is base;
// mm/hh/ss from the finish text.
int BarEndX(qint32 base, qint16 mm, qint16 hh, qint16 ss, qint16 M, qint16 H, qint16 W,
            double interval);

// Row bands of the two bars in a cell from top to bottom (exclusive):
// planned in the upper half, actual in the lower half.
struct BarBands {
    int plannedTop = 0;
    int plannedBottom = 0;
    int actualTop = 0;
    int actualBottom = 0;
};
BarBands BarRows(int top, int bottom);

// The texts one bar is drawn from.
struct BarTexts {
    QStringView start;
    QStringView finish;
    QStringView duration;
};

// The horizontal extent [x1, x2) of one bar in the cell [left, right) of the
// column labelled hourLabel/minuteLabel, or nothing when the bar does not
// touch the column, starts at 24 hours or later (behind the last column) or
// its duration is "" or "00:00:00". x1 >= x2 is possible
// (the bar touches the column at a single instant) and paints nothing.
struct BarSpan {
    int x1 = 0;
    int x2 = 0;
};
std::optional<BarSpan> BarInCell(const BarTexts &bar, QStringView hourLabel,
                                 QStringView minuteLabel, double interval, int left, int right);

// Both bars of a cell as rectangles clipped to the cell; empty rectangles
// when a bar is not drawn.
struct CellBars {
    QRect planned;
    QRect actual;
};
CellBars ComputeCellBars(const BarTexts &planned, const BarTexts &actual, QStringView hourLabel,
                         QStringView minuteLabel, double interval, int left, int top, int right,
                         int bottom);

} // namespace vorn::chart
