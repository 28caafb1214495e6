#include "cleaner.h"
#include "refresh.h"

#include "../model/scheduletable.h"
#include "griddata.h"
#include "mappedfile.h"
#include "schedulerows.h"
#include "uiplant.h"

#include <utility>

using vorn::chart::GridData;

namespace {

// The grid as a fill leaves it: "G" a group row, "D<n>" a detail row of
// record n. Every time cell starts as "old", so that a cell left alone shows.
void layOutGrid(GridData &grid, const QString &rows)
{
    grid.setCols(8);
    grid.setRows(2);
    for (const QString &entry : rows.split(u' ')) {
        const int row = grid.rows();
        grid.setRows(row + 1);
        grid.setRowOutlineLevel(row, entry == u"G" ? 0 : 1);
        grid.setRowData(row, entry.mid(1).toInt());
        for (int col = 2; col <= 7; ++col)
            grid.setText(row, col, QStringLiteral("old"));
    }
}

// Columns 2..7 of every body row, "|"-separated.
QStringList timeCells(const GridData &grid)
{
    QStringList cells;
    for (int row = 2; row < grid.rows(); ++row) {
        QStringList line;
        for (int col = 2; col <= 7; ++col)
            line << grid.text(row, col);
        cells << line.join(u'|');
    }
    return cells;
}

} // namespace

// What a timer tick does with the live table: refresh in place, or clean and wait for records.
class tst_Refresh : public QObject {
    Q_OBJECT
private slots:
    void rewritesTimeCells_data()
    {
        QTest::addColumn<QStringList>("records"); // StartP;FinishP;DurationP;StartA;FinishA
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QStringList>("cells");   // columns 2..7 of each row

        QTest::newRow("group-earliest-start-latest-finish") << QStringList{"300;400", "100;900"} << "G D1 D2"
            << QStringList{"00:01:40|00:15:00|00:13:20|||", "00:05:00|00:06:40|00:01:40|||", "00:01:40|00:15:00|00:13:20|||"};
        QTest::newRow("one-side-empty-keeps-old-duration-both-empty-clear-it") << QStringList{"120", ""} << "D1 D2"
            << QStringList{"00:02:00||old|||", "|||||"};
        QTest::newRow("start-not-a-number-keeps-duration-and-aggregate") << QStringList{"abc;300", "200;250"}
            << "G D1 D2" << QStringList{"00:03:20|00:05:00|00:01:40|||", "|00:05:00|old|||", "00:03:20|00:04:10|00:00:50|||"};
        QTest::newRow("duration-is-finish-minus-start-not-the-stored-field") << QStringList{"60;180;999;70;250"} << "D1"
            << QStringList{"00:01:00|00:03:00|00:02:00|00:01:10|00:04:10|00:03:00"};
        QTest::newRow("start-zero-is-no-earliest-start") << QStringList{"0;100", "50;60"} << "G D1 D2"
            << QStringList{"00:00:50|00:01:40|00:00:50|||", "|00:01:40|00:01:40|||", "00:00:50|00:01:00|00:00:10|||"};
        QTest::newRow("negative-finish-is-no-latest-finish") << QStringList{"-200;-100"} << "G D1"
            << QStringList{"00:-03:-20||00:03:20|||", "00:-03:-20|00:-01:-40|00:01:40|||"};
        QTest::newRow("92-hours-keeps-old-text") << QStringList{"331200;331300;;-1;331199"} << "G D1"
            << QStringList{"old|old|00:01:40|00:00:-01|91:59:59|old", "old|old|00:01:40|00:00:-01|91:59:59|old"};
        QTest::newRow("summaries-do-not-leak-into-the-next-group") << QStringList{"100;200;;10;20", "500;600"}
            << "G D1 G D2" << QStringList{"00:01:40|00:03:20|00:01:40|00:00:10|00:00:20|00:00:10",
                                          "00:01:40|00:03:20|00:01:40|00:00:10|00:00:20|00:00:10",
                                          "00:08:20|00:10:00|00:01:40|||", "00:08:20|00:10:00|00:01:40|||"};
        // Nothing resets the aggregates before the first group row, so detail
        // rows above it count into its summary.
        QTest::newRow("rows-before-the-first-group-count-into-it") << QStringList{"60;120", "300;400"} << "D1 G D2"
            << QStringList{"00:01:00|00:02:00|00:01:00|||", "00:01:00|00:06:40|00:05:40|||", "00:05:00|00:06:40|00:01:40|||"};
        QTest::newRow("empty-table-leaves-the-grid-alone") << QStringList{} << "G D1"
            << QStringList{"old|old|old|old|old|old", "old|old|old|old|old|old"};
    }

