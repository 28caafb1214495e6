#include "griddata.h"
#include "gridgeometry.h"
#include "gridlayout.h"
#include "panepainter.h"

#include <QImage>
#include <QPainter>
#include <QTest>

using namespace vorn::chart;

namespace {

// The chart's own grid at 96 DPI (time columns 26 wide, rows 20 high) with `bodyRows` rows,
// every pane of a 1000x400 view painted onto white as the grid paints them.
struct View {
    GridData data;
    GridGeometry geometry{data};

    explicit View(int bodyRows = 0)
    {
        SetUpGrid(data);
        for (int i = 0; i < bodyRows; ++i)
            data.addItem(u"\tM1");
        geometry.relayout(96);
    }

    QImage paint(PaneStyle style, qreal dpr = 1) const
    {
        style.dpr = dpr;
        QImage image(QSize(1000, 400) * dpr, QImage::Format_RGB32);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::white);
        QPainter painter(&image);
        std::vector<int> rows;
        for (const PaneView &pane : geometry.panes(QRect(0, 0, 1000, 400), 0, data.fixedCols(), -1, rows)) {
            painter.setClipRect(pane.clip);
            PanePainter(painter, data, pane).paint(style);
        }
        return image;
    }
};

} // namespace

class TestPanePainter : public QObject {
    Q_OBJECT

private slots:
    // Only body rows in the scrolling columns, each once, in device pixels.
    void callsBackOnTheShownTimeScaleCellsOnly()
    {
        const qreal dpr = 2;
        const View view(30);
        QStringList calls;
        PaneStyle style;
        style.drawCell = [&](QPainter &, int row, int col, int left, int top, int right, int bottom) {
            calls << QStringLiteral("%1 %2: %3 %4 %5 %6").arg(row).arg(col).arg(left).arg(top).arg(right).arg(bottom);
        };
        view.paint(style, dpr);
        const int fixedWidth = view.geometry.fixedWidth();
        const int columns = (1000 - fixedWidth + 25) / 26;
        QCOMPARE(calls.size(), 18 * columns); // 18 of 30 body rows below the header fit
        QCOMPARE(calls.front(), QStringLiteral("2 8: %1 80 %2 120").arg(2 * fixedWidth).arg(2 * fixedWidth + 52));
        QCOMPARE(calls.back(), QStringLiteral("19 %1: %2 760 %3 800").arg(8 + columns - 1)
                                   .arg(2 * (fixedWidth + 26 * (columns - 1))).arg(2 * (fixedWidth + 26 * columns)));
    }
};

QTEST_MAIN(TestPanePainter)
#include "tst_panepainter.moc"
