#include "gridoverlay.h"
#include "timescale.h"

#include <QTest>

#include <vector>

using namespace vorn::chart;

// The time scale both ways: seconds to column and x, column back to seconds.
class TestTimeScale : public QObject {
    Q_OBJECT

private slots:
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
};

QTEST_GUILESS_MAIN(TestTimeScale)
#include "tst_timescale.moc"
