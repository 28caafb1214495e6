// File > Export: what lands in the file, what a failed write leaves, and the
// folder the dialog comes back to.

#include "chartrender.h"
#include "chartsvg.h"
#include "exportchart.h"
#include "liveoverlay.h"
#include "overlaypainter.h"
#include "testchart.h"
#include "uiplant.h"
#include "windowchart.h"

using namespace vorn;
using namespace vorn::test;

class ExportChartTest : public QObject {
    Q_OBJECT

private slots:
    // The grid as shown (the durations only, by default) or the chart as the
    // window shows it, through the renderer's code: a picture exactly the
    // chart's size, with the now line only while the overlays are on; the
    // window keeps its own overlay afterwards. A failed write says why and
    // leaves nothing behind.
    void chartFormatsDrawWhatTheWindowShows_data()
    {
        QTest::addColumn<QString>("name");     // below the plant folder, which holds the folders taken.csv and taken.pdf
        QTest::addColumn<bool>("overlays");
        QTest::addColumn<QByteArray>("start"); // the file's first bytes; null: the write fails

        QTest::newRow("csv") << "out.csv" << true
                             << QByteArray("Row,Part/Machine,Planned Duration,Actual Duration\r\nGroup,P1(O1),02:00:00,");
        QTest::newRow("png-with-overlays") << "out.png" << true << QByteArray("\x89PNG");
        QTest::newRow("png-overlays-switched-off") << "out.png" << false << QByteArray("\x89PNG");
        QTest::newRow("pdf") << "out.pdf" << true << QByteArray("%PDF");
        if (chart::CanWriteSvg())
            QTest::newRow("svg-upper-case-ending") << "out.SVG" << true << QByteArray("<?xml");
        QTest::newRow("folder-missing") << "missing/out.csv" << true << QByteArray();
        QTest::newRow("target-is-a-folder") << "taken.csv" << true << QByteArray();
        QTest::newRow("chart-folder-missing") << "missing/out.png" << true << QByteArray();
        QTest::newRow("pdf-target-is-a-folder") << "taken.pdf" << true << QByteArray();
    }

    void chartFormatsDrawWhatTheWindowShows()
    {
        QFETCH(QString, name);
        QFETCH(bool, overlays);
        QFETCH(QByteArray, start);
        Plant plant;
        QVERIFY(QDir(plant.dir.path()).mkdir("taken.csv") && QDir(plant.dir.path()).mkdir("taken.pdf"));
        auto window = plant.load({{"P1", "M1", "O1", 6 * 3600, 8 * 3600, 6 * 3600 + 300, 0}});
        window->overlay()->setClock(chart::ChartClock::frozen(qint64(7 * 3600) * 1000));
        if (!overlays)
            window->menuItem("mnuLiveOverlays")->trigger();
        chart::GridOverlay *live = window->fg()->overlay();
        const QString path = plant.dir.path() + "/" + name;
        const auto entries = [](const QString &folder) { return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot); };
        const QStringList before = entries(plant.dir.path());
        const Result result = ExportSchedule(*window, path);
        if (start.isNull()) {
            QVERIFY(result.failed() && !result.message().isEmpty());
            QCOMPARE(entries(plant.dir.path()), before);
            QCOMPARE(entries(plant.dir.path() + "/" + QFileInfo(name).fileName()), QStringList());
            return;
        }
        QVERIFY2(result.ok(), qPrintable(result.message()));
        QCOMPARE(window->fg()->overlay(), live);
        QCOMPARE(readFile(path).left(start.size()), start);
        if (!name.endsWith(".png"))
            return;
        const QImage image(path);
        // The whole hours around the times (and now): 06:00 to 09:00 at the minute.
        const WindowChart chart(*window);
        QCOMPARE(chart.extent().lastCol - chart.extent().firstCol + 1, 180);
        QCOMPARE(image.size(), chart::ChartSize(*window->fg(), chart.extent()));
        QCOMPARE(vorn::test::anyPixel(image, image.rect(), chart::NowLineRgb), overlays);
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
};

QTEST_MAIN(ExportChartTest)
#include "tst_exportchart.moc"
