#include "dbfbytes.h"
#include "messagebox.h"
#include "tablelibrary.h"
#include "texts.h"

#include <QTemporaryDir>
#include <QTest>

using namespace vorn;
using namespace vorn::store;
using namespace vorn::store::testing;

namespace {

// Answers every message box with OK and keeps what was asked.
class MessageRecorder {
public:
    MessageRecorder()
    {
        m_previous = SetMessageHandler([this](const MessageRequest &request) {
            requests.append(request);
            return MessageAnswer::Ok;
        });
    }
    ~MessageRecorder() { SetMessageHandler(std::move(m_previous)); }

    QList<MessageRequest> requests;

private:
    MessageHandler m_previous;
};

RawTable smallTable()
{
    RawTable t;
    t.fields = {{"PART", 'C', 4}};
    t.records = {t.record({"P1"})};
    return t;
}

// A dBase III table whose one memo field points at a memo of `length` bytes.
void writeMemoTable(const QString &folder, qint64 length, const QByteArray &pointer = "1")
{
    RawTable t;
    t.version = 0x83;
    t.fields = {{"NOTE", 'M', 10}};
    t.records = {' ' + pointer + QByteArray(10 - pointer.size(), ' ')};
    QVERIFY(writeFile(folder + QStringLiteral("/Memo.dbf"), t.bytes()));
    QByteArray memo(512, '\0');
    memo[0] = 3;
    memo += QByteArray(length, 'm') + "\x1A\x1A";
    QVERIFY(writeFile(folder + QStringLiteral("/Memo.dbt"), memo));
}

} // namespace

class TestTableLibrary : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void openTableReportsFailure_data();
    void openTableReportsFailure();
    void failedStartOpensNothing();
    void fieldTextLengthLimit_data();
    void fieldTextLengthLimit();
    void fieldTextDecodesAndKeepsBlanks_data();
    void fieldTextDecodesAndKeepsBlanks();
    void contextClosesItsTables();
    void tableMayOutliveOrPrecedeContext();
};

void TestTableLibrary::initTestCase()
{
    LoadTextResources();
}

void TestTableLibrary::cleanup()
{
    SetLanguage(LanguageEnglish);
    TableContext::setStartFailure(false);
}

void TestTableLibrary::openTableReportsFailure_data()
{
    QTest::addColumn<QString>("fileName");     // written with a good table; empty: none
    QTest::addColumn<QByteArray>("bytes");      // replaces the good table when not empty
    QTest::addColumn<QString>("opened");
    QTest::addColumn<qint32>("language");
    QTest::addColumn<QStringList>("messages");

    const QStringList none;
    const QStringList failed{QStringLiteral("Open Failed")};
    QTest::newRow("table-present") << "Aplan.dbf" << QByteArray() << "Aplan" << LanguageEnglish << none;
    QTest::newRow("upper-case-file") << "APLAN.DBF" << QByteArray() << "Aplan" << LanguageEnglish << none;
    QTest::newRow("table-missing") << "Process.dbf" << QByteArray() << "Aplan" << LanguageEnglish << failed;
    QTest::newRow("folder-missing") << "" << QByteArray() << "nofolder/Aplan" << LanguageEnglish << failed;
    QTest::newRow("empty-file") << "Aplan.dbf" << QByteArray("") << "Aplan" << LanguageEnglish << failed;
    RawTable zero = smallTable();
    zero.recordLength = 0;
    QTest::newRow("record-length-zero") << "Aplan.dbf" << zero.bytes() << "Aplan" << LanguageEnglish << failed;
    QTest::newRow("table-missing-chinese") << "" << QByteArray() << "Aplan" << LanguageChinese
                                           << QStringList{QStringLiteral("打开失败")};
}

void TestTableLibrary::openTableReportsFailure()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, opened);
    QFETCH(qint32, language);
    QFETCH(QStringList, messages);

    QTemporaryDir dir;
    if (!fileName.isEmpty())
        QVERIFY(writeFile(dir.filePath(fileName), bytes.isNull() ? smallTable().bytes() : bytes));
    SetLanguage(language);
    MessageRecorder recorder;
    TableContext context;
    DbfTable table;
    const bool ok = context.OpenTable(table, dir.filePath(opened));

    QCOMPARE(ok, messages.isEmpty());
    QCOMPARE(table.isOpen(), ok);
    QCOMPARE(recorder.requests.size(), messages.size());
    for (int i = 0; i < messages.size(); ++i) {
        QCOMPARE(recorder.requests[i].text, messages[i]);
        QCOMPARE(recorder.requests[i].title, ApplicationTitle());
        QCOMPARE(recorder.requests[i].icon, MessageIcon::None);
        QCOMPARE(recorder.requests[i].buttons, MessageButtons::Ok);
    }
    QCOMPARE(context.lastError().isEmpty(), ok);
}

void TestTableLibrary::failedStartOpensNothing()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("Scheduler.dbf")), smallTable().bytes()));
    TableContext::setStartFailure(true);
    MessageRecorder recorder;
    TableContext context;
    QVERIFY(!context.started());
    DbfTable table;
    QVERIFY(!context.OpenTable(table, dir.filePath(QStringLiteral("Scheduler"))));
    QCOMPARE(recorder.requests.size(), 2);
    QCOMPARE(recorder.requests[0].text, QStringLiteral("code4init() failed"));
    QCOMPARE(recorder.requests[0].title, ApplicationTitle());
    QCOMPARE(recorder.requests[1].text, QStringLiteral("Open Failed"));
}

