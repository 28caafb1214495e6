#include "refresh.h"

#include "griddata.h"
#include "managerclient.h"
#include "managerstandin.h"
#include "scheduletable.h"
#include "schedulexml.h"

#include "dbftable.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using vorn::chart::GridData;
using vorn::store::DbfTable;

namespace {

const QString Old = QStringLiteral("old");

// Lays out the grid as a fill leaves it: two header rows, then one row per
// entry: "G" a group row (level 0), "D<n>" a detail row of record n,
// "L<level>:<n>" a detail row of another outline level. Every time cell
// starts as "old", so that a cell the refresh leaves alone shows.
void layOutGrid(GridData &grid, const QStringList &rows)
{
    grid.setCols(8 + 24 * 60);
    grid.setRows(2);
    for (const QString &entry : rows) {
        const int row = grid.rows();
        grid.setRows(row + 1);
        qint16 level = 1;
        qint32 record = 0;
        if (entry == QLatin1String("G")) {
            level = 0;
        } else if (entry.startsWith(QLatin1Char('D'))) {
            record = entry.mid(1).toInt();
        } else {
            level = qint16(entry.section(QLatin1Char(':'), 0, 0).mid(1).toInt());
            record = entry.section(QLatin1Char(':'), 1).toInt();
        }
        grid.setRowOutlineLevel(row, level);
        grid.setRowData(row, record);
        grid.setText(row, 1, entry);
        for (int col = 2; col <= 7; ++col)
            grid.setText(row, col, Old);
    }
}

// Rows 2.. as "c2|c3|c4|c5|c6|c7".
QStringList timeCells(const GridData &grid)
{
    QStringList lines;
    for (int row = 2; row < grid.rows(); ++row) {
        QStringList cells;
        for (int col = 2; col <= 7; ++col)
            cells << grid.text(row, col);
        lines << cells.join(QLatin1Char('|'));
    }
    return lines;
}

} // namespace

class tst_Refresh : public QObject {
    Q_OBJECT
private slots:
    void rewritesTimeCells_data();
    void rewritesTimeCells();
    void feedsTheViewOnlyWhenHostedAndItExists_data();
    void feedsTheViewOnlyWhenHostedAndItExists();
};

void tst_Refresh::rewritesTimeCells_data()
{
    QTest::addColumn<QStringList>("records");   // "StartP,FinishP,StartA,FinishA"
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("cells");

    QTest::newRow("group-earliest-start-latest-finish")
        << QStringList{"300,400,,", "100,900,,"} << QStringList{"G", "D1", "D2"}
        << QStringList{"00:01:40|00:15:00|00:13:20|||", "00:05:00|00:06:40|00:01:40|||",
                       "00:01:40|00:15:00|00:13:20|||"};
    QTest::newRow("finish-empty-keeps-old-duration")
        << QStringList{"120,,,"} << QStringList{"D1"} << QStringList{"00:02:00||old|||"};
    QTest::newRow("start-empty-keeps-old-duration")
        << QStringList{",120,,"} << QStringList{"D1"} << QStringList{"|00:02:00|old|||"};
    QTest::newRow("start-not-a-number-keeps-duration-and-aggregate")
        << QStringList{"abc,300,,", "200,250,,"} << QStringList{"G", "D1", "D2"}
        << QStringList{"00:03:20|00:05:00|00:01:40|||", "|00:05:00|old|||", "00:03:20|00:04:10|00:00:50|||"};
    QTest::newRow("duration-is-finish-minus-start-not-the-stored-field")
        << QStringList{"60,180,70,250"} << QStringList{"D1"}
        << QStringList{"00:01:00|00:03:00|00:02:00|00:01:10|00:04:10|00:03:00"};
    QTest::newRow("negative-actual-duration")
        << QStringList{",,500,200"} << QStringList{"G", "D1"}
        << QStringList{"|||00:08:20|00:03:20|00:-05:00", "|||00:08:20|00:03:20|00:-05:00"};
    QTest::newRow("start-zero-is-no-earliest-start")
        << QStringList{"0,100,,", "50,60,,"} << QStringList{"G", "D1", "D2"}
        << QStringList{"00:00:50|00:01:40|00:00:50|||", "|00:01:40|00:01:40|||", "00:00:50|00:01:00|00:00:10|||"};
    QTest::newRow("negative-finish-is-no-latest-finish")
        << QStringList{"-200,-100,,"} << QStringList{"G", "D1"}
        << QStringList{"00:-03:-20||00:03:20|||", "00:-03:-20|00:-01:-40|00:01:40|||"};
    QTest::newRow("halves-round-to-even")
        << QStringList{"12.5,13.5,,"} << QStringList{"D1"} << QStringList{"00:00:12|00:00:14|00:00:02|||"};
    QTest::newRow("leading-blanks-still-a-number")
        << QStringList{"  120,  180,,"} << QStringList{"D1"} << QStringList{"00:02:00|00:03:00|00:01:00|||"};
    QTest::newRow("92-hours-keeps-old-text")
        << QStringList{"331200,331300,331199,331199"} << QStringList{"G", "D1"}
        << QStringList{"old|old|00:01:40|91:59:59|91:59:59|", "old|old|00:01:40|91:59:59|91:59:59|"};
    QTest::newRow("duration-of-92-hours-keeps-old-text")
        << QStringList{"-1,331199,,"} << QStringList{"D1"} << QStringList{"00:00:-01|91:59:59|old|||"};
    QTest::newRow("both-empty-clears-duration")
        << QStringList{",,,"} << QStringList{"D1"} << QStringList{"|||||"};
    QTest::newRow("record-gone-since-the-fill-reads-blank")
        << QStringList{"60,120,,"} << QStringList{"G", "D1", "D7"}
        << QStringList{"00:01:00|00:02:00|00:01:00|||", "00:01:00|00:02:00|00:01:00|||", "|||||"};
    QTest::newRow("detail-row-without-record-left-alone")
        << QStringList{"60,120,,"} << QStringList{"G", "D0", "D1"}
        << QStringList{"00:01:00|00:02:00|00:01:00|||", "old|old|old|old|old|old", "00:01:00|00:02:00|00:01:00|||"};
    QTest::newRow("group-without-details-gets-empty-summary")
        << QStringList{"60,120,,"} << QStringList{"G", "G", "D1"}
        << QStringList{"|||||", "00:01:00|00:02:00|00:01:00|||", "00:01:00|00:02:00|00:01:00|||"};
    QTest::newRow("summaries-do-not-leak-into-the-next-group")
        << QStringList{"100,200,10,20", "500,600,,"} << QStringList{"G", "D1", "G", "D2"}
        << QStringList{"00:01:40|00:03:20|00:01:40|00:00:10|00:00:20|00:00:10",
                       "00:01:40|00:03:20|00:01:40|00:00:10|00:00:20|00:00:10",
                       "00:08:20|00:10:00|00:01:40|||", "00:08:20|00:10:00|00:01:40|||"};
    // Nothing resets the aggregates before the first group row, so detail
    // rows above it count into its summary.
    QTest::newRow("rows-before-the-first-group-count-into-it")
        << QStringList{"60,120,,", "300,400,,"} << QStringList{"D1", "G", "D2"}
        << QStringList{"00:01:00|00:02:00|00:01:00|||", "00:01:00|00:06:40|00:05:40|||",
                       "00:05:00|00:06:40|00:01:40|||"};
    QTest::newRow("deeper-outline-level-counts-as-detail")
        << QStringList{"60,120,,"} << QStringList{"G", "L2:1"}
        << QStringList{"00:01:00|00:02:00|00:01:00|||", "00:01:00|00:02:00|00:01:00|||"};
    QTest::newRow("same-record-twice-counts-twice")
        << QStringList{"60,120,,"} << QStringList{"G", "D1", "D1"}
        << QStringList{"00:01:00|00:02:00|00:01:00|||", "00:01:00|00:02:00|00:01:00|||",
                       "00:01:00|00:02:00|00:01:00|||"};
    QTest::newRow("empty-table-leaves-the-grid-alone")
        << QStringList{} << QStringList{"G", "D1"}
        << QStringList{"old|old|old|old|old|old", "old|old|old|old|old|old"};
}

