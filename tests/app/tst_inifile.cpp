#include "inifile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace vorn;

namespace {

// Writes `content` as test.ini into `dir`; a null array writes nothing.
QString putFile(const QTemporaryDir &dir, const QByteArray &content,
                const QString &name = QStringLiteral("test.ini"))
{
    const QString path = dir.filePath(name);
    if (!content.isNull()) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
    }
    return path;
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class IniFileTest : public QObject
{
    Q_OBJECT

private slots:
    void readString_data();
    void readString();
    void readInt_data();
    void readInt();
    void write_data();
    void write();
    void writeIntoMissingFolderFails();
    void fileNameMatchesWithoutCase();
    void windows1252RoundTrip();
};

void IniFileTest::readString_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("buffer");
    QTest::addColumn<QString>("expected");

    const QByteArray basic("[Main]\nName=Vorn\n");
    QTest::newRow("plain") << basic << "Main" << "Name" << 64 << "Vorn";
    QTest::newRow("section-and-key-other-case") << basic << "MAIN" << "nAME" << 64 << "Vorn";
    QTest::newRow("missing-key-gives-default") << basic << "Main" << "Other" << 64 << "dflt";
    QTest::newRow("missing-section-gives-default") << basic << "Side" << "Name" << 64 << "dflt";
    QTest::newRow("missing-file-gives-default") << QByteArray() << "Main" << "Name" << 64 << "dflt";
    QTest::newRow("blanks-and-tabs-around-key-and-value")
        << QByteArray("  [ Main ]  \n \t Name \t=  Vorn Cell \t\n") << "Main" << "Name" << 64
        << "Vorn Cell";
    QTest::newRow("double-quotes-keep-inner-blanks")
        << QByteArray("[Main]\nName=\"  Vorn  \"\n") << "Main" << "Name" << 64 << "  Vorn  ";
    QTest::newRow("single-quotes-stripped")
        << QByteArray("[Main]\nName='Vorn'\n") << "Main" << "Name" << 64 << "Vorn";
    QTest::newRow("unmatched-quote-kept")
        << QByteArray("[Main]\nName=\"Vorn\n") << "Main" << "Name" << 64 << "\"Vorn";
    QTest::newRow("quoted-single-blank")
        << QByteArray("[Main]\nName=\" \"\n") << "Main" << "Name" << 64 << " ";
    QTest::newRow("empty-value-is-not-default")
        << QByteArray("[Main]\nName=\n") << "Main" << "Name" << 64 << "";
    QTest::newRow("value-holding-equals-sign")
        << QByteArray("[Main]\nName=a=b\n") << "Main" << "Name" << 64 << "a=b";
    QTest::newRow("buffer-keeps-one-less-character") << basic << "Main" << "Name" << 3 << "Vo";
    QTest::newRow("buffer-of-one-gives-nothing") << basic << "Main" << "Name" << 1 << "";
    QTest::newRow("buffer-cuts-default-too") << basic << "Main" << "Other" << 3 << "df";
    QTest::newRow("first-of-two-sections-wins")
        << QByteArray("[main]\nName=first\n[MAIN]\nName=second\n") << "Main" << "Name" << 64
        << "first";
    QTest::newRow("first-of-two-keys-wins")
        << QByteArray("[Main]\nName=first\nNAME=second\n") << "Main" << "Name" << 64 << "first";
    QTest::newRow("key-of-next-section-not-seen")
        << QByteArray("[Main]\n[Side]\nName=Vorn\n") << "Main" << "Name" << 64 << "dflt";
    QTest::newRow("key-before-any-section-not-seen")
        << QByteArray("Name=Vorn\n[Main]\n") << "Main" << "Name" << 64 << "dflt";
    QTest::newRow("crlf-line-ends") << QByteArray("[Main]\r\nName=Vorn\r\nX=1\r\n") << "Main"
                                    << "Name" << 64 << "Vorn";
    QTest::newRow("last-line-without-line-end")
        << QByteArray("[Main]\nName=Vorn") << "Main" << "Name" << 64 << "Vorn";
    QTest::newRow("commented-key-not-found")
        << QByteArray("[Main]\n;Name=old\n") << "Main" << "Name" << 64 << "dflt";
    QTest::newRow("windows-1252-high-bytes")
        << QByteArray("[Main]\nName=\x80 \xe9t\xe9\n") << "Main" << "Name" << 64
        << QString::fromUtf16(u"\u20AC \u00E9t\u00E9");
}

void IniFileTest::readString()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(int, buffer);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = putFile(dir, content);
    QCOMPARE(ReadIniString(path, section, key, QStringLiteral("dflt  "), buffer), expected);
}

void IniFileTest::readInt_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("digits") << QByteArray("42") << 42;
    QTest::newRow("negative") << QByteArray("-7") << -7;
    QTest::newRow("plus-sign") << QByteArray("+7") << 7;
    QTest::newRow("digits-then-garbage") << QByteArray("12abc") << 12;
    QTest::newRow("digits-then-blank-and-more") << QByteArray("12 34") << 12;
    QTest::newRow("hex-prefix-reads-leading-zero") << QByteArray("0x10") << 0;
    QTest::newRow("garbage-gives-default") << QByteArray("abc") << -99;
    QTest::newRow("empty-gives-default") << QByteArray("") << -99;
    QTest::newRow("sign-alone-gives-default") << QByteArray("-") << -99;
    QTest::newRow("blank-after-sign-gives-default") << QByteArray("- 5") << -99;
    QTest::newRow("quoted-number") << QByteArray("\"15\"") << 15;
    QTest::newRow("beyond-32-bit-saturates")
        << QByteArray("99999999999999999999") << std::numeric_limits<int>::max();
    QTest::newRow("below-32-bit-saturates")
        << QByteArray("-99999999999999999999") << std::numeric_limits<int>::min();
    QTest::newRow("largest-int") << QByteArray("2147483647") << 2147483647;
}

