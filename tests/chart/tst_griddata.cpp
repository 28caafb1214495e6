#include "griddata.h"

#include <QTest>

using namespace vorn::chart;

namespace {

// One row's texts joined by "|", so a whole row compares in one line.
QString rowText(const GridData &grid, int row)
{
    QStringList pieces;
    for (int c = 0; c < grid.cols(); ++c)
        pieces << grid.text(row, c);
    return pieces.join(u'|');
}

QString edgesText(const CellEdges &e)
{
    if (!e.isSet)
        return QStringLiteral("none");
    return QStringLiteral("%1%2%3%4").arg(e.left).arg(e.top).arg(e.right).arg(e.bottom);
}

} // namespace

class TestGridData : public QObject {
    Q_OBJECT

private slots:
    void addItemFillsColumnsFromTheLeft_data();
    void addItemFillsColumnsFromTheLeft();
    void shrinkingDropsWhatWasBeyond_data();
    void shrinkingDropsWhatWasBeyond();
    void rangePropertiesLastWriteWins_data();
    void rangePropertiesLastWriteWins();
    void settingsOutsideTheGridAreIgnored_data();
    void settingsOutsideTheGridAreIgnored();
    void borderEdgesComeFromTheLatestRegion_data();
    void borderEdgesComeFromTheLatestRegion();
    void repeatedFillsKeepOneBorderRegionEach();
    void rowMarkersReadBackAsSet();
    void notifiesLayoutAndContentChanges();
    void copyCarriesContentsButNotTheListener();
};

void TestGridData::addItemFillsColumnsFromTheLeft_data()
{
    QTest::addColumn<int>("cols");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("row");
    QTest::newRow("tab-then-label") << 4 << "\tM1" << "|M1||";
    QTest::newRow("all-pieces") << 3 << "a\tb\tc" << "a|b|c";
    QTest::newRow("pieces-beyond-last-column-dropped") << 2 << "a\tb\tc\td" << "a|b";
    QTest::newRow("empty-text") << 3 << "" << "||";
    QTest::newRow("trailing-tab") << 3 << "a\t" << "a||";
    QTest::newRow("blanks-kept") << 2 << " x \t y" << " x | y";
}

void TestGridData::addItemFillsColumnsFromTheLeft()
{
    QFETCH(int, cols);
    QFETCH(QString, item);
    GridData grid;
    grid.setCols(cols);
    grid.setRows(2);
    grid.addItem(item);
    QCOMPARE(grid.rows(), 3);
    QTEST(rowText(grid, 2), "row");
}

void TestGridData::shrinkingDropsWhatWasBeyond_data()
{
    QTest::addColumn<bool>("shrinkColumns"); // else rows
    QTest::newRow("columns") << true;
    QTest::newRow("rows") << false;
}

void TestGridData::shrinkingDropsWhatWasBeyond()
{
    QFETCH(bool, shrinkColumns);
    // Given a band, a text and a border in the last row and column
    GridData grid;
    grid.setCols(20);
    grid.setRows(6);
    grid.setText(5, 19, "x");
    grid.setCellBackColor({5, 0, 5, 19}, QColor(226, 226, 226));
    grid.addBorder({{4, 15, 5, 19}, Qt::black, 1, 1, 1, 1, 1, 1});

    // When the grid shrinks and grows back
    if (shrinkColumns) {
        grid.setCols(10);
        grid.setCols(20);
    } else {
        grid.setRows(3);
        grid.setRows(6);
    }

    // Then the cells that came back are empty ...
    QCOMPARE(grid.text(5, 19), QString());
    QVERIFY(!grid.cellBackColor(5, 19).isValid());
    QVERIFY(!grid.cellEdges(5, 19).isSet);
    // ... and what stayed inside is kept
    if (shrinkColumns) {
        QCOMPARE(grid.cellBackColor(5, 9), QColor(226, 226, 226));
        QCOMPARE(grid.colWidth(19), 960);
    } else {
        QVERIFY(!grid.cellBackColor(5, 0).isValid());
    }
}

void TestGridData::rangePropertiesLastWriteWins_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<QColor>("back");
    QTest::addColumn<bool>("bold");
    QTest::newRow("inside-both-ranges") << 3 << QColor(Qt::red) << true;
    QTest::newRow("only-in-row-wide-range") << 0 << QColor(226, 226, 226) << false;
    QTest::newRow("right-edge-of-second-range") << 5 << QColor(Qt::red) << true;
    QTest::newRow("after-second-range") << 6 << QColor(226, 226, 226) << false;
}

void TestGridData::rangePropertiesLastWriteWins()
{
    QFETCH(int, col);
    GridData grid;
    grid.setCols(1448);
    grid.setRows(3);
    QVERIFY(grid.setCellBackColor({2, 0, 2, 1447}, QColor(226, 226, 226)));
    // Corners given the other way round still name the same range.
    QVERIFY(grid.setCellBackColor({2, 5, 2, 3}, Qt::red));
    QVERIFY(grid.setCellFontBold({2, 3, 2, 5}, true));
    QTEST(grid.cellBackColor(2, col), "back");
    QTEST(grid.cellFontBold(2, col), "bold");
}

