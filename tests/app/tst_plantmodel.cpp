#include "dbftable.h"
#include "plantmodel.h"

#include <QHash>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace vorn;
using namespace vorn::plant;

namespace {

constexpr qint32 kNoon = 12 * 3600;

QStringList recordsAt(const Plant &plant, qint32 now)
{
    QStringList rows;
    for (const Operation &op : plant.operations)
        rows.append(op.recordAt(now).join(u'|'));
    return rows;
}

// The first overlap of two intervals in `spans`, as text; empty when none.
QString firstOverlap(QList<std::pair<qint32, qint32>> spans)
{
    std::sort(spans.begin(), spans.end());
    for (qsizetype i = 1; i < spans.size(); ++i) {
        if (spans[i].first < spans[i - 1].second)
            return QStringLiteral("%1-%2 and %3-%4")
                .arg(spans[i - 1].first)
                .arg(spans[i - 1].second)
                .arg(spans[i].first)
                .arg(spans[i].second);
    }
    return QString();
}

} // namespace

class PlantModelTest : public QObject
{
    Q_OBJECT

private slots:
    void defaultDayIsOneCell();
    void scheduleIsConsistent_data();
    void scheduleIsConsistent();
    void sameSeedSameSchedule();
    void largerTableStartsWithTheDay();
    void recordAt_data();
    void recordAt();
    void writtenTableReadsBack();
};

void PlantModelTest::defaultDayIsOneCell()
{
    const Plant plant = GeneratePlant({});
    QCOMPARE(plant.machines.size(), 10);
    QCOMPARE(plant.parts.size(), 30);
    QVERIFY(plant.orders.size() >= 3);
    QVERIFY2(plant.operations.size() >= 200 && plant.operations.size() <= 400,
             qPrintable(QString::number(plant.operations.size())));
    QSet<QString> names;
    for (const Machine &m : plant.machines)
        names.insert(m.name);
    QCOMPARE(names.size(), plant.machines.size());
    QVERIFY(names.contains(QStringLiteral("Mill1")));
    QVERIFY(names.contains(QStringLiteral("Robot2")));
    QVERIFY(names.contains(QStringLiteral("Wash")));

    // At noon a demo shows all three kinds of operation.
    QHash<OperationState, int> states;
    for (const Operation &op : plant.operations)
        ++states[op.stateAt(kNoon)];
    QVERIFY(states.value(OperationState::Finished) > 0);
    QVERIFY(states.value(OperationState::Running) > 0);
    QVERIFY(states.value(OperationState::Waiting) > 0);
}

void PlantModelTest::scheduleIsConsistent_data()
{
    QTest::addColumn<quint64>("seed");
    QTest::addColumn<qint64>("operations");
    QTest::newRow("default-day") << quint64(1) << qint64(0);
    QTest::newRow("another-seed") << quint64(977) << qint64(0);
    QTest::newRow("seed-zero") << quint64(0) << qint64(0);
    QTest::newRow("three-cells-cut-inside-a-part") << quint64(5) << qint64(601);
    QTest::newRow("single-operation") << quint64(3) << qint64(1);
}

void PlantModelTest::scheduleIsConsistent()
{
    QFETCH(quint64, seed);
    QFETCH(qint64, operations);
    PlantOptions options;
    options.seed = seed;
    options.operations = operations;
    const Plant plant = GeneratePlant(options);
    if (operations > 0)
        QCOMPARE(plant.operations.size(), operations);

    QSet<QString> machines;
    for (const Machine &m : plant.machines)
        machines.insert(m.name);
    QHash<QString, QList<std::pair<qint32, qint32>>> plannedByMachine;
    QHash<QString, QList<std::pair<qint32, qint32>>> actualByMachine;
    QHash<QString, const Operation *> previousOfPart;
    for (const Operation &op : plant.operations) {
        QVERIFY(machines.contains(op.machine));
        QVERIFY(op.part.size() <= 20 && op.process.size() <= 20);
        QVERIFY(op.machine.size() <= 15 && op.order.size() <= 15);
        QVERIFY(op.plannedDuration > 0 && op.actualDuration > 0);
        QVERIFY(op.plannedStart >= options.dayStart && op.plannedFinish() < 24 * 3600);
        QVERIFY(op.actualStart >= 0 && op.actualFinish() < 24 * 3600);
        plannedByMachine[op.machine].append({op.plannedStart, op.plannedFinish()});
        actualByMachine[op.machine].append({op.actualStart, op.actualFinish()});
        // A part's steps follow one another, in plan and in fact.
        if (const Operation *before = previousOfPart.value(op.part)) {
            QVERIFY(op.plannedStart >= before->plannedFinish());
            QVERIFY(op.actualStart >= before->actualFinish());
            QCOMPARE(op.order, before->order);
        }
        previousOfPart[op.part] = &op;
    }
    for (auto it = plannedByMachine.cbegin(); it != plannedByMachine.cend(); ++it)
        QVERIFY2(firstOverlap(it.value()).isEmpty(),
                 qPrintable(it.key() + QStringLiteral(" planned ") + firstOverlap(it.value())));
    for (auto it = actualByMachine.cbegin(); it != actualByMachine.cend(); ++it)
        QVERIFY2(firstOverlap(it.value()).isEmpty(),
                 qPrintable(it.key() + QStringLiteral(" actual ") + firstOverlap(it.value())));
}

