#pragma once

#include "gridoverlay.h"

#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>
#include <vector>

namespace vorn::chart {

class GridData;

// Where the cells of a GridData lie, in logical pixels, free of any widget.
// Rows 0..fixedRows-1 stay at the top and columns 0..fixedCols-1 at the left;
// the rest scrolls by whole rows and columns, so a view is a size and the
// first body row position and column it shows. Hidden columns are 0 wide,
// hidden rows take no room. Reads the data it was made for, which must
// outlive it; relayout() after the data's layout changed.
class GridGeometry {
public:
    explicit GridGeometry(const GridData &data) : m_data(data) {}

    // Column edges, row height and shown rows again, from the data's twips
    // at `dpi` (pixels = twips * dpi / 1440, truncated).
    void relayout(int dpi);

    int rowHeight() const { return m_rowHeight; }
    // A column's left edge as if nothing scrolled; cols() gives the right
    // edge of the last.
    int columnX(int col) const;
    // All of them at once, cols() + 1 entries (what PaneView::colX holds).
    const int *columnEdges() const { return m_colX.data(); }
    // The extent of the fixed columns and rows.
    int fixedWidth() const;
    int fixedHeight() const;

    // The scrolling rows that are shown, top to bottom: their count, the
    // grid row at a position (rows() past the end), and the position of a
    // row (of the last shown row at or above it when it is hidden).
    int bodyRowCount() const;
    int bodyRowAt(int index) const;
    int bodyIndexOf(int row) const;

    // A viewport of `size` scrolled so that body row position topIndex and
    // column leftCol come first.
    struct View {
        QSize size;
        int topIndex = 0;
        int leftCol = 0;
    };
    // Whole body rows below the fixed rows in a viewport `height` high.
    int visibleBodyRows(int height) const;
    // The last first column that still lets every column behind it fit.
    int maxLeftCol(int width) const;
    // The cell's rectangle, or an empty one when no part of it shows.
    QRect cellRect(int row, int col, const View &view) const;
    // The cell under a point; false when none.
    bool cellAt(const QPoint &pos, const View &view, int *row, int *col) const;
    // The strip across the view where `row` shows; empty when it does not.
    QRect rowRect(int row, const View &view) const;

    // The four panes of `area` (fixed and scrolling rows crossed with fixed
    // and scrolling columns), scrolled to topIndex and leftCol, with no
    // column behind lastCol (-1: up to the last). Their rows point into
    // `rows`, which is refilled; a pane with nothing to show has no rows or
    // lastCol < firstCol.
    std::array<PaneView, 4> panes(const QRect &area, int topIndex, int leftCol, int lastCol,
                                  std::vector<int> &rows) const;
    // A shown pane cut down to the rows, and for body rows the columns,
    // that reach into `clip`; header columns stay whole, as a merged label
    // is centred in all of it.
    PaneView trimmed(PaneView pane, const QRect &clip) const;

private:
    const GridData &m_data;
    std::vector<int> m_colX; // left edge of each column as if nothing scrolled; one more at the end
    int m_rowHeight = 20;
    // The shown scrolling rows while some are hidden; empty when none is,
    // so a grid without collapsed groups pays nothing.
    std::vector<int> m_bodyRows;
    bool m_rowsFiltered = false;
};

// A group row whose detail rows are hidden.
bool IsCollapsedGroup(const GridData &data, int row);

} // namespace vorn::chart
