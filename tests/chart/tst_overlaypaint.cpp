#include "chartclock.h"
#include "chartrender.h"
#include "groupoutline.h"
#include "liveoverlay.h"
#include "overlaymodel.h"
#include "overlaypainter.h"
#include "testchart.h"
#include "texts.h"

#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QFontInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>
#include <QPainter>
#include <QTest>

#include <algorithm>

using namespace vorn;
using namespace vorn::chart;
using vorn::test::layOut;

namespace {

constexpr int At(int h, int m)
{
    return h * 3600 + m * 60;
}

// A grid at 96 DPI and the five-minute scale (26-pixel columns of 300
// seconds), scrolled to 00:45, with a machine group of a late running
// operation (planned 01:00-01:30, started 01:05), a finished one and a
// waiting one, and a second group; the overlay's clock stands at 01:45.
struct Chart : vorn::test::TestChart {
    ChartClock clock = ChartClock::frozen(qint64(At(1, 45)) * 1000);
    ChangeFlashes flashes;
    OverlayPainter painter{clock};

    Chart() : TestChart({1400, 200}, QStringLiteral("5"))
    {
        layOut(grid->data(), {"G:Mill1|01:00:00|02:30:00|01:30:00|01:05:00||",
                              "D:P1|01:00:00|01:30:00|00:30:00|01:05:00||",
                              "D:P2|01:30:00|02:00:00|00:30:00|01:30:00|01:50:00|00:20:00",
                              "D:P3|02:00:00|02:30:00|00:30:00|||",
                              "G:Lathe1|03:00:00|04:00:00|01:00:00|||",
                              "D:P4|03:00:00|04:00:00|01:00:00|||"});
        grid->setLeftCol(8 + 9);
        painter.setFlashes(&flashes);
    }

    // Left edge of the column that starts at `seconds`.
    int xAt(int seconds) const { return grid->cellRect(2, 8 + seconds / 300).left(); }
};

} // namespace

