// Tables written by independent implementations (Debian's python3-dbf and
// shapelib's dbfcreate/dbfadd) are read here field by field, and tables
// written here are read back by python3-dbfread. A missing tool is a
// failure: these checks are the reason the tools are installed.

#include "dbftable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace vorn::store;

namespace {

const QString python = QStringLiteral("/usr/bin/python3");

QString script(const char *name)
{
    return QStringLiteral(VORN_SOURCE_DIR "/tests/store/") + QLatin1String(name);
}

// Runs a program to its end; the failure names the program and its stderr.
bool run(const QString &program, const QStringList &arguments, QByteArray *output, QString *failure)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(-1)) {
        *failure = QStringLiteral("cannot start %1: %2").arg(program, process.errorString());
        return false;
    }
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *failure = QStringLiteral("%1 %2 failed: %3")
                       .arg(program, arguments.join(QLatin1Char(' ')), QString::fromLocal8Bit(process.readAllStandardError()));
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

QString trimmedRight(QString s)
{
    while (!s.isEmpty() && s.back() == QLatin1Char(' '))
        s.chop(1);
    return s;
}

// The number in a numeric field, or nothing for blanks and NULL markers.
std::optional<double> number(const QString &text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

} // namespace

class TestDbfInterop : public QObject {
    Q_OBJECT

private slots:
    void readsTablesOfPythonDbf_data();
    void readsTablesOfPythonDbf();
    void readsTablesOfShapelib();
    void dbfreadReadsOurTables_data();
    void dbfreadReadsOurTables();
};

void TestDbfInterop::readsTablesOfPythonDbf_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("codepage");
    QTest::addColumn<QString>("driver");   // empty: as python-dbf writes it
    QTest::addColumn<int>("expectedDriver");

    QTest::newRow("dbase3-memo-1252") << "db3" << "cp1252" << "" << 0x03;
    QTest::newRow("dbase3-memo-gbk") << "db3" << "cp936" << "" << 0x4D;
    QTest::newRow("foxpro-memo-1252") << "fp" << "cp1252" << "" << 0x03;
    QTest::newRow("visual-foxpro-gbk-0x7a") << "vfp" << "cp936" << "7a" << 0x7A;
}

void TestDbfInterop::readsTablesOfPythonDbf()
{
    QFETCH(QString, kind);
    QFETCH(QString, codepage);
    QFETCH(QString, driver);
    QFETCH(int, expectedDriver);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Made.dbf"));
    QStringList arguments{script("make_pydbf_table.py"), path, kind, codepage};
    if (!driver.isEmpty())
        arguments << driver;
    QByteArray output;
    QString failure;
    QVERIFY2(run(python, arguments, &output, &failure), qPrintable(failure));
    const QJsonObject expected = QJsonDocument::fromJson(output).object();
    const QJsonArray records = expected.value(QLatin1String("records")).toArray();
    const QJsonArray names = expected.value(QLatin1String("fields")).toArray();
    QVERIFY(!records.isEmpty());

    DbfTable table;
    const StoreError error = table.open(path);
    QVERIFY2(error, qPrintable(error.message));
    QCOMPARE(table.languageDriver(), quint8(expectedDriver));
    QCOMPARE(table.recordCount(), records.size());
    QCOMPARE(table.fieldCount(), names.size());

    for (qint32 r = 1; r <= table.recordCount(); ++r) {
        const QJsonObject record = records[r - 1].toObject();
        QCOMPARE(table.isDeleted(r), record.value(QLatin1String("deleted")).toBool());
        const QJsonArray values = record.value(QLatin1String("values")).toArray();
        for (int f = 1; f <= table.fieldCount(); ++f) {
            const FieldDescriptor &field = table.field(f);
            const QJsonValue want = values[f - 1];
            const QString where = QStringLiteral("record %1 field %2").arg(r).arg(QString::fromLatin1(field.name));
            QCOMPARE(QString::fromLatin1(field.name), names[f - 1].toString());
            QCOMPARE(table.rawField(r, f).size(), qsizetype(field.length));
            const QString text = table.decode(table.fieldContent(r, f));
            switch (field.type) {
            case 'C':
                // dbf hands character values back blank-padded as stored.
                QVERIFY2(text == want.toString(), qPrintable(where + QLatin1String(": ") + text));
                break;
            case 'N': {
                const std::optional<double> got = number(text);
                QVERIFY2(got.has_value() == !want.isNull(), qPrintable(where + QLatin1String(": ") + text));
                if (got)
                    QVERIFY2(qFuzzyCompare(1.0 + *got, 1.0 + want.toDouble()), qPrintable(where + QLatin1String(": ") + text));
                break;
            }
            case 'D':
                QVERIFY2(text.trimmed() == want.toString(), qPrintable(where + QLatin1String(": ") + text));
                break;
            case 'M':
                QVERIFY2(text == want.toString(), qPrintable(where + QLatin1String(": ") + text.left(80)));
                break;
            default:
                QFAIL(qPrintable(where + QLatin1String(": unexpected field type")));
            }
        }
    }
}

