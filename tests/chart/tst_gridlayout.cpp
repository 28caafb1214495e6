#include "appstate.h"
#include "griddata.h"
#include "gridlayout.h"
#include "testfiles.h"

#include <QTest>

#include <numeric>

using namespace vorn;
using namespace vorn::chart;

namespace {

// Writes down what the rebuild asks of the progress box.
class RecordingProgress : public ProgressBox {
public:
    QSize window, box;
    QStringList log; // of every call but setValue
    QList<int> values;

    QSize windowSizeTwips() const override { return window; }
    QSize boxSizeTwips() const override { return box; }
    void showAt(const QPoint &p) override { log << QStringLiteral("show %1,%2").arg(p.x()).arg(p.y()); }
    void setRange(int min, int max) override { log << QStringLiteral("range %1-%2").arg(min).arg(max); }
    void setValue(int value) override { values << value; }
    void hide() override { log << QStringLiteral("hide"); }
};

// "hour:minute" of each given time column.
QString labels(const GridData &grid, const QList<int> &cols)
{
    QStringList pieces;
    for (const int c : cols)
        pieces << grid.text(0, c) + u':' + grid.text(1, c);
    return pieces.join(u' ');
}

} // namespace

// The layout the fill and the interval box give the grid.
class TestGridLayout : public QObject {
    Q_OBJECT

private slots:
    // The grid after an interval change, compared whole with tests/chart/data/NAME: the interval
    // kept, a line a column (hour:minute, width, the group row's band, the detail row's), the rows'
    // texts, and what the progress box was asked. Rows and texts stay; the new columns get the band
    // of group rows only.
    void intervalRebuildsTheScale_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("interval");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QSize>("box");
        // Odd sizes halve with truncation; a box wider than the window still lands inside.
        QTest::newRow("interval-12-after-1-box-wider-than-window.txt") << "1" << "12" << QSize(2001, 1001) << QSize(4001, 600);
        QTest::newRow("interval-1-after-12-box-centred.txt") << "12" << "1" << QSize(12000, 9000) << QSize(4000, 600);
    }

    void intervalRebuildsTheScale()
    {
        QFETCH(QString, before);
        QFETCH(QString, interval);
        QFETCH(QSize, window);
        QFETCH(QSize, box);
        // One group row with its grey band and one detail row, as the fill leaves them.
        GridData grid;
        SetUpGrid(grid);
        grid.addItem(u"\tM1");
        grid.setCellBackColor({2, 0, 2, grid.cols() - 1}, QColor::fromRgb(GroupBandRgb));
        grid.addItem(u"\tP1");
        grid.setText(3, 2, "00:10:00");
        AppState state;
        RecordingProgress progress;
        progress.window = window;
        progress.box = box;
        SetTimeScaleInterval(grid, state, before, nullptr);
        SetTimeScaleInterval(grid, state, interval, &progress);

        QString dump = QStringLiteral("interval %1, %2 rows\n").arg(state.IntervalText).arg(grid.rows());
        for (int r = 2; r < grid.rows(); ++r) {
            for (int c = 0; c < 8; ++c)
                dump += grid.text(r, c) + (c < 7 ? u'|' : u'\n');
        }
        const auto band = [&](int r, int c) { return grid.cellBackColor(r, c).isValid() ? grid.cellBackColor(r, c).name() : "-"; };
        for (int c = 8; c < grid.cols(); ++c)
            dump += QStringLiteral("%1 %2:%3 %4 %5 %6\n").arg(c).arg(grid.text(0, c), grid.text(1, c)).arg(grid.colWidth(c))
                        .arg(band(2, c), band(3, c));
        VORN_COMPARE_STORED(QString::fromLatin1(QTest::currentDataTag()), (dump + progress.log.join(u'\n') + u'\n').toUtf8());
        QList<int> everyColumn(grid.cols() - 8);
        std::iota(everyColumn.begin(), everyColumn.end(), 0);
        QCOMPARE(progress.values, everyColumn);
    }

    void setUpFramesTheHeader_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("edges"); // left top right bottom
        // Columns 0 to 2 without a line between the two header rows, then
        // columns 2 to the end with every line; column 2 takes the later.
        QTest::newRow("outline-col-no-left-no-line-between-headers") << 0 << 0 << "0110";
        QTest::newRow("planned-start-all-lines") << 1 << 2 << "1111";
        QTest::newRow("time-col-all-lines") << 0 << 500 << "1111";
        QTest::newRow("last-col-all-lines") << 1 << 1447 << "1111";
    }

    void setUpFramesTheHeader()
    {
        QFETCH(int, row);
        QFETCH(int, col);
        GridData grid;
        SetUpGrid(grid);
        QCOMPARE(QSize(grid.cols(), grid.rows()), QSize(1448, 2));
        QVERIFY(grid.mergeRow0());
        const CellEdges e = grid.cellEdges(row, col);
        QCOMPARE(e.color, QColor(3, 0, 0));
        QTEST(QStringLiteral("%1%2%3%4").arg(e.left).arg(e.top).arg(e.right).arg(e.bottom), "edges");
        // Hour blocks: every column of an hour carries its hour in row 0.
        QCOMPARE(labels(grid, {8 + 60 * 5 + 59, 8 + 60 * 23}), QStringLiteral("5:59 23:0"));
        QCOMPARE(grid.cellAlignment(1, 8 + 60 * 23), Qt::Alignment(Qt::AlignCenter));
    }
};

QTEST_GUILESS_MAIN(TestGridLayout)
#include "tst_gridlayout.moc"
