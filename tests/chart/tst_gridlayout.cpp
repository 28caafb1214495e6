#include "appstate.h"
#include "griddata.h"
#include "gridlayout.h"
#include "testfiles.h"

#include <QTest>

using namespace vorn;
using namespace vorn::chart;

namespace {

// Writes down what the rebuild asks of the progress box.
class RecordingProgress : public ProgressBox {
public:
    QSize window, box;
    QStringList log; // of every call but setValue
    QStringList values;

    QSize windowSizeTwips() const override { return window; }
    QSize boxSizeTwips() const override { return box; }
    void showAt(const QPoint &p) override { log << QStringLiteral("show %1,%2").arg(p.x()).arg(p.y()); }
    void setRange(int min, int max) override { log << QStringLiteral("range %1-%2").arg(min).arg(max); }
    void setValue(int value) override { values << QString::number(value); }
    void hide() override { log << QStringLiteral("hide"); }
};

} // namespace

// The layout the fill and the interval box give the grid.
class TestGridLayout : public QObject {
    Q_OBJECT

private slots:
    // The grid as set up and after an interval change, compared whole with tests/chart/data/NAME:
    // the interval kept, the rows' texts, a line a column (hour:minute, width, the group row's band,
    // the detail row's, both header rows' alignment and edges: left top right bottom), and what the
    // progress box was asked, its steps last. Rows and texts stay; the new columns get the band of group rows only.
    // Columns 0 to 2 have no line between the two header rows, columns 2 to the end every line;
    // column 2 takes the later.
    void layOutTheScale_data()
    {
        QTest::addColumn<QString>("before"); // none: the grid as set up
        QTest::addColumn<QString>("interval");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QSize>("box");
        QTest::newRow("set-up-grid.txt") << "" << "" << QSize() << QSize();
        // Odd sizes halve with truncation; a box wider than the window still lands inside.
        QTest::newRow("interval-12-after-1-box-wider-than-window.txt") << "1" << "12" << QSize(2001, 1001) << QSize(4001, 600);
        QTest::newRow("interval-1-after-12-box-centred.txt") << "12" << "1" << QSize(12000, 9000) << QSize(4000, 600);
    }

    void layOutTheScale()
    {
        QFETCH(QString, before);
        QFETCH(QString, interval);
        QFETCH(QSize, window);
        QFETCH(QSize, box);
        // One group row with its grey band and one detail row, as the fill leaves them.
        GridData grid;
        SetUpGrid(grid);
        QVERIFY(grid.mergeRow0());
        grid.addItem(u"\tM1");
        grid.setCellBackColor({2, 0, 2, grid.cols() - 1}, QColor::fromRgb(GroupBandRgb));
        grid.addItem(u"\tP1");
        grid.setText(3, 2, "00:10:00");
        AppState state;
        RecordingProgress progress;
        progress.window = window;
        progress.box = box;
        if (!before.isEmpty()) {
            SetTimeScaleInterval(grid, state, before, nullptr);
            SetTimeScaleInterval(grid, state, interval, &progress);
        }

        QString dump = QStringLiteral("interval %1, %2 rows\n").arg(state.IntervalText).arg(grid.rows());
        for (int r = 2; r < grid.rows(); ++r) {
            for (int c = 0; c < 8; ++c)
                dump += grid.text(r, c) + (c < 7 ? u'|' : u'\n');
        }
        const auto band = [&](int r, int c) { return grid.cellBackColor(r, c).isValid() ? grid.cellBackColor(r, c).name() : "-"; };
        const auto header = [&](int r, int c) {
            const CellEdges e = grid.cellEdges(r, c);
            return QStringLiteral(" %1 %2%3%4%5 %6").arg(int(grid.cellAlignment(r, c))).arg(e.left).arg(e.top).arg(e.right)
                .arg(e.bottom).arg(e.isSet ? e.color.name() : "-");
        };
        for (int c = 0; c < grid.cols(); ++c)
            dump += QStringLiteral("%1 %2:%3 %4 %5 %6").arg(c).arg(grid.text(0, c), grid.text(1, c)).arg(grid.colWidth(c))
                        .arg(band(2, c), band(3, c)) + header(0, c) + header(1, c) + u'\n';
        dump += progress.log.join(u'\n') + QStringLiteral("\nvalues: ") + progress.values.join(u' ') + u'\n';
        VORN_COMPARE_STORED(QString::fromLatin1(QTest::currentDataTag()), dump.toUtf8());
    }
};

QTEST_GUILESS_MAIN(TestGridLayout)
#include "tst_gridlayout.moc"
