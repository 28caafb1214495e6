#include "commandline.h"
#include "paths.h"

#include <QTest>

using namespace vorn;

Q_DECLARE_METATYPE(std::optional<vorn::Placement>)

namespace {

std::optional<Placement> placed(qint16 x, qint16 y, qint16 cx, qint16 cy, bool topMost)
{
    return Placement{x, y, cx, cy, topMost};
}

} // namespace

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void commandText_data();
    void commandText();
    void hosted_data();
    void hosted();
    void placement_data();
    void placement();
    void joinsArguments();
    void paths_data();
    void paths();
};

void CommandLineTest::commandText_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("commandText");
    QTest::newRow("word-then-all-switches") << "Cell4 /x10 /y20 /cx800 /cy600 /T /H " << "Cell4";
    QTest::newRow("blanks-in-prefix-removed") << "Line 2 Cell /x10 /y20 " << "Line2Cell";
    QTest::newRow("upper-case-X-found") << "Cell4 /X10 /Y20 " << "Cell4";
    QTest::newRow("no-x-keeps-blanks") << "Line 2  Cell" << "Line 2  Cell";
    QTest::newRow("no-x-with-H-removes-H-and-blanks") << "Line 2 /H /T" << "Line2/T";
    QTest::newRow("no-x-lower-h-not-removed") << "Line 2 /h" << "Line2/h";
    QTest::newRow("H-glued-to-word-removed") << "Cell/H" << "Cell";
    QTest::newRow("H-in-prefix-before-x") << "Cell /H /x10 /y1 " << "Cell";
    QTest::newRow("x-at-start-gives-nothing") << "/x10 /y20 /cx1 /cy1 " << "";
    QTest::newRow("x-after-one-blank-gives-nothing") << " /x10 /y20" << "";
    QTest::newRow("empty-line") << "" << "";
    QTest::newRow("tabs-are-not-blanks") << "A\tB /H" << "A\tB";
}

void CommandLineTest::commandText()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, commandText);
    QCOMPARE(CommandText(commandLine), commandText);
}

void CommandLineTest::hosted_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("hosted");
    QTest::newRow("upper-case") << "Cell /x1 /y1 /cx1 /cy1 /H" << true;
    QTest::newRow("lower-case") << "Cell /h" << true;
    QTest::newRow("inside-a-word") << "C:/Home" << true;
    QTest::newRow("absent") << "Cell /x1 /y1 /cx1 /cy1 /T " << false;
    QTest::newRow("empty") << "" << false;
}

void CommandLineTest::hosted()
{
    QFETCH(QString, commandLine);
    QFETCH(bool, hosted);
    QCOMPARE(IsHosted(commandLine), hosted);
}

void CommandLineTest::placement_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<std::optional<Placement>>("expected");
    QTest::newRow("all-four-not-topmost")
        << "W /x10 /y20 /cx800 /cy600 " << placed(10, 20, 800, 600, false);
    QTest::newRow("all-four-topmost-hosted")
        << "W /x10 /y20 /cx800 /cy600 /T /H" << placed(10, 20, 800, 600, true);
    QTest::newRow("upper-case-switches")
        << "W /X10 /Y20 /CX800 /CY600 " << placed(10, 20, 800, 600, false);
    QTest::newRow("lower-case-t-is-topmost")
        << "W /x1 /y2 /cx3 /cy4 /t" << placed(1, 2, 3, 4, true);
    QTest::newRow("any-order") << "/cy4 /cx3 /y2 /x1 " << placed(1, 2, 3, 4, false);
    QTest::newRow("negative-position") << "W /x-1920 /y-5 /cx640 /cy480 "
                                       << placed(-1920, -5, 640, 480, false);
    QTest::newRow("16-bit-limits") << "W /x-32768 /y32767 /cx1 /cy1 "
                                   << placed(-32768, 32767, 1, 1, false);
    QTest::newRow("line-ends-after-cy-value") << "W /x10 /y20 /cx800 /cy600"
                                              << std::optional<Placement>();
    QTest::newRow("blank-and-T-after-cy-value")
        << "W /x10 /y20 /cx800 /cy600 /T" << placed(10, 20, 800, 600, true);
    QTest::newRow("no-switches") << "W" << std::optional<Placement>();
    QTest::newRow("cx-missing") << "W /x10 /y20 /cy600 " << std::optional<Placement>();
    QTest::newRow("empty-value") << "W /x /y20 /cx800 /cy600 " << std::optional<Placement>();
    QTest::newRow("value-not-a-number")
        << "W /x1O /y20 /cx800 /cy600 " << std::optional<Placement>();
    QTest::newRow("value-beyond-16-bit")
        << "W /x32768 /y20 /cx800 /cy600 " << std::optional<Placement>();
    QTest::newRow("tab-in-value") << "W /x\t1 /y20 /cx800 /cy600 " << std::optional<Placement>();
}

void CommandLineTest::placement()
{
    QFETCH(QString, commandLine);
    QFETCH(std::optional<Placement>, expected);
    const std::optional<Placement> actual = ParsePlacement(commandLine);
    QCOMPARE(actual.has_value(), expected.has_value());
    if (expected) {
        QCOMPARE(actual->x, expected->x);
        QCOMPARE(actual->y, expected->y);
        QCOMPARE(actual->cx, expected->cx);
        QCOMPARE(actual->cy, expected->cy);
        QCOMPARE(actual->topMost, expected->topMost);
    }
}

void CommandLineTest::joinsArguments()
{
    // The manager passes the switches as separate arguments; joined again,
    // the last value is followed by the blank the placement needs only when
    // another switch follows it.
    const QStringList arguments{QStringLiteral("Cell4"), QStringLiteral("/x10"),
                                QStringLiteral("/y20"), QStringLiteral("/cx800"),
                                QStringLiteral("/cy600"), QStringLiteral("/H")};
    const QString line = CommandLineText(arguments);
    QCOMPARE(line, QStringLiteral("Cell4 /x10 /y20 /cx800 /cy600 /H"));
    QCOMPARE(CommandText(line), QStringLiteral("Cell4"));
    QVERIFY(ParsePlacement(line).has_value());
    QCOMPARE(CommandLineText({}), QString());
}

void CommandLineTest::paths_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("work");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("settings");
    QTest::newRow("bin-folder") << "/opt/X/bin" << "/opt/X/bin/" << "/opt/X/bin/../data/"
                                << "/opt/X/bin/../data/VornSched.ini";
    QTest::newRow("root") << "/" << "/" << "/../data/" << "/../data/VornSched.ini";
    QTest::newRow("blank-in-name") << "/home/a b" << "/home/a b/" << "/home/a b/../data/"
                                   << "/home/a b/../data/VornSched.ini";
}

void CommandLineTest::paths()
{
    QFETCH(QString, current);
    QFETCH(QString, work);
    QFETCH(QString, data);
    QFETCH(QString, settings);
    AppState state;
    BuildPaths(state, current);
    QCOMPARE(state.WorkFolder, work);
    QCOMPARE(state.DataFolder, data);
    QCOMPARE(state.SettingsFile, settings);
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
