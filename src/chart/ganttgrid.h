#pragma once

#include "griddata.h"

#include <QAbstractScrollArea>
#include <QRect>

#include <functional>
#include <vector>

class QPainter;

namespace vorn {
struct AppState;
}

namespace vorn::chart {

// The Gantt grid `fg`: paints a GridData with rows 0..fixedRows-1 fixed at
// the top and columns 0..fixedCols-1 fixed at the left while the rest
// scrolls (scroll bars, wheel, Shift+wheel sideways, keyboard). Scrolling is
// by whole rows and columns, so the scroll position is the first visible
// scrollable row and column.
//
// Sizes of the data are in twips and turn into pixels with the logical DPI
// (pixels = twips * dpi / 1440, truncated); the DPI can be fixed for tests.
class GanttGrid : public QAbstractScrollArea {
    Q_OBJECT

public:
    // Runs for every painted cell of the scrolling time scale (columns at or
    // behind fixedCols, rows at or below fixedRows) after the grid has painted
    // it. The painter works in device pixels; left/top/right/bottom are the
    // cell's rectangle in device pixels (right and bottom exclusive).
    using DrawCellCallback = std::function<void(QPainter &painter, int row, int col, int left,
                                                int top, int right, int bottom)>;

    explicit GanttGrid(QWidget *parent = nullptr);
    ~GanttGrid() override;

    GridData &data() { return m_data; }
    const GridData &data() const { return m_data; }

    // Installs the Gantt bar painter (fg_DrawCell) reading IntervalText from
    // state; the state must outlive the grid. nullptr removes it.
    void setAppState(const AppState *state);
    // Replaces the cell-draw callback (an empty function removes it).
    void setDrawCellCallback(DrawCellCallback callback);

    // Redraw off: nothing is painted until it is switched on again.
    bool redraw() const { return m_redraw; }
    // When the grid was first painted with rows below its header (ms since
    // the epoch), -1 until then: the moment a user first sees a chart.
    qint64 firstChartPaintMs() const { return m_firstChartPaintMs; }
    // The processor time the process had used by then (ms), -1 until then.
    qint64 firstChartPaintCpuMs() const { return m_firstChartPaintCpuMs; }
    void setRedraw(bool on);

    // Scroll position: the first visible scrollable row and column.
    int topRow() const;
    void setTopRow(int row);
    int leftCol() const;
    void setLeftCol(int col);

    // Logical DPI used for twips; 0 (default) = the widget's own.
    int logicalDpi() const;
    void setLogicalDpi(int dpi);
    int twipsToPixels(int twips) const;
    int pixelsToTwips(int pixels) const;

    // Placement in the parent, in twips.
    int leftTwips() const;
    int topTwips() const;
    int widthTwips() const;
    int heightTwips() const;
    void setPlacementTwips(int left, int top, int width, int height);

    // The cell's rectangle in viewport pixels (logical), or an empty
    // rectangle when no part of it is visible.
    QRect cellRect(int row, int col) const;
    // The cell under a viewport point; false when none.
    bool cellAt(const QPoint &pos, int *row, int *col) const;

    // Background of cells without a colour of their own.
    QColor backColor() const { return m_backColor; }
    void setBackColor(const QColor &color);

signals:
    // The current cell changed by mouse or keyboard.
    void currentCellChanged(int row, int col);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent *event) override;

private:
    struct Pane;
    void dataChanged(GridData::Change change, int row);
    void updateDirtyRows();
    // The viewport strip of a row, as if it showed.
    QRect rowRect(int row) const;
    void ensureLayout() const;
    void relayout();
    void updateScrollBars();
    void paintPane(QPainter &painter, const Pane &pane, qreal dpr);
    void moveCursor(int row, int col);
    int maxLeftCol() const;
    int visibleBodyRows() const;
    int fixedWidth() const;
    int fixedHeight() const;

    GridData m_data;
    DrawCellCallback m_drawCell;
    // Layout cache, rebuilt lazily after the data changed.
    std::vector<int> m_colX; // x of each column's left edge as if nothing scrolled; one more at the end
    int m_rowHeight = 20;    // pixels
    bool m_layoutPending = true;
    // Wheel turn not yet worth a row or column: fine-grained wheels and
    // touchpads send a notch in many small steps.
    QPoint m_wheelRest;
    int m_dpi = 0;
    bool m_redraw = true;
    qint64 m_firstChartPaintMs = -1;
    qint64 m_firstChartPaintCpuMs = -1;
    bool m_updatePending = false;
    bool m_paintRefused = false;   // a paint came while redraw was off
    // Rows whose texts changed since the last update; beyond a screenful
    // everything is painted again anyway.
    static constexpr size_t MaxDirtyRows = 256;
    std::vector<int> m_dirtyRows;
    bool m_dirtyAll = false;
    QColor m_backColor{255, 255, 255};
};

} // namespace vorn::chart
