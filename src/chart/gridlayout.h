#pragma once

#include <QPoint>
#include <QSize>
#include <QString>

namespace vorn {
struct AppState;
}

namespace vorn::chart {

class GridData;
class GanttGrid;

// Colours of the layout.
inline constexpr unsigned GroupBandRgb = 0xE2E2E2u; // RGB(226, 226, 226)
// Header line colour: colour value 3, that is RGB(3, 0, 0).
inline constexpr unsigned HeaderLineRgb = 0x030000u;

// The progress display shown while the time scale is rebuilt, a box in the
// middle of the window. Sizes and positions in twips.
class ProgressBox {
public:
    virtual ~ProgressBox() = default;
    // The window's outer size and the box's size, for centring the box.
    virtual QSize windowSizeTwips() const = 0;
    virtual QSize boxSizeTwips() const = 0;
    // Moves the box, shows it and paints it at once (no event loop runs).
    virtual void showAt(const QPoint &topLeftTwips) = 0;
    virtual void setRange(int minimum, int maximum) = 0;
    // Sets the bar, once per column; whatever this changes on screen is
    // painted at once.
    virtual void setValue(int value) = 0;
    virtual void hide() = 0;
};

// Where the box goes: |window / 2 - box / 2| on each axis.
QPoint ProgressBoxPosition(const QSize &windowTwips, const QSize &boxTwips);

// Grid set-up at load: two fixed header rows and eight leading columns, the
// one-minute scale (1448 columns) with its labels, header texts from GetText,
// widths, row-0 merging, then FrameTimeHeader.
void SetUpGrid(GridData &grid);
// The header texts of the leading columns in the current language, as
// SetUpGrid writes them ("Machine/Part" over the key column).
void SetLeadingHeaderTexts(GridData &grid);

// Hour blocks of the one-minute scale with their borders and centring, then
// the header borders of the leading columns and of the whole header.
void FrameTimeHeader(GridData &grid);

// Rebuilds the time scale for the interval text (one of "1", "2", "3", "4",
// "5", "6", "10", "12"): column count, labels, widths; sets
// state.IntervalText and the grid's TimeScale, carries the grey band of
// group rows to the new columns and redraws the header borders. progress
// may be nullptr.
void SetTimeScaleInterval(GridData &grid, AppState &state, const QString &intervalText,
                       ProgressBox *progress);

// Shows column index + 2 when checked (value 1), hides it otherwise (0 or 2).
void ShowTimeColumn(GridData &grid, int index, int checkValue);

// Places and sizes the grid for a client area of clientPixels and, when
// fitToWindow (mnuResize checked), shares the grid width between columns 1
// to 7 (4 units and 1 unit each).
void FitGridToClient(GanttGrid &grid, const QSize &clientPixels, bool fitToWindow);

} // namespace vorn::chart
