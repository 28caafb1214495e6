#include "ganttbars.h"

#include <QTest>

using namespace vorn::chart;

// The geometry of the two bars inside one time-scale cell, without painting.
class TestGanttBars : public QObject {
    Q_OBJECT

private slots:
    void timeTextPieces_data();
    void timeTextPieces();
    void partValue_data();
    void partValue();
    void barStartX_data();
    void barStartX();
    void barEndX_data();
    void barEndX();
    void barRows_data();
    void barRows();
    void barInCell_data();
    void barInCell();
    void intervalMinutes_data();
    void intervalMinutes();
    void cellBarsStayInsideTheCell_data();
    void cellBarsStayInsideTheCell();
};

void TestGanttBars::timeTextPieces_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hour");
    QTest::addColumn<QString>("minute");
    QTest::addColumn<QString>("second");
    QTest::newRow("regular") << "02:17:30" << "02" << "17" << "30";
    QTest::newRow("empty") << "" << "" << "" << "";
    QTest::newRow("hour-only") << "7" << "7" << "" << "";
    QTest::newRow("cut-in-minutes") << "01:2" << "01" << "2" << "";
    QTest::newRow("cut-in-seconds") << "01:02:3" << "01" << "02" << "3";
    QTest::newRow("negative-parts") << "00:-01:-40" << "00" << "-0" << ":-";
    QTest::newRow("longer-than-eight") << "123:45:678" << "12" << ":4" << ":6";
}

void TestGanttBars::timeTextPieces()
{
    QFETCH(QString, text);
    QTEST(HourPart(text).toString(), "hour");
    QTEST(MinutePart(text).toString(), "minute");
    QTEST(SecondPart(text).toString(), "second");
}

void TestGanttBars::partValue_data()
{
    QTest::addColumn<QString>("piece");
    QTest::addColumn<int>("value");
    QTest::newRow("two-digits") << "17" << 17;
    QTest::newRow("leading-zero") << "05" << 5;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("letters") << "ab" << 0;
    QTest::newRow("digits-then-colon") << "1:" << 1;
    QTest::newRow("minus-zero") << "-0" << 0;
    QTest::newRow("negative") << "-4" << -4;
    QTest::newRow("leading-blank") << " 9" << 9;
    QTest::newRow("sign-alone") << "-" << 0;
    QTest::newRow("beyond-16-bit") << "99999999" << 32767;
    QTest::newRow("below-16-bit") << "-99999999" << -32768;
}

void TestGanttBars::partValue()
{
    QFETCH(QString, piece);
    QTEST(int(PartValue(piece)), "value");
}

void TestGanttBars::barStartX_data()
{
    QTest::addColumn<int>("base");
    QTest::addColumn<int>("hh");
    QTest::addColumn<int>("mm");
    QTest::addColumn<int>("ss");
    QTest::addColumn<int>("H");
    QTest::addColumn<int>("M");
    QTest::addColumn<int>("W");
    QTest::addColumn<double>("interval");
    QTest::addColumn<int>("x");
    // Interval 5, start 2:17:30 in column 2:15: half the cell.
    QTest::newRow("i5-half-of-26") << 100 << 2 << 17 << 30 << 2 << 15 << 26 << 5.0 << 113;
    QTest::newRow("i10-start-1:12-in-1:10") << 0 << 1 << 12 << 0 << 1 << 10 << 26 << 10.0 << 5;
    // 13.5 rounds to the even neighbour 14.
    QTest::newRow("27px-at-50-percent") << 0 << 2 << 17 << 30 << 2 << 15 << 27 << 5.0 << 14;
    QTest::newRow("start-on-column-start") << 40 << 2 << 15 << 0 << 2 << 15 << 26 << 5.0 << 40;
    QTest::newRow("start-in-earlier-hour") << 40 << 1 << 58 << 0 << 2 << 0 << 26 << 5.0 << 40;
    QTest::newRow("start-earlier-in-same-hour") << 40 << 2 << 5 << 0 << 2 << 15 << 26 << 5.0
                                                << 40;
    // The percent is of the column span: 1 s of 60 s is 2 percent.
    QTest::newRow("i1-one-second-in") << 0 << 0 << 0 << 1 << 0 << 0 << 26 << 1.0 << 1;
    QTest::newRow("start-at-column-end") << 0 << 2 << 20 << 0 << 2 << 15 << 26 << 5.0 << 26;
}

