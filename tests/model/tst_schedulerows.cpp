#include "filltree_oracle.h"
#include "scheduletable.h"

#include "fieldreader.h"
#include "schedulexml.h"
#include "testfiles.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace vorn;
using namespace vorn::model;

namespace {

// Each grid row as one line: level, label, record, the six cells (empty ones at the end left out).
QStringList flatten(const std::vector<ScheduleRow> &rows)
{
    static const QRegularExpression emptyEnd(QStringLiteral("[ ,]+$"));
    QStringList lines;
    for (const ScheduleRow &row : rows)
        lines << QStringLiteral("%1 %2 #%3 %4").arg(row.level).arg(row.label).arg(row.record)
                     .arg(QStringList(row.times.cbegin(), row.times.cend()).join(u',')).remove(emptyEnd);
    return lines;
}

// Keys that look alike (case, blanks, separators, orders, letters beyond
// ASCII) and times of every kind, in part, process, machine, order and times.
QStringList generatedRecords(quint32 seed, int count, int distinctKeys)
{
    QRandomGenerator random(seed);
    QStringList keys{"k0", " K1", "K2  ", "", "A|K3", "x|y", "x", "  ", "Mühle", "mühle", "Fräse"};
    for (int k = 0; k < distinctKeys; ++k)
        keys << QStringLiteral("K%1").arg(k);
    const QStringList orders{"", "", "", "O1", "o1", " O2", "O1 ", "Ö"};
    const QStringList times{"", "", "0", "60", "  3600", "90000.5", "-120", "12.5", "n/a", "400000", "1e2"};
    const QStringList *const pools[] = {&keys, &orders, &keys, &orders, &times, &times, &times, &times, &times, &times};
    QStringList records;
    for (int i = 0; i < count; ++i) {
        QStringList record;
        for (const QStringList *pool : pools)
            record << pool->at(random.bounded(int(pool->size())));
        records << record.join(u';');
    }
    return records;
}

// Generated tables have no hand-made expectation: the plain algorithm is the reference.
const QStringList kAsPlainAlgorithm{QStringLiteral("(as the plain algorithm)")};

} // namespace

