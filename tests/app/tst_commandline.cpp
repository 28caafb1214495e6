#include "commandline.h"
#include "paths.h"
#include "texts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vorn;

using MaybePlacement = std::optional<Placement>;
Q_DECLARE_METATYPE(MaybePlacement)

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QString>("commandText");
        QTest::addColumn<bool>("hosted");
        QTest::addColumn<MaybePlacement>("placement");

        const MaybePlacement none;
        QTest::newRow("word-then-all-switches")
            << "Cell4 /x10 /y20 /cx800 /cy600 /T /H " << "Cell4" << true << MaybePlacement(Placement{10, 20, 800, 600, true});
        QTest::newRow("blanks-in-prefix-removed-upper-case-switches")
            << "Line 2 Cell /X-1920 /Y-5 /CX640 /CY480 " << "Line2Cell" << false << MaybePlacement(Placement{-1920, -5, 640, 480, false});
        QTest::newRow("x-at-start-any-order") << "/x1 /cy4 /cx3 /y2 " << "" << false << MaybePlacement(Placement{1, 2, 3, 4, false});
        QTest::newRow("lower-case-t-16-bit-limits")
            << "W /x-32768 /y32767 /cx1 /cy1 /t" << "W" << false << MaybePlacement(Placement{-32768, 32767, 1, 1, true});
        QTest::newRow("no-x-keeps-blanks") << "Line 2  Cell" << "Line 2  Cell" << false << none;
        QTest::newRow("no-x-with-H-removes-H-and-blanks") << "Line 2 /H /T" << "Line2/T" << true << none;
        QTest::newRow("no-x-lower-h-not-removed") << "Line 2 /h" << "Line2/h" << true << none;
        QTest::newRow("hosted-inside-a-word") << "C:/Home" << "C:ome" << true << none;
        QTest::newRow("line-ends-after-cy-value") << "W /x10 /y20 /cx800 /cy600" << "W" << false << none;
        QTest::newRow("cx-missing") << "W /x10 /y20 /cy600 " << "W" << false << none;
        QTest::newRow("value-not-a-number") << "W /x1O /y20 /cx800 /cy600 " << "W" << false << none;
        QTest::newRow("value-beyond-16-bit") << "W /x32768 /y20 /cx800 /cy600 " << "W" << false << none;
    }

    void commandLine()
    {
        QFETCH(QString, commandLine);
        QFETCH(MaybePlacement, placement);
        QTEST(CommandText(commandLine), "commandText");
        QTEST(IsHosted(commandLine), "hosted");
        QVERIFY(ParsePlacement(commandLine) == placement);
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
