#include "ganttgrid.h"

#include "appstate.h"
#include "ganttpainter.h"
#include "gridcolumns.h"
#include "panepainter.h"
#include "twips.h"

#include <QBackingStore>
#include <QDateTime>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <ctime>
#include <utility>

namespace vorn::chart {

GanttGrid::GanttGrid(QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_geometry(m_data)
{
    setFocusPolicy(Qt::StrongFocus);
    // Every paint covers all it exposes, or (redraw off) nothing at all,
    // which leaves the last picture in the window's backing store.
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette pal = viewport()->palette();
    pal.setColor(QPalette::Base, m_backColor);
    viewport()->setPalette(pal);
    horizontalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setSingleStep(1);
    m_data.setChangeListener([this](GridData::Change change, int row) { dataChanged(change, row); });
    m_layoutPending = true;
}

GanttGrid::~GanttGrid()
{
    m_data.setChangeListener({});
}

void GanttGrid::setAppState(const AppState *state)
{
    if (!state) {
        setDrawCellCallback({});
        return;
    }
    setDrawCellCallback([this, state](QPainter &painter, int row, int col, int left, int top,
                                      int right, int bottom) {
        fg_DrawCell(painter, m_data, *state, row, col, left, top, right, bottom);
    });
}

void GanttGrid::setDrawCellCallback(DrawCellCallback callback)
{
    m_drawCell = std::move(callback);
    viewport()->update();
}

void GanttGrid::setOverlay(GridOverlay *overlay)
{
    m_overlay = overlay;
    viewport()->update();
}

bool GanttGrid::isCollapsed(int row) const
{
    return IsCollapsedGroup(m_data, row);
}

void GanttGrid::setRedraw(bool on)
{
    m_redraw = on;
    if (on) {
        m_keptPicture = QImage();
        ensureLayout();
        // An area exposed while redraw was off showed the old picture: it
        // is painted whole now; otherwise only what changed meanwhile.
        if (std::exchange(m_paintRefused, false))
            m_dirtyAll = true;
        updateDirtyRows();
    }
}

void GanttGrid::dataChanged(GridData::Change change, int row)
{
    // The fill writes hundreds of thousands of cells; everything is folded
    // into one relayout and one repaint once control returns to the loop.
    // A tick rewrites a few rows' texts: only those of them that show are
    // painted again.
    if (change == GridData::Change::Layout)
        m_layoutPending = m_layoutSignalPending = true;
    if (change == GridData::Change::Layout || row < 0 || m_dirtyRows.size() >= MaxDirtyRows) {
        m_dirtyAll = true;
    } else if (!m_dirtyAll) {
        // A row out of sight is painted when it is scrolled in.
        if (!m_layoutPending && row >= m_data.fixedRows() && rowRect(row).isEmpty())
            return;
        m_dirtyRows.push_back(row);
    }
    if (m_updatePending)
        return;
    m_updatePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_updatePending = false;
            ensureLayout();
            if (m_redraw)
                updateDirtyRows();
            if (std::exchange(m_layoutSignalPending, false))
                emit layoutChanged();
        },
        Qt::QueuedConnection);
}

void GanttGrid::updateDirtyRows()
{
    if (m_dirtyAll) {
        viewport()->update();
    } else {
        for (const int row : m_dirtyRows) {
            const QRect rect = rowRect(row);
            if (!rect.isEmpty())
                viewport()->update(rect);
        }
    }
    m_dirtyAll = false;
    m_dirtyRows.clear();
}

GridGeometry::View GanttGrid::view() const
{
    return {viewport()->size(), verticalScrollBar()->value(), m_data.fixedCols() + horizontalScrollBar()->value()};
}

QRect GanttGrid::rowRect(int row) const
{
    return m_geometry.rowRect(row, view());
}

void GanttGrid::ensureLayout() const
{
    if (m_layoutPending)
        const_cast<GanttGrid *>(this)->relayout();
}

void GanttGrid::relayout()
{
    m_layoutPending = false;
    m_geometry.relayout(logicalDpi());
    updateScrollBars();
}

