#include "scheduletable.h"

#include "fieldreader.h"
#include "schedulerows.h"
#include "testfiles.h"
#include "tickstate.h"

#include <QTemporaryDir>
#include <QTest>

using namespace vorn;
using namespace vorn::model;

namespace {

// Rows from 2 on as (outline level, record) pairs, the way a tick sees the grid;
// rows of another shape are another generation.
struct TickTestRows final : TickRows {
    QList<std::pair<qint16, qint32>> rows;
    quint64 shape = 1;
    const void *holder() const override { return this; }
    quint64 generation() const override { return shape; }
    int count() const override { return int(rows.size()) + 2; }
    qint16 level(int row) const override { return rows[row - 2].first; }
    qint32 record(int row) const override { return rows[row - 2].second; }
};

// The six time texts of each row as the fill and the ticks left them.
struct TickTestCells final : TickCellWriter {
    QMap<int, QStringList> texts;
    void write(const TickTriple &triple) override
    {
        QStringList &cells = texts[triple.row];
        cells.resize(6);
        for (int i = 0; i < 3; ++i)
            cells[3 * triple.pair + i] = triple.texts[i].value_or(cells[3 * triple.pair + i]);
    }
};

} // namespace

class TestTickState : public QObject {
    Q_OBJECT
private slots:
    // What the ticks of one kept state do while the table and the rows change under them: the
    // transcript says what each tick forgot, counted and changed.
    void keptTicksOverATableAndRowsThatChangeShape()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("S.dbf"));
        // Record 4's planned start, not plain ASCII, is no number: its planned duration keeps its text.
        QStringList records{"P;;A;;10;30;20", "P;;B;;20;25;9;20;30", "P;;A;;40;45;;40;45;5", "P;;B;;é;;60"};
        store::DbfTable table, writer;
        QCOMPARE(vorn::testing::makeScheduleTable(table, path, records), QString());
        TickTestRows rows;
        TickTestCells cells;
        TickState kept;
        QByteArray transcript;
        const auto fill = [&](bool rowsFit) {
            const FillResult result = BuildScheduleRows(table, kSortByMachine, nullptr);
            rows.rows.clear();
            ++rows.shape;
            transcript += "fill, forgot " + QByteArray::number(kept.beginFill(table, result.rows.size())) + '\n';
            for (const ScheduleRow &row : result.rows) {
                rows.rows.append({row.level, row.record});
                cells.texts[rows.count() - 1] = QStringList(row.times.begin(), row.times.end());
                kept.addFillRow(row);
            }
            if (!rowsFit)
                rows.rows.append({1, 1});   // a row the fill did not make
            kept.endFill(rows, result.fingerprints);
        };
        const auto tick = [&](const char *what, bool keep = true) {
            QVERIFY(table.open(path).ok());
            const FieldReader reader(table);
            const bool forgot = kept.takeLayout(LayoutFingerprint(table), keep && reader.allDirect());
            const TickTestCells before = cells;
            const TickCounts counts = kept.run(table, reader, rows, nullptr, cells);
            transcript += QByteArray(what) + ": forgot " + QByteArray::number(forgot) + ", changed records "
                + QByteArray::number(counts.changedRecords) + ", rows worked out " + QByteArray::number(counts.detailRows) + '\n';
            for (auto row = cells.texts.cbegin(); row != cells.texts.cend(); ++row) {
                if (before.texts.value(row.key()) != *row)
                    transcript += "  row " + QByteArray::number(row.key()) + ": " + row->join(u'|').toUtf8() + '\n';
            }
        };
        fill(true);
        tick("after the fill");
        QVERIFY(writer.open(path).ok() && writer.setField(3, 6, "50").ok());
        tick("record 3 finishes later");
        QVERIFY(writer.setField(3, 9, "40").ok() && writer.setField(2, 8, "25").ok());
        tick("actual runs: record 3's ends where it starts, record 2's starts where its plan ends");
        tick("quiet");
        rows.rows = {{1, 1}, {1, 2}, {1, 3}, {1, 4}};
        ++rows.shape;
        tick("rows without groups");
        // The detail row above the first group row counts into that group; record 3 stands in three rows.
        rows.rows = {{1, 1}, {0, 3}, {1, 3}, {0, 2}, {1, 2}, {1, 4}, {1, 3}, {1, 3}};
        ++rows.shape;
        tick("groups again, a row above the first");
        QVERIFY(writer.setField(1, 5, "5").ok());
        tick("record 1 starts earlier");
        QVERIFY(writer.markDeleted(1).ok() && writer.pack().ok());
        tick("record 1 cut, the rest moved up, record 4 beyond the end");
        QVERIFY(writer.appendRecord({"P", "", "B", "", "5", "6"}).ok());
        tick("a record appended");
        tick("fields outside the record", false);
        QCOMPARE(vorn::testing::makeScheduleTable(table, path, records, 0x4D), QString());
        tick("another code page");
        // A fill of a table of another layout forgets what the ticks saw, whether the rows take it or not.
        records[0] = "P;;A;;15;30;20";
        QCOMPARE(vorn::testing::makeScheduleTable(table, path, records), QString());
        fill(false);
        tick("after a fill of the first code page the rows did not take");
        VORN_COMPARE_STORED(QStringLiteral("kept-ticks.txt"), transcript);
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
