#include "cleaner.h"

#include "messagebox.h"
#include "scheduletable.h"

#include "dbftable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using vorn::AppState;
using vorn::store::DbfTable;

namespace {

// Answers every message box and remembers its text.
class MessageRecorder {
public:
    MessageRecorder()
        : m_previous(vorn::SetMessageHandler([this](const vorn::MessageRequest &request) {
              texts << request.text;
              return vorn::MessageAnswer::Ok;
          }))
    {
    }
    ~MessageRecorder() { vorn::SetMessageHandler(std::move(m_previous)); }
    QStringList texts;

private:
    vorn::MessageHandler m_previous;
};

qint32 recordsIn(const QString &path)
{
    DbfTable table;
    return table.open(path) ? table.recordCount() : -1;
}

} // namespace

class tst_Cleaner : public QObject {
    Q_OBJECT
private slots:
    void cleanEmptiesTheLiveTable_data();
    void cleanEmptiesTheLiveTable();
    void cleanLeavesTheArchivedCopyShown();
    void missingTableIsReportedAndNothingHappens_data();
    void missingTableIsReportedAndNothingHappens();
    void countsTheLiveTable_data();
    void countsTheLiveTable();
};

void tst_Cleaner::cleanEmptiesTheLiveTable_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("alreadyDeleted");
    QTest::addColumn<QString>("fileName");

    QTest::newRow("three-records") << 3 << 0 << "Scheduler.dbf";
    QTest::newRow("already-empty") << 0 << 0 << "Scheduler.dbf";
    QTest::newRow("some-already-marked-deleted") << 5 << 2 << "Scheduler.dbf";
    QTest::newRow("name-written-in-upper-case") << 2 << 0 << "SCHEDULER.DBF";
    // Beyond what a 16-bit count reaches: every record still goes.
    QTest::newRow("more-than-32767-records") << 32770 << 0 << "Scheduler.dbf";
}

void tst_Cleaner::cleanEmptiesTheLiveTable()
{
    QFETCH(int, records);
    QFETCH(int, alreadyDeleted);
    QFETCH(QString, fileName);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(fileName);
    QVERIFY(vorn::test::writeScheduleTable(path, QStringList(records, QStringLiteral("60,120,,"))));
    {
        DbfTable table;
        QVERIFY(table.open(path));
        for (int record = 1; record <= alreadyDeleted; ++record)
            QVERIFY(table.markDeleted(record));
    }

    AppState state;
    state.DataFolder = dir.path() + QLatin1Char('/');
    MessageRecorder messages;
    QVERIFY(vorn::CleanLiveTable(state));

    QCOMPARE(recordsIn(path), 0);
    QCOMPARE(messages.texts, QStringList());
    // The emptied table is still a table the manager and the fill can open.
    QCOMPARE(vorn::LiveRecordCount(state), std::optional<qint32>(0));
}

void tst_Cleaner::cleanLeavesTheArchivedCopyShown()
{
    QTemporaryDir dir;
    const QString live = dir.filePath(QStringLiteral("Scheduler.dbf"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Scheduler")));
    const QString copy = dir.filePath(QStringLiteral("Scheduler/Monday.dbf"));
    QVERIFY(vorn::test::writeScheduleTable(live, {"1,2,,", "3,4,,"}));
    QVERIFY(vorn::test::writeScheduleTable(copy, {"1,2,,", "3,4,,", "5,6,,"}));

    AppState state;
    state.DataFolder = dir.path() + QLatin1Char('/');
    state.Offline = 1;
    state.LoadedName = QStringLiteral("Monday");
    QVERIFY(vorn::CleanLiveTable(state));

    QCOMPARE(recordsIn(live), 0);
    QCOMPARE(recordsIn(copy), 3);
}

void tst_Cleaner::missingTableIsReportedAndNothingHappens_data()
{
    QTest::addColumn<bool>("clean");
    QTest::newRow("clean") << true;
    QTest::newRow("count") << false;
}

void tst_Cleaner::missingTableIsReportedAndNothingHappens()
{
    QFETCH(bool, clean);
    QTemporaryDir dir;
    AppState state;
    state.DataFolder = dir.path() + QLatin1Char('/');
    MessageRecorder messages;

    if (clean)
        QVERIFY(!vorn::CleanLiveTable(state));
    else
        QCOMPARE(vorn::LiveRecordCount(state), std::nullopt);

    QCOMPARE(messages.texts.size(), 1);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("Scheduler.dbf"))));
}

void tst_Cleaner::countsTheLiveTable_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("deleted");

    QTest::newRow("empty") << 0 << 0;
    QTest::newRow("one-record-ends-the-wait") << 1 << 0;
    // The wait looks at the count only; marks are not its business.
    QTest::newRow("deleted-but-not-packed-still-count") << 2 << 2;
}

void tst_Cleaner::countsTheLiveTable()
{
    QFETCH(int, records);
    QFETCH(int, deleted);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Scheduler.dbf"));
    QVERIFY(vorn::test::writeScheduleTable(path, QStringList(records, QStringLiteral("60,120,,"))));
    {
        DbfTable table;
        QVERIFY(table.open(path));
        for (int record = 1; record <= deleted; ++record)
            QVERIFY(table.markDeleted(record));
    }
    AppState state;
    state.DataFolder = dir.path() + QLatin1Char('/');
    QCOMPARE(vorn::LiveRecordCount(state), std::optional<qint32>(records));
}

QTEST_GUILESS_MAIN(tst_Cleaner)
#include "tst_cleaner.moc"
