#include "scheduletable.h"

#include "fieldreader.h"
#include "tickstate.h"

#include <QTemporaryDir>
#include <QTest>

using namespace vorn;
using namespace vorn::model;

namespace {

// Rows from 2 on as (outline level, record) pairs, the way a tick sees the grid.
struct TickTestRows final : TickRows {
    QList<std::pair<qint16, qint32>> rows;
    const void *holder() const override { return this; }
    quint64 generation() const override { return 1; }
    int count() const override { return int(rows.size()) + 2; }
    qint16 level(int row) const override { return rows[row - 2].first; }
    qint32 record(int row) const override { return rows[row - 2].second; }
};

// The cells as the ticks left them: per row and triple, the three texts.
struct TickTestCells final : TickCellWriter {
    QMap<std::pair<int, int>, QStringList> texts;
    void write(const TickTriple &triple) override
    {
        QStringList &cells = texts[{triple.row, triple.pair}];
        cells.resize(3);
        for (int i = 0; i < 3; ++i)
            cells[i] = triple.texts[i].value_or(cells[i]);
    }
};

} // namespace

class TestTickState : public QObject {
    Q_OBJECT
private slots:
    // A tick on what the last tick kept leaves the cells a tick from nothing writes.
    void keptTickStateWritesWhatAFreshTickWrites()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("S.dbf"));
        store::DbfTable table;
        QCOMPARE(vorn::testing::makeScheduleTable(table, path, {"P;;M;;10;30", "P;;M;;20;25", "P;;M;;40;45;;40;45"}), QString());
        // The detail row above the first group row counts into that group.
        TickTestRows rows;
        rows.rows = {{1, 1}, {0, 0}, {1, 2}, {0, 0}, {1, 3}};
        TickState kept, fresh;
        TickTestCells shown, afresh;
        kept.run(table, FieldReader(table), rows, nullptr, shown);
        // The first record's finish moves back onto its start, and the third's actual one onto
        // its actual start: each group's end moves with it.
        store::DbfTable writer;
        QVERIFY(writer.open(path).ok() && writer.setField(1, 6, "10").ok() && writer.setField(3, 9, "40").ok()
                && table.open(path).ok());
        kept.run(table, FieldReader(table), rows, nullptr, shown);
        fresh.run(table, FieldReader(table), rows, nullptr, afresh);
        QCOMPARE(shown.texts, afresh.texts);
        // Another grid of the same rows is worked out afresh, whatever groups the last one had.
        const TickTestRows again = rows;
        TickTestCells anew;
        kept.run(table, FieldReader(table), again, nullptr, anew);
        QCOMPARE(anew.texts, afresh.texts);
        // A fill of another layout that does not fit forgets what the ticks saw: every record is new.
        kept.beginFill(table, 0);
        kept.endFill(rows, {});
        QCOMPARE(kept.run(table, FieldReader(table), rows, nullptr, shown).changedRecords, 3);
    }

    // What a tick kept is of use only on a table of the same layout: a field's name, type or
    // width, or the code page its texts are read in, makes another one.
    void layoutFingerprintTellsLayoutsApart()
    {
        QTemporaryDir dir;
        int made = 0;
        const auto layout = [&](const QList<store::FieldDescriptor> &fields, quint8 driver = 0x57) {
            const QString path = dir.filePath(QStringLiteral("T%1.dbf").arg(++made));
            store::DbfTable table;
            return store::DbfTable::create(path, fields, driver).ok() && table.open(path).ok() ? LayoutFingerprint(table) : 0;
        };
        const quint64 first = layout({{"A", 'C', 4}, {"B", 'N', 6}});
        QCOMPARE(layout({{"A", 'C', 4}, {"B", 'N', 6}}), first);
        for (const quint64 other : {layout({{"A", 'C', 4}, {"C", 'N', 6}}), layout({{"A", 'C', 4}, {"B", 'F', 6}}),
                                    layout({{"A", 'C', 4}, {"B", 'N', 7}}), layout({{"A", 'C', 4}, {"B", 'N', 6}}, 0x4D)})
            QVERIFY(other != first && other != 0);
    }
};

QTEST_GUILESS_MAIN(TestTickState)
#include "tst_tickstate.moc"
