#include "appstate.h"
#include "griddata.h"
#include "gridlayout.h"

#include <QTest>

using namespace vorn;
using namespace vorn::chart;

namespace {

// Records what the rebuild asks of the progress box.
class RecordingProgress : public ProgressBox {
public:
    QSize window{12000, 9000};
    QSize box{4000, 600};
    QPoint shownAt{-1, -1};
    int minimum = -1;
    int maximum = -1;
    QList<int> values;
    bool visible = false;
    int hides = 0;

    QSize windowSizeTwips() const override { return window; }
    QSize boxSizeTwips() const override { return box; }
    void showAt(const QPoint &topLeft) override
    {
        shownAt = topLeft;
        visible = true;
    }
    void setRange(int min, int max) override
    {
        minimum = min;
        maximum = max;
    }
    void setValue(int value) override { values << value; }
    void hide() override
    {
        visible = false;
        ++hides;
    }
};

QString headerRow(const GridData &grid, int row, int fromCol, int count)
{
    QStringList pieces;
    for (int c = fromCol; c < fromCol + count; ++c)
        pieces << grid.text(row, c);
    return pieces.join(u'|');
}

// A grid after set-up with one group row and one detail row as the fill
// leaves them.
GridData filledGrid()
{
    GridData grid;
    SetUpGrid(grid);
    grid.setRows(3);
    grid.setText(2, 1, "M1");
    grid.setCellBackColor({2, 0, 2, grid.cols() - 1}, QColor::fromRgb(GroupBandRgb));
    grid.addItem(u"\tP1");
    grid.setText(3, 2, "00:10:00");
    return grid;
}

} // namespace

class TestGridLayout : public QObject {
    Q_OBJECT

private slots:
    void intervalRebuildsTheScale_data();
    void intervalRebuildsTheScale();
    void intervalChangeShowsProgress_data();
    void intervalChangeShowsProgress();
    void groupBandFollowsNewColumns_data();
    void groupBandFollowsNewColumns();
    void columnCountForIntervalText_data();
    void columnCountForIntervalText();
    void showColHidesOnlyItsColumn_data();
    void showColHidesOnlyItsColumn();
    void progressBoxIsCentred_data();
    void progressBoxIsCentred();
    void setUpFramesTheHeader_data();
    void setUpFramesTheHeader();
};

void TestGridLayout::intervalRebuildsTheScale_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("interval");
    QTest::addColumn<int>("cols");
    QTest::addColumn<QString>("minutes"); // row 1 of columns 8..12
    QTest::addColumn<QString>("hours");   // row 0 of columns 8..12
    QTest::addColumn<QString>("lastLabels"); // hour and minute of the last column

    QTest::newRow("12-minutes") << "1" << "12" << 128 << "0|12|24|36|48" << "0|0|0|0|0"
                                << "23|48";
    QTest::newRow("1-after-12") << "12" << "1" << 1448 << "0|1|2|3|4" << "0|0|0|0|0" << "23|59";
    QTest::newRow("5-minutes") << "1" << "5" << 296 << "0|5|10|15|20" << "0|0|0|0|0" << "23|55";
    QTest::newRow("10-minutes-hour-change") << "1" << "10" << 152 << "0|10|20|30|40"
                                            << "0|0|0|0|0" << "23|50";
    QTest::newRow("6-after-4") << "4" << "6" << 248 << "0|6|12|18|24" << "0|0|0|0|0" << "23|54";
    QTest::newRow("2-minutes") << "12" << "2" << 728 << "0|2|4|6|8" << "0|0|0|0|0" << "23|58";
}

void TestGridLayout::intervalRebuildsTheScale()
{
    QFETCH(QString, before);
    QFETCH(QString, interval);
    QFETCH(int, cols);
    GridData grid = filledGrid();
    AppState state;
    CmbInterval_Click(grid, state, before, nullptr);
    CmbInterval_Click(grid, state, interval, nullptr);

    QCOMPARE(grid.cols(), cols);
    QCOMPARE(state.IntervalText, interval);
    QTEST(headerRow(grid, 1, 8, 5), "minutes");
    QTEST(headerRow(grid, 0, 8, 5), "hours");
    QTEST(grid.text(0, cols - 1) + u'|' + grid.text(1, cols - 1), "lastLabels");
    for (int c = 8; c < cols; ++c)
        QCOMPARE(grid.colWidth(c), 400);
    // Hours are counted along the scale: each starts on a minute 0.
    const int perHour = 60 / interval.toInt();
    QCOMPARE(grid.text(0, 8 + perHour), QStringLiteral("1"));
    QCOMPARE(grid.text(1, 8 + perHour), QStringLiteral("0"));
    QCOMPARE(grid.text(0, 8 + perHour - 1), QStringLiteral("0"));
    // Rows, texts and row data stay.
    QCOMPARE(grid.rows(), 4);
    QCOMPARE(grid.text(3, 2), QStringLiteral("00:10:00"));
}

void TestGridLayout::intervalChangeShowsProgress_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<int>("maximum");
    QTest::newRow("1-minute") << "1" << 1439;
    QTest::newRow("12-minutes") << "12" << 119;
    QTest::newRow("5-minutes") << "5" << 287;
}

