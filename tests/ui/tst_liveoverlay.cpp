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
// flashes after a tick, collapsed groups across refills, sort changes and
// restarts (the stale-data banner is tried where tables are missing, in the
// window's own suite).
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
            QVERIFY(window->banner()->isHidden());
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
