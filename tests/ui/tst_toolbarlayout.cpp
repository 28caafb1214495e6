#include "toolbarlayout.h"

#include <QTest>

using namespace vorn;

Q_DECLARE_METATYPE(vorn::Command)

class tst_ToolbarLayout : public QObject {
    Q_OBJECT
private slots:
    void dispatch_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<Command>("expected");

        QTest::newRow("online") << QStringLiteral("online") << Command::OnlineToggle;
        QTest::newRow("machine") << QStringLiteral("machine") << Command::SortByMachine;
        QTest::newRow("part") << QStringLiteral("part") << Command::SortByPart;
        QTest::newRow("clean") << QStringLiteral("clean") << Command::Clean;
        QTest::newRow("save") << QStringLiteral("save") << Command::SaveAs;
        QTest::newRow("open") << QStringLiteral("open") << Command::Open;
        QTest::newRow("placeholder-does-nothing") << QStringLiteral("show") << Command::None;
        QTest::newRow("key-case-matters") << QStringLiteral("Online") << Command::None;
        QTest::newRow("key-with-blank") << QStringLiteral("save ") << Command::None;
        QTest::newRow("empty-key") << QString() << Command::None;
    }

    void dispatch()
    {
        QFETCH(QString, key);
        QFETCH(Command, expected);
        QCOMPARE(CommandForToolbarKey(key), expected);
    }

    // Every command button's picture must exist in the image list, and the
    // image list must hold exactly the six pictures the buttons use.
    void everyPictureKeyIsInTheImageList()
    {
        QStringList imageKeys;
        for (const ImageSpec &image : ImageListPictures())
            imageKeys << image.key;
        QStringList used;
        for (const ToolbarButtonSpec &button : ToolbarButtons()) {
            if (button.style == ToolbarButtonStyle::Check) {
                QVERIFY2(imageKeys.contains(button.pictureKey), qPrintable(button.key));
                used << button.pictureKey;
            }
        }
        used.sort();
        imageKeys.sort();
        QCOMPARE(used, imageKeys);
    }
};

QTEST_GUILESS_MAIN(tst_ToolbarLayout)
#include "tst_toolbarlayout.moc"
