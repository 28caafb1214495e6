// Tables written by independent implementations (Debian's python3-dbf and
// shapelib's dbfcreate/dbfadd) are read here field by field, and tables
// written here are read back by python3-dbfread. A missing tool is a
// failure: these checks are the reason the tools are installed.

#include "codepage.h"
#include "dbftable.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
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

// A value that fits `field` in the code page of `driver`, blank one time in five.
QString randomValue(QRandomGenerator &random, const FieldDescriptor &field, int driver)
{
    if (random.bounded(5) == 0)
        return {};
    switch (field.type) {
    case 'C': {
        const QString letters = QStringLiteral("AZaz09 .-") + (driver == 0x4D ? "中文零件" : driver == 0xC9 || driver == 0x26 ? "жЖщЯ" : driver == 0x64 ? "¬łŁ" : "éüßµ");
        QString text;
        for (int n = random.bounded(field.length / 2 + 1); n > 0; --n)
            text += letters[random.bounded(letters.size())];
        while (text.endsWith(' '))   // dbfread drops trailing blanks
            text.chop(1);
        return text;
    }
    case 'N': {
        const int digits = std::min(15, field.length - (field.decimals ? field.decimals + 1 : 0) - 1);
        const double whole = std::floor(random.generateDouble() * std::pow(10.0, random.bounded(digits + 1)));
        return QString::number(whole * (whole > 0 && random.bounded(2) ? -1 : 1) / std::pow(10.0, field.decimals), 'f', field.decimals);
    }
    case 'D': {
        const QDate day = QDate(1, 1, 1).addDays(random.bounded(3652058));
        return day.toString(random.bounded(2) ? "yyyyMMdd" : "yyyy-MM-dd");
    }
    default:
        return random.bounded(2) ? "T" : "F";
    }
}

} // namespace

class TestDbfInterop : public QObject {
    Q_OBJECT

private slots:
    void readsTablesOfOthers_data()
    {
        QTest::addColumn<QStringList>("arguments");   // writer, then the seed and count of random tables
        QTest::addColumn<int>("expectedDriver");   // -1: the writer's own

        QTest::newRow("shapelib") << QStringList{"shapelib"} << 0x57;
        // Shapes, versions, code pages and memos of the writer's choice, seeded: the table's path names the seed.
        QTest::newRow("python-dbf-random-shapes") << QStringList{"random", "49", "150"} << -1;
    }

