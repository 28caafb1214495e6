// What only a POSIX system can set up: pipes, devices and folders under the
// file's name, and folders that take no new file.

#include "inifile.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vorn;
using namespace Qt::StringLiterals;
using testing::readFile;

namespace {

QString putFile(const QTemporaryDir &dir, const QByteArray &content, const QString &name)
{
    const QString path = dir.filePath(name);
    return testing::writeFile(path, content) ? path : QString();
}

QByteArray utf16(const QString &text)
{
    QStringEncoder encoder(QStringConverter::Utf16LE);
    return QByteArray("\xFF\xFE") + QByteArray(encoder.encode(text));
}

} // namespace

class IniFilePosixTest : public QObject
{
    Q_OBJECT

private slots:
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
};

QTEST_GUILESS_MAIN(IniFilePosixTest)
#include "tst_inifile_posix.moc"
