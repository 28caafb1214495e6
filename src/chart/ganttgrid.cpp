#include "ganttgrid.h"

#include "appstate.h"
#include "ganttaccessible.h"
#include "ganttpainter.h"
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
#include <cmath>
#include <span>
#include <utility>

namespace vorn::chart {

namespace {

const QColor HeaderBack(236, 239, 244);
const QColor HeaderText(40, 44, 52);
const QColor GridLine(214, 218, 224);
const QColor HeaderGridLine(190, 196, 206);
const QColor OutlineInk(120, 128, 140);

Qt::Alignment withVertical(Qt::Alignment a)
{
    if (!(a & Qt::AlignVertical_Mask))
        a |= Qt::AlignVCenter;
    return a;
}

} // namespace

// One of the four areas of the viewport: fixed or scrolling rows crossed with
// fixed or scrolling columns.
struct GanttGrid::Pane {
    std::span<const int> rows; // shown rows, top to bottom
    int y = 0;                 // top of rows[0]
    int firstCol = 0;
    int lastCol = -1; // inclusive
    int x = 0;        // left of firstCol
    QRect clip;
    bool timeScale = false; // cells here get the cell-draw callback
};

GanttGrid::GanttGrid(QWidget *parent)
    : QAbstractScrollArea(parent)
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
    InstallGanttAccessibility();
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
    return row >= m_data.fixedRows() && m_data.rowOutlineLevel(row) <= 0
        && m_data.rowOutlineLevel(row + 1) > 0 && m_data.rowHidden(row + 1);
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
        m_layoutPending = m_accessibleLayoutPending = true;
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
            if (std::exchange(m_accessibleLayoutPending, false))
                NotifyGridLayoutChanged(this);
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

QRect GanttGrid::rowRect(int row) const
{
    if (row < m_data.fixedRows())
        return QRect(0, row * m_rowHeight, viewport()->width(), m_rowHeight);
    if (row >= m_data.rows() || m_data.rowHidden(row))
        return {};
    const int index = bodyIndexOf(row) - verticalScrollBar()->value();
    if (index < 0 || index > visibleBodyRows())
        return {};
    return QRect(0, fixedHeight() + index * m_rowHeight, viewport()->width(), m_rowHeight);
}

void GanttGrid::ensureLayout() const
{
    if (m_layoutPending)
        const_cast<GanttGrid *>(this)->relayout();
}

void GanttGrid::relayout()
{
    m_layoutPending = false;
    const int cols = m_data.cols();
    m_colX.assign(size_t(cols) + 1, 0);
    for (int c = 0; c < cols; ++c) {
        const int w = m_data.colHidden(c) ? 0 : twipsToPixels(m_data.colWidth(c));
        m_colX[size_t(c) + 1] = m_colX[size_t(c)] + w;
    }
    m_rowHeight = std::max(1, twipsToPixels(m_data.rowHeight()));
    m_bodyRows.clear();
    m_rowsFiltered = m_data.hiddenRowCount() > 0;
    if (m_rowsFiltered) {
        for (int r = m_data.fixedRows(); r < m_data.rows(); ++r) {
            if (!m_data.rowHidden(r))
                m_bodyRows.push_back(r);
        }
    }
    updateScrollBars();
}

int GanttGrid::bodyRowCount() const
{
    ensureLayout();
    return m_rowsFiltered ? int(m_bodyRows.size())
                          : std::max(0, m_data.rows() - m_data.fixedRows());
}

int GanttGrid::bodyRowAt(int index) const
{
    ensureLayout();
    if (!m_rowsFiltered)
        return m_data.fixedRows() + index;
    return index >= 0 && size_t(index) < m_bodyRows.size() ? m_bodyRows[size_t(index)]
                                                           : m_data.rows();
}

int GanttGrid::bodyIndexOf(int row) const
{
    ensureLayout();
    if (row < m_data.fixedRows())
        return 0;
    if (!m_rowsFiltered)
        return row - m_data.fixedRows();
    const auto after = std::upper_bound(m_bodyRows.begin(), m_bodyRows.end(), row);
    return std::max(0, int(after - m_bodyRows.begin()) - 1);
}

int GanttGrid::rowHeightPixels() const
{
    ensureLayout();
    return m_rowHeight;
}

int GanttGrid::columnX(int col) const
{
    ensureLayout();
    return m_colX[size_t(std::clamp(col, 0, m_data.cols()))];
}

int GanttGrid::fixedWidth() const
{
    const int fixed = std::min(m_data.fixedCols(), m_data.cols());
    return m_colX.empty() ? 0 : m_colX[size_t(fixed)];
}

int GanttGrid::fixedHeight() const
{
    return std::min(m_data.fixedRows(), m_data.rows()) * m_rowHeight;
}

int GanttGrid::visibleBodyRows() const
{
    return std::max(0, (viewport()->height() - fixedHeight()) / m_rowHeight);
}

int GanttGrid::maxLeftCol() const
{
    const int fixed = std::min(m_data.fixedCols(), m_data.cols());
    const int available = viewport()->width() - fixedWidth();
    int c = m_data.cols();
    // The last column that still lets every column behind it fit.
    while (c > fixed) {
        if (m_colX.back() - m_colX[size_t(c) - 1] > available)
            break;
        --c;
    }
    return std::max(c, fixed);
}

void GanttGrid::updateScrollBars()
{
    const int bodyRows = bodyRowCount();
    const int pageRows = visibleBodyRows();
    QScrollBar *v = verticalScrollBar();
    v->setRange(0, std::max(0, bodyRows - pageRows));
    v->setPageStep(std::max(1, pageRows));

    QScrollBar *h = horizontalScrollBar();
    const int fixed = std::min(m_data.fixedCols(), m_data.cols());
    h->setRange(0, maxLeftCol() - fixed);
    const int colPx = std::max(1, twipsToPixels(400));
    h->setPageStep(std::max(1, (viewport()->width() - fixedWidth()) / colPx));
}

int GanttGrid::topRow() const
{
    ensureLayout();
    const int index = verticalScrollBar()->value();
    return m_rowsFiltered && index < bodyRowCount() ? bodyRowAt(index)
                                                    : m_data.fixedRows() + index;
}

void GanttGrid::setTopRow(int row)
{
    ensureLayout();
    verticalScrollBar()->setValue(m_rowsFiltered ? bodyIndexOf(row) : row - m_data.fixedRows());
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
    ensureLayout();
    if (row < 0 || row >= m_data.rows() || col < 0 || col >= m_data.cols())
        return {};
    const int w = m_colX[size_t(col) + 1] - m_colX[size_t(col)];
    if (w <= 0)
        return {};
    const bool fixedRow = row < m_data.fixedRows();
    const bool fixedCol = col < m_data.fixedCols();
    const int top = verticalScrollBar()->value();
    const int left = leftCol();
    if (!fixedRow && m_data.rowHidden(row))
        return {};
    const int index = bodyIndexOf(row);
    if ((!fixedRow && index < top) || (!fixedCol && col < left))
        return {};
    const int y = fixedRow ? row * m_rowHeight : fixedHeight() + (index - top) * m_rowHeight;
    const int x = fixedCol ? m_colX[size_t(col)]
                           : fixedWidth() + m_colX[size_t(col)] - m_colX[size_t(left)];
    QRect area = viewport()->rect();
    if (!fixedRow)
        area.setTop(fixedHeight());
    if (!fixedCol)
        area.setLeft(fixedWidth());
    const QRect cell(x, y, w, m_rowHeight);
    return cell.intersects(area) ? cell : QRect();
}

bool GanttGrid::cellAt(const QPoint &pos, int *row, int *col) const
{
    ensureLayout();
    if (pos.x() < 0 || pos.y() < 0 || !viewport()->rect().contains(pos))
        return false;
    int r;
    if (pos.y() < fixedHeight()) {
        r = pos.y() / m_rowHeight;
    } else {
        const int index = verticalScrollBar()->value() + (pos.y() - fixedHeight()) / m_rowHeight;
        if (index >= bodyRowCount())
            return false;
        r = bodyRowAt(index);
    }
    if (r >= m_data.rows())
        return false;
    const int fixed = std::min(m_data.fixedCols(), m_data.cols());
    int from = 0;
    int to = fixed;
    int virtualX = pos.x();
    if (pos.x() >= fixedWidth()) {
        from = leftCol();
        to = m_data.cols();
        virtualX = pos.x() - fixedWidth() + m_colX[size_t(std::min(from, m_data.cols()))];
    }
    for (int c = from; c < to; ++c) {
        if (virtualX >= m_colX[size_t(c)] && virtualX < m_colX[size_t(c) + 1]) {
            if (row)
                *row = r;
            if (col)
                *col = c;
            return true;
        }
    }
    return false;
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
    // The device, not the widget: rendering into an image of another pixel
    // ratio must still give the callback that image's pixels.
    const QPaintDevice *device = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
    const qreal dpr = device ? device->devicePixelRatioF() : viewport()->devicePixelRatioF();
    const int fRows = std::min(m_data.fixedRows(), m_data.rows());
    const int fCols = std::min(m_data.fixedCols(), m_data.cols());
    const int fw = fixedWidth();
    const int fh = fixedHeight();
    const int left = std::clamp(leftCol, fCols, m_data.cols());
    const int lastAllowed = lastCol < 0 ? m_data.cols() - 1 : std::min(lastCol, m_data.cols() - 1);

    // The fixed rows, then the shown body rows that reach into the area.
    m_paintRows.clear();
    for (int r = 0; r < fRows; ++r)
        m_paintRows.push_back(r);
    const int bodyRows = (area.height() - fh + m_rowHeight - 1) / m_rowHeight;
    const int bodyCount = bodyRowCount();
    for (int i = std::max(0, topIndex); i < std::min(bodyCount, topIndex + std::max(0, bodyRows)); ++i)
        m_paintRows.push_back(bodyRowAt(i));
    const std::span<const int> headerRows(m_paintRows.data(), size_t(fRows));
    const std::span<const int> bodyRowsShown(m_paintRows.data() + fRows, m_paintRows.size() - size_t(fRows));

    // The last scrolling column that reaches into the area.
    int lastShown = left - 1;
    for (int c = left; c <= lastAllowed; ++c) {
        if (fw + m_colX[size_t(c)] - m_colX[size_t(left)] >= area.width())
            break;
        lastShown = c;
    }

    const int x0 = area.left();
    const int y0 = area.top();
    const int w = area.width();
    const int h = area.height();
    Pane panes[4];
    panes[0] = {headerRows, y0, 0, fCols - 1, x0, QRect(x0, y0, fw, fh), false};
    panes[1] = {headerRows, y0, left, lastShown, x0 + fw,
                QRect(x0 + fw, y0, std::max(0, w - fw), fh), false};
    panes[2] = {bodyRowsShown, y0 + fh, 0, fCols - 1, x0,
                QRect(x0, y0 + fh, fw, std::max(0, h - fh)), false};
    panes[3] = {bodyRowsShown, y0 + fh, left, lastShown, x0 + fw,
                QRect(x0 + fw, y0 + fh, std::max(0, w - fw), std::max(0, h - fh)), true};
    for (Pane &pane : panes) {
        const QRect clip = pane.clip.intersected(exposed);
        if (clip.isEmpty() || pane.rows.empty() || pane.lastCol < pane.firstCol)
            continue;
        // Only the rows and columns the exposed part reaches: a strip
        // repainted for a moving line costs what the strip shows. Header
        // columns stay whole, as a merged label is centred in all of it.
        if (pane.rows.front() >= m_data.fixedRows()) {
            const int baseX = pane.x - m_colX[size_t(pane.firstCol)];
            while (pane.firstCol < pane.lastCol && baseX + m_colX[size_t(pane.firstCol) + 1] <= clip.left())
                ++pane.firstCol;
            while (pane.lastCol > pane.firstCol && baseX + m_colX[size_t(pane.lastCol)] > clip.right())
                --pane.lastCol;
            pane.x = baseX + m_colX[size_t(pane.firstCol)];
        }
        size_t skip = 0;
        while (skip + 1 < pane.rows.size() && pane.y + m_rowHeight <= clip.top()) {
            ++skip;
            pane.y += m_rowHeight;
        }
        size_t count = pane.rows.size() - skip;
        while (count > 1 && pane.y + int(count - 1) * m_rowHeight > clip.bottom())
            --count;
        pane.rows = pane.rows.subspan(skip, count);
        painter.setClipRect(clip);
        paintPane(painter, pane, dpr);
    }
    painter.setClipping(false);
}

void GanttGrid::paintPane(QPainter &painter, const Pane &pane, qreal dpr)
{
    const int baseX = pane.x - m_colX[size_t(pane.firstCol)];
    auto colLeft = [&](int c) { return baseX + m_colX[size_t(c)]; };
    auto colRight = [&](int c) { return baseX + m_colX[size_t(c) + 1]; };
    const bool mergeHeader = m_data.mergeRow0();
    const int lastGridCol = m_data.cols() - 1;

    QFont normalFont = font();
    if (m_fontScale != 1.0 && normalFont.pointSizeF() > 0)
        normalFont.setPointSizeF(normalFont.pointSizeF() * m_fontScale);
    QFont boldFont = normalFont;
    boldFont.setBold(true);
    std::vector<QLine> gridLines;
    std::vector<QLine> headerLines;

    const bool anyBorders = !m_data.borders().empty();
    auto framed = [&](int row, int col) {
        return anyBorders && col <= lastGridCol && m_data.cellEdges(row, col).isSet;
    };
    auto nextShownCol = [&](int col) {
        int next = col + 1;
        while (next <= lastGridCol && m_data.colHidden(next))
            ++next;
        return next;
    };

    // Runs of row 0 cells that show as one (equal neighbouring texts).
    auto runEnd = [&](int row, int c) {
        if (row != 0 || !mergeHeader)
            return c;
        const QString &t = m_data.text(0, c);
        int end = c;
        for (int n = c + 1; n <= pane.lastCol; ++n) {
            if (m_colX[size_t(n) + 1] == m_colX[size_t(n)])
                continue; // hidden
            if (m_data.text(0, n) != t)
                break;
            end = n;
        }
        return end;
    };
    // A merged run may begin left of the pane's first column.
    auto runStart = [&](int row, int c) {
        if (row != 0 || !mergeHeader)
            return c;
        const QString &t = m_data.text(0, c);
        const int limit = pane.timeScale || pane.firstCol >= m_data.fixedCols()
            ? m_data.fixedCols() : 0;
        while (c > limit && m_data.text(0, c - 1) == t)
            --c;
        return c;
    };

    for (size_t i = 0; i < pane.rows.size(); ++i) {
        const int r = pane.rows[i];
        const int y = pane.y + int(i) * m_rowHeight;
        const bool fixedRow = r < m_data.fixedRows();
        // Backgrounds, one fill per run of equal colour. Body cells in the
        // grid's own colour are left to the viewport's background fill.
        const QRgb defaultBack = (fixedRow ? HeaderBack : m_backColor).rgb();
        int runFrom = pane.firstCol;
        QRgb runColor = m_data.cellBackRgb(r, pane.firstCol, defaultBack);
        for (int c = pane.firstCol + 1; c <= pane.lastCol + 1; ++c) {
            const QRgb color = c <= pane.lastCol ? m_data.cellBackRgb(r, c, defaultBack) : 0;
            if (c <= pane.lastCol && color == runColor)
                continue;
            if (fixedRow || runColor != defaultBack) {
                painter.fillRect(QRect(colLeft(runFrom), y, colRight(c - 1) - colLeft(runFrom),
                                       m_rowHeight),
                                 QColor::fromRgb(runColor));
            }
            runFrom = c;
            runColor = color;
        }

        // Ordinary grid lines on the right and bottom of every cell. A line
        // beside a cell that border lines frame is theirs to draw, or to
        // leave out (between the two header rows of columns 0 and 1).
        auto &lines = fixedRow ? headerLines : gridLines;
        const int bottomY = y + m_rowHeight - 1;
        int from = -1; // left end of the bottom line being gathered
        for (int c = pane.firstCol; c <= pane.lastCol + 1; ++c) {
            const bool open = c <= pane.lastCol && !framed(r, c) && !framed(r + 1, c);
            if (open && from < 0)
                from = colLeft(c);
            if (!open && from >= 0) {
                if (colLeft(c) > from)
                    lines.emplace_back(from, bottomY, colLeft(c) - 1, bottomY);
                from = -1;
            }
        }
        for (int c = pane.firstCol; c <= pane.lastCol; ++c) {
            if (colRight(c) == colLeft(c))
                continue;
            const int end = runEnd(r, c);
            if (!framed(r, end) && !framed(r, nextShownCol(end)))
                lines.emplace_back(colRight(end) - 1, y, colRight(end) - 1, bottomY);
            c = end;
        }
    }
    PaneView view;
    if (m_overlay) {
        view.rows = pane.rows;
        view.y = pane.y;
        view.rowHeight = m_rowHeight;
        view.firstCol = pane.firstCol;
        view.lastCol = pane.lastCol;
        view.colX = m_colX.data();
        view.baseX = baseX;
        view.clip = pane.clip;
        view.headerRows = pane.rows.front() < m_data.fixedRows();
        view.timeScale = pane.firstCol >= m_data.fixedCols();
        painter.save();
        m_overlay->paintUnder(painter, m_data, view);
        painter.restore();
    }

    painter.setPen(GridLine);
    painter.drawLines(gridLines.data(), int(gridLines.size()));
    painter.setPen(HeaderGridLine);
    painter.drawLines(headerLines.data(), int(headerLines.size()));

    // Border lines drawn on ranges; each cell's right and bottom line also
    // carries its neighbour's left and top line, so shared lines stay one
    // pixel wide.
    if (!m_data.borders().empty()) {
        for (size_t i = 0; i < pane.rows.size(); ++i) {
            const int r = pane.rows[i];
            const int y = pane.y + int(i) * m_rowHeight;
            for (int c = pane.firstCol; c <= pane.lastCol; ++c) {
                const int x1 = colLeft(c);
                const int x2 = colRight(c);
                if (x2 == x1)
                    continue;
                const CellEdges e = m_data.cellEdges(r, c);
                const int nextCol = nextShownCol(c);
                const CellEdges rightOf = nextCol <= lastGridCol ? m_data.cellEdges(r, nextCol)
                                                                 : CellEdges();
                const CellEdges below = m_data.cellEdges(r + 1, c);
                const bool insideMerge = r == 0 && mergeHeader && nextCol <= lastGridCol
                    && m_data.text(0, nextCol) == m_data.text(0, c);
                const int rightWidth = insideMerge ? 0 : std::max(e.right, rightOf.left);
                const int bottomWidth = std::max(e.bottom, below.top);
                auto color = [&](const CellEdges &own, int ownWidth, const CellEdges &other) {
                    return ownWidth > 0 || !other.isSet ? own.color : other.color;
                };
                if (rightWidth > 0)
                    painter.fillRect(QRect(x2 - rightWidth, y, rightWidth, m_rowHeight),
                                     color(e, e.right, rightOf));
                if (bottomWidth > 0)
                    painter.fillRect(QRect(x1, y + m_rowHeight - bottomWidth, x2 - x1, bottomWidth),
                                     color(e, e.bottom, below));
                if (e.left > 0 && colLeft(c) == 0)
                    painter.fillRect(QRect(x1, y, e.left, m_rowHeight), e.color);
                if (e.top > 0 && r == 0)
                    painter.fillRect(QRect(x1, y, x2 - x1, e.top), e.color);
            }
        }
    }

    // Outline marks in column 0: a box on group rows, a branch on the rows
    // under them.
    if (pane.firstCol == 0 && m_data.fixedCols() > 0 && colRight(0) > colLeft(0)) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        for (size_t i = 0; i < pane.rows.size(); ++i) {
            const int r = pane.rows[i];
            if (r < m_data.fixedRows() || !m_data.isNode(r))
                continue;
            const int y = pane.y + int(i) * m_rowHeight;
            const int cx = colLeft(0) + (colRight(0) - colLeft(0)) / 2;
            const int cy = y + m_rowHeight / 2;
            painter.setPen(OutlineInk);
            if (m_data.rowOutlineLevel(r) <= 0) {
                const int half = std::max(3, std::min(m_rowHeight, colRight(0) - colLeft(0)) / 4);
                painter.setBrush(Qt::white);
                painter.drawRect(cx - half, cy - half, 2 * half, 2 * half);
                painter.drawLine(cx - half + 2, cy, cx + half - 2, cy);
                if (isCollapsed(r))
                    painter.drawLine(cx, cy - half + 2, cx, cy + half - 2);
                painter.setBrush(Qt::NoBrush);
            } else {
                const bool more = r + 1 < m_data.rows() && m_data.rowOutlineLevel(r + 1) > 0;
                painter.drawLine(cx, y, cx, more ? y + m_rowHeight - 1 : cy);
                painter.drawLine(cx, cy, colRight(0) - 3, cy);
            }
        }
    }

