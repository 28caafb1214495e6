#include "griddata.h"
#include "gridgeometry.h"
#include "gridlayout.h"
#include "panepainter.h"

#include <QImage>
#include <QPainter>
#include <QTest>

using namespace vorn::chart;

class TestPanePainter : public QObject {
    Q_OBJECT

private slots:
    // Only body rows in the scrolling columns, each once, in device pixels: the chart's own grid
    // at 96 DPI (time columns 26 wide, rows 20 high) with 30 body rows, every pane of a 1000x400
    // view painted at twice the pixel ratio as the grid paints them.
    void callsBackOnTheShownTimeScaleCellsOnly()
    {
        GridData data;
        SetUpGrid(data);
        for (int i = 0; i < 30; ++i)
            data.addItem(u"\tM1");
        GridGeometry geometry{data};
        geometry.relayout(96);
        QStringList calls;
        PaneStyle style;
        style.dpr = 2;
        style.drawCell = [&](QPainter &, int row, int col, int left, int top, int right, int bottom) {
            calls << QStringLiteral("%1 %2: %3 %4 %5 %6").arg(row).arg(col).arg(left).arg(top).arg(right).arg(bottom);
        };
        QImage image(QSize(2000, 800), QImage::Format_RGB32);
        image.setDevicePixelRatio(2);
        QPainter painter(&image);
        std::vector<int> rows;
        for (const PaneView &pane : geometry.panes(QRect(0, 0, 1000, 400), 0, data.fixedCols(), -1, rows)) {
            painter.setClipRect(pane.clip);
            PanePainter(painter, data, pane).paint(style);
        }
        const int fixedWidth = geometry.fixedWidth();
        const int columns = (1000 - fixedWidth + 25) / 26;
        QCOMPARE(calls.size(), 18 * columns); // 18 of 30 body rows below the header fit
        QCOMPARE(calls.front(), QStringLiteral("2 8: %1 80 %2 120").arg(2 * fixedWidth).arg(2 * fixedWidth + 52));
        QCOMPARE(calls.back(), QStringLiteral("19 %1: %2 760 %3 800").arg(8 + columns - 1)
                                   .arg(2 * (fixedWidth + 26 * (columns - 1))).arg(2 * (fixedWidth + 26 * columns)));
    }
};

QTEST_MAIN(TestPanePainter)
#include "tst_panepainter.moc"