    void rewritesTimeCells()
    {
        QFETCH(QStringList, records);
        QFETCH(QString, rows);
        for (QString &record : records)
            record.prepend(u";;;;");
        QTemporaryDir dir;
        vorn::store::DbfTable table;
        QCOMPARE(vorn::testing::makeScheduleTable(table, dir.filePath(QStringLiteral("Scheduler.dbf")), records), QString());
        GridData grid;
        layOutGrid(grid, rows);
        QCOMPARE(vorn::RefreshTimesAndFeed(table, grid, false, nullptr).records, qint32(records.size()));
        QTEST(timeCells(grid), "cells");
    }

    void keptStateAgreesWithAFreshRefresh_data()
    {
        // Steps between two ticks, applied to the table "Scheduler.dbf" of four
        // records "P;;M;;<10n>;<10n + 5>" (n = 1..4): "set <record> <StartP>
        // <FinishP>", "actual <record> <StartA> <FinishA>", "cut <count>" (the
        // file shortened to that many records), "append <StartP> <FinishP>",
        // "recreate" (fields of another width), "refill" (the grid's rows laid
        // out again). A step "<before> | <during> | <after>" writes <during> as
        // the tick writes its first cell and <after> once it is over; actions
        // of a phase are joined by "; ".
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<int>>("rowsRewritten");   // per step
        // Per step, what the overlays hear: "-" nothing changed, else "+" and
        // each row whose planned start or finish moved, "row:old start|old finish".
        QTest::addColumn<QStringList>("reported");

        QTest::newRow("unchanged-table-rewrites-no-row") << QStringList{"", ""} << QList<int>{0, 0} << QStringList{"-", "-"};
        QTest::newRow("changed-record-rewrites-its-row-and-group") << QStringList{"set 2 700 900"} << QList<int>{1}
            << QStringList{"+ 4:00:00:20|00:00:25 2:00:00:10|00:00:25"};
        QTest::newRow("actual-times-change-no-planned-row") << QStringList{"actual 1 12 14"} << QList<int>{1} << QStringList{"+"};
        QTest::newRow("cut-off-records-read-as-blanks-and-come-back") << QStringList{"cut 2", "append 77 88", "append 5 6"}
            << QList<int>{2, 1, 1}
            << QStringList{"+ 6:00:00:30|00:00:35 7:00:00:40|00:00:45 5:00:00:30|00:00:45", "+ 6:| 5:|", "+ 7:| 5:00:01:17|00:01:28"};
        // Every row worked out again, to the texts it showed: nothing to hear.
        QTest::newRow("recreated-table-rewrites-every-row") << QStringList{"recreate", ""} << QList<int>{4, 0}
            << QStringList{"-", "-"};
        QTest::newRow("refilled-grid-rewrites-every-row") << QStringList{"refill", ""} << QList<int>{4, 0}
            << QStringList{"+ 3:old|old 4:old|old 6:old|old 7:old|old 2:old|old 5:old|old", "-"};
        QTest::newRow("same-bytes-written-again-is-no-change") << QStringList{"set 1 10 15"} << QList<int>{0} << QStringList{"-"};
        // Only a mapped table shows the tick a write made after its open.
        if (vorn::store::MappedFile::enabled()) {
            QTest::newRow("record-rewritten-during-a-tick-and-back-is-read-again")
                << QStringList{"set 1 70 80; set 2 300 400 | set 2 1 2 | set 2 300 400", ""} << QList<int>{2, 1} << QStringList();
            QTest::newRow("record-rewritten-during-a-tick-of-every-row-and-back-is-read-again")
                << QStringList{"refill | set 2 1 2 | set 2 20 25", ""} << QList<int>{4, 1} << QStringList();
        }
    }

    void keptStateAgreesWithAFreshRefresh()
    {
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, rowsRewritten);
        QFETCH(QStringList, reported);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Scheduler.dbf"));
        QStringList records;
        for (int n = 1; n <= 4; ++n)
            records << QStringLiteral("P;;M;;%1;%2").arg(n * 10).arg(n * 10 + 5);
        vorn::store::DbfTable table;
        QCOMPARE(vorn::testing::makeScheduleTable(table, path, records), QString());
        GridData grid;
        layOutGrid(grid, QStringLiteral("G D1 D2 G D3 D4"));
        vorn::RefreshState state;
        vorn::RefreshTimesAndFeed(table, grid, false, nullptr, &state);

