#include "plant.h"

#include "../ui/uiplant.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace vorn;
using namespace vorn::test;
using serve::Sort;

namespace {

QJsonObject json(const QByteArray &bytes)
{
    return QJsonDocument::fromJson(bytes).object();
}

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

// A cell of the demo plant's three operations, followed by a plant at a
// frozen time of day.
struct Cell {
    Plant disk;
    QList<Op> ops = demoOps;
    std::unique_ptr<serve::Plant> plant;
    QStringList written;   // the folder before the plant saw it
    explicit Cell(qint32 now = 0, int noChangeMinutes = 0, const QList<Op> &start = demoOps) : ops(start)
    {
        disk.writeTables(ops);
        written = folderState();
        plant = std::make_unique<serve::Plant>(
            std::vector<serve::CellConfig>{{QStringLiteral("C1"), disk.state.DataFolder, noChangeMinutes, 0}},
            chart::ChartClock::frozen(qint64(now) * 1000));
    }
    QStringList folderState() const { return ::folderState(disk.state.DataFolder); }
    QString table() const { return disk.dataFile(QStringLiteral("Scheduler.dbf")); }
    // "set OP FIELD VALUE", "add PART MACHINE STARTP FINISHP", "remove", "write", "clean".
    void apply(const QString &step)
    {
        const QStringList w = step.split(u' ');
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
    }
};

} // namespace

