// Tables written by independent implementations (Debian's python3-dbf and
// shapelib's dbfcreate/dbfadd) are read here field by field, and tables
// written here are read back by python3-dbfread. A missing tool is a
// failure: these checks are the reason the tools are installed.

#include "codepage.h"
#include "dbftable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace vorn::store;

namespace {

// Runs one of the scripts beside this test and parses what it prints.
QJsonObject runScript(const char *script, const QStringList &arguments)
{
    QProcess process;
    process.start("/usr/bin/python3", QStringList{VORN_SOURCE_DIR "/tests/store/" + QString(script)} + arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        qWarning() << script << arguments << "failed:" << process.errorString() << process.readAllStandardError();
    return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

// Whether a numeric field's text holds `want`; blanks and NULL markers hold no number.
bool sameNumber(const QString &text, const QJsonValue &want)
{
    bool ok = false;
    const double got = text.trimmed().toDouble(&ok);
    const double expected = want.isString() ? want.toString().toDouble() : want.toDouble();
    return ok ? !want.isNull() && qFuzzyCompare(1.0 + got, 1.0 + expected) : want.isNull();
}

} // namespace

class TestDbfInterop : public QObject {
    Q_OBJECT

private slots:
    void readsTablesOfOthers_data()
    {
        QTest::addColumn<QStringList>("arguments");   // writer, code page, language driver written over the writer's
        QTest::addColumn<int>("expectedDriver");

        QTest::newRow("shapelib") << QStringList{"shapelib"} << 0x57;
        QTest::newRow("python-dbf-dbase3-memo-1252") << QStringList{"db3", "cp1252"} << 0x03;
        QTest::newRow("python-dbf-dbase3-memo-gbk") << QStringList{"db3", "cp936"} << 0x4D;
        QTest::newRow("python-dbf-foxpro-memo-1252") << QStringList{"fp", "cp1252"} << 0x03;
        QTest::newRow("python-dbf-visual-foxpro-gbk-0x7a") << QStringList{"vfp", "cp936", "7a"} << 0x7A;
    }

    void readsTablesOfOthers()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, expectedDriver);

        QTemporaryDir dir;
        const QString path = dir.filePath("Made.dbf");
        const QJsonObject expected = runScript("make_table.py", QStringList{path} + arguments);
        const QJsonArray records = expected.value("records").toArray();
        const QJsonArray names = expected.value("fields").toArray();
        QVERIFY(!records.isEmpty());

        DbfTable table;
        const vorn::Result error = table.open(path);
        QVERIFY2(error.ok(), qPrintable(error.message()));
        QCOMPARE(table.languageDriver(), quint8(expectedDriver));
        QCOMPARE(table.recordCount(), records.size());
        QCOMPARE(table.fieldCount(), names.size());
        for (qint32 r = 1; r <= table.recordCount(); ++r) {
            const QJsonObject record = records[r - 1].toObject();
            QCOMPARE(table.isDeleted(r), record.value("deleted").toBool());
            for (int f = 1; f <= table.fieldCount(); ++f) {
                const FieldDescriptor &field = table.field(f);
                const QJsonValue want = record.value("values").toArray()[f - 1];
                const QString text = table.decode(table.fieldContent(r, f));
                QCOMPARE(QString(field.name), names[f - 1].toString());
                // Character values come back blank-padded as stored.
                QVERIFY2(field.type == 'N' ? sameNumber(text, want) : (field.type == 'D' ? text.trimmed() : text) == want.toString(),
                         qPrintable(QStringLiteral("record %1 field %2: %3").arg(r).arg(f).arg(text.left(80))));
            }
        }
    }

