#include "ganttaccessible.h"

#include "ganttgrid.h"
#include "gridcolumns.h"
#include "gridoverlay.h"
#include "overlaymodel.h"
#include "texts.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QScrollBar>
#include <QWindow>

#include <unordered_map>

namespace vorn::chart {

namespace {

class GanttGridAccessible;

AccessibleNoticeSink g_noticeSink = nullptr;

void SendNotice(QAccessibleEvent *event)
{
    if (g_noticeSink)
        g_noticeSink(event);
    else if (QAccessible::isActive())
        QAccessible::updateAccessibility(event);
}

// One cell. Cells are made on demand and kept by the table until its rows or
// columns change, as assistive technology holds on to what it was given.
class GanttCellAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    GanttCellAccessible(GanttGrid *grid, int row, int col) : m_grid(grid), m_row(row), m_col(col) {}

    bool isValid() const override
    {
        return m_grid && m_row < m_grid->data().rows() && m_col < m_grid->data().cols();
    }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_grid ? m_grid->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_grid); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return {};
        switch (t) {
        case QAccessible::Name:
            return m_grid->data().text(m_row, m_col);
        case QAccessible::Description:
            return RowBarsDescription(m_grid->data(), m_row,
                                      m_grid->overlay() ? m_grid->overlay()->nowSeconds() : std::nullopt);
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect r = m_grid->cellRect(m_row, m_col);
        return r.isEmpty() ? QRect() : QRect(m_grid->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override
    {
        if (m_grid && m_row < m_grid->data().fixedRows())
            return QAccessible::ColumnHeader;
        // The key column names the row (machine or part), so it is the row header.
        return m_col == KeyCol ? QAccessible::RowHeader : QAccessible::Cell;
    }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const GridData &data = m_grid->data();
        const bool current = data.row() == m_row && data.col() == m_col;
        s.focusable = s.selectable = m_row >= data.fixedRows();
        s.selected = current;
        s.focused = current && m_grid->hasFocus();
        s.invisible = rect().isEmpty();
        s.readOnly = true;
        return s;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface *>(this)
                                                       : nullptr;
    }

    // QAccessibleTableCellInterface
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QList<QAccessibleInterface *> columnHeaderCells() const override;
    QList<QAccessibleInterface *> rowHeaderCells() const override;
    int columnIndex() const override;
    int rowIndex() const override;
    bool isSelected() const override { return state().selected; }
    QAccessibleInterface *table() const override { return parent(); }

    int row() const { return m_row; }
    int col() const { return m_col; }

private:
    QPointer<GanttGrid> m_grid;
    int m_row;
    int m_col;
};

// The grid as a table: the rows below the header rows that are shown (not
// in a collapsed group) and the columns not hidden; the header rows are the
// column headers, the key column the row header. Children are the body
// cells row by row.
class GanttGridAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit GanttGridAccessible(GanttGrid *grid) : QAccessibleWidget(grid, QAccessible::Table) {}
    ~GanttGridAccessible() override { clearCells(); }

    GanttGrid *grid() const { return static_cast<GanttGrid *>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return GetText(407, "Schedule chart");
        return QAccessibleWidget::text(t);
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    int childCount() const override { return rowCount() * columnCount(); }
    QAccessibleInterface *child(int index) const override
    {
        const int cols = columnCount();
        if (index < 0 || cols == 0 || index >= childCount())
            return nullptr;
        return cellAt(index / cols, index % cols);
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child || child->role() == QAccessible::ColumnHeader || child->parent() != this)
            return -1;
        const auto *cell = static_cast<const GanttCellAccessible *>(child);
        const int column = cell->columnIndex();
        return column < 0 ? -1 : cell->rowIndex() * columnCount() + column;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        int row = 0;
        int col = 0;
        const QPoint pos = grid()->viewport()->mapFromGlobal(QPoint(x, y));
        if (!grid()->cellAt(pos, &row, &col))
            return nullptr;
        return cellFor(row, col);
    }
    QAccessibleInterface *focusChild() const override
    {
        const GridData &data = grid()->data();
        if (!grid()->hasFocus() || data.row() < data.fixedRows())
            return nullptr;
        return cellFor(data.row(), data.col());
    }

