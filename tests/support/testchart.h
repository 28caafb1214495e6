#pragma once

// A chart grid as the pixel tests see it: 96 DPI (400-twip columns 26 pixels
// wide, rows 20 high), no scroll bars and no frame so that the viewport is the
// whole widget whatever the style, shown off screen, after the intervals of
// `intervals` ("5>10": 5, then 10).

#include "appstate.h"
#include "ganttgrid.h"
#include "griddata.h"
#include "gridlayout.h"

#include <QImage>
#include <QPaintEvent>

#include <algorithm>
#include <functional>
#include <memory>

namespace vorn::test {

// The viewport at `scale` device pixels a pixel, on magenta so that anything
// left unpainted shows.
inline QImage renderViewport(const chart::GanttGrid &grid, qreal scale = 1)
{
    QImage image(grid.viewport()->size() * scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::magenta);
    grid.viewport()->render(&image);
    return image;
}

struct TestChart {
    AppState state;
    std::unique_ptr<chart::GanttGrid> grid = std::make_unique<chart::GanttGrid>();

    // `first` runs on the grid before anything else, such as what must precede its showing.
    TestChart(QSize size, const QString &intervals, const std::function<void(chart::GanttGrid &)> &first = {})
    {
        if (first)
            first(*grid);
        grid->setLogicalDpi(96);
        grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        grid->setFrameShape(QFrame::NoFrame);
        grid->resize(size);
        grid->setAttribute(Qt::WA_DontShowOnScreen);
        grid->show();
        grid->setAppState(&state);
        chart::SetUpGrid(grid->data());
        for (const QString &interval : intervals.split(u'>'))
            chart::SetTimeScaleInterval(grid->data(), state, interval, nullptr);
    }

    QImage render(qreal scale = 1) const { return renderViewport(*grid, scale); }
};

// Rows as the fill leaves them, after those of `grid` (at least the
// two header rows of eight columns), one per entry: "G:key" a group row,
// "D:label|ps|pf|pd|as|af|ad" a detail row with its six time texts.
inline void layOut(chart::GridData &grid, const QStringList &rows)
{
    grid.setCols(std::max(grid.cols(), 8));
    grid.setRows(std::max(grid.rows(), 2));
    for (const QString &entry : rows) {
        const int row = grid.rows();
        grid.setRows(row + 1);
        const QStringList fields = entry.mid(2).split(u'|');
        grid.setIsNode(row, true);
        grid.setRowOutlineLevel(row, entry.startsWith(u'G') ? 0 : 1);
        grid.setRowData(row, row - 1);
        for (int i = 0; i < fields.size(); ++i)
            grid.setText(row, 1 + i, fields[i]);
    }
}

// Whether any pixel of `area` has exactly this colour.
inline bool anyPixel(const QImage &image, const QRect &area, QRgb color)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) == color)
                return true;
        }
    }
    return false;
}

// The rectangles a widget is asked to paint, from the moment it is made.
class PaintLog : public QObject {
public:
    explicit PaintLog(QWidget *widget) { widget->installEventFilter(this); }
    QList<QRect> rects;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            for (const QRect &rect : static_cast<QPaintEvent *>(event)->region())
                rects << rect;
        }
        return false;
    }
};

} // namespace vorn::test