void TestGanttBars::barStartX()
{
    QFETCH(int, base);
    QFETCH(int, hh);
    QFETCH(int, mm);
    QFETCH(int, ss);
    QFETCH(int, H);
    QFETCH(int, M);
    QFETCH(int, W);
    QFETCH(double, interval);
    QTEST(BarStartX(base, qint16(mm), qint16(hh), qint16(ss), qint16(M), qint16(H), qint16(W),
                    interval),
          "x");
}

void TestGanttBars::barEndX_data()
{
    QTest::addColumn<int>("base");
    QTest::addColumn<int>("hh");
    QTest::addColumn<int>("mm");
    QTest::addColumn<int>("ss");
    QTest::addColumn<int>("H");
    QTest::addColumn<int>("M");
    QTest::addColumn<int>("W");
    QTest::addColumn<double>("interval");
    QTest::addColumn<int>("x");
    QTest::newRow("i10-finish-1:15-in-1:10") << 26 << 1 << 15 << 0 << 1 << 10 << 26 << 10.0 << 13;
    // Finish on the column start: the bar ends where it begins.
    QTest::newRow("finish-on-column-start") << 26 << 2 << 40 << 0 << 2 << 40 << 26 << 5.0 << 0;
    QTest::newRow("finish-in-later-hour") << 26 << 3 << 0 << 0 << 2 << 55 << 26 << 5.0 << 26;
    QTest::newRow("finish-after-column") << 26 << 2 << 40 << 0 << 2 << 15 << 26 << 5.0 << 26;
    QTest::newRow("finish-on-column-end") << 26 << 2 << 20 << 0 << 2 << 15 << 26 << 5.0 << 26;
    QTest::newRow("finish-past-24-hours") << 500 << 25 << 0 << 0 << 23 << 55 << 26 << 5.0 << 500;
    QTest::newRow("27px-at-50-percent") << 27 << 2 << 17 << 30 << 2 << 15 << 27 << 5.0 << 13;
}

void TestGanttBars::barEndX()
{
    QFETCH(int, base);
    QFETCH(int, hh);
    QFETCH(int, mm);
    QFETCH(int, ss);
    QFETCH(int, H);
    QFETCH(int, M);
    QFETCH(int, W);
    QFETCH(double, interval);
    QTEST(BarEndX(base, qint16(mm), qint16(hh), qint16(ss), qint16(M), qint16(H), qint16(W),
                  interval),
          "x");
}

void TestGanttBars::barRows_data()
{
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<int>("plannedTop");
    QTest::addColumn<int>("plannedBottom");
    QTest::addColumn<int>("actualTop");
    QTest::addColumn<int>("actualBottom");
    QTest::newRow("20-high-at-100") << 100 << 120 << 103 << 110 << 111 << 118;
    QTest::newRow("40-high-at-200") << 200 << 240 << 203 << 220 << 221 << 238;
    // 10.5 and 21.5 both round to the even neighbour.
    QTest::newRow("odd-height-21") << 0 << 21 << 3 << 10 << 11 << 18;
    QTest::newRow("odd-height-23") << 0 << 23 << 3 << 12 << 13 << 22;
    QTest::newRow("tiny-cell") << 0 << 4 << 3 << 2 << 3 << 2;
}

void TestGanttBars::barRows()
{
    QFETCH(int, top);
    QFETCH(int, bottom);
    const BarBands b = BarRows(top, bottom);
    QTEST(b.plannedTop, "plannedTop");
    QTEST(b.plannedBottom, "plannedBottom");
    QTEST(b.actualTop, "actualTop");
    QTEST(b.actualBottom, "actualBottom");
}