void TestGridData::settingsOutsideTheGridAreIgnored_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::newRow("row-past-end") << 3 << 1;
    QTest::newRow("col-past-end") << 2 << 8;
    QTest::newRow("negative-row") << -1 << 0;
    QTest::newRow("negative-col") << 0 << -1;
}

void TestGridData::settingsOutsideTheGridAreIgnored()
{
    QFETCH(int, row);
    QFETCH(int, col);
    GridData grid;
    grid.setCols(8);
    grid.setRows(3);
    grid.select(2, 1);
    QVERIFY(!grid.setText(row, col, "x"));
    QVERIFY(!grid.setCellBackColor({2, 0, row, col}, Qt::red));
    QVERIFY(!grid.select(row, col));
    QCOMPARE(grid.selection(), (CellRange{2, 1, 2, 1}));
    QCOMPARE(grid.text(row, col), QString());
    QVERIFY(!grid.cellBackColor(2, 0).isValid());
}

void TestGridData::borderEdgesComeFromTheLatestRegion_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::addColumn<QString>("edges"); // left top right bottom
    // The header frame: columns 0 to 2 without a line between the two header
    // rows, then columns 2 to the end with every line; column 2 takes the later.
    QTest::newRow("col0-row0-no-left-no-bottom") << 0 << 0 << "0110";
    QTest::newRow("col1-row1-no-top") << 1 << 1 << "1011";
    QTest::newRow("col2-row0-all-lines") << 0 << 2 << "1111";
    QTest::newRow("last-col-row1-all-lines") << 1 << 19 << "1111";
    QTest::newRow("data-row-uncovered") << 2 << 5 << "none";
}

void TestGridData::borderEdgesComeFromTheLatestRegion()
{
    QFETCH(int, row);
    QFETCH(int, col);
    GridData grid;
    grid.setCols(20);
    grid.setRows(4);
    QVERIFY(grid.select(0, 0, 1, 2));
    QVERIFY(grid.setCellBorder(QColor(3, 0, 0), 0, 1, 1, 1, 1, 0));
    QVERIFY(grid.select(0, 2, 1, 19));
    QVERIFY(grid.setCellBorder(QColor(3, 0, 0), 1, 1, 1, 1, 1, 1));
    QTEST(edgesText(grid.cellEdges(row, col)), "edges");
}

void TestGridData::repeatedFillsKeepOneBorderRegionEach()
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
    QCOMPARE(grid.cellEdges(3, 2).color, QColor(1, 0, 0));
    QCOMPARE(grid.cellEdges(3, 3).color, QColor(3, 0, 0));
}

void TestGridData::rowMarkersReadBackAsSet()
{
    GridData grid;
    grid.setCols(8);
    grid.setRows(2);
    grid.addItem(u"\tP1");
    grid.addItem(u"\tM1");
    QVERIFY(grid.setRowOutlineLevel(2, 0));
    QVERIFY(grid.setRowOutlineLevel(3, 1));
    QVERIFY(grid.setIsNode(3, true));
    QVERIFY(grid.setRowData(3, 100000));
    QCOMPARE(grid.rowOutlineLevel(3), qint16(1));
    QVERIFY(grid.isNode(3));
    QVERIFY(!grid.isNode(2));
    QCOMPARE(grid.rowData(3), 100000);
    // Rows dropped and added again start blank.
    grid.setRows(2);
    grid.setRows(4);
    QCOMPARE(grid.rowData(3), 0);
    QCOMPARE(grid.rowOutlineLevel(3), qint16(0));
    QVERIFY(!grid.isNode(3));
}

void TestGridData::notifiesLayoutAndContentChanges()
{
    GridData grid;
    QList<GridData::Change> changes;
    grid.setChangeListener([&](GridData::Change c) { changes << c; });
    grid.setCols(8);
    grid.setRows(3);
    grid.setText(2, 1, "x");
    grid.setColHidden(4, true);
    QCOMPARE(changes, (QList<GridData::Change>{GridData::Change::Layout, GridData::Change::Layout,
                                              GridData::Change::Content,
                                              GridData::Change::Layout}));
}

void TestGridData::copyCarriesContentsButNotTheListener()
{
    int calls = 0;
    GridData grid;
    grid.setChangeListener([&](GridData::Change) { ++calls; });
    grid.setCols(8);
    grid.setRows(3);
    grid.setText(2, 1, "M1");
    grid.setCellBackColor({2, 0, 2, 7}, QColor(226, 226, 226));
    const int before = calls;

    GridData copy = grid;
    copy.setText(2, 1, "changed");
    QCOMPARE(calls, before);
    QCOMPARE(grid.text(2, 1), QStringLiteral("M1"));
    QCOMPARE(copy.cellBackColor(2, 7), QColor(226, 226, 226));

    // Assigning into the listened grid replaces its contents and says so.
    grid = copy;
    QCOMPARE(calls, before + 1);
    QCOMPARE(grid.text(2, 1), QStringLiteral("changed"));
}

QTEST_GUILESS_MAIN(TestGridData)
#include "tst_griddata.moc"
