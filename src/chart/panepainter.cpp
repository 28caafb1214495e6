#include "panepainter.h"

#include "griddata.h"
#include "gridgeometry.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

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

PanePainter::PanePainter(QPainter &painter, const GridData &grid, const PaneView &pane)
    : m_painter(painter)
    , m_grid(grid)
    , m_pane(pane)
    , m_anyBorders(!grid.borders().empty())
    , m_lastGridCol(grid.cols() - 1)
{
}

void PanePainter::paint(const PaneStyle &style)
{
    paintBackgrounds(style.back);
    if (style.overlay) {
        m_painter.save();
        style.overlay->paintUnder(m_painter, m_grid, m_pane);
        m_painter.restore();
    }
    paintGridLines();
    paintBorders();
    paintOutlineMarks();
    paintTexts(style.font);
    if (style.drawCell)
        paintTimeScaleCells(style.drawCell, style.dpr);
    if (style.overlay) {
        m_painter.save();
        style.overlay->paintOver(m_painter, m_grid, m_pane);
        m_painter.restore();
    }
}

bool PanePainter::framed(int row, int col) const
{
    return m_anyBorders && col <= m_lastGridCol && m_grid.cellEdges(row, col).isSet;
}

int PanePainter::nextShownCol(int col) const
{
    int next = col + 1;
    while (next <= m_lastGridCol && m_grid.colHidden(next))
        ++next;
    return next;
}

// Runs of row 0 cells that show as one (equal neighbouring texts).
int PanePainter::runEnd(int row, int col) const
{
    if (row != 0 || !m_grid.mergeRow0())
        return col;
    const QString &t = m_grid.text(0, col);
    int end = col;
    for (int n = col + 1; n <= m_pane.lastCol; ++n) {
        if (m_pane.right(n) == m_pane.left(n))
            continue; // hidden
        if (m_grid.text(0, n) != t)
            break;
        end = n;
    }
    return end;
}

// A merged run may begin left of the pane's first column, but not in the
// fixed columns when the pane scrolls.
int PanePainter::runStart(int row, int col) const
{
    if (row != 0 || !m_grid.mergeRow0())
        return col;
    const QString &t = m_grid.text(0, col);
    const int limit = m_pane.timeScale ? m_grid.fixedCols() : 0;
    while (col > limit && m_grid.text(0, col - 1) == t)
        --col;
    return col;
}

void PanePainter::paintBackgrounds(const QColor &back)
{
    const int h = m_pane.rowHeight;
    for (size_t i = 0; i < m_pane.rows.size(); ++i) {
        const int r = m_pane.rows[i];
        const int y = m_pane.rowTop(i);
        const bool fixedRow = r < m_grid.fixedRows();
        // Body cells in the grid's own colour are left to the surface's fill.
        const QRgb defaultBack = (fixedRow ? HeaderBack : back).rgb();
        int runFrom = m_pane.firstCol;
        QRgb runColor = m_grid.cellBackRgb(r, m_pane.firstCol, defaultBack);
        for (int c = m_pane.firstCol + 1; c <= m_pane.lastCol + 1; ++c) {
            const QRgb color = c <= m_pane.lastCol ? m_grid.cellBackRgb(r, c, defaultBack) : 0;
            if (c <= m_pane.lastCol && color == runColor)
                continue;
            if (fixedRow || runColor != defaultBack) {
                m_painter.fillRect(QRect(m_pane.left(runFrom), y, m_pane.right(c - 1) - m_pane.left(runFrom), h),
                                   QColor::fromRgb(runColor));
            }
            runFrom = c;
            runColor = color;
        }
    }
}

