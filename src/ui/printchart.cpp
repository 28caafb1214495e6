#include "printchart.h"

#include "frmscheduler.h"
#include "ganttgrid.h"
#include "messagebox.h"
#include "texts.h"
#include "windowchart.h"

#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <algorithm>

namespace vorn {

namespace {

// "24:00" for the end of the day, so that a range reads to its end.
QString HourMinuteText(qint32 seconds)
{
    return QStringLiteral("%1:%2")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'));
}

void SetUpPrinter(QPrinter &printer)
{
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setDocName(GetText(1));
}

qreal UnitsPerPixel(const QPagedPaintDevice &device)
{
    return device.logicalDpiY() / 96.0;
}

void PrintPage(chart::GanttGrid &grid, QPainter &painter, const PrintedPage &printed, const QSizeF &area,
               qreal unitsPerPixel)
{
    painter.save();
    painter.scale(unitsPerPixel * printed.scale, unitsPerPixel * printed.scale);
    chart::RenderChartPage(grid, painter, printed.page);
    painter.restore();

    painter.save();
    QFont font = painter.font();
    font.setPixelSize(std::max(1, qRound(11 * unitsPerPixel)));
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QRectF footer(0, (area.height() - FooterPixels) * unitsPerPixel, area.width() * unitsPerPixel,
                        FooterPixels * unitsPerPixel);
    painter.drawText(footer, Qt::AlignLeft | Qt::AlignBottom, printed.timeRange);
    painter.drawText(footer, Qt::AlignRight | Qt::AlignBottom, printed.number);
    painter.restore();
}

} // namespace

QSizeF PrintableArea(const QPagedPaintDevice &device)
{
    const qreal unitsPerPixel = UnitsPerPixel(device);
    return {device.width() / unitsPerPixel, device.height() / unitsPerPixel};
}

std::vector<PrintedPage> PlanPrintedPages(WindowChart &chart, const QSizeF &area)
{
    const QSizeF room(area.width(), area.height() - FooterPixels);
    const std::vector<chart::ChartPage> pages =
        chart::PlanChartPages(chart.grid(), room.toSize(), chart.extent());
    std::vector<PrintedPage> printed;
    printed.reserve(pages.size());
    for (const chart::ChartPage &page : pages) {
        const QSizeF size = chart::ChartPageSize(chart.grid(), page);
        PrintedPage p;
        p.page = page;
        p.scale = std::min({1.0, room.width() / std::max(1.0, size.width()),
                            room.height() / std::max(1.0, size.height())});
        p.timeRange = GetText(421, "%1 – %2").arg(HourMinuteText(chart.columnStartSeconds(page.firstCol)),
                                                    HourMinuteText(chart.columnStartSeconds(page.lastCol + 1)));
        p.number = GetText(420, "Page %1 of %2").arg(printed.size() + 1).arg(pages.size());
        printed.push_back(std::move(p));
    }
    return printed;
}

int PrintChart(WindowChart &chart, QPagedPaintDevice &device, int fromPage, int toPage)
{
    const QSizeF area = PrintableArea(device);
    const std::vector<PrintedPage> pages = PlanPrintedPages(chart, area);
    const int first = std::max(1, fromPage);
    const int last = toPage <= 0 ? int(pages.size()) : std::min(toPage, int(pages.size()));
    QPainter painter;
    if (first > last || !painter.begin(&device))
        return 0;
    for (int number = first; number <= last; ++number) {
        if (number > first)
            device.newPage();
        PrintPage(chart.grid(), painter, pages[size_t(number - 1)], area, UnitsPerPixel(device));
    }
    painter.end();
    return last - first + 1;
}

void RunPrintDialog(frmScheduler &window, bool topMost)
{
    QPrinter printer(QPrinter::HighResolution);
    SetUpPrinter(printer);
    QPrintDialog dialog(&printer, &window);
    {
        WindowChart chart(window);
        dialog.setMinMax(1, int(PlanPrintedPages(chart, PrintableArea(printer)).size()));
    }
    dialog.setOption(QAbstractPrintDialog::PrintPageRange);
    if (topMost)
        dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    if (dialog.exec() != QDialog::Accepted)
        return;
    WindowChart chart(window);
    const bool range = printer.printRange() == QPrinter::PageRange;
    if (PrintChart(chart, printer, range ? printer.fromPage() : 0, range ? printer.toPage() : 0) == 0)
        ShowMessage({GetText(422, "The schedule could not be printed."), ApplicationTitle(), MessageButtons::Ok,
                     MessageIcon::Critical});
}

void RunPrintPreviewDialog(frmScheduler &window, bool topMost)
{
    QPrinter printer(QPrinter::HighResolution);
    SetUpPrinter(printer);
    QPrintPreviewDialog dialog(&printer, &window);
    dialog.setObjectName(QStringLiteral("dlgPrintPreview"));
    if (topMost)
        dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    // Drawn anew whenever the page set-up changes, from the chart as it is then.
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&window](QPrinter *target) {
        WindowChart chart(window);
        PrintChart(chart, *target);
    });
    dialog.exec();
}

} // namespace vorn
