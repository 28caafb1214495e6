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

// Answers every message box with OK and keeps its text. Only the field-text
// error has a title of its own; any other title is shown with the text.
struct MessageRecorder {
    QStringList shown;
    MessageHandler previous = SetMessageHandler([this](const MessageRequest &r) {
        const QString title = r.icon == MessageIcon::Critical ? "CodeBase Error" : ApplicationTitle();
        shown << (r.title == title ? r.text : r.text + " (titled " + r.title + ")");
        return MessageAnswer::Ok;
    });
    ~MessageRecorder() { SetMessageHandler(std::move(previous)); }
};

// A table whose one field MACHINE stores `stored`: a memo field (dBase III)
// when `type` is 'M', blank-padded to ten bytes.
QByteArray table(char type, const QByteArray &stored, quint8 driver = 0x57)
{
    const int length = type == 'M' ? 10 : int(stored.size());
    return RawTable{.version = quint8(type == 'M' ? 0x83 : 0x03), .languageDriver = driver,
                    .fields = {{"MACHINE", type, length}}, .records = {' ' + stored.leftJustified(length)}}.bytes();
}

} // namespace

class TestTableLibrary : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { LoadTextResources(); }
    void cleanup()
    {
        SetLanguage(LanguageEnglish);
    }

    void opensAndReadsFieldText_data()
    {
        QTest::addColumn<QString>("fileName");      // empty: no table; the memo file is named alike
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("memoLength");     // -1: no memo file
        QTest::addColumn<bool>("startFails");
        QTest::addColumn<qint32>("language");
        QTest::addColumn<QString>("text");          // of the first field, after an open that worked
        QTest::addColumn<QStringList>("messages");

        const QString name = "Scheduler.dbf";
        const QByteArray memo = table('M', "1");
        const QStringList failed{"Open Failed"}, none;
        const qint32 en = LanguageEnglish;
        QTest::newRow("value-with-trailing-blanks") << name << table('C', "M1    ") << -1LL << false << en << "M1    " << none;
        // Tables written on Windows arrive as "SCHEDULER.DBF" and the like.
        QTest::newRow("upper-case-on-disk-gbk")
            << "SCHEDULER.DBF" << table('C', "\xBB\xFA\xB4\xB2 ", 0x7A) << -1LL << false << en << "机床 " << none;
        QTest::newRow("name-is-a-prefix-only") << "Schedulerx.dbf" << table('C', "M1") << -1LL << false << en << "" << failed;
        QTest::newRow("table-damaged") << name << QByteArray("\x03", 1) << -1LL << false << en << "" << failed;
        QTest::newRow("table-missing-chinese") << "" << QByteArray() << -1LL << false << qint32(LanguageChinese) << ""
                                               << QStringList{"打开失败"};
        QTest::newRow("library-did-not-start")
            << name << table('C', "M1") << -1LL << true << en << "" << QStringList{"code4init() failed", "Open Failed"};
        QTest::newRow("library-did-not-start-chinese")
            << name << table('C', "M1") << -1LL << true << qint32(LanguageChinese) << ""
            << QStringList{"code4init() 失败", "打开失败"};
        QTest::newRow("memo-file-missing") << name << memo << -1LL << false << en << "" << none;
        QTest::newRow("memo-longest-accepted") << name << memo << 32767LL << false << en << QString(32767, 'm') << none;
        QTest::newRow("memo-one-byte-too-long")
            << name << memo << 32768LL << false << en << ""
            << QStringList{"Error #: -910\n\rUnexpected Information\n\r"
                           "Memo entry too long to return in String function. Try calling 'f4memoStrB'.\n\rField Name:\n\rMACHINE"};
    }

    void opensAndReadsFieldText()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, memoLength);
        QFETCH(bool, startFails);
        QFETCH(qint32, language);

        QTemporaryDir dir;
        QVERIFY(fileName.isEmpty() || writeFile(dir.filePath(fileName), bytes));
        // dBase III memo: 512-byte blocks, the content ends at 0x1A.
        const QByteArray memo = QByteArray(1, '\x03').leftJustified(512, '\0') + QByteArray(memoLength, 'm') + "\x1A\x1A";
        QVERIFY(memoLength < 0 || writeFile(dir.filePath(fileName.chopped(1) + (fileName.endsWith('F') ? 'T' : 't')), memo));
        SetLanguage(language);
        MessageRecorder recorder;
        TableContext context(!startFails);
        DbfTable table;
        if (context.OpenTable(table, dir.filePath("Scheduler")).ok()) {
            QTEST(FieldText(table, 1, 1), "text");
            // Positions beside the fields have no text, and no descriptor to look at.
            QVERIFY(FieldText(table, 1, 0).isEmpty() && FieldText(table, 1, table.fieldCount() + 1).isEmpty());
        }
        QTEST(recorder.shown, "messages");
    }

    void contextClosesOnlyItsTables()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("Scheduler.dbf"), table('C', "P1")));
        const QString path = dir.filePath("Scheduler");
        DbfTable outside, outlives;
        {
            TableContext context;
            // Closed and opened again on its own, a table is no longer the context's.
            QVERIFY(context.OpenTable(outside, path).ok());
            outside.close();
            QVERIFY(outside.open(path).ok());
            DbfTable schedule, plan;
            QVERIFY(context.OpenTable(schedule, path).ok() && context.OpenTable(plan, path).ok());
            // A table moved after the open is still the context's to close.
            DbfTable moved = std::move(plan);
            context.closeAll();
            QVERIFY(!schedule.isOpen() && !moved.isOpen());
            // The context may be used again after closing; a table destroyed
            // before the context must not be touched by it later.
            DbfTable shortLived;
            QVERIFY(context.OpenTable(outlives, path).ok() && context.OpenTable(shortLived, path).ok());
        }
        QVERIFY(!outlives.isOpen() && outlives.rawField(1, 1).isEmpty() && outside.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestTableLibrary)
#include "tst_tablelibrary.moc"
