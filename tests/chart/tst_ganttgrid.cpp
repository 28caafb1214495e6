#include "appstate.h"
#include "ganttgrid.h"
#include "gridlayout.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <memory>

using namespace vorn;
using namespace vorn::chart;

namespace {

const QRgb Blue = qRgb(0, 0, 255);
const QRgb Red = qRgb(255, 0, 0);

// A grid at 96 DPI (15 twips a pixel, 400-twip columns 26 pixels wide) with
// the time scale of `interval` and one detail row per entry of `rows`
// (six time texts each).
struct Chart {
    AppState state;
    std::unique_ptr<GanttGrid> grid = std::make_unique<GanttGrid>();

    explicit Chart(const QString &interval, const QList<QStringList> &rows = {})
    {
        grid->setLogicalDpi(96);
        // Without scroll bars the viewport is the whole widget, so the
        // expected pixel positions do not depend on the style.
        grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        grid->setFrameShape(QFrame::NoFrame);
        grid->resize(1000, 400);
        // Shown (off screen) so that the size reaches the viewport.
        grid->setAttribute(Qt::WA_DontShowOnScreen);
        grid->show();
        grid->setAppState(&state);
        GridData &d = grid->data();
        SetUpGrid(d);
        CmbInterval_Click(d, state, interval, nullptr);
        for (const QStringList &texts : rows) {
            d.addItem(u"\tM1");
            const int r = d.rows() - 1;
            for (int i = 0; i < texts.size(); ++i)
                d.setText(r, 2 + i, texts[i]);
        }
    }

    // The column of the time scale whose header reads hour:minute.
    int column(int hour, int minute) const
    {
        const GridData &d = grid->data();
        for (int c = 8; c < d.cols(); ++c) {
            if (d.text(0, c) == QString::number(hour) && d.text(1, c) == QString::number(minute))
                return c;
        }
        return -1;
    }

    QImage render() const
    {
        QImage image(grid->viewport()->size(), QImage::Format_RGB32);
        image.fill(Qt::magenta);
        grid->viewport()->render(&image);
        return image;
    }
};

// Pixels of one horizontal line of a cell, as a string: 'B' blue, 'R' red,
// '.' anything else.
QString scanLine(const QImage &image, const QRect &cell, int y)
{
    QString line;
    for (int x = cell.left(); x <= cell.right(); ++x) {
        const QRgb p = image.pixel(x, y) & 0xFFFFFF;
        line += p == (Blue & 0xFFFFFF) ? u'B' : p == (Red & 0xFFFFFF) ? u'R' : u'.';
    }
    return line;
}

QString run(int dots, int bars, char bar = 'B')
{
    return QString(dots, u'.') + QString(bars, QLatin1Char(bar));
}

bool anyBarPixel(const QImage &image, const QRect &area)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y) | 0xFF000000;
            if (p == Blue || p == Red)
                return true;
        }
    }
    return false;
}

} // namespace

class TestGanttGrid : public QObject {
    Q_OBJECT

private slots:
    void barPixelsInCell_data();
    void barPixelsInCell();
    void barsFollowAnIntervalChange();
    void barsUseDevicePixels();
    void plannedAndActualShareARow();
    void headerAndLeadingColumnsAreNeverPaintedOver();
    void barPastMidnightRunsToTheEnd();
    void badInputPaintsWithoutCrashing_data();
    void badInputPaintsWithoutCrashing();
    void redrawOffPaintsNothing();
    void scrollPositionReadsBackClamped_data();
    void scrollPositionReadsBackClamped();
    void keyboardAndWheelScroll();
    void formResizePlacesAndSharesWidth_data();
    void formResizePlacesAndSharesWidth();
    void hiddenColumnTakesNoRoom();
};

void TestGanttGrid::barPixelsInCell_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<int>("widthTwips"); // of every time column
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<QString>("plannedLine");

    const QStringList example{"02:17:30", "02:40:00", "00:22:30"};
    QTest::newRow("i5-2:15-right-half") << "5" << 400 << example << 2 << 15 << run(13, 13);
    QTest::newRow("i5-2:20-full") << "5" << 400 << example << 2 << 20 << run(0, 26);
    QTest::newRow("i5-2:35-full") << "5" << 400 << example << 2 << 35 << run(0, 26);
    QTest::newRow("i5-2:40-nothing-visible") << "5" << 400 << example << 2 << 40 << run(26, 0);
    QTest::newRow("i5-2:10-before-start") << "5" << 400 << example << 2 << 10 << run(26, 0);
    QTest::newRow("i10-1:10-inside-the-cell")
        << "10" << 400 << QStringList{"01:12:00", "01:15:00", "00:03:00"} << 1 << 10
        << run(5, 8) + run(13, 0);
    // 405 twips are 27 pixels; half of them rounds to 14.
    QTest::newRow("27px-at-50-percent") << "5" << 405 << example << 2 << 15 << run(14, 13);
    QTest::newRow("duration-empty-no-bar")
        << "5" << 400 << QStringList{"02:17:30", "02:40:00", ""} << 2 << 20 << run(26, 0);
    QTest::newRow("duration-zero-no-bar")
        << "5" << 400 << QStringList{"02:17:30", "02:40:00", "00:00:00"} << 2 << 20 << run(26, 0);
    QTest::newRow("empty-start-from-left-of-0:00")
        << "5" << 400 << QStringList{"", "00:02:30", "00:02:30"} << 0 << 0 << run(0, 13)
        + run(13, 0);
}

