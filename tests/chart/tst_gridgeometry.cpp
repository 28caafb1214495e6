#include "griddata.h"
#include "gridgeometry.h"
#include "testfiles.h"

#include <QTest>

using namespace vorn::chart;

namespace {

// At 96 DPI, rows 20 high: rows 0-1 fixed over body rows 2-11, 5 and 6 hidden (shown: 2 3 4 7 8 9 10 11);
// columns 0-1 fixed (30 and 45 wide), 2-9 scrolling (15 wide), 4 hidden. The view is 145x220, scrolled
// to body position 1 (row 3) and column 3.
struct Grid {
    GridData data;
    GridGeometry geometry{data};
    const GridGeometry::View view{QSize(145, 220), 1, 3};

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
    // Every cell's place in the view, compared whole with tests/chart/data/cells-in-view.txt (a
    // line a row, "-" where a cell does not show: scrolled out, past an edge, hidden or out of
    // range). Each shown cell is found again at its corners and centre; nothing outside the view.
    void placesCellsInTheView()
    {
        const Grid grid;
        int r = -1;
        int c = -1;
        QString places;
        for (int row = 0; row <= 12; ++row) {
            places += QStringLiteral("row %1:").arg(row);
            for (int col = 0; col <= 10; ++col) {
                const QRect rect = grid.geometry.cellRect(row, col, grid.view);
                places += rect.isEmpty() ? QStringLiteral(" -")
                                         : QStringLiteral(" %1,%2+%3x%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
                const QRect shown = rect.intersected(QRect(QPoint(), grid.view.size));
                for (const QPoint &point : {shown.topLeft(), shown.center(), shown.bottomRight()})
                    QVERIFY(rect.isEmpty() || (grid.geometry.cellAt(point, grid.view, &r, &c) && QPoint(c, r) == QPoint(col, row)));
            }
            places += u'\n';
        }
        for (const QPoint &outside : {QPoint(-1, 50), QPoint(145, 50), QPoint(10, 220)})
            QVERIFY(!grid.geometry.cellAt(outside, grid.view, &r, &c));
        VORN_COMPARE_STORED(QStringLiteral("cells-in-view.txt"), places.toUtf8());
    }

    // The four panes of a 150-pixel-wide area (0 the header over the fixed columns, 1 the header,
    // 2 the fixed columns, 3 the rest) and two strips trimmed from them, compared whole with
    // tests/chart/data/panes.txt. Column 9 would begin at the area's right edge. Columns 6-7 span
    // x 105-134, rows 4 and 7 y 60-99: a strip ending on their first pixel cuts the rest off.
    void panesOfTheView()
    {
        const Grid grid;
        // Columns 7-9 fill the 45 pixels beside the fixed ones exactly: the view may start at 7.
        QCOMPARE(grid.geometry.maxLeftCol(120), 7);
        std::vector<int> rows;
        const auto panes = grid.geometry.panes(QRect(0, 0, 150, 120), 1, 3, -1, rows);
        QString shown;
        const auto describe = [&](const QString &name, const PaneView &view) {
            QStringList rowList;
            for (const int row : view.rows)
                rowList << QString::number(row);
            const QRect r = view.clip;
            // rows | first-last column | top, left of column 0 | clip
            shown += QStringLiteral("%1: %2|%3-%4|%5 %6|%7 %8 %9 %10\n").arg(name, rowList.join(u' ')).arg(view.firstCol)
                         .arg(view.lastCol).arg(view.y).arg(view.baseX).arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
        };
        for (size_t pane = 0; pane < panes.size(); ++pane)
            describe(QString::number(pane), panes[pane]);
        describe(QStringLiteral("3 trimmed to 105,60 16x21"), grid.geometry.trimmed(panes[3], QRect(105, 60, 16, 21)));
        describe(QStringLiteral("1 trimmed to 100,25 10x10"), grid.geometry.trimmed(panes[1], QRect(100, 25, 10, 10)));
        // Wider than all columns: the scrolling panes end at the last one.
        describe(QStringLiteral("3 of a 300-pixel area"), grid.geometry.panes(QRect(0, 0, 300, 120), 1, 3, -1, rows)[3]);
        // A last column before the first scrolling one: no scrolling column at all.
        describe(QStringLiteral("3 up to column 0"), grid.geometry.panes(QRect(0, 0, 300, 120), 1, 3, 0, rows)[3]);
        VORN_COMPARE_STORED(QStringLiteral("panes.txt"), shown.toUtf8());
    }
};

QTEST_GUILESS_MAIN(TestGridGeometry)
#include "tst_gridgeometry.moc"
