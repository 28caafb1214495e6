#include "appstate.h"
#include "gridcsv.h"
#include "griddata.h"
#include "gridgeometry.h"
#include "gridlayout.h"
#include "gridoverlay.h"
#include "texts.h"
#include "timescale.h"

#include <QTest>

#include <numeric>
#include <vector>

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

// At 96 DPI, rows 20 high: rows 0-1 fixed over body rows 2-11, 5 and 6 hidden (shown: 2 3 4 7 8 9 10 11);
// columns 0-1 fixed (30 and 45 wide), 2-9 scrolling (15 wide), 4 hidden. The view is 145x120, scrolled
// to body position 1 (row 3) and column 3.
struct GeometryGrid {
    GridData data;
    GridGeometry geometry{data};
    const GridGeometry::View view{QSize(145, 120), 1, 3};

    GeometryGrid()
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

// The grid's contents as the fill and the layout write them, the layout itself, where
// its cells land in a view, the time scale both ways, and the grid as CSV.
class TestGridLayout : public QObject {
    Q_OBJECT

private slots:
    void shrinkingDropsWhatWasBeyond_data()
    {
        QTest::addColumn<bool>("shrinkColumns"); // else rows
        QTest::newRow("columns") << true;
        QTest::newRow("rows") << false;
    }

    // Fills restart from two rows, interval changes cut columns: nothing old may come back.
    void shrinkingDropsWhatWasBeyond()
    {
        QFETCH(bool, shrinkColumns);
        GridData grid;
        grid.setCols(20);
        grid.setRows(6);
        grid.setText(5, 19, "x");
        grid.setCellBackColor({5, 0, 5, 19}, QColor(226, 226, 226));
        grid.addBorder({{4, 15, 5, 19}, Qt::black, 1, 1, 1, 1, 1, 1});
        grid.setRowOutlineLevel(5, 1);
        grid.setIsNode(5, true);
        grid.setRowData(5, 100000);
        grid.select(3, 1, 2, 1); // dragged upwards: the first row is the lower one

        shrinkColumns ? grid.setCols(10) : grid.setRows(3);
        shrinkColumns ? grid.setCols(20) : grid.setRows(6);

        QCOMPARE(grid.text(5, 19), QString());
        QVERIFY(!grid.cellBackColor(5, 19).isValid());
        QVERIFY(!grid.cellEdges(5, 19).isSet);
        // What stayed inside is kept.
        QCOMPARE(grid.cellBackColor(5, 9).isValid(), shrinkColumns);
        QCOMPARE(grid.rowData(5), shrinkColumns ? 100000 : 0);
        QCOMPARE(grid.rowOutlineLevel(5), qint16(shrinkColumns ? 1 : 0));
        QCOMPARE(grid.isNode(5), shrinkColumns);
        // A selection on the first row cut away goes, one inside stays.
        QCOMPARE(grid.selection(), shrinkColumns ? (CellRange{2, 1, 3, 1}) : CellRange{});
    }

    void rangePropertiesLastWriteWins_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<QColor>("back");
        QTest::addColumn<bool>("bold");
        QTest::newRow("only-in-row-wide-range") << 0 << QColor(226, 226, 226) << false;
        QTest::newRow("right-edge-of-second-range") << 5 << QColor(Qt::red) << true;
        QTest::newRow("after-second-range") << 6 << QColor(226, 226, 226) << false;
    }

    void rangePropertiesLastWriteWins()
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