    // Texts.
    bool bold = false;
    painter.setFont(normalFont);
    for (size_t i = 0; i < pane.rows.size(); ++i) {
        const int r = pane.rows[i];
        const int y = pane.y + int(i) * m_rowHeight;
        const bool fixedRow = r < m_data.fixedRows();
        for (int c = pane.firstCol; c <= pane.lastCol; ++c) {
            if (colRight(c) == colLeft(c))
                continue;
            const int start = runStart(r, c);
            const int end = runEnd(r, c);
            const QString &t = m_data.text(r, start);
            if (!t.isEmpty()) {
                const bool cellBold = m_data.cellFontBold(r, start);
                if (cellBold != bold) {
                    painter.setFont(cellBold ? boldFont : normalFont);
                    bold = cellBold;
                }
                QColor ink = m_data.cellForeColor(r, start);
                painter.setPen(ink.isValid() ? ink : fixedRow ? HeaderText : QColor(Qt::black));
                Qt::Alignment align = m_data.cellAlignment(r, start);
                if (!(align & Qt::AlignHorizontal_Mask))
                    align |= fixedRow ? Qt::AlignHCenter : Qt::AlignLeft;
                // A merged label is centred in the part of it that shows, so
                // an hour stays readable while its columns scroll.
                QRect box(colLeft(start), y, colRight(end) - colLeft(start), m_rowHeight);
                box = box.intersected(pane.clip);
                painter.drawText(box.adjusted(3, 0, -3, -1), int(withVertical(align)), t);
            }
            c = end;
        }
    }