    // dbfread takes driver 0 as ASCII, which names no code page here, and
    // knows none of the later FoxPro bytes listed below.
    void driverBytesNameTheCodePagesOfDbfread()
    {
        QProcess python;
        python.start("/usr/bin/python3", {"-c", "import json, dbfread.codepages as c; print(json.dumps({k: v[0] for k, v in c.codepages.items()}))"});
        QVERIFY(python.waitForFinished(-1) && python.exitCode() == 0);
        const QJsonObject theirs = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
        const QHash<QString, int> named{{"ascii", 0}, {"mac_roman", 10000}, {"mac_cyrillic", 10007}, {"mac_latin2", 10029}, {"mac_greek", 10006}};
        const QHash<int, int> extras{{0x6C, 863}, {0x86, 737}, {0x87, 852}, {0x88, 857}, {0xCC, 1257}};
        for (int driver = 0; driver < 256; ++driver) {
            const QString codec = theirs.value(QString::number(driver)).toString();
            const int expected = codec.startsWith("cp") ? codec.mid(2).toInt() : named.value(codec, extras.value(driver));
            QVERIFY2(CodePageOfDriver(quint8(driver)) == expected, qPrintable(QStringLiteral("driver 0x%1: %2").arg(driver, 0, 16).arg(codec)));
        }
    }

    void dbfreadReadsOurTables_data()
    {
        QTest::addColumn<int>("driver");
        QTest::addColumn<QList<int>>("deleted");
        QTest::addColumn<bool>("pack");

        QTest::newRow("deleted-not-packed") << 0x57 << QList<int>{2, 5} << false;
        QTest::newRow("gbk-0x4d-deleted-and-packed") << 0x4D << QList<int>{1, 3} << true;
        QTest::newRow("everything-deleted-and-packed") << 0x57 << QList<int>{1, 2, 3, 4, 5, 6} << true;
    }

    void dbfreadReadsOurTables()
    {
        QFETCH(int, driver);
        QFETCH(QList<int>, deleted);
        QFETCH(bool, pack);

        QList<QStringList> rows{
            {"P-100", "3600", "12.5", "20240229", "T"}, {"  lead", "0", "0.25", "", "F"}, {"", "", "", "", ""},
            {driver == 0x57 ? "café" : "中文零件", "-7200", "-3.75", "1999-12-31", "T"},
            {"WIDE12345678", "86399", "1", "20000101", ""}, {"last", "5", "5", "20240101", "F"},
        };
        QTemporaryDir dir;
        const QString path = dir.filePath("Ours.dbf");
        QVERIFY(DbfTable::create(path, {{"PART", 'C', 12}, {"STARTP", 'N', 10}, {"DURP", 'N', 8, 2}, {"DAY", 'D', 8}, {"DONE", 'L', 1}},
                                 quint8(driver)).ok());
        DbfTable table;
        QVERIFY(table.open(path).ok());
        for (const QStringList &row : std::as_const(rows))
            QVERIFY(table.appendRecord(row).ok());
        QVERIFY(table.setField(6, 1, rows[5][0] = "rewritten").ok());
        for (int r : deleted)
            QVERIFY(table.markDeleted(r).ok());
        if (pack)
            QVERIFY(table.pack().ok());

        const QJsonObject read = runScript("read_with_dbfread.py", {path});
        QCOMPARE(read.value("deleted"), QJsonValue(pack ? 0 : deleted.size()));
        // dbfread yields the records not marked deleted, in order, with
        // trailing blanks dropped and dates as YYYYMMDD.
        const QJsonArray records = read.value("records").toArray();
        QCOMPARE(records.size(), rows.size() - deleted.size());
        int r = 0;
        for (const QJsonValue &record : records) {
            while (deleted.contains(++r)) { }
            for (int f = 0; f < 5; ++f) {
                const QJsonValue theirs = record.toArray()[f];
                const QString ours = f == 3 ? QString(rows[r - 1][f]).remove('-') : rows[r - 1][f];
                QVERIFY2(f == 1 || f == 2 ? sameNumber(ours, theirs) : theirs.toString() == ours,
                         qPrintable(QStringLiteral("record %1 field %2: %3").arg(r).arg(f + 1).arg(theirs.toString())));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestDbfInterop)
#include "tst_dbfinterop.moc"
