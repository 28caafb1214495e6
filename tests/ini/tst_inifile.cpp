#include "inibackend.h"
#include "inifile.h"
#include "testfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace vorn;
using namespace Qt::StringLiterals;
using testing::readFile;

namespace {

// Writes `content` as `name` into `dir` (nothing for a null array) and gives its path, "" when the write failed.
QString putFile(const QTemporaryDir &dir, const QByteArray &content, const QString &name = "test.ini")
{
    const QString path = dir.filePath(name);
    return content.isNull() || testing::writeFile(path, content) ? path : QString();
}

// Text as a Windows editor saves "Unicode": UTF-16 after its byte-order mark.
QByteArray utf16(const QString &text, bool bigEndian = false)
{
    QStringEncoder encoder(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE);
    return (bigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE")) + QByteArray(encoder.encode(text));
}

} // namespace

class IniFileTest : public QObject
{
    Q_OBJECT

private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("content");   // key Name of section Main is read
        QTest::addColumn<int>("buffer");
        QTest::addColumn<QString>("text");         // read with the default "dflt  "
        QTest::addColumn<int>("number");           // read with the default -99

        QTest::newRow("section-and-key-other-case") << QByteArray("[mAIN]\nnAME=Vorn\n") << 64 << "Vorn" << -99;
        QTest::newRow("missing-key-gives-default-without-blanks") << QByteArray("[Main]\nOther=1\n") << 64 << "dflt" << -99;
        QTest::newRow("blanks-and-tabs-around-section-key-and-value")
            << QByteArray("  [ Main ]  \n \t Name \t=  Vorn Cell \t\n") << 64 << "Vorn Cell" << -99;
        QTest::newRow("double-quotes-keep-inner-blanks") << QByteArray("[Main]\nName=\"  Vorn  \"\n") << 64 << "  Vorn  " << -99;
        QTest::newRow("empty-value-is-not-default") << QByteArray("[Main]\nName=\n") << 64 << "" << -99;
        QTest::newRow("value-holding-equals-sign") << QByteArray("[Main]\nName=a=b\n") << 64 << "a=b" << -99;
        QTest::newRow("buffer-keeps-one-less-character") << QByteArray("[Main]\nName=Vorn\n") << 3 << "Vo" << -99;
        QTest::newRow("buffer-cuts-default-too") << QByteArray("[Main]\n") << 3 << "df" << -99;
        QTest::newRow("first-of-two-sections-and-keys-wins")
            << QByteArray("[main]\nName=1st\nNAME=2nd\n[MAIN]\nName=3rd\n") << 64 << "1st" << 1;
        QTest::newRow("key-of-next-section-not-seen") << QByteArray("[Main]\n[Side]\nName=7\n") << 64 << "dflt" << -99;
        QTest::newRow("windows-1252-high-bytes")
            << QByteArray("[Main]\nName=\x80 \xe9t\xe9\n") << 64 << QString::fromUtf16(u"\u20AC \u00E9t\u00E9") << -99;
        QTest::newRow("quoted-number-then-garbage") << QByteArray("[Main]\nName=\"-12 34\"\n") << 64 << "-12 34" << -12;
        QTest::newRow("number-with-plus") << QByteArray("[Main]\nName=+15\n") << 64 << "+15" << 15;
        QTest::newRow("utf16-little-endian-with-mark")
            << utf16(u"[Main]\r\nName=\u4E2D -5\r\n"_s) << 64 << QString::fromUtf16(u"\u4E2D -5") << -99;
        QTest::newRow("utf16-big-endian-with-mark") << utf16(u"[main]\nname=42\n"_s, true) << 64 << "42" << 42;
        QTest::newRow("beyond-32-bit-saturates")
            << QByteArray("[Main]\nName=99999999999\n") << 64 << "99999999999" << 2147483647;
    }

