#include "settings.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

using namespace vorn;

namespace {

const QDateTime kNow(QDate(2024, 6, 9), QTime(14, 5, 3));

QString fixture(const QString &name)
{
    return QStringLiteral(VORN_TEST_DATA_DIR "/") + name;
}

// One line per loaded state, so that a whole load compares at once.
QString describe(const AppState &s)
{
    return QStringLiteral("timer=%1 cols=%2%3%4%5%6%7 interval=%8 date=[%9] time=[%10]")
        .arg(s.TimerInterval)
        .arg(s.PlanBegVisible)
        .arg(s.PlanEndVisible)
        .arg(s.PlanDurVisible)
        .arg(s.ActBegVisible)
        .arg(s.ActEndVisible)
        .arg(s.ActDurVisible)
        .arg(s.IntervalIndex)
        .arg(s.BaseDate, s.BaseTime);
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class SettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void load_data();
    void load();
    void baseTextsAreEnglishAnyLocale_data();
    void baseTextsAreEnglishAnyLocale();
    void saveKeepsTheRestOfTheFile();
    void saveCreatesMissingFile();
    void uncheckedColumnsComeBackWithDurations();
    void saveIntoMissingFolderIsHarmless();
    void readSortOrder_data();
    void readSortOrder();
};

void SettingsTest::load_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected");
    const QString defaults = QStringLiteral(
        "timer=500 cols=001001 interval=0 date=[Sun Jun 09 2024] time=[14:05:03]");
    QTest::newRow("missing-file") << "no-such.ini" << defaults;
    QTest::newRow("empty-file") << "empty.ini" << defaults;
    QTest::newRow("zeros-give-defaults") << "zeros.ini" << defaults;
    QTest::newRow("full-file-other-sections-ignored")
        << "full.ini"
        << "timer=250 cols=111101 interval=7 date=[Mon Mar 04 2024] time=[06:30:00]";
    QTest::newRow("section-in-lower-case")
        << "lower-section.ini"
        << "timer=1000 cols=001001 interval=3 date=[Tue Jan 02 2024] time=[22:15:09]";
    QTest::newRow("garbage-values")
        << "garbage.ini"
        << "timer=500 cols=001101 interval=0 date=[Sun Jun 09 2024] time=[14:05:03]";
    QTest::newRow("out-of-range-and-short-texts")
        << "out-of-range.ini" << "timer=500 cols=001001 interval=0 date=[Mon] time=[6:30]";
}

void SettingsTest::load()
{
    QFETCH(QString, file);
    QFETCH(QString, expected);
    AppState state;
    state.SettingsFile = fixture(file);
    LoadSettings(state, kNow);
    QCOMPARE(describe(state), expected);
}

void SettingsTest::baseTextsAreEnglishAnyLocale_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::newRow("new-year-midnight") << QDateTime(QDate(2024, 1, 1), QTime(0, 0, 0))
                                       << "Mon Jan 01 2024" << "00:00:00";
    QTest::newRow("evening-24-hour") << QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59))
                                     << "Sun Dec 31 2023" << "23:59:59";
    QTest::newRow("milliseconds-dropped") << QDateTime(QDate(2024, 9, 5), QTime(7, 8, 9, 999))
                                          << "Thu Sep 05 2024" << "07:08:09";
}

void SettingsTest::baseTextsAreEnglishAnyLocale()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, date);
    QFETCH(QString, time);
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    AppState state;
    state.SettingsFile = fixture(QStringLiteral("empty.ini"));
    LoadSettings(state, when);
    QLocale::setDefault(saved);
    QCOMPARE(state.BaseDate, date);
    QCOMPARE(state.BaseTime, time);
}

void SettingsTest::saveKeepsTheRestOfTheFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    AppState state;
    state.SettingsFile = dir.filePath(QStringLiteral("VornSched.ini"));
    QVERIFY(QFile::copy(fixture(QStringLiteral("full.ini")), state.SettingsFile));
    const IniWriteResult result = SaveSettings(state, {0, 1, 1, 0, 1, 1}, 2, 0);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(readBytes(state.SettingsFile), readBytes(fixture(QStringLiteral("full.saved.ini"))));
}

void SettingsTest::saveCreatesMissingFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    AppState state;
    state.SettingsFile = dir.filePath(QStringLiteral("VornSched.ini"));
    QVERIFY(SaveSettings(state, {1, 0, 1, 0, 0, 1}, 6, 1).ok);
    QCOMPARE(readBytes(state.SettingsFile),
             QByteArray("[SCHEDULER]\nPlanBegVisible=1\nPlanEndVisible=0\nPlanDurVisible=1\n"
                        "ActBegVisible=0\nActEndVisible=0\nActDurVisible=1\nInterval=6\n"
                        "SortOrder=1\n"));
    QCOMPARE(ReadSortOrder(state.SettingsFile), qint16(1));
}

void SettingsTest::uncheckedColumnsComeBackWithDurations()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    AppState state;
    state.SettingsFile = dir.filePath(QStringLiteral("VornSched.ini"));
    QVERIFY(SaveSettings(state, {0, 0, 0, 0, 0, 0}, 7, 0).ok);
    AppState next;
    next.SettingsFile = state.SettingsFile;
    LoadSettings(next, kNow);
    QCOMPARE(describe(next),
             QStringLiteral(
                 "timer=500 cols=001001 interval=7 date=[Sun Jun 09 2024] time=[14:05:03]"));
}

void SettingsTest::saveIntoMissingFolderIsHarmless()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    AppState state;
    state.SettingsFile = dir.filePath(QStringLiteral("bin/../data/VornSched.ini"));
    QVERIFY(!SaveSettings(state, {1, 1, 1, 1, 1, 1}, 0, 1).ok);
    LoadSettings(state, kNow);
    QCOMPARE(state.TimerInterval, qint16(500));
}

void SettingsTest::readSortOrder_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint16>("sortOrder");
    QTest::newRow("one") << QByteArray("[SCHEDULER]\nSortOrder=1\n") << qint16(1);
    QTest::newRow("zero") << QByteArray("[SCHEDULER]\nSortOrder=0\n") << qint16(0);
    QTest::newRow("five-counts-as-one") << QByteArray("[SCHEDULER]\nSortOrder=5\n") << qint16(1);
    QTest::newRow("minus-one-counts-as-one")
        << QByteArray("[SCHEDULER]\nSortOrder=-1\n") << qint16(1);
    QTest::newRow("section-lower-case") << QByteArray("[scheduler]\nsortorder=1\n") << qint16(1);
    QTest::newRow("missing-key") << QByteArray("[SCHEDULER]\nInterval=1\n") << qint16(0);
    QTest::newRow("garbage") << QByteArray("[SCHEDULER]\nSortOrder=machine\n") << qint16(0);
    QTest::newRow("beyond-16-bit-is-missing")
        << QByteArray("[SCHEDULER]\nSortOrder=65536\n") << qint16(0);
    QTest::newRow("missing-file") << QByteArray() << qint16(0);
}

void SettingsTest::readSortOrder()
{
    QFETCH(QByteArray, content);
    QFETCH(qint16, sortOrder);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("VornSched.ini"));
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QCOMPARE(ReadSortOrder(path), sortOrder);
}

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
