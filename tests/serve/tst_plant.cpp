#include "plant.h"
#include "plantjson.h"

#include "../ui/uiplant.h"
#include "shownbytes.h"

using namespace vorn;
using namespace vorn::test;
using serve::Sort;

namespace {

// Every file of the folder with its bytes and time of change.
QStringList folderState(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        files << info.filePath() + QString::number(info.lastModified().toMSecsSinceEpoch())
                + QString::fromLatin1(readFile(info.filePath()).toHex());
    }
    files.sort();
    return files;
}

// An answer as its stored copy shows it: a view's rows one a line, and the
// time the table last changed (a temporary file's) left out.
QByteArray shown(const QByteArray &bytes)
{
    static const QRegularExpression changed(QStringLiteral("\"lastChange\":\"[^\"]*\""));
    return QString::fromUtf8(testing::shownBytes(bytes).replace("],[", "],\n  ["))
               .replace(changed, QStringLiteral("\"lastChange\":\"<time>\""))
               .toUtf8()
        + '\n';
}

// A cell of the demo plant's three operations, followed by a plant at a
// frozen time of day.
struct Cell {
    Plant disk;
    QList<Op> ops = demoOps;
    std::unique_ptr<serve::Plant> plant;
    QStringList written;   // the folder before the plant saw it
    QDateTime firstWrite;
    explicit Cell(qint32 now = 0, int noChangeMinutes = 0, const QList<Op> &start = demoOps) : ops(start)
    {
        disk.writeTables(ops);
        firstWrite = QFileInfo(table()).lastModified();
        written = folderState();
        plant = std::make_unique<serve::Plant>(
            std::vector<serve::CellConfig>{{QStringLiteral("C1"), disk.state.DataFolder, noChangeMinutes, 0}},
            chart::ChartClock::frozen(qint64(now) * 1000));
    }
    QStringList folderState() const { return ::folderState(disk.state.DataFolder); }
    QString table() const { return disk.dataFile(QStringLiteral("Scheduler.dbf")); }
    // "set OP FIELD VALUE", "add PART MACHINE STARTP FINISHP", "remove", "write", "clean", "wait MINUTES".
    void apply(const QString &step)
    {
        const QStringList w = step.split(u' ');
        if (w[0] == QLatin1String("wait"))
            return plant->clock().advance(w[1].toInt() * 60000);
        if (w[0] == QLatin1String("set")) {
            Op &op = ops[w[1].toInt()];
            int *const fields[] = {&op.startP, &op.finishP, &op.startA, &op.finishA};
            *fields[QStringList{"startP", "finishP", "startA", "finishA"}.indexOf(w[2])] = w[3].toInt();
        } else if (w[0] == QLatin1String("add")) {
            ops.append({w[1], w[2], QString(), w[3].toInt(), w[4].toInt()});
        }
        if (w[0] == QLatin1String("remove"))
            QFile::remove(table());
        else
            writeSchedule(table(), w[0] == QLatin1String("clean") ? QList<Op>() : ops);
        // The plant tells the table's time of change to the second: a write
        // in a later second than the first would add a message of its own.
        QFile file(table());
        if (file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
            file.setFileTime(firstWrite, QFileDevice::FileModificationTime);
    }
};

} // namespace

