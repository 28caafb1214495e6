#include "ansicodepage.h"
#include "dbfbytes.h"
#include "dbftable.h"
#include "mappedfile.h"
#include "settings.h"

#include <QDate>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>

namespace vorn::store {
// The pack as a process killed after `writes` writes to the file (-1: no
// limit) leaves it, the next write cut after its first `tornBytes` bytes;
// `beforeWrite` runs before each write, so that another writer can act in
// between.
struct DbfTablePackSeam {
    static Result pack(DbfTable &table, int writes, qint64 tornBytes, const std::function<void(int)> &beforeWrite)
    {
        return table.packImpl(writes, tornBytes, beforeWrite);
    }
};
} // namespace vorn::store

using namespace vorn::store;
using namespace vorn::store::testing;

namespace {

const QStringList rejected{"<rejected>"};
const QStringList all{"P1    |M1  |    10", "P2    |M2  |    20", "P3    |M3  |    30"};

QByteArray schedule(const std::function<void(RawTable &)> &change = {})
{
    RawTable t{.fields = {{"PART", 'C', 6}, {"MACHINE", 'C', 4}, {"STARTP", 'N', 6}},
               .records = {" P1    M1      10", " P2    M2      20", " P3    M3      30"}};
    if (change)
        change(t);
    return t.bytes();
}

// Where `now` differs from `was`, in runs of at most 32 bytes, a line each;
// bytes other than letters, digits, blanks and "-._~*" as %HH.
QString changes(const QByteArray &was, const QByteArray &now)
{
    QString text;
    const auto same = [&](qsizetype at) { return at < was.size() && at < now.size() && was[at] == now[at]; };
    for (qsizetype at = 0, end = std::max(was.size(), now.size()); at < end;) {
        qsizetype to = at;
        while (to < end && to - at < 32 && !same(to))
            ++to;
        if (to > at)
            text += QStringLiteral("  @%1 %2 -> %3\n").arg(at).arg(QString::fromLatin1(was.mid(at, to - at).toPercentEncoding(" *")),
                                                                     QString::fromLatin1(now.mid(at, to - at).toPercentEncoding(" *")));
        at = std::max(to, at + 1);
    }
    return text;
}

} // namespace

