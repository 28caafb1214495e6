#include "chartclock.h"
#include "ganttaccessible.h"
#include "ganttbars.h"
#include "griddata.h"
#include "gridgeometry.h"
#include "gridlayout.h"
#include "overlaypainter.h"
#include "panepainter.h"
#include "testchart.h"
#include "texts.h"

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <QWheelEvent>

using namespace vorn;
using namespace vorn::chart;

namespace {

// A test chart of 1000 x 400 pixels with one detail row per entry of `rows` (up to six time texts).
struct Chart : vorn::test::TestChart {
    explicit Chart(const QString &intervals, const QList<QStringList> &rows = {}) : TestChart({1000, 400}, intervals)
    {
        GridData &d = grid->data();
        for (const QStringList &texts : rows) {
            d.addItem(u"\tM1");
            for (int i = 0; i < texts.size(); ++i)
                d.setText(d.rows() - 1, 2 + i, texts[i]);
        }
    }
};

// One pixel line of a cell: 'B' blue, 'R' red, '.' anything else.
QString scanLine(const QImage &image, const QRect &cell, int dy)
{
    QString line;
    for (int x = cell.left(); x <= cell.right(); ++x) {
        const QRgb p = image.pixel(x, cell.top() + dy) & 0xFFFFFF;
        line += p == 0x0000FF ? u'B' : p == 0xFF0000 ? u'R' : u'.';
    }
    return line;
}

QString run(int dots, int bars, char bar = 'B')
{
    return QString(dots, u'.') + QString(bars, QLatin1Char(bar));
}

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

// What a screen reader would have been told, as "Focus 3" (event and child index).
QStringList g_events;

void RecordEvent(QAccessibleEvent *event)
{
    if (event->type() == QAccessible::Focus || event->type() == QAccessible::TableModelChanged)
        g_events << QStringLiteral("%1 %2").arg(event->type() == QAccessible::Focus ? "Focus" : "Reset")
                        .arg(event->child());
}

// A grid at a 12-minute interval with header texts in the leading columns
// and one detail row per entry (key, then up to six time texts).
struct AccessibleChart : vorn::test::TestChart {
    explicit AccessibleChart(const QList<QStringList> &rows) : TestChart({800, 300}, QStringLiteral("12"), InstallGanttAccessibility)
    {
        GridData &d = grid->data();
        const QStringList row0{"", "Machine/Part", "Planned", "Planned", "Planned", "Actual", "Actual", "Actual"};
        const QStringList row1{"", "", "Start", "Finish", "Duration", "Start", "Finish", "Duration"};
        for (int c = 0; c < 8; ++c) {
            d.setText(0, c, row0[c]);
            d.setText(1, c, row1[c]);
        }
        for (const QStringList &texts : rows)
            d.addItem(QString(u'\t' + texts.join(u'\t')));
        QApplication::setActiveWindow(grid.get());
        grid->setFocus();
        QCoreApplication::processEvents();
    }

    QAccessibleInterface *table() const { return QAccessible::queryAccessibleInterface(grid.get()); }
};

QString cellText(QAccessibleInterface *cell, QAccessible::Text t = QAccessible::Name)
{
    return cell ? cell->text(t) : QStringLiteral("<none>");
}

} // namespace

