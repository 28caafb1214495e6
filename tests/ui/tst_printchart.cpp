// File > Print and Print Preview: the pages a schedule takes on paper, what
// each one says in its footer, and what really lands in a printed PDF.

#include "liveoverlay.h"
#include "printchart.h"
#include "uiplant.h"
#include "windowchart.h"

#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>

using namespace vorn;
using namespace vorn::test;

namespace {

constexpr int Hour = 3600;

// `count` operations on four machines, their starts spread evenly over
// `spanHours` from 06:00, ten minutes each.
QList<Op> Operations(int count, int spanHours)
{
    QList<Op> ops;
    for (int i = 0; i < count; ++i) {
        const int start = 6 * Hour + (count > 1 ? i * (spanHours * Hour - 600) / (count - 1) : 0);
        ops.append({QStringLiteral("P%1").arg(i), QStringLiteral("M%1").arg(i % 4), QStringLiteral("O1"), start,
                    start + 600, start, start + 600});
    }
    return ops;
}

std::unique_ptr<frmScheduler> LoadAtSixThirty(Plant &plant, const QList<Op> &ops, int intervalIndex = 0)
{
    auto window = plant.load(ops);
    window->findChild<QComboBox *>("CmbInterval")->setCurrentIndex(intervalIndex);
    window->overlay()->setClock(chart::ChartClock::frozen(qint64(6 * Hour + 1800) * 1000));
    // Shown, the window fits its columns to its width once and for all.
    window->show();
    QCoreApplication::processEvents();
    return window;
}

// What pdfinfo says of "Pages" and "Page size" ("841.89 x 595.28 pts (A4)").
[[maybe_unused]] QString PdfInfo(const QString &path, const QString &key)
{
    QProcess pdfinfo;
    pdfinfo.start(QStringLiteral("pdfinfo"), {path});
    pdfinfo.waitForFinished();
    const QRegularExpression line(QStringLiteral("^%1: *(.*)$").arg(key), QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(pdfinfo.readAllStandardOutput())).captured(1).trimmed();
}

} // namespace

class PrintChartTest : public QObject {
    Q_OBJECT

private slots:
    // Down the rows first, then across: every run of time columns takes all
    // shown rows, its pages' time ranges join the next run's, the header
    // rows and the leading columns are on every page, and nothing is larger
    // than the paper above the footer. The printed PDF holds the planned
    // pages, or the ones chosen in the dialog, on paper turned as the user
    // left it; a short schedule takes one page.
    void pagesGoDownThenAcrossWithTheirRangeAndNumber()
    {
        Plant plant;
        auto window = LoadAtSixThirty(plant, Operations(90, 10));
        WindowChart chart(*window);
        // One line a page: its footer, its rows and columns, and its size,
        // unscaled within the 1000 x 678 pixels above the footer.
        const QSizeF area(1000, 700);
        QByteArray plan;
        for (const PrintedPage &p : PlanPrintedPages(chart, area)) {
            const QSize size = chart::ChartPageSize(chart.grid(), p.page);
            plan += QStringLiteral("%1 | %2 | rows %3+%4, columns %5-%6 | %7x%8 at %9\n")
                        .arg(p.number, p.timeRange).arg(p.page.firstBodyIndex).arg(p.page.bodyRows).arg(p.page.firstCol)
                        .arg(p.page.lastCol).arg(size.width()).arg(size.height()).arg(p.scale)
                        .toUtf8();
        }
        VORN_COMPARE_STORED(QStringLiteral("printed-pages.txt"), plan);

        for (const auto &[portrait, fromPage, toPage] : {std::tuple(false, 0, 0), std::tuple(true, 2, 3)}) {
            const QString path = plant.dir.path() + "/printed.pdf";
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(path);
            printer.setPageOrientation(portrait ? QPageLayout::Portrait : QPageLayout::Landscape);
            const int planned = int(PlanPrintedPages(chart, PrintableArea(printer)).size());
            const int expected = fromPage > 0 ? toPage - fromPage + 1 : planned;
            QCOMPARE(PrintChart(chart, printer, fromPage, toPage), expected);
#ifdef Q_OS_UNIX
            // The file itself is read by poppler's pdfinfo, which a Windows program cannot start.
            QCOMPARE(PdfInfo(path, "Pages"), QString::number(expected));
            const QStringList size = PdfInfo(path, "Page size").split(u' ');
            QVERIFY(size.size() > 2);
            QCOMPARE(size[0].toDouble() < size[2].toDouble(), portrait);
#endif
        }
        Plant small;
        auto few = LoadAtSixThirty(small, Operations(3, 1), 7);
        WindowChart fewChart(*few);
        QCOMPARE(PlanPrintedPages(fewChart, area).size(), size_t(1));

        // Print Preview opens landscape with every page and closes.
        window->setPrintPreviewDialog(RunPrintPreviewDialog);
        int shownPages = -1, plannedPages = 0;
        bool landscape = false;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<QPrintPreviewDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            landscape = dialog->printer()->pageLayout().orientation() == QPageLayout::Landscape;
            shownPages = dialog->findChild<QPrintPreviewWidget *>()->pageCount();
            plannedPages = int(PlanPrintedPages(chart, PrintableArea(*dialog->printer())).size());
            dialog->reject();
        });
        window->menuItem("mnuPrintPreview")->trigger();
        QVERIFY(landscape);
        QCOMPARE(shownPages, plannedPages);
        QVERIFY(shownPages > 1);
    }
};

QTEST_MAIN(PrintChartTest)
#include "tst_printchart.moc"
