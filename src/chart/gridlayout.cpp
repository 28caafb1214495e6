#include "gridlayout.h"

#include "appstate.h"
#include "ganttbars.h"
#include "ganttgrid.h"
#include "gridcolumns.h"
#include "griddata.h"
#include "texts.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vorn::chart {

namespace {

constexpr int TimeColumnTwips = 400;
constexpr int OutlineColumnTwips = 400;
// Design-time widths of the key column and the six time-value columns; the
// fit-to-window rule replaces them on the first resize.
constexpr int KeyColumnTwips = 2100;
constexpr int TimeValueColumnTwips = 1050;

void headerBorders(GridData &grid)
{
    const QColor line = QColor::fromRgb(HeaderLineRgb);
    const int last = grid.cols() - 1;
    grid.select(0, OutlineCol, 1, PlannedStartCol);
    grid.setCellBorder(line, 0, 1, 1, 1, 1, 0);
    grid.select(0, PlannedStartCol, 1, last);
    grid.setCellBorder(line, 1, 1, 1, 1, 1, 1);
}

} // namespace

QPoint ProgressBoxPosition(const QSize &windowTwips, const QSize &boxTwips)
{
    return {std::abs(windowTwips.width() / 2 - boxTwips.width() / 2),
            std::abs(windowTwips.height() / 2 - boxTwips.height() / 2)};
}

void SetLeadingHeaderTexts(GridData &grid)
{
    grid.setText(0, KeyCol, GetTextOr(43, "Machine/Part"));
    const QString planned = GetTextOr(44, "Planned");
    const QString actual = GetTextOr(45, "Actual");
    const QString start = GetTextOr(4, "Start");
    const QString finish = GetTextOr(3, "Finish");
    const QString duration = GetTextOr(2, "Duration");
    const QString lower[3] = {start, finish, duration};
    for (int i = 0; i < 3; ++i) {
        grid.setText(0, PlannedStartCol + i, planned);
        grid.setText(1, PlannedStartCol + i, lower[i]);
        grid.setText(0, ActualStartCol + i, actual);
        grid.setText(1, ActualStartCol + i, lower[i]);
    }
}

void SetUpGrid(GridData &grid)
{
    grid.setRows(2);
    grid.setCols(1448);
    grid.setFixedRows(2);
    grid.setFixedCols(FirstScaleCol);
    grid.setMergeRow0(true);

    SetLeadingHeaderTexts(grid);

    int hour = -1;
    for (int c = FirstScaleCol; c < 1448; ++c) {
        const int minute = (c - FirstScaleCol) % 60;
        grid.setText(1, c, QString::number(minute));
        if (minute == 0)
            ++hour;
        grid.setText(0, c, QString::number(hour));
    }

    // Appearance: rows of 300 twips (20 pixels at 96 DPI) and the
    // design-time widths of the leading columns and the scale.
    grid.setRowHeight(300);
    grid.setColWidth(KeyCol, KeyColumnTwips);
    for (int c = PlannedStartCol; c < FirstScaleCol; ++c)
        grid.setColWidth(c, TimeValueColumnTwips);
    for (int c = FirstScaleCol; c < grid.cols(); ++c)
        grid.setColWidth(c, TimeColumnTwips);

    grid.setCellAlignment({0, 0, 0, 7}, Qt::AlignCenter);
    grid.setColWidth(OutlineCol, OutlineColumnTwips);
    FrameTimeHeader(grid);
}

void FrameTimeHeader(GridData &grid)
{
    // No border of its own for each hour: the header-wide region drawn last
    // holds every hour block and overrules it on all its cells.
    int hour = 0;
    for (int c = FirstScaleCol; c <= grid.cols() - 60; c += 60) {
        grid.setCellAlignment({0, c, 1, c + 59}, Qt::AlignCenter);
        const QString label = QString::number(hour);
        for (int k = c; k <= c + 59; ++k)
            grid.setText(0, k, label);
        ++hour;
    }
    headerBorders(grid);
}

void SetTimeScaleInterval(GridData &grid, AppState &state, const QString &intervalText,
                       ProgressBox *progress)
{
    if (progress) {
        progress->showAt(ProgressBoxPosition(progress->windowSizeTwips(), progress->boxSizeTwips()));
    }

    const TimeScale scale = TimeScale::ofInterval(intervalText, FirstScaleCol);
    const int count = scale.endColumn();
    grid.setCols(count);
    const int maximum = std::abs(count - 9);
    if (progress)
        progress->setRange(0, maximum);

    int hour = -1;
    for (int c = FirstScaleCol; c < count; ++c) {
        const int offset = c - FirstScaleCol;
        if (progress)
            progress->setValue(std::abs(offset));
        const int minute = scale.secondsOf(c) / 60 % 60;
        grid.setText(1, c, QString::number(minute));
        if (minute == 0)
            ++hour;
        grid.setText(0, c, QString::number(hour));
        grid.setColWidth(c, TimeColumnTwips);
    }

    state.IntervalText = intervalText;
    grid.setTimeScale(scale);

    const QColor band = QColor::fromRgb(GroupBandRgb);
    const int last = grid.cols() - 1;
    for (int r = 2; r < grid.rows(); ++r) {
        if (grid.cellBackColor(r, KeyCol) == band)
            grid.setCellBackColor({r, 0, r, last}, band);
    }

    headerBorders(grid);
    if (progress)
        progress->hide();
}

void ShowTimeColumn(GridData &grid, int index, int checkValue)
{
    if (index < 0 || index > 5)
        return;
    grid.setColHidden(index + 2, checkValue != 1);
}

void FitGridToClient(GanttGrid &grid, const QSize &clientPixels, bool fitToWindow)
{
    const double twipsPerPixel = 1440.0 / grid.logicalDpi();
    const int width = int(std::abs(clientPixels.width() * twipsPerPixel - 5));
    const int height = int(std::abs(clientPixels.height() * twipsPerPixel - 900));
    grid.setPlacementTwips(5, 600, width, height);
    if (!fitToWindow)
        return;
    // 16-bit as in the original layout; a grid so wide that 4 units overflow
    // is outside the supported range, so the unit stops where 4 units fit.
    const int unit = std::min(int(Nearest(std::abs(grid.widthTwips() - 350) / 14.0)), 32767 / 4);
    GridData &data = grid.data();
    data.setColWidth(KeyCol, 4 * unit);
    for (int c = PlannedStartCol; c < FirstScaleCol; ++c)
        data.setColWidth(c, unit);
}

} // namespace vorn::chart
