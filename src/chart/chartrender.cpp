#include "chartrender.h"

#include "chartsvg.h"
#include "ganttbars.h"
#include "ganttgrid.h"
#include "gridcolumns.h"
#include "timescale.h"

#include "texts.h"

#include <QFileInfo>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>
#include <limits>
#include <cerrno>

namespace vorn::chart {

namespace {

struct Columns {
    int first = 0;
    int last = -1;
};

Columns timeColumns(const GanttGrid &grid, const ChartExtent &extent)
{
    const int fixed = std::min(grid.data().fixedCols(), grid.data().cols());
    const int lastCol = grid.data().cols() - 1;
    Columns cols;
    cols.first = extent.firstCol < 0 ? fixed : std::clamp(extent.firstCol, fixed, lastCol + 1);
    cols.last = extent.lastCol < 0 ? lastCol : std::min(extent.lastCol, lastCol);
    return cols;
}

int widthOf(const GanttGrid &grid, int first, int last)
{
    return last < first ? 0 : grid.columnX(last + 1) - grid.columnX(first);
}

} // namespace

ChartExtent ExtentOfTimes(const TimeScale &scale, qint32 fromSeconds, qint32 toSeconds)
{
    ChartExtent extent;
    extent.firstCol = scale.columnOf(fromSeconds);
    extent.lastCol = std::max(extent.firstCol, scale.columnOf(toSeconds - 1));
    return extent;
}

std::pair<qint32, qint32> BusyHours(const GridData &grid, std::optional<qint32> alsoSeconds)
{
    qint32 earliest = std::numeric_limits<qint32>::max();
    qint32 latest = std::numeric_limits<qint32>::min();
    for (int row = grid.fixedRows(); row < grid.rows(); ++row) {
        for (int col = PlannedStartCol; col <= ActualFinishCol; ++col) {
            if (col == PlannedDurationCol || col == ActualDurationCol)
                continue;
            const QString &text = grid.text(row, col);
            if (text.isEmpty())
                continue;
            const qint32 seconds = TextSeconds(text);
            earliest = std::min(earliest, seconds);
            latest = std::max(latest, seconds);
        }
    }
    return BusyHours(earliest, latest, alsoSeconds);
}

std::pair<qint32, qint32> BusyHours(qint32 earliest, qint32 latest, std::optional<qint32> alsoSeconds)
{
    constexpr qint32 Day = 24 * 3600;
    earliest = std::min(earliest, Day);
    latest = std::max(latest, 0);
    if (alsoSeconds) {
        earliest = std::min(earliest, *alsoSeconds);
        latest = std::max(latest, *alsoSeconds);
    }
    if (latest < earliest)
        return {0, Day};
    return {std::clamp(earliest / 3600 * 3600, 0, Day - 3600),
            std::clamp((latest / 3600 + 1) * 3600, 3600, Day)};
}

QSize ChartSize(const GanttGrid &grid, const ChartExtent &extent)
{
    const Columns cols = timeColumns(grid, extent);
    return {grid.fixedWidthPixels() + widthOf(grid, cols.first, cols.last),
            grid.fixedHeightPixels() + grid.bodyRowCount() * grid.rowHeightPixels()};
}

void RenderChart(GanttGrid &grid, QPainter &painter, const ChartExtent &extent)
{
    const Columns cols = timeColumns(grid, extent);
    grid.paintView(painter, ChartSize(grid, extent), 0, cols.first, cols.last);
}

std::vector<ChartPage> PlanChartPages(const GanttGrid &grid, const QSize &pageSize,
                                      const ChartExtent &extent)
{
    const Columns cols = timeColumns(grid, extent);
    const int rowHeight = grid.rowHeightPixels();
    const int rowsPerPage =
        std::max(1, (pageSize.height() - grid.fixedHeightPixels()) / std::max(1, rowHeight));
    const int bodyRows = grid.bodyRowCount();
    const int widthLeft = pageSize.width() - grid.fixedWidthPixels();

    // Runs of columns that fit across a page.
    std::vector<std::pair<int, int>> runs;
    for (int c = cols.first; c <= cols.last;) {
        int end = c;
        while (end + 1 <= cols.last && widthOf(grid, c, end + 1) <= widthLeft)
            ++end;
        runs.emplace_back(c, end);
        c = end + 1;
    }
    if (runs.empty())
        runs.emplace_back(cols.first, cols.first - 1);

    std::vector<ChartPage> pages;
    for (const auto &[first, last] : runs) {
        int index = 0;
        do {
            const int count = std::min(rowsPerPage, bodyRows - index);
            pages.push_back({index, std::max(0, count), first, last});
            index += rowsPerPage;
        } while (index < bodyRows);
    }
    return pages;
}

QSize ChartPageSize(const GanttGrid &grid, const ChartPage &page)
{
    return {grid.fixedWidthPixels() + widthOf(grid, page.firstCol, page.lastCol),
            grid.fixedHeightPixels() + page.bodyRows * grid.rowHeightPixels()};
}

void RenderChartPage(GanttGrid &grid, QPainter &painter, const ChartPage &page)
{
    grid.paintView(painter, ChartPageSize(grid, page), page.firstBodyIndex, page.firstCol,
                   page.lastCol);
}

int RenderChartPages(GanttGrid &grid, QPagedPaintDevice &device, const ChartExtent &extent,
                     int fromPage, int toPage)
{
    const qreal scale = device.logicalDpiY() / 96.0;
    const QSize pageSize(int(device.width() / scale), int(device.height() / scale));
    const std::vector<ChartPage> pages = PlanChartPages(grid, pageSize, extent);
    const int first = std::max(1, fromPage);
    const int last = toPage <= 0 ? int(pages.size()) : std::min(toPage, int(pages.size()));
    if (first > last)
        return 0;
    QPainter painter;
    if (!painter.begin(&device))
        return 0;
    for (int number = first; number <= last; ++number) {
        if (number > first)
            device.newPage();
        painter.save();
        painter.scale(scale, scale);
        RenderChartPage(grid, painter, pages[size_t(number - 1)]);
        painter.restore();
    }
    painter.end();
    return last - first + 1;
}

QString FileFailureReason(const QString &path, const QFileDevice &file)
{
    if (!file.errorString().isEmpty() && file.error() != QFileDevice::NoError)
        return file.errorString();
    return qt_error_string(QFileInfo(path).isDir() ? EISDIR : EIO);
}

Result WriteChart(GanttGrid &grid, const ChartExtent &extent, ChartFileFormat format, QIODevice &device)
{
    const QSize size = ChartSize(grid, extent);
    if (format == ChartFileFormat::Png) {
        // The raster painter works in 16-bit whole pixels: a side longer than
        // that is painted wrong or crashes it, even where memory for the
        // picture could be had.
        constexpr int LongestSide = 32767;
        QImage image;
        if (size.width() <= LongestSide && size.height() <= LongestSide)
            image = QImage(size, QImage::Format_RGB32);
        if (image.isNull())
            return Result::failure(
                GetText(423, "The chart is %1 x %2 pixels, too large for one picture; a PDF takes it in pages.")
                    .arg(size.width())
                    .arg(size.height()));
        QPainter painter(&image);
        RenderChart(grid, painter, extent);
        painter.end();
        if (!image.save(&device, "PNG"))
            return Result::failure(QString());
    } else if (format == ChartFileFormat::Svg && CanWriteSvg()) {
        WriteChartSvg(grid, extent, device, size);
    } else {
        QPdfWriter pdf(&device);
        pdf.setResolution(96);
        pdf.setTitle(GetText(1));
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                      QMarginsF(8, 8, 8, 8), QPageLayout::Millimeter));
        if (RenderChartPages(grid, pdf, extent) == 0)
            return Result::failure(QString());
    }
    return Result::success();
}

Result SaveChartFile(GanttGrid &grid, const ChartExtent &extent, const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Result::failure(FileFailureReason(path, file));
    const ChartFileFormat format = suffix == QLatin1String("png") ? ChartFileFormat::Png
        : suffix == QLatin1String("svg")                          ? ChartFileFormat::Svg
                                                                  : ChartFileFormat::Pdf;
    if (const Result written = WriteChart(grid, extent, format, file); written.failed())
        return written.message().isEmpty() ? Result::failure(FileFailureReason(path, file)) : written;
    if (!file.commit())
        return Result::failure(FileFailureReason(path, file));
    return Result::success();
}

} // namespace vorn::chart
