#include "settings.h"
#include "testfiles.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

using namespace vorn;
using testing::readFile;

namespace {

// With milliseconds, which the time text drops.
const QDateTime kNow(QDate(2024, 6, 9), QTime(14, 5, 3, 999));
const QString kDefaults = "timer=500 cols=0,0,1,0,0,1 interval=0 date=[Sun Jun 09 2024] time=[14:05:03] sort=0";

// What a start reads from `file`, as one line, so that a whole load compares at once.
QString loaded(const QString &file)
{
    AppState s;
    s.SettingsFile = file;
    LoadSettings(s, kNow);
    return QStringLiteral("timer=%1 cols=%2,%3,%4,%5,%6,%7 interval=%8 date=[%9] time=[%10] sort=%11")
        .arg(s.TimerInterval).arg(s.PlanBegVisible).arg(s.PlanEndVisible).arg(s.PlanDurVisible)
        .arg(s.ActBegVisible).arg(s.ActEndVisible).arg(s.ActDurVisible).arg(s.IntervalIndex)
        .arg(s.BaseDate, s.BaseTime).arg(ReadSortOrder(file));
}

} // namespace

class SettingsTest : public QObject
{
    Q_OBJECT

private slots:
    // The base date and time are English, 24-hour texts whatever the locale.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void saveAndLoad_data()
    {
        QTest::addColumn<QString>("file");       // in a fresh folder: a copy of the fixture of that name, if any
        QTest::addColumn<QString>("columns");    // saved with the interval and order; empty: only loaded
        QTest::addColumn<int>("interval");
        QTest::addColumn<qint16>("sortOrder");
        QTest::addColumn<QString>("expected");   // loaded afterwards; kDefaults after a save: it failed

        QTest::newRow("missing-file") << "no-such.ini" << "" << 0 << qint16(0) << kDefaults;
        QTest::newRow("zeros-give-defaults") << "zeros.ini" << "" << 0 << qint16(0) << kDefaults;
        QTest::newRow("full-file-other-sections-ignored")
            << "full.ini" << "" << 0 << qint16(0) << "timer=250 cols=1,1,1,1,0,1 interval=7 date=[Mon Mar 04 2024] time=[06:30:00] sort=1";
        // SortOrder 70000 does not fit 16 bits and counts as missing.
        QTest::newRow("garbage-values")
            << "garbage.ini" << "" << 0 << qint16(0) << "timer=500 cols=0,0,-1,2,0,1 interval=0 date=[Sun Jun 09 2024] time=[14:05:03] sort=0";
        QTest::newRow("out-of-range-and-short-texts")
            << "out-of-range.ini" << "" << 0 << qint16(0) << "timer=500 cols=0,0,1,0,0,1 interval=0 date=[Mon] time=[6:30] sort=1";
        // The switches, "Interval" and "SortOrder" change in place; comments, other keys and sections stay.
        QTest::newRow("save-keeps-the-rest-of-the-file")
            << "full.ini" << "011011" << 2 << qint16(0) << "timer=250 cols=0,1,1,0,1,1 interval=2 date=[Mon Mar 04 2024] time=[06:30:00] sort=0";
        QTest::newRow("save-creates-missing-file")
            << "new.ini" << "101001" << 6 << qint16(1) << "timer=500 cols=1,0,1,0,0,1 interval=6 date=[Sun Jun 09 2024] time=[14:05:03] sort=1";
        QTest::newRow("unchecked-columns-come-back-with-durations")
            << "new.ini" << "000000" << 7 << qint16(0) << "timer=500 cols=0,0,1,0,0,1 interval=7 date=[Sun Jun 09 2024] time=[14:05:03] sort=0";
        // A greyed box (2) hides its column and comes back greyed.
        QTest::newRow("greyed-column-saved-and-loaded-as-2")
            << "new.ini" << "200021" << 0 << qint16(0) << "timer=500 cols=2,0,1,0,2,1 interval=0 date=[Sun Jun 09 2024] time=[14:05:03] sort=0";
#ifdef Q_OS_UNIX
        // Windows takes "bin/.." away before it looks for the folder.
        QTest::newRow("save-into-missing-folder-is-harmless") << "bin/../new.ini" << "111111" << 3 << qint16(1) << kDefaults;
#endif
    }

    void saveAndLoad()
    {
        QFETCH(QString, file);
        QFETCH(QString, columns);
        QFETCH(int, interval);
        QFETCH(qint16, sortOrder);
        QFETCH(QString, expected);

        QTemporaryDir dir;
        AppState state;
        state.SettingsFile = dir.filePath(file);
        const QString fixture = VORN_TEST_DATA_DIR "/" + file;
        QFile::copy(fixture, state.SettingsFile);
        if (!columns.isEmpty()) {
            std::array<int, 6> showCol{};
            for (int i = 0; i < 6; ++i)
                showCol[i] = columns[i].digitValue();
            QCOMPARE(SaveSettings(state, showCol, interval, sortOrder).ok(), expected != kDefaults);
            if (QFile::exists(fixture))
                QCOMPARE(readFile(state.SettingsFile), readFile(QString(fixture).replace(".ini", ".saved.ini")));
        }
        QCOMPARE(loaded(state.SettingsFile), expected);
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