class TestScheduleRows : public QObject {
    Q_OBJECT

private slots:
    void groupsRecords_data()
    {
        QTest::addColumn<QStringList>("table"); // Part;Process;Machine;Order;StartP;...;DurationA
        QTest::addColumn<int>("sortOrder");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("non-adjacent-records-gathered-by-part") << QStringList{"P1;;M1;;100;200", "P2;;M2", "P1;;M3;;300;400"}
            << 0 << QStringList{"0 P1 #1 00:01:40,00:06:40,00:05:00", "1 M1 #1 00:01:40,00:03:20", "1 M3 #3 00:05:00,00:06:40",
                                "0 P2 #2", "1 M2 #2"};
        QTest::newRow("part-with-two-orders-by-part") << QStringList{"P1;;M1;O1", "P1  ;;M2;O2", "P1;;M3;O1"} << 0
            << QStringList{"0 P1(O1) #1", "1 M1 #1", "1 M3 #3", "0 P1(O2) #2", "1 M2 #2"};
        QTest::newRow("part-with-two-orders-by-machine") << QStringList{"P1;;M1;O1", "P1;;M1;O2", "P2;;M2;   "} << 1
            << QStringList{"0 M1 #1", "1 P1(O1) #1", "1 P1(O2) #2", "0 M2 #3", "1 P2 #3"};
        QTest::newRow("empty-part-label-no-group-order-alone-forms-one")
            << QStringList{";;M1;", ";;M2;O7"} << 0 << QStringList{"0 (O7) #2", "1 M2 #2"};
        QTest::newRow("no-numeric-planned-times-actual-start-without-finish") << QStringList{"P1;;M1;;n/a;;x;100;-"}
            << 0 << QStringList{"0 P1 #1 ,,,00:01:40,,00:-01:-40", "1 M1 #1 ,,,00:01:40"};
        // 0 is "no value yet": the next numeric start replaces it.
        QTest::newRow("zero-start-is-no-value") << QStringList{"P1;;M1;;0;10", "P1;;M2;;50;60"} << 0
            << QStringList{"0 P1 #1 00:00:50,00:01:00,00:00:10", "1 M1 #1 ,00:00:10", "1 M2 #2 00:00:50,00:01:00"};
        // A key is seen when it equals a piece of the list, blanks aside; one holding "|" never is.
        QTest::newRow("piece-of-separated-key-or-blank-variant-is-seen")
            << QStringList{"A|B;;M1;", "B;;M2;", " A;;M3;"} << 0 << QStringList{"0 A|B #1", "1 M1 #1"};
        QTest::newRow("plain-keys-placed-before-a-separated-one-count-as-pieces")
            << QStringList{"B;;M1;", "A|C;;M2;", " B;;M3;", "A;;M4;"} << 0
            << QStringList{"0 B #1", "1 M1 #1", "0 A|C #2", "1 M2 #2"};
        QTest::newRow("blank-variant-of-a-plain-key-is-seen") << QStringList{"B;;M1;", " B;;M2;"} << 0
            << QStringList{"0 B #1", "1 M1 #1"};
        // "™" is the code units 0x2122, the bytes of the ASCII key "\"!": the keys must stay apart.
        QTest::newRow("key-beyond-ascii-beside-its-units-as-ascii") << QStringList{"P1;;™", "P2;;\"!"} << 1 << kAsPlainAlgorithm;
        QTest::newRow("separated-key-never-seen") << QStringList{"P1;;X|Y;;10", "P2;;X|Y;;20"} << 1
            << QStringList{"0 X|Y #1 00:00:10,,00:00:-10", "1 P1 #1 00:00:10", "1 P2 #2 00:00:20",
                           "0 X|Y #2 00:00:20,,00:00:-20", "1 P2 #2 00:00:20"};
        // Durations are shown but never widen the earliest and latest time shown.
        QTest::newRow("actual-duration-below-every-time") << QStringList{"P1;;M1;;100;200;100;150;250;50"} << 0
                                                           << kAsPlainAlgorithm;
        // A time that fills its whole field, with no blank around it.
        QTest::newRow("time-filling-its-field") << QStringList{"P1;;M1;;00000000000100;00000000000160"} << 0 << kAsPlainAlgorithm;
        // Ten digits beyond 32 bits are no value, not the value they wrap to.
        QTest::newRow("time-beyond-32-bits") << QStringList{"P1;;M1;;4294967396"} << 0 << QStringList{"0 P1 #1", "1 M1 #1"};
        QTest::newRow("other-sort-order-forms-nothing") << QStringList{"P1;;M1;", "P2;;M2;"} << 2 << QStringList{};
        QTest::newRow("generated-by-part-few-groups") << generatedRecords(1, 300, 8) << 0 << kAsPlainAlgorithm;
        QTest::newRow("generated-by-part-many-groups") << generatedRecords(3, 600, 150) << 0 << kAsPlainAlgorithm;
        QTest::newRow("generated-by-machine-single-records") << generatedRecords(6, 400, 1000) << 1 << kAsPlainAlgorithm;
        // Large enough for the records to be read on a second thread while the
        // first groups them; the odd ones at the end (keys beyond ASCII among
        // them) are left to the first.
        QStringList large;
        for (int i = 0; i < 19700; ++i)
            large << QStringLiteral("P%1;;M%2;;%3;%4;;%5").arg(i % 40).arg(i % 7).arg(i).arg(i + 60).arg(i % 3 ? QString::number(i + 5) : QString());
        large << generatedRecords(7, 300, 8);
        QTest::newRow("large-by-part-read-beside") << large << 0 << kAsPlainAlgorithm;
        QTest::newRow("large-by-machine-read-beside") << large << 1 << kAsPlainAlgorithm;
    }

