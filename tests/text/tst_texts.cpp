#include "testfiles.h"
#include "texts.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace vorn;

class TextsTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { SetLanguage(LanguageEnglish); }

    // Texts beyond the original table (the live overlays' from 300 on) are
    // added in pairs: every id has its text in both languages, and no id
    // exists in one language only.
    void everyIdHasBothTexts()
    {
        const auto ids = [](const QString &name) { return QJsonDocument::fromJson(testing::readFile(name)).object().keys(); };
        QVERIFY(!ids(u":/vorn/strings/en.json"_qs).isEmpty());
        QCOMPARE(ids(u":/vorn/strings/zh_CN.json"_qs), ids(u":/vorn/strings/en.json"_qs));
        for (const auto &[first, last] : {std::pair{0, 63}, std::pair{299, 317}}) {
            for (int id = first; id <= last; ++id) {
                const bool exists = (id >= 1 && id <= 62 && id != 11 && id != 30) || (id >= 300 && id <= 316);
                for (const qint32 language : {LanguageEnglish, LanguageChinese}) {
                    SetLanguage(language);
                    QVERIFY2(GetText(id).isEmpty() != exists, qPrintable(QStringLiteral("id %1 in %2").arg(id).arg(language)));
                }
            }
        }
    }

    void setLanguageFallsBackToEnglish_data()
    {
        QTest::addColumn<qint32>("requested");
        QTest::addColumn<qint32>("current");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("yes");   // Qt's own button text
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");   // of that id, exactly
        QTest::newRow("english") << 9 << 9 << u"English"_qs << u"&Yes"_qs << 1 << u"Vorn Scheduler"_qs;
        QTest::newRow("chinese-no-trailing-blank") << 2052 << 2052 << u"Chinese (China)"_qs << u"是(&Y)"_qs << 32 << u"Vorn 调度"_qs;
        QTest::newRow("chinese-presentation-colon")
            << 2052 << 2052 << u"Chinese (China)"_qs << u"是(&Y)"_qs << 46 << QString::fromUtf16(u"系统时间\uFE30");
        QTest::newRow("us-english-1033-unsupported") << 1033 << 9 << u"Invalid Language Index"_qs << u"&Yes"_qs << 1 << u"Vorn Scheduler"_qs;
    }

    void setLanguageFallsBackToEnglish()
    {
        QFETCH(qint32, requested);
        QFETCH(int, id);
        QFETCH(QString, text);
        SetLanguage(LanguageChinese);
        SetLanguage(requested, u"whatever"_qs);
        QTEST(CurrentLanguageID(), "current");
        QCOMPARE(GetText(id), text);
        QCOMPARE(GetText(id, u"ignored"_qs), text);
        QTEST(LanguageName(requested), "name");
        QTEST(QCoreApplication::translate("QPlatformTheme", "&Yes"), "yes");
    }

    void languageFromIniFile_data()
    {
        QTest::addColumn<QByteArray>("content");   // of LANGUAGE.INI; null: none
        QTest::addColumn<qint16>("language");
        QTest::newRow("cn") << QByteArray("[GENERAL]\r\nApplicationLanguage=CN\r\n") << qint16(2052);
        QTest::newRow("cn-lower-case-is-english") << QByteArray("[GENERAL]\nApplicationLanguage=cn\n") << qint16(9);
        QTest::newRow("no-file") << QByteArray() << qint16(9);
    }

    void languageFromIniFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(qint16, language);
        QTemporaryDir dir;
        QVERIFY(content.isNull() || testing::writeFile(dir.filePath(u"LANGUAGE.INI"_qs), content));
        QCOMPARE(GetLanguageID(dir.path()), language);
        QCOMPARE(GetLanguageID(dir.path() + u'/'), language);
    }
};

QTEST_GUILESS_MAIN(TextsTest)
#include "tst_texts.moc"
