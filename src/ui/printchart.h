#pragma once

#include "chartrender.h"

#include <QSizeF>
#include <QString>

#include <vector>

class QPagedPaintDevice;

namespace vorn {

class WindowChart;
class frmScheduler;

// The chart on paper: pages down the rows first, then across the time
// scale, the header rows and the leading columns on every page, and below
// the chart a footer with the page's time range on the left and its number
// on the right. Sizes are logical pixels of 1/96 inch.
struct PrintedPage {
    chart::ChartPage page;
    qreal scale = 1;   // below 1 when a single row or column is wider than the paper
    QString timeRange; // "06:00 – 07:30"
    QString number;    // "Page 2 of 5"
};
// Room for one line of footer text below the chart.
inline constexpr qreal FooterPixels = 22;

// A paged device's printable area in logical pixels.
QSizeF PrintableArea(const QPagedPaintDevice &device);

// The pages of the chart on paper whose printable area is `area`.
std::vector<PrintedPage> PlanPrintedPages(WindowChart &chart, const QSizeF &area);

// Prints pages fromPage to toPage (from 1; 0: from the first, to the last)
// onto the device's printable area; returns the number printed, 0 when the
// device could not be painted on.
int PrintChart(WindowChart &chart, QPagedPaintDevice &device, int fromPage = 0, int toPage = 0);

// File > Print... and File > Print Preview...: the printer set to landscape
// until the user turns it.
void RunPrintDialog(frmScheduler &window, bool topMost);
void RunPrintPreviewDialog(frmScheduler &window, bool topMost);

} // namespace vorn