void IniFileTest::readInt()
{
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = putFile(dir, "[S]\nk=" + value + "\n");
    QCOMPARE(ReadIniInt(path, QStringLiteral("s"), QStringLiteral("K"), -99), expected);
}

void IniFileTest::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("replace-in-place-keeps-comments-and-keys")
        << QByteArray("; plant settings\n[S]\n; timer\nA=1\nB=2\n\n[T]\nB=9\n") << "S" << "B"
        << "5" << QByteArray("; plant settings\n[S]\n; timer\nA=1\nB=5\n\n[T]\nB=9\n");
    QTest::newRow("replace-keeps-key-spelling-drops-blanks")
        << QByteArray("[S]\n  MyKey =  old  \n") << "s" << "MYKEY" << "new"
        << QByteArray("[S]\nMyKey=new\n");
    QTest::newRow("new-key-after-last-line-of-section")
        << QByteArray("[S]\nA=1\n\n[T]\nX=1\n") << "S" << "B" << "2"
        << QByteArray("[S]\nA=1\nB=2\n\n[T]\nX=1\n");
    QTest::newRow("new-key-in-empty-last-section")
        << QByteArray("[S]\n") << "S" << "B" << "2" << QByteArray("[S]\nB=2\n");
    QTest::newRow("new-key-in-section-without-final-newline")
        << QByteArray("[S]\nA=1") << "S" << "B" << "2" << QByteArray("[S]\nA=1\nB=2\n");
    QTest::newRow("new-section-at-end")
        << QByteArray("[S]\nA=1\n") << "T" << "B" << "2" << QByteArray("[S]\nA=1\n[T]\nB=2\n");
    QTest::newRow("new-section-after-missing-final-newline")
        << QByteArray("[S]\nA=1") << "T" << "B" << "2" << QByteArray("[S]\nA=1\n[T]\nB=2\n");
    QTest::newRow("crlf-file-gets-crlf-lines")
        << QByteArray("[S]\r\nA=1\r\n") << "S" << "B" << "2"
        << QByteArray("[S]\r\nA=1\r\nB=2\r\n");
    QTest::newRow("mixed-line-ends-kept-per-line")
        << QByteArray("[S]\r\nA=1\nB=2\r\n") << "S" << "A" << "3"
        << QByteArray("[S]\r\nA=3\nB=2\r\n");
    QTest::newRow("missing-file-created")
        << QByteArray() << "SCHEDULER" << "Interval" << "7"
        << QByteArray("[SCHEDULER]\nInterval=7\n");
    QTest::newRow("empty-file") << QByteArray("") << "S" << "A" << "1" << QByteArray("[S]\nA=1\n");
    QTest::newRow("value-encoded-windows-1252")
        << QByteArray("[S]\n") << "S" << "A" << QString::fromUtf16(u"\u20AC\u00E9\u4E2D")
        << QByteArray("[S]\nA=\x80\xe9?\n");
    QTest::newRow("untouched-bytes-survive")
        << QByteArray("[S]\nNote=\x81\x9d\xff\nA=1\n") << "S" << "A" << "2"
        << QByteArray("[S]\nNote=\x81\x9d\xff\nA=2\n");
}

void IniFileTest::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = putFile(dir, before);
    const IniWriteResult result = WriteIniString(path, section, key, value);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(readBytes(path), after);
    QCOMPARE(ReadIniString(path, section, key, QString(), 256), value.replace(u'\u4E2D', u'?'));
}

void IniFileTest::writeIntoMissingFolderFails()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("no/such/folder/test.ini"));
    const IniWriteResult result = WriteIniString(path, QStringLiteral("S"), QStringLiteral("A"),
                                                 QStringLiteral("1"));
    QVERIFY(!result.ok);
    QVERIFY(result.error.contains(QStringLiteral("test.ini")));
}

void IniFileTest::fileNameMatchesWithoutCase()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    putFile(dir, "[S]\nA=1\n", QStringLiteral("VORNSCHED.INI"));
    const QString asked = dir.filePath(QStringLiteral("VornSched.ini"));
    QCOMPARE(ReadIniInt(asked, QStringLiteral("S"), QStringLiteral("A"), 0), 1);
    QVERIFY(WriteIniString(asked, QStringLiteral("S"), QStringLiteral("A"), QStringLiteral("2")).ok);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("VORNSCHED.INI")});
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("VORNSCHED.INI"))), QByteArray("[S]\nA=2\n"));
}

void IniFileTest::windows1252RoundTrip()
{
    QByteArray all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[i] = char(i);
    QCOMPARE(EncodeWindows1252(DecodeWindows1252(all)), all);
}

QTEST_GUILESS_MAIN(IniFileTest)
#include "tst_inifile.moc"