void TestDbfInterop::readsTablesOfShapelib()
{
    struct Row {
        QString name;
        QString num;   // empty: no value (shapelib stores NULL)
        QString count;
    };
    const QList<Row> rows{
        {QStringLiteral("P-100"), QStringLiteral("12.5"), QStringLiteral("7")},
        {QStringLiteral("  lead"), QStringLiteral("0"), QStringLiteral("-3600")},
        {QString(), QString(), QString()},
        {QStringLiteral("abcdefghijkl"), QStringLiteral("-3.25"), QStringLiteral("86399")},
        {QStringLiteral("M 2 blank"), QStringLiteral("99999.99"), QStringLiteral("0")},
    };

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Shp.dbf"));
    QString failure;
    QVERIFY2(run(QStringLiteral("dbfcreate"),
                 {path, QStringLiteral("-s"), QStringLiteral("NAME"), QStringLiteral("12"), QStringLiteral("-n"),
                  QStringLiteral("NUM"), QStringLiteral("10"), QStringLiteral("2"), QStringLiteral("-n"),
                  QStringLiteral("CNT"), QStringLiteral("6"), QStringLiteral("0")},
                 nullptr, &failure),
             qPrintable(failure));
    for (const Row &row : rows)
        QVERIFY2(run(QStringLiteral("dbfadd"), {path, row.name, row.num, row.count}, nullptr, &failure), qPrintable(failure));

    DbfTable table;
    const StoreError error = table.open(path);
    QVERIFY2(error, qPrintable(error.message));
    QCOMPARE(table.recordCount(), rows.size());
    QCOMPARE(table.fieldCount(), 3);
    for (qint32 r = 1; r <= table.recordCount(); ++r) {
        const Row &row = rows[r - 1];
        const QString where = QStringLiteral("record %1").arg(r);
        QVERIFY(!table.isDeleted(r));
        QCOMPARE(table.rawField(r, 1).size(), qsizetype(12));
        QCOMPARE(trimmedRight(table.decode(table.rawField(r, 1))), row.name);
        for (int f : {2, 3}) {
            const QString want = f == 2 ? row.num : row.count;
            const std::optional<double> got = number(table.decode(table.rawField(r, f)));
            QVERIFY2(got.has_value() == !want.isEmpty(), qPrintable(where));
            if (got)
                QCOMPARE(*got, want.toDouble());
        }
    }
}

void TestDbfInterop::dbfreadReadsOurTables_data()
{
    QTest::addColumn<int>("driver");
    QTest::addColumn<QList<int>>("deleted");
    QTest::addColumn<bool>("pack");

    QTest::newRow("appends-only") << 0x57 << QList<int>{} << false;
    QTest::newRow("deleted-not-packed") << 0x57 << QList<int>{2, 5} << false;
    QTest::newRow("deleted-and-packed") << 0x57 << QList<int>{1, 2, 5} << true;
    QTest::newRow("gbk-0x4d-packed") << 0x4D << QList<int>{3} << true;
    QTest::newRow("gbk-0x7a") << 0x7A << QList<int>{} << false;
    QTest::newRow("everything-deleted-and-packed") << 0x57 << QList<int>{1, 2, 3, 4, 5, 6} << true;
}