    // QAccessibleTableInterface
    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }
    int columnCount() const override
    {
        int count = 0;
        for (int c = 0; c < grid()->data().cols(); ++c)
            count += grid()->data().colHidden(c) ? 0 : 1;
        return count;
    }
    int rowCount() const override { return grid()->gridGeometry().bodyRowCount(); }
    QString columnDescription(int column) const override
    {
        const int col = gridColumn(column);
        QStringList parts;
        for (int r = 0; col >= 0 && r < grid()->data().fixedRows(); ++r) {
            const QString &t = grid()->data().text(r, col);
            if (!t.isEmpty() && !parts.contains(t))
                parts << t;
        }
        return parts.join(u' ');
    }
    QString rowDescription(int row) const override
    {
        if (row < 0 || row >= rowCount())
            return {};
        return grid()->data().text(grid()->gridGeometry().bodyRowAt(row), KeyCol);
    }
    QAccessibleInterface *cellAt(int row, int column) const override
    {
        const int col = gridColumn(column);
        if (row < 0 || row >= rowCount() || col < 0)
            return nullptr;
        return cellFor(grid()->gridGeometry().bodyRowAt(row), col);
    }
    int selectedCellCount() const override { return currentCell() ? 1 : 0; }
    QList<QAccessibleInterface *> selectedCells() const override
    {
        if (QAccessibleInterface *cell = currentCell())
            return {cell};
        return {};
    }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent *) override { clearCells(); }

    // The accessible row of a grid row; -1 for a header row or a hidden one.
    int tableRow(int row) const
    {
        const GridData &data = grid()->data();
        if (row < data.fixedRows() || row >= data.rows() || data.rowHidden(row))
            return -1;
        return grid()->gridGeometry().bodyIndexOf(row);
    }

    // The accessible column of a grid column; -1 when hidden.
    int tableColumn(int col) const
    {
        const GridData &data = grid()->data();
        if (col < 0 || col >= data.cols() || data.colHidden(col))
            return -1;
        int column = 0;
        for (int c = 0; c < col; ++c)
            column += data.colHidden(c) ? 0 : 1;
        return column;
    }

    QAccessibleInterface *cellFor(int row, int col) const
    {
        const quint64 key = (quint64(quint32(row)) << 32) | quint32(col);
        auto it = m_cells.find(key);
        if (it != m_cells.end())
            return QAccessible::accessibleInterface(it->second);
        auto *cell = new GanttCellAccessible(grid(), row, col);
        m_cells.emplace(key, QAccessible::registerAccessibleInterface(cell));
        return cell;
    }

private:
    int gridColumn(int column) const
    {
        const GridData &data = grid()->data();
        for (int c = 0; c < data.cols() && column >= 0; ++c) {
            if (data.colHidden(c))
                continue;
            if (column-- == 0)
                return c;
        }
        return -1;
    }
    QAccessibleInterface *currentCell() const
    {
        const GridData &data = grid()->data();
        if (data.row() < data.fixedRows() || data.row() >= data.rows() || data.col() >= data.cols())
            return nullptr;
        return cellFor(data.row(), data.col());
    }
    void clearCells()
    {
        for (const auto &entry : m_cells)
            QAccessible::deleteAccessibleInterface(entry.second);
        m_cells.clear();
    }

    mutable std::unordered_map<quint64, QAccessible::Id> m_cells;
};

GanttGridAccessible *tableOf(const GanttCellAccessible *cell)
{
    return static_cast<GanttGridAccessible *>(cell->parent());
}

int GanttCellAccessible::rowIndex() const
{
    return m_grid ? tableOf(this)->tableRow(m_row) : -1;
}

int GanttCellAccessible::columnIndex() const
{
    return m_grid ? tableOf(this)->tableColumn(m_col) : -1;
}

