#include "liveschedule.h"
#include "mappedfile.h"

#include "../model/scheduletable.h"
#include "filltarget.h"
#include "schedulerows.h"

#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <utility>

using namespace vorn;

namespace {

// Rows as a program without a grid keeps them: the two header rows, then
// each row's level, record and six time texts, written by the fill and the
// ticks alike.
struct Rows final : core::FillTarget, model::TickRows, model::TickCellWriter {
    std::vector<model::ScheduleRow> rows = std::vector<model::ScheduleRow>(2);
    quint64 rowsGeneration = 0;

    void begin() override { rows.resize(2), ++rowsGeneration; }
    void reserve(size_t count) override { rows.reserve(2 + count); }
    void add(model::ScheduleRow &&row) override { rows.push_back(std::move(row)); }
    void finish() override {}
    void end() override {}
    const model::TickRows &tickRows() const override { return *this; }
    const void *holder() const override { return this; }
    quint64 generation() const override { return rowsGeneration; }
    int count() const override { return int(rows.size()); }
    qint16 level(int row) const override { return rows[size_t(row)].level; }
    qint32 record(int row) const override { return rows[size_t(row)].record; }
    void write(const model::TickTriple &triple) override
    {
        for (size_t cell = 0; cell < 3; ++cell) {
            if (triple.texts[cell])
                rows[size_t(triple.row)].times[3 * size_t(triple.pair) + cell] = *triple.texts[cell];
        }
    }
    QStringList times() const
    {
        QStringList lines;
        for (const model::ScheduleRow &row : rows)
            lines << QStringList(row.times.begin(), row.times.end()).join(u'|');
        return lines;
    }
};

} // namespace

// The schedule of a folder followed without a window: its fill, and the
// ticks that start from what the fill read.
class tst_LiveSchedule : public QObject {
    Q_OBJECT
private slots:
    void tickAfterAFillStartsFromWhatTheFillRead_data()
    {
        // Records "StartP;FinishP;DurationP;StartA;FinishA;DurationA" of one machine;
        // "set <record> <StartP>" changes one between the fill and the tick;
        // "midfill <record> <StartP> <StartP back>" while the fill pauses, and
        // back after the fill.
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("rowsRewritten");

        QTest::newRow("stored-durations-agree-nothing-to-do") << QStringList{"60;180;120;70;250;180", "100;200;100"} << "" << 0;
        QTest::newRow("one-side-empty-keeps-the-stored-duration") << QStringList{"60;;999", ";;"} << "" << 0;
        QTest::newRow("both-empty-clears-a-stored-duration") << QStringList{";;30", "5;6;1"} << "" << 1;
        QTest::newRow("duration-beyond-92-hours-kept") << QStringList{"-1;331199;5"} << "" << 0;
        QTest::newRow("record-changed-after-the-fill") << QStringList{"60;180;120", "100;200;100"} << "set 2 150" << 1;
        // The fill takes a negative finish as the latest, a tick does not.
        QTest::newRow("summary-a-tick-writes-otherwise") << QStringList{"-100;-50;50", "-90;-60;30"} << "" << 0;
        QTest::newRow("summary-beyond-92-hours-kept") << QStringList{"10;331300;331290"} << "" << 0;
        // A fill pauses every 8192 records; a record not plain ASCII has its
        // fields read on the window's thread after the others. Only a mapped
        // table shows the fill a write made after its open.
        if (store::MappedFile::enabled())
            QTest::newRow("record-rewritten-during-the-fill-and-back-is-read-again")
                << (QStringList(8192, "60;180;120") << "100;;;;\u00e9") << "midfill 8193 150 100" << 1;
    }

    void tickAfterAFillStartsFromWhatTheFillRead()
    {
        QFETCH(QStringList, records);
        QFETCH(QString, change);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Scheduler.dbf"));
        for (QString &record : records)
            record.prepend(QStringLiteral("P;;M;;"));
        store::DbfTable table;
        QCOMPARE(testing::makeScheduleTable(table, path, records), QString());
        const QStringList words = change.split(u' ');
        const auto setStart = [&path](const QString &record, const QString &start) {
            store::DbfTable writer;
            QVERIFY(writer.open(path).ok());
            QVERIFY(writer.setField(record.toInt(), 5, start).ok());
        };
        // The plan and process tables only need to open.
        core::LiveSchedule schedule(core::LiveSchedule::OpenFailure::Quiet);
        bool rewritten = false;
        schedule.setAnswerPeriod(0);
        int answers = 0;
        schedule.setAnswer([&] {
            ++answers;
            if (words[0] == u"midfill" && !std::exchange(rewritten, true)) {
                setStart(words[1], words[2]);
                // Past the period since the fill began, not since this answer.
                QTest::qSleep(1000);
                schedule.setAnswerPeriod(1000);   // far more than the rest of the fill takes
            }
        });
        Rows kept;
        const QString base = path.chopped(4);
        QVERIFY(schedule.fill({base, base, base}, model::kSortByMachine, kept).ok());
        QVERIFY(!rewritten || answers == 1);
        if (!change.isEmpty())
            setStart(words[1], words.value(3, words[2]));
        // The same rows, worked out by a tick with nothing kept, from the
        // file as it is now.
        Rows fresh = kept;
        // Timed as the window's timer times it, a wait after an empty tick;
        // the ticks' processor time lies within the process's meanwhile.
        const std::clock_t cpuBefore = std::clock();
        { const core::LiveSchedule::TimerTick before(schedule); }
        QTest::qSleep(20);
        {
            const core::LiveSchedule::TimerTick timed(schedule);
            QVERIFY(schedule.tick(base, kept, kept));
        }
        QVERIFY(schedule.stats().longestGapMs >= 20 && schedule.stats().longestGapMs < 60000);
        const qint64 cpuUs = qint64(std::clock() - cpuBefore) * 1000000 / CLOCKS_PER_SEC;
#ifdef Q_OS_LINUX   // a thread's clock counts nanoseconds there; Windows' counts in scheduler ticks
        QVERIFY(schedule.stats().totalTickCpuUs > 0);
#endif
        QVERIFY(schedule.stats().totalTickCpuUs >= 0 && schedule.stats().totalTickCpuUs <= cpuUs + 3);
        QVERIFY(table.open(path).ok());
        FeedTick(table, fresh, fresh, false, nullptr);
        QCOMPARE(kept.times(), fresh.times());
        QTEST(int(schedule.stats().rowsRewritten), "rowsRewritten");
    }
};

QTEST_GUILESS_MAIN(tst_LiveSchedule)
#include "tst_liveschedule.moc"
