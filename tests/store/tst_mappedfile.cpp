// The store maps tables that the manager keeps rewriting, packing and
// cutting short. These tests do that to a mapped table and check that the
// reader neither dies nor ever sees stale bytes on its next open.

#include "dbfbytes.h"
#include "dbftable.h"
#include "mappedfile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <csetjmp>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vorn::store;
using namespace vorn::store::testing;

namespace {

const QList<FieldDescriptor> layout{{"PART", 'C', 12}, {"MACHINE", 'C', 8}, {"STARTP", 'N', 8}};
constexpr int recordLength = 1 + 12 + 8 + 8;
constexpr int headerLength = 32 + 32 * 3 + 1;

// A table of `records` records, large enough to span many pages.
bool writeTable(const QString &path, int records, const QString &tag = QStringLiteral("P"))
{
    DbfTable table;
    return DbfTable::create(path, layout).ok() && table.open(path).ok()
        && table.appendRecords(records, [&](qint32 i) -> QList<QString> {
               const int r = i + 1;
               return {QStringLiteral("%1%2").arg(tag).arg(r), QStringLiteral("M%1").arg(r % 7), QString::number(r * 10)};
           }).ok();
}

enum class Change { Nothing, AppendOne, AppendMany, SetField, Pack, Cut, Replace };

// What another process does to the table; a cut keeps `records` records and
// 5 bytes of the next (the header alone for none, nothing at all for -1).
bool change(const QString &path, Change what, int records)
{
    DbfTable writer;
    switch (what) {
    case Change::Nothing:
        return true;
    case Change::AppendOne:
        return writer.open(path).ok() && writer.appendRecord({"NEW", "M9", "5"}).ok();
    case Change::AppendMany:
        // Far past any headroom the first mapping left.
        return writer.open(path).ok()
            && writer.appendRecords(4000, [](qint32 i) -> QList<QString> { return {QStringLiteral("X%1").arg(i), "M1", "1"}; }).ok();
    case Change::SetField:
        return writer.open(path).ok() && writer.setField(1500, 1, "CHANGED").ok();
    case Change::Pack:
        if (writer.open(path).failed())
            return false;
        for (int r = 1; r <= writer.recordCount(); r += 3)
            if (writer.markDeleted(r).failed())
                return false;
        return writer.pack().ok();
    case Change::Cut:
        return QFile::resize(path, records < 0 ? 0 : headerLength + records * recordLength + (records ? 5 : 0));
    case Change::Replace: {
        // Written beside and renamed over: a new file under the same name.
        const QString fresh = path + ".new.dbf";
        return writeTable(fresh, 900, QStringLiteral("R")) && QFile::remove(path) && QFile::rename(fresh, path);
    }
    }
    return false;
}

enum class Previous { Inherited, Default, Recovering };

QString describe(int status)
{
    return WIFSIGNALED(status) ? QStringLiteral("signal %1").arg(WTERMSIG(status)) : QStringLiteral("exit %1").arg(WEXITSTATUS(status));
}

sigjmp_buf recoverPoint;
volatile sig_atomic_t recoveries = 0;

void recoverFromBusError(int)
{
    recoveries = recoveries + 1;
    siglongjmp(recoverPoint, 1);
}

// Exit statuses of the child from here up mean "the check itself failed".
constexpr int childFailure = 100;

// In a child process: puts `previous` in place, lets the store install its
// guard, then faults on a mapping of `other` that the store knows nothing
// of. Returns only where the previous handler recovers; then checks that a
// table cut while open still reads, which needs the store's guard back.
int foreignFaultInChild(Previous previous, const QString &table, const QString &other)
{
    if (previous == Previous::Default)
        signal(SIGBUS, SIG_DFL);
    if (previous == Previous::Recovering)
        signal(SIGBUS, recoverFromBusError);
    if (MappedFile first; first.map(table).failed())
        return childFailure + 1;
    const int fd = ::open(QFile::encodeName(other).constData(), O_RDWR);
    auto *base = static_cast<volatile char *>(::mmap(nullptr, 64 * 1024, PROT_READ, MAP_SHARED, fd, 0));
    if (base == MAP_FAILED || ::ftruncate(fd, 0) != 0)
        return childFailure + 2;
    if (sigsetjmp(recoverPoint, 1) == 0) {
        const char c = base[32 * 1024];
        return c == 'x' ? childFailure + 3 : childFailure + 4;   // no fault at all
    }
    // Recovered by the previous handler, once: a second time would be the
    // table's fault below reaching it instead of the store's guard.
    if (recoveries != 1)
        return childFailure + 7;
    DbfTable second;
    if (second.open(table).failed() || !QFile::resize(table, headerLength))
        return childFailure + 5;
    qint64 sum = 0;
    for (qint32 r = 1; r <= second.recordCount(); ++r)
        sum += second.rawField(r, 1).front();
    return sum >= 0 ? 0 : childFailure + 6;
}

} // namespace