// The cells a plant follows, as the pages see them. Each row's stored copy
// (named by the row) holds everything the plant answered or sent.
class tst_Plant : public QObject {
    Q_OBJECT
private slots:
    // At 00:10:00 P1(O7) on Mill1 has finished, the others wait. Each step is
    // followed by one tick: the first view, what each tick sent to the cell's
    // pages and to the plant's, then the rows a page opened after them gets
    // (which the messages bring the first view to) and the plant's summary:
    // records running late, whether the table is stale, the next four hours.
    void ticks_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<Sort>("sort");
        QTest::newRow("ticks-actual-start-and-finish.txt") << QStringList{"set 1 startA 120", "set 1 finishA 950"} << Sort::Machine;
        QTest::newRow("ticks-planned-start-moves-its-group.txt") << QStringList{"set 1 startP 50"} << Sort::Machine;
        QTest::newRow("ticks-same-bytes-again.txt") << QStringList{"write"} << Sort::Machine;
        QTest::newRow("ticks-record-added.txt") << QStringList{"add P3 Mill1 1000 1100", "set 3 startA 1010"} << Sort::Machine;
        QTest::newRow("ticks-table-gone-and-back.txt") << QStringList{"remove", "set 0 finishP 450"} << Sort::Machine;
        QTest::newRow("ticks-cleaned-then-refilled.txt") << QStringList{"clean", "write", "set 2 finishA 760"} << Sort::Machine;
        QTest::newRow("ticks-by-part-planned-start-moves-its-group.txt") << QStringList{"set 1 startP 50"} << Sort::Part;
        QTest::newRow("ticks-by-part-record-added.txt") << QStringList{"add P3 Mill1 1000 1100"} << Sort::Part;
        QTest::newRow("ticks-running-in-time.txt") << QStringList{"set 2 startA 550"} << Sort::Machine;
        QTest::newRow("ticks-running-late.txt") << QStringList{"set 2 startA 350"} << Sort::Machine;
        QTest::newRow("ticks-beyond-four-hours.txt") << QStringList{"add P3 Mill1 20000 21000"} << Sort::Machine;
        QTest::newRow("ticks-unchanged-too-long.txt") << QStringList{"wait 5"} << Sort::Machine;
    }
    void ticks()
    {
        QFETCH(QStringList, steps);
        QFETCH(Sort, sort);
        const MessageRecorder boxes;
        Cell cell(600, 5);
        const QString c1 = QStringLiteral("C1");
        cell.plant->follow(c1, sort);
        QByteArray transcript = "first view: " + shown(*cell.plant->wholeView(c1, sort));
        for (const QString &step : steps) {
            QSignalSpy messages(cell.plant.get(), &serve::PlantSource::cellMessage);
            QSignalSpy plantMessages(cell.plant.get(), &serve::PlantSource::plantMessage);
            QVERIFY(cell.plant->isFollowing(c1, sort));
            cell.apply(step);
            const QStringList folder = cell.folderState();
            cell.plant->tickAll();
            QCOMPARE(cell.folderState(), folder);
            transcript += "after " + step.toUtf8() + ":\n";
            for (const QList<QVariant> &message : messages)
                transcript += message[0].toString().toUtf8() + ' ' + serve::SortName(message[1].value<Sort>()) + ": "
                    + shown(message[2].toByteArray());
            for (const QList<QVariant> &message : plantMessages)
                transcript += "plant: " + shown(message[0].toByteArray());
        }
        transcript += "rows now: " + shown(*cell.plant->rowsJson(c1, sort)) + "plant now: " + shown(cell.plant->cellsJson());
        // Nobody follows it any more: a part grouping goes a minute later.
        cell.plant->unfollow(c1, sort);
        cell.plant->clock().advance(serve::Plant::IdleFollowMs);
        cell.plant->tickAll();
        transcript += QByteArray("followed a minute after: ") + (cell.plant->isFollowing(c1, sort) ? "yes\n" : "no\n");
        VORN_COMPARE_STORED(QString::fromLatin1(QTest::currentDataTag()), transcript);
        QCOMPARE(boxes.texts, QStringList());
    }

    // Downloads and rows of one-record cells (a label with a control byte,
    // quotes and letters of two and three bytes in UTF-8), and charts drawn
    // or refused (taller than a painter can address: never painted); the
    // data folder stays as it was.
    void answers()
    {
        const Op op{QStringLiteral("P\u00e4"), QStringLiteral("M1"), QString(), 300, 400};
        Cell cell(0, 0, {op});
        Cell label(0, 0, {{QStringLiteral("Q\"\\\x01\u00e4\u20ac\u2021/"), op.machine, QString(), 300, 400}});
        Cell tall(0, 0, QList<Op>(2000, op));
        const QString c1 = QStringLiteral("C1");
        QByteArray out = "xml:\n" + shown(*cell.plant->scheduleXml(c1)) + "csv en:\n"
            + shown(*cell.plant->scheduleCsv(c1, Sort::Machine, QStringLiteral("en"))) + "csv zh:\n"
            + shown(*cell.plant->scheduleCsv(c1, Sort::Machine, QStringLiteral("zh"))) + "rows of an odd label: "
            + shown(*label.plant->rowsJson(c1, Sort::Machine));
        for (const auto &[plant, interval, format] : {std::tuple{cell.plant.get(), 0, serve::ChartFormat::Svg},
                                                      std::tuple{cell.plant.get(), 7, serve::ChartFormat::Svg},
                                                      std::tuple{tall.plant.get(), 0, serve::ChartFormat::Png}}) {
            serve::ChartOptions options;
            options.interval = interval;
            QString error;
            const QByteArray chart = plant->chart(c1, options, format, &error);
            out += "chart at " + QByteArray::number(interval) + ": " + chart.left(chart.indexOf('\n')) + error.toUtf8() + '\n';
        }
        VORN_COMPARE_STORED(QStringLiteral("answers.txt"), out);
        QCOMPARE(cell.folderState(), cell.written);
    }
};

QTEST_MAIN(tst_Plant)
#include "tst_plant.moc"