    if (pane.timeScale && m_drawCell) {
        painter.save();
        // Combined with what the caller set, so that a page painted with a
        // margin or a print scale gets its bars in the same place.
        painter.setWorldTransform(QTransform::fromScale(1 / dpr, 1 / dpr), true);
        for (size_t i = 0; i < pane.rows.size(); ++i) {
            const int r = pane.rows[i];
            const int y = pane.y + int(i) * m_rowHeight;
            const int top = int(std::lround(y * dpr));
            const int bottom = int(std::lround((y + m_rowHeight) * dpr));
            for (int c = pane.firstCol; c <= pane.lastCol; ++c) {
                if (colRight(c) == colLeft(c))
                    continue;
                m_drawCell(painter, r, c, int(std::lround(colLeft(c) * dpr)), top,
                           int(std::lround(colRight(c) * dpr)), bottom);
            }
        }
        painter.restore();
    }
    if (m_overlay) {
        painter.save();
        m_overlay->paintOver(painter, m_data, view);
        painter.restore();
    }
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
    QBackingStore *store = viewport()->backingStore();
    QPaintDevice *device = store ? store->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image || store->size() != m_shown.store)
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
            const int available = viewport()->width() - fixedWidth();
            int first = leftCol();
            while (first < col && m_colX[size_t(col) + 1] - m_colX[size_t(first)] > available)
                ++first;
            setLeftCol(first);
        }
    }
    viewport()->update();
    // Only moves the user makes are announced: the refresh selects its cell
    // through the data, every tick, and a screen reader must not hear that.
    NotifyCurrentCellMoved(this);
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
    const bool keyColumn = col == 1;
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
        if (col == 0 && askOutline(row, !isCollapsed(row))) {
            event->accept();
            return;
        }
        moveCursor(row, col);
    }
    QAbstractScrollArea::mousePressEvent(event);
}

} // namespace vorn::chart
