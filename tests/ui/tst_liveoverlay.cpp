#include "liveoverlay.h"
#include "stalebanner.h"
#include "texts.h"
#include "uiplant.h"

using namespace vorn;
using namespace vorn::test;

namespace {

// Hidden flags of the body rows: "h" hidden, "." shown.
QString hidden(const frmScheduler &window)
{
    const chart::GridData &grid = window.fg()->data();
    QString flags;
    for (int r = 2; r < grid.rows(); ++r)
        flags += grid.rowHidden(r) ? u'h' : u'.';
    return flags;
}

} // namespace

// The live overlays in the window: the Display menu switch and its setting,
// the stale-data banner, flashes after a tick, collapsed groups across
// refills, sort changes and restarts.
class tst_LiveOverlay : public QObject {
    Q_OBJECT
private slots:
    void init() { SetLanguage(LanguageEnglish); }

    // Three starts: on and closed unchanged, switched off, off again.
    void switchPersistsOnlyWhenChanged()
    {
        Plant plant;
        plant.writeTables(demoOps);
        for (int start = 0; start < 3; ++start) {
            auto window = plant.load();
            QCOMPARE(window->menuItem("mnuLiveOverlays")->isChecked(), start < 2);
            QCOMPARE(window->overlay()->enabled(), start < 2);
            if (start == 1) {
                window->menuItem("mnuLiveOverlays")->trigger();
                QVERIFY(!window->menuItem("mnuLiveOverlays")->isChecked());
                QVERIFY(!window->overlay()->enabled() && !window->menuItem("mnuCollapseAll")->isEnabled());
            }
            window->close();
            const QByteArray ini = readFile(plant.dataFile("VornSched.ini"));
            QCOMPARE(ini.contains("LiveOverlays"), start > 0);
            QCOMPARE(ini.contains("LiveOverlays=0"), start > 0);
        }
    }

    // The banner's texts are the overlay model's; the window shows it above
    // the grid while the live table cannot be read, and not once switched off.
    void bannerSaysWhatIsWrong()
    {
        Plant plant;
        auto window = plant.loadDemo();
        window->show();
        QVERIFY(window->banner()->isHidden());
        const QRect gridPlace = window->fg()->geometry();

        MessageRecorder messages;
        QVERIFY(QFile::remove(plant.dataFile("Scheduler.dbf")));
        window->Timer1_Timer();
        // The message box of a failed open stays as it always was.
        QCOMPARE(messages.texts, QStringList{GetText(60)});
        QVERIFY2(QRegularExpression("^Schedule table unreadable since \\d\\d:\\d\\d:\\d\\d$").match(window->banner()->text()).hasMatch(),
                 qPrintable(window->banner()->text()));
        QVERIFY(window->banner()->isVisible());
        QCOMPARE(window->banner()->geometry().top(), gridPlace.top());
        QCOMPARE(window->fg()->geometry().top(), window->banner()->geometry().bottom() + 1);

        window->LiveOverlaysCommand();
        QVERIFY(window->banner()->isHidden());
        QCOMPARE(window->fg()->geometry(), gridPlace);
    }

    // Collapsed groups survive refills, sort changes and restarts. A tick
    // that moves a planned time flashes its rows; a refill starts afresh.
    void collapsedGroupsSurviveRefillsSortChangesAndRestarts()
    {
        Plant plant;
        plant.writeTables(demoOps);
        {
            auto window = plant.load();
            QCOMPARE(window->state().SortOrder, qint16(0)); // by part: P1(O7) [Mill1, Lathe2], P2 [Lathe2]
            QCOMPARE(hidden(*window), QStringLiteral("....."));
            window->show();
            QTest::mouseClick(window->fg()->viewport(), Qt::LeftButton, {}, window->fg()->cellRect(2, 0).center());
            QCOMPARE(hidden(*window), QStringLiteral(".hh.."));

            window->Timer1_Timer();
            QVERIFY(window->overlay()->flashes().flashes().empty());

            // Hidden rows are refreshed all the same.
            QList<Op> later = demoOps;
            later[2].startA = 510;
            later[1].finishP = 1000; // P2 on Lathe2: its group row 5 and its row 6
            writeSchedule(plant.dataFile("Scheduler.dbf"), later);
            window->Timer1_Timer();
            QCOMPARE(window->fg()->data().text(4, 5), QStringLiteral("00:08:30"));
            QCOMPARE(hidden(*window), QStringLiteral(".hh.."));
            QStringList rows;
            for (const auto &flash : window->overlay()->flashes().flashes())
                rows << QStringLiteral("%1:%2").arg(flash.row).arg(flash.oldFinish);
            rows.sort();
            QCOMPARE(rows, (QStringList{"5:00:15:00", "6:00:15:00"}));
            window->FillTree(window->state().SortOrder);
            QVERIFY(window->overlay()->flashes().flashes().empty());
            QCOMPARE(hidden(*window), QStringLiteral(".hh.."));

            window->SortBy(1);
            QCOMPARE(hidden(*window), QStringLiteral("....."));
            window->SortBy(0);
            QCOMPARE(hidden(*window), QStringLiteral(".hh.."));

            // Off shows every row and leaves the commands alone; on again hides.
            window->LiveOverlaysCommand();
            QCOMPARE(hidden(*window), QStringLiteral("....."));
            window->CollapseAllCommand(false);
            window->LiveOverlaysCommand();
            QCOMPARE(hidden(*window), QStringLiteral(".hh.."));
            window->CollapseAllCommand(true);
            QCOMPARE(hidden(*window), QStringLiteral(".hh.h"));
            window->close();
        }
        auto window = plant.load();
        QCOMPARE(hidden(*window), QStringLiteral(".hh.h"));
        window->CollapseAllCommand(false);
        QCOMPARE(hidden(*window), QStringLiteral("....."));
    }
};

QTEST_MAIN(tst_LiveOverlay)
#include "tst_liveoverlay.moc"