    // Every row holds for each way to the files the build has.
    void read()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, buffer);
        QFETCH(QString, text);
        QFETCH(int, number);

        QTemporaryDir dir;
        const QString path = putFile(dir, content);
        for (const IniBackend &ini : IniBackends()) {
            QCOMPARE(ini.name + u' ' + ini.readString(path, "Main", "Name", "dflt  ", buffer), ini.name + u' ' + text);
            QCOMPARE(ini.name + u' ' + QString::number(ini.readInt(path, "Main", "Name", -99)),
                     ini.name + u' ' + QString::number(number));
        }
    }

    void write_data()
    {
        QTest::addColumn<QByteArray>("before");   // null: no file
        QTest::addColumn<QString>("value");       // of key B in section S
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("readBack");

        QTest::newRow("replace-in-place-keeps-comments-and-keys")
            << QByteArray("; plant settings\n[S]\n; timer\nA=1\nB=2\n\n[T]\nB=9\n") << "5"
            << QByteArray("; plant settings\n[S]\n; timer\nA=1\nB=5\n\n[T]\nB=9\n") << "5";
        QTest::newRow("replace-keeps-names-spelling-drops-blanks")
            << QByteArray("[s]\n  b =  old  \n") << "new" << QByteArray("[s]\nb=new\n") << "new";
        QTest::newRow("new-key-before-blank-line-ending-section")
            << QByteArray("[S]\nA=1\n\n[T]\nX=1\n") << "2" << QByteArray("[S]\nA=1\nB=2\n\n[T]\nX=1\n") << "2";
        QTest::newRow("new-section-after-missing-final-newline")
            << QByteArray("[T]\nA=1") << "2" << QByteArray("[T]\nA=1\n[S]\nB=2\n") << "2";
        QTest::newRow("crlf-file-gets-crlf-lines") << QByteArray("[S]\r\nA=1\r\n") << "2" << QByteArray("[S]\r\nA=1\r\nB=2\r\n") << "2";
        QTest::newRow("mixed-line-ends-kept-per-line") << QByteArray("[S]\r\nB=1\nA=2\r\n") << "3" << QByteArray("[S]\r\nB=3\nA=2\r\n") << "3";
        QTest::newRow("missing-file-created") << QByteArray() << "7" << QByteArray("[S]\nB=7\n") << "7";
        const QString wide = QString::fromUtf16(u"\u20AC\u00E9\u4E2D");
        QTest::newRow("value-encoded-windows-1252")
            << QByteArray("[S]\n") << wide << QByteArray("[S]\nB=\x80\xe9?\n") << QString::fromUtf16(u"\u20AC\u00E9?");
        QByteArray bytes;   // every byte but the line ends, the undefined ones of Windows-1252 included
        for (int c = 1; c < 256; ++c)
            bytes += c == '\n' || c == '\r' ? 'x' : char(c);
        QTest::newRow("untouched-bytes-survive") << "[S]\nNote=" + bytes + "\nB=1\n" << "2" << "[S]\nNote=" + bytes + "\nB=2\n" << "2";
        // Saved as "Unicode" by a Windows editor: read and written back so.
        QTest::newRow("utf16-little-endian-stays")
            << utf16(u"; \u8BA1\u5212\r\n[S]\r\nB=1\r\n"_s) << wide << utf16(u"; \u8BA1\u5212\r\n[S]\r\nB="_s + wide + u"\r\n"_s) << wide;
        QTest::newRow("utf16-big-endian-stays") << utf16(u"[S]\nA=1"_s, true) << wide
                                                << utf16(u"[S]\nA=1\nB="_s + wide + u"\n"_s, true) << wide;
        // A UTF-8 mark is no mark to the profile functions: its bytes stay in
        // front of the first line, which then names no section.
        QTest::newRow("utf8-mark-is-part-of-the-first-line") << QByteArray("\xEF\xBB\xBF[S]\nB=1\n") << "2"
                                                             << QByteArray("\xEF\xBB\xBF[S]\nB=1\n[S]\nB=2\n") << "2";
    }

    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, value);

        QFETCH(QByteArray, after);
        QFETCH(QString, readBack);

        for (const IniBackend &ini : IniBackends()) {
            // Files copied from Windows carry upper-case names; the file found is the one written.
            QTemporaryDir dir;
            putFile(dir, before, "TEST.INI");
            const QString path = dir.filePath("test.ini");
            const Result result = ini.writeString(path, "S", "B", value);
            QVERIFY2(result.ok(), qPrintable(ini.name + u' ' + result.message()));
            const QStringList files = QDir(dir.path()).entryList(QDir::Files);
            QCOMPARE(files, QStringList{before.isNull() ? "test.ini" : "TEST.INI"});
            QCOMPARE(ini.name.toUtf8() + ' ' + readFile(dir.filePath(files[0])), ini.name.toUtf8() + ' ' + after);
            QCOMPARE(ini.name + u' ' + ini.readString(path, "S", "B", QString(), 256), ini.name + u' ' + readBack);
        }
    }