void GanttGrid::updateScrollBars()
{
    const int bodyRows = m_geometry.bodyRowCount();
    const int pageRows = visibleBodyRows();
    QScrollBar *v = verticalScrollBar();
    v->setRange(0, std::max(0, bodyRows - pageRows));
    v->setPageStep(std::max(1, pageRows));

    QScrollBar *h = horizontalScrollBar();
    const int fixed = std::min(m_data.fixedCols(), m_data.cols());
    h->setRange(0, m_geometry.maxLeftCol(viewport()->width()) - fixed);
    const int colPx = std::max(1, twipsToPixels(400));
    h->setPageStep(std::max(1, (viewport()->width() - m_geometry.fixedWidth()) / colPx));
}

int GanttGrid::visibleBodyRows() const
{
    return m_geometry.visibleBodyRows(viewport()->height());
}

int GanttGrid::topRow() const
{
    const GridGeometry &g = gridGeometry();
    const int index = verticalScrollBar()->value();
    return index < g.bodyRowCount() ? g.bodyRowAt(index) : m_data.fixedRows() + index;
}

void GanttGrid::setTopRow(int row)
{
    verticalScrollBar()->setValue(gridGeometry().bodyIndexOf(row));
}

int GanttGrid::leftCol() const
{
    ensureLayout();
    return m_data.fixedCols() + horizontalScrollBar()->value();
}

void GanttGrid::setLeftCol(int col)
{
    ensureLayout();
    horizontalScrollBar()->setValue(col - m_data.fixedCols());
}

int GanttGrid::logicalDpi() const
{
    return m_dpi > 0 ? m_dpi : std::max(1, logicalDpiX());
}

void GanttGrid::setLogicalDpi(int dpi)
{
    m_dpi = std::max(dpi, 0);
    m_layoutPending = true;
    ensureLayout();
    viewport()->update();
}

int GanttGrid::twipsToPixels(int twips) const
{
    return TwipsToPixels(twips, logicalDpi());
}

int GanttGrid::pixelsToTwips(int pixels) const
{
    return PixelsToTwips(pixels, logicalDpi());
}

int GanttGrid::leftTwips() const
{
    return pixelsToTwips(x());
}

int GanttGrid::topTwips() const
{
    return pixelsToTwips(y());
}

int GanttGrid::widthTwips() const
{
    return pixelsToTwips(width());
}

int GanttGrid::heightTwips() const
{
    return pixelsToTwips(height());
}

void GanttGrid::setPlacementTwips(int left, int top, int width, int height)
{
    setGeometry(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                twipsToPixels(height));
}

QRect GanttGrid::cellRect(int row, int col) const
{
    return gridGeometry().cellRect(row, col, view());
}

bool GanttGrid::cellAt(const QPoint &pos, int *row, int *col) const
{
    return gridGeometry().cellAt(pos, view(), row, col);
}

void GanttGrid::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    // The device, not the widget: rendering into an image of another pixel
    // ratio must still give the callback that image's pixels.
    const QPaintDevice *device = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
    const qreal dpr = device ? device->devicePixelRatioF() : viewport()->devicePixelRatioF();
    // A store without a size has no surface yet, and some platforms fail
    // when asked for it then (a grid rendered before it was ever shown).
    QBackingStore *store = viewport()->backingStore();
    if (device && store && !store->size().isEmpty() && device == store->paintDevice()) {
        // On screen. The window's backing store still holds the last picture
        // where it was painted, and an opaque viewport that paints nothing
        // leaves it there: while redraw is off, a grid exposed again shows
        // it. Moved, resized or at another pixel ratio, the backing store
        // has nothing of the grid's there: the picture taken out of it
        // before (keepPicture) is painted instead.
        const ShownPicture here{viewport()->mapTo(window(), QPoint()), viewport()->size(), dpr,
                                store->size()};
        const bool kept = here == m_shown;
        m_shown = here;
        if (!m_redraw) {
            m_paintRefused = true;
            // Where it fits, then the background; never the half-built rows
            // of a fill.
            if (!kept) {
                painter.fillRect(viewport()->rect(), m_backColor);
                painter.drawImage(QPoint(), m_keptPicture);
            }
            return;
        }
    }
    ensureLayout();
    if (m_firstChartPaintMs < 0 && m_data.rows() > m_data.fixedRows()) {
        m_firstChartPaintMs = QDateTime::currentMSecsSinceEpoch();
        m_firstChartPaintCpuMs = qint64(std::clock()) * 1000 / CLOCKS_PER_SEC;
    }
    // Rectangle by rectangle: two strips far apart (a moving line and a key
    // cell) must not cost the whole view between them.
    for (const QRect &exposed : event->region()) {
        painter.setClipRect(exposed);
        painter.fillRect(exposed, m_backColor);
        paintPanes(painter, viewport()->rect(), exposed, verticalScrollBar()->value(), leftCol(), -1);
        painter.setClipRect(exposed);
        paintFocusFrame(painter);
    }
}

