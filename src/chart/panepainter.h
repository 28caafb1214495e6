#pragma once

#include "gridoverlay.h"

#include <QColor>
#include <QFont>

#include <functional>

class QPainter;

namespace vorn::chart {

class GridData;

// Runs for every painted cell of the scrolling time scale (body rows,
// scrolling columns) after the grid has painted it. The painter works in
// device pixels; left/top/right/bottom are the cell's rectangle in device
// pixels (right and bottom exclusive).
using DrawCellCallback =
    std::function<void(QPainter &painter, int row, int col, int left, int top, int right, int bottom)>;

// What a pane is painted with besides its data.
struct PaneStyle {
    QFont font;           // bold cells get it bold
    QColor back;          // body cells without a colour of their own
    qreal dpr = 1;        // device pixels per logical pixel, for the cell callback
    GridOverlay *overlay = nullptr;
    DrawCellCallback drawCell;
};

// Paints one pane of a GridData, layer by layer, on any surface; no widget
// involved. The caller clips the painter to the pane (or to the part of it
// being exposed) and has filled the grid's own background.
class PanePainter {
public:
    PanePainter(QPainter &painter, const GridData &grid, const PaneView &pane);

    // Every layer, bottom to top, with the overlay's two in between.
    void paint(const PaneStyle &style);

    // Cell backgrounds, one fill per run of equal colour; header cells
    // always, body cells only in a colour other than `back`.
    void paintBackgrounds(const QColor &back);
    // The ordinary lines on the right and bottom of every cell, except
    // where border lines frame the cell.
    void paintGridLines();
    // Border lines drawn on ranges; a cell's right and bottom line also
    // carries its neighbour's left and top line, so shared lines stay one
    // pixel wide.
    void paintBorders();
    // Column 0: a box on group rows (with a plus when collapsed), a branch
    // on the rows under them.
    void paintOutlineMarks();
    // The texts, a merged header run once over all of it.
    void paintTexts(const QFont &font);
    // The callback on every body cell of a scrolling pane, in device pixels.
    void paintTimeScaleCells(const DrawCellCallback &drawCell, qreal dpr);

private:
    bool framed(int row, int col) const;
    int nextShownCol(int col) const;
    int runStart(int row, int col) const;
    int runEnd(int row, int col) const;

    QPainter &m_painter;
    const GridData &m_grid;
    const PaneView &m_pane;
    const bool m_anyBorders;
    const int m_lastGridCol;
};

} // namespace vorn::chart
