#include "texts.h"
#include "windowtitle.h"

#include <QTest>

using namespace vorn;

// The title is the one place where the mode is visible at a glance, so every
// mode and both languages are pinned here.
class tst_WindowTitle : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { SetLanguage(LanguageEnglish); }

    void title_data()
    {
        QTest::addColumn<qint32>("language");
        QTest::addColumn<QString>("commandText");
        QTest::addColumn<int>("offline");
        QTest::addColumn<QString>("loadedName");
        QTest::addColumn<QString>("expected");

        QTest::newRow("online-empty-command-text")
            << LanguageEnglish << QString() << 0 << QString()
            << QStringLiteral("Vorn Scheduler () On-Line");
        QTest::newRow("online-with-command-text")
            << LanguageEnglish << QStringLiteral("Cell7") << 0 << QString()
            << QStringLiteral("Vorn Scheduler (Cell7) On-Line");
        QTest::newRow("offline-snapshot")
            << LanguageEnglish << QStringLiteral("W") << 1 << QString()
            << QStringLiteral("Vorn Scheduler (W) Off-Line");
        QTest::newRow("offline-copy-name-kept-as-stored")
            << LanguageEnglish << QStringLiteral("W") << 1 << QStringLiteral(" Untitled 01.dbf")
            << QStringLiteral("Vorn Scheduler (W) Off-Line:  Untitled 01.dbf");
        QTest::newRow("chinese-online-no-blank-before-mode")
            << LanguageChinese << QStringLiteral("W") << 0 << QString()
            << QStringLiteral("Vorn 调度 [Vorn Scheduler] (W)在线");
        QTest::newRow("chinese-offline-copy")
            << LanguageChinese << QString() << 1 << QStringLiteral("A")
            << QStringLiteral("Vorn 调度 [Vorn Scheduler] ()离线︰A");
    }

    void title()
    {
        QFETCH(qint32, language);
        QFETCH(QString, commandText);
        QFETCH(int, offline);
        QFETCH(QString, loadedName);
        QFETCH(QString, expected);

        SetLanguage(language);
        AppState state;
        state.CommandText = commandText;
        state.Offline = qint16(offline);
        state.LoadedName = loadedName;
        QCOMPARE(TitleText(state), expected);
    }
};

QTEST_GUILESS_MAIN(tst_WindowTitle)
#include "tst_windowtitle.moc"
