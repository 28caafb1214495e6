#include "griddata.h"

#include <QTest>

using namespace vorn::chart;

// The grid's contents: what is kept, cut and refused as it is written and resized.
class TestGridData : public QObject {
    Q_OBJECT

private slots:
    void shrinkingDropsWhatWasBeyond_data()
    {
        QTest::addColumn<bool>("shrinkColumns"); // else rows
        QTest::addColumn<bool>("selectionAcrossTheCut");
        QTest::newRow("columns") << true << false;
        QTest::newRow("columns-selection-across-the-cut") << true << true;
        QTest::newRow("rows") << false << false;
    }

    // Fills restart from two rows, interval changes cut columns: nothing old may come back.
    void shrinkingDropsWhatWasBeyond()
    {
        QFETCH(bool, shrinkColumns);
        QFETCH(bool, selectionAcrossTheCut);
        GridData grid;
        grid.setCols(20);
        grid.setRows(6);
        grid.setText(5, 19, "x");
        grid.setCellBackColor({5, 0, 5, 19}, QColor(226, 226, 226));
        grid.addBorder({{4, 15, 5, 19}, Qt::black, 1, 1, 1, 1, 1, 1});
        grid.addBorder({{4, 5, 4, 19}, Qt::black, 1, 1, 1, 1, 1, 1}); // across the cut
        grid.setRowOutlineLevel(5, 1);
        grid.setIsNode(3, true);
        grid.setIsNode(5, true);
        grid.setRowData(5, 100000);
        grid.setRowData(0, 7);
        if (selectionAcrossTheCut)
            grid.select(2, 5, 2, 15);
        else
            grid.select(3, 1, 2, 1); // dragged upwards: the first row is the lower one

        shrinkColumns ? grid.setCols(10) : grid.setRows(3);
        QCOMPARE(grid.isNode(3), shrinkColumns); // the first row past the end asks nothing of it
        shrinkColumns ? grid.setCols(20) : grid.setRows(6);

        const QList<int> beyond{int(grid.text(5, 19).size()), grid.cellBackColor(5, 19).isValid(), grid.cellEdges(5, 19).isSet,
                                grid.cellEdges(4, 10).isSet};
        QCOMPARE(beyond, QList<int>(4, 0));
        // What stayed inside is kept: edges, band, row data, outline level, node; a header row's data.
        const QList<int> inside{grid.cellEdges(4, 9).isSet, grid.cellBackColor(5, 9).isValid(), grid.rowData(5),
                                grid.rowOutlineLevel(5), grid.isNode(5), grid.rowData(0)};
        QCOMPARE(inside, shrinkColumns ? QList<int>({1, 1, 100000, 1, 1, 7}) : QList<int>({0, 0, 0, 0, 0, 7}));
        // A selection reaching into what was cut away goes, one inside stays.
        QCOMPARE(grid.selection(), shrinkColumns && !selectionAcrossTheCut ? (CellRange{2, 1, 3, 1}) : CellRange{});
    }

    // Band and bold of the first columns of a row after three overlapping ranges: the later wins.
    void rangePropertiesLastWriteWins()
    {
        GridData grid;
        grid.setCols(1448);
        grid.setRows(3);
        QVERIFY(grid.setCellBackColor({2, 0, 2, 1447}, QColor(226, 226, 226)));
        // Corners given the other way round still name the same range.
        QVERIFY(grid.setCellBackColor({2, 5, 2, 3}, Qt::red));
        QVERIFY(grid.setCellFontBold({2, 3, 2, 5}, true));
        QStringList cells;
        for (int col = 0; col < 8; ++col)
            cells << grid.cellBackColor(2, col).name() + (grid.cellFontBold(2, col) ? " bold" : "");
        QCOMPARE(cells.join(u','), "#e2e2e2,#e2e2e2,#e2e2e2,#ff0000 bold,#ff0000 bold,#ff0000 bold,#e2e2e2,#e2e2e2");
    }

    void settingsOutsideTheGridAreIgnored_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::newRow("row-past-end") << 3 << 1;
        QTest::newRow("negative-col") << 0 << -1;
        QTest::newRow("negative-row") << -1 << 1;
        QTest::newRow("col-past-end") << 1 << 8;
    }

    void settingsOutsideTheGridAreIgnored()
    {
        QFETCH(int, row);
        QFETCH(int, col);
        GridData grid;
        grid.setCols(8);
        grid.setRows(3);
        QList<GridData::Change> told;
        grid.setChangeListener([&told](GridData::Change change, int) { told << change; });
        grid.select(2, 1);
        // Refused, and nothing of them shows: the widget hears of the selection alone.
        const QList<bool> took{grid.setText(row, col, "x"), grid.setCellBackColor({2, 0, row, col}, Qt::red),
                               grid.select(row, col), !grid.text(row, col).isEmpty(), grid.cellBackColor(2, 0).isValid()};
        QCOMPARE(took, QList<bool>(5, false));
        QCOMPARE(grid.selection(), (CellRange{2, 1, 2, 1}));
        QCOMPARE(told, QList<GridData::Change>{GridData::Change::Content});
        // Row properties of a row outside are refused too, and read as none.
        const bool inside = row >= 0 && row < 3;
        const QList<bool> set{grid.setIsNode(row, true), grid.setRowData(row, 7), grid.setRowOutlineLevel(row, 1)};
        QCOMPARE(set, QList<bool>(3, inside));
        const QList<int> read{grid.isNode(row), grid.rowData(row), grid.rowOutlineLevel(row)};
        QCOMPARE(read, inside ? QList<int>({1, 7, 1}) : QList<int>(3, 0));
        const bool colInside = col >= 0 && col < 8;
        const QList<bool> colSet{grid.setColWidth(col, 500), grid.setColHidden(col, true)};
        QCOMPARE(colSet, QList<bool>(2, colInside));
        const QList<int> colRead{grid.colWidth(col), grid.colHidden(col)};
        QCOMPARE(colRead, colInside ? QList<int>({500, 1}) : QList<int>(2, 0));
    }

    // Every fill draws its borders again: the regions must not pile up.
    void repeatedFillsKeepOneBorderRegionEach()
    {
        GridData grid;
        grid.setCols(10);
        for (int fill = 0; fill < 50; ++fill) {
            grid.setRows(2);
            for (int i = 0; i < 5 + fill % 3; ++i)
                grid.addItem(u"\tx");
            grid.select(2, 2, grid.rows() - 1, 7);
            grid.setCellBorder(QColor(3, 0, 0), 1, 1, 1, 1, 1, 1);
            grid.select(2, 0, grid.rows() - 1, 2);
            grid.setCellBorder(QColor(1, 0, 0), 1, 1, 1, 1, 1, 1);
        }
        QCOMPARE(grid.borders().size(), size_t(2));
    }
};

QTEST_GUILESS_MAIN(TestGridData)
#include "tst_griddata.moc"
