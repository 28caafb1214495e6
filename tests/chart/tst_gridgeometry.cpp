#include "griddata.h"
#include "gridgeometry.h"

#include <QTest>

using namespace vorn::chart;

namespace {

// At 96 DPI, rows 20 high: rows 0-1 fixed over body rows 2-11, 5 and 6 hidden (shown: 2 3 4 7 8 9 10 11);
// columns 0-1 fixed (30 and 45 wide), 2-9 scrolling (15 wide), 4 hidden. The view is 145x120, scrolled
// to body position 1 (row 3) and column 3.
struct Grid {
    GridData data;
    GridGeometry geometry{data};
    const GridGeometry::View view{QSize(145, 120), 1, 3};

    Grid()
    {
        data.setRows(12);
        data.setCols(10);
        data.setFixedRows(2);
        data.setFixedCols(2);
        data.setRowHeight(300);
        for (int c = 0; c < 10; ++c)
            data.setColWidth(c, c == 0 ? 450 : c == 1 ? 675 : 225);
        data.setColHidden(4, true);
        data.setRowHidden(5, true);
        data.setRowHidden(6, true);
        geometry.relayout(96);
    }
};

} // namespace

class TestGridGeometry : public QObject {
    Q_OBJECT

private slots:
    void placesCellsInTheView_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::addColumn<QRect>("rect"); // empty: not shown
        QTest::newRow("header-over-fixed-column") << 0 << 1 << QRect(30, 0, 45, 20);
        QTest::newRow("header-over-scrolled-column") << 1 << 5 << QRect(90, 20, 15, 20);
        QTest::newRow("first-scrolled-column-after-the-fixed-ones") << 3 << 3 << QRect(75, 40, 15, 20);
        QTest::newRow("body-row-in-fixed-column") << 4 << 0 << QRect(0, 60, 30, 20);
        QTest::newRow("row-after-hidden-rows-moves-up") << 7 << 6 << QRect(105, 80, 15, 20);
        QTest::newRow("partly-shown-at-the-right-edge") << 8 << 8 << QRect(135, 100, 15, 20);
        QTest::newRow("scrolled-out-above") << 2 << 0 << QRect();
        QTest::newRow("scrolled-out-left") << 3 << 2 << QRect();
        QTest::newRow("behind-the-right-edge") << 3 << 9 << QRect();
        QTest::newRow("below-the-bottom-edge") << 9 << 0 << QRect();
        QTest::newRow("hidden-row") << 5 << 3 << QRect();
        QTest::newRow("hidden-column") << 1 << 4 << QRect();
        QTest::newRow("row-out-of-range") << 12 << 0 << QRect();
    }

    // Every shown cell is found again at its corners and centre; nothing is found outside.
    void placesCellsInTheView()
    {
        QFETCH(int, row);
        QFETCH(int, col);
        QFETCH(QRect, rect);
        const Grid grid;
        QCOMPARE(grid.geometry.cellRect(row, col, grid.view), rect);
        const QRect shown = rect.intersected(QRect(QPoint(), grid.view.size));
        int r = -1;
        int c = -1;
        for (const QPoint &point : {shown.topLeft(), shown.center(), shown.bottomRight()})
            QVERIFY(rect.isEmpty() || (grid.geometry.cellAt(point, grid.view, &r, &c) && QPoint(c, r) == QPoint(col, row)));
        for (const QPoint &outside : {QPoint(-1, 50), QPoint(145, 50), QPoint(10, 120)})
            QVERIFY(!grid.geometry.cellAt(outside, grid.view, &r, &c));
    }

    void panesOfTheView_data()
    {
        QTest::addColumn<int>("pane"); // 0 header and fixed columns, 1 header, 2 fixed columns, 3 neither
        QTest::addColumn<QRect>("clip"); // null: the whole pane
        QTest::addColumn<QString>("shown"); // rows | first-last column | top, left of column 0 | clip
        // In a 150 wide area column 9 would begin at the right edge.
        QTest::newRow("body-fixed-columns") << 2 << QRect() << "3 4 7 8|0-1|40 0|0 40 75 80";
        QTest::newRow("body-scrolling-to-the-last-column-in-reach") << 3 << QRect() << "3 4 7 8|3-8|40 -15|75 40 75 80";
        // Columns 6 and 7 span x 105-134, rows 4 and 7 y 60-99: the strip ends on the first pixel of each.
        QTest::newRow("strip-cuts-body-rows-and-columns-at-their-edges")
            << 3 << QRect(105, 60, 16, 21) << "4 7|6-7|60 -15|75 40 75 80";
        QTest::newRow("strip-keeps-header-columns-whole") << 1 << QRect(100, 25, 10, 10) << "1|3-8|20 -15|75 0 75 40";
    }

    void panesOfTheView()
    {
        QFETCH(int, pane);
        QFETCH(QRect, clip);
        const Grid grid;
        std::vector<int> rows;
        // Columns 7-9 fill the 45 pixels beside the fixed ones exactly: the view may start at 7.
        QCOMPARE(grid.geometry.maxLeftCol(120), 7);
        const PaneView all = grid.geometry.panes(QRect(0, 0, 150, 120), 1, 3, -1, rows)[size_t(pane)];
        const PaneView view = clip.isNull() ? all : grid.geometry.trimmed(all, clip);
        QStringList shown;
        for (const int row : view.rows)
            shown << QString::number(row);
        const QRect r = view.clip;
        QTEST(QStringLiteral("%1|%2-%3|%4 %5|%6 %7 %8 %9").arg(shown.join(u' ')).arg(view.firstCol).arg(view.lastCol)
                  .arg(view.y).arg(view.baseX).arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()),
              "shown");
    }
};

QTEST_GUILESS_MAIN(TestGridGeometry)
#include "tst_gridgeometry.moc"
