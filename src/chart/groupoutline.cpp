#include "groupoutline.h"

#include "appstate.h"
#include "gridcolumns.h"
#include "griddata.h"

#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace vorn::chart {

namespace {

bool isGroupRow(const GridData &grid, int row)
{
    return row >= grid.fixedRows() && row < grid.rows() && grid.rowOutlineLevel(row) <= 0;
}

void hideDetails(GridData &grid, int groupRow, bool hide)
{
    for (int row = groupRow + 1; row < grid.rows() && !isGroupRow(grid, row); ++row)
        grid.setRowHidden(row, hide);
}

} // namespace

QString GroupOutline::entry(qint16 sortOrder, const QString &key)
{
    return (sortOrder == kSortByMachine ? QStringLiteral("M:") : QStringLiteral("P:")) + key;
}

bool GroupOutline::isCollapsed(qint16 sortOrder, const QString &key) const
{
    return m_collapsed.contains(entry(sortOrder, key));
}

void GroupOutline::setCollapsed(GridData &grid, int groupRow, qint16 sortOrder, bool collapse)
{
    if (!isGroupRow(grid, groupRow))
        return;
    const QString key = entry(sortOrder, grid.text(groupRow, KeyCol));
    if (collapse)
        m_collapsed.insert(key);
    else
        m_collapsed.remove(key);
    hideDetails(grid, groupRow, collapse);
}

void GroupOutline::setAll(GridData &grid, qint16 sortOrder, bool collapse)
{
    if (!collapse)
        m_collapsed.clear();
    for (int row = grid.fixedRows(); row < grid.rows(); ++row) {
        if (isGroupRow(grid, row) && collapse)
            m_collapsed.insert(entry(sortOrder, grid.text(row, KeyCol)));
    }
    apply(grid, sortOrder, true);
}

void GroupOutline::apply(GridData &grid, qint16 sortOrder, bool enabled) const
{
    bool hide = false;
    for (int row = grid.fixedRows(); row < grid.rows(); ++row) {
        if (isGroupRow(grid, row)) {
            hide = enabled && !m_collapsed.isEmpty() && isCollapsed(sortOrder, grid.text(row, KeyCol));
            continue;
        }
        grid.setRowHidden(row, hide);
    }
}

QString GroupOutline::toText() const
{
    QStringList pieces;
    pieces.reserve(m_collapsed.size());
    for (const QString &key : m_collapsed)
        pieces.append(QString::fromLatin1(QUrl::toPercentEncoding(key)));
    // Sorted, so that the same groups always give the same line.
    pieces.sort();
    return pieces.join(u',');
}

GroupOutline GroupOutline::fromText(const QString &text)
{
    GroupOutline outline;
    for (const QString &piece : text.split(u',', Qt::SkipEmptyParts)) {
        const QString key = QUrl::fromPercentEncoding(piece.trimmed().toLatin1());
        if (key.startsWith(QLatin1String("M:")) || key.startsWith(QLatin1String("P:")))
            outline.m_collapsed.insert(key);
    }
    return outline;
}

} // namespace vorn::chart