// The bars of the time-scale cells: their geometry and the pixels the grid paints;
// also the panes' header lines, outline marks and time-scale callbacks on their own.
// And what the grid tells a screen reader: a table of its body rows, each
// row's bars in words, the moves a user makes.
class TestGanttGrid : public QObject {
    Q_OBJECT

private slots:
    void readsTimeText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pieces"); // hour|minute|second
        QTest::addColumn<int>("seconds");
        QTest::newRow("regular") << "02:17:30" << "02|17|30" << 8250;
        QTest::newRow("cut-in-minutes") << "01:2" << "01|2|" << 3720;
        QTest::newRow("negative-parts-cut-by-position") << "00:-01:-40" << "00|-0|:-" << 0;
        // Each piece: leading blanks, a sign and the digits that follow; anything else reads 0.
        QTest::newRow("blank-sign-letters") << " 1:-4:ab" << " 1|-4|ab" << 3360;
        QTest::newRow("one-digit-hour") << "1:23:45" << "1:|3:|5" << 3785;
    }

    void readsTimeText()
    {
        QFETCH(QString, text);
        QTEST(QStringList({HourPart(text).toString(), MinutePart(text).toString(), SecondPart(text).toString()})
                  .join(u'|'), "pieces");
        QTEST(int(TextSeconds(text)), "seconds");
    }

    void barRows_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<QList<int>>("bands"); // planned top, bottom; actual top, bottom
        // 10.5 and 11.5 both round to the even neighbour.
        QTest::newRow("odd-height-21") << 21 << QList<int>{103, 110, 111, 118};
        QTest::newRow("odd-height-23") << 23 << QList<int>{103, 112, 113, 122};
    }

    void barRows()
    {
        QFETCH(int, height);
        const BarBands b = BarRows(100, 100 + height);
        QTEST((QList<int>{b.plannedTop, b.plannedBottom, b.actualTop, b.actualBottom}), "bands");
    }

    void cellBarsStayInsideTheCell_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("finish");
        QTest::newRow("minutes-beyond-59") << "02:99:00" << "02:99:99";
        QTest::newRow("negative-minutes") << "02:-9:00" << "02:10:00";
        QTest::newRow("hours-in-the-past") << "-9:00:00" << "99:00:00";
    }

    // Bad texts can put a bar edge outside its cell; it must be clipped there.
    void cellBarsStayInsideTheCell()
    {
        QFETCH(QString, start);
        QFETCH(QString, finish);
        const BarTexts bar{start, finish, u"01:00:00"};
        for (int minute = 0; minute < 60; minute += 5) {
            const CellBars bars = ComputeCellBars(bar, bar, u"2", QString::number(minute), 5.0, 100, 40, 126, 60);
            const QRect both = bars.planned | bars.actual;
            QVERIFY(both.isNull() || QRect(100, 40, 26, 20).contains(both));
        }
    }

    void barPixelsInCell_data()
    {
        QTest::addColumn<QString>("intervals");
        QTest::addColumn<int>("widthTwips"); // of every time column
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("column");  // hour:minute
        QTest::addColumn<QString>("planned"); // pixel rows 3..9 of the cell
        QTest::addColumn<QString>("actual");  // pixel rows 11..17

        const QStringList example{"02:17:30", "02:40:00", "00:22:30"};
        const QString none = run(26, 0), full = run(0, 26);
        QTest::newRow("i5-2:10-before-start") << "5" << 400 << example << "2:10" << none << none;
        QTest::newRow("i5-2:15-right-half") << "5" << 400 << example + example << "2:15" << run(13, 13)
                                            << run(13, 13, 'R');
        QTest::newRow("i5-2:40-touches-but-nothing-visible") << "5" << 400 << example << "2:40" << none << none;
        QTest::newRow("i10-after-i5-1:10-inside-the-cell")
            << "5>10" << 400 << QStringList{"01:12:00", "01:15:00", "00:03:00"} << "1:10" << run(5, 8) + run(13, 0)
            << none;
        // 405 twips are 27 pixels; half of them rounds to 14.
        QTest::newRow("27px-at-50-percent") << "5" << 405 << example << "2:15" << run(14, 13) << run(27, 0);
        // The percent is of the column span: 1 s of 60 s is 2 percent.
        QTest::newRow("i1-one-second-in") << "1" << 400 << QStringList{"00:00:01", "00:00:30", "00:00:29"} << "0:0"
                                          << run(1, 12) + run(13, 0) << none;
        QTest::newRow("start-in-earlier-hour") << "5" << 400 << QStringList{"01:58:00", "02:30:00", "00:32:00"}
                                               << "2:0" << full << none;
        QTest::newRow("planned-duration-empty-actual-drawn")
            << "5" << 400 << QStringList{"02:17:30", "02:40:00", ""} + example << "2:20" << none << run(0, 26, 'R');
        QTest::newRow("duration-zero-no-bar")
            << "5" << 400 << QStringList{"02:17:30", "02:40:00", "00:00:00"} << "2:20" << none << none;
        QTest::newRow("empty-start-from-left-of-0:00")
            << "5" << 400 << QStringList{"", "00:02:30", "00:02:30"} << "0:0" << run(0, 13) + run(13, 0) << none;
        QTest::newRow("past-24h-runs-to-the-end")
            << "12" << 400 << QStringList{"23:00:00", "25:00:00", "02:00:00"} << "23:48" << full << none;
        // The last column ends at 24:00:00 and touches such a start: still no bar.
        QTest::newRow("start-at-24h-not-drawn")
            << "12" << 400 << QStringList{"24:00:00", "26:00:00", "02:00:00", "24:00:00", "24:30:00", "00:30:00"} << "23:48"
            << none << none;
        QTest::newRow("start-past-24h-not-drawn")
            << "12" << 400 << QStringList{"24:30:00", "26:00:00", "01:30:00"} << "23:48" << none << none;
        // Group summaries can carry negative parts; they read like any piece.
        QTest::newRow("negative-duration-text-draws") << "5" << 400 << QStringList{"00:01:40", "00:03:00", "00:-01:-40"}
                                                      << "0:0" << run(9, 7) + run(10, 0) << none;
    }

    void barPixelsInCell()
    {
        QFETCH(QString, intervals);
        QFETCH(int, widthTwips);
        QFETCH(QStringList, texts);
        QFETCH(QString, column);
        Chart chart(intervals, {texts});
        GridData &d = chart.grid->data();
        for (int c = 8; c < d.cols(); ++c)
            d.setColWidth(c, widthTwips);
        // The column found by its header labels.
        int col = d.cols() - 1;
        while (col > 8 && d.text(0, col) + u':' + d.text(1, col) != column)
            --col;
        chart.grid->setLeftCol(col);
        const QRect cell = chart.grid->cellRect(2, col);
        QCOMPARE(cell.size(), QSize(widthTwips * 96 / 1440, 20));

        const QImage image = chart.render();
        for (int dy = 3; dy <= 17; ++dy) {
            if (dy != 10)
                QTEST(scanLine(image, cell, dy), dy < 10 ? "planned" : "actual");
        }
        for (const int dy : {2, 10, 18})
            QCOMPARE(scanLine(image, cell, dy), run(cell.width(), 0));
    }

    void barsUseDevicePixels()
    {
        Chart chart("5", {{"02:17:30", "02:40:00", "00:22:30", "02:17:30", "02:40:00", "00:22:30"}});
        chart.grid->setLeftCol(8 + 27);
        const QRect cell = chart.grid->cellRect(2, 8 + 27); // 2:15
        const QImage image = chart.render(2);
        // At twice the pixels the cell is 52 x 40: planned rows 3..19, actual 21..37, each from half the cell.
        const QRect device(cell.topLeft() * 2, cell.size() * 2);
        QStringList lines;
        for (const int dy : {2, 3, 19, 20, 21, 37, 38})
            lines << scanLine(image, device, dy);
        QCOMPARE(lines, QStringList({run(52, 0), run(26, 26), run(26, 26), run(52, 0), run(26, 26, 'R'),
                                     run(26, 26, 'R'), run(52, 0)}));
    }

    void keepsThePictureOnScreenWithRedrawOff_data()
    {
        QTest::addColumn<QString>("exposure");
        QTest::addColumn<bool>("kept");
        QTest::newRow("repainted-keeps-it") << "repaint" << true;
        QTest::newRow("hidden-and-shown-again-keeps-it") << "show" << true;
        QTest::newRow("resized-keeps-it-where-it-fits") << "resize" << true;
        QTest::newRow("rendered-elsewhere-paints-the-data") << "render" << false;
    }

    void keepsThePictureOnScreenWithRedrawOff()
    {
        // While redraw is off the data changes (a fill's rows, or none at all
        // while its "Open Failed" box stands), but a grid exposed meanwhile shows
        // the window's last picture, never an empty area. The picture lives in
        // the window's backing store, which a paint that paints nothing leaves
        // as it was. CTest runs this once more at twice the pixel ratio.
        QFETCH(QString, exposure);
        QFETCH(bool, kept);
        Chart chart("1", QList<QStringList>(30, {"", "23:59:00", "23:59:00", "", "23:59:00", "23:59:00"}));
        GanttGrid &grid = *chart.grid;
        grid.hide();
        grid.setAttribute(Qt::WA_DontShowOnScreen, false);
        grid.resize(340, 260); // on the smallest screen the platform offers, at either ratio, when grown
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        const auto onScreen = [&] {
            QCoreApplication::processEvents();
            // At a ratio above 1 the offscreen platform hands out only the
            // window's top left corner (its logical size in device pixels); the
            // texts that change below lie in it.
            return grid.screen()->grabWindow(grid.winId()).toImage().convertToFormat(QImage::Format_RGB32);
        };
        const QImage shown = onScreen();
        QVERIFY(!shown.isNull());
        const QRect before(QPoint(), grid.size() * grid.devicePixelRatio());

        grid.setRedraw(false);
        for (int r = 2; r < grid.data().rows(); ++r) {
            for (int c = 1; c < 8; ++c)
                grid.data().setText(r, c, "");
        }
        if (exposure == u"repaint") {
            grid.viewport()->repaint();
        } else if (exposure == u"show") {
            grid.hide();
            grid.show();
            QVERIFY(QTest::qWaitForWindowExposed(&grid));
        } else if (exposure == u"resize") {
            grid.resize(grid.width() + 40, grid.height() + 40);
        }
        const QImage exposed = exposure == u"render" ? chart.render(grid.devicePixelRatio()) : onScreen();
        QVERIFY(exposure != u"render" || onScreen() == shown);

        // Redraw on: the data as it is now. Painted elsewhere, the grid painted just that.
        grid.setRedraw(true);
        const QImage now = onScreen();
        QVERIFY(now != shown);
        const QRect corner(QPoint(), exposed.size().boundedTo(now.size()).boundedTo(shown.size()));
        QCOMPARE(exposed.copy(corner), (kept ? shown : now).copy(corner));
        // Where the kept picture does not reach: the background, no half-built rows.
        for (int y = 0; y < exposed.height(); ++y) {
            for (int x = 0; x < exposed.width(); ++x)
                QVERIFY(before.contains(x, y) || exposed.pixel(x, y) == qRgb(255, 255, 255));
        }
    }

    void repaintsTheRowsThatChangedAndShow_data()
    {
        // The grid shows rows 2..20 of 60 (rows 20 pixels high under a 40-pixel header).
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("repainted");   // "" nothing, "all", or "row N"

        QTest::newRow("shown-row-text") << "text 5" << "row 5";
        QTest::newRow("row-out-of-sight") << "text 40" << "";
        QTest::newRow("same-text-again") << "same 5" << "";
        QTest::newRow("shown-row-while-redraw-off-painted-when-on") << "off-text 5" << "row 5";
        QTest::newRow("nothing-while-redraw-off") << "off-nothing" << "";
        QTest::newRow("rows-added") << "rows 61" << "all";
    }

    void repaintsTheRowsThatChangedAndShow()
    {
        QFETCH(QString, change);
        Chart chart("1", QList<QStringList>(58, {"01:00:00", "02:00:00", "01:00:00"}));
        // Painted through the window system, as the window paints it.
        chart.grid->hide();
        chart.grid->setAttribute(Qt::WA_DontShowOnScreen, false);
        chart.grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(chart.grid.get()));
        QCoreApplication::processEvents();
        vorn::test::PaintLog log(chart.grid->viewport());
        GridData &data = chart.grid->data();
        const QStringList step = change.split(u' ');
        const int row = step.value(1).toInt();

        if (step[0] == u"text") {
            data.setText(row, 2, QStringLiteral("03:00:00"));
        } else if (step[0] == u"same") {
            data.setText(row, 2, QStringLiteral("01:00:00"));
        } else if (step[0].startsWith(u"off")) {
            chart.grid->setRedraw(false);
            if (step[0] == u"off-text")
                data.setText(row, 2, QStringLiteral("03:00:00"));
            QTest::qWait(20);
            chart.grid->setRedraw(true);
        } else if (step[0] == u"rows") {
            data.setRows(row);
        }
        QTest::qWait(50);

        const QRect rowStrip(0, 40 + (row - 2) * 20, chart.grid->viewport()->width(), 20);
        QString seen;
        if (log.rects.contains(chart.grid->viewport()->rect()))
            seen = QStringLiteral("all");
        else if (log.rects == QList<QRect>{rowStrip})
            seen = QStringLiteral("row %1").arg(row);
        else if (!log.rects.isEmpty())
            seen = QStringLiteral("other");
        QTEST(seen, "repainted");
    }

    void badInputPaintsWithoutCrashing_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QSize>("size");
        const QStringList tenHours{"00:00:00", "10:00:00", "10:00:00"};
        QTest::newRow("letters") << "5" << QStringList{"ab:cd:ef", "xx", "yy:zz"} << QSize(800, 300);
        QTest::newRow("empty-interval-no-bars") << "" << tenHours << QSize(800, 300);
        QTest::newRow("tiny-window") << "5" << tenHours << QSize(3, 2);
    }

    void badInputPaintsWithoutCrashing()
    {
        QFETCH(QString, interval);
        QFETCH(QStringList, texts);
        QFETCH(QSize, size);
        Chart chart("1", {texts, texts});
        chart.state.IntervalText = interval;
        chart.grid->resize(size);
        const QImage image = chart.render();
        QVERIFY(!interval.isEmpty() || !(vorn::test::anyPixel(image, image.rect(), 0x0000FF) || vorn::test::anyPixel(image, image.rect(), 0xFF0000)));
    }

    void scrollsByWholeRowsAndColumns()
    {
        // 400 pixels high: 2 header rows and 18 body rows fit; 50 rows + 2 fixed.
        Chart chart("1", QList<QStringList>(50, {"01:00:00"}));
        chart.grid->setTopRow(0);
        QCOMPARE(chart.grid->topRow(), 2);
        chart.grid->setTopRow(500);
        chart.grid->setLeftCol(9999);
        QCOMPARE(chart.grid->topRow(), 52 - 18);
        // The last column sits at the right edge of the viewport.
        const QRect last = chart.grid->cellRect(chart.grid->topRow(), 1447);
        QVERIFY(!last.isEmpty() && last.right() < 1000 && last.right() >= 1000 - 26);

        chart.grid->setTopRow(2);
        chart.grid->setLeftCol(100);
        chart.grid->data().select(2, 1);
        for (int i = 0; i < 20; ++i)
            QTest::keyClick(chart.grid.get(), Qt::Key_Down);
        QCOMPARE(chart.grid->data().row(), 22);
        QCOMPARE(chart.grid->topRow(), 22 - 18 + 1);
        const auto wheel = [&](int dy, Qt::KeyboardModifier modifier) {
            QWheelEvent event(QPointF(500, 200), QPointF(500, 200), QPoint(), QPoint(0, dy), Qt::NoButton, modifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(chart.grid->viewport(), &event);
        };
        wheel(-120, Qt::ShiftModifier);
        wheel(-120, Qt::NoModifier);
        // Shift+wheel goes sideways; each notch is three rows or columns.
        QCOMPARE(chart.grid->leftCol(), 103);
        QCOMPARE(chart.grid->topRow(), 22 - 18 + 1 + 3);
        // A touchpad sends the same notch in small steps; none may be lost.
        for (int step = 0; step < 8; ++step)
            wheel(-15, Qt::NoModifier);
        QCOMPARE(chart.grid->topRow(), 22 - 18 + 1 + 6);
    }

    void formResizePlacesAndSharesTheWidth_data()
    {
        QTest::addColumn<QSize>("client");
        QTest::addColumn<QSize>("sizeTwips");
        QTest::addColumn<int>("unit"); // width of columns 2..7, column 1 four of them
        // 1000 px = 15000 twips; less 5 and read back through whole pixels.
        QTest::newRow("fit-1000x700") << QSize(1000, 700) << QSize(14985, 9600) << 1045;
        QTest::newRow("minimised-fit") << QSize(0, 0) << QSize(0, 900) << 25;
    }

    void formResizePlacesAndSharesTheWidth()
    {
        QFETCH(QSize, client);
        QFETCH(int, unit);
        Chart chart("5");
        FitGridToClient(*chart.grid, client, true);
        QCOMPARE(QPoint(chart.grid->leftTwips(), chart.grid->topTwips()), QPoint(0, 600));
        QTEST(QSize(chart.grid->widthTwips(), chart.grid->heightTwips()), "sizeTwips");
        QList<int> widths;
        for (int c = 1; c <= 7; ++c)
            widths << chart.grid->data().colWidth(c);
        QCOMPARE(widths, QList<int>({4 * unit, unit, unit, unit, unit, unit, unit}));
    }

    void barReadsAHiddenDuration()
    {
        Chart chart("5", {{"00:00:00", "01:00:00", "01:00:00"}});
        ShowTimeColumn(chart.grid->data(), 2, 2); // greyed hides as unchecked does
        QVERIFY(chart.grid->cellRect(2, 4).isEmpty());
        QCOMPARE(scanLine(chart.render(), chart.grid->cellRect(2, 8), 5), run(0, 26));
    }

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
        const View view;
        const QImage image = view.paint({});
        const QRect cell = view.geometry.cellRect(0, col, {image.size(), 0, view.data.fixedCols()});
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

    void initTestCase()
    {
        SetAccessibleNoticeSink(RecordEvent);
    }
    void init() { g_events.clear(); }

    // What a row's cell says about its bars; while the live overlays are on
    // also how late a running operation is, and its group how many are.
    void rowBarsDescription_data()
    {
        QTest::addColumn<QStringList>("times"); // of the operation and its group
        QTest::addColumn<qint32>("language");
        QTest::addColumn<int>("now");     // seconds of the day; -1: overlays off
        QTest::addColumn<bool>("group");  // ask the group row, not the operation
        QTest::addColumn<QString>("said");

        const QStringList running{"06:00:00", "06:30:00", "00:30:00", "06:00:00", "", ""};
        const QString runningSaid = "Planned 06:00:00 to 06:30:00, actual 06:00:00, running";
        QTest::newRow("finished-operation")
            << QStringList{"06:00:03", "06:58:14", "00:58:11", "06:13:43", "07:02:00", ""} << LanguageEnglish << -1
            << false << "Planned 06:00:03 to 06:58:14, actual 06:13:43 to 07:02:00";
        QTest::newRow("no-actual-start") << QStringList{"06:00:03", "06:58:14"} << LanguageEnglish << -1 << false
                                         << "Planned 06:00:03 to 06:58:14, not started";
        QTest::newRow("no-planned-times") << QStringList{"", "", "", "06:13:43", "06:20:00"} << LanguageEnglish << -1
                                          << false << "actual 06:13:43 to 06:20:00";
        QTest::newRow("chinese-interface")
            << QStringList{"06:00:03", "06:58:14", "", "06:13:43", "", ""} << LanguageChinese << -1 << false
            << "计划 06:00:03 至 06:58:14，实际 06:13:43，运行中";
        QTest::newRow("late-but-overlays-off") << running << LanguageEnglish << -1 << false << runningSaid;
        QTest::newRow("within-the-planned-duration")
            << running << LanguageEnglish << 6 * 3600 + 1200 << false << runningSaid;
        QTest::newRow("seconds-late-count-as-a-minute")
            << running << LanguageEnglish << 6 * 3600 + 1830 << false << runningSaid + ", 1 min late";
        QTest::newRow("whole-minutes-late")
            << running << LanguageEnglish << 6 * 3600 + 1800 + 4 * 60 + 59 << false << runningSaid + ", 4 min late";
        QTest::newRow("group-counts-its-late-operations")
            << running << LanguageEnglish << 6 * 3600 + 2400 << true << runningSaid + ", 1 late";
    }

    void rowBarsDescription()
    {
        QFETCH(QStringList, times);
        QFETCH(qint32, language);
        QFETCH(int, now);
        QFETCH(bool, group);
        AccessibleChart chart({QStringList{"M1"} + times, QStringList{"P1"} + times});
        chart.grid->data().setRowOutlineLevel(3, 1);
        const ChartClock clock = ChartClock::frozen(qint64(std::max(0, now)) * 1000);
        OverlayPainter overlay(clock);
        overlay.setEnabled(now >= 0);
        chart.grid->setOverlay(&overlay);
        SetLanguage(language);
        const QString description =
            cellText(chart.table()->tableInterface()->cellAt(group ? 0 : 1, 1), QAccessible::Description);
        SetLanguage(LanguageEnglish);
        chart.grid->setOverlay(nullptr);
        QTEST(description, "said");
        QCOMPARE(RowBarsDescription(chart.grid->data(), 1), QString()); // a header row has no bars
    }

    // Rows of a collapsed group are not in the table; the keys step over
    // them and what is announced is the row's place among the shown ones.
    void collapsedRowsAreLeftOut()
    {
        AccessibleChart chart({{"M1", "06:00:00"}, {"P1"}, {"P2"}, {"M2"}, {"P3"}});
        GridData &d = chart.grid->data();
        g_events.clear();
        d.setRowHidden(3, true);
        d.setRowHidden(4, true);
        QCoreApplication::processEvents();
        QCOMPARE(g_events, QStringList{"Reset -1"});
        QAccessibleTableInterface *t = chart.table()->tableInterface();
        QCOMPARE(t->rowCount(), 3);
        QCOMPARE(chart.table()->childCount(), 3 * t->columnCount());
        QCOMPARE(t->rowDescription(1), "M2");
        QAccessibleInterface *p3 = t->cellAt(2, 1);
        QCOMPARE(cellText(p3), "P3");
        QCOMPARE(p3->tableCellInterface()->rowIndex(), 2);
        QCOMPARE(t->cellAt(3, 1), nullptr);

        d.select(2, 1);
        g_events.clear();
        QTest::keyClick(chart.grid.get(), Qt::Key_Down);
        QCOMPARE(d.row(), 5);
        QAccessibleInterface *m2 = t->cellAt(1, 1);
        QCOMPARE(g_events, QStringList{QStringLiteral("Focus %1").arg(chart.table()->indexOfChild(m2))});
        QCOMPARE(chart.table()->indexOfChild(m2), 1 * t->columnCount() + 1);
    }

    void gridIsATableOfItsBodyRows()
    {
        AccessibleChart chart({{"M1", "06:00:00", "07:00:00"}, {"P1", "06:00:00", "06:30:00", "", "06:10:00"}});
        chart.grid->data().setColHidden(3, true); // planned finish hidden by its check box
        QAccessibleInterface *table = chart.table();
        QCOMPARE(table->role(), QAccessible::Table);
        QCOMPARE(table->text(QAccessible::Name), "Schedule chart");
        QAccessibleTableInterface *t = table->tableInterface();
        QCOMPARE(t->rowCount(), 2);
        QCOMPARE(t->columnCount(), chart.grid->data().cols() - 1);
        QCOMPARE(t->rowDescription(1), "P1");
        QCOMPARE(t->columnDescription(2), "Planned Start");
        QCOMPARE(t->columnDescription(3), "Planned Duration"); // the hidden column is skipped

        QAccessibleInterface *cell = t->cellAt(1, 2);
        QCOMPARE(cellText(cell), "06:00:00");
        QCOMPARE(cellText(cell, QAccessible::Description), "Planned 06:00:00 to 06:30:00, actual 06:10:00, running");
        QCOMPARE(cell->role(), QAccessible::Cell);
        QAccessibleTableCellInterface *c = cell->tableCellInterface();
        QCOMPARE(QPoint(c->columnIndex(), c->rowIndex()), QPoint(2, 1));
        QStringList headers;
        for (QAccessibleInterface *h : c->columnHeaderCells())
            headers << h->text(QAccessible::Name) + "/" + QString::number(h->role() == QAccessible::ColumnHeader);
        QCOMPARE(headers.join(u','), "Planned/1,Start/1");
        QCOMPARE(c->rowHeaderCells().size(), 1);
        QCOMPARE(cellText(c->rowHeaderCells().first()), "P1");
        QCOMPARE(table->indexOfChild(cell), 1 * t->columnCount() + 2);
        QCOMPARE(table->child(table->indexOfChild(cell)), cell);
        QCOMPARE(cell->parent(), table);
    }

    void userMovesAreAnnouncedTicksAreNot_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("row"); // grid row and column of the new current cell
        QTest::addColumn<int>("col");

        QTest::newRow("down") << int(Qt::Key_Down) << 4 << 1;
        QTest::newRow("right") << int(Qt::Key_Right) << 3 << 2;
        QTest::newRow("page-down-stops-at-last-row") << int(Qt::Key_PageDown) << 4 << 1;
        QTest::newRow("home-stays-on-the-row") << int(Qt::Key_Home) << 3 << 0;
        QTest::newRow("end-stays-on-the-row") << int(Qt::Key_End) << 3 << -1; // -1: the last column
        QTest::newRow("ctrl-home-goes-to-the-first-row") << int(Qt::Key_Home | Qt::ControlModifier) << 2 << 0;
    }

    void userMovesAreAnnouncedTicksAreNot()
    {
        QFETCH(int, key);
        QFETCH(int, row);
        QFETCH(int, col);
        AccessibleChart chart({{"M1", "06:00:00"}, {"P1"}, {"P2"}});
        QVERIFY(g_events.contains("Reset -1")); // rows came: cells are asked again
        g_events.clear();
        chart.grid->data().select(3, 1); // where a tick leaves it
        QCoreApplication::processEvents();
        QCOMPARE(g_events, QStringList());

        QTest::keyClick(chart.grid.get(), Qt::Key(key & ~Qt::KeyboardModifierMask),
                        Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
        QAccessibleTableInterface *t = chart.table()->tableInterface();
        if (col < 0)
            col = t->columnCount() - 1;
        QAccessibleInterface *current = t->cellAt(row - 2, col);
        QCOMPARE(g_events, QStringList{QStringLiteral("Focus %1").arg(chart.table()->indexOfChild(current))});
        QCOMPARE(chart.table()->focusChild(), current);
        QVERIFY(current->state().focused);
        QCOMPARE(t->selectedCells(), QList<QAccessibleInterface *>{current});

        g_events.clear();
        chart.grid->data().select(2, 1);
        QCoreApplication::processEvents();
        QVERIFY(g_events.isEmpty());
    }
};

QTEST_MAIN(TestGanttGrid)
#include "tst_ganttgrid.moc"
