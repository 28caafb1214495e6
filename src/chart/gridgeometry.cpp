#include "gridgeometry.h"

#include "griddata.h"
#include "twips.h"

#include <algorithm>

namespace vorn::chart {

void GridGeometry::relayout(int dpi)
{
    const int cols = m_data.cols();
    m_colX.assign(size_t(cols) + 1, 0);
    for (int c = 0; c < cols; ++c) {
        const int w = m_data.colHidden(c) ? 0 : TwipsToPixels(m_data.colWidth(c), dpi);
        m_colX[size_t(c) + 1] = m_colX[size_t(c)] + w;
    }
    m_rowHeight = std::max(1, TwipsToPixels(m_data.rowHeight(), dpi));
    m_bodyRows.clear();
    m_rowsFiltered = m_data.hiddenRowCount() > 0;
    if (m_rowsFiltered) {
        for (int r = m_data.fixedRows(); r < m_data.rows(); ++r) {
            if (!m_data.rowHidden(r))
                m_bodyRows.push_back(r);
        }
    }
}

int GridGeometry::columnX(int col) const
{
    return m_colX[size_t(std::clamp(col, 0, m_data.cols()))];
}

int GridGeometry::fixedWidth() const
{
    const int fixed = std::min(m_data.fixedCols(), m_data.cols());
    return m_colX.empty() ? 0 : m_colX[size_t(fixed)];
}

int GridGeometry::fixedHeight() const
{
    return std::min(m_data.fixedRows(), m_data.rows()) * m_rowHeight;
}

int GridGeometry::bodyRowCount() const
{
    return m_rowsFiltered ? int(m_bodyRows.size()) : std::max(0, m_data.rows() - m_data.fixedRows());
}

int GridGeometry::bodyRowAt(int index) const
{
    if (!m_rowsFiltered)
        return m_data.fixedRows() + index;
    return index >= 0 && size_t(index) < m_bodyRows.size() ? m_bodyRows[size_t(index)] : m_data.rows();
}

int GridGeometry::bodyIndexOf(int row) const
{
    if (row < m_data.fixedRows())
        return 0;
    if (!m_rowsFiltered)
        return row - m_data.fixedRows();
    const auto after = std::upper_bound(m_bodyRows.begin(), m_bodyRows.end(), row);
    return std::max(0, int(after - m_bodyRows.begin()) - 1);
}

int GridGeometry::visibleBodyRows(int height) const
{
    return std::max(0, (height - fixedHeight()) / m_rowHeight);
}

int GridGeometry::maxLeftCol(int width) const
{
    const int fixed = std::min(m_data.fixedCols(), m_data.cols());
    const int available = width - fixedWidth();
    int c = m_data.cols();
    while (c > fixed) {
        if (m_colX.back() - m_colX[size_t(c) - 1] > available)
            break;
        --c;
    }
    return std::max(c, fixed);
}

QRect GridGeometry::cellRect(int row, int col, const View &view) const
{
    if (row < 0 || row >= m_data.rows() || col < 0 || col >= m_data.cols())
        return {};
    const int w = m_colX[size_t(col) + 1] - m_colX[size_t(col)];
    if (w <= 0)
        return {};
    const bool fixedRow = row < m_data.fixedRows();
    const bool fixedCol = col < m_data.fixedCols();
    if (!fixedRow && m_data.rowHidden(row))
        return {};
    const int index = bodyIndexOf(row);
    if ((!fixedRow && index < view.topIndex) || (!fixedCol && col < view.leftCol))
        return {};
    const int y = fixedRow ? row * m_rowHeight : fixedHeight() + (index - view.topIndex) * m_rowHeight;
    const int x = fixedCol ? m_colX[size_t(col)]
                           : fixedWidth() + m_colX[size_t(col)] - m_colX[size_t(view.leftCol)];
    QRect area(QPoint(), view.size);
    if (!fixedRow)
        area.setTop(fixedHeight());
    if (!fixedCol)
        area.setLeft(fixedWidth());
    const QRect cell(x, y, w, m_rowHeight);
    return cell.intersects(area) ? cell : QRect();
}

bool GridGeometry::cellAt(const QPoint &pos, const View &view, int *row, int *col) const
{
    if (pos.x() < 0 || pos.y() < 0 || !QRect(QPoint(), view.size).contains(pos))
        return false;
    int r;
    if (pos.y() < fixedHeight()) {
        r = pos.y() / m_rowHeight;
    } else {
        const int index = view.topIndex + (pos.y() - fixedHeight()) / m_rowHeight;
        if (index >= bodyRowCount())
            return false;
        r = bodyRowAt(index);
    }
    if (r >= m_data.rows())
        return false;
    int from = 0;
    int to = std::min(m_data.fixedCols(), m_data.cols());
    int virtualX = pos.x();
    if (pos.x() >= fixedWidth()) {
        from = view.leftCol;
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

QRect GridGeometry::rowRect(int row, const View &view) const
{
    if (row < m_data.fixedRows())
        return QRect(0, row * m_rowHeight, view.size.width(), m_rowHeight);
    if (row >= m_data.rows() || m_data.rowHidden(row))
        return {};
    const int index = bodyIndexOf(row) - view.topIndex;
    if (index < 0 || index > visibleBodyRows(view.size.height()))
        return {};
    return QRect(0, fixedHeight() + index * m_rowHeight, view.size.width(), m_rowHeight);
}

std::array<PaneView, 4> GridGeometry::panes(const QRect &area, int topIndex, int leftCol, int lastCol,
                                            std::vector<int> &rows) const
{
    const int fRows = std::min(m_data.fixedRows(), m_data.rows());
    const int fCols = std::min(m_data.fixedCols(), m_data.cols());
    const int fw = fixedWidth();
    const int fh = fixedHeight();
    const int left = std::clamp(leftCol, fCols, m_data.cols());
    const int lastAllowed = lastCol < 0 ? m_data.cols() - 1 : std::min(lastCol, m_data.cols() - 1);

    // The fixed rows, then the shown body rows that reach into the area.
    rows.clear();
    for (int r = 0; r < fRows; ++r)
        rows.push_back(r);
    const int bodyRows = (area.height() - fh + m_rowHeight - 1) / m_rowHeight;
    const int bodyCount = bodyRowCount();
    for (int i = std::max(0, topIndex); i < std::min(bodyCount, topIndex + std::max(0, bodyRows)); ++i)
        rows.push_back(bodyRowAt(i));
    const std::span<const int> headerRows(rows.data(), size_t(fRows));
    const std::span<const int> bodyRowsShown(rows.data() + fRows, rows.size() - size_t(fRows));

    // The last scrolling column that reaches into the area.
    int lastShown = left - 1;
    for (int c = left; c <= lastAllowed; ++c) {
        if (fw + m_colX[size_t(c)] - m_colX[size_t(left)] >= area.width())
            break;
        lastShown = c;
    }

    const int x0 = area.left();
    const int y0 = area.top();
    const int w = std::max(0, area.width() - fw);
    const int h = std::max(0, area.height() - fh);
    const auto pane = [&](std::span<const int> paneRows, bool header, bool scrolling) {
        PaneView view;
        view.rows = paneRows;
        view.y = header ? y0 : y0 + fh;
        view.rowHeight = m_rowHeight;
        view.firstCol = scrolling ? left : 0;
        view.lastCol = scrolling ? lastShown : fCols - 1;
        view.colX = m_colX.data();
        view.baseX = scrolling ? x0 + fw - m_colX[size_t(left)] : x0;
        view.clip = QRect(scrolling ? x0 + fw : x0, view.y, scrolling ? w : fw, header ? fh : h);
        view.headerRows = header;
        view.timeScale = scrolling;
        return view;
    };
    return {pane(headerRows, true, false), pane(headerRows, true, true), pane(bodyRowsShown, false, false),
            pane(bodyRowsShown, false, true)};
}

PaneView GridGeometry::trimmed(PaneView pane, const QRect &clip) const
{
    // A strip repainted for a moving line costs what the strip shows.
    if (!pane.headerRows) {
        while (pane.firstCol < pane.lastCol && pane.right(pane.firstCol) <= clip.left())
            ++pane.firstCol;
        while (pane.lastCol > pane.firstCol && pane.left(pane.lastCol) > clip.right())
            --pane.lastCol;
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
    return pane;
}

bool IsCollapsedGroup(const GridData &data, int row)
{
    return row >= data.fixedRows() && data.rowOutlineLevel(row) <= 0 && data.rowOutlineLevel(row + 1) > 0
        && data.rowHidden(row + 1);
}

} // namespace vorn::chart
