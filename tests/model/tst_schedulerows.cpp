#include "filltree_oracle.h"
#include "scheduletable.h"

#include "dbftable.h"
#include "schedulerows.h"
#include "schedulexml.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace vorn;
using namespace vorn::model;

namespace {

// One grid row as one line: level, label, record, the six cells.
QString flatten(const ScheduleRow &row)
{
    QStringList times;
    for (const QString &time : row.times)
        times << time;
    return QStringLiteral("%1 %2 #%3 %4").arg(row.level).arg(row.label).arg(row.record).arg(times.join(u','));
}

QStringList flatten(const std::vector<ScheduleRow> &rows)
{
    QStringList lines;
    for (const ScheduleRow &row : rows)
        lines << flatten(row);
    return lines;
}

QList<QList<QString>> records(const QStringList &texts)
{
    QList<QList<QString>> result;
    for (const QString &text : texts)
        result << testing::recordFrom(text);
    return result;
}

// Keys that look alike: case, blanks, separators, orders.
QList<QList<QString>> generatedRecords(quint32 seed, int count, int distinctKeys)
{
    QRandomGenerator random(seed);
    const auto pick = [&random](const QStringList &from) { return from.at(random.bounded(int(from.size()))); };
    QStringList parts;
    QStringList machines;
    for (int k = 0; k < distinctKeys; ++k) {
        const QString base = QStringLiteral("K%1").arg(k);
        parts << base;
        machines << QStringLiteral("M%1").arg(k);
    }
    parts << "k0" << " K1" << "K2  " << "" << "A|K3" << "x|y" << "x" << "  ";
    machines << "m0" << " M1" << "M2 " << "" << "M3|Z" << "M3|Z" << "Z" << "  ";
    const QStringList orders = {"", "", "", "O1", "o1", " O2", "O1 "};
    const QStringList times = {"", "", "0", "60", "  3600", "90000.5", "-120", "12.5", "n/a",
                               "400000", "1e2", "7", "86399"};
    QList<QList<QString>> result;
    for (int i = 0; i < count; ++i) {
        QList<QString> record = testing::recordFrom(QString());
        record[0] = pick(parts);
        record[1] = QStringLiteral("P%1").arg(i % 3);
        record[2] = pick(machines);
        record[3] = pick(orders);
        for (int f = 4; f < 10; ++f)
            record[f] = pick(times);
        result << record;
    }
    return result;
}

} // namespace