    void groupsRecords()
    {
        QFETCH(QStringList, table);
        QFETCH(int, sortOrder);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        store::DbfTable dbf;
        QCOMPARE(testing::makeScheduleTable(dbf, dir.filePath("Scheduler.dbf"), table), QString());
        QString xml = QStringLiteral("previous document");
        const FillResult result = BuildScheduleRows(dbf, qint16(sortOrder), &xml);
        const QStringList rows = flatten(result.rows);
        QCOMPARE(rows, flatten(oracle::fillRows(dbf, qint16(sortOrder))));
        if (expected != kAsPlainAlgorithm)
            QCOMPARE(rows, expected);
        QCOMPARE(result.recordCount, qint32(table.size()));
        QCOMPARE(result.groupCount, qint32(rows.filter(QRegularExpression("^0 ")).size()));

        // Taken one by one as they are made, the rows are the same, and the
        // earliest planned start is the one the group rows show.
        std::vector<ScheduleRow> handed;
        size_t announced = 0;
        FillSink sink;
        sink.begin = [&](size_t count) { announced = count; };
        sink.row = [&](ScheduleRow &&row) { handed.push_back(std::move(row)); };
        const FillResult streamed = BuildScheduleRows(dbf, qint16(sortOrder), nullptr, sink);
        QVERIFY(streamed.rows.empty());
        QCOMPARE(flatten(handed), rows);
        QCOMPARE(announced, handed.size());
        QCOMPARE(streamed.fingerprints, result.fingerprints);
        // The times the rows show, and the earliest planned start of a group, as
        // read back from the texts.
        qint32 earliest = -1;
        qint32 shownFrom = std::numeric_limits<qint32>::max();
        qint32 shownTo = std::numeric_limits<qint32>::min();
        for (const ScheduleRow &row : handed) {
            for (const int cell : {0, 1, 3, 4}) {
                const QStringList parts = row.times[size_t(cell)].split(u':');
                if (parts.size() != 3)
                    continue;
                const qint32 seconds = parts[0].toInt() * 3600 + parts[1].toInt() * 60 + parts[2].toInt();
                shownFrom = std::min(shownFrom, seconds);
                shownTo = std::max(shownTo, seconds);
                if (row.level == 0 && cell == 0 && seconds > 0 && (earliest < 0 || seconds < earliest))
                    earliest = seconds;
            }
        }
        QCOMPARE(streamed.earliestPlannedStart, earliest);
        QCOMPARE(std::pair(streamed.earliestShown, streamed.latestShown), std::pair(shownFrom, shownTo));
        // The XML of the same pass holds every record, also those the grid leaves out.
        QCOMPARE(xml, BuildScheduleXml(dbf, XmlVariant::Fill));
    }

    // While a large table's details are still read beside the grouping, the
    // fill keeps pausing, beyond the grouping's pause every 8192 records:
    // records without a group key leave the grouping nothing to do, so it
    // waits for the reading to end.
    void pausesWhileTheDetailsAreRead()
    {
        QTemporaryDir dir;
        store::DbfTable dbf;
        QCOMPARE(testing::makeScheduleTable(dbf, dir.filePath("Scheduler.dbf"), {}), QString());
        const qint32 count = 120000;
        QVERIFY(dbf.appendRecords(count, [](qint32 i) {
            return QStringList{{}, {}, QString::number(i), {}, QString::number(i), QString::number(i + 60)};
        }).ok());
        int pauses = 0;
        FillSink sink;
        sink.pause = [&] { ++pauses; };
        // Only a wait for the details pauses more than the grouping's every 8192 records;
        // a machine that ran the reader first is given two more tries.
        for (int attempt = 0; attempt < 3 && pauses <= count / 8192; ++attempt) {
            pauses = 0;
            BuildScheduleRows(dbf, 0, nullptr, sink);
        }
        QCOMPARE_GT(pauses, count / 8192);
    }

    // Each table's document for the fill and for a refresh, compared whole with tests/model/data/NAME
    // (a line a record). Part, machine and order lose trailing blanks only, the rest both, also
    // beyond ASCII; markup and tabs go unchanged, times as stored, an empty one as "0" in a refresh;
    // a refresh of an empty table sends nothing.
    void writesDocuments_data()
    {
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<int>("languageDriver");
        QTest::newRow("empty-table.xml") << QStringList{} << 0x57;
        QTest::newRow("whole-record.xml") << QStringList{"Gear;Milling;Mill1;;120;480;360;130;;;"} << 0x57;
        QTest::newRow("blanks-per-field-times-as-stored.xml")
            << QStringList{"  Gear  ;  Ölen  ; Mühle ; O1 ;  120 ;     ;0;12.5;n/a;; gemäß "} << 0x57;
        QTest::newRow("markup-and-tabs-unchanged-records-in-table-order.xml")
            << QStringList{"R&D <1>;\tMilling\t", ";;;;;;;;;;x"} << 0x57;
        QTest::newRow("gbk-with-blanks.xml") << QStringList{"  齿轮 ; 铣削 "} << 0x7A;
    }

