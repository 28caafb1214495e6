#include "ganttbars.h"

#include "timescale.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vorn::chart {

namespace {

QStringView piece(QStringView t, qsizetype from, qsizetype length)
{
    if (from >= t.size())
        return {};
    return t.mid(from, std::min(length, t.size() - from));
}

bool isBlankOrEmpty(QStringView duration)
{
    return duration.isEmpty() || duration == u"00:00:00";
}

qint16 toInt16(double x)
{
    return qint16(std::clamp(x, double(std::numeric_limits<qint16>::min()),
                             double(std::numeric_limits<qint16>::max())));
}

} // namespace

QStringView HourPart(QStringView t)
{
    return piece(t, 0, 2);
}

QStringView MinutePart(QStringView t)
{
    return piece(t, 3, 2);
}

QStringView SecondPart(QStringView t)
{
    return piece(t, 6, 2);
}

qint16 PartValue(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    qint32 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            break;
        value = std::min(value * 10 + (c - u'0'), qint32(std::numeric_limits<qint16>::max()) + 1);
    }
    if (negative)
        value = -value;
    return qint16(std::clamp(value, qint32(std::numeric_limits<qint16>::min()),
                             qint32(std::numeric_limits<qint16>::max())));
}

qint32 TextSeconds(QStringView t)
{
    return qint32(PartValue(HourPart(t))) * 3600 + qint32(PartValue(MinutePart(t))) * 60
        + PartValue(SecondPart(t));
}

std::optional<double> IntervalMinutes(QStringView intervalText)
{
    // Read by hand: the painter asks for every cell, and the locale-aware
    // number parsers allocate.
    const QStringView t = intervalText.trimmed();
    double value = 0;
    double scale = 0; // > 0 once past the decimal point
    bool digits = false;
    for (const QChar ch : t) {
        const char16_t c = ch.unicode();
        if (c >= u'0' && c <= u'9') {
            digits = true;
            if (scale > 0) {
                scale /= 10;
                value += (c - u'0') * scale;
            } else {
                value = value * 10 + (c - u'0');
            }
        } else if (c == u'.' && scale == 0) {
            scale = 1;
        } else {
            return std::nullopt;
        }
    }
    // The bars work in seconds: an interval whose seconds overflow a double
    // would turn a bar's end into NaN.
    if (!digits || !(value > 0) || !std::isfinite(value * 60))
        return std::nullopt;
    return value;
}

double Nearest(double x)
{
    // std::nearbyint follows the current rounding mode, which Qt and the C
    // runtime leave at round-half-to-even.
    return std::nearbyint(x);
}

int BarStartX(qint32 base, qint16 mm, qint16 hh, qint16 ss, qint16 M, qint16 H, qint16 W,
              double interval)
{
    const double span = Nearest(interval * 60);
    const int d = (mm * 60 + ss) - M * 60;
    if (hh < H || d <= 0 || span <= 0)
        return base;
    return base + toInt16(TimeScale::OffsetInCell(d, span, W));
}

int BarEndX(qint32 base, qint16 mm, qint16 hh, qint16 ss, qint16 M, qint16 H, qint16 W,
            double interval)
{
    const double span = Nearest(interval * 60);
    const double d = Nearest((interval + M) * 60) - (mm * 60 + ss);
    if (H < hh || d <= 0 || span <= 0)
        return base;
    return base - toInt16(TimeScale::OffsetInCell(d, span, W));
}

BarBands BarRows(int top, int bottom)
{
    const double half = (bottom - top) / 2.0;
    BarBands b;
    b.plannedTop = top + 3;
    b.plannedBottom = int(Nearest(half + b.plannedTop - 3));
    b.actualTop = b.plannedBottom + 1;
    b.actualBottom = int(Nearest(half + b.actualTop - 3));
    return b;
}

std::optional<BarSpan> BarInCell(const BarTexts &bar, QStringView hourLabel,
                                 QStringView minuteLabel, double interval, int left, int right)
{
    if (isBlankOrEmpty(bar.duration) || !(interval > 0))
        return std::nullopt;
    const qint16 H = PartValue(hourLabel);
    const qint16 M = PartValue(minuteLabel);
    const double C = H * 3600.0 + M * 60.0;
    const double E = C + interval * 60;
    // An empty start or finish stands for "0": every piece of it reads 0.
    const qint32 s = TextSeconds(bar.start);
    const qint32 f = TextSeconds(bar.finish);
    // A start of 24 hours or more lies behind the last column, even where
    // that column's end touches it (24:00:00 exactly).
    if (!(E >= s && f >= C) || s >= 24 * 3600)
        return std::nullopt;
    const qint16 W = toInt16(right - left);
    BarSpan span;
    span.x1 = BarStartX(left, PartValue(MinutePart(bar.start)), PartValue(HourPart(bar.start)),
                        PartValue(SecondPart(bar.start)), M, H, W, interval);
    span.x2 = BarEndX(right, PartValue(MinutePart(bar.finish)), PartValue(HourPart(bar.finish)),
                      PartValue(SecondPart(bar.finish)), M, H, W, interval);
    return span;
}

CellBars ComputeCellBars(const BarTexts &planned, const BarTexts &actual, QStringView hourLabel,
                         QStringView minuteLabel, double interval, int left, int top, int right,
                         int bottom)
{
    CellBars bars;
    const BarBands bands = BarRows(top, bottom);
    const QRect cell(QPoint(left, top), QPoint(right - 1, bottom - 1));
    auto toRect = [&](const std::optional<BarSpan> &span, int y1, int y2) {
        if (!span || span->x1 >= span->x2 || y1 >= y2)
            return QRect();
        // Bad texts can put an edge outside the cell; the neighbours and the
        // header are never painted over.
        return QRect(QPoint(span->x1, y1), QPoint(span->x2 - 1, y2 - 1)).intersected(cell);
    };
    bars.planned = toRect(BarInCell(planned, hourLabel, minuteLabel, interval, left, right),
                          bands.plannedTop, bands.plannedBottom);
    bars.actual = toRect(BarInCell(actual, hourLabel, minuteLabel, interval, left, right),
                         bands.actualTop, bands.actualBottom);
    return bars;
}

} // namespace vorn::chart