class TestScheduleRows : public QObject {
    Q_OBJECT

private slots:
    void init();
    void groupsRecords_data();
    void groupsRecords();
    void matchesPlainAlgorithm_data();
    void matchesPlainAlgorithm();
    void xmlCoversEveryRecord_data();
    void xmlCoversEveryRecord();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestScheduleRows::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestScheduleRows::groupsRecords_data()
{
    QTest::addColumn<QStringList>("table");   // Part;Process;Machine;Order;StartP;...;DurationA
    QTest::addColumn<int>("sortOrder");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("non-adjacent-records-gathered-by-part")
        << QStringList{"P1;;M1;;100;200;100", "P2;;M2;;50;60;10", "P1;;M3;;300;400;100"} << 0
        << QStringList{"0 P1 #1 00:01:40,00:06:40,00:05:00,,,", "1 M1 #1 00:01:40,00:03:20,00:01:40,,,",
                       "1 M3 #3 00:05:00,00:06:40,00:01:40,,,", "0 P2 #2 00:00:50,00:01:00,00:00:10,,,",
                       "1 M2 #2 00:00:50,00:01:00,00:00:10,,,"};
    QTest::newRow("part-with-two-orders-by-part")
        << QStringList{"P1;;M1;O1", "P1;;M2;O2", "P1;;M3;O1"} << 0
        << QStringList{"0 P1(O1) #1 ,,,,,", "1 M1 #1 ,,,,,", "1 M3 #3 ,,,,,", "0 P1(O2) #2 ,,,,,",
                       "1 M2 #2 ,,,,,"};
    QTest::newRow("part-with-two-orders-by-machine")
        << QStringList{"P1;;M1;O1", "P1;;M1;O2", "P2;;M2;"} << 1
        << QStringList{"0 M1 #1 ,,,,,", "1 P1(O1) #1 ,,,,,", "1 P1(O2) #2 ,,,,,", "0 M2 #3 ,,,,,",
                       "1 P2 #3 ,,,,,"};
    QTest::newRow("empty-part-label-forms-no-group")
        << QStringList{";;M1;", "P1;;M1;"} << 0 << QStringList{"0 P1 #2 ,,,,,", "1 M1 #2 ,,,,,"};
    QTest::newRow("empty-machine-forms-no-group")
        << QStringList{"P1;;;", "P2;;M1;"} << 1 << QStringList{"0 M1 #2 ,,,,,", "1 P2 #2 ,,,,,"};
    QTest::newRow("order-without-part")
        << QStringList{";;M1;O7"} << 0 << QStringList{"0 (O7) #1 ,,,,,", "1 M1 #1 ,,,,,"};
    QTest::newRow("blank-order-is-no-order")
        << QStringList{"P1   ;;M1;   "} << 0 << QStringList{"0 P1 #1 ,,,,,", "1 M1 #1 ,,,,,"};
    QTest::newRow("part-trailing-blanks-before-order")
        << QStringList{"P1  ;;M1;O1"} << 0 << QStringList{"0 P1(O1) #1 ,,,,,", "1 M1 #1 ,,,,,"};
    QTest::newRow("no-numeric-times-empty-summary")
        << QStringList{"P1;;M1;;n/a;;x;;-;"} << 0 << QStringList{"0 P1 #1 ,,,,,", "1 M1 #1 ,,,,,"};
    QTest::newRow("actual-start-without-finish")
        << QStringList{"P1;;M1;;;;;100;;"} << 0
        << QStringList{"0 P1 #1 ,,,00:01:40,,00:-01:-40", "1 M1 #1 ,,,00:01:40,,"};
    QTest::newRow("zero-start-is-replaced")
        << QStringList{"P1;;M1;;0;10", "P1;;M2;;50;60"} << 0
        << QStringList{"0 P1 #1 00:00:50,00:01:00,00:00:10,,,", "1 M1 #1 ,00:00:10,,,,",
                       "1 M2 #2 00:00:50,00:01:00,,,,"};
    QTest::newRow("zero-start-after-value-resets-earliest")
        << QStringList{"P1;;M1;;50;60", "P1;;M2;;0;70"} << 0
        << QStringList{"0 P1 #1 ,00:01:10,00:01:10,,,", "1 M1 #1 00:00:50,00:01:00,,,,",
                       "1 M2 #2 ,00:01:10,,,,"};
    QTest::newRow("negative-finishes-take-the-latest")
        << QStringList{"P1;;M1;;;-50", "P1;;M2;;;-30"} << 0
        << QStringList{"0 P1 #1 ,00:00:-30,00:00:-30,,,", "1 M1 #1 ,00:00:-50,,,,", "1 M2 #2 ,00:00:-30,,,,"};
    QTest::newRow("summary-uses-rounded-values")
        << QStringList{"P1;;M1;;12.5;13.5"} << 0
        << QStringList{"0 P1 #1 00:00:12,00:00:14,00:00:02,,,", "1 M1 #1 00:00:12,00:00:14,,,,"};
    QTest::newRow("durations-shown-as-stored")
        << QStringList{"P1;;M1;;100;200;999;;;5"} << 0
        << QStringList{"0 P1 #1 00:01:40,00:03:20,00:01:40,,,", "1 M1 #1 00:01:40,00:03:20,00:16:39,,,00:00:05"};
    QTest::newRow("summary-beyond-92-hours-left-empty")
        << QStringList{"P1;;M1;;100;200", "P1;;M2;;;331300"} << 0
        << QStringList{"0 P1 #1 00:01:40,,,,,", "1 M1 #1 00:01:40,00:03:20,,,,", "1 M2 #2 ,,,,,"};
    QTest::newRow("keys-differing-in-case")
        << QStringList{"P1;;M1;", "P1;;m1;", "P2;;M1;"} << 1
        << QStringList{"0 M1 #1 ,,,,,", "1 P1 #1 ,,,,,", "1 P2 #3 ,,,,,", "0 m1 #2 ,,,,,", "1 P1 #2 ,,,,,"};
    QTest::newRow("leading-blank-key-seen-as-plain-key")
        << QStringList{"P1;;M1;", "P2;; M1;", "P3;;M1;"} << 1
        << QStringList{"0 M1 #1 ,,,,,", "1 P1 #1 ,,,,,", "1 P3 #3 ,,,,,"};
    QTest::newRow("plain-key-seen-after-leading-blank-key")
        << QStringList{"P1;; M1;", "P2;;M1;"} << 1 << QStringList{"0  M1 #1 ,,,,,", "1 P1 #1 ,,,,,"};
    QTest::newRow("piece-of-separated-key-is-seen")
        << QStringList{"A|B;;M1;", "A;;M2;", "B;;M3;"} << 0 << QStringList{"0 A|B #1 ,,,,,", "1 M1 #1 ,,,,,"};
    QTest::newRow("separated-key-never-seen")
        << QStringList{"P1;;X|Y;;10", "P2;;X|Y;;20", "P3;;X|Y;;30"} << 1
        << QStringList{"0 X|Y #1 00:00:10,,00:00:-10,,,", "1 P1 #1 00:00:10,,,,,", "1 P2 #2 00:00:20,,,,,",
                       "1 P3 #3 00:00:30,,,,,", "0 X|Y #2 00:00:20,,00:00:-20,,,", "1 P2 #2 00:00:20,,,,,",
                       "1 P3 #3 00:00:30,,,,,", "0 X|Y #3 00:00:30,,00:00:-30,,,", "1 P3 #3 00:00:30,,,,,"};
    QTest::newRow("non-ascii-keys-by-part")
        << QStringList{"Fräse;;Mühle;O1", "Fräse;;M2;O1"} << 0
        << QStringList{"0 Fräse(O1) #1 ,,,,,", "1 Mühle #1 ,,,,,", "1 M2 #2 ,,,,,"};
    QTest::newRow("non-ascii-labels-by-machine")
        << QStringList{"Fräse;;Mühle;Ö", "Teil;;Mühle;"} << 1
        << QStringList{"0 Mühle #1 ,,,,,", "1 Fräse(Ö) #1 ,,,,,", "1 Teil #2 ,,,,,"};
    QTest::newRow("other-sort-order-forms-nothing")
        << QStringList{"P1;;M1;", "P2;;M2;"} << 2 << QStringList{};
    QTest::newRow("empty-table") << QStringList{} << 0 << QStringList{};
}

void TestScheduleRows::groupsRecords()
{
    QFETCH(QStringList, table);
    QFETCH(int, sortOrder);
    QFETCH(QStringList, expected);

    store::DbfTable dbf;
    const QString error = testing::makeScheduleTable(dbf, m_dir->filePath("Scheduler.dbf"), records(table));
    QVERIFY2(error.isEmpty(), qPrintable(error));

    const FillResult result = BuildScheduleRows(dbf, qint16(sortOrder), nullptr);
    QCOMPARE(flatten(result.rows), expected);
    QCOMPARE(result.recordCount, qint32(table.size()));
    QCOMPARE(result.groupCount, qint32(std::count_if(expected.cbegin(), expected.cend(),
                                                     [](const QString &line) { return line.startsWith(u'0'); })));
    // The plain algorithm agrees on every hand-made case too.
    QCOMPARE(flatten(result.rows), flatten(oracle::fillRows(dbf, qint16(sortOrder))));
}

void TestScheduleRows::matchesPlainAlgorithm_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("distinctKeys");
    QTest::addColumn<int>("sortOrder");