// The live overlays as pixels: off they change nothing; on they draw the now
// line, running and late operations, group late counts, change flashes and
// the missing-table hatching, each only where it belongs. Also the grid's
// hidden rows, the renderer's pages and the whole chart against stored pictures.
class tst_OverlayPaint : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { LoadTextResources(); }

    // Switched off, even with collapsed groups remembered and the table missing.
    void offPaintsExactlyTheGrid()
    {
        Chart chart;
        const QImage without = chart.render();

        chart.flashes.noteChanges({{3, QStringLiteral("00:50:00"), QStringLiteral("01:20:00")}}, 0);
        chart.painter.setTableMissing(true);
        chart.painter.setEnabled(false);
        GroupOutline outline;
        outline.setCollapsed(chart.grid->data(), 2, 1, true);
        outline.apply(chart.grid->data(), 1, false);
        chart.grid->setOverlay(&chart.painter);
        QCOMPARE(chart.render(), without);
        chart.painter.setEnabled(true);
        QVERIFY(chart.render() != without);
        // P1's late text lies right of the now line: each step of the line repaints it too.
        QVERIFY(chart.painter.reachRightOfNow() > 4 + 2);
    }

    void collapsedGroupHidesRowsAndKeepsScrollPosition()
    {
        Chart chart;
        const QImage expanded = chart.render();
        const QRect lathe = chart.grid->cellRect(6, 1);
        GroupOutline outline;
        outline.setCollapsed(chart.grid->data(), 2, 1, true);
        QVERIFY(chart.grid->isCollapsed(2));
        // The next group moves up under the collapsed one; the group row keeps
        // its summary bars.
        const QImage collapsed = chart.render();
        QCOMPARE(collapsed.copy(chart.grid->cellRect(2, 8 + 12)), expanded.copy(chart.grid->cellRect(2, 8 + 12)));
        QCOMPARE(collapsed.copy(chart.grid->cellRect(6, 1)), expanded.copy(lathe));

        // The scroll position stays a grid row; a hidden row shows its group.
        chart.grid->resize(1400, 4 * 20); // room for two body rows
        chart.grid->setTopRow(4);
        QCOMPARE(chart.grid->topRow(), 2);
        chart.grid->setTopRow(7);
        QCOMPARE(chart.grid->topRow(), 6);
    }

    void outlineBoxAndKeysAskTheHandler_data()
    {
        QTest::addColumn<int>("col");      // current column before the key
        QTest::addColumn<int>("key");      // 0: click on the outline box
        QTest::addColumn<bool>("accept");  // what the handler answers
        QTest::addColumn<QString>("asked"); // "row:collapse" or empty
        QTest::addColumn<int>("colAfter");

        QTest::newRow("click-on-box-collapses") << 1 << 0 << true << "2:1" << 1;
        QTest::newRow("left-on-key-column-collapses") << 1 << int(Qt::Key_Left) << true << "2:1" << 1;
        QTest::newRow("declined-left-moves-the-cell") << 1 << int(Qt::Key_Left) << false << "2:1" << 0;
        QTest::newRow("right-on-expanded-group-moves") << 1 << int(Qt::Key_Right) << true << "" << 2;
        QTest::newRow("left-elsewhere-moves") << 3 << int(Qt::Key_Left) << true << "" << 2;
    }

    void outlineBoxAndKeysAskTheHandler()
    {
        QFETCH(int, col);
        QFETCH(int, key);
        QFETCH(bool, accept);
        Chart chart;
        QString asked;
        chart.grid->setOutlineHandler([&](int row, bool collapse) {
            asked = QStringLiteral("%1:%2").arg(row).arg(int(collapse));
            return accept;
        });
        chart.grid->data().select(2, col);
        if (key == 0) {
            QTest::mouseClick(chart.grid->viewport(), Qt::LeftButton, {}, chart.grid->cellRect(2, 0).center());
        } else {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(chart.grid.get(), &press);
        }
        QTEST(asked, "asked");
        QTEST(chart.grid->data().col(), "colAfter");
    }

    void pagesRepeatHeaderAndLeadingColumns()
    {
        Chart chart;
        chart.grid->setOverlay(&chart.painter);
        GanttGrid &grid = *chart.grid;
        const ChartExtent extent = ExtentOfTimes(grid.data().timeScale(), At(0, 45), At(2, 45));
        // Room for two body rows and ten columns a page: 3 row runs x 3 column runs.
        const QSize page(grid.fixedWidthPixels() + 10 * 26 + 5, grid.fixedHeightPixels() + 2 * 20 + 5);
        const std::vector<ChartPage> pages = PlanChartPages(grid, page, extent);
        QCOMPARE(int(pages.size()), 9);
        QCOMPARE(pages[1].firstBodyIndex, 2);
        QCOMPARE(pages[2].bodyRows, 2);
        QCOMPARE(pages[3].firstCol, 8 + 19);
        QCOMPARE(pages[8].lastCol, 8 + 32);

        const auto renderPage = [&](const ChartPage &p) {
            QImage image(ChartPageSize(grid, p), QImage::Format_RGB32);
            QPainter painter(&image);
            RenderChartPage(grid, painter, p);
            return image;
        };
        const QImage first = renderPage(pages[0]);
        const QImage later = renderPage(pages[4]);
        const QRect corner(0, 0, grid.fixedWidthPixels(), grid.fixedHeightPixels());
        QCOMPARE(later.copy(corner), first.copy(corner));
        QVERIFY(later.copy(0, corner.bottom() + 1, corner.width(), 40) != first.copy(0, corner.bottom() + 1, corner.width(), 40));

        // The whole chart as one picture equals the viewport where both show the same
        QImage whole(ChartSize(grid, {8 + 9, -1}), QImage::Format_RGB32);
        QPainter painter(&whole);
        RenderChart(grid, painter, {8 + 9, -1});
        painter.end();
        // (up to the hour the viewport cuts off, whose label is centred in what shows).
        const QRect shared(0, 0, chart.xAt(At(3, 0)), whole.height());
        QCOMPARE(whole.copy(shared), chart.render().copy(shared));
        // A chart that fits on one A4 page is a PDF too, painted without a complaint.
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        QBuffer pdf;
        QVERIFY(pdf.open(QIODevice::WriteOnly) && WriteChart(grid, {8 + 9, 8 + 20}, ChartFileFormat::Pdf, pdf).ok());
    }

    // A rich chart, pixel for pixel, against a stored picture (tests/chart/data); on a mismatch the
    // picture painted goes beside the test program. VORN_UPDATE_GOLDEN=1 rewrites the pictures.
    // The text in them is DejaVu Sans as FreeType draws it on Linux: other platforms and fonts
    // give other glyphs, so the comparison runs only where that font is the one found.
    // Each shows the running operation hatched to its ghost's end, orange on to the now line with
    // the late text behind, and its group's late badge; the other group has none.
    void paintsTheStoredPicture_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<int>("firstCol");
        QTest::addColumn<int>("lastCol"); // -1: the viewport, scrolled to firstCol
        // "hidden": both finishes and the planned duration hidden, the bars reading them still,
        // the last group collapsed;
        // "flash": P3 changed half a fade ago, its row tinted, its previous bar (01:00-01:30) a
        // faint ghost; "pixels": the font sized in pixels, as the printer's, the badge shrinking
        // alike; "missing": the table gone, the body hatched grey under the header;
        // "early": 01:30, before the ghost's end, none late.
        QTest::addColumn<QString>("scene");
        QTest::newRow("twelve-minutes-whole-chart") << "12" << 8 << 8 + 24 << "";
        QTest::newRow("one-minute-scrolled-hidden-columns") << "1" << 8 + 80 << -1 << "hidden";
        QTest::newRow("five-minutes-flash-font-in-pixels") << "5" << 8 + 9 << -1 << "flash pixels";
        QTest::newRow("five-minutes-table-missing-early") << "5" << 8 + 9 << -1 << "missing early";
    }

    void paintsTheStoredPicture()
    {
        QFETCH(QString, interval);
        QFETCH(int, firstCol);
        QFETCH(int, lastCol);
        QFETCH(QString, scene);
        Chart chart;
        QFont font(QStringLiteral("DejaVu Sans"));
        scene.contains(u"pixels") ? font.setPixelSize(14) : font.setPointSize(8);
        chart.grid->setFont(font);
#ifdef Q_OS_LINUX
        if (QFontInfo(chart.grid->font()).family() != QLatin1String("DejaVu Sans"))
#endif
            QSKIP("the pictures hold DejaVu Sans as FreeType draws it");
        SetTimeScaleInterval(chart.grid->data(), chart.state, interval, nullptr);
        chart.grid->setOverlay(&chart.painter);
        if (scene.contains(u"flash")) {
            chart.flashes.noteChanges({{5, QStringLiteral("01:00:00"), QStringLiteral("01:30:00")}}, chart.clock.steadyMs());
            chart.clock.advance(ChangeFlashes::FadeMs / 2);
        }
        chart.painter.setTableMissing(scene.contains(u"missing"));
        if (scene.contains(u"early"))
            chart.clock = ChartClock::frozen(qint64(At(1, 30)) * 1000);
        QImage image;
        if (scene.contains(u"hidden")) {
            ShowTimeColumn(chart.grid->data(), 1, 0);
            ShowTimeColumn(chart.grid->data(), 2, 2); // greyed hides as unchecked does
            ShowTimeColumn(chart.grid->data(), 4, 0);
            GroupOutline().setCollapsed(chart.grid->data(), 6, 1, true);
        }
        if (lastCol < 0) {
            chart.grid->setLeftCol(firstCol);
            if (scene.contains(u"hidden"))
                chart.grid->resize(1313, 200); // the last column starts at the last pixel
            image = chart.render();
        } else {
            image = QImage(ChartSize(*chart.grid, {firstCol, lastCol}), QImage::Format_RGB32);
            QPainter painter(&image);
            RenderChart(*chart.grid, painter, {firstCol, lastCol});
        }
        const QString name = QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".png");
        if (qEnvironmentVariableIntValue("VORN_UPDATE_GOLDEN"))
            QVERIFY(image.save(VORN_TEST_DATA_DIR "/" + name));
        const QImage golden = QImage(VORN_TEST_DATA_DIR "/" + name).convertToFormat(QImage::Format_RGB32);
        if (image.convertToFormat(QImage::Format_RGB32) != golden) {
            image.save(QCoreApplication::applicationDirPath() + u'/' + name);
            QFAIL(qPrintable(name + QStringLiteral(" differs; the picture painted is beside the test program")));
        }
    }

    void nowLineStepRepaintsOnlyItsStrip()
    {
        Chart chart;
        LiveOverlay live(*chart.grid, chart.state);
        // A minute of the chart a second: the line moves a pixel about every
        // 50 ms step, and P1 passes its planned end half a second in.
        live.setClock(ChartClock::simulated(qint64(At(1, 34) + 30) * 1000, 60, QDateTime::currentMSecsSinceEpoch()));
        // The whole view is painted once for the new clock before recording.
        QCoreApplication::processEvents();
        vorn::test::PaintLog recorder(chart.grid->viewport());
        QTRY_VERIFY(recorder.rects.size() >= 3);
        const int body = chart.grid->fixedHeightPixels();
        const int keyWidth = chart.grid->cellRect(2, 1).width();
        const int keyLeft = chart.grid->cellRect(2, 1).left();
        QTRY_VERIFY(std::any_of(recorder.rects.cbegin(), recorder.rects.cend(), [&](const QRect &r) { return r.left() == keyLeft; }));
        for (const QRect &rect : recorder.rects) {
            // The line's strip with the late texts beside it, or the key column
            // when a late count changes; never the header or the whole view.
            QVERIFY2(rect.top() >= body && rect.width() <= keyWidth, qPrintable(QStringLiteral("%1 %2 %3x%4")
                         .arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height())));
        }
    }

    // Followed live, the chart opens with the present a quarter of the way into the view, while
    // the present lies in the schedule's busy hours: those of its rows, or the fill's when given.
    void opensAtThePresent_data()
    {
        QTest::addColumn<int>("now");
        QTest::addColumn<int>("filledFrom");   // the fill's earliest time shown; -1: none given
        QTest::addColumn<bool>("on");          // the overlays
        QTest::addColumn<int>("column");       // the first column in view; -1: none
        QTest::newRow("before-the-busy-hours") << At(0, 30) << -1 << true << -1;
        QTest::newRow("a-quarter-into-the-view") << At(2, 0) << -1 << true << 25;
        QTest::newRow("overlays-off") << At(2, 0) << -1 << false << -1;
        QTest::newRow("late-in-the-last-hour") << At(4, 55) << -1 << true << 60;
        QTest::newRow("busy-hours-of-the-fill") << At(0, 30) << At(0, 10) << true << 8;
    }

    void opensAtThePresent()
    {
        QFETCH(int, now);
        QFETCH(int, filledFrom);
        QFETCH(bool, on);
        Chart chart;
        LiveOverlay live(*chart.grid, chart.state);
        live.setEnabled(on);
        live.setClock(ChartClock::frozen(qint64(now) * 1000));
        const auto shown = filledFrom < 0 ? std::nullopt : std::optional(std::pair(filledFrom, At(4, 0)));
        QTEST(live.firstViewColumn(shown).value_or(-1), "column");
    }

    // A fill that finds the table again ends the grey of a missing one.
    void refillEndsTheMissingTable()
    {
        Chart chart;
        LiveOverlay live(*chart.grid, chart.state);
        live.noteTick(false, {}, false);
        QVERIFY(live.tableMissing());
        live.noteRefill();
        QVERIFY(!live.tableMissing());
    }

    void tooltipOverBarsAndGroupRows_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("seconds"); // where on the time scale; -1: the key column
        QTest::addColumn<QString>("text"); // a piece of the tooltip, empty: none
        QTest::newRow("running-bar-with-lateness") << 3 << At(1, 20) << "+10:00";
        QTest::newRow("planned-bar-of-a-waiting-row") << 5 << At(2, 10) << "Waiting";
        QTest::newRow("group-row-key-totals") << 2 << -1 << "Operations";
        QTest::newRow("empty-cell-no-tooltip") << 5 << At(1, 0) << "";
        QTest::newRow("cell-ending-where-the-bar-starts-no-tooltip") << 5 << At(1, 55) << "";
    }

    void tooltipOverBarsAndGroupRows()
    {
        QFETCH(int, row);
        QFETCH(int, seconds);
        QFETCH(QString, text);
        Chart chart;
        LiveOverlay live(*chart.grid, chart.state);
        live.setClock(chart.clock);
        QToolTip::hideText();
        const QRect cell = chart.grid->cellRect(row, seconds < 0 ? 1 : 8 + seconds / 300);
        QHelpEvent help(QEvent::ToolTip, cell.center(), chart.grid->viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(chart.grid->viewport(), &help);
        if (text.isEmpty())
            QVERIFY(!QToolTip::isVisible());
        else
            QVERIFY2(QToolTip::text().contains(text), qPrintable(QToolTip::text()));
        QToolTip::hideText();
    }
};

QTEST_MAIN(tst_OverlayPaint)
#include "tst_overlaypaint.moc"