void TestGridLayout::intervalChangeShowsProgress()
{
    QFETCH(QString, interval);
    QFETCH(int, maximum);
    GridData grid = filledGrid();
    AppState state;
    RecordingProgress progress;
    CmbInterval_Click(grid, state, interval, &progress);

    QCOMPARE(progress.shownAt, QPoint(4000, 4200));
    QCOMPARE(progress.minimum, 0);
    QCOMPARE(progress.maximum, maximum);
    QVERIFY(progress.values.size() >= 2);
    QCOMPARE(progress.values.first(), 0);
    QCOMPARE(progress.values.last(), maximum);
    QVERIFY(std::is_sorted(progress.values.begin(), progress.values.end()));
    QVERIFY(!progress.visible);
    QCOMPARE(progress.hides, 1);
}

void TestGridLayout::groupBandFollowsNewColumns_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("banded");
    QTest::newRow("group-row") << 2 << true;
    QTest::newRow("detail-row") << 3 << false;
}

void TestGridLayout::groupBandFollowsNewColumns()
{
    QFETCH(int, row);
    QFETCH(bool, banded);
    GridData grid = filledGrid();
    AppState state;
    CmbInterval_Click(grid, state, "12", nullptr);
    QCOMPARE(grid.cellBackColor(row, 127).isValid(), banded);
    CmbInterval_Click(grid, state, "1", nullptr);
    // The columns that came back were new; only the group row gets its band.
    QCOMPARE(grid.cellBackColor(row, 1447).isValid(), banded);
    QCOMPARE(grid.cellBackColor(row, 0).isValid(), banded);
    if (banded)
        QCOMPARE(grid.cellBackColor(row, 1447), QColor(226, 226, 226));
}

void TestGridLayout::columnCountForIntervalText_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<int>("cols");
    const int expected[] = {1448, 728, 488, 368, 296, 248, 152, 128};
    const char *items[] = {"1", "2", "3", "4", "5", "6", "10", "12"};
    for (int i = 0; i < 8; ++i)
        QTest::newRow(items[i]) << items[i] << expected[i];
    QTest::newRow("empty-text-leading-columns-only") << "" << 8;
    QTest::newRow("zero") << "0" << 8;
    QTest::newRow("not-a-number") << "abc" << 8;
    // 60 / 7 = 8.57 columns an hour, rounded to 9.
    QTest::newRow("seven-rounds") << "7" << 224;
}

void TestGridLayout::columnCountForIntervalText()
{
    QFETCH(QString, interval);
    QTEST(IntervalColumnCount(interval), "cols");
}

void TestGridLayout::showColHidesOnlyItsColumn_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("hiddenCol"); // -1: none hidden
    QTest::newRow("unchecked-planned-duration") << 2 << 0 << 4;
    QTest::newRow("greyed-hides") << 0 << 2 << 2;
    QTest::newRow("checked-shows") << 5 << 1 << -1;
    QTest::newRow("index-out-of-range") << 6 << 0 << -1;
}

void TestGridLayout::showColHidesOnlyItsColumn()
{
    QFETCH(int, index);
    QFETCH(int, value);
    QFETCH(int, hiddenCol);
    GridData grid;
    SetUpGrid(grid);
    for (int c = 2; c <= 7; ++c)
        grid.setColHidden(c, c == 7);
    if (index == 5)
        QVERIFY(grid.colHidden(7));
    ShowCol_Click(grid, index, value);
    for (int c = 0; c < 10; ++c) {
        const bool wasHidden = c == 7 && index != 5;
        QCOMPARE(grid.colHidden(c), c == hiddenCol || wasHidden);
    }
}

void TestGridLayout::progressBoxIsCentred_data()
{
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QPoint>("position");
    QTest::newRow("box-inside") << QSize(12000, 9000) << QSize(4000, 600) << QPoint(4000, 4200);
    QTest::newRow("box-wider-than-window") << QSize(2000, 1000) << QSize(4000, 600)
                                           << QPoint(1000, 200);
    QTest::newRow("odd-sizes-truncate") << QSize(12001, 9001) << QSize(3999, 601)
                                        << QPoint(4001, 4200);
}

void TestGridLayout::progressBoxIsCentred()
{
    QFETCH(QSize, window);
    QFETCH(QSize, box);
    QTEST(ProgressBoxPosition(window, box), "position");
}

void TestGridLayout::setUpFramesTheHeader_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<int>("left");
    QTest::newRow("outline-col-no-line-between-headers") << 0 << 0 << 1 << 0 << 0;
    QTest::newRow("key-col-row1-no-top-line") << 1 << 1 << 0 << 1 << 1;
    QTest::newRow("planned-start-all-lines") << 1 << 2 << 1 << 1 << 1;
    QTest::newRow("time-col-all-lines") << 0 << 500 << 1 << 1 << 1;
}

void TestGridLayout::setUpFramesTheHeader()
{
    QFETCH(int, row);
    QFETCH(int, col);
    GridData grid;
    SetUpGrid(grid);
    QCOMPARE(grid.cols(), 1448);
    QCOMPARE(grid.rows(), 2);
    QVERIFY(grid.mergeRow0());
    const CellEdges e = grid.cellEdges(row, col);
    QVERIFY(e.isSet);
    QCOMPARE(e.color, QColor(3, 0, 0));
    QTEST(int(e.top), "top");
    QTEST(int(e.bottom), "bottom");
    QTEST(int(e.left), "left");
    // Hour blocks: every column of an hour carries its hour in row 0.
    QCOMPARE(grid.text(0, 8 + 60 * 5 + 59), QStringLiteral("5"));
    QCOMPARE(grid.cellAlignment(1, 8 + 60 * 23), Qt::Alignment(Qt::AlignCenter));
}

QTEST_GUILESS_MAIN(TestGridLayout)
#include "tst_gridlayout.moc"