    QTest::newRow("by-part-few-groups") << 1u << 300 << 8 << 0;
    QTest::newRow("by-part-many-groups") << 3u << 600 << 150 << 0;
    QTest::newRow("by-machine-many-groups") << 4u << 600 << 150 << 1;
    QTest::newRow("by-machine-mostly-single-records") << 6u << 400 << 1000 << 1;
}

void TestScheduleRows::matchesPlainAlgorithm()
{
    QFETCH(quint32, seed);
    QFETCH(int, count);
    QFETCH(int, distinctKeys);
    QFETCH(int, sortOrder);

    store::DbfTable dbf;
    const QString error = testing::makeScheduleTable(dbf, m_dir->filePath("Scheduler.dbf"),
                                                     generatedRecords(seed, count, distinctKeys));
    QVERIFY2(error.isEmpty(), qPrintable(error));

    const QStringList expected = flatten(oracle::fillRows(dbf, qint16(sortOrder)));
    const QStringList actual = flatten(BuildScheduleRows(dbf, qint16(sortOrder), nullptr).rows);
    QCOMPARE(actual.size(), expected.size());
    for (qsizetype i = 0; i < actual.size(); ++i)
        QCOMPARE(actual.at(i), expected.at(i));
}

void TestScheduleRows::xmlCoversEveryRecord_data()
{
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<int>("sortOrder");

    QTest::newRow("records-without-group-by-machine") << QStringList{"P1;a;;", "P2;b;;", "P3;c;;"} << 1;
    QTest::newRow("records-without-group-by-part") << QStringList{";a;M1;", "P1;b;M1;;10"} << 0;
    QTest::newRow("other-sort-order") << QStringList{"P1;a;M1;;10;20"} << 7;
    QTest::newRow("empty-table") << QStringList{} << 0;
}

void TestScheduleRows::xmlCoversEveryRecord()
{
    QFETCH(QStringList, table);
    QFETCH(int, sortOrder);

    store::DbfTable dbf;
    const QString error = testing::makeScheduleTable(dbf, m_dir->filePath("Scheduler.dbf"), records(table));
    QVERIFY2(error.isEmpty(), qPrintable(error));

    QString xml = QStringLiteral("previous document");
    BuildScheduleRows(dbf, qint16(sortOrder), &xml);
    QCOMPARE(xml, BuildScheduleXml(dbf, XmlVariant::Fill));
    QCOMPARE(xml.count(QStringLiteral("<DataRow>")), table.size());
}

QTEST_GUILESS_MAIN(TestScheduleRows)
#include "tst_schedulerows.moc"
