#pragma once

#include <QRect>
#include <QtGlobal>

#include <optional>

#include <span>

class QPainter;

namespace vorn::chart {

class GridData;

// One of the four areas the grid paints (fixed or scrolling rows crossed
// with fixed or scrolling columns), as an overlay sees it: logical pixels of
// the surface being painted, rows top to bottom without the hidden ones.
struct PaneView {
    std::span<const int> rows; // grid rows, the first at y
    int y = 0;
    int rowHeight = 1;
    int firstCol = 0;
    int lastCol = -1; // inclusive
    const int *colX = nullptr; // left edge of every column as if nothing scrolled, cols() + 1 entries
    int baseX = 0;             // a column's x on the surface is baseX + colX[c]
    QRect clip;
    bool headerRows = false; // the fixed rows at the top
    bool timeScale = false;  // the scrolling columns

    int left(int col) const { return baseX + colX[col]; }
    int right(int col) const { return baseX + colX[col + 1]; }
    int rowTop(size_t index) const { return y + int(index) * rowHeight; }
};

// Paints on top of what the grid paints, pane by pane, clipped to the pane.
// The grid without an overlay paints exactly as before; an overlay that
// paints nothing leaves every pixel as the grid painted it.
class GridOverlay {
public:
    virtual ~GridOverlay() = default;
    // After the cell backgrounds, before lines, texts and bars.
    virtual void paintUnder(QPainter &painter, const GridData &grid, const PaneView &pane) = 0;
    // After everything the grid paints in the pane.
    virtual void paintOver(QPainter &painter, const GridData &grid, const PaneView &pane) = 0;
    // The time of day (seconds) the overlay shows as now, for what is said
    // about the rows besides painting; nothing while it shows no live state.
    virtual std::optional<qint32> nowSeconds() const { return std::nullopt; }
};

} // namespace vorn::chart
