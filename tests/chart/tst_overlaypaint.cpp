#include "chartclock.h"
#include "chartrender.h"
#include "groupoutline.h"
#include "liveoverlay.h"
#include "overlaymodel.h"
#include "overlaypainter.h"
#include "testchart.h"
#include "testfiles.h"
#include "texts.h"

#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QDebug>
#include <QFontInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QToolTip>
#include <QPainter>
#include <QTest>

#include <algorithm>
#include <utility>

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

    // Switched off, even with collapsed groups remembered and the table missing, the overlay paints
    // exactly the grid. Once a group collapses, the scroll position stays a grid row, a hidden row showing its group.
    void offPaintsExactlyTheGridCollapsedGroupsHideTheirRows()
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

        outline.apply(chart.grid->data(), 1, true);
        QVERIFY(chart.grid->isCollapsed(2));
        chart.grid->resize(1400, 4 * 20); // room for two body rows
        chart.grid->setTopRow(4);
        QCOMPARE(chart.grid->topRow(), 2);
        chart.grid->setTopRow(7);
        QCOMPARE(chart.grid->topRow(), 6);
    }

    // A click on a group's outline box, and Left on its key column, ask the handler to collapse the
    // group; declined, Left moves the cell. Right on an expanded group and Left elsewhere just move.
    // Each step from group row 2, compared whole with tests/chart/data/outline-asks.txt.
    void outlineBoxAndKeysAskTheHandler()
    {
        Chart chart;
        bool accept = true;
        QString said;
        chart.grid->setOutlineHandler([&](int row, bool collapse) {
            said += QStringLiteral(" asked %1:%2").arg(row).arg(int(collapse));
            return accept;
        });
        // The column before the step, its key (0: a click on the box), the handler's answer.
        for (const auto &[col, key, answer] : {std::tuple(1, 0, true), std::tuple(1, int(Qt::Key_Left), true),
                                               std::tuple(1, int(Qt::Key_Left), false), std::tuple(1, int(Qt::Key_Right), true),
                                               std::tuple(3, int(Qt::Key_Left), true)}) {
            accept = answer;
            chart.grid->data().select(2, col);
            said += QStringLiteral("%1 at column %2, handler %3:").arg(key ? QKeySequence(key).toString() : QStringLiteral("box"))
                        .arg(col).arg(answer ? "accepts" : "declines");
            if (key == 0) {
                QTest::mouseClick(chart.grid->viewport(), Qt::LeftButton, {}, chart.grid->cellRect(2, 0).center());
            } else {
                QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
                QApplication::sendEvent(chart.grid.get(), &press);
            }
            said += QStringLiteral(" column %1 after\n").arg(chart.grid->data().col());
        }
        VORN_COMPARE_STORED(QStringLiteral("outline-asks.txt"), said.toUtf8());
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
        QStringList plan; // per page: body rows from their first, the columns
        for (const ChartPage &p : pages)
            plan << QStringLiteral("%1+%2 %3-%4").arg(p.firstBodyIndex).arg(p.bodyRows).arg(p.firstCol).arg(p.lastCol);
        QCOMPARE(plan.join(u", "), "0+2 17-26, 2+2 17-26, 4+2 17-26, 0+2 27-36, 2+2 27-36, 4+2 27-36, "
                                   "0+2 37-40, 2+2 37-40, 4+2 37-40");

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
        const QRect shared(0, 0, grid.cellRect(2, 8 + At(3, 0) / 300).left(), whole.height());
        QCOMPARE(whole.copy(shared), chart.render().copy(shared));
        // A chart that fits on one A4 page is a PDF too, painted without a complaint.
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        QBuffer pdf;
        QVERIFY(pdf.open(QIODevice::WriteOnly) && WriteChart(grid, {8 + 9, 8 + 20}, ChartFileFormat::Pdf, pdf).ok());
        // A picture is as wide as the raster painter can paint, 32767 pixels, and no wider.
        const int last = grid.data().cols() - 1;
        for (const int width : {32767, 32768}) {
            const int more = width - ChartSize(grid, {8 + 9, -1}).width();
            grid.data().setColWidth(last, grid.data().colWidth(last) + 15 * more);
            QBuffer png;
            QVERIFY(png.open(QIODevice::WriteOnly));
            QCOMPARE(WriteChart(grid, {8 + 9, -1}, ChartFileFormat::Png, png).ok(), width == 32767);
        }
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
        // the last group collapsed, the key column fitted to nothing (no room for the late badge);
        // "flash": P3 changed half a fade ago, its row tinted, its previous bar (01:00-01:30) a
        // faint ghost, and the first group's row, the pane's first, tinted too; "pixels": a font sized in pixels as the printer's, too tall for the badge, which shrinks
        // to the row (2 pixels short of each edge); "missing": the table gone, the body hatched grey under the header;
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
        scene.contains(u"pixels") ? font.setPixelSize(16) : font.setPointSize(8);
        chart.grid->setFont(font);
#ifdef Q_OS_LINUX
        if (QFontInfo(chart.grid->font()).family() != QLatin1String("DejaVu Sans"))
#endif
            QSKIP("the pictures hold DejaVu Sans as FreeType draws it");
        SetTimeScaleInterval(chart.grid->data(), chart.state, interval, nullptr);
        chart.grid->setOverlay(&chart.painter);
        if (scene.contains(u"flash")) {
            chart.flashes.noteChanges({{2, QString(), QString()}, {5, QStringLiteral("01:00:00"), QStringLiteral("01:30:00")}},
                                      chart.clock.steadyMs());
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
            chart.grid->data().setColWidth(1, 0); // the key column
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

    // What a new clock or switching the overlays on repaints (the view), then the next clock step (the
    // strip the line leaves and enters with the late texts right of it, never left of the fixed columns,
    // and the key column when a late count changes), compared whole with tests/chart/data/now-line-steps.txt.
    void nowLineStepsRepaintTheirStrips()
    {
        Chart chart;
        LiveOverlay live(*chart.grid, chart.state);
        vorn::test::PaintLog recorder(chart.grid->viewport());
        const auto painted = [&] {
            QString rects;
            QDebug(&rects).nospace() << std::exchange(recorder.rects, {});
            return rects;
        };
        QString said = QStringLiteral("fixed columns end at %1\n").arg(chart.grid->fixedWidthPixels());
        // 01:29:50 on plan; 01:35:30 P1 half a minute late; a pixel on; off and on again (-1); set back
        // to the left edge, then left of the view; 00:50 the next day.
        for (const int seconds : {At(1, 29) + 50, At(1, 35) + 30, At(1, 35) + 42, -1, At(0, 45) + 12, At(0, 30), At(24, 50)}) {
            if (seconds >= 0)
                live.setClock(ChartClock::frozen(qint64(seconds) * 1000));
            else
                live.setEnabled(false);
            live.setEnabled(true);
            QCoreApplication::processEvents();
            said += QStringLiteral("%1: %2; ").arg(seconds).arg(painted());
            QTRY_VERIFY(!recorder.rects.empty());
            said += QStringLiteral("step: %1\n").arg(painted());
        }
        VORN_COMPARE_STORED(QStringLiteral("now-line-steps.txt"), said.toUtf8());
    }

    // What the live overlay answers of the chart, compared whole with tests/chart/data/live-overlay.txt:
    // the tooltip over a running bar (with its lateness), a waiting row's planned bar and a group
    // row's key (its totals), none over an empty cell or one ending where a bar starts; the grey of
    // a missing table, which a refill ends; and the column a chart followed live opens at, with the
    // present a quarter of the way into the view while it lies in the busy hours of the rows, or of
    // the fill when given, and none with the overlays off.
    void answersOfTheLiveOverlay()
    {
        Chart chart;
        LiveOverlay live(*chart.grid, chart.state);
        live.setClock(chart.clock);
        QString said;
        // Those showing none first: a tooltip hidden fades for a while, still visible.
        for (const auto &[row, seconds] : {std::pair(5, At(1, 0)), std::pair(5, At(1, 55)), std::pair(3, At(1, 20)),
                                           std::pair(5, At(2, 10)), std::pair(2, -1)}) {
            const QRect cell = chart.grid->cellRect(row, seconds < 0 ? 1 : 8 + seconds / 300);
            QHelpEvent help(QEvent::ToolTip, cell.center(), chart.grid->viewport()->mapToGlobal(cell.center()));
            QApplication::sendEvent(chart.grid->viewport(), &help);
            said += QStringLiteral("tooltip of row %1 at %2: %3\n").arg(row).arg(seconds)
                        .arg(QToolTip::isVisible() ? QToolTip::text() : QStringLiteral("none"));
        }
        QToolTip::hideText();
        live.noteTick(false, {}, false);
        said += QStringLiteral("table missing after a failed tick: %1\n").arg(live.tableMissing());
        live.noteRefill();
        said += QStringLiteral("after a refill: %1\n").arg(live.tableMissing());
        // A change seen with the overlays off flashes neither then nor once they are on; one seen with them on does.
        const std::vector<PlannedChange> change{{3, QStringLiteral("00:50:00"), QStringLiteral("01:20:00")}};
        live.setEnabled(false);
        live.noteTick(true, change, true);
        live.setEnabled(true);
        const size_t whileOff = live.flashes().flashes().size();
        live.noteTick(true, change, true);
        said += QStringLiteral("rows flashing after a change with the overlays off: %1, on: %2\n").arg(whileOff).arg(live.flashes().flashes().size());
        // The present, the fill's earliest time shown (-1: none given), the overlays on.
        for (const auto &[now, filledFrom, on] : {std::tuple(At(0, 30), -1, true), std::tuple(At(2, 0), -1, true),
                                                  std::tuple(At(4, 55), -1, true), std::tuple(At(0, 30), At(0, 10), true),
                                                  std::tuple(At(2, 0), -1, false)}) {
            live.setEnabled(on);
            live.setClock(ChartClock::frozen(qint64(now) * 1000));
            const auto shown = filledFrom < 0 ? std::nullopt : std::optional(std::pair(filledFrom, At(4, 0)));
            said += QStringLiteral("opens at %1, filled from %2, overlays %3: column %4\n").arg(now).arg(filledFrom)
                        .arg(on).arg(live.firstViewColumn(shown).value_or(-1));
        }
        // A view narrower than its fixed columns, at the day's last column: that column, no further.
        live.setEnabled(true);
        live.setClock(ChartClock::frozen(86300 * 1000LL));
        chart.grid->resize(40, chart.grid->height());
        said += QStringLiteral("narrow view at 86300: column %1\n").arg(live.firstViewColumn(std::pair(0, 86399)).value_or(-1));
        VORN_COMPARE_STORED(QStringLiteral("live-overlay.txt"), said.toUtf8());
    }
};

QTEST_MAIN(tst_OverlayPaint)
#include "tst_overlaypaint.moc"