Q_DECLARE_METATYPE(Previous)

class TestMappedFile : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(MappedFile::supported());
    }
    void cleanup()
    {
        MappedFile::setEnabled(true);
        MappedFile::dropKept();
    }

    void changeWhileOpen_data()
    {
        QTest::addColumn<Change>("what");
        QTest::addColumn<int>("records");   // after the change

        QTest::newRow("nothing") << Change::Nothing << 3000;
        QTest::newRow("append-one") << Change::AppendOne << 3001;
        QTest::newRow("append-past-headroom") << Change::AppendMany << 7000;
        QTest::newRow("field-rewritten") << Change::SetField << 3000;
        QTest::newRow("packed") << Change::Pack << 2000;
        QTest::newRow("cut-to-header") << Change::Cut << 0;
        QTest::newRow("cut-midway") << Change::Cut << 700;
        // Inside record 137, which runs on into the second page: zeros, then blanks.
        QTest::newRow("cut-in-a-record-that-crosses-a-page") << Change::Cut << 136;
        QTest::newRow("cut-to-nothing") << Change::Cut << -1;
        QTest::newRow("replaced") << Change::Replace << 900;
    }

    // Another process changes the table while a reader holds it open. The
    // mapping kept from that open must never show the table as it was: the
    // next open reads exactly what the reading path reads. The reader may
    // see old or new bytes, or blanks where the file was cut, but it reads
    // every field without dying.
    void changeWhileOpen()
    {
        QFETCH(Change, what);
        QFETCH(int, records);
        QTemporaryDir dir;
        const QString path = dir.filePath("Scheduler.dbf");
        QVERIFY(writeTable(path, 3000));
        const QStringList before = readTable(path, false);

        DbfTable reader;
        QVERIFY(reader.open(path).ok());
        // A fill under way: the first records are read already.
        for (qint32 r = 1; r <= 10; ++r)
            QCOMPARE(reader.rawField(r, 1), QByteArrayView(QStringLiteral("P%1").arg(r).toLatin1().leftJustified(12)));
        QVERIFY(change(path, what, records));
        const QStringList expected = readTable(path, false);
        QCOMPARE(expected.size(), records < 0 ? 1 : records);
        QCOMPARE(readTable(path), expected);

        const qint64 size = QFile(path).size();
        const bool cut = what == Change::Cut;
        for (qint32 r = 1; r <= reader.recordCount(); ++r) {
            // Gone with the cut, wherever it fell: blanks, never the zeros
            // the system shows past the end inside the last page. The whole
            // record, as a tick fingerprints it, is looked at before any
            // field; a record taken after the cut looks for it as a field
            // read does.
            const bool gone = cut && headerLength + qint64(r) * recordLength > size;
            const QByteArrayView bytes = reader.rawRecord(r);
            QCOMPARE(bytes.size(), qsizetype(recordLength));
            QVERIFY2(!gone || bytes == QByteArray(recordLength, ' '), qPrintable(QStringLiteral("record %1 outlived the cut").arg(r)));
            const DbfTable::Record record = reader.record(r);
            for (int f = 1; f <= reader.fieldCount(); ++f) {
                QCOMPARE(record.field(f), reader.rawField(r, f));
                QVERIFY(!gone || reader.rawField(r, f) == QByteArray(reader.field(f).length, ' '));
            }
        }
        if (cut || what == Change::Nothing || what == Change::SetField) {
            // Cut records aside, the rest is what was there before.
            const QStringList now = flatten(reader);
            const qsizetype whole = cut ? std::max<qint64>(0, (size - headerLength) / recordLength) : 3000;
            for (qsizetype i = 0; i < whole; ++i)
                QVERIFY(now[i] == before[i] || (what == Change::SetField && i == 1499));
        }
        QCOMPARE(readTable(path), readTable(path, false));

        // Written anew in place, over the pages that read as blanks: those
        // must not come back.
        QVERIFY(writeTable(path, 3000, QStringLiteral("Q")));
        const QStringList rewritten = readTable(path);
        QCOMPARE(rewritten.size(), 3000);
        QCOMPARE(rewritten, readTable(path, false));
    }

    // A bus error that is not about a table's mapping reaches the handler
    // that was there before, as if the store's were not there: it ends the
    // process, or, where that handler recovers, the process goes on and the
    // store's guard is back for the next table.
    void foreignBusErrorReachesThePreviousHandler_data()
    {
        QTest::addColumn<Previous>("previous");
        QTest::addColumn<QString>("outcome");   // of the child
        const QString bus = QStringLiteral("signal %1").arg(SIGBUS);
        // Death by the signal, or a sanitizer's report and exit status.
        QTest::newRow("test-framework-or-sanitizer") << Previous::Inherited << bus + "|exit [1-9][0-9]?";
        QTest::newRow("default-action") << Previous::Default << bus;
        QTest::newRow("recovering-handler") << Previous::Recovering << "exit 0";
    }
    void foreignBusErrorReachesThePreviousHandler()
    {
        QFETCH(Previous, previous);
        QFETCH(QString, outcome);
        QTemporaryDir dir;
        const QString path = dir.filePath("Scheduler.dbf");
        const QString other = dir.filePath("other.bin");
        QVERIFY(writeTable(path, 500));
        QVERIFY(writeFile(other, QByteArray(64 * 1024, 'x')));

        const pid_t child = fork();
        if (child == 0) {
            alarm(20);   // a handler that swallowed the fault would spin here
            // The test framework's and the sanitizer's reports of the fault
            // are expected; keep them out of the log.
            const int quiet = ::open("/dev/null", O_WRONLY);
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
            _exit(foreignFaultInChild(previous, path, other));
        }
        QVERIFY(child > 0);
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY2(QRegularExpression("^(" + outcome + ")$").match(describe(status)).hasMatch(), qPrintable(describe(status)));
    }

    // Something other than a plain file under the table's name is an open
    // failure, never a wait for a writer that does not come.
    void onlyPlainFilesOpen_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::newRow("pipe") << "pipe" << "Scheduler.dbf";
        QTest::newRow("pipe-upper-case") << "pipe" << "SCHEDULER.DBF";
        QTest::newRow("folder") << "folder" << "Scheduler.dbf";
        QTest::newRow("dangling-link") << "link" << "scheduler.DBF";
    }
    void onlyPlainFilesOpen()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QByteArray target = QFile::encodeName(dir.filePath(name));
        if (kind == "pipe")
            QCOMPARE(mkfifo(target.constData(), 0600), 0);
        else if (kind == "folder")
            QVERIFY(QDir(dir.path()).mkdir(name));
        else
            QCOMPARE(symlink("/nonexistent/table.dbf", target.constData()), 0);
        for (const bool mapping : {true, false})
            QCOMPARE(readTable(dir.filePath("Scheduler"), mapping), QStringList{"<open failed>"});
    }

    // The most recently opened files keep their mappings, at most four; a
    // file deleted or renamed over lets its mapping go at the next open.
    void keepsTheRecentMappings()
    {
        QTemporaryDir dir;
        auto path = [&](int i) { return dir.filePath(QStringLiteral("T%1.dbf").arg(i)); };
        for (int i = 0; i < 12; ++i) {
            QVERIFY(writeTable(path(i), 10));
            QCOMPARE(readTable(path(i)).size(), 10);
        }
        QCOMPARE(MappedFile::activeCount(), 4);
        {
            // Started with standard input closed, each map's descriptor is 0:
            // the one a kept mapping makes needless is let go all the same.
            const int input = ::dup(0);
            ::close(0);
            const auto restore = qScopeGuard([input] { ::dup2(input, 0); ::close(input); });
            for (int i = 8; i < 12; ++i) {
                // Both alive at once: the same bytes only if the mapping was kept.
                MappedFile first, second;
                QVERIFY(first.map(path(i)).ok() && second.map(path(i)).ok());
                QCOMPARE(static_cast<const void *>(first.data()), static_cast<const void *>(second.data()));
                // A map that fails lets go of what was mapped before.
                QVERIFY(second.map(path(99)).failed() && second.data() == nullptr && second.size() == 0);
            }
            QCOMPARE(::fcntl(0, F_GETFD), -1);
        }

        QVERIFY(QFile::remove(path(11)));
        QVERIFY(writeTable(path(3), 10));   // a new file under an old name
        QCOMPARE(::rename(QFile::encodeName(path(3)).constData(), QFile::encodeName(path(10)).constData()), 0);
        QCOMPARE(readTable(path(9)).size(), 10);
        // T8, T9 and the new file now named T10, which writing it mapped.
        QCOMPARE(MappedFile::activeCount(), 3);
        QCOMPARE(readTable(path(10)).size(), 10);
        QCOMPARE(MappedFile::activeCount(), 3);
        MappedFile::dropKept();
        QCOMPARE(MappedFile::activeCount(), 0);
        // Let go for real: the process maps none of the files any more.
        QVERIFY(!readFile("/proc/self/maps").contains(QFile::encodeName(dir.path())));
    }
};

QTEST_GUILESS_MAIN(TestMappedFile)
#include "tst_mappedfile.moc"