    void writesDocuments()
    {
        QFETCH(QStringList, records);
        QFETCH(int, languageDriver);
        QTemporaryDir dir;
        store::DbfTable table;
        QCOMPARE(testing::makeScheduleTable(table, dir.filePath("Scheduler.dbf"), records, quint8(languageDriver)),
                 QString());
        // The documents hold no line ends of their own: one before each record keeps a failure readable.
        const QString xml = "fill: " + BuildScheduleXml(table, XmlVariant::Fill) + "\nrefresh: "
            + BuildScheduleXml(table, XmlVariant::Refresh) + u'\n';
        VORN_COMPARE_STORED(QString::fromLatin1(QTest::currentDataTag()),
                            QString(xml).replace(QStringLiteral("<DataRow>"), QStringLiteral("\n  <DataRow>")).toUtf8());
    }

    void keptRowsGiveTheTextBuiltAfresh_data()
    {
        // Tables one after the other, records "Part;Process;..."; each step's
        // changes carry the records that differ from the step before. "merge"
        // folds a step's changes into the next before they are applied.
        QTest::addColumn<QList<QStringList>>("tables");
        QTest::addColumn<bool>("merge");
        QTest::addColumn<int>("chunk");
        const QString longPart = QString(300, u'x');
        const QList<QStringList> steps{{"P1;;M;;1;2", "P2;;M;;3;4", "P3"},
                                       {"P1;;M;;1;2", "P2;;M;;33;44", "P3", "P4;Mill;;;5"},
                                       {"P1;;M;;1;2"},
                                       {"P1;;M;;1;2", longPart + ";;M", "零件;;机床"}};
        QTest::newRow("applied-one-by-one") << steps << false << 256 * 1024;
        QTest::newRow("folded-together") << steps << true << 256 * 1024;
        QTest::newRow("written-in-small-pieces") << steps << false << 64;
        // Rows run past a piece's end, so the buffer is handed over within a row.
        QTest::newRow("written-in-pieces-within-rows") << QList<QStringList>{QStringList(12, "P1;;M;;1;2")} << false << 2000;
        // Of the earlier rows behind the last one changed, those the shorter table still has stay.
        QTest::newRow("folded-into-a-shorter-table") << QList<QStringList>{{"P1", "P2", "P3"}, {"P1;;M", "P2"}} << true << 64;
        // Enough rewrites of one record that the old contents are compacted away.
        QList<QStringList> rewrites;
        for (int i = 0; i < 12; ++i)
            rewrites << QStringList{"P1;;M;;1;2", QStringLiteral("P2;;M;;%1;9").arg(i), "P3"};
        QTest::newRow("compacted") << rewrites << false << 256 * 1024;
    }

    void keptRowsGiveTheTextBuiltAfresh()
    {
        QFETCH(QList<QStringList>, tables);
        QFETCH(bool, merge);
        QFETCH(int, chunk);
        QTemporaryDir dir;
        // A part wide enough that its kept length takes more than one byte.
        QList<store::FieldDescriptor> fields = vorn::testing::scheduleFields();
        fields[0].length = 254;
        ScheduleXmlRows kept;
        ScheduleXmlChanges waiting;
        QStringList before;
        for (qsizetype step = 0; step < tables.size(); ++step) {
            const QStringList &records = tables[step];
            store::DbfTable table;
            QCOMPARE(vorn::testing::makeScheduleTable(table, dir.filePath(QStringLiteral("s%1.dbf").arg(step)), records, 0x7A, fields),
                     QString());
            const FieldReader reader(table);
            ScheduleXmlChanges changes;
            changes.records = qint32(records.size());
            RecordCopy copy;
            for (qint32 record = 1; record <= qint32(records.size()); ++record) {
                if (before.value(record - 1, QStringLiteral("<none>")) == records[record - 1])
                    continue;
                copy.take(table, record);
                QByteArray contents;
                AppendScheduleXmlContents(contents, reader, copy);
                changes.rows.emplace_back(record, contents);
            }
            before = records;
            waiting.merge(std::move(changes));
            if (merge && step % 2 == 0 && step + 1 < tables.size())
                continue;
            kept.apply(std::move(std::exchange(waiting, {})));
            QByteArray text;
            QVERIFY(kept.write([&text](QByteArrayView piece) { text.append(piece); return true; }, chunk));
            // A piece the bus does not take ends the writing.
            QVERIFY(!kept.write([](QByteArrayView) { return false; }, chunk));
            const QByteArray expected = BusSafeUtf8(BuildScheduleXml(table, XmlVariant::Refresh));
            QCOMPARE(text, expected);
            QCOMPARE(kept.text(), expected);
            QCOMPARE(kept.size(), expected.size());
        }
    }
};

QTEST_GUILESS_MAIN(TestScheduleRows)
#include "tst_schedulerows.moc"