QList<QAccessibleInterface *> GanttCellAccessible::columnHeaderCells() const
{
    QList<QAccessibleInterface *> headers;
    for (int r = 0; m_grid && r < m_grid->data().fixedRows(); ++r)
        headers << tableOf(this)->cellFor(r, m_col);
    return headers;
}

QList<QAccessibleInterface *> GanttCellAccessible::rowHeaderCells() const
{
    if (!m_grid || m_col == KeyCol || m_row < m_grid->data().fixedRows())
        return {};
    return {tableOf(this)->cellFor(m_row, KeyCol)};
}

QAccessibleInterface *GanttAccessibleFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("vorn::chart::GanttGrid") && object && object->isWidgetType())
        return new GanttGridAccessible(static_cast<GanttGrid *>(object));
    return nullptr;
}

// Tells assistive technology that the current cell moved (keyboard or mouse).
void NotifyCurrentCellMoved(GanttGrid *grid)
{
    if (!g_noticeSink && !QAccessible::isActive())
        return;
    auto *table = static_cast<GanttGridAccessible *>(QAccessible::queryAccessibleInterface(grid));
    const GridData &data = grid->data();
    const int column = table ? table->tableColumn(data.col()) : -1;
    const int row = table ? table->tableRow(data.row()) : -1;
    if (column < 0 || row < 0)
        return;
    const int child = row * table->columnCount() + column;
    QAccessibleEvent focus(grid, QAccessible::Focus);
    focus.setChild(child);
    SendNotice(&focus);
    QAccessibleEvent selection(grid, QAccessible::Selection);
    selection.setChild(child);
    SendNotice(&selection);
}

// Tells assistive technology that rows or columns came or went, so that
// cells it holds are asked again.
void NotifyGridLayoutChanged(GanttGrid *grid)
{
    if (!g_noticeSink && !QAccessible::isActive())
        return;
    QAccessibleTableModelChangeEvent reset(grid, QAccessibleTableModelChangeEvent::ModelReset);
    SendNotice(&reset);
}

} // namespace

QString RowBarsDescription(const GridData &grid, int row, std::optional<qint32> nowSeconds)
{
    if (row < grid.fixedRows() || row >= grid.rows())
        return {};
    const QString &plannedStart = grid.text(row, PlannedStartCol);
    const QString &plannedFinish = grid.text(row, PlannedFinishCol);
    const QString &actualStart = grid.text(row, ActualStartCol);
    const QString &actualFinish = grid.text(row, ActualFinishCol);
    QStringList parts;
    if (!plannedStart.isEmpty() || !plannedFinish.isEmpty())
        parts << GetText(400, "Planned %1 to %2").arg(plannedStart, plannedFinish);
    if (actualStart.isEmpty()) {
        parts << GetText(405, "not started");
    } else if (actualFinish.isEmpty()) {
        parts << GetText(402, "actual %1").arg(actualStart) << GetText(403, "running");
    } else {
        parts << GetText(401, "actual %1 to %2").arg(actualStart, actualFinish);
    }
    if (nowSeconds) {
        // A whole minute once late at all, so that "late" is never "0 min".
        if (const auto running = RunningAt(grid, row, *nowSeconds); running && running->lateSeconds > 0)
            parts << GetText(404, "%1 min late").arg(std::max(1, running->lateSeconds / 60));
        else if (const int late = LateCountAt(grid, row, *nowSeconds); late > 0)
            parts << GetText(306, "%1 late").arg(late);
    }
    return parts.join(GetText(406, ", "));
}

void SetAccessibleNoticeSink(AccessibleNoticeSink sink)
{
    g_noticeSink = sink;
}

void InstallGanttAccessibility(GanttGrid &grid)
{
    static const bool installed = [] {
        QAccessible::installFactory(GanttAccessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
    QObject::connect(&grid, &GanttGrid::currentCellChanged, &grid, [&grid] { NotifyCurrentCellMoved(&grid); });
    QObject::connect(&grid, &GanttGrid::layoutChanged, &grid, [&grid] { NotifyGridLayoutChanged(&grid); });
}

} // namespace vorn::chart