    void settingsOutsideTheGridAreIgnored_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::newRow("row-past-end") << 3 << 1;
        QTest::newRow("negative-col") << 0 << -1;
    }

    void settingsOutsideTheGridAreIgnored()
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
        // Column 2 lies in both; the later region wins.
        QCOMPARE(grid.cellEdges(3, 2).color, QColor(1, 0, 0));
        QCOMPARE(grid.cellEdges(3, 3).color, QColor(3, 0, 0));
    }

    void intervalRebuildsTheScale_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("interval");
        QTest::addColumn<int>("cols");
        QTest::addColumn<QString>("labels"); // of the first two columns, the last of hour 0, the first of hour 1, the last
        QTest::newRow("12-minutes") << "1" << "12" << 128 << "0:0 0:12 0:48 1:0 23:48";
        QTest::newRow("1-after-12") << "12" << "1" << 1448 << "0:0 0:1 0:59 1:0 23:59";
    }

    void intervalRebuildsTheScale()
    {
        QFETCH(QString, before);
        QFETCH(QString, interval);
        QFETCH(int, cols);
        // One group row with its grey band and one detail row, as the fill leaves them.
        GridData grid;
        SetUpGrid(grid);
        grid.addItem(u"\tM1");
        grid.setCellBackColor({2, 0, 2, grid.cols() - 1}, QColor::fromRgb(GroupBandRgb));
        grid.addItem(u"\tP1");
        grid.setText(3, 2, "00:10:00");
        AppState state;
        SetTimeScaleInterval(grid, state, before, nullptr);
        SetTimeScaleInterval(grid, state, interval, nullptr);

        QCOMPARE(grid.cols(), cols);
        QCOMPARE(state.IntervalText, interval);
        const int perHour = (cols - 8) / 24;
        QTEST(labels(grid, {8, 9, 7 + perHour, 8 + perHour, cols - 1}), "labels");
        for (int c = 8; c < cols; ++c)
            QCOMPARE(grid.colWidth(c), 400);
        // Rows and texts stay; the new columns get the band of group rows only.
        QCOMPARE(grid.rows(), 4);
        QCOMPARE(grid.text(3, 2), QStringLiteral("00:10:00"));
        QCOMPARE(grid.cellBackColor(2, cols - 1), QColor(226, 226, 226));
        QVERIFY(!grid.cellBackColor(3, cols - 1).isValid());
    }

    void intervalChangeShowsProgress_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("1-minute-box-centred") << "1" << QSize(12000, 9000) << QSize(4000, 600)
                                              << QStringList{"show 4000,4200", "range 0-1439", "hide"};
        // Odd sizes halve with truncation; a box wider than the window still lands inside.
        QTest::newRow("12-minutes-box-wider-than-window") << "12" << QSize(2001, 1001) << QSize(4001, 600)
                                                          << QStringList{"show 1000,200", "range 0-119", "hide"};
    }

    void intervalChangeShowsProgress()
    {
        QFETCH(QString, interval);
        GridData grid;
        SetUpGrid(grid);
        AppState state;
        RecordingProgress progress;
        QFETCH(QSize, window);
        QFETCH(QSize, box);
        progress.window = window;
        progress.box = box;
        SetTimeScaleInterval(grid, state, interval, &progress);

        QTEST(progress.log, "log");
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
        const GeometryGrid grid;
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
        // Columns 6 and 7 span x 105-134, rows 4 and 7 y 60-99.
        QTest::newRow("strip-cuts-body-rows-and-columns-at-their-edges")
            << 3 << QRect(105, 60, 16, 30) << "4 7|6-7|60 -15|75 40 75 80";
        QTest::newRow("strip-keeps-header-columns-whole") << 1 << QRect(100, 25, 10, 10) << "1|3-8|20 -15|75 0 75 40";
    }

    void panesOfTheView()
    {
        QFETCH(int, pane);
        QFETCH(QRect, clip);
        const GeometryGrid grid;
        std::vector<int> rows;
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

    // The time scale both ways: seconds to column and x, column back to seconds.
    void mapsBothWays_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("end");    // one past the last column
        QTest::addColumn<int>("column"); // of `seconds`
        QTest::addColumn<int>("x");      // in a pane of 25-pixel columns scrolled 100 pixels
        QTest::newRow("1-min-midnight") << "1" << 0 << 1448 << 8 << 100;
        // 59 of 60 seconds: 98 percent, 24.5 pixels rounding to the even 24.
        QTest::newRow("1-min-last-second-of-the-day") << "1" << 86399 << 1448 << 1447 << 36099;
        // 3 of 120 seconds: 2.5 percent rounding to the even 2, then 0.5 pixels to 0.
        QTest::newRow("2-min-half-percent-to-even") << "2" << 123 << 728 << 9 << 125;
        QTest::newRow("3-min-last-second-of-hour-0") << "3" << 3599 << 488 << 27 << 600;
        QTest::newRow("4-min-start-of-hour-1") << "4" << 3600 << 368 << 23 << 475;
        QTest::newRow("5-min-half-into-2:15") << "5" << 8250 << 296 << 35 << 787;
        QTest::newRow("6-min-before-midnight-at-the-first") << "6" << -1 << 248 << 8 << 100;
        QTest::newRow("10-min-past-24:00-at-the-right-end") << "10" << 86400 + 300 << 152 << 151 << 3700;
        QTest::newRow("12-min-92-hour-limit-at-the-right-end") << "12" << 92 * 3600 - 1 << 128 << 127 << 3100;
        QTest::newRow("2.5-min-is-2-half-to-even") << "2.5" << 150 << 728 << 9 << 131;
        QTest::newRow("not-a-number-no-scale") << "abc" << 3600 << 8 << 8 << 100;
    }

    void mapsBothWays()
    {
        QFETCH(QString, interval);
        QFETCH(int, seconds);
        const TimeScale scale = TimeScale::ofInterval(interval, 8);
        std::vector<int> edges(1449);
        for (size_t c = 0; c < edges.size(); ++c)
            edges[c] = int(c) * 25;
        PaneView pane;
        pane.colX = edges.data();
        pane.baseX = -100;
        QTEST(scale.endColumn(), "end");
        QTEST(scale.columnOf(seconds), "column");
        QTEST(scale.xOf(pane, seconds), "x");
        for (int c = 8; c < scale.endColumn(); ++c) {
            QCOMPARE(scale.columnOf(scale.secondsOf(c)), c);
            QCOMPARE(scale.columnOf(scale.secondsOf(c + 1) - 1), c);
        }
        QCOMPARE(scale.secondsOf(scale.endColumn()), scale.isValid() ? 86400 : 0);
    }

    void gridAsCsv_data()
    {
        QTest::addColumn<QString>("key");       // detail row's key text
        QTest::addColumn<qint32>("language");
        QTest::addColumn<QString>("csv");

        // Durations are hidden, so every row also checks that hidden columns are left out.
        const QString header = "Row,Part/Machine,Planned Start,Planned Finish,Actual Start\r\nGroup,P1,06:00:00,07:00:00,\r\n";
        QTest::newRow("comma-and-quote-quoted-quote-doubled")
            << "M1, \"left\"" << LanguageEnglish << header + "Operation,\"M1, \"\"left\"\"\",06:00:00,06:30:00,06:10:00\r\n";
        QTest::newRow("line-break-quoted") << "M1\nM2" << LanguageEnglish << header + "Operation,\"M1\nM2\",06:00:00,06:30:00,06:10:00\r\n";
        QTest::newRow("chinese-kinds-utf8")
            << "车床" << LanguageChinese
            << "行,Part/Machine,Planned Start,Planned Finish,Actual Start\r\n组,P1,06:00:00,07:00:00,\r\n工序,车床,06:00:00,06:30:00,06:10:00\r\n";
    }

    void gridAsCsv()
    {
        QFETCH(QString, key);
        QFETCH(qint32, language);
        // Columns 0..8: outline, key, planned start/finish/duration, actual
        // start/finish/duration, one time-scale column; durations hidden.
        GridData grid;
        grid.setRows(2);
        grid.setCols(9);
        const QStringList row0{"", "Part/Machine", "Planned", "Planned", "Planned", "Actual", "Actual", "Actual", "6"};
        const QStringList row1{"", "", "Start", "Finish", "Duration", "Start", "Finish", "Duration", "0"};
        for (int c = 0; c < 9; ++c) {
            grid.setText(0, c, row0[c]);
            grid.setText(1, c, row1[c]);
        }
        for (const int c : {4, 6, 7})
            grid.setColHidden(c, true);
        grid.addItem(u"\tP1\t06:00:00\t07:00:00");
        grid.setIsNode(2, true);
        grid.addItem(QString(u'\t' + key + QStringLiteral("\t06:00:00\t06:30:00\t00:30:00\t06:10:00")));
        grid.setIsNode(3, true);
        grid.setRowOutlineLevel(3, 1);
        SetLanguage(language);
        const QByteArray bytes = GridCsv(grid);
        SetLanguage(LanguageEnglish);
        QTEST(QString::fromUtf8(bytes), "csv");
    }
};

QTEST_GUILESS_MAIN(TestGridLayout)
#include "tst_gridlayout.moc"
