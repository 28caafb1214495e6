// Tables written by independent implementations (Debian's python3-dbf and
// shapelib's dbfcreate/dbfadd) are read here and by python3-dbfread, and
// tables written here are read back by python3-dbfread; the two readings
// are compared as whole lines. A missing tool is a failure: these checks
// are the reason the tools are installed.

#include "dbftable.h"

#include <QDate>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace vorn::store;

namespace {

// Runs one of the scripts beside this test; what it prints, line by line.
QStringList runScript(const char *script, const QStringList &arguments)
{
    QProcess process;
    process.start("/usr/bin/python3", QStringList{VORN_SOURCE_DIR "/tests/store/" + QString(script)} + arguments);
    const bool finished = process.waitForFinished(-1);
    QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    // A line no reading here makes, so that what the script did not get to fails the comparison.
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        lines << QStringLiteral("%1 failed: %2").arg(script, QString::fromUtf8(process.readAllStandardError()));
    return lines;
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

        QTest::newRow("shapelib") << QStringList{"shapelib"};
        // Shapes, versions, code pages and memos of the writer's choice, seeded: the table's path names the seed.
        QTest::newRow("python-dbf-random-shapes") << QStringList{"random", "49", "150"};
        // The same bytes under every language driver dbfread knows and beside .cpg files, read in their code page.
        QTest::newRow("every-code-page") << QStringList{"code-pages"};
    }

    // Each table as dbfread reads it and as it reads here, in the same lines.
    void readsTablesOfOthers()
    {
        QFETCH(QStringList, arguments);

        QTemporaryDir dir;
        const QStringList theirs = runScript("make_table.py", QStringList{dir.filePath("Made.dbf")} + arguments);
        QStringList ours;
        for (const QString &line : theirs) {
            if (!line.startsWith("table "))
                continue;
            DbfTable table;
            const vorn::Result error = table.open(line.mid(6));
            QVERIFY2(error.ok(), qPrintable(line + ": " + error.message()));
            ours << line << QStringLiteral("driver %1").arg(table.languageDriver(), 2, 16, QLatin1Char('0'));
            for (int f = 1; f <= table.fieldCount(); ++f) {
                const FieldDescriptor &field = table.field(f);
                ours.last() += QStringLiteral(" %1:%2%3.%4").arg(field.name).arg(QLatin1Char(field.type)).arg(field.length).arg(field.decimals);
            }
            for (qint32 r = 1; r <= table.recordCount(); ++r) {
                ours << (table.isDeleted(r) ? "*" : " ");
                for (int f = 1; f <= table.fieldCount(); ++f)
                    ours.last() += '|' + table.decode(table.fieldContent(r, f));   // characters blank-padded as stored
            }
        }
        QVERIFY(theirs.size() > 2);
        QCOMPARE(ours, theirs);
    }

    // Tables of random shapes, code pages, values and deletions, written
    // here and read back by dbfread: no driver 0, which dbfread takes as
    // ASCII, nor a later FoxPro byte, which it does not know.
    void dbfreadReadsOurTables()
    {
        QTemporaryDir dir;
        QRandomGenerator random(49);
        QStringList paths, expected;
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
            // dbfread yields the records not marked deleted, in order, with
            // trailing blanks dropped and dates as YYYYMMDD.
            expected << "table " + paths.last() << "deleted " + QString::number(pack ? 0 : deleted.size());
            for (const FieldDescriptor &field : std::as_const(fields))   // dates and logicals take their own length
                expected.last() += QStringLiteral(" %1%2.%3").arg(QLatin1Char(field.type))
                                       .arg(field.type == 'D' ? 8 : field.type == 'L' ? 1 : field.length).arg(field.decimals);
            for (int r = 1; r <= rows.size(); ++r) {
                if (deleted.contains(r))   // packed away, or marked
                    continue;
                expected << QString();
                for (int c = 0; c < fields.size(); ++c)
                    expected.last() += '|' + (fields[c].type == 'D' ? QString(rows[r - 1][c]).remove('-') : rows[r - 1][c]);
            }
        }
        QCOMPARE(runScript("read_with_dbfread.py", paths), expected);
    }
};

QTEST_GUILESS_MAIN(TestDbfInterop)
#include "tst_dbfinterop.moc"
