#include "chartclock.h"
#include "griddata.h"
#include "groupoutline.h"
#include "overlaymodel.h"
#include "testchart.h"
#include "testfiles.h"
#include "texts.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTest>

using namespace vorn;
using namespace vorn::chart;
using vorn::test::layOut;

// The overlays' reading of the grid, without painting: what runs and how
// late, group totals, tooltips, flashes, the stale-data watch, collapsed
// groups, the clock.
class tst_OverlayModel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { LoadTextResources(); }

    void readsRunningOperations_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<int>("now");
        QTest::addColumn<QString>("expected"); // "-": not running; else "start ghostEnd lateness"

        QTest::newRow("finished-is-not-running") << "D:M|01:00:00|02:00:00|01:00:00|01:00:00|02:00:00|01:00:00" << 9000 << "-";
        QTest::newRow("not-started-is-not-running") << "D:M|01:00:00|02:00:00|01:00:00|||" << 9000 << "-";
        const QString running = "D:M|01:00:00|02:00:00|01:00:00|01:10:00||";
        QTest::newRow("running-within-plan") << running << 6000 << "4200 7800 0";
        QTest::newRow("running-past-its-ghost-is-late") << running << 7900 << "4200 7800 +01:40";
        QTest::newRow("seconds-late") << running << 7800 + 5 << "4200 7800 +00:05";
        QTest::newRow("just-below-an-hour-late") << running << 7800 + 3599 << "4200 7800 +59:59";
        QTest::newRow("an-hour-late-adds-the-hour") << running << 7800 + 3600 << "4200 7800 +1:00:00";
        QTest::newRow("many-hours-late") << running << 7800 + 36061 << "4200 7800 +10:01:01";
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
                  .arg(running->lateSeconds ? LateText(running->lateSeconds) : QStringLiteral("0"));
        QTEST(got, "expected");
    }

    // The tooltips are compared whole with tests/chart/data/tooltips.txt: a group row's totals, a
    // detail row's fields and times with the lateness of a running operation, none for a header
    // row; grouped by machine (1: the key is the machine, the label part and order) and by part
    // (0: the label is the machine), in English and in Chinese.
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
        QCOMPARE(QList<int>({LateCountAt(grid, 2, now), LateCountAt(grid, 7, now)}), QList<int>({1, 0}));

        const RecordDetailsLookup lookup = [](qint32 record) {
            return record == 2 ? std::optional(RecordDetails{QStringLiteral("Milling")}) : std::nullopt;
        };
        QString tooltips;
        for (const qint32 language : {LanguageEnglish, LanguageChinese}) {
            SetLanguage(language);
            for (const qint16 sortOrder : {1, 0}) {
                for (int row = 1; row < grid.rows(); ++row)
                    tooltips += QStringLiteral("%1 %2 %3: %4\n").arg(language == LanguageEnglish ? "en" : "zh")
                                    .arg(sortOrder).arg(row).arg(TooltipText(grid, row, sortOrder, now, lookup));
            }
        }
        SetLanguage(LanguageEnglish);
        VORN_COMPARE_STORED(QStringLiteral("tooltips.txt"), tooltips.toUtf8());
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
        QTest::newRow("unchanged-for-one-minute") << "ru" << true << false << 1 << "No change for 1 min";
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
        // In whole minutes, rounded down: still the same a millisecond before the next tick.
        QTEST(watch.text(online, stopped, ms - 1, minutes), "banner");
        // The unchanged warning is due on the minute, not a millisecond before it.
        QVERIFY(watch.problem(online, stopped, ms - 60001, minutes) != StaleWatch::Problem::Unchanged);
    }

    void collapsedGroupsRoundTripThroughText()
    {
        GridData grid;
        layOut(grid, {QString::fromUtf8("G:铣床 1,2% x"), "D:P1", "G:Lathe1", "D:P1"});
        GroupOutline outline;
        outline.setAll(grid, 1, true);
        const QString text = outline.toText();
        QVERIFY2(QRegularExpression(QStringLiteral("^[!-~]*$")).match(text).hasMatch(), qPrintable(text)); // printable ASCII
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
        // Anchored at 1970, the clock has run far past where it started.
        QCOMPARE(qAbs(clock->continuousMs() - atAnchor) < qint64(5000 * speed), !text.contains(QLatin1String(",1000")));
    }
};

QTEST_GUILESS_MAIN(tst_OverlayModel)
#include "tst_overlaymodel.moc"
