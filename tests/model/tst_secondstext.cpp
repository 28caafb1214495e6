#include "secondstext.h"

#include <QTest>

using namespace vorn::model;

class TestSecondsText : public QObject {
    Q_OBJECT

private slots:
    void convertsText_data();
    void convertsText();
    void convertsComputedSeconds_data();
    void convertsComputedSeconds();
    void readsValue_data();
    void readsValue();
};

void TestSecondsText::convertsText_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("overflow");

    QTest::newRow("under-a-minute") << "59" << "00:00:59" << false;
    QTest::newRow("one-hour") << "3600" << "01:00:00" << false;
    QTest::newRow("hours-not-wrapped-at-24") << "90000" << "25:00:00" << false;
    QTest::newRow("last-convertible") << "331199" << "91:59:59" << false;
    QTest::newRow("first-overflow") << "331200" << "" << true;
    QTest::newRow("last-convertible-negative") << "-331199" << "-91:-59:-59" << false;
    QTest::newRow("first-overflow-negative") << "-331200" << "" << true;
    QTest::newRow("zero") << "0" << "" << false;
    QTest::newRow("empty") << "" << "" << false;
    QTest::newRow("half-down-to-even") << "12.5" << "00:00:12" << false;
    QTest::newRow("half-up-to-even") << "13.5" << "00:00:14" << false;
    QTest::newRow("negative-half-to-even") << "-12.5" << "00:00:-12" << false;
    QTest::newRow("half-rounds-to-zero") << "0.5" << "" << false;
    QTest::newRow("negative-seconds-only") << "-30" << "00:00:-30" << false;
    QTest::newRow("negative-every-part") << "-3700" << "-01:-01:-40" << false;
    QTest::newRow("surrounding-blanks") << "  120  " << "00:02:00" << false;
    QTest::newRow("tab-and-newline") << "\t120\r\n" << "00:02:00" << false;
    QTest::newRow("exponent") << "1e3" << "00:16:40" << false;
    QTest::newRow("exponent-signed-with-fraction") << "1.2E+2" << "00:02:00" << false;
    QTest::newRow("many-leading-zeros") << "000000000000000000000000060" << "00:01:00" << false;
    QTest::newRow("beyond-int32") << "2147483648" << "" << true;
    QTest::newRow("eleven-digits") << "99999999999" << "" << true;
    QTest::newRow("below-double") << "1e-400" << "" << false;
    QTest::newRow("huge-mantissa-tiny-exponent") << QString(400, u'9') + "e-398" << "00:01:40" << false;

    QTest::newRow("letters") << "abc" << "" << false;
    QTest::newRow("thousands-separator") << "1,000" << "" << false;
    QTest::newRow("hexadecimal") << "0x10" << "" << false;
    QTest::newRow("infinity") << "inf" << "" << false;
    QTest::newRow("blank-inside") << "1 2" << "" << false;
    QTest::newRow("full-width-digits") << QString::fromUtf8("\xef\xbc\x96\xef\xbc\x90") << "" << false;
}

// Both entry points must agree: text read from the grid and bytes read from a table.
void TestSecondsText::convertsText()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QFETCH(bool, overflow);

    bool reported = !overflow;
    QCOMPARE(SecondsText(QStringView(input), &reported), expected);
    QCOMPARE(reported, overflow);

    const QByteArray bytes = input.toUtf8();
    reported = !overflow;
    QCOMPARE(SecondsText(QByteArrayView(bytes), &reported), expected);
    QCOMPARE(reported, overflow);

    QCOMPARE(SecondsText(QStringView(input)), expected);
}

void TestSecondsText::convertsComputedSeconds_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("overflow");

    QTest::newRow("difference-of-aggregates") << qint64(800) << "00:13:20" << false;
    QTest::newRow("zero") << qint64(0) << "" << false;
    QTest::newRow("negative-duration") << qint64(-100) << "00:-01:-40" << false;
    QTest::newRow("last-convertible") << qint64(331199) << "91:59:59" << false;
    QTest::newRow("first-overflow") << qint64(331200) << "" << true;
    QTest::newRow("difference-beyond-int32") << qint64(2147483647) * 2 << "" << true;
}

void TestSecondsText::convertsComputedSeconds()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, expected);
    QFETCH(bool, overflow);

    bool reported = !overflow;
    QCOMPARE(SecondsTextOfValue(seconds, &reported), expected);
    QCOMPARE(reported, overflow);
}

void TestSecondsText::readsValue_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("numeric");
    QTest::addColumn<qint32>("value");

    QTest::newRow("zero-is-a-value") << "0" << true << 0;
    QTest::newRow("half-to-even-down") << " 2.5 " << true << 2;
    QTest::newRow("blanks-are-no-value") << "   " << false << 0;
    QTest::newRow("beyond-time-limit-still-a-value") << "400000" << true << 400000;
    QTest::newRow("int32-max-by-rounding") << "2147483647.4" << true << std::numeric_limits<qint32>::max();
    QTest::newRow("beyond-int32-by-rounding") << "2147483647.5" << false << 0;
    QTest::newRow("beyond-int32") << "-2147483649" << false << 0;
    QTest::newRow("text") << "n/a" << false << 0;
}

void TestSecondsText::readsValue()
{
    QFETCH(QString, input);
    QFETCH(bool, numeric);
    QFETCH(qint32, value);

    const std::optional<qint32> fromText = SecondsValue(QStringView(input));
    const std::optional<qint32> fromBytes = SecondsValue(QByteArrayView(input.toLatin1()));
    QCOMPARE(fromText.has_value(), numeric);
    QCOMPARE(fromBytes.has_value(), numeric);
    if (numeric) {
        QCOMPARE(*fromText, value);
        QCOMPARE(*fromBytes, value);
    }
}

QTEST_GUILESS_MAIN(TestSecondsText)
#include "tst_secondstext.moc"