void PanePainter::paintGridLines()
{
    // A line beside a cell that border lines frame is theirs to draw, or to
    // leave out (between the two header rows of columns 0 and 1).
    std::vector<QLine> gridLines;
    std::vector<QLine> headerLines;
    for (size_t i = 0; i < m_pane.rows.size(); ++i) {
        const int r = m_pane.rows[i];
        const int y = m_pane.rowTop(i);
        auto &lines = r < m_grid.fixedRows() ? headerLines : gridLines;
        const int bottomY = y + m_pane.rowHeight - 1;
        int from = -1; // left end of the bottom line being gathered
        for (int c = m_pane.firstCol; c <= m_pane.lastCol + 1; ++c) {
            const bool open = c <= m_pane.lastCol && !framed(r, c) && !framed(r + 1, c);
            if (open && from < 0)
                from = m_pane.left(c);
            if (!open && from >= 0) {
                if (m_pane.left(c) > from)
                    lines.emplace_back(from, bottomY, m_pane.left(c) - 1, bottomY);
                from = -1;
            }
        }
        for (int c = m_pane.firstCol; c <= m_pane.lastCol; ++c) {
            if (m_pane.right(c) == m_pane.left(c))
                continue;
            const int end = runEnd(r, c);
            if (!framed(r, end) && !framed(r, nextShownCol(end)))
                lines.emplace_back(m_pane.right(end) - 1, y, m_pane.right(end) - 1, bottomY);
            c = end;
        }
    }
    m_painter.setPen(GridLine);
    m_painter.drawLines(gridLines.data(), int(gridLines.size()));
    m_painter.setPen(HeaderGridLine);
    m_painter.drawLines(headerLines.data(), int(headerLines.size()));
}

void PanePainter::paintBorders()
{
    if (!m_anyBorders)
        return;
    const int h = m_pane.rowHeight;
    const bool mergeHeader = m_grid.mergeRow0();
    auto color = [](const CellEdges &own, int ownWidth, const CellEdges &other) {
        return ownWidth > 0 || !other.isSet ? own.color : other.color;
    };
    for (size_t i = 0; i < m_pane.rows.size(); ++i) {
        const int r = m_pane.rows[i];
        const int y = m_pane.rowTop(i);
        for (int c = m_pane.firstCol; c <= m_pane.lastCol; ++c) {
            const int x1 = m_pane.left(c);
            const int x2 = m_pane.right(c);
            if (x2 == x1)
                continue;
            const CellEdges e = m_grid.cellEdges(r, c);
            const int nextCol = nextShownCol(c);
            const CellEdges rightOf = nextCol <= m_lastGridCol ? m_grid.cellEdges(r, nextCol) : CellEdges();
            const CellEdges below = m_grid.cellEdges(r + 1, c);
            const bool insideMerge = r == 0 && mergeHeader && nextCol <= m_lastGridCol
                && m_grid.text(0, nextCol) == m_grid.text(0, c);
            const int rightWidth = insideMerge ? 0 : std::max(e.right, rightOf.left);
            const int bottomWidth = std::max(e.bottom, below.top);
            if (rightWidth > 0)
                m_painter.fillRect(QRect(x2 - rightWidth, y, rightWidth, h), color(e, e.right, rightOf));
            if (bottomWidth > 0)
                m_painter.fillRect(QRect(x1, y + h - bottomWidth, x2 - x1, bottomWidth), color(e, e.bottom, below));
            if (e.left > 0 && x1 == 0)
                m_painter.fillRect(QRect(x1, y, e.left, h), e.color);
            if (e.top > 0 && r == 0)
                m_painter.fillRect(QRect(x1, y, x2 - x1, e.top), e.color);
        }
    }
}