    void readsTablesOfOthers()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, expectedDriver);

        QTemporaryDir dir;
        const QJsonObject made = runScript("make_table.py", QStringList{dir.filePath("Made.dbf")} + arguments);
        const QJsonArray tables = made.contains("tables") ? made.value("tables").toArray() : QJsonArray{made};
        QVERIFY(!tables.isEmpty());
        for (const QJsonValue &each : tables) {
            // Tables of random shapes come with every field as dbfread reads its bytes, and their shapes.
            const QJsonObject expected = each.toObject();
            const QString path = expected.value("path").toString(dir.filePath("Made.dbf"));
            const QJsonArray records = expected.value("records").toArray();
            const QJsonArray names = expected.value("fields").toArray();
            const QJsonArray shapes = expected.value("shapes").toArray();
            QVERIFY(!records.isEmpty() || !shapes.isEmpty());

            DbfTable table;
            const vorn::Result error = table.open(path);
            QVERIFY2(error.ok(), qPrintable(error.message()));
            QVERIFY(expectedDriver < 0 || table.languageDriver() == quint8(expectedDriver));
            QCOMPARE(table.recordCount(), records.size());
            QCOMPARE(table.fieldCount(), names.size());
            for (int f = 1; f <= table.fieldCount(); ++f) {
                const FieldDescriptor &field = table.field(f);
                QCOMPARE(QString(field.name), names[f - 1].toString());
                QVERIFY2(shapes.isEmpty() || shapes[f - 1] == QStringLiteral("%1%2.%3").arg(QLatin1Char(field.type)).arg(field.length).arg(field.decimals),
                         qPrintable(path + ": shape of field " + field.name));
            }
            for (qint32 r = 1; r <= table.recordCount(); ++r) {
                const QJsonObject record = records[r - 1].toObject();
                QVERIFY2(table.isDeleted(r) == record.value("deleted").toBool(), qPrintable(QStringLiteral("%1: record %2").arg(path).arg(r)));
                for (int f = 1; f <= table.fieldCount(); ++f) {
                    const char type = table.field(f).type;
                    const QJsonValue want = record.value("values").toArray()[f - 1];
                    const QString text = table.decode(table.fieldContent(r, f));
                    // Character values come back blank-padded as stored.
                    QVERIFY2(shapes.isEmpty() && type == 'N' ? sameNumber(text, want) : text == want.toString(),
                             qPrintable(QStringLiteral("%1 (%2) record %3 field %4: %5").arg(path, shapes[f - 1].toString()).arg(r).arg(f).arg(text.left(80))));
                }
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

    // Tables of random shapes, code pages, values and deletions, written
    // here and read back by dbfread.
    void dbfreadReadsOurTables()
    {
        QTemporaryDir dir;
        QRandomGenerator random(49);
        QStringList paths;
        QList<QList<FieldDescriptor>> shapes;
        QList<QList<QStringList>> tables;
        QList<QList<int>> deletions;
        for (int n = 0; n < 60; ++n) {
            const int driver = QList<int>{0x57, 0x03, 0x4D, 0xC9, 0x02, 0x26, 0x01, 0x64}[random.bounded(8)];
            QList<FieldDescriptor> fields;
            for (int f = random.bounded(1, 13); f > 0; --f) {
                const char type = "CCNNDL"[random.bounded(6)];
                const int length = type == 'C' ? QList<int>{1, 2, 254, random.bounded(1, 255)}[random.bounded(4)] : random.bounded(1, 21);
                fields.append({"F" + QByteArray::number(f), type, length, type == 'N' && length > 2 ? random.bounded(length - 1) : 0});
            }
            QList<QStringList> rows(QList<int>{1, 2, random.bounded(3, 40)}[random.bounded(3)]);
            for (QStringList &row : rows)
                for (const FieldDescriptor &field : std::as_const(fields))
                    row.append(randomValue(random, field, driver));
            QList<int> deleted;
            for (int r = 1; r <= rows.size(); ++r)
                if (random.bounded(3) == 0)
                    deleted.append(r);
            const bool pack = random.bounded(2);
            paths.append(dir.filePath(QStringLiteral("Ours-%1.dbf").arg(n)));
            QVERIFY(DbfTable::create(paths.last(), fields, quint8(driver)).ok());
            DbfTable table;
            QVERIFY(table.open(paths.last()).ok());
            QVERIFY(table.appendRecords(rows.size() - 1, [&rows](qint32 i) { return rows[i]; }).ok());
            QVERIFY(table.appendRecord(rows.last()).ok());
            const int at = random.bounded(rows.size()), f = random.bounded(fields.size());
            QVERIFY(table.setField(at + 1, f + 1, rows[at][f] = randomValue(random, fields[f], driver)).ok());
            for (int r : deleted)
                QVERIFY(table.markDeleted(r).ok());
            if (pack)
                QVERIFY(table.pack().ok());
            shapes.append(fields);
            tables.append(rows);
            deletions.append(pack ? QList<int>{} : deleted);
            for (int r = deleted.size(); pack && r-- > 0;)
                tables.last().removeAt(deleted[r] - 1);
        }

        const QJsonArray read = runScript("read_with_dbfread.py", paths).value("tables").toArray();
        QCOMPARE(read.size(), paths.size());
        for (int n = 0; n < paths.size(); ++n) {
            const QList<QStringList> &rows = tables[n];
            QCOMPARE(read[n]["deleted"], QJsonValue(deletions[n].size()));
            for (int f = 0; f < shapes[n].size(); ++f) {
                const FieldDescriptor &field = shapes[n][f];   // dates and logicals take their own length
                QCOMPARE(read[n]["shapes"][f], QStringLiteral("%1%2.%3").arg(QLatin1Char(field.type))
                                                   .arg(field.type == 'D' ? 8 : field.type == 'L' ? 1 : field.length).arg(field.decimals));
            }
            // dbfread yields the records not marked deleted, in order, with
            // trailing blanks dropped and dates as YYYYMMDD.
            const QJsonArray records = read[n]["records"].toArray();
            QCOMPARE(records.size(), rows.size() - deletions[n].size());
            int r = 0;
            for (const QJsonValue &record : records) {
                while (deletions[n].contains(++r)) { }
                for (int f = 0; f < shapes[n].size(); ++f) {
                    const QJsonValue theirs = record.toArray()[f];
                    const char type = shapes[n][f].type;
                    const QString ours = type == 'D' ? QString(rows[r - 1][f]).remove('-') : rows[r - 1][f];
                    QVERIFY2(type == 'N' ? sameNumber(ours, theirs) : theirs.toString() == ours,
                             qPrintable(QStringLiteral("%1 record %2 field %3 %4(%5,%6): %7").arg(paths[n]).arg(r).arg(f + 1).arg(QLatin1Char(type))
                                            .arg(shapes[n][f].length).arg(shapes[n][f].decimals).arg(theirs.toString())));
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestDbfInterop)
#include "tst_dbfinterop.moc"