void PlantModelTest::sameSeedSameSchedule()
{
    PlantOptions options;
    options.seed = 42;
    const QStringList first = recordsAt(GeneratePlant(options), kNoon);
    QCOMPARE(recordsAt(GeneratePlant(options), kNoon), first);
    options.seed = 43;
    QVERIFY(recordsAt(GeneratePlant(options), kNoon) != first);
}

void PlantModelTest::largerTableStartsWithTheDay()
{
    // The benchmark tables grow cell by cell; their first cell is the demo day.
    const QStringList day = recordsAt(GeneratePlant({}), kNoon);
    PlantOptions options;
    options.operations = 1000;
    const QStringList large = recordsAt(GeneratePlant(options), kNoon);
    QCOMPARE(large.mid(0, day.size()), day);
}

void PlantModelTest::recordAt_data()
{
    QTest::addColumn<qint32>("now");
    QTest::addColumn<QString>("record");
    const QString planned = QStringLiteral("Gear-7|Milling|Mill1|ORD-1|100|150|50|");
    QTest::newRow("before-actual-start") << 119 << planned + QStringLiteral("|||");
    QTest::newRow("at-actual-start") << 120 << planned + QStringLiteral("120|||Running");
    QTest::newRow("last-second-running") << 179 << planned + QStringLiteral("120|||Running");
    QTest::newRow("at-actual-finish") << 180 << planned + QStringLiteral("120|180|60|Finished");
    QTest::newRow("end-of-day") << 86399 << planned + QStringLiteral("120|180|60|Finished");
}

void PlantModelTest::recordAt()
{
    QFETCH(qint32, now);
    QFETCH(QString, record);
    Operation op;
    op.part = QStringLiteral("Gear-7");
    op.process = QStringLiteral("Milling");
    op.machine = QStringLiteral("Mill1");
    op.order = QStringLiteral("ORD-1");
    op.plannedStart = 100;
    op.plannedDuration = 50;
    op.actualStart = 120;
    op.actualDuration = 60;
    QCOMPARE(op.recordAt(now).join(u'|'), record);
}

void PlantModelTest::writtenTableReadsBack()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Plant plant = GeneratePlant({});
    const QString path = dir.filePath(QStringLiteral("Scheduler.dbf"));
    const store::StoreError written = WriteScheduleTable(path, plant, kNoon);
    QVERIFY2(written.ok, qPrintable(written.message));

    store::DbfTable table;
    const store::StoreError opened = table.open(path);
    QVERIFY2(opened.ok, qPrintable(opened.message));
    QCOMPARE(table.recordCount(), qint32(plant.operations.size()));
    const QList<store::FieldDescriptor> fields = ScheduleTableFields();
    QCOMPARE(table.fieldCount(), 11);
    QStringList layout;
    for (int i = 1; i <= table.fieldCount(); ++i) {
        const store::FieldDescriptor &f = table.field(i);
        layout.append(QStringLiteral("%1 %2(%3,%4)")
                          .arg(QString::fromLatin1(f.name), QChar::fromLatin1(f.type))
                          .arg(f.length)
                          .arg(f.decimals));
    }
    QCOMPARE(layout.join(u", "),
             QStringLiteral("Part C(20,0), Process C(20,0), Machine C(15,0), Order C(15,0), "
                            "StartP N(10,0), FinishP N(10,0), DurationP N(10,0), StartA N(10,0), "
                            "FinishA N(10,0), DurationA N(10,0), StatusFini C(10,0)"));

    // Every record reads back as the texts it was written from, blanks aside.
    for (qint32 r = 1; r <= table.recordCount(); ++r) {
        const QList<QString> expected = plant.operations[r - 1].recordAt(kNoon);
        for (int f = 1; f <= 11; ++f) {
            const QString stored = table.decode(table.rawField(r, f));
            QCOMPARE(stored.size(), fields[f - 1].length);
            QCOMPARE(stored.trimmed(), expected[f - 1]);
        }
    }
    // Numbers stand right-aligned, texts left-aligned.
    QCOMPARE(table.decode(table.rawField(1, 5)),
             QString::number(plant.operations[0].plannedStart).rightJustified(10));
    QCOMPARE(table.decode(table.rawField(1, 1)), plant.operations[0].part.leftJustified(20));
}

QTEST_GUILESS_MAIN(PlantModelTest)
#include "tst_plantmodel.moc"