void GanttGrid::paintFocusFrame(QPainter &painter)
{
    if (!hasFocus())
        return;
    const QRect current = cellRect(m_data.row(), m_data.col());
    if (!current.isEmpty() && m_data.row() >= m_data.fixedRows()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(current.adjusted(1, 1, -1, -1));
    }
}

void GanttGrid::paintView(QPainter &painter, const QSize &size, int topIndex, int leftCol,
                          int lastCol)
{
    ensureLayout();
    const QRect area(QPoint(), size);
    // Texts keep their size in logical pixels on a device of another
    // resolution (a printer), where the caller scales the painter.
    const int deviceDpi = painter.device() ? painter.device()->logicalDpiY() : 0;
    m_fontScale = deviceDpi > 0 ? qreal(logicalDpiY()) / deviceDpi : 1.0;
    painter.save();
    // Only the viewport fills its own background; another surface gets the
    // grid's colour here.
    painter.fillRect(area, m_backColor);
    paintPanes(painter, area, area, topIndex, leftCol, lastCol);
    painter.restore();
    m_fontScale = 1.0;
}

void GanttGrid::paintPanes(QPainter &painter, const QRect &area, const QRect &exposed,
                           int topIndex, int leftCol, int lastCol)
{
    PaneStyle style;
    // The device, not the widget: rendering into an image of another pixel
    // ratio must still give the callback that image's pixels.
    const QPaintDevice *device = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
    style.dpr = device ? device->devicePixelRatioF() : viewport()->devicePixelRatioF();
    style.font = font();
    if (m_fontScale != 1.0 && style.font.pointSizeF() > 0)
        style.font.setPointSizeF(style.font.pointSizeF() * m_fontScale);
    style.back = m_backColor;
    style.overlay = m_overlay;
    style.drawCell = m_drawCell;
    for (const PaneView &pane : m_geometry.panes(area, topIndex, leftCol, lastCol, m_paintRows)) {
        const QRect clip = pane.clip.intersected(exposed);
        if (clip.isEmpty() || pane.rows.empty() || pane.lastCol < pane.firstCol)
            continue;
        // Only the rows and columns the exposed part reaches.
        const PaneView shown = m_geometry.trimmed(pane, clip);
        painter.setClipRect(clip);
        PanePainter(painter, m_data, shown).paint(style);
    }
    painter.setClipping(false);
}

void GanttGrid::resizeEvent(QResizeEvent *event)
{
    keepPicture();
    QAbstractScrollArea::resizeEvent(event);
    ensureLayout();
    updateScrollBars();
}

void GanttGrid::moveEvent(QMoveEvent *event)
{
    keepPicture();
    QAbstractScrollArea::moveEvent(event);
}

void GanttGrid::keepPicture()
{
    // The window's backing store still holds the last picture at its old
    // place until the next paint resizes or repaints it.
    if (m_redraw || !m_keptPicture.isNull())
        return;
    // A store not sized yet holds no picture, and Windows' has no device to
    // ask for before its first resize.
    QBackingStore *store = viewport()->backingStore();
    if (!store || store->size().isEmpty() || store->size() != m_shown.store)
        return;
    QPaintDevice *device = store->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return;
    const QRectF area(QPointF(m_shown.topLeft) * m_shown.dpr, QSizeF(m_shown.size) * m_shown.dpr);
    m_keptPicture = static_cast<QImage *>(device)->copy(area.toAlignedRect());
    m_keptPicture.setDevicePixelRatio(m_shown.dpr);
}

void GanttGrid::scrollContentsBy(int, int)
{
    viewport()->update();
}

void GanttGrid::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ScreenChangeInternal) {
        m_layoutPending = true;
        viewport()->update();
    }
}