// The cells a plant follows, as the pages see them.
class tst_Plant : public QObject {
    Q_OBJECT
private slots:
    void ticksBringTheFirstViewToTheRows_data()
    {
        // Each step is followed by one tick; `sent` is what each tick sent
        // ("-" nothing); `flash` the rows that flashed in all.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("flash");
        QTest::addColumn<Sort>("sort");
        QTest::newRow("an actual start and finish") << QStringList{"set 1 startA 120", "set 1 finishA 950"}
                                                    << "tick tick" << "" << Sort::Machine;
        QTest::newRow("a planned start moves its group") << QStringList{"set 1 startP 50"} << "tick" << "2,3" << Sort::Machine;
        QTest::newRow("the same bytes again") << QStringList{"write"} << "-" << "" << Sort::Machine;
        QTest::newRow("a record added") << QStringList{"add P3 Mill1 1000 1100", "set 3 startA 1010"}
                                        << "view tick" << "" << Sort::Machine;
        QTest::newRow("table gone and back") << QStringList{"remove", "set 0 finishP 450"} << "tick tick" << "0,1" << Sort::Machine;
        QTest::newRow("cleaned, then refilled") << QStringList{"clean", "write", "set 2 finishA 760"}
                                                << "tick view tick" << "" << Sort::Machine;
        QTest::newRow("by part: a planned start moves its group") << QStringList{"set 1 startP 50"} << "tick" << "3,4"
                                                                  << Sort::Part;
        QTest::newRow("by part: a record added") << QStringList{"add P3 Mill1 1000 1100"} << "view" << "" << Sort::Part;
    }
    void ticksBringTheFirstViewToTheRows()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, flash);
        QFETCH(Sort, sort);
        const MessageRecorder boxes;
        Cell cell;
        cell.plant->follow(QStringLiteral("C1"), sort);
        QJsonObject first = json(*cell.plant->wholeView(QStringLiteral("C1"), sort));
        QJsonArray rows = first[QLatin1String("rows")].toArray();
        int seq = first[QLatin1String("seq")].toInt();
        QStringList kinds;
        QStringList flashed;
        for (const QString &step : steps) {
            QSignalSpy messages(cell.plant.get(), &serve::PlantSource::cellMessage);
            QVERIFY(cell.plant->isFollowing(QStringLiteral("C1"), sort));
            cell.apply(step);
            const QStringList folder = cell.folderState();
            cell.plant->tickAll();
            QCOMPARE(cell.folderState(), folder);
            QVERIFY(messages.size() <= 1);
            kinds << (messages.isEmpty() ? QStringLiteral("-") : json(messages[0][2].toByteArray())[QLatin1String("type")].toString());
            if (messages.isEmpty())
                continue;
            const QJsonObject message = json(messages[0][2].toByteArray());
            QCOMPARE(message[QLatin1String("seq")].toInt(), ++seq);
            if (message[QLatin1String("type")] == QLatin1String("view"))
                rows = message[QLatin1String("rows")].toArray();
            for (const QJsonValue &change : message[QLatin1String("rows")].toArray()) {
                if (message[QLatin1String("type")] == QLatin1String("view"))
                    break;
                QJsonArray row = rows[change[0].toInt()].toArray();
                for (int i = 1; i <= 6; ++i)
                    row[i + 2] = change[i];
                rows[change[0].toInt()] = row;
            }
            for (const QJsonValue &row : message[QLatin1String("flash")].toArray())
                flashed << QString::number(row.toInt());
        }
        QTEST(kinds.join(u' '), "sent");
        QCOMPARE(flashed.join(u','), flash);
        QCOMPARE(rows, json(*cell.plant->rowsJson(QStringLiteral("C1"), sort))[QLatin1String("rows")].toArray());
        QCOMPARE(boxes.texts, QStringList());
        // Nobody follows it any more: a part grouping goes a minute later.
        cell.plant->unfollow(QStringLiteral("C1"), sort);
        cell.plant->clock().advance(serve::Plant::IdleFollowMs);
        cell.plant->tickAll();
        QCOMPARE(cell.plant->isFollowing(QStringLiteral("C1"), sort), sort == Sort::Machine);
    }

    void answers_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QByteArray>("expected");   // a chart: how it starts
        QTest::newRow("xml, empty times empty as the fill sends them")
            << "xml"
            << QByteArray("<DataView><DataTable><DataRow><Part>P\xc3\xa4</Part><Process>Turn</Process>"
                          "<Machine>M1</Machine><Order></Order><StartP>300</StartP><FinishP>400</FinishP>"
                          "<DurationP>100</DurationP><StartA></StartA><FinishA></FinishA><DurationA></DurationA>"
                          "<StatusFinish></StatusFinish></DataRow></DataTable></DataView>");
        const QByteArray csv("Row,Machine/Part,Planned Duration,Actual Duration\r\nGroup,M1,00:01:40,\r\n"
                             "Operation,P\xc3\xa4,00:01:40,\r\n");
        QTest::newRow("csv") << "csv en" << csv;
        QTest::newRow("csv in Chinese") << "csv zh"
            << QString::fromUtf8("\u884c,\u673a\u5668/\u90e8\u4ef6,\u8ba1\u5212 \u6301\u7eed\u65f6\u95f4,"
                                 "\u5b9e\u9645 \u6301\u7eed\u65f6\u95f4\r\n\u7ec4,M1,00:01:40,\r\n"
                                 "\u5de5\u5e8f,P\u00e4,00:01:40,\r\n").toUtf8();
        QTest::newRow("label in the rows") << "label" << QByteArray("Q\"\\\x01\xc3\xa4/");
        QTest::newRow("chart") << "svg" << QByteArray("<?xml");
        QTest::newRow("chart at an interval not in the list") << "svg 7" << QByteArray("error");
        // Taller than a painter can address: refused, never painted.
        QTest::newRow("picture too tall for one") << "png 2000" << QByteArray("error");
    }
    void answers()
    {
        QFETCH(QString, what);
        QFETCH(QByteArray, expected);
        const QString part = what == QLatin1String("label") ? QStringLiteral("Q\"\\\x01\u00e4/") : QStringLiteral("P\u00e4");
        QList<Op> ops{{part, QStringLiteral("M1"), QString(), 300, 400}};
        if (what.startsWith(QLatin1String("png")))
            ops = QList<Op>(what.mid(4).toInt(), ops.front());
        Cell cell(0, 0, ops);
        const QString c1 = QStringLiteral("C1");
        QByteArray got;
        if (what == QLatin1String("label")) {
            const QByteArray rows = *cell.plant->rowsJson(c1, Sort::Machine);
            got = json(rows)[QLatin1String("rows")][1][2].toString().toUtf8();
            got = std::any_of(rows.begin(), rows.end(), [](char c) { return uchar(c) < 0x20; }) ? "raw control" : got;
        }
        if (what == QLatin1String("xml"))
            got = *cell.plant->scheduleXml(c1);
        if (what.startsWith(QLatin1String("csv")))
            got = *cell.plant->scheduleCsv(c1, Sort::Machine, what.mid(4));
        if (what.startsWith(QLatin1String("svg")) || what.startsWith(QLatin1String("png"))) {
            serve::ChartOptions options;
            options.interval = what.startsWith(QLatin1String("svg")) ? what.mid(4).toInt() : 0;
            const auto format = what.startsWith(QLatin1String("svg")) ? serve::ChartFormat::Svg : serve::ChartFormat::Png;
            QString error;
            got = cell.plant->chart(c1, options, format, &error).left(expected.size());
            got = error.isEmpty() ? got : QByteArray("error");
        }
        QCOMPARE(got, expected);
        QCOMPARE(cell.folderState(), cell.written);
    }

    void summaries_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("minutesLater");
        QTest::addColumn<QString>("summary");   // records running late stale, then the timeline's keys and starts
        QTest::addColumn<int>("told");          // plant messages of the tick
        // At 00:10:00: P1(O7) on Mill1 finished, the others waiting.
        QTest::newRow("nothing running") << QStringList{} << 0 << "3 0 0  Lathe2 100 Lathe2 500" << 0;
        QTest::newRow("running, in time") << QStringList{"set 2 startA 550"} << 0 << "3 1 0  Lathe2 100 Lathe2 500" << 1;
        QTest::newRow("running, late") << QStringList{"set 2 startA 350"} << 0 << "3 1 1  Lathe2 100 Lathe2 500" << 1;
        QTest::newRow("beyond four hours") << QStringList{"add P3 Mill1 20000 21000"} << 0
                                           << "4 0 0  Lathe2 100 Lathe2 500" << 1;
        QTest::newRow("table gone") << QStringList{"remove"} << 0 << "3 0 0 unreadable Lathe2 100 Lathe2 500" << 1;
        QTest::newRow("unchanged too long") << QStringList{} << 5 << "3 0 0 unchanged Lathe2 100" << 1;
    }
    void summaries()
    {
        QFETCH(QStringList, steps);
        QFETCH(int, minutesLater);
        Cell cell(600, 5);
        for (const QString &step : steps)
            cell.apply(step);
        cell.plant->clock().advance(qint64(minutesLater) * 60000);
        QSignalSpy messages(cell.plant.get(), &serve::PlantSource::plantMessage);
        cell.plant->tickAll();
        QTEST(int(messages.size()), "told");
        const QJsonObject plant = json(cell.plant->cellsJson());
        QCOMPARE(plant[QLatin1String("now")].toInt(), 600 + minutesLater * 60);
        const QJsonObject c1 = plant[QLatin1String("cells")][0].toObject();
        QStringList got{QString::number(c1[QLatin1String("records")].toInt()),
                        QString::number(c1[QLatin1String("running")].toInt()),
                        QString::number(c1[QLatin1String("late")].toInt()), c1[QLatin1String("stale")].toString()};
        for (const QJsonValue &entry : c1[QLatin1String("timeline")].toArray())
            got << entry[0].toString() << QString::number(entry[1].toInt());
        QTEST(got.join(u' '), "summary");
    }
};

QTEST_MAIN(tst_Plant)
#include "tst_plant.moc"