void TestGanttGrid::barPixelsInCell()
{
    QFETCH(QString, interval);
    QFETCH(int, widthTwips);
    QFETCH(QStringList, texts);
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(QString, plannedLine);

    Chart chart(interval, {texts});
    for (int c = 8; c < chart.grid->data().cols(); ++c)
        chart.grid->data().setColWidth(c, widthTwips);
    const int col = chart.column(hour, minute);
    QVERIFY(col > 0);
    chart.grid->setLeftCol(col);
    const QRect cell = chart.grid->cellRect(2, col);
    QCOMPARE(cell.height(), 20);
    QCOMPARE(cell.width(), widthTwips * 96 / 1440);

    const QImage image = chart.render();
    // Planned rows 3..9 of the cell carry the bar, row 2 and row 10 do not.
    for (int dy = 3; dy <= 9; ++dy)
        QCOMPARE(scanLine(image, cell, cell.top() + dy), plannedLine);
    QCOMPARE(scanLine(image, cell, cell.top() + 2), run(cell.width(), 0));
    QCOMPARE(scanLine(image, cell, cell.top() + 10), run(cell.width(), 0));
    // No actual texts: the lower half stays as the grid painted it.
    QCOMPARE(scanLine(image, cell, cell.top() + 14), run(cell.width(), 0));
}

void TestGanttGrid::barsFollowAnIntervalChange()
{
    Chart chart("5", {{"01:12:00", "01:15:00", "00:03:00"}});
    CmbInterval_Click(chart.grid->data(), chart.state, "10", nullptr);
    const int col = chart.column(1, 10);
    QCOMPARE(col, 8 + 6 + 1);
    chart.grid->setLeftCol(col);
    const QRect cell = chart.grid->cellRect(2, col);
    const QImage image = chart.render();
    QCOMPARE(scanLine(image, cell, cell.top() + 5), run(5, 8) + run(13, 0));
}

void TestGanttGrid::barsUseDevicePixels()
{
    Chart chart("5", {{"02:17:30", "02:40:00", "00:22:30", "02:17:30", "02:40:00", "00:22:30"}});
    const int col = chart.column(2, 15);
    chart.grid->setLeftCol(col);
    const QRect cell = chart.grid->cellRect(2, col);
    QImage image(chart.grid->viewport()->size() * 2, QImage::Format_RGB32);
    image.setDevicePixelRatio(2);
    image.fill(Qt::magenta);
    chart.grid->viewport()->render(&image);
    // At twice the pixels the cell is 52 x 40: planned rows 3..19, actual
    // 21..37, each from half the cell (p = 50, px = 26).
    const QRect device(cell.topLeft() * 2, cell.size() * 2);
    const QString planned = run(26, 26);
    QCOMPARE(scanLine(image, device, device.top() + 2), run(52, 0));
    QCOMPARE(scanLine(image, device, device.top() + 3), planned);
    QCOMPARE(scanLine(image, device, device.top() + 19), planned);
    QCOMPARE(scanLine(image, device, device.top() + 20), run(52, 0));
    QCOMPARE(scanLine(image, device, device.top() + 21), run(26, 26, 'R'));
    QCOMPARE(scanLine(image, device, device.top() + 37), run(26, 26, 'R'));
    QCOMPARE(scanLine(image, device, device.top() + 38), run(52, 0));
}

void TestGanttGrid::plannedAndActualShareARow()
{
    Chart chart("5", {{"", "", "", "00:05:00", "00:20:00", "00:15:00"}});
    const int col = chart.column(0, 10);
    const QRect cell = chart.grid->cellRect(2, col);
    QVERIFY(!cell.isEmpty());
    const QImage image = chart.render();
    // Actual rows 11..17 red over the full cell; the upper half untouched.
    for (int dy = 11; dy <= 17; ++dy)
        QCOMPARE(scanLine(image, cell, cell.top() + dy), run(0, 26, 'R'));
    QCOMPARE(scanLine(image, cell, cell.top() + 10), run(26, 0));
    QCOMPARE(scanLine(image, cell, cell.top() + 18), run(26, 0));
    QCOMPARE(scanLine(image, cell, cell.top() + 5), run(26, 0));
}

