#include "schedulexml.h"
#include "scheduletable.h"

#include "dbftable.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(vorn::model::XmlVariant)

using namespace vorn;
using namespace vorn::model;

namespace {

const char *const kTags[] = {"Part", "Process", "Machine", "Order", "StartP", "FinishP",
                             "DurationP", "StartA", "FinishA", "DurationA", "StatusFinish"};

// The content of one element of the first row.
QString element(const QString &xml, const QString &tag)
{
    const QString open = u'<' + tag + u'>';
    const qsizetype begin = xml.indexOf(open);
    const qsizetype end = xml.indexOf(QStringLiteral("</") + tag + u'>', begin);
    if (begin < 0 || end < 0)
        return QStringLiteral("<missing>");
    return xml.mid(begin + open.size(), end - begin - open.size());
}

} // namespace

class TestScheduleXml : public QObject {
    Q_OBJECT

private slots:
    void init();
    void pinsWorkedExample_data();
    void pinsWorkedExample();
    void writesFieldContent_data();
    void writesFieldContent();
    void writesEveryRecordInOrder();
    void emptyTable_data();
    void emptyTable();

private:
    QString tablePath(const char *name) const { return m_dir->filePath(QString::fromLatin1(name)); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestScheduleXml::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestScheduleXml::pinsWorkedExample_data()
{
    QTest::addColumn<XmlVariant>("variant");
    QTest::addColumn<QString>("expected");

    QTest::newRow("fill-writes-empty-times-empty")
        << XmlVariant::Fill
        << "<DataView><DataTable><DataRow><Part>Gear</Part><Process>Milling</Process>"
           "<Machine>Mill1</Machine><Order></Order><StartP>120</StartP><FinishP>480</FinishP>"
           "<DurationP>360</DurationP><StartA>130</StartA><FinishA></FinishA>"
           "<DurationA></DurationA><StatusFinish></StatusFinish></DataRow></DataTable></DataView>";
    QTest::newRow("refresh-writes-empty-times-as-zero")
        << XmlVariant::Refresh
        << "<DataView><DataTable><DataRow><Part>Gear</Part><Process>Milling</Process>"
           "<Machine>Mill1</Machine><Order></Order><StartP>120</StartP><FinishP>480</FinishP>"
           "<DurationP>360</DurationP><StartA>130</StartA><FinishA>0</FinishA>"
           "<DurationA>0</DurationA><StatusFinish></StatusFinish></DataRow></DataTable></DataView>";
}

void TestScheduleXml::pinsWorkedExample()
{
    QFETCH(XmlVariant, variant);
    QFETCH(QString, expected);

    store::DbfTable table;
    const QString error = testing::makeScheduleTable(
        table, tablePath("Scheduler.dbf"),
        {testing::recordFrom(QStringLiteral("Gear;Milling;Mill1;;120;480;360;130"))});
    QVERIFY2(error.isEmpty(), qPrintable(error));

    QCOMPARE(BuildScheduleXml(table, variant), expected);
}

void TestScheduleXml::writesFieldContent_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<quint8>("languageDriver");
    QTest::addColumn<QString>("fill");
    QTest::addColumn<QString>("refresh");

    const quint8 cp1252 = 0x57;
    const quint8 gbk = 0x7A;
    QTest::newRow("part-keeps-leading-blanks") << 1 << "  Gear  " << cp1252 << "  Gear" << "  Gear";
    QTest::newRow("process-loses-both-blanks") << 2 << "  Milling  " << cp1252 << "Milling" << "Milling";
    QTest::newRow("machine-keeps-leading-blanks") << 3 << " Mill1 " << cp1252 << " Mill1" << " Mill1";
    QTest::newRow("time-loses-both-blanks") << 5 << "  120 " << cp1252 << "120" << "120";
    QTest::newRow("time-blanks-only") << 6 << "     " << cp1252 << "" << "0";
    QTest::newRow("time-zero-stays-zero") << 7 << "0" << cp1252 << "0" << "0";
    QTest::newRow("time-not-rounded") << 8 << "12.5" << cp1252 << "12.5" << "12.5";
    QTest::newRow("time-non-numeric-unchanged") << 9 << "n/a" << cp1252 << "n/a" << "n/a";
    QTest::newRow("status-loses-both-blanks") << 11 << " done " << cp1252 << "done" << "done";
    QTest::newRow("ampersand-not-escaped") << 1 << "R&D <1>" << cp1252 << "R&D <1>" << "R&D <1>";
    QTest::newRow("cp1252-letters") << 3 << QString::fromUtf8("Fr\xc3\xa4se  ") << cp1252
                                    << QString::fromUtf8("Fr\xc3\xa4se") << QString::fromUtf8("Fr\xc3\xa4se");
    QTest::newRow("gbk-with-blanks") << 2 << QString::fromUtf8("  \xe9\xbd\xbf\xe8\xbd\xae ") << gbk
                                     << QString::fromUtf8("\xe9\xbd\xbf\xe8\xbd\xae")
                                     << QString::fromUtf8("\xe9\xbd\xbf\xe8\xbd\xae");
    QTest::newRow("tab-is-not-a-blank") << 2 << "\tMilling" << cp1252 << "\tMilling" << "\tMilling";
}

void TestScheduleXml::writesFieldContent()
{
    QFETCH(int, position);
    QFETCH(QString, stored);
    QFETCH(quint8, languageDriver);
    QFETCH(QString, fill);
    QFETCH(QString, refresh);

    QList<QString> record = testing::recordFrom(QStringLiteral("P;Proc;M;O;1;2;3;4;5;6;S"));
    record[position - 1] = stored;
    store::DbfTable table;
    const QString error = testing::makeScheduleTable(table, tablePath("Scheduler.dbf"), {record},
                                                     languageDriver);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    const QString tag = QString::fromLatin1(kTags[position - 1]);
    QCOMPARE(element(BuildScheduleXml(table, XmlVariant::Fill), tag), fill);
    QCOMPARE(element(BuildScheduleXml(table, XmlVariant::Refresh), tag), refresh);
}

// Records go out in record order whether or not the grid would show them.
void TestScheduleXml::writesEveryRecordInOrder()
{
    store::DbfTable table;
    const QString error = testing::makeScheduleTable(
        table, tablePath("Scheduler.dbf"),
        {testing::recordFrom(QStringLiteral("C;;;")), testing::recordFrom(QStringLiteral("A;;;")),
         testing::recordFrom(QStringLiteral("B;;;"))});
    QVERIFY2(error.isEmpty(), qPrintable(error));

    const QString xml = BuildScheduleXml(table, XmlVariant::Fill);
    QStringList parts;
    static const QRegularExpression part(QStringLiteral("<DataRow><Part>([^<]*)</Part>"));
    for (const QRegularExpressionMatch &match : part.globalMatch(xml))
        parts << match.captured(1);
    QCOMPARE(parts, QStringList({"C", "A", "B"}));
    QVERIFY(!xml.contains(u'\n'));
    QVERIFY(!xml.contains(QStringLiteral("/>")));
}

void TestScheduleXml::emptyTable_data()
{
    QTest::addColumn<XmlVariant>("variant");
    QTest::addColumn<QString>("expected");

    QTest::newRow("fill-sends-bare-frame") << XmlVariant::Fill
                                           << "<DataView><DataTable></DataTable></DataView>";
    QTest::newRow("refresh-sends-nothing") << XmlVariant::Refresh << "";
}

void TestScheduleXml::emptyTable()
{
    QFETCH(XmlVariant, variant);
    QFETCH(QString, expected);

    store::DbfTable table;
    const QString error = testing::makeScheduleTable(table, tablePath("Scheduler.dbf"), {});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(BuildScheduleXml(table, variant), expected);
}

QTEST_GUILESS_MAIN(TestScheduleXml)
#include "tst_schedulexml.moc"