void PanePainter::paintOutlineMarks()
{
    if (m_pane.firstCol != 0 || m_grid.fixedCols() <= 0 || m_pane.right(0) <= m_pane.left(0))
        return;
    const int left = m_pane.left(0);
    const int right = m_pane.right(0);
    const int h = m_pane.rowHeight;
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    for (size_t i = 0; i < m_pane.rows.size(); ++i) {
        const int r = m_pane.rows[i];
        if (r < m_grid.fixedRows() || !m_grid.isNode(r))
            continue;
        const int y = m_pane.rowTop(i);
        const int cx = left + (right - left) / 2;
        const int cy = y + h / 2;
        m_painter.setPen(OutlineInk);
        if (m_grid.rowOutlineLevel(r) <= 0) {
            const int half = std::max(3, std::min(h, right - left) / 4);
            m_painter.setBrush(Qt::white);
            m_painter.drawRect(cx - half, cy - half, 2 * half, 2 * half);
            m_painter.drawLine(cx - half + 2, cy, cx + half - 2, cy);
            if (IsCollapsedGroup(m_grid, r))
                m_painter.drawLine(cx, cy - half + 2, cx, cy + half - 2);
            m_painter.setBrush(Qt::NoBrush);
        } else {
            const bool more = r + 1 < m_grid.rows() && m_grid.rowOutlineLevel(r + 1) > 0;
            m_painter.drawLine(cx, y, cx, more ? y + h - 1 : cy);
            m_painter.drawLine(cx, cy, right - 3, cy);
        }
    }
}

void PanePainter::paintTexts(const QFont &font)
{
    QFont boldFont = font;
    boldFont.setBold(true);
    bool bold = false;
    m_painter.setFont(font);
    for (size_t i = 0; i < m_pane.rows.size(); ++i) {
        const int r = m_pane.rows[i];
        const int y = m_pane.rowTop(i);
        const bool fixedRow = r < m_grid.fixedRows();
        for (int c = m_pane.firstCol; c <= m_pane.lastCol; ++c) {
            if (m_pane.right(c) == m_pane.left(c))
                continue;
            const int start = runStart(r, c);
            const int end = runEnd(r, c);
            const QString &t = m_grid.text(r, start);
            if (!t.isEmpty()) {
                const bool cellBold = m_grid.cellFontBold(r, start);
                if (cellBold != bold) {
                    m_painter.setFont(cellBold ? boldFont : font);
                    bold = cellBold;
                }
                const QColor ink = m_grid.cellForeColor(r, start);
                m_painter.setPen(ink.isValid() ? ink : fixedRow ? HeaderText : QColor(Qt::black));
                Qt::Alignment align = m_grid.cellAlignment(r, start);
                if (!(align & Qt::AlignHorizontal_Mask))
                    align |= fixedRow ? Qt::AlignHCenter : Qt::AlignLeft;
                // A merged label is centred in the part of it that shows, so
                // an hour stays readable while its columns scroll.
                QRect box(m_pane.left(start), y, m_pane.right(end) - m_pane.left(start), m_pane.rowHeight);
                box = box.intersected(m_pane.clip);
                m_painter.drawText(box.adjusted(3, 0, -3, -1), int(withVertical(align)), t);
            }
            c = end;
        }
    }
}

void PanePainter::paintTimeScaleCells(const DrawCellCallback &drawCell, qreal dpr)
{
    if (m_pane.headerRows || !m_pane.timeScale)
        return;
    m_painter.save();
    // Combined with what the caller set, so that a page painted with a
    // margin or a print scale gets its bars in the same place.
    m_painter.setWorldTransform(QTransform::fromScale(1 / dpr, 1 / dpr), true);
    for (size_t i = 0; i < m_pane.rows.size(); ++i) {
        const int r = m_pane.rows[i];
        const int y = m_pane.rowTop(i);
        const int top = int(std::lround(y * dpr));
        const int bottom = int(std::lround((y + m_pane.rowHeight) * dpr));
        for (int c = m_pane.firstCol; c <= m_pane.lastCol; ++c) {
            if (m_pane.right(c) == m_pane.left(c))
                continue;
            drawCell(m_painter, r, c, int(std::lround(m_pane.left(c) * dpr)), top,
                     int(std::lround(m_pane.right(c) * dpr)), bottom);
        }
    }
    m_painter.restore();
}

} // namespace vorn::chart