void TestGanttGrid::headerAndLeadingColumnsAreNeverPaintedOver()
{
    // A bar over the whole day on every row, scrolled to the middle.
    QList<QStringList> rows;
    for (int i = 0; i < 30; ++i)
        rows << QStringList{"", "23:59:00", "23:59:00", "", "23:59:00", "23:59:00"};
    Chart chart("1", rows);
    chart.grid->setLeftCol(600);
    chart.grid->setTopRow(10);
    const QImage image = chart.render();
    const QRect first = chart.grid->cellRect(10, 600);
    QCOMPARE(first.top(), 40);
    QVERIFY(!anyBarPixel(image, QRect(0, 0, image.width(), first.top())));
    QVERIFY(!anyBarPixel(image, QRect(0, 0, first.left(), image.height())));
    QVERIFY(anyBarPixel(image, first));
}

void TestGanttGrid::barPastMidnightRunsToTheEnd()
{
    Chart chart("12", {{"23:00:00", "25:00:00", "02:00:00"},
                       {"24:30:00", "26:00:00", "01:30:00"}});
    chart.grid->setLeftCol(chart.grid->data().cols() - 1);
    const int last = chart.grid->data().cols() - 1;
    const QRect running = chart.grid->cellRect(2, last);
    const QRect late = chart.grid->cellRect(3, last);
    QVERIFY(!running.isEmpty());
    const QImage image = chart.render();
    QCOMPARE(scanLine(image, running, running.top() + 5), run(0, 26));
    QCOMPARE(scanLine(image, late, late.top() + 5), run(26, 0));
}

void TestGanttGrid::badInputPaintsWithoutCrashing_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QSize>("size");
    QTest::newRow("letters") << "5" << QStringList{"ab:cd:ef", "xx", "yy:zz"} << QSize(800, 300);
    QTest::newRow("negative-parts") << "5" << QStringList{"00:-01:-40", "00:03:00", "00:-01:-40"}
                                    << QSize(800, 300);
    QTest::newRow("short-texts") << "5" << QStringList{"1", "2:", "3"} << QSize(800, 300);
    QTest::newRow("empty-interval") << "" << QStringList{"00:00:00", "10:00:00", "10:00:00"}
                                    << QSize(800, 300);
    QTest::newRow("zero-size-window") << "5" << QStringList{"00:00:00", "10:00:00", "10:00:00"}
                                      << QSize(0, 0);
    QTest::newRow("tiny-window") << "5" << QStringList{"00:00:00", "10:00:00", "10:00:00"}
                                 << QSize(3, 2);
}

void TestGanttGrid::badInputPaintsWithoutCrashing()
{
    QFETCH(QString, interval);
    QFETCH(QStringList, texts);
    QFETCH(QSize, size);
    Chart chart("1", {texts, texts});
    chart.state.IntervalText = interval;
    chart.grid->resize(size);
    if (size.isEmpty()) {
        QImage image(10, 10, QImage::Format_RGB32);
        chart.grid->render(&image);
    } else {
        const QImage image = chart.render();
        if (interval.isEmpty())
            QVERIFY(!anyBarPixel(image, image.rect()));
    }
    chart.grid->setTopRow(3);
    chart.grid->setLeftCol(100);
    QVERIFY(chart.grid->topRow() >= 2);
}

void TestGanttGrid::redrawOffPaintsNothing()
{
    Chart chart("5", {{"", "23:00:00", "23:00:00"}});
    chart.grid->setRedraw(false);
    chart.grid->data().setText(2, 1, "changed");
    const QImage off = chart.render();
    QVERIFY(!anyBarPixel(off, off.rect()));
    chart.grid->setRedraw(true);
    const QImage on = chart.render();
    QVERIFY(anyBarPixel(on, on.rect()));
}

void TestGanttGrid::scrollPositionReadsBackClamped_data()
{
    QTest::addColumn<int>("setRow");
    QTest::addColumn<int>("setCol");
    QTest::addColumn<int>("topRow");
    QTest::addColumn<int>("leftCol");
    // 400 pixels high: 2 header rows and 18 body rows fit; 50 rows + 2 fixed.
    QTest::newRow("inside") << 10 << 100 << 10 << 100;
    QTest::newRow("above-first-body-row") << 0 << 8 << 2 << 8;
    QTest::newRow("past-last-page") << 500 << 9999 << 52 - 18 << -1;
}