class TestDbfTable : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { vorn::SetAnsiCodePage(0); }

    void readsOnlyTrustedHeaders_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected");   // flattened records

        QTest::newRow("empty-file") << QByteArray() << rejected;
        QTest::newRow("only-a-header") << schedule([](RawTable &t) { t.records.clear(); }).chopped(1) << QStringList{};
        QTest::newRow("header-length-past-the-file") << schedule().replace(8, 2, QByteArray("\xA0\x0F", 2)) << rejected;
        QTest::newRow("record-length-one") << schedule([](RawTable &t) { t.recordLength = 1; }) << QStringList{"<record length 1>"};
        // No record of that length is present: an empty table, nothing allocated for the count.
        QTest::newRow("record-length-65535") << schedule([](RawTable &t) { t.recordLength = 65535; }) << QStringList{};
        // dBase 7 lays out its header otherwise. A refusal in angle brackets is its message.
        QTest::newRow("unknown-version") << schedule([](RawTable &t) { t.version = 0x8C; }) << QStringList{"<unknown version byte 0x8c>"};
        QTest::newRow("header-length-zero") << schedule([](RawTable &t) { t.headerLength = 0; }) << rejected;
        QTest::newRow("fields-past-the-record") << schedule([](RawTable &t) { t.recordLength = 10; }) << rejected;
        QTest::newRow("no-fields") << schedule([](RawTable &t) { t.fields.clear(); t.recordLength = 5; }) << rejected;

        QTest::newRow("count-larger-than-file-and-int32") << schedule([](RawTable &t) { t.declaredRecords = 0xFFFFFFFFLL; }) << all;
        // The record beyond the count is marked deleted, which must not show.
        QTest::newRow("count-below-records-present")
            << schedule([](RawTable &t) { t.declaredRecords = 2; t.records[2][0] = '*'; }) << all.mid(0, 2);
        QTest::newRow("truncated-last-record") << schedule().chopped(1 + 5) << all.mid(0, 2);
        QTest::newRow("name-without-terminating-zero") << schedule([](RawTable &t) { t.fields[0].name = "PARTNUMBER1"; }) << all;
        QTest::newRow("no-descriptor-terminator") << schedule([](RawTable &t) { t.terminator = false; }) << all;
        QTest::newRow("visual-foxpro-backlink") << schedule([](RawTable &t) { t.version = 0x30; t.backlinkBytes = 263; }) << all;
        // The padding beyond the last field belongs to no field.
        QTest::newRow("record-longer-than-fields")
            << schedule([](RawTable &t) { t.recordLength = 20; t.records = {t.records[0] + "XYZ"}; }) << all.mid(0, 1);
        // Clipper keeps the high byte of a long character field's length in the decimals.
        QTest::newRow("long-character-field")
            << RawTable{.fields = {{"NOTE", 'C', 300 - 256, 1}, {"K", 'C', 2}}, .records = {' ' + QByteArray(299, 'x') + "yok"},
                        .recordLength = 303}.bytes()
            << QStringList{QString(299, 'x') + "y|ok"};

        RawTable wide{.fields = QList<FieldDescriptor>(255, {"F", 'C', 1}), .records = {' ' + QByteArray(255, 'w')}};
        QTest::newRow("255-fields") << wide.bytes() << QStringList{QStringList(255, "w").join('|')};
        QTest::newRow("field-lengths-0-and-255")
            << RawTable{.fields = {{"EMPTY", 'C', 0}, {"LONG", 'C', 255}}, .records = {' ' + QByteArray(255, 'l')}}.bytes()
            << QStringList{'|' + QString(255, 'l')};

        // A record cut inside a double-byte character is no record; half a
        // character inside a field stands for itself.
        QTest::newRow("gbk-cut-inside-a-character")
            << RawTable{.languageDriver = 0x4D, .fields = {{"NAME", 'C', 4}},
                        .records = {" \xD6\xD0\xCE\xC4", " \xD6\xD0\xCE\xC4"}}.bytes().chopped(3)
            << QStringList{"中文"};
        QTest::newRow("gbk-half-a-character-in-a-field-is-dropped")
            << RawTable{.languageDriver = 0x4D, .fields = {{"NAME", 'C', 3}, {"NEXT", 'C', 2}},
                        .records = {" \xD6\xD0\xCE\xCE\xC4"}}.bytes()
            << QStringList{"中|文"};
        QTest::newRow("gbk-lead-byte-before-a-digit-is-no-character")
            << RawTable{.languageDriver = 0x4D, .fields = {{"NAME", 'C', 4}, {"NEXT", 'C', 2}},
                        .records = {" \xD6\x30\xD6\xD0zz"}}.bytes()
            << QStringList{"\uFFFD0中|zz"};
    }

    void readsOnlyTrustedHeaders()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);

        DbfTable table;
        QVERIFY(table.openBytes(schedule()).ok());   // open before: an open that fails leaves none
        const vorn::Result error = table.openBytes(bytes);
        QCOMPARE(error.ok(), !expected.value(0).startsWith('<'));
        QVERIFY2(table.isOpen() == error.ok() && error.message().isEmpty() == error.ok(), qPrintable(error.message()));
        if (error.failed()) {
            QVERIFY(expected == rejected || expected[0] == '<' + error.message() + '>');
            return;
        }
        QCOMPARE(flatten(table), expected);
        QVERIFY(table.field(1).name.size() <= 11);
        // Records and fields outside the table read as empty, however far out.
        const qint32 n = table.recordCount();
        const std::pair<qint32, int> outside[] = {{0, 1}, {n + 1, 1}, {2000000000, 1}, {1, 0}, {1, table.fieldCount() + 1}};
        for (const auto &[r, f] : outside)
            QVERIFY(table.rawField(r, f).isEmpty() && table.fieldContent(r, f).isEmpty());
        QVERIFY(!table.isDeleted(n + 1));
        // What a table was moved from reads as closed; where it went reads it all.
        DbfTable moved(std::move(table)), again;
        again = std::move(moved);
        QVERIFY(table.rawField(1, 1).isEmpty() && moved.rawField(1, 1).isEmpty() && !table.isDeleted(1));
        QCOMPARE(flatten(again), expected);
    }

    // A script of writes by this table and by another writer; after each,
    // the bytes it changed in the file and what this table then reads. The
    // file is dated 1999-09-09 (poked in as 630909) at times; today's date shows as TDY.
    // Last, the file damaged, cut short under open tables (blank records, which
    // a mapping and a whole read show alike), removed, a folder in its place:
    // the next write works on the file as it is now, and a failed one leaves
    // the file as it was, never grows it with zeros and never brings a
    // removed one back.
    void writesLeaveTheFileAsStored()
    {
        const QStringList script{
            "create N21", "create N20.18", "create N8.7", "create C255", "create C254 D3 L5",
            "create C6 C3 N6 N1 N8.1 N3 D8 L1", "poke 1 630909", "open",
            "append   ab|中文|-7|7| 3 |999|2024-02-29| y ",
            "append abcdefg|中文字|0.5|0|-1.25|-99|20000101|false",
            "append a||||||20230229", "append a|||12", "append a|||||||maybe", "append a||||||||9 values",
            "set 2 8 1", "set 2 5 TRUE", "set 1 3 ", "set 2 6 1234", "set 3 1 a", "set 1 9 a",
            "mark 1", "poke 1 630909", "mark 2", "other append o1", "append o2", "other set 3 1 o3", "poke 1 630909", "mark 4",
            "poke 1 630909", "pack", "append p|||||||T", "other mark 1", "other pack", "append q", "poke 4 00000000", "append c",
            "open", "set 1 1 r", "other set 1 1 s", "open", "mark 1", "other set 1 1 t",
            "append u", "poke 0 047C010109000000", "pack", "append z", "mark 2", "set 2 2 ZZ", "other open none", "other mark 1",
            "poke 0 037C010102", "open", "append ", "append ", "open", "cut 400", "mark 4", "other set 4 1 X", "mark 3",
            "cut 0", "pack", "other pack", "mark 1", "create C1", "append v", "open", "remove", "mark 1", "other append z",
            "folder", "set 1 1 X"};
        QTemporaryDir dir;
        const QString path = dir.filePath("W.dbf");
        const QDate today = QDate::currentDate();
        const char todayBytes[3] = {char(today.year() - 1900), char(today.month()), char(today.day())};
        const auto onDisk = [&] {
            QByteArray bytes = readFile(path);
            return bytes.mid(1, 3) == QByteArrayView(todayBytes, 3) ? bytes.replace(1, 3, "TDY") : bytes;
        };
        // Each system words its reasons its own way ("File not found." on
        // Windows): the transcript names them.
        QFile missing(dir.filePath("missing.dbf")), folder(dir.path());
        missing.open(QIODevice::ReadWrite | QIODevice::Unbuffered | QIODevice::ExistingOnly);
        folder.open(QIODevice::ReadWrite | QIODevice::Unbuffered | QIODevice::ExistingOnly);
        const auto reason = [&](QString message) {
            return message.replace(dir.path(), "DIR").replace(missing.errorString(), "(no such file)")
                .replace(folder.errorString(), "(a folder)");
        };
        DbfTable table, other;
        QByteArray was = onDisk();
        QString transcript;
        for (const QString &line : script) {
            DbfTable &writer = line.startsWith("other ") ? other : table;
            const QString step = line.startsWith("other ") ? line.mid(6) : line;
            const QStringList words = step.split(' ');
            vorn::Result result;
            if (words[0] == "create") {
                QList<FieldDescriptor> fields;
                for (const QString &column : words.mid(1)) {
                    const QStringList size = column.mid(1).split('.');
                    fields.append({"F" + QByteArray::number(fields.size() + 1), column[0].toLatin1(), size[0].toInt(), size.value(1).toInt()});
                }
                result = DbfTable::create(path, fields, 0x4D);
            } else if (words[0] == "poke") {
                QFile file(path);
                const QByteArray bytes = QByteArray::fromHex(words[2].toLatin1());
                QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(words[1].toInt()) && file.write(bytes) == bytes.size());
            } else if (words[0] == "cut") {
                QVERIFY(QFile::resize(path, words[1].toInt()));
            } else if (words[0] == "remove" || words[0] == "folder") {   // and it stays gone
                QVERIFY(words[0] == "remove" ? QFile::remove(path) : QDir(dir.path()).mkdir("W.dbf"));
            } else if (words[0] == "open") {
                result = words.size() > 1                 ? writer.open(dir.filePath(words[1]))
                    : table.open(path).ok()               ? other.open(path)
                                                          : vorn::Result::failure("not opened");
            } else if (words[0] == "append") {
                result = writer.appendRecord(step.mid(7).split('|'));
            } else if (words[0] == "set") {
                result = writer.setField(words[1].toInt(), words[2].toInt(), step.section(' ', 3));
            } else {
                result = words[0] == "mark" ? writer.markDeleted(words[1].toInt()) : writer.pack();
            }
            const QByteArray now = onDisk();
            transcript += line + ": " + (result.ok() ? QStringLiteral("ok") : reason(result.message())) + '\n'
                + changes(was, now) + "  reads " + flatten(table).join(", ") + '\n';
            was = now;
        }
        VORN_COMPARE_STORED("writes.txt", transcript.toUtf8());
    }

    void textIsInTheDriversCpgsOrAnsiCodePage_data()
    {
        QTest::addColumn<int>("driver");
        QTest::addColumn<QString>("cpgFile");       // beside Scheduler.dbf; empty: none
        QTest::addColumn<QByteArray>("cpg");
        QTest::addColumn<QByteArray>("ansiCodePage");   // of VornSched.ini; empty: no key
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("text");

        const QByteArray gbk("\xD6\xD0\xCE\xC4");
        QTest::newRow("driver-byte-wins-over-cpg") << 0x4D << "Scheduler.cpg" << QByteArray("UTF-8") << QByteArray("1252") << gbk << "中文";
        QTest::newRow("cpg-CP936-upper-case-file") << 0 << "SCHEDULER.CPG" << QByteArray("CP936\r\n") << QByteArray() << gbk << "中文";
        QTest::newRow("cpg-UTF-8") << 0 << "Scheduler.cpg" << QByteArray("UTF-8") << QByteArray() << QByteArray("\xE4\xB8\xAD\xE6\x96\x87") << "中文";
        QTest::newRow("cpg-ANSI-1252-over-ansi-code-page-936")
            << 0 << "scheduler.cpg" << QByteArray("ANSI 1252") << QByteArray("936") << QByteArray("caf\xE9") << "café";
        QTest::newRow("cpg-big5-behind-bom-before-blanks")
            << 0 << "Scheduler.cpg" << QByteArray("\xEF\xBB\xBF" "big5 \n") << QByteArray() << QByteArray("\xA4\xA4\xA4\xE5") << "中文";
        QTest::newRow("cpg-OEM-850") << 0 << "Scheduler.cpg" << QByteArray("OEM 850") << QByteArray() << QByteArray("\x82") << "é";
        QTest::newRow("cpg-unknown-spelling-takes-ansi-code-page")
            << 0 << "Scheduler.cpg" << QByteArray("Klingon") << QByteArray("936") << gbk << "中文";
        // ISO 8859 has 16 parts; 28590 + 36411 would be UTF-8's page.
        QTest::newRow("cpg-iso-8859-part-36411-is-no-page")
            << 0 << "Scheduler.cpg" << QByteArray("ISO8859-36411") << QByteArray("936") << gbk << "中文";
        QTest::newRow("unknown-driver-no-cpg-ansi-code-page-936") << 0xEE << "" << QByteArray() << QByteArray("936") << gbk << "中文";
        QTest::newRow("cpg-zero-padded-001252")
            << 0 << "Scheduler.cpg" << QByteArray("001252") << QByteArray("936") << QByteArray("caf\xE9") << "café";
        QTest::newRow("cpg-latin-1-not-ansi") << 0 << "Scheduler.cpg" << QByteArray("Latin-1") << QByteArray("936") << QByteArray("\xE9") << "é";
        QTest::newRow("cpg-8859-1-not-ansi") << 0 << "Scheduler.cpg" << QByteArray("8859-1") << QByteArray() << QByteArray("\x80") << "\u0080";
        QTest::newRow("cpg-sjis") << 0 << "Scheduler.cpg" << QByteArray("sjis") << QByteArray() << QByteArray("\x92\x86\x95\xB6") << "中文";
        QTest::newRow("unknown-ansi-code-page-means-1252") << 0 << "" << QByteArray() << QByteArray("12345") << QByteArray("\x80") << "€";
    }

    // Read, then written into a table created anew with the same driver byte
    // beside the same files: the same bytes.
    void textIsInTheDriversCpgsOrAnsiCodePage()
    {
        QFETCH(int, driver);
        QFETCH(QString, cpgFile);
        QFETCH(QByteArray, cpg);
        QFETCH(QByteArray, ansiCodePage);
        QFETCH(QByteArray, stored);
        QFETCH(QString, text);

        QTemporaryDir dir;
        vorn::AppState state;
        state.SettingsFile = dir.filePath("VornSched.ini");
        QVERIFY(ansiCodePage.isEmpty() || writeFile(state.SettingsFile, "[Scheduler]\r\nAnsiCodePage=" + ansiCodePage + "\r\n"));
        vorn::LoadSettings(state);
        QVERIFY(cpgFile.isEmpty() || writeFile(dir.filePath(cpgFile), cpg));
        const QString path = dir.filePath("Scheduler.dbf");
        const QList<FieldDescriptor> fields{{"NAME", 'C', int(stored.size())}};
        QVERIFY(writeFile(path, RawTable{.languageDriver = quint8(driver), .fields = fields, .records = {' ' + stored}}.bytes()));
        DbfTable table;
        QVERIFY(table.open(path).ok());
        QCOMPARE(table.decode(table.rawField(1, 1)), text);
        // A view of the same mapping, as a feed keeps of a tick's bytes, reads in the same code page
        // (where files are mapped at all).
        const DbfTable view = table.mappedView();
        QCOMPARE(view.isOpen(), MappedFile::supported());
        QVERIFY(!view.isOpen() || view.decode(view.rawField(1, 1)) == text);
        // The file cut to its header: the view, as the table, reads the record it lost as blanks.
        QVERIFY(!view.isOpen() || (QFile::resize(path, 32 + 32 + 1) && view.rawField(1, 1) == QByteArray(stored.size(), ' ')));

        QVERIFY(DbfTable::create(path, fields, quint8(driver)).ok());
        QVERIFY(table.open(path).ok() && table.appendRecord({text}).ok() && table.open(path).ok());
        QCOMPARE(table.rawField(1, 1), QByteArrayView(stored));
    }

    void packKilledAtAnyWriteLeavesReadableTable_data()
    {
        QTest::addColumn<QList<int>>("deleted");
        QTest::addColumn<bool>("appendDuringPack");   // else before it

        QTest::newRow("first-deleted") << QList<int>{1} << false;
        QTest::newRow("last-deleted") << QList<int>{8} << false;
        QTest::newRow("scattered") << QList<int>{2, 5, 6} << false;
        QTest::newRow("all-deleted") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8} << false;
        QTest::newRow("nothing-deleted") << QList<int>{} << false;
        QTest::newRow("scattered-manager-appends-at-each-write") << QList<int>{2, 5, 6} << true;
        QTest::newRow("all-deleted-manager-appends-at-each-write") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8} << true;
    }

    // The pack stopped after 0, 1, 2, ... writes, as a process killed there
    // leaves the file, the next write not done or done in part; or, with
    // appendDuringPack, run to its end while the manager appends a record
    // before its first, second, ... write. What a reader then finds, step
    // by step, against the stored transcript: every record the pack keeps,
    // each whole; the manager's unless it came in the last three writes.
    void packKilledAtAnyWriteLeavesReadableTable()
    {
        QFETCH(QList<int>, deleted);
        QFETCH(bool, appendDuringPack);

        RawTable original{.fields = {{"PART", 'C', 4}, {"N", 'N', 3}}};
        for (int i = 1; i <= 8; ++i)
            original.records << QStringLiteral(" R%1    %1").arg(i).toLatin1();
        QTemporaryDir dir;
        QString transcript;
        for (int step = 0;; ++step) {
            QVERIFY(step < 200);
            const int at = appendDuringPack ? step : step / 2;
            // Half of a record, or of the bytes behind its deletion mark.
            const qint64 torn = appendDuringPack || step % 2 == 0 ? 0 : 4;
            const QString path = dir.filePath(QStringLiteral("Copy%1.dbf").arg(step));
            QVERIFY(writeFile(path, original.bytes()));
            QString line = QStringLiteral("write %1%2:").arg(at).arg(torn ? " torn" : "");
            int writes = 0;
            bool packed = false;
            {
                DbfTable viewer, manager;
                QVERIFY(viewer.open(path).ok() && manager.open(path).ok());
                for (int r : deleted)
                    QVERIFY(viewer.markDeleted(r).ok());
                if (!appendDuringPack)
                    QVERIFY(manager.appendRecord({"R9", "9"}).ok());
                const auto beforeWrite = [&](int write) {
                    writes = write + 1;
                    if (appendDuringPack && write == at)
                        line += manager.appendRecord({"R9", "9"}).ok() ? " R9 appended," : " R9 refused,";
                };
                packed = DbfTablePackSeam::pack(viewer, appendDuringPack ? -1 : at, torn, beforeWrite).ok();
                QVERIFY(viewer.isOpen());
                line += QStringLiteral(" %1, packer sees ").arg(packed ? "packed" : "stopped") + flatten(viewer).join(", ");
            }
            DbfTable reader;
            const vorn::Result error = reader.open(path);
            const QByteArray bytes = readFile(path);
            const QDate date(1900 + quint8(bytes[1]), bytes[2], bytes[3]);
            transcript += line + QStringLiteral("\n  %1 bytes, last %2, dated %3: ").arg(bytes.size()).arg(quint8(bytes.back()), 2, 16)
                              .arg(date == QDate::currentDate() ? "today" : date.toString(Qt::ISODate))
                + (error.ok() ? flatten(reader).join(", ") : '<' + error.message() + '>') + '\n';
            // Until the pack runs to its end with the write it would tear, or the append comes after its last write.
            if (appendDuringPack ? at >= writes : packed && torn > 0)
                break;
        }
        VORN_COMPARE_STORED(QStringLiteral("pack-%1.txt").arg(QTest::currentDataTag()), transcript.toUtf8());
    }

    // A manager that appends a record during each pass of the pack cannot
    // hold it: the count is looked at 16 times, what came later is cut.
    void packTakesInAppendsOfSixteenLooks()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("S.dbf");
        QVERIFY(writeFile(path, schedule([](RawTable &t) { t.records.pop_back(); })));
        DbfTable viewer, manager;
        QVERIFY(viewer.open(path).ok() && manager.open(path).ok() && viewer.markDeleted(1).ok());
        // Each pass moves one record down a slot: two writes into the deleted
        // first slot, then three (mark, bytes, mark).
        const auto appendAtEachPass = [&](int write) {
            if (write == 0 || write % 3 == 2)
                QVERIFY(manager.appendRecord({"P4", "M4", "40"}).ok());
        };
        QVERIFY(DbfTablePackSeam::pack(viewer, -1, 0, appendAtEachPass).ok());
        const QStringList packed = readTable(path);
        QCOMPARE(packed, QStringList{all[1]} + QStringList(16, "P4    |M4  |    40"));
        QCOMPARE(packed, flatten(viewer));
    }

    // dBase IV memo files carry their block size and a length per memo;
    // no independent writer here produces them, so the bytes are built by
    // hand. A block without the dBase IV mark is read the dBase III way, up
    // to its end marker.
    void readsDbase4Memos_data()
    {
        QTest::addColumn<QByteArray>("memoBytes");
        QTest::addColumn<QByteArray>("pointer");
        QTest::addColumn<QByteArray>("content");

        const auto memoFile = [](int blockSize, int block, const QByteArray &length, const QByteArray &text) {
            QByteArray file(blockSize * block, '\0');
            file[20] = char(blockSize & 0xFF);
            file[21] = char(blockSize >> 8);
            return file + QByteArray("\xFF\xFF\x08\x00", 4) + length + text;
        };
        const QByteArray hello = memoFile(512, 1, QByteArray("\x0D\x00\x00\x00", 4), "hello\x1A");
        QTest::newRow("512-byte-blocks") << hello << QByteArray("1") << QByteArray("hello");
        QTest::newRow("64-byte-blocks") << memoFile(64, 2, QByteArray("\x0B\x00\x00\x00", 4), "abc")
                                        << QByteArray("2") << QByteArray("abc");
        QTest::newRow("length-past-end-of-file") << memoFile(512, 1, QByteArray("\xFF\xFF\x00\x00", 4), "short")
                                                 << QByteArray("1") << QByteArray("short");
        QTest::newRow("length-shorter-than-its-mark") << memoFile(512, 1, QByteArray("\x05\x00\x00\x00", 4), "abc")
                                                      << QByteArray("1") << QByteArray();
        QTest::newRow("block-past-end-of-file") << hello << QByteArray("99") << QByteArray();
        QTest::newRow("block-zero-is-the-header") << hello << QByteArray("0") << QByteArray();
        QTest::newRow("block-number-with-letters") << hello << QByteArray("1x") << QByteArray();
        // Read only as far as telling that a memo is too long needs.
        const QByteArray huge(100000, 'x'), longest(MaxFieldText + 1, 'x');
        QTest::newRow("damaged-length-read-no-further-than-needed")
            << memoFile(512, 1, QByteArray("\xFF\xFF\xFF\x7F", 4), huge) << QByteArray("1") << longest;
        QTest::newRow("no-end-marker-read-no-further-than-needed")
            << QByteArray(512, '\0') + huge << QByteArray("1") << longest;
        // Text that merely begins like the mark is a dBase III memo.
        QTest::newRow("dbase3-block-starting-ff-ff")
            << QByteArray(512, '\0') + "\xFF\xFF" "abcdef\x1A" << QByteArray("1") << QByteArray("\xFF\xFF" "abcdef");
    }

    void readsDbase4Memos()
    {
        QFETCH(QByteArray, memoBytes);
        QFETCH(QByteArray, pointer);

        // Every version byte of a dBase IV table with memos, the last beside
        // a memo file named as Windows programs write it.
        for (const quint8 version : {0x8B, 0x8E, 0xCB}) {
            RawTable t{.version = version, .fields = {{"NOTE", 'M', 10}, {"K", 'C', 2}}};
            t.records = {' ' + pointer.rightJustified(10, ' ') + "ok"};
            QTemporaryDir dir;
            QVERIFY(writeFile(dir.filePath("T.dbf"), t.bytes()));
            QVERIFY(writeFile(dir.filePath(version == 0xCB ? "T.DBT" : "T.dbt"), memoBytes));
            DbfTable table;
            QVERIFY2(table.open(dir.filePath("T")).ok(), qPrintable(QString::number(version, 16)));
            QTEST(table.fieldContent(1, 1), "content");
            QCOMPARE(table.fieldContent(1, 2), QByteArray("ok"));
        }
    }

    // Bulk appends go to the file a 1 MiB chunk at a time (4128 records of
    // 254 bytes); the count must follow every chunk, and a bad record keeps
    // the chunks before its own.
    void appendsRecordsChunkByChunk_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("badRecord");
        QTest::addColumn<int>("expectedCount");

        QTest::newRow("three-chunks-and-one-record") << 3 * 4128 + 1 << -1 << 3 * 4128 + 1;
        QTest::newRow("bad-record-in-second-chunk-keeps-the-first") << 3 * 4128 << 5000 << 4128;
    }

    void appendsRecordsChunkByChunk()
    {
        QFETCH(int, count);
        QFETCH(int, badRecord);
        QFETCH(int, expectedCount);

        QTemporaryDir dir;
        const QString path = dir.filePath("S.dbf");
        QVERIFY(DbfTable::create(path, {{"PART", 'C', 247}, {"N", 'N', 6}}).ok());
        {
            DbfTable writer;
            QVERIFY(writer.open(path).ok());
            const vorn::Result error = writer.appendRecords(count, [&](qint32 i) -> QList<QString> {
                if (i == badRecord)
                    return {"too", "many", "values"};
                return {QStringLiteral("R%1").arg(i), QString::number(i)};
            });
            QCOMPARE(error.ok(), badRecord < 0);
        }
        const QStringList read = readTable(path);
        QCOMPARE(read.size(), expectedCount);
        QCOMPARE(read.last(), QStringLiteral("R%1").arg(expectedCount - 1).leftJustified(247) + '|' + QString::number(expectedCount - 1).rightJustified(6));
        const QByteArray bytes = readFile(path);
        QCOMPARE(bytes.size(), 32 * 3 + 1 + qsizetype(expectedCount) * 254 + 1);
        QCOMPARE(bytes.back(), char(0x1A));
    }
};

QTEST_GUILESS_MAIN(TestDbfTable)
#include "tst_dbftable.moc"
