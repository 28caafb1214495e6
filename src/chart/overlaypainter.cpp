#include "overlaypainter.h"

#include "chartclock.h"
#include "ganttbars.h"
#include "gridcolumns.h"
#include "griddata.h"
#include "overlaymodel.h"
#include "texts.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace vorn::chart {

namespace {

constexpr int TextLateCount = 306;

QColor withAlpha(unsigned rgb, int alpha)
{
    QColor color = QColor::fromRgb(rgb);
    color.setAlpha(std::clamp(alpha, 0, 255));
    return color;
}

// Light red with red diagonal lines, as one tile: a running bar is filled in
// one pass instead of a fill and a pattern over it.
const QBrush &runningBrush()
{
    static const QBrush brush = [] {
        QImage tile(8, 8, QImage::Format_RGB32);
        tile.fill(QColor::fromRgb(RunningFillRgb));
        for (int i = 0; i < 8; ++i)
            tile.setPixel(7 - i, i, 0xFFFF0000u);
        return QBrush(tile);
    }();
    return brush;
}

QFont smallBold(const QFont &base)
{
    QFont font = base;
    font.setBold(true);
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 0.85);
    else
        font.setPixelSize(std::max(8, font.pixelSize() * 85 / 100));
    return font;
}

} // namespace

OverlayPainter::OverlayPainter(const ChartClock &clock) : m_clock(clock) {}

void OverlayPainter::paintUnder(QPainter &painter, const GridData &, const PaneView &pane)
{
    if (!m_enabled || pane.headerRows || !m_flashes || m_flashes->flashes().empty())
        return;
    const qint64 steady = m_clock.steadyMs();
    const int x1 = pane.left(pane.firstCol);
    const int x2 = pane.right(pane.lastCol);
    for (size_t i = 0; i < pane.rows.size(); ++i) {
        const double strength = m_flashes->strength(pane.rows[i], steady);
        if (strength > 0)
            painter.fillRect(QRect(x1, pane.rowTop(i), x2 - x1, pane.rowHeight),
                             withAlpha(FlashRgb, int(std::lround(150 * strength))));
    }
}

void OverlayPainter::paintOver(QPainter &painter, const GridData &grid, const PaneView &pane)
{
    if (!m_enabled || pane.headerRows)
        return;
    if (pane.timeScale) {
        if (grid.timeScale().isValid())
            paintTimeScale(painter, grid, pane);
    } else {
        paintLateCounts(painter, grid, pane);
    }
    if (m_tableMissing) {
        // The last good picture stays readable under the hatching.
        painter.fillRect(pane.clip, QColor(128, 128, 128, 40));
        painter.fillRect(pane.clip, QBrush(QColor(90, 90, 90, 170), Qt::BDiagPattern));
    }
}

