#include "secondstext.h"

#include <QTest>

#include <thread>

using namespace vorn::model;

class TestSecondsText : public QObject {
    Q_OBJECT

private slots:
    void converts_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("overflow");
        QTest::addColumn<QVariant>("value"); // of SecondsValue; invalid when there is none

        QTest::newRow("under-a-minute") << "59" << "00:00:59" << false << QVariant(59);
        QTest::newRow("one-hour") << "3600" << "01:00:00" << false << QVariant(3600);
        QTest::newRow("last-second-of-the-day") << "86399" << "23:59:59" << false << QVariant(86399);
        QTest::newRow("hours-not-wrapped-at-24") << "90000" << "25:00:00" << false << QVariant(90000);
        QTest::newRow("last-convertible") << "331199" << "91:59:59" << false << QVariant(331199);
        QTest::newRow("first-overflow-still-a-value") << "331200" << "" << true << QVariant(331200);
        QTest::newRow("first-overflow-negative") << "-331200" << "" << true << QVariant(-331200);
        QTest::newRow("zero-is-a-value-without-text") << "0" << "" << false << QVariant(0);
        QTest::newRow("empty") << "" << "" << false << QVariant();
        QTest::newRow("blanks") << "   " << "" << false << QVariant();
        QTest::newRow("half-down-to-even") << "12.5" << "00:00:12" << false << QVariant(12);
        QTest::newRow("half-up-to-even") << "13.5" << "00:00:14" << false << QVariant(14);
        QTest::newRow("negative-seconds-only") << "-30" << "00:00:-30" << false << QVariant(-30);
        QTest::newRow("negative-every-part") << "-3700" << "-01:-01:-40" << false << QVariant(-3700);
        QTest::newRow("surrounding-white-space") << " \t120\r\n" << "00:02:00" << false << QVariant(120);
        QTest::newRow("exponent-signed-with-fraction") << "1.2E+2" << "00:02:00" << false << QVariant(120);
        QTest::newRow("exponent-of-one-digit-unsigned") << "2.5e1" << "00:00:25" << false << QVariant(25);
        // Below any double, however large the exponent that brings it back up part of the way.
        QTest::newRow("underflow-with-positive-exponent") << "0." + QString(409, u'0') + "1e10" << "" << false << QVariant(0);
        QTest::newRow("beyond-any-double-by-its-digits-signed-exponent") << "1" + QString(400, u'0') + "e-10" << "" << true << QVariant();
        // Past any double only by the exponent's first digit, which has no sign before it.
        QTest::newRow("beyond-any-double-fraction-unsigned-exponent") << "0.00001e9000" << "" << true << QVariant();
        QTest::newRow("beyond-int32-by-rounding") << "2147483647.5" << "" << true << QVariant();
        QTest::newRow("beyond-int32") << "2147483648" << "" << true << QVariant();
        QTest::newRow("lowest-int32-is-a-value") << "-2147483648" << "" << true << QVariant(std::numeric_limits<qint32>::min());
        QTest::newRow("eleven-digits") << "10000000000" << "" << true << QVariant();
        QTest::newRow("difference-of-two-int32") << "-4294967294" << "" << true << QVariant();
        QTest::newRow("thousands-separator") << "1,000" << "" << false << QVariant();
        QTest::newRow("full-width-digits") << QString::fromUtf8("\xef\xbc\x96\xef\xbc\x90") << "" << false << QVariant();
    }

    // Grid text, table bytes and a computed number of seconds must all come out alike.
    void converts()
    {
        QFETCH(QString, input);
        QFETCH(QString, text);
        QFETCH(bool, overflow);
        QFETCH(QVariant, value);
        const std::optional<qint32> expected = value.isValid() ? std::optional(value.toInt()) : std::nullopt;
        const auto checkText = [&](const auto &convert) {
            bool reported = !overflow;
            QCOMPARE(convert(&reported), text);
            QCOMPARE(reported, overflow);
        };
        // A field is read where it lies in its record: what the next field starts with never counts.
        for (const char next : {'7', '.', 'e', '-', ' '}) {
            const QString inRecord = input + QLatin1Char(next);
            const QByteArray bytes = inRecord.toUtf8();
            const QStringView field = QStringView(inRecord).chopped(1);
            const QByteArrayView fieldBytes = QByteArrayView(bytes).chopped(1);
            checkText([&](bool *o) { return SecondsText(field, o); });
            checkText([&](bool *o) { return SecondsText(fieldBytes, o); });
            QCOMPARE(SecondsValue(field), expected);
            QCOMPARE(SecondsValue(fieldBytes), expected);
        }
        bool integer = false;
        if (const qint64 seconds = input.toLongLong(&integer); integer) {
            checkText([&](bool *o) { return SecondsTextOfValue(seconds, o); });
            // The kept text of a value, asked for twice, also from another thread.
            if (seconds == qint32(seconds)) {
                const QString shown = overflow ? QString() : text;
                QCOMPARE(KeptSecondsText(qint32(seconds)), shown);
                QString elsewhere;
                std::thread([&] { elsewhere = KeptSecondsText(qint32(seconds)); }).join();
                QCOMPARE(elsewhere, shown);
            }
        }
    }

    // Eight-character texts fill a block of 65,536 characters to its last few: as many as fit with
    // their terminators, not one more; the one that would end past it starts the next block.
    void keptTextsFillBlockAfterBlock()
    {
        const QChar *next = nullptr;
        int inBlock = 0, mostInBlock = 0;
        for (qint32 seconds = 200000; seconds < 216000; ++seconds) {
            const QString kept = KeptSecondsText(seconds);
            QCOMPARE(kept, SecondsTextOfValue(seconds));
            inBlock = kept.constData() == next ? inBlock + 1 : 1;
            mostInBlock = std::max(mostInBlock, inBlock);
            next = kept.constData() + 9;
        }
        QCOMPARE(mostInBlock, 65536 / 9);
    }
};

QTEST_GUILESS_MAIN(TestSecondsText)
#include "tst_secondstext.moc"
