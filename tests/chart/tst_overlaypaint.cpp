#include "chartclock.h"
#include "chartrender.h"
#include "ganttbars.h"
#include "griddata.h"
#include "groupoutline.h"
#include "liveoverlay.h"
#include "overlaymodel.h"
#include "overlaypainter.h"
#include "testchart.h"
#include "texts.h"

#include <QApplication>
#include <QDateTime>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>
#include <QPainter>
#include <QTest>

using namespace vorn;
using namespace vorn::chart;
using vorn::test::anyPixel;

namespace {

constexpr int At(int h, int m)
{
    return h * 3600 + m * 60;
}

// Rows as the fill leaves them, after those of `grid` (at least the
// two header rows of eight columns), one per entry: "G:key" a group row,
// "D:label|ps|pf|pd|as|af|ad" a detail row with its six time texts.
void layOut(GridData &grid, const QStringList &rows)
{
    grid.setCols(std::max(grid.cols(), 8));
    grid.setRows(std::max(grid.rows(), 2));
    for (const QString &entry : rows) {
        const int row = grid.rows();
        grid.setRows(row + 1);
        const QStringList fields = entry.mid(2).split(u'|');
        grid.setIsNode(row, true);
        grid.setRowOutlineLevel(row, entry.startsWith(u'G') ? 0 : 1);
        grid.setRowData(row, row - 1);
        for (int i = 0; i < fields.size(); ++i)
            grid.setText(row, 1 + i, fields[i]);
    }
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
    int bandY(int row, bool actual) const
    {
        const QRect cell = grid->cellRect(row, 8 + 12);
        const BarBands bands = BarRows(cell.top(), cell.bottom() + 1);
        return actual ? bands.actualTop + 1 : bands.plannedTop + 1;
    }
};

QRgb rgb(const QImage &image, int x, int y)
{
    return image.pixel(x, y) & 0xFFFFFF;
}

} // namespace

