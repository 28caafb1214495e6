#include "ganttbars.h"
#include "testchart.h"
#include "testfiles.h"

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
        for (const QStringList &texts : rows)
            vorn::test::layOut(grid->data(), {"D:M1|" + texts.join(u'|')});
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

} // namespace

// The bars of the time-scale cells: their geometry and the pixels the grid paints.
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

    // The pixel lines 2 to 18 of one cell, compared whole with tests/chart/data/bars-TAG.txt: the
    // planned bar on lines 3-9, the actual one on 11-17, nothing on 2, 10 and 18.
    void barPixelsInCell_data()
    {
        QTest::addColumn<QString>("intervals");
        QTest::addColumn<int>("widthTwips"); // of every time column
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("column");  // hour:minute

        const QStringList example{"02:17:30", "02:40:00", "00:22:30"};
        QTest::newRow("i5-at-2h10-before-start") << "5" << 400 << example << "2:10";
        QTest::newRow("i5-at-2h15-right-half") << "5" << 400 << example + example << "2:15";
        QTest::newRow("i5-at-2h40-touches-but-nothing-visible") << "5" << 400 << example << "2:40";
        QTest::newRow("i10-after-i5-at-1h10-inside-the-cell")
            << "5>10" << 400 << QStringList{"01:12:00", "01:15:00", "00:03:00"} << "1:10";
        // 405 twips are 27 pixels; half of them rounds to 14.
        QTest::newRow("27px-at-50-percent") << "5" << 405 << example << "2:15";
        // 1500 twips are 100 pixels, a pixel for each percent of the span: the
        // planned bar starts, and the actual one ends, 10 s from the cell's edge.
        QTest::newRow("i5-100px-ten-seconds-from-the-edges") << "5" << 1500
            << QStringList{"02:19:50", "02:40:00", "00:20:10", "02:10:00", "02:15:10", "00:05:10"} << "2:15";
        // The percent is of the column span: 1 s of 60 s is 2 percent.
        QTest::newRow("i1-one-second-in") << "1" << 400 << QStringList{"00:00:01", "00:00:30", "00:00:29"} << "0:0";
        QTest::newRow("start-in-earlier-hour") << "5" << 400 << QStringList{"01:58:00", "02:30:00", "00:32:00"} << "2:0";
        QTest::newRow("planned-duration-empty-actual-drawn")
            << "5" << 400 << QStringList{"02:17:30", "02:40:00", ""} + example << "2:20";
        QTest::newRow("duration-zero-no-bar") << "5" << 400 << QStringList{"02:17:30", "02:40:00", "00:00:00"} << "2:20";
        QTest::newRow("empty-start-from-left-of-0h00") << "5" << 400 << QStringList{"", "00:02:30", "00:02:30"} << "0:0";
        QTest::newRow("past-24h-runs-to-the-end")
            << "12" << 400 << QStringList{"23:00:00", "25:00:00", "02:00:00"} << "23:48";
        // The last column ends at 24:00:00 and touches such a start: still no bar.
        QTest::newRow("start-at-24h-not-drawn")
            << "12" << 400 << QStringList{"24:00:00", "26:00:00", "02:00:00", "24:00:00", "24:30:00", "00:30:00"} << "23:48";
        QTest::newRow("start-past-24h-not-drawn")
            << "12" << 400 << QStringList{"24:30:00", "26:00:00", "01:30:00"} << "23:48";
        // Group summaries can carry negative parts; they read like any piece.
        QTest::newRow("negative-duration-text-draws")
            << "5" << 400 << QStringList{"00:01:40", "00:03:00", "00:-01:-40"} << "0:0";
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
        int col = d.cols() - 1;
        while (col > 8 && d.text(0, col) + u':' + d.text(1, col) != column)
            --col;
        chart.grid->setLeftCol(col);
        const QRect cell = chart.grid->cellRect(2, col);
        const QImage image = chart.render();
        QString lines = QStringLiteral("%1 at %2: %3x%4\n").arg(texts.join(u' '), column).arg(cell.width()).arg(cell.height());
        for (int dy = 2; dy <= 18; ++dy)
            lines += QStringLiteral("%1 %2\n").arg(dy, 2).arg(scanLine(image, cell, dy));
        VORN_COMPARE_STORED(QStringLiteral("bars-%1.txt").arg(QTest::currentDataTag()), lines.toUtf8());
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

    // The grid shows rows 2..20 of 60 (rows 20 pixels high under a 40-pixel header). One change after
    // another, each followed by what it repainted: nothing, the whole view or the strip of its row.
    void repaintsTheRowsThatChangedAndShow()
    {
        Chart chart("1", QList<QStringList>(58, {"01:00:00", "02:00:00", "01:00:00"}));
        // Painted through the window system, as the window paints it.
        chart.grid->hide();
        chart.grid->setAttribute(Qt::WA_DontShowOnScreen, false);
        chart.grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(chart.grid.get()));
        QCoreApplication::processEvents();
        vorn::test::PaintLog log(chart.grid->viewport());
        GridData &data = chart.grid->data();
        QStringList seen;
        // A row's new planned start ("" none) or, for "rows", the new row count; whether redraw is off meanwhile.
        for (const auto &[change, row, text, off] : {std::tuple("shown row", 5, "03:00:00", false),
                                                     std::tuple("row out of sight", 40, "03:00:00", false),
                                                     std::tuple("same text again", 5, "03:00:00", false),
                                                     std::tuple("shown row while redraw is off", 6, "03:00:00", true),
                                                     std::tuple("nothing while redraw is off", 7, "", true),
                                                     std::tuple("rows", 61, "", false)}) {
            log.rects.clear();
            if (off)
                chart.grid->setRedraw(false);
            if (QLatin1String(change) == "rows")
                data.setRows(row);
            else if (*text)
                data.setText(row, 2, QString::fromLatin1(text));
            QTest::qWait(20);
            if (off)
                chart.grid->setRedraw(true);
            QTest::qWait(50);
            const QRect rowStrip(0, 40 + (row - 2) * 20, chart.grid->viewport()->width(), 20);
            seen << QStringLiteral("%1: %2").arg(change, log.rects.contains(chart.grid->viewport()->rect()) ? QStringLiteral("all")
                                                     : log.rects == QList<QRect>{rowStrip} ? QStringLiteral("row %1").arg(row)
                                                     : log.rects.isEmpty() ? QString() : QStringLiteral("other"));
        }
        QCOMPARE(seen.join(u'\n'), "shown row: row 5\nrow out of sight: \nsame text again: \nshown row while redraw is off: row 6\n"
                                   "nothing while redraw is off: \nrows: all");
    }

    void paintsWithoutAnIntervalOrRoom_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<QSize>("size");
        QTest::newRow("empty-interval-no-bars") << "" << QSize(800, 300);
        QTest::newRow("tiny-window") << "5" << QSize(3, 2);
    }

    // Without an interval no bar is painted; a window too small for a cell still paints. (Bad time
    // texts are fuzz_timetext's: whatever they say, a bar stays in its cell.)
    void paintsWithoutAnIntervalOrRoom()
    {
        QFETCH(QString, interval);
        QFETCH(QSize, size);
        const QStringList tenHours{"00:00:00", "10:00:00", "10:00:00"};
        Chart chart("1", {tenHours, tenHours});
        chart.state.IntervalText = interval;
        chart.grid->resize(size);
        const QImage image = chart.render();
        QVERIFY(!interval.isEmpty() || !(vorn::test::anyPixel(image, image.rect(), 0x0000FF) || vorn::test::anyPixel(image, image.rect(), 0xFF0000)));
    }

    void scrollsAndJumpsByWholeRowsAndColumns()
    {
        // 400 pixels high: 2 header rows and 18 body rows fit; 50 rows + 2 fixed.
        Chart chart("1", QList<QStringList>(50, {"01:00:00"}));
        chart.grid->setTopRow(0);
        QCOMPARE(chart.grid->topRow(), 2);
        chart.grid->resize(1000, 30); // no body row fits under the header
        chart.grid->setTopRow(500);
        QCOMPARE(chart.grid->topRow(), 52); // one past the last
        chart.grid->resize(1000, 400);
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
        // A step to a column still in view scrolls nothing.
        chart.grid->data().select(22, 104);
        QTest::keyClick(chart.grid.get(), Qt::Key_Right);
        QCOMPARE(chart.grid->leftCol(), 103);

        // Ctrl+End and Ctrl+Home: the last and the first body row, at the last and the first column.
        const auto at = [&] { return QPair(chart.grid->data().row(), chart.grid->data().col()); };
        QTest::keyClick(chart.grid.get(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(at(), QPair(51, 1447));
        QTest::keyClick(chart.grid.get(), Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(at(), QPair(2, 0));
        // Focused, the grid frames the current cell in the highlight colour, two pixels wide.
        QApplication::setActiveWindow(chart.grid.get());
        chart.grid->setFocus();
        const QRect current = chart.grid->cellRect(2, 0);
        QCOMPARE(chart.render().pixel(current.left() + 1, current.center().y()), chart.grid->palette().color(QPalette::Highlight).rgb());
        // Fewer columns pull the left column back before the grid is laid out again.
        chart.grid->data().setCols(10);
        QCOMPARE(chart.grid->leftCol(), 8);
    }

    void formResizePlacesAndSharesTheWidth_data()
    {
        QTest::addColumn<QSize>("client");
        QTest::addColumn<QSize>("sizeTwips");
        QTest::addColumn<int>("unit"); // width of columns 2..7, column 1 four of them
        QTest::addColumn<int>("dpi");
        // 1000 px = 15000 twips; less 5 and read back through whole pixels.
        QTest::newRow("fit-1000x700") << QSize(1000, 700) << QSize(14985, 9600) << 1045 << 96;
        QTest::newRow("minimised-fit") << QSize(0, 0) << QSize(0, 900) << 25 << 96;
        // At 250 percent a pixel is 6 twips: the 5-twip margin is still none.
        QTest::newRow("fit-at-240-dpi") << QSize(1000, 700) << QSize(5994, 3300) << 403 << 240;
    }

    void formResizePlacesAndSharesTheWidth()
    {
        QFETCH(QSize, client);
        QFETCH(int, unit);
        QFETCH(int, dpi);
        Chart chart("5");
        chart.grid->setLogicalDpi(dpi);
        FitGridToClient(*chart.grid, client, true);
        QCOMPARE(QPoint(chart.grid->leftTwips(), chart.grid->topTwips()), QPoint(0, 600));
        QTEST(QSize(chart.grid->widthTwips(), chart.grid->heightTwips()), "sizeTwips");
        QList<int> widths;
        for (int c = 1; c <= 8; ++c)
            widths << chart.grid->data().colWidth(c);
        // The scale's first column keeps the scale's width.
        QCOMPARE(widths, QList<int>({4 * unit, unit, unit, unit, unit, unit, unit, chart.grid->data().colWidth(9)}));
    }

    // On a finer device, where the caller scales the painter, texts keep their size, down to a one-point font.
    void textsKeepTheirSizeOnAFinerDevice()
    {
        Chart chart("5");
        QFont font = chart.grid->font();
        font.setPointSizeF(1.0);
        chart.grid->setFont(font);
        const auto paint = [&](int dpi) {
            QImage image(QSize(1000, 400) * 2, QImage::Format_RGB32);
            image.setDotsPerMeterY(qRound(dpi / 0.0254));
            QPainter painter(&image);
            painter.scale(2, 2);
            chart.grid->paintView(painter, QSize(1000, 400), 0, 8);
            return image;
        };
        QCOMPARE(paint(192), paint(96));
    }
};

QTEST_MAIN(TestGanttGrid)
#include "tst_ganttgrid.moc"