void TestGanttBars::barInCell_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("finish");
    QTest::addColumn<QString>("duration");
    QTest::addColumn<QString>("hour");
    QTest::addColumn<QString>("minute");
    QTest::addColumn<double>("interval");
    QTest::addColumn<bool>("touches");
    QTest::addColumn<int>("x1"); // relative to a cell at 0..26
    QTest::addColumn<int>("x2");

    const QString s = "02:17:30", f = "02:40:00", d = "00:22:30";
    QTest::newRow("i5-column-2:10-before-start") << s << f << d << "2" << "10" << 5.0 << false
                                                 << 0 << 0;
    QTest::newRow("i5-column-2:15-right-half") << s << f << d << "2" << "15" << 5.0 << true << 13
                                               << 26;
    QTest::newRow("i5-column-2:20-full") << s << f << d << "2" << "20" << 5.0 << true << 0 << 26;
    QTest::newRow("i5-column-2:35-full") << s << f << d << "2" << "35" << 5.0 << true << 0 << 26;
    QTest::newRow("i5-column-2:40-touches-only") << s << f << d << "2" << "40" << 5.0 << true
                                                 << 0 << 0;
    QTest::newRow("i5-column-2:45-after") << s << f << d << "2" << "45" << 5.0 << false << 0 << 0;
    QTest::newRow("i10-inside-one-cell") << "01:12:00" << "01:15:00" << "00:03:00" << "1" << "10"
                                         << 10.0 << true << 5 << 13;
    QTest::newRow("duration-empty-suppresses") << s << f << "" << "2" << "20" << 5.0 << false
                                               << 0 << 0;
    QTest::newRow("duration-zero-suppresses") << s << f << "00:00:00" << "2" << "20" << 5.0
                                              << false << 0 << 0;
    QTest::newRow("empty-start-from-midnight") << "" << "00:07:00" << "00:07:00" << "0" << "0"
                                               << 5.0 << true << 0 << 26;
    QTest::newRow("empty-start-second-column") << "" << "00:07:00" << "00:07:00" << "0" << "5"
                                               << 5.0 << true << 0 << 10;
    QTest::newRow("past-24h-runs-to-last-column") << "23:00:00" << "25:00:00" << "02:00:00"
                                                  << "23" << "55" << 5.0 << true << 0 << 26;
    QTest::newRow("start-past-24h-not-drawn") << "24:30:00" << "25:00:00" << "00:30:00" << "23"
                                              << "55" << 5.0 << false << 0 << 0;
    // Group summaries can carry negative parts; they read like any piece.
    QTest::newRow("negative-duration-text-draws") << "00:01:40" << "00:03:00" << "00:-01:-40"
                                                  << "0" << "0" << 5.0 << true << 9 << 16;
    QTest::newRow("letters-read-as-zero") << "ab:cd:ef" << "00:10:00" << "00:10:00" << "0" << "5"
                                          << 5.0 << true << 0 << 26;
    QTest::newRow("short-start-text") << "2" << "03:00:00" << "01:00:00" << "2" << "0" << 5.0
                                      << true << 0 << 26;
    QTest::newRow("no-interval") << s << f << d << "2" << "20" << 0.0 << false << 0 << 0;
}

void TestGanttBars::barInCell()
{
    QFETCH(QString, start);
    QFETCH(QString, finish);
    QFETCH(QString, duration);
    QFETCH(QString, hour);
    QFETCH(QString, minute);
    QFETCH(double, interval);
    QFETCH(bool, touches);
    const auto span = BarInCell({start, finish, duration}, hour, minute, interval, 0, 26);
    QCOMPARE(span.has_value(), touches);
    if (span) {
        QTEST(span->x1, "x1");
        QTEST(span->x2, "x2");
    }
}

void TestGanttBars::intervalMinutes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("minutes");
    QTest::newRow("five") << "5" << true << 5.0;
    QTest::newRow("twelve") << "12" << true << 12.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("zero") << "0" << false << 0.0;
    QTest::newRow("negative") << "-5" << false << 0.0;
    QTest::newRow("letters") << "five" << false << 0.0;
    QTest::newRow("blanks-around") << " 10 " << true << 10.0;
}

void TestGanttBars::intervalMinutes()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const auto minutes = IntervalMinutes(text);
    QCOMPARE(minutes.has_value(), valid);
    if (minutes)
        QTEST(*minutes, "minutes");
}

void TestGanttBars::cellBarsStayInsideTheCell_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("finish");
    QTest::newRow("minutes-beyond-59") << "02:99:00" << "02:99:99";
    QTest::newRow("negative-minutes") << "02:-9:00" << "02:10:00";
    QTest::newRow("hours-in-the-past") << "-9:00:00" << "99:00:00";
}

void TestGanttBars::cellBarsStayInsideTheCell()
{
    QFETCH(QString, start);
    QFETCH(QString, finish);
    const QRect cell(QPoint(100, 40), QPoint(125, 59));
    for (int minute = 0; minute < 60; minute += 5) {
        const QString m = QString::number(minute);
        const CellBars bars = ComputeCellBars({start, finish, u"01:00:00"},
                                              {start, finish, u"01:00:00"}, u"2", m, 5.0, 100, 40,
                                              126, 60);
        QVERIFY(bars.planned.isEmpty() || cell.contains(bars.planned));
        QVERIFY(bars.actual.isEmpty() || cell.contains(bars.actual));
    }
}

QTEST_GUILESS_MAIN(TestGanttBars)
#include "tst_ganttbars.moc"