void TestDbfInterop::dbfreadReadsOurTables()
{
    QFETCH(int, driver);
    QFETCH(QList<int>, deleted);
    QFETCH(bool, pack);

    const bool chinese = driver == 0x4D || driver == 0x7A;
    const QList<QStringList> rows{
        {QStringLiteral("P-100"), QStringLiteral("3600"), QStringLiteral("12.5"), QStringLiteral("20240229"), QStringLiteral("T")},
        {QStringLiteral("  lead"), QStringLiteral("0"), QStringLiteral("0.25"), QString(), QStringLiteral("F")},
        {QString(), QString(), QString(), QString(), QString()},
        {chinese ? QStringLiteral("中文零件") : QStringLiteral("café"), QStringLiteral("-7200"), QStringLiteral("-3.75"),
         QStringLiteral("1999-12-31"), QStringLiteral("T")},
        {QStringLiteral("WIDE12345678"), QStringLiteral("86399"), QStringLiteral("1"), QStringLiteral("20000101"), QString()},
        {QStringLiteral("last"), QStringLiteral("5"), QStringLiteral("5"), QStringLiteral("20240101"), QStringLiteral("F")},
    };

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Ours.dbf"));
    QVERIFY(DbfTable::create(path, {{"PART", 'C', 12}, {"STARTP", 'N', 10}, {"DURP", 'N', 8, 2}, {"DAY", 'D', 8}, {"DONE", 'L', 1}},
                             quint8(driver)));
    DbfTable table;
    QVERIFY(table.open(path));
    for (const QStringList &row : rows)
        QVERIFY(table.appendRecord(row));
    QVERIFY(table.setField(6, 1, QStringLiteral("rewritten")));
    for (int r : deleted)
        QVERIFY(table.markDeleted(r));
    if (pack) {
        const StoreError packed = table.pack();
        QVERIFY2(packed, qPrintable(packed.message));
        QCOMPARE(table.recordCount(), rows.size() - deleted.size());
    }

    QByteArray output;
    QString failure;
    QVERIFY2(run(python, {script("read_with_dbfread.py"), path}, &output, &failure), qPrintable(failure));
    const QJsonObject read = QJsonDocument::fromJson(output).object();
    const QJsonArray records = read.value(QLatin1String("records")).toArray();
    QCOMPARE(read.value(QLatin1String("deleted")).toInt(), pack ? 0 : deleted.size());

    // dbfread yields the records not marked deleted, in order.
    QList<qint32> live;
    for (qint32 r = 1; r <= table.recordCount(); ++r) {
        if (!table.isDeleted(r))
            live << r;
    }
    QCOMPARE(records.size(), live.size());
    for (int i = 0; i < live.size(); ++i) {
        const QJsonArray raw = records[i].toObject().value(QLatin1String("raw")).toArray();
        const QJsonArray values = records[i].toObject().value(QLatin1String("values")).toArray();
        QCOMPARE(raw.size(), table.fieldCount());
        for (int f = 1; f <= table.fieldCount(); ++f) {
            const QString where = QStringLiteral("record %1 field %2").arg(live[i]).arg(f);
            const QByteArrayView ours = table.rawField(live[i], f);
            QVERIFY2(raw[f - 1].toString().toLatin1() == ours.toByteArray().toHex(), qPrintable(where));
            const QString text = table.decode(ours);
            const QJsonValue theirs = values[f - 1];
            if (table.field(f).type == 'N') {
                const std::optional<double> got = number(text);
                QVERIFY2(got.has_value() == !theirs.isNull(), qPrintable(where));
                if (got)
                    QCOMPARE(*got, theirs.toString().toDouble());
            } else {
                // dbfread drops trailing blanks only.
                QVERIFY2(trimmedRight(text) == theirs.toString(), qPrintable(where + QLatin1String(": ") + text));
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestDbfInterop)
#include "tst_dbfinterop.moc"
