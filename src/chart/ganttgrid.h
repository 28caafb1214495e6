#pragma once

#include "griddata.h"
#include "gridgeometry.h"
#include "gridoverlay.h"
#include "panepainter.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

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
    using DrawCellCallback = chart::DrawCellCallback;

    explicit GanttGrid(QWidget *parent = nullptr);
    ~GanttGrid() override;

    GridData &data() { return m_data; }
    const GridData &data() const { return m_data; }

    // Installs the Gantt bar painter (fg_DrawCell) reading IntervalText from
    // state; the state must outlive the grid. nullptr removes it.
    void setAppState(const AppState *state);
    // Replaces the cell-draw callback (an empty function removes it).
    void setDrawCellCallback(DrawCellCallback callback);

    // Paints over the grid's own painting; nullptr (default) paints nothing
    // more. The overlay must outlive the grid or be removed first.
    void setOverlay(GridOverlay *overlay);
    GridOverlay *overlay() const { return m_overlay; }

    // Asked to collapse (true) or expand a group row: by a click on the
    // outline box in column 0, or by Left/Right on the key column. Returns
    // whether it took the request; without a handler, or when it declines,
    // the click and the keys act as before.
    using OutlineHandler = std::function<bool(int groupRow, bool collapse)>;
    void setOutlineHandler(OutlineHandler handler) { m_outlineHandler = std::move(handler); }
    // A group row whose detail rows are hidden.
    bool isCollapsed(int row) const;

    // Redraw off: nothing new is painted until it is switched on again; the
    // grid shows the picture it painted last, where it fits after a move or a
    // resize, and its background elsewhere.
    bool redraw() const { return m_redraw; }
    // When the grid was first painted with rows below its header (ms since
    // the epoch), -1 until then: the moment a user first sees a chart.
    qint64 firstChartPaintMs() const { return m_firstChartPaintMs; }
    // The processor time the process had used by then (ms), -1 until then.
    qint64 firstChartPaintCpuMs() const { return m_firstChartPaintCpuMs; }
    void setRedraw(bool on);

    // Scroll position: the first visible scrollable row and column. Hidden
    // rows take no room: a hidden row given as the first row shows the last
    // shown row above it (its group row) at the top instead.
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

    // Where the rows and columns lie, laid out for the data as it is now.
    const GridGeometry &gridGeometry() const { ensureLayout(); return m_geometry; }
    // Shorthands for the geometry's answers (see GridGeometry).
    int bodyRowCount() const { return gridGeometry().bodyRowCount(); }
    int bodyRowAt(int index) const { return gridGeometry().bodyRowAt(index); }
    int bodyIndexOf(int row) const { return gridGeometry().bodyIndexOf(row); }
    int rowHeightPixels() const { return gridGeometry().rowHeight(); }
    int columnX(int col) const { return gridGeometry().columnX(col); }
    const int *columnEdges() const { return gridGeometry().columnEdges(); }
    int fixedWidthPixels() const { return gridGeometry().fixedWidth(); }
    int fixedHeightPixels() const { return gridGeometry().fixedHeight(); }

    // Paints the grid as the viewport would show it at `size`, scrolled so
    // that body row position topIndex and column leftCol come first, with no
    // column behind lastCol (-1: up to the last). Everything else (redraw
    // switch, focus frame, scroll bars) is left out.
    void paintView(QPainter &painter, const QSize &size, int topIndex, int leftCol, int lastCol = -1);

signals:
    // The current cell changed by mouse or keyboard (never by the data).
    void currentCellChanged(int row, int col);
    // Rows or columns came or went, or changed size; sent once the changes
    // of a fill or a tick have been folded into one layout.
    void layoutChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent *event) override;

private:
    void dataChanged(GridData::Change change, int row);
    void updateDirtyRows();
    // The viewport as the geometry sees it: its size and scroll position.
    GridGeometry::View view() const;
    // Where `row` shows in the viewport; empty when it does not.
    QRect rowRect(int row) const;
    void ensureLayout() const;
    void relayout();
    void updateScrollBars();
    void paintPanes(QPainter &painter, const QRect &area, const QRect &exposed, int topIndex,
                    int leftCol, int lastCol);
    void paintFocusFrame(QPainter &painter);
    void keepPicture();
    void moveCursor(int row, int col);
    bool askOutline(int row, bool collapse);
    int visibleBodyRows() const;

    GridData m_data;
    DrawCellCallback m_drawCell;
    GridOverlay *m_overlay = nullptr;
    OutlineHandler m_outlineHandler;
    // Rebuilt lazily after the data's layout changed.
    GridGeometry m_geometry;
    qreal m_fontScale = 1.0; // only while paintView paints another device
    std::vector<int> m_paintRows; // reused by every paint
    bool m_layoutPending = true;
    // Wheel turn not yet worth a row or column: fine-grained wheels and
    // touchpads send a notch in many small steps.
    QPoint m_wheelRest;
    int m_dpi = 0;
    bool m_redraw = true;
    // Where the last picture went into the window's backing store: the
    // viewport's place in the window, its size and pixel ratio, and the
    // store's size. While they stay, the store still holds that picture.
    struct ShownPicture {
        QPoint topLeft;
        QSize size;
        qreal dpr = 0;
        QSize store;
        bool operator==(const ShownPicture &) const = default;
    };
    ShownPicture m_shown;
    // That picture, taken from the store before a move or resize with redraw
    // off loses it there; null when redraw is on.
    QImage m_keptPicture;
    bool m_updatePending = false;
    qint64 m_firstChartPaintMs = -1;
    qint64 m_firstChartPaintCpuMs = -1;
    bool m_paintRefused = false;   // a paint came while redraw was off
    // Rows whose texts changed since the last update; beyond a screenful
    // everything is painted again anyway.
    static constexpr size_t MaxDirtyRows = 256;
    std::vector<int> m_dirtyRows;
    bool m_dirtyAll = false;
    bool m_layoutSignalPending = false;
    // Background of cells without a colour of their own.
    const QColor m_backColor{255, 255, 255};
};

} // namespace vorn::chart