void OverlayPainter::paintTimeScale(QPainter &painter, const GridData &grid, const PaneView &pane)
{
    const qint64 nowMs = m_clock.timeOfDayMs();
    const double now = double(nowMs) / 1000;
    const qint32 nowSeconds = qint32(nowMs / 1000);
    const qint64 steady = m_clock.steadyMs();
    const TimeScale &scale = grid.timeScale();
    const auto xOf = [&](double seconds) { return scale.xOf(pane, seconds); };
    const int paneRight = pane.right(pane.lastCol);
    const int nowX = xOf(now);
    const QFont lateFont = smallBold(painter.font());
    const QFontMetrics lateMetrics(lateFont);
    bool fontSet = false;
    int reach = 0;

    for (size_t i = 0; i < pane.rows.size(); ++i) {
        const int row = pane.rows[i];
        const int top = pane.rowTop(i);
        const BarBands bands = BarRows(top, top + pane.rowHeight);

        if (m_flashes) {
            const double strength = m_flashes->strength(row, steady);
            const ChangeFlashes::Flash *flash = strength > 0 ? m_flashes->find(row) : nullptr;
            if (flash && !flash->oldStart.isEmpty() && !flash->oldFinish.isEmpty()) {
                const int x1 = xOf(TextSeconds(flash->oldStart));
                const int x2 = xOf(TextSeconds(flash->oldFinish));
                if (x2 > x1) {
                    const QRect ghost(x1, bands.plannedTop, x2 - x1,
                                      bands.plannedBottom - bands.plannedTop);
                    painter.fillRect(ghost, withAlpha(0x0000FFu, int(std::lround(70 * strength))));
                }
            }
        }

        const std::optional<RunningOperation> running = RunningAt(grid, row, nowSeconds);
        if (!running || now <= running->actualStart)
            continue;
        const int startX = xOf(running->actualStart);
        if (startX > paneRight)
            continue;
        const int bandTop = bands.actualTop;
        const int bandHeight = std::max(1, bands.actualBottom - bands.actualTop);
        const QRect bar(startX, bandTop, std::max(0, nowX - startX), bandHeight);
        // Hatched, so a running bar never reads as a finished one.
        painter.fillRect(bar, runningBrush());
        if (!running->ghostEnd)
            continue;
        const int ghostX = xOf(*running->ghostEnd);
        if (running->lateSeconds > 0 && nowX > ghostX)
            painter.fillRect(QRect(ghostX, bandTop, nowX - ghostX, bandHeight),
                             QColor::fromRgb(OverrunRgb));
        if (ghostX > startX) {
            // Four thin fills rather than a stroked rectangle: on a long bar
            // the stroke costs many times more.
            const QColor line = QColor::fromRgb(GhostLineRgb);
            const int width = ghostX - startX;
            painter.fillRect(QRect(startX, bandTop, width, 1), line);
            painter.fillRect(QRect(startX, bandTop + bandHeight - 1, width, 1), line);
            painter.fillRect(QRect(startX, bandTop, 1, bandHeight), line);
            painter.fillRect(QRect(ghostX - 1, bandTop, 1, bandHeight), line);
        }
        if (running->lateSeconds > 0) {
            if (!fontSet) {
                painter.setFont(lateFont);
                fontSet = true;
            }
            const QString text = LateText(running->lateSeconds);
            const int width = lateMetrics.horizontalAdvance(text);
            painter.setPen(QColor::fromRgb(LateTextRgb));
            // At a baseline rather than in a box: no text layout per row.
            painter.drawText(QPoint(nowX + 4, top + (pane.rowHeight + lateMetrics.ascent()
                                                     - lateMetrics.descent()) / 2),
                             text);
            reach = std::max(reach, 4 + width + 2);
        }
    }
    m_reach = reach;

    painter.fillRect(QRect(nowX - 1, pane.clip.top(), 2, pane.clip.height()),
                     QColor::fromRgb(NowLineRgb));
}

void OverlayPainter::paintLateCounts(QPainter &painter, const GridData &grid, const PaneView &pane)
{
    if (KeyCol < pane.firstCol || KeyCol > pane.lastCol || pane.right(KeyCol) <= pane.left(KeyCol))
        return;
    const qint32 nowSeconds = qint32(m_clock.timeOfDayMs() / 1000);
    const QFont font = smallBold(painter.font());
    const QFontMetrics metrics(font);
    bool fontSet = false;
    for (size_t i = 0; i < pane.rows.size(); ++i) {
        const int row = pane.rows[i];
        if (grid.rowOutlineLevel(row) > 0)
            continue;
        const int late = LateCountAt(grid, row, nowSeconds);
        if (late == 0)
            continue;
        if (!fontSet) {
            painter.setFont(font);
            painter.setRenderHint(QPainter::Antialiasing, true);
            fontSet = true;
        }
        const QString text = GetText(TextLateCount).arg(late);
        const int width = metrics.horizontalAdvance(text) + 8;
        const int height = std::min(pane.rowHeight - 4, metrics.height() + 2);
        const QRect badge(pane.right(KeyCol) - width - 3,
                          pane.rowTop(i) + (pane.rowHeight - height) / 2, width, height);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromRgb(OverrunRgb));
        painter.drawRoundedRect(badge, 3, 3);
        painter.setPen(Qt::white);
        painter.drawText(badge, Qt::AlignCenter, text);
    }
}

std::optional<qint32> OverlayPainter::nowSeconds() const
{
    if (!m_enabled)
        return std::nullopt;
    return qint32(m_clock.timeOfDayMs() / 1000);
}

} // namespace vorn::chart