// The live overlays as pixels: off they change nothing; on they draw the now
// line, running and late operations, group late counts, change flashes and
// the missing-table hatching, each only where it belongs. Also the grid's
// hidden rows and the renderer's pages. And the overlays' reading of the
// grid without painting: what runs and how
// late, group totals, tooltips, flashes, the stale-data watch, collapsed
// groups, the clock.
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
    }

    void nowLineOnlyOverTheTimeScaleBody()
    {
        Chart chart;
        chart.grid->setOverlay(&chart.painter);
        const QImage image = chart.render();
        const int x = chart.xAt(At(1, 45));
        const int fixedHeight = chart.grid->fixedHeightPixels();
        // Two pixels wide, down the whole body, centred on the time.
        for (int y : {fixedHeight, fixedHeight + 57, image.height() - 1}) {
            QCOMPARE(rgb(image, x - 1, y), QRgb(NowLineRgb));
            QCOMPARE(rgb(image, x, y), QRgb(NowLineRgb));
            QVERIFY(rgb(image, x - 2, y) != NowLineRgb && rgb(image, x + 1, y) != NowLineRgb);
        }
        QVERIFY(!anyPixel(image, QRect(0, 0, image.width(), fixedHeight), NowLineRgb));

        // Scrolled so that 01:45 lies under the leading columns: no line at all.
        chart.grid->setLeftCol(8 + 24);
        QVERIFY(!anyPixel(chart.render(), QRect(QPoint(), image.size()), NowLineRgb));
    }

    void runningOperationIsHatchedWithGhostOverrunAndGroupCount()
    {
        Chart chart;
        const int y = chart.bandY(3, true);
        QVERIFY(!anyPixel(chart.render(), QRect(chart.xAt(At(1, 5)), y, 200, 1), 0xFF0000));
        chart.grid->setOverlay(&chart.painter);
        const QImage image = chart.render();

        // Started 01:05: hatched red up to the ghost's end at 01:35 (pale fill
        // and red lines), orange from there to now, the late text behind.
        QString line;
        for (int x = chart.xAt(At(1, 5)) + 2; x < chart.xAt(At(1, 45)) - 1; ++x) {
            const QRgb p = rgb(image, x, y);
            const QChar c = p == RunningFillRgb || p == 0xFF0000 ? u'h' : p == OverrunRgb ? u'o' : u'?';
            if (line.isEmpty() || line.back() != c)
                line += c;
        }
        QCOMPARE(line, QStringLiteral("h?o"));
        QVERIFY(anyPixel(image, QRect(chart.xAt(At(1, 5)) + 2, y, 60, 1), 0xFF0000));
        QCOMPARE(rgb(image, chart.xAt(At(1, 35)) - 1, y), QRgb(GhostLineRgb));
        // Planned band and the finished row below are as the grid paints them.
        QCOMPARE(rgb(image, chart.xAt(At(1, 10)), chart.bandY(3, false)), QRgb(0x0000FF));
        QCOMPARE(rgb(image, chart.xAt(At(1, 40)), chart.bandY(4, true)), QRgb(0xFF0000));
        const QRect cell = chart.grid->cellRect(3, 8 + 21);
        bool text = false;
        for (int x = cell.left() + 3; x < cell.left() + 40 && !text; ++x) {
            for (int dy = 4; dy < cell.height() - 4 && !text; ++dy) {
                const QColor c = image.pixelColor(x, cell.top() + dy);
                text = c.red() > c.green() + 40 && c.green() > c.blue();
            }
        }
        QVERIFY(text);

        // Its group row shows the late count; the other group's none.
        QVERIFY(anyPixel(image, chart.grid->cellRect(2, 1), OverrunRgb));
        QVERIFY(!anyPixel(image, chart.grid->cellRect(6, 1), OverrunRgb));
        // Before the ghost's end nothing is late.
        chart.clock = ChartClock::frozen(qint64(At(1, 30)) * 1000);
        QVERIFY(!anyPixel(chart.render(), chart.grid->cellRect(2, 1), OverrunRgb));
    }

    void changedRowFlashesWithItsPreviousBar()
    {
        Chart chart;
        chart.grid->setOverlay(&chart.painter);
        const QImage before = chart.render();
        chart.flashes.noteChanges({{5, QStringLiteral("01:00:00"), QStringLiteral("01:30:00")}}, chart.clock.steadyMs());
        const QImage flashing = chart.render();
        // The row's background is tinted across the leading columns and the scale.
        const QRect key = chart.grid->cellRect(5, 1);
        const QColor tint = flashing.pixelColor(key.right() - 2, key.top() + 2);
        QVERIFY2(tint.red() > 200 && tint.blue() < 200, qPrintable(tint.name()));
        // The previous planned bar is a faint blue ghost over the tint; the new
        // one stays blue.
        const QColor ghost = flashing.pixelColor(chart.xAt(At(1, 10)) + 3, chart.bandY(5, false));
        const QColor tinted = flashing.pixelColor(chart.xAt(At(1, 40)) + 3, chart.bandY(5, false));
        QVERIFY2(ghost.blue() - ghost.red() > tinted.blue() - tinted.red() + 40, qPrintable(ghost.name()));
        QCOMPARE(rgb(flashing, chart.xAt(At(2, 10)), chart.bandY(5, false)), QRgb(0x0000FF));
        // Faded out, the row is as before.
        chart.clock.advance(ChangeFlashes::FadeMs);
        const QRect row(0, key.top(), before.width(), key.height());
        QCOMPARE(chart.render().copy(row), before.copy(row));
    }

    void missingTableHatchesTheBodyOnly()
    {
        Chart chart;
        chart.grid->setOverlay(&chart.painter);
        const QImage fresh = chart.render();
        chart.painter.setTableMissing(true);
        const QImage missing = chart.render();
        const int fixedHeight = chart.grid->fixedHeightPixels();
        QCOMPARE(missing.copy(0, 0, missing.width(), fixedHeight), fresh.copy(0, 0, fresh.width(), fixedHeight));
        // Empty body cells, leading and time scale, turn grey; bars still show through.
        const QRect empty = chart.grid->cellRect(7, 8 + 30);
        const QRect lead = chart.grid->cellRect(7, 3);
        for (const QRect &area : {empty, lead}) {
            bool grey = false;
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = missing.pixelColor(x, area.center().y());
                grey = grey || (c.red() < 200 && c.red() == c.green() && c.green() == c.blue());
            }
            QVERIFY(grey);
        }
        const QColor bar = missing.pixelColor(chart.xAt(At(2, 10)), chart.bandY(5, false));
        QVERIFY2(bar.blue() > bar.red() + 50, qPrintable(bar.name()));
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
    }

    void nowLineStepRepaintsOnlyItsStrip()
    {
        Chart chart;
        LiveOverlay live(*chart.grid, chart.state);
        // A minute of the chart a second: the line moves a pixel about every
        // 50 ms step.
        live.setClock(ChartClock::simulated(qint64(At(1, 45)) * 1000, 60, QDateTime::currentMSecsSinceEpoch()));
        // The whole view is painted once for the new clock before recording.
        QCoreApplication::processEvents();
        vorn::test::PaintLog recorder(chart.grid->viewport());
        QTRY_VERIFY(recorder.rects.size() >= 3);
        const int body = chart.grid->fixedHeightPixels();
        const int keyWidth = chart.grid->cellRect(2, 1).width();
        for (const QRect &rect : recorder.rects) {
            // The line's strip with the late texts beside it, or the key column
            // when a late count changes; never the header or the whole view.
            QVERIFY2(rect.top() >= body && rect.width() <= keyWidth, qPrintable(QStringLiteral("%1 %2 %3x%4")
                         .arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height())));
        }
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

    void readsRunningOperations_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<int>("now");
        QTest::addColumn<QString>("expected"); // "-": not running; else "start ghostEnd late"

        QTest::newRow("finished-is-not-running") << "D:M|01:00:00|02:00:00|01:00:00|01:00:00|02:00:00|01:00:00" << 9000 << "-";
        QTest::newRow("not-started-is-not-running") << "D:M|01:00:00|02:00:00|01:00:00|||" << 9000 << "-";
        QTest::newRow("running-within-plan") << "D:M|01:00:00|02:00:00|01:00:00|01:10:00||" << 6000 << "4200 7800 0";
        QTest::newRow("running-past-its-ghost-is-late") << "D:M|01:00:00|02:00:00|01:00:00|01:10:00||" << 7900 << "4200 7800 100";
        QTest::newRow("no-planned-duration-no-ghost-never-late") << "D:M|||00:00:00|01:10:00||" << 90000 << "4200 - 0";
        QTest::newRow("group-row-is-never-running") << "G:M|01:00:00|02:00:00|01:00:00|01:10:00||" << 9000 << "-";
    }

    void readsRunningOperations()
    {
        QFETCH(QString, row);
        QFETCH(int, now);
        GridData grid;
        layOut(grid, {row});
        const std::optional<RunningOperation> running = RunningAt(grid, 2, now);
        const QString got = !running ? QStringLiteral("-")
            : QStringLiteral("%1 %2 %3").arg(running->actualStart)
                  .arg(running->ghostEnd ? QString::number(*running->ghostEnd) : QStringLiteral("-"))
                  .arg(running->lateSeconds);
        QTEST(got, "expected");
    }

    void writesLateness_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("seconds") << 5 << "+00:05";
        QTest::newRow("just-below-an-hour") << 3599 << "+59:59";
        QTest::newRow("an-hour-adds-the-hour") << 3600 << "+1:00:00";
        QTest::newRow("many-hours") << 36000 + 61 << "+10:01:01";
    }

    void writesLateness()
    {
        QFETCH(int, seconds);
        QTEST(LateText(seconds), "text");
    }

    void totalsAndTooltipsOfGroupsAndRows()
    {
        GridData grid;
        layOut(grid, {"G:Mill1|01:00:00|03:00:00|02:00:00|01:00:00||",
                      "D:Shaft-1(ORD-7)|01:00:00|01:30:00|00:30:00|01:00:00|01:20:00|00:20:00",
                      "D:Gear-2|01:30:00|02:00:00|00:30:00|01:30:00||",
                      "D:Gear-3|02:00:00|03:00:00|01:00:00|02:00:00||",
                      "D:Gear-4|02:30:00|03:00:00|00:30:00|||",
                      "G:Lathe1|04:00:00|05:00:00|01:00:00|||"});
        const qint32 now = 2 * 3600 + 10 * 60; // 02:10: Gear-2 is 10 minutes late, Gear-3 on time
        const GroupTotals totals = GroupTotalsAt(grid, 2, now);
        QCOMPARE((QList<int>{totals.operations, totals.finished, totals.running, totals.late}),
                 (QList<int>{4, 1, 2, 1}));
        QCOMPARE(LateCountAt(grid, 2, now), 1);
        QCOMPARE(LateCountAt(grid, 7, now), 0);

        const QString group = TooltipText(grid, 2, 1, now, {});
        for (const char *piece : {"<b>Mill1</b>", "Operations</td><td>&nbsp;4", "Late</td><td>&nbsp;1"})
            QVERIFY2(group.contains(QLatin1String(piece)), qPrintable(group));

        // Grouped by machine: the group key is the machine, the label part and order.
        const RecordDetailsLookup lookup = [](qint32 record) {
            return record == 2 ? std::optional(RecordDetails{QStringLiteral("Milling")}) : std::nullopt;
        };
        const QString finished = TooltipText(grid, 3, 1, now, lookup);
        for (const char *piece : {"Part</td><td>&nbsp;Shaft-1<", "Order</td><td>&nbsp;ORD-7<",
                                  "Machine</td><td>&nbsp;Mill1<", "Process</td><td>&nbsp;Milling<",
                                  "Status</td><td>&nbsp;Finished<", "01:00:00 \u2013 01:20:00 (00:20:00)"})
            QVERIFY2(finished.contains(QString::fromUtf8(piece)), qPrintable(finished));
        const QString late = TooltipText(grid, 4, 1, now, lookup);
        QVERIFY2(late.contains(QLatin1String("Running")) && late.contains(QLatin1String("+10:00"))
                     && !late.contains(QLatin1String("Process")), qPrintable(late));
        // Grouped by part: the label is the machine.
        QVERIFY(TooltipText(grid, 5, 0, now, {}).contains(QLatin1String("Machine</td><td>&nbsp;Gear-3<")));
        QVERIFY(TooltipText(grid, 1, 1, now, {}).isEmpty());

        SetLanguage(LanguageChinese);
        QVERIFY(TooltipText(grid, 4, 1, now, {}).contains(QString::fromUtf8("进行中")));
        SetLanguage(LanguageEnglish);
    }

    void flashesAreCappedAndFade()
    {
        ChangeFlashes flashes;
        std::vector<PlannedChange> many;
        for (int row = 2; row < 2 + ChangeFlashes::MaxFlashes + 5; ++row)
            many.push_back({row, QStringLiteral("01:00:00"), QStringLiteral("02:00:00")});
        flashes.noteChanges(many, 1000);
        QCOMPARE(int(flashes.flashes().size()), ChangeFlashes::MaxFlashes);
        QCOMPARE(flashes.strength(2, 1000), 1.0);
        QCOMPARE(flashes.strength(2, 1000 + ChangeFlashes::FadeMs / 2), 0.5);
        QCOMPARE(flashes.find(3)->oldFinish, QStringLiteral("02:00:00"));

        // Once faded, a row that changes again waits out its cool-down.
        QVERIFY(!flashes.expire(1000 + ChangeFlashes::FadeMs));
        QCOMPARE(flashes.strength(2, 1000 + ChangeFlashes::FadeMs), 0.0);
        flashes.noteChanges({{2, {}, {}}, {40, {}, {}}}, 5000);
        QCOMPARE(int(flashes.flashes().size()), 1);
        QVERIFY(flashes.find(40) && !flashes.find(2));
        flashes.noteChanges({{2, {}, {}}}, 1000 + ChangeFlashes::CoolDownMs);
        QVERIFY(flashes.find(2));

        // A refill forgets everything, cool-downs included.
        flashes.clear();
        flashes.noteChanges({{40, {}, {}}}, 5100);
        QVERIFY(flashes.find(40));
    }

    void staleWatchSaysWhatIsWrong_data()
    {
        QTest::addColumn<QString>("ticks"); // per tick "r" read and changed, "u" read unchanged, "x" unreadable
        QTest::addColumn<bool>("online");
        QTest::addColumn<bool>("stopped");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<QString>("banner");

        // One tick a minute from 10:00:00 on.
        QTest::newRow("fresh-data-no-banner") << "rrr" << true << false << 10 << "";
        QTest::newRow("unreadable-since-the-first-failed-tick") << "rxxx" << true << false << 10
            << "Schedule table unreadable since 10:01:00";
        QTest::newRow("readable-again-clears-it") << "rxxu" << true << false << 10 << "";
        QTest::newRow("unchanged-for-the-set-minutes") << "ruuu" << true << false << 3 << "No change for 3 min";
        QTest::newRow("unchanged-warning-off-with-zero") << "ruuuuu" << true << false << 0 << "";
        QTest::newRow("stopped-by-the-manager") << "r" << true << true << 10 << "Updates stopped by the manager (STOP)";
        QTest::newRow("offline-shows-nothing") << "rxx" << false << true << 10 << "";
    }

    void staleWatchSaysWhatIsWrong()
    {
        QFETCH(QString, ticks);
        QFETCH(bool, online);
        QFETCH(bool, stopped);
        QFETCH(int, minutes);
        StaleWatch watch;
        watch.noteRefill(0);
        qint64 ms = 0;
        for (const QChar tick : ticks) {
            watch.noteTick(tick != u'x', tick == u'r', ms, 10 * 3600 * 1000 + ms);
            ms += 60000;
        }
        QTEST(watch.text(online, stopped, ms - 60000, minutes), "banner");
    }

    void collapsedGroupsRoundTripThroughText()
    {
        GridData grid;
        layOut(grid, {QString::fromUtf8("G:铣床 1,2% x"), "D:P1", "G:Lathe1", "D:P1"});
        GroupOutline outline;
        outline.setAll(grid, 1, true);
        const QString text = outline.toText();
        for (const QChar c : text)
            QVERIFY2(c.unicode() > 32 && c.unicode() < 127, qPrintable(text));
        const GroupOutline back = GroupOutline::fromText(text + QStringLiteral(",garbage,,"));
        QVERIFY(back.isCollapsed(1, QString::fromUtf8("铣床 1,2% x")));
        QVERIFY(back.isCollapsed(1, QStringLiteral("Lathe1")));
        QCOMPARE(back.toText(), text);
    }

    void clockParsesItsDescription_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("atAnchor"); // time of day at the anchor, -1: refused
        QTest::addColumn<double>("speed");
        QTest::newRow("time-only-runs-at-real-speed") << "10:30" << qint64(37800000) << 1.0;
        QTest::newRow("seconds-and-speed") << "06:00:30,120" << qint64(21630000) << 120.0;
        QTest::newRow("anchor-given") << "23:59:59,2,1000" << qint64(86399000) << 2.0;
        QTest::newRow("hour-24-refused") << "24:00" << qint64(-1) << 0.0;
        QTest::newRow("zero-speed-refused") << "10:30,0" << qint64(-1) << 0.0;
        QTest::newRow("words-refused") << "now" << qint64(-1) << 0.0;
    }

    void clockParsesItsDescription()
    {
        QFETCH(QString, text);
        QFETCH(qint64, atAnchor);
        QFETCH(double, speed);
        // An anchor in the far future keeps the clock where it starts, up to a
        // few milliseconds of this test's own run.
        const qint64 anchor = QDateTime::currentMSecsSinceEpoch();
        const std::optional<ChartClock> clock = ChartClock::parse(text, anchor);
        QCOMPARE(clock.has_value(), atAnchor >= 0);
        if (!clock)
            return;
        QCOMPARE(clock->speed(), speed);
        if (!text.contains(QLatin1String(",1000")))
            QVERIFY(qAbs(clock->continuousMs() - atAnchor) < qint64(5000 * speed));
    }

    void frozenClockWrapsAtMidnight()
    {
        ChartClock clock = ChartClock::frozen(86399000);
        clock.advance(2000);
        QCOMPARE(clock.continuousMs(), qint64(86401000));
        QCOMPARE(ClockText(clock.timeOfDayMs()), QStringLiteral("00:00:01"));
    }
};

QTEST_MAIN(tst_OverlayPaint)
#include "tst_overlaypaint.moc"