void TestTableLibrary::fieldTextLengthLimit_data()
{
    QTest::addColumn<qint64>("length");
    QTest::addColumn<QByteArray>("pointer");
    QTest::addColumn<bool>("refused");

    QTest::newRow("longest-accepted") << qint64(32767) << QByteArray("1") << false;
    QTest::newRow("one-byte-too-long") << qint64(32768) << QByteArray("1") << true;
    QTest::newRow("far-too-long") << qint64(100000) << QByteArray("1") << true;
    QTest::newRow("empty-memo") << qint64(0) << QByteArray("1") << false;
    QTest::newRow("no-memo-block") << qint64(40000) << QByteArray("") << false;
}

void TestTableLibrary::fieldTextLengthLimit()
{
    QFETCH(qint64, length);
    QFETCH(QByteArray, pointer);
    QFETCH(bool, refused);

    QTemporaryDir dir;
    writeMemoTable(dir.path(), length, pointer);
    MessageRecorder recorder;
    TableContext context;
    DbfTable table;
    QVERIFY(context.OpenTable(table, dir.filePath(QStringLiteral("Memo"))));
    const QString text = FieldText(table, 1, 1);

    if (!refused) {
        QCOMPARE(text, pointer.isEmpty() ? QString() : QString(length, QLatin1Char('m')));
        QCOMPARE(recorder.requests.size(), 0);
        return;
    }
    QVERIFY(text.isEmpty());
    QCOMPARE(recorder.requests.size(), 1);
    const MessageRequest &box = recorder.requests[0];
    QCOMPARE(box.title, QStringLiteral("CodeBase Error"));
    QCOMPARE(box.icon, MessageIcon::Critical);
    QCOMPARE(box.buttons, MessageButtons::Ok);
    QCOMPARE(box.text, QStringLiteral("Error #: -910\n\rUnexpected Information\n\r"
                                      "Memo entry too long to return in String function. Try calling 'f4memoStrB'.\n\r"
                                      "Field Name:\n\rNOTE"));
}

void TestTableLibrary::fieldTextDecodesAndKeepsBlanks_data()
{
    QTest::addColumn<int>("driver");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("text");

    QTest::newRow("value-with-trailing-blanks") << 0x57 << QByteArray("M1    ") << QStringLiteral("M1    ");
    QTest::newRow("value-with-leading-blanks") << 0x57 << QByteArray("   120") << QStringLiteral("   120");
    QTest::newRow("all-blank") << 0x57 << QByteArray("      ") << QStringLiteral("      ");
    QTest::newRow("chinese-gbk") << 0x7A << QByteArray("\xBB\xFA\xB4\xB2 ") << QStringLiteral("机床 ");
}

void TestTableLibrary::fieldTextDecodesAndKeepsBlanks()
{
    QFETCH(int, driver);
    QFETCH(QByteArray, stored);
    QFETCH(QString, text);

    RawTable t;
    t.languageDriver = quint8(driver);
    t.fields = {{"MACHINE", 'C', int(stored.size())}};
    t.records = {' ' + stored};
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("Scheduler.dbf")), t.bytes()));
    MessageRecorder recorder;
    TableContext context;
    DbfTable table;
    QVERIFY(context.OpenTable(table, dir.filePath(QStringLiteral("Scheduler"))));
    QCOMPARE(FieldText(table, 1, 1), text);
    QCOMPARE(FieldText(table, 2, 1), QString());
    QCOMPARE(FieldNameText(table, 1), QStringLiteral("MACHINE"));
    QCOMPARE(recorder.requests.size(), 0);
}

void TestTableLibrary::contextClosesItsTables()
{
    QTemporaryDir dir;
    for (const char *name : {"Scheduler.dbf", "Aplan.dbf", "Process.dbf"})
        QVERIFY(writeFile(dir.filePath(QLatin1String(name)), smallTable().bytes()));
    MessageRecorder recorder;
    DbfTable outside;
    QVERIFY(outside.open(dir.filePath(QStringLiteral("Process"))));
    {
        TableContext context;
        DbfTable schedule, plan;
        QVERIFY(context.OpenTable(schedule, dir.filePath(QStringLiteral("Scheduler"))));
        QVERIFY(context.OpenTable(plan, dir.filePath(QStringLiteral("Aplan"))));
        // A table moved after the open is still the context's to close.
        DbfTable moved = std::move(plan);
        QVERIFY(moved.isOpen());
        context.closeAll();
        QVERIFY(!schedule.isOpen());
        QVERIFY(!moved.isOpen());
        // The context may be used again after closing.
        QVERIFY(context.OpenTable(schedule, dir.filePath(QStringLiteral("Scheduler"))));
    }
    // Only what the context opened is closed.
    QVERIFY(outside.isOpen());
    QCOMPARE(recorder.requests.size(), 0);
}

void TestTableLibrary::tableMayOutliveOrPrecedeContext()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("Scheduler.dbf")), smallTable().bytes()));
    DbfTable before;
    {
        TableContext context;
        QVERIFY(context.OpenTable(before, dir.filePath(QStringLiteral("Scheduler"))));
        DbfTable after;
        QVERIFY(context.OpenTable(after, dir.filePath(QStringLiteral("Scheduler"))));
        // `after` is destroyed first; the context must not touch it later.
    }
    // The released context closed the table that outlived it.
    QVERIFY(!before.isOpen());
    QVERIFY(before.rawField(1, 1).isEmpty());
}

QTEST_GUILESS_MAIN(TestTableLibrary)
#include "tst_tablelibrary.moc"
