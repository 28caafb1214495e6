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
    void headerLinesFollowTheBorders_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<QChar>("line"); // between header rows 0 and 1: '#' a border line, '-' none
        QTest::newRow("outline-column-none") << 0 << QChar(u'-');
        QTest::newRow("key-column-none") << 1 << QChar(u'-');
        QTest::newRow("planned-start-line") << 2 << QChar(u'#');
        QTest::newRow("time-column-line") << 9 << QChar(u'#');
    }

    void headerLinesFollowTheBorders()
    {
        QFETCH(int, col);
        QFETCH(QChar, line);
        const View view(1);
        const QImage image = view.paint({});
        const QRect cell = view.geometry.cellRect(0, col, {image.size(), 0, view.data.fixedCols()});
        QCOMPARE(image.pixel(cell.left(), cell.bottom() + 2 * cell.height()), qRgb(214, 218, 224)); // the body row's bottom line
        QString pixels;
        for (int x = cell.left(); x < cell.right(); ++x) {
            const QRgb p = image.pixel(x, cell.bottom()) & 0xFFFFFF;
            pixels += p == 0x030000 ? u'#' : p == 0xECEFF4 ? u'-' : u'?';
        }
        QCOMPARE(pixels, QString(cell.width() - 1, line));
    }

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

    void outlineMarks_data()
    {
        QTest::addColumn<bool>("collapsed");
        QTest::addColumn<int>("row");   // 2 a group, 3 and 4 its operations
        QTest::addColumn<QPoint>("at"); // from the middle of the row's column 0
        QTest::addColumn<bool>("ink");
        QTest::newRow("open-group-box-shows-a-minus") << false << 2 << QPoint(-1, 0) << true;
        QTest::newRow("open-group-box-has-no-upright") << false << 2 << QPoint(0, -1) << false;
        QTest::newRow("collapsed-group-box-shows-a-plus") << true << 2 << QPoint(0, -1) << true;
        QTest::newRow("branch-runs-on-to-the-next-operation") << false << 3 << QPoint(0, 9) << true;
        QTest::newRow("last-branch-stops-in-the-middle") << false << 4 << QPoint(0, 1) << false;
    }

    void outlineMarks()
    {
        QFETCH(bool, collapsed);
        QFETCH(int, row);
        QFETCH(QPoint, at);
        View view(3);
        for (int r = 2; r < 5; ++r) {
            view.data.setIsNode(r, true);
            view.data.setRowOutlineLevel(r, r > 2 ? 1 : 0);
            view.data.setRowHidden(r, collapsed && r > 2);
        }
        view.geometry.relayout(96);
        const QRect cell = view.geometry.cellRect(row, 0, {QSize(1000, 400), 0, view.data.fixedCols()});
        const QPoint middle(cell.left() + cell.width() / 2, cell.top() + cell.height() / 2);
        QTEST(qRed(view.paint({}).pixel(middle + at)) < 160, "ink");
    }
};

QTEST_MAIN(TestPanePainter)
#include "tst_panepainter.moc"