#ifdef Q_OS_UNIX
    // Something other than a plain file under the file's name reads as a
    // missing file, at once, and is never written: start-up must not wait
    // for a writer of a pipe or read a device without end.
    void onlyPlainFilesAreReadOrWritten_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("pipe") << "pipe";
        QTest::newRow("link-to-a-device") << "device";
        QTest::newRow("folder") << "folder";
    }

    void onlyPlainFilesAreReadOrWritten()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath("VornSched.ini");
        const QByteArray native = QFile::encodeName(path);
        if (kind == "pipe")
            QCOMPARE(mkfifo(native.constData(), 0600), 0);
        else if (kind == "device")
            QCOMPARE(symlink("/dev/zero", native.constData()), 0);
        else
            QVERIFY(QDir(dir.path()).mkdir("VornSched.ini"));
        QCOMPARE(ReadIniString(path, "S", "B", "dflt", 64), QString("dflt"));
        QCOMPARE(ReadIniInt(path, "S", "B", -1), -1);
        QVERIFY(WriteIniString(path, "S", "B", "1").failed());
        QVERIFY(!QFileInfo(path).isFile());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), QStringList{"VornSched.ini"});
    }

    // A folder that takes no new file (a read-only data folder) but a file
    // that may be written: the file is rewritten in place, and a write that
    // fails half-way leaves the old bytes. The write runs in a child that
    // may not create files there (root drops to "nobody" for it) and, for
    // the failure, may not make files longer than `sizeLimit`.
    void writesInPlaceWhenTheFolderTakesNoNewFile_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("value");       // of key B in section S
        QTest::addColumn<qint64>("sizeLimit");    // -1: none
        QTest::addColumn<QByteArray>("after");    // equal to before: the write must fail

        QTest::newRow("longer-text") << QByteArray("[S]\nA=1\nB=2\n") << "12345" << -1LL << QByteArray("[S]\nA=1\nB=12345\n");
        QTest::newRow("shorter-text-cut-to-its-length")
            << QByteArray("[S]\r\nB=123456789\r\n; end\r\n") << "1" << -1LL << QByteArray("[S]\r\nB=1\r\n; end\r\n");
        QTest::newRow("utf16-stays") << utf16(u"[S]\r\nB=1\r\n"_s) << QString::fromUtf16(u"\u4E2D") << -1LL
                                     << utf16(u"[S]\r\nB=\u4E2D\r\n"_s);
        QTest::newRow("failed-write-puts-the-old-bytes-back")
            << QByteArray("[S]\nB=1\n") << "a much longer value" << 12LL << QByteArray("[S]\nB=1\n");
    }

    void writesInPlaceWhenTheFolderTakesNoNewFile()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, value);
        QFETCH(qint64, sizeLimit);
        QFETCH(QByteArray, after);

        QTemporaryDir dir;
        const QString path = putFile(dir, before, "VornSched.ini");
        const QByteArray folder = QFile::encodeName(dir.path());
        QCOMPARE(chmod(QFile::encodeName(path).constData(), 0666), 0);
        QCOMPARE(chmod(folder.constData(), 0555), 0);
        const pid_t child = fork();
        if (child == 0) {
            if (getuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
                _exit(3);
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{rlim_t(sizeLimit), rlim_t(sizeLimit)};
            if (sizeLimit >= 0 && setrlimit(RLIMIT_FSIZE, &limit) != 0)
                _exit(4);
            _exit(WriteIniString(path, "S", "B", value).ok() ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        chmod(folder.constData(), 0700);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), after == before ? 1 : 0);
        QCOMPARE(readFile(path), after);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"VornSched.ini"});
    }
#endif
};

QTEST_GUILESS_MAIN(IniFileTest)
#include "tst_inifile.moc"