        const auto apply = [&](const QString &action) {
            const QStringList step = action.split(u' ');
            vorn::store::DbfTable writer;
            if (step[0] == u"set" || step[0] == u"actual") {
                const int record = step[1].toInt(), start = step[0] == u"set" ? 5 : 8;   // StartP or StartA, then its finish
                QVERIFY(writer.open(path).ok());
                QVERIFY(writer.setField(record, start, step[2]).ok() && writer.setField(record, start + 1, step[3]).ok());
            } else if (step[0] == u"append") {
                QVERIFY(writer.open(path).ok());
                QStringList values{"P", "", "M", "", step[1], step[2]};
                values.resize(11);
                QVERIFY(writer.appendRecord(values).ok());
            } else if (step[0] == u"cut") {
                QVERIFY(QFile::resize(path, vorn::testing::scheduleRecordOffset(step[1].toInt() + 1)));
            } else if (step[0] == u"recreate") {
                QList<vorn::store::FieldDescriptor> fields = vorn::testing::scheduleFields();
                for (vorn::store::FieldDescriptor &field : fields)
                    field.length += 2;
                QVERIFY(vorn::store::DbfTable::create(path, fields).ok());
                QVERIFY(writer.open(path).ok());
                for (const QString &record : records) {
                    QStringList values = record.split(u';');
                    values.resize(11);
                    QVERIFY(writer.appendRecord(values).ok());
                }
            }
        };
        const auto applyAll = [&](const QString &actions) {
            for (const QString &action : actions.split(QStringLiteral("; "), Qt::SkipEmptyParts))
                apply(action);
        };

        for (qsizetype i = 0; i < steps.size(); ++i) {
            QStringList phases = steps[i].split(QStringLiteral(" | "));
            table.close();
            applyAll(phases[0]);
            QVERIFY(table.open(path).ok());
            if (phases[0] == u"refill")
                layOutGrid(grid, QStringLiteral("G D1 D2 G D3 D4"));
            grid.setChangeListener([&](GridData::Change, int) {
                if (phases.size() > 1)
                    applyAll(std::exchange(phases[1], QString()));
            });
            const vorn::RefreshResult kept = vorn::RefreshTimesAndFeed(table, grid, false, nullptr, &state);
            grid.setChangeListener({});
            applyAll(phases.value(2));
            // While the table was written, either picture is right; the next tick's must be.
            if (phases.size() == 1) {
                GridData fresh;
                layOutGrid(fresh, QStringLiteral("G D1 D2 G D3 D4"));
                vorn::RefreshTimesAndFeed(table, fresh, false, nullptr);
                QCOMPARE(timeCells(grid), timeCells(fresh));
                QString heard = kept.changed ? QStringLiteral("+") : QStringLiteral("-");
                for (const vorn::chart::PlannedChange &change : kept.plannedChanges)
                    heard += QStringLiteral(" %1:%2|%3").arg(change.row).arg(change.oldStart, change.oldFinish);
                if (i < reported.size())
                    QCOMPARE(heard, reported[i]);
            }
            QCOMPARE(kept.detailRows, rowsRewritten.value(i));
        }
    }

    void cleanEmptiesTheLiveTable_data()
    {
        QTest::addColumn<int>("records"); // the first marked deleted already; -1: no live table
        QTest::newRow("five-records") << 5;
        // Beyond what a 16-bit count reaches: every record still goes.
        QTest::newRow("more-than-32767-records") << 32770;
        QTest::newRow("missing-table-reported-nothing-happens") << -1;
    }

    // Always the live table, also while the window shows an archived copy.
    void cleanEmptiesTheLiveTable()
    {
        QFETCH(int, records);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Scheduler")));
        vorn::store::DbfTable table;
        QCOMPARE(vorn::testing::makeScheduleTable(table, dir.filePath("Scheduler/Monday.dbf"), {"P", "P", "P"}), QString());
        if (records >= 0) {
            QCOMPARE(vorn::testing::makeScheduleTable(table, dir.filePath("Scheduler.dbf"), QStringList(records, "P")), QString());
            QVERIFY(table.markDeleted(1).ok());
        }
        table.close();
        vorn::AppState state;
        state.DataFolder = dir.path() + u'/';
        state.Offline = 1;
        state.LoadedName = QStringLiteral("Monday");

        const vorn::test::MessageRecorder recorder;
        // The wait after a clean looks at the count only: marked records still count.
        const std::optional<qint32> before = vorn::LiveRecordCount(state);
        const bool cleaned = vorn::CleanLiveTable(state);
        const std::optional<qint32> after = vorn::LiveRecordCount(state);
        QCOMPARE(before, records < 0 ? std::nullopt : std::optional<qint32>(records));
        QCOMPARE(cleaned, records >= 0);
        // The emptied table is still a table the manager and the fill can open.
        QCOMPARE(after, records < 0 ? std::nullopt : std::optional<qint32>(0));
        QCOMPARE(recorder.texts, QStringList(records < 0 ? 3 : 0, QStringLiteral("Open Failed")));
        QCOMPARE(table.open(dir.filePath("Scheduler/Monday.dbf")).ok() ? table.recordCount() : -1, 3);
    }
};

QTEST_GUILESS_MAIN(tst_Refresh)
#include "tst_refresh.moc"
