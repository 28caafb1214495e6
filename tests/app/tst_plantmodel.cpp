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

} // namespace

class PlantModelTest : public QObject
{
    Q_OBJECT

private slots:
    void scheduleIsConsistent_data()
    {
        QTest::addColumn<quint64>("seed");
        QTest::addColumn<qint64>("operations");   // 0: one cell's day
        QTest::newRow("default-day") << quint64(1) << qint64(0);
        QTest::newRow("three-cells-cut-inside-a-part") << quint64(5) << qint64(601);
    }

    void scheduleIsConsistent()
    {
        QFETCH(quint64, seed);
        QFETCH(qint64, operations);
        const PlantOptions options{.seed = seed, .operations = operations};
        const Plant plant = GeneratePlant(options);
        QVERIFY(operations == 0 || plant.operations.size() == operations);
        // The same seed makes the same day again, and larger tables grow cell
        // by cell from it; another seed makes another day.
        const QStringList day = recordsAt(GeneratePlant({.seed = seed}), kNoon);
        QCOMPARE(recordsAt(plant, kNoon).mid(0, day.size()), day);
        QVERIFY(recordsAt(GeneratePlant({.seed = seed + 1}), kNoon) != day);

        QHash<QString, QList<std::pair<qint32, qint32>>> spans;   // per machine, planned and actual apart
        QHash<QString, const Operation *> previousOfPart;
        QSet<OperationState> states;
        for (const Operation &op : plant.operations) {
            QVERIFY(std::any_of(plant.machines.cbegin(), plant.machines.cend(), [&](const Machine &m) { return m.name == op.machine; }));
            QVERIFY(op.plannedDuration > 0 && op.actualDuration > 0);
            QVERIFY(op.plannedStart >= options.dayStart && op.plannedFinish() < 24 * 3600);
            QVERIFY(op.actualStart >= 0 && op.actualFinish() < 24 * 3600);
            spans[op.machine + " planned"].append({op.plannedStart, op.plannedFinish()});
            spans[op.machine + " actual"].append({op.actualStart, op.actualFinish()});
            states.insert(op.stateAt(kNoon));
            // A part's steps follow one another, in plan and in fact.
            if (const Operation *before = previousOfPart.value(op.part)) {
                QVERIFY(op.plannedStart >= before->plannedFinish() && op.actualStart >= before->actualFinish());
                QCOMPARE(op.order, before->order);
            }
            previousOfPart[op.part] = &op;
        }
        for (auto it = spans.begin(); it != spans.end(); ++it) {
            std::sort(it->begin(), it->end());
            for (qsizetype i = 1; i < it->size(); ++i)
                QVERIFY2(it->at(i).first >= it->at(i - 1).second, qPrintable(it.key()));
        }
        // At noon a day shows all three kinds of operation.
        QCOMPARE(states.size(), 3);

        // Written as a table, every record reads back as its texts, left-aligned
        // or, for numbers, right-aligned, in the layout of the schedule table.
        QTemporaryDir dir;
        QVERIFY(WriteScheduleTable(dir.filePath("Scheduler.dbf"), plant, kNoon).ok());
        store::DbfTable table;
        QVERIFY(table.open(dir.filePath("Scheduler.dbf")).ok());
        QStringList layout;
        for (int f = 1; f <= table.fieldCount(); ++f)
            layout << QStringLiteral("%1 %2(%3)").arg(QString(table.field(f).name), QChar::fromLatin1(table.field(f).type)).arg(table.field(f).length);
        QCOMPARE(layout.join(", "), "Part C(20), Process C(20), Machine C(15), Order C(15), StartP N(10), FinishP N(10), "
                                    "DurationP N(10), StartA N(10), FinishA N(10), DurationA N(10), StatusFini C(10)");
        QCOMPARE(table.recordCount(), plant.operations.size());
        for (qint32 r = 1; r <= table.recordCount(); ++r) {
            const QList<QString> expected = plant.operations[r - 1].recordAt(kNoon);
            for (int f = 1; f <= 11; ++f) {
                const QString stored = table.decode(table.rawField(r, f));
                QCOMPARE(stored, table.field(f).type == 'N' ? expected[f - 1].rightJustified(stored.size())
                                                            : expected[f - 1].leftJustified(stored.size()));
            }
        }
    }
};

QTEST_GUILESS_MAIN(PlantModelTest)
#include "tst_plantmodel.moc"