void GanttGrid::wheelEvent(QWheelEvent *event)
{
    QPoint delta = event->angleDelta();
    // Shift turns the wheel sideways, as in most spreadsheets.
    if (event->modifiers() & Qt::ShiftModifier)
        delta = QPoint(delta.y() != 0 ? delta.y() : delta.x(), 0);
    if (delta.isNull()) {
        event->ignore();
        return;
    }
    m_wheelRest += delta;
    const int rows = -m_wheelRest.y() / 40; // three rows a notch
    const int cols = -m_wheelRest.x() / 40;
    m_wheelRest += QPoint(cols * 40, rows * 40);
    verticalScrollBar()->setValue(verticalScrollBar()->value() + rows);
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + cols);
    event->accept();
}

void GanttGrid::moveCursor(int row, int col)
{
    ensureLayout();
    const int bodyCount = bodyRowCount();
    if (bodyCount == 0 || m_data.cols() == 0)
        return;
    const int index = std::clamp(bodyIndexOf(std::max(row, m_data.fixedRows())), 0, bodyCount - 1);
    row = bodyRowAt(index);
    col = std::clamp(col, 0, m_data.cols() - 1);
    if (!m_data.select(row, col))
        return;
    const int pageRows = std::max(1, visibleBodyRows());
    QScrollBar *v = verticalScrollBar();
    if (index < v->value())
        v->setValue(index);
    else if (index >= v->value() + pageRows)
        v->setValue(index - pageRows + 1);
    if (col >= m_data.fixedCols()) {
        if (col < leftCol()) {
            setLeftCol(col);
        } else {
            const int available = viewport()->width() - m_geometry.fixedWidth();
            int first = leftCol();
            while (first < col && m_geometry.columnX(col + 1) - m_geometry.columnX(first) > available)
                ++first;
            setLeftCol(first);
        }
    }
    viewport()->update();
    // Only moves the user makes are announced: the refresh selects its cell
    // through the data, every tick, and a screen reader must not hear that.
    emit currentCellChanged(row, col);
}

bool GanttGrid::askOutline(int row, bool collapse)
{
    const bool group = row >= m_data.fixedRows() && m_data.isNode(row)
        && m_data.rowOutlineLevel(row) <= 0 && m_data.rowOutlineLevel(row + 1) > 0;
    return group && m_outlineHandler && isCollapsed(row) != collapse
        && m_outlineHandler(row, collapse);
}

void GanttGrid::keyPressEvent(QKeyEvent *event)
{
    const int row = std::max(m_data.row(), m_data.fixedRows());
    int index = bodyIndexOf(row);
    int col = m_data.col();
    const int page = std::max(1, visibleBodyRows());
    auto step = [&](int from, int dir) {
        int c = from + dir;
        while (c >= 0 && c < m_data.cols() && m_data.colHidden(c))
            c += dir;
        return c >= 0 && c < m_data.cols() ? c : from;
    };
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool keyColumn = col == KeyCol;
    switch (event->key()) {
    case Qt::Key_Up: --index; break;
    case Qt::Key_Down: ++index; break;
    case Qt::Key_Left:
        if (keyColumn && askOutline(row, true)) {
            event->accept();
            return;
        }
        col = step(col, -1);
        break;
    case Qt::Key_Right:
        if (keyColumn && askOutline(row, false)) {
            event->accept();
            return;
        }
        col = step(col, 1);
        break;
    case Qt::Key_PageUp: index -= page; break;
    case Qt::Key_PageDown: index += page; break;
    case Qt::Key_Home:
        if (ctrl)
            index = 0;
        col = 0;
        break;
    case Qt::Key_End:
        if (ctrl)
            index = bodyRowCount() - 1;
        col = m_data.cols() - 1;
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    moveCursor(bodyRowAt(std::clamp(index, 0, std::max(0, bodyRowCount() - 1))), col);
    event->accept();
}

void GanttGrid::mousePressEvent(QMouseEvent *event)
{
    int row = 0;
    int col = 0;
    if (event->button() == Qt::LeftButton && cellAt(event->position().toPoint(), &row, &col)
        && row >= m_data.fixedRows()) {
        // The outline box: the click opens or closes the group and the
        // current cell stays where it was.
        if (col == OutlineCol && askOutline(row, !isCollapsed(row))) {
            event->accept();
            return;
        }
        moveCursor(row, col);
    }
    QAbstractScrollArea::mousePressEvent(event);
}

} // namespace vorn::chart
