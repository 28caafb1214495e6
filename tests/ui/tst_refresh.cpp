#include "cleaner.h"
#include "refresh.h"

#include "../model/scheduletable.h"
#include "griddata.h"
#include "uiplant.h"


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
    // Each case's records (StartP;FinishP;DurationP;StartA;FinishA) over a
    // grid laid out as its rows; the stored copy holds columns 2..7 of every
    // row afterwards.
    void rewritesTimeCells()
    {
        const QList<std::pair<QStringList, QString>> cases{
            {{"300;400", "100;900"}, "G D1 D2"},           // a group: the earliest start, the latest finish
            {{"120", ""}, "D1 D2"},                         // one side empty keeps the old duration, both clear it
            {{"abc;300", "200;250"}, "G D1 D2"},            // a start not a number keeps duration and aggregate
            {{"60;180;999;70;250"}, "D1"},                  // finish minus start, not the stored duration
            {{"0;100", "50;60"}, "G D1 D2"},                // a start of zero is no earliest start
            {{"-200;-100"}, "G D1"},                        // a negative finish is no latest finish
            {{"331200;331300;;-1;331199"}, "G D1"},         // 92 hours keeps the old text
            {{"100;200;;10;20", "500;600"}, "G D1 G D2"},   // summaries do not leak into the next group
            // Nothing resets the aggregates before the first group row, so
            // detail rows above it count into its summary.
            {{"60;120", "300;400"}, "D1 G D2"},
            {{}, "G D1"},                                   // an empty table leaves the grid alone
        };
        QByteArray transcript;
        for (auto [records, rows] : cases) {
            transcript += "> " + records.join(u' ').toUtf8() + " over " + rows.toUtf8() + '\n';
            for (QString &record : records)
                record.prepend(u";;;;");
            QTemporaryDir dir;
            vorn::store::DbfTable table;
            QCOMPARE(vorn::testing::makeScheduleTable(table, dir.filePath(QStringLiteral("Scheduler.dbf")), records), QString());
            GridData grid;
            layOutGrid(grid, rows);
            QCOMPARE(vorn::RefreshTimesAndFeed(table, grid, false, nullptr).records, qint32(records.size()));
            transcript += timeCells(grid).join(u'\n').toUtf8() + '\n';
        }
        VORN_COMPARE_STORED(QStringLiteral("time-cells.txt"), transcript);
    }

    // Records cut off and appended again between ticks on kept state: each
    // tick leaves what a tick with nothing kept leaves, rewriting only the
    // rows whose records went or came.
    void keptStateAgreesWithAFreshRefreshAfterACut()
    {
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
        QList<int> rewritten;
        for (const QString start : {"cut", "77", "5"}) {   // the file cut to two records, then one appended twice
            table.close();
            if (start == u"cut") {
                QVERIFY(QFile::resize(path, vorn::testing::scheduleRecordOffset(3)));
            } else {
                QStringList values{"P", "", "M", "", start, start};
                values.resize(11);
                QVERIFY(table.open(path).ok() && table.appendRecord(values).ok());
            }
            QVERIFY(table.open(path).ok());
            rewritten << vorn::RefreshTimesAndFeed(table, grid, false, nullptr, &state).detailRows;
            GridData fresh;
            layOutGrid(fresh, QStringLiteral("G D1 D2 G D3 D4"));
            vorn::RefreshTimesAndFeed(table, fresh, false, nullptr);
            QCOMPARE(timeCells(grid), timeCells(fresh));
        }
        QCOMPARE(rewritten, (QList<int>{2, 1, 1}));
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
