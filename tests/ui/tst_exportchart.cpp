// File > Export: what lands in the file, what a failed write leaves, and the
// folder the dialog comes back to.

#include "exportchart.h"
#include "uiplant.h"

using namespace vorn;
using namespace vorn::test;

class ExportChartTest : public QObject {
    Q_OBJECT

private slots:
    void csvHoldsTheGridAsShown()
    {
        Plant plant;
        plant.writeTables({{"P1", "M1", "O1", 3600, 7200, 3700, 7300}});
        auto window = plant.load();
        const QString path = plant.dir.path() + "/out.csv";
        QVERIFY(ExportSchedule(*window->fg(), path).ok);
        const QStringList lines = QString::fromUtf8(readFile(path)).split("\r\n");
        QCOMPARE(lines.mid(0, 3), QStringList({"Row,Part/Machine,Planned Duration,Actual Duration",
                                                "Group,P1(O1),01:00:00,01:00:00", "Operation,M1,01:00:00,01:00:00"}));
    }

    void failedWriteSaysWhyAndLeavesNothing_data()
    {
        QTest::addColumn<QString>("target"); // below the plant folder
        QTest::newRow("folder-missing") << "missing/out.csv";
        QTest::newRow("target-is-a-folder") << "taken.csv";
    }

    void failedWriteSaysWhyAndLeavesNothing()
    {
        QFETCH(QString, target);
        Plant plant;
        plant.writeTables({{"P1", "M1", "O1", 3600, 7200, 3700, 0}});
        QVERIFY(QDir(plant.dir.path()).mkdir("taken.csv"));
        auto window = plant.load();
        const QStringList before = QDir(plant.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        const ExportResult result = ExportSchedule(*window->fg(), plant.dir.path() + "/" + target);
        QVERIFY(!result.ok);
        QVERIFY(!result.reason.isEmpty());
        QCOMPARE(QDir(plant.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        QCOMPARE(QDir(plant.dir.path() + "/taken.csv").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    void dialogComesBackToTheLastFolder()
    {
        Plant plant;
        const QString folder = plant.dir.path() + "/导出 reports";
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(ExportFolder(plant.state), QDir::currentPath()); // nothing remembered yet
        RememberExportFolder(plant.state, folder);
        QCOMPARE(ExportFolder(plant.state), folder);
        QVERIFY(QDir(folder).removeRecursively());
        QCOMPARE(ExportFolder(plant.state), QDir::currentPath()); // gone: start somewhere that exists
    }

    void menuItemAfterSaveAsRunsTheExport()
    {
        Plant plant;
        plant.writeTables({{"P1", "M1", "O1", 3600, 7200, 3700, 0}});
        auto window = plant.load();
        int runs = 0;
        window->setExportDialog([&runs](frmScheduler &, bool) { ++runs; });
        window->menuItem("mnuExport")->trigger();
        QCOMPARE(runs, 1);
    }
};

QTEST_MAIN(ExportChartTest)
#include "tst_exportchart.moc"