void TestGanttGrid::scrollPositionReadsBackClamped()
{
    QFETCH(int, setRow);
    QFETCH(int, setCol);
    QFETCH(int, leftCol);
    QList<QStringList> rows;
    for (int i = 0; i < 50; ++i)
        rows << QStringList{"01:00:00"};
    Chart chart("1", rows);
    chart.grid->setTopRow(setRow);
    chart.grid->setLeftCol(setCol);
    QTEST(chart.grid->topRow(), "topRow");
    if (leftCol < 0) {
        // The last column sits at the right edge of the viewport.
        const QRect last = chart.grid->cellRect(chart.grid->topRow(), 1447);
        QVERIFY(!last.isEmpty());
        QVERIFY(last.right() < chart.grid->viewport()->width());
        QVERIFY(chart.grid->viewport()->width() - last.right() <= 26);
    } else {
        QCOMPARE(chart.grid->leftCol(), leftCol);
    }
}

void TestGanttGrid::keyboardAndWheelScroll()
{
    QList<QStringList> rows;
    for (int i = 0; i < 50; ++i)
        rows << QStringList{"01:00:00"};
    Chart chart("1", rows);
    chart.grid->data().select(2, 1);
    for (int i = 0; i < 20; ++i)
        QTest::keyClick(chart.grid.get(), Qt::Key_Down);
    QCOMPARE(chart.grid->data().row(), 22);
    QCOMPARE(chart.grid->topRow(), 22 - 18 + 1);

    const int left = chart.grid->leftCol();
    QWheelEvent sideways(QPointF(500, 200), QPointF(500, 200), QPoint(), QPoint(0, -120),
                         Qt::NoButton, Qt::ShiftModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart.grid->viewport(), &sideways);
    QCOMPARE(chart.grid->leftCol(), left + 3);
    const int top = chart.grid->topRow();
    QWheelEvent down(QPointF(500, 200), QPointF(500, 200), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart.grid->viewport(), &down);
    QCOMPARE(chart.grid->topRow(), top + 3);
}

void TestGanttGrid::formResizePlacesAndSharesWidth_data()
{
    QTest::addColumn<QSize>("client");
    QTest::addColumn<bool>("fit");
    QTest::addColumn<int>("widthTwips");
    QTest::addColumn<int>("heightTwips");
    QTest::addColumn<int>("keyWidth"); // column 1, -1: unchanged
    QTest::addColumn<int>("unit");
    // 1000 px = 15000 twips; less 5 and read back through whole pixels.
    QTest::newRow("fit-1000x700") << QSize(1000, 700) << true << 14985 << 9600 << 4 * 1045 << 1045;
    QTest::newRow("no-fit-keeps-widths") << QSize(1000, 700) << false << 14985 << 9600 << -1 << -1;
    QTest::newRow("minimised-still-positive") << QSize(0, 0) << false << 0 << 900 << -1 << -1;
    QTest::newRow("minimised-fit") << QSize(0, 0) << true << 0 << 900 << 100 << 25;
}

void TestGanttGrid::formResizePlacesAndSharesWidth()
{
    QFETCH(QSize, client);
    QFETCH(bool, fit);
    QFETCH(int, keyWidth);
    QFETCH(int, unit);
    Chart chart("5");
    const int before = chart.grid->data().colWidth(1);
    Form_Resize(*chart.grid, client, fit);
    QCOMPARE(chart.grid->leftTwips(), 0);
    QCOMPARE(chart.grid->topTwips(), 600);
    QTEST(chart.grid->widthTwips(), "widthTwips");
    QTEST(chart.grid->heightTwips(), "heightTwips");
    if (keyWidth < 0) {
        QCOMPARE(chart.grid->data().colWidth(1), before);
    } else {
        QCOMPARE(chart.grid->data().colWidth(1), keyWidth);
        for (int c = 2; c <= 7; ++c)
            QCOMPARE(chart.grid->data().colWidth(c), unit);
    }
}

void TestGanttGrid::hiddenColumnTakesNoRoom()
{
    Chart chart("5", {{"00:00:00", "01:00:00", "01:00:00"}});
    const QRect before = chart.grid->cellRect(2, 8);
    ShowCol_Click(chart.grid->data(), 2, 0);
    QVERIFY(chart.grid->cellRect(2, 4).isEmpty());
    const QRect after = chart.grid->cellRect(2, 8);
    QCOMPARE(before.left() - after.left(), 1050 * 96 / 1440);
    // The bar still reads the hidden duration text.
    const QImage image = chart.render();
    QCOMPARE(scanLine(image, after, after.top() + 5), run(0, 26));
}

QTEST_MAIN(TestGanttGrid)
#include "tst_ganttgrid.moc"