void tst_Refresh::rewritesTimeCells()
{
    QFETCH(QStringList, records);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, cells);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Scheduler.dbf"));
    QVERIFY(vorn::test::writeScheduleTable(path, records));
    DbfTable table;
    QVERIFY(table.open(path));

    GridData grid;
    layOutGrid(grid, rows);
    const vorn::RefreshResult result = vorn::RefreshTimesAndFeed(table, grid, false, nullptr);

    QCOMPARE(timeCells(grid), cells);
    QCOMPARE(result.records, qint32(records.size()));
    QCOMPARE(grid.rows(), int(rows.size()) + 2);
    QCOMPARE(result.fed, false);
}

void tst_Refresh::feedsTheViewOnlyWhenHostedAndItExists_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<bool>("hosted");
    QTest::addColumn<bool>("withView");
    QTest::addColumn<bool>("fed");

    QTest::newRow("hosted-with-view") << QStringList{"60,120,,", ",,,"} << true << true << true;
    QTest::newRow("hosted-without-view") << QStringList{"60,120,,"} << true << false << false;
    QTest::newRow("not-hosted-with-view") << QStringList{"60,120,,"} << false << true << false;
    QTest::newRow("hosted-empty-table-sends-nothing") << QStringList{} << true << true << false;
}

void tst_Refresh::feedsTheViewOnlyWhenHostedAndItExists()
{
    QFETCH(QStringList, records);
    QFETCH(bool, hosted);
    QFETCH(bool, withView);
    QFETCH(bool, fed);
    if (!QDBusConnection::sessionBus().isConnected())
        QSKIP("needs a session bus (run under dbus-run-session)");

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Scheduler.dbf"));
    QVERIFY(vorn::test::writeScheduleTable(path, records));
    DbfTable table;
    QVERIFY(table.open(path));

    vorn::test::ManagerStandIn manager;
    QVERIFY(manager.claimName());
    auto view = vorn::ManagerServerClient::create();
    QVERIFY(view);

    GridData grid;
    layOutGrid(grid, {"G", "D1"});
    const vorn::RefreshResult result =
        vorn::RefreshTimesAndFeed(table, grid, hosted, withView ? view.get() : nullptr);
    QCOMPARE(result.fed, fed);

    if (!view->isIdle()) {
        QSignalSpy idle(view.get(), &vorn::ManagerServerClient::idle);
        QVERIFY(idle.wait());
    }
    const QList<vorn::test::ManagerCall> calls = manager.recorder().calls();
    QCOMPARE(calls.size(), fed ? 1 : 0);
    if (fed) {
        QCOMPARE(calls[0].method, QStringLiteral("SetViewXMLData"));
        QCOMPARE(calls[0].first, QStringLiteral("SCHEDULER"));
        QCOMPARE(calls[0].second, vorn::model::BuildScheduleXml(table, vorn::model::XmlVariant::Refresh));
        // Every record goes out, empty times as "0".
        QCOMPARE(calls[0].second.count(QStringLiteral("<DataRow>")), records.size());
        QVERIFY(calls[0].second.contains(QStringLiteral("<StartP>0</StartP>")));
    }
}

QTEST_GUILESS_MAIN(tst_Refresh)
#include "tst_refresh.moc"
