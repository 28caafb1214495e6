#include "commandline.h"
#include "paths.h"
#include "testfiles.h"
#include "texts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vorn;

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    // What each command line gives the title, whether it is hosted, and the
    // placement it asks for (all four values as 16-bit numbers, the last one
    // followed by a blank).
    void commandLine()
    {
        QByteArray transcript;
        for (const QString line : {"Cell4 /x10 /y20 /cx800 /cy600 /T /H ", "Line 2 Cell /X-1920 /Y-5 /CX640 /CY480 ",
                                   "/x1 /cy4 /cx3 /y2 ", "W /x-32768 /y32767 /cx1 /cy1 /t", "Line 2  Cell",
                                   "Line 2 /H /T", "Line 2 /h", "C:/Home", "W /x10 /y20 /cx800 /cy600",
                                   "W /x10 /y20 /cy600 ", "W /x1O /y20 /cx800 /cy600 ", "W /x32768 /y20 /cx800 /cy600 "}) {
            const std::optional<Placement> at = ParsePlacement(line);
            transcript += QStringLiteral("[%1] -> [%2]%3 %4\n")
                              .arg(line, CommandText(line), IsHosted(line) ? " hosted" : "",
                                   !at ? QStringLiteral("not placed")
                                       : QStringLiteral("at %1,%2 size %3x%4%5").arg(at->x).arg(at->y).arg(at->cx).arg(at->cy)
                                             .arg(at->topMost ? " on top" : ""))
                              .toUtf8();
        }
        VORN_COMPARE_STORED(QStringLiteral("commandline.txt"), transcript);
    }

    // Only a leading "--vorn-diag" takes arguments away from the command line,
    // so a manager's words, however they look, all reach the title and the
    // placement.
    void startArgumentsSplit_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("diagnostics");
        QTest::addColumn<QString>("commandLine");
        QTest::newRow("toolkit-options-stay") << QStringList{"Cell", "-reverse", "-style", "X", "/x10"} << QStringList()
                                              << "Cell -reverse -style X /x10";
        QTest::newRow("diagnostic-options-not-first-stay")
            << QStringList{"Cell", "--screenshot", "a.png", "--startup-timing"} << QStringList()
            << "Cell --screenshot a.png --startup-timing";
        QTest::newRow("diagnostics-up-to-separator")
            << QStringList{"--vorn-diag", "--screenshot", "a.png", "--", "Cell", "/H"}
            << QStringList{"--screenshot", "a.png"} << "Cell /H";
        QTest::newRow("later-separator-is-command-line")
            << QStringList{"--vorn-diag", "--", "a", "--", "b"} << QStringList() << "a -- b";
        QTest::newRow("diagnostics-without-separator")
            << QStringList{"--vorn-diag", "--startup-timing"} << QStringList{"--startup-timing"} << "";
    }

    void startArgumentsSplit()
    {
        QFETCH(QStringList, arguments);
        const StartArguments split = SplitStartArguments(arguments);
        QTEST(split.diagnostics, "diagnostics");
        QTEST(CommandLineText(split.commandLine), "commandLine");
    }

    void pathsJoinWithOneSeparator()
    {
        AppState state;
        BuildPaths(state, "/opt/X/bin");
        QCOMPARE(state.SettingsFile, "/opt/X/bin/../data/VornSched.ini");
        BuildPaths(state, "/");
        QCOMPARE(state.WorkFolder + "|" + state.DataFolder + "|" + state.SettingsFile, "/|/../data/|/../data/VornSched.ini");
    }

    // Help's manual: beside the program (a plant or the build tree) before
    // the installed one; the Chinese file while the interface is Chinese.
    void helpFile_data()
    {
        QTest::addColumn<QStringList>("present"); // "bin/..." or "share/..."
        QTest::addColumn<qint32>("language");
        QTest::addColumn<QString>("opened");

        const QString en = "PlantoraUserManual.pdf";
        const QString cn = "PlantoraUserManual_zh_CN.pdf";
        QTest::newRow("none-anywhere-gives-the-program-folder") << QStringList{} << LanguageEnglish << "bin/" + en;
        QTest::newRow("beside-the-program-wins") << QStringList{"bin/" + en, "share/" + en} << LanguageEnglish << "bin/" + en;
        QTest::newRow("installed-found-from-the-program-folder") << QStringList{"share/" + en, "share/" + cn} << LanguageEnglish << "share/" + en;
        QTest::newRow("chinese-interface-installed") << QStringList{"share/" + en, "share/" + cn} << LanguageChinese << "share/" + cn;
        QTest::newRow("chinese-beside-the-program") << QStringList{"bin/" + en, "bin/" + cn, "share/" + cn} << LanguageChinese << "bin/" + cn;
        QTest::newRow("chinese-missing-falls-back-to-english") << QStringList{"bin/" + en} << LanguageChinese << "bin/" + en;
    }

    void helpFile()
    {
        QFETCH(QStringList, present);
        QFETCH(qint32, language);
        QFETCH(QString, opened);
        QTemporaryDir root;
        const QString bin = root.path() + "/usr/lib/vorn-scheduler";   // the program's own folder
        const QString share = QDir::cleanPath(bin + "/" VORN_MANUAL_FROM_PROGRAM);
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(share));
        auto place = [&](const QString &path) {
            return (path.startsWith("bin/") ? bin : share) + path.mid(path.indexOf('/'));
        };
        for (const QString &path : present) {
            QFile file(place(path));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        SetLanguage(language);
        QCOMPARE(HelpFile(bin), place(opened));
        SetLanguage(LanguageEnglish);
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
