#include "texts.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vorn;

class TextsTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { SetLanguage(LanguageEnglish); }

    void everyIdHasBothTexts_data();
    void everyIdHasBothTexts();
    void textIsExact_data();
    void textIsExact();
    void setLanguageFallsBackToEnglish_data();
    void setLanguageFallsBackToEnglish();
    void languageName_data();
    void languageName();
    void languageFromIniFile_data();
    void languageFromIniFile();
    void missingLanguageFileMeansEnglish();
};

void TextsTest::everyIdHasBothTexts_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("exists");
    QTest::newRow("id-0-below-table") << 0 << false;
    for (int id = 1; id <= 62; ++id) {
        const bool exists = id != 11 && id != 30;
        QTest::addRow("id-%d", id) << id << exists;
    }
    QTest::newRow("id-63-above-table") << 63 << false;
}

void TextsTest::everyIdHasBothTexts()
{
    QFETCH(int, id);
    QFETCH(bool, exists);
    SetLanguage(LanguageEnglish);
    const QString english = GetText(id);
    SetLanguage(LanguageChinese);
    const QString chinese = GetText(id);
    QCOMPARE(!english.isEmpty(), exists);
    QCOMPARE(!chinese.isEmpty(), exists);
}

void TextsTest::textIsExact_data()
{
    QTest::addColumn<qint32>("language");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("expected");
    QTest::newRow("en-32-two-trailing-blanks") << LanguageEnglish << 32 << u"Vorn Scheduler  "_qs;
    QTest::newRow("zh-32-no-trailing-blank") << LanguageChinese << 32 << u"Vorn 调度"_qs;
    QTest::newRow("en-62-trailing-blank") << LanguageEnglish << 62 << u") "_qs;
    QTest::newRow("zh-62-no-trailing-blank") << LanguageChinese << 62 << u")"_qs;
    QTest::newRow("en-48-title-prefix") << LanguageEnglish << 48 << u"Vorn Scheduler ("_qs;
    QTest::newRow("zh-48-title-prefix") << LanguageChinese << 48
                                        << u"Vorn 调度 [Vorn Scheduler] ("_qs;
    QTest::newRow("en-33-leading-blank") << LanguageEnglish << 33
                                         << u" already exists. Do you want to replace it?"_qs;
    QTest::newRow("zh-46-presentation-colon") << LanguageChinese << 46
                                              << QString::fromUtf16(u"系统时间\uFE30");
    QTest::newRow("zh-5-presentation-colon") << LanguageChinese << 5
                                             << QString::fromUtf16(u"实际\uFE30");
    QTest::newRow("zh-7-full-width-parentheses") << LanguageChinese << 7
                                                 << QString::fromUtf16(u"间隔 \uFF08分钟\uFF09");
    QTest::newRow("zh-33-full-width-question-mark") << LanguageChinese << 33
                                                    << QString::fromUtf16(u"已存在。是否替换它\uFF1F");
    QTest::newRow("en-56-single-quotes") << LanguageEnglish << 56
        << u"Memo entry too long to return in String function. Try calling 'f4memoStrB'."_qs;
    QTest::newRow("zh-40-as-written") << LanguageChinese << 40 << u"就续"_qs;
}

void TextsTest::textIsExact()
{
    QFETCH(qint32, language);
    QFETCH(int, id);
    QFETCH(QString, expected);
    SetLanguage(language);
    QCOMPARE(GetText(id), expected);
    QCOMPARE(GetText(id, u"ignored"_qs), expected);
}

void TextsTest::setLanguageFallsBackToEnglish_data()
{
    QTest::addColumn<qint32>("requested");
    QTest::addColumn<qint32>("current");
    QTest::newRow("english") << 9 << 9;
    QTest::newRow("chinese") << 2052 << 2052;
    QTest::newRow("us-english-1033-unsupported") << 1033 << 9;
    QTest::newRow("zero") << 0 << 9;
    QTest::newRow("negative") << -1 << 9;
}

void TextsTest::setLanguageFallsBackToEnglish()
{
    QFETCH(qint32, requested);
    QFETCH(qint32, current);
    SetLanguage(LanguageChinese);
    SetLanguage(requested, u"whatever"_qs);
    QCOMPARE(CurrentLanguageID(), current);
    QCOMPARE(GetText(1), current == LanguageChinese ? u"Vorn 调度"_qs : u"Vorn Scheduler"_qs);
}

void TextsTest::languageName_data()
{
    QTest::addColumn<qint32>("id");
    QTest::addColumn<QString>("name");
    QTest::newRow("english") << 9 << u"English"_qs;
    QTest::newRow("chinese") << 2052 << u"Chinese (China)"_qs;
    QTest::newRow("other") << 1031 << u"Invalid Language Index"_qs;
}

void TextsTest::languageName()
{
    QFETCH(qint32, id);
    QFETCH(QString, name);
    QCOMPARE(LanguageName(id), name);
}

void TextsTest::languageFromIniFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint16>("language");
    QTest::newRow("cn") << QByteArray("[GENERAL]\r\nApplicationLanguage=CN\r\n") << qint16(2052);
    QTest::newRow("eng") << QByteArray("[GENERAL]\r\nApplicationLanguage=ENG\r\n") << qint16(9);
    QTest::newRow("cn-lower-case-is-english")
        << QByteArray("[GENERAL]\nApplicationLanguage=cn\n") << qint16(9);
    QTest::newRow("section-and-key-lower-case")
        << QByteArray("[general]\napplicationlanguage=CN\n") << qint16(2052);
    QTest::newRow("empty-file") << QByteArray() << qint16(9);
}

void TextsTest::languageFromIniFile()
{
    QFETCH(QByteArray, content);
    QFETCH(qint16, language);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath(u"LANGUAGE.INI"_qs));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    QCOMPARE(GetLanguageID(dir.path()), language);
    QCOMPARE(GetLanguageID(dir.path() + u'/'), language);
}

void TextsTest::missingLanguageFileMeansEnglish()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(GetLanguageID(dir.path()), qint16(LanguageEnglish));
}

QTEST_GUILESS_MAIN(TextsTest)
#include "tst_texts.moc"
