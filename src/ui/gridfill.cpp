#include "gridfill.h"

#include "griddata.h"

namespace vorn {

namespace {

// Returns whether the label spilled into the columns behind it.
bool setDetailLabel(chart::GridData &grid, int row, const QString &label)
{
    if (!label.contains(QLatin1Char('\t'))) {
        grid.setText(row, 1, label);
        return false;
    }
    // The row is added from tab-separated text, so a tab inside the label
    // spills its pieces into the next columns, as it always has.
    int col = 1;
    for (QStringView piece : QStringView(label).split(QLatin1Char('\t'))) {
        if (col >= grid.cols())
            break;
        grid.setText(row, col++, piece.toString());
    }
    return true;
}

} // namespace

void ApplyScheduleRows(chart::GridData &grid, const std::vector<model::ScheduleRow> &rows)
{
    constexpr int firstRow = 2;
    grid.setRows(firstRow);
    grid.setRows(firstRow + int(rows.size()));
    const int lastCol = grid.cols() - 1;
    int r = firstRow;
    for (const model::ScheduleRow &row : rows) {
        const chart::CellRange keyCell{r, 1, r, 1};
        bool spilled = false;
        if (row.level == 0) {
            grid.setText(r, 1, row.label);
            grid.setIsNode(r, true);
            grid.setRowOutlineLevel(r, 0);
            grid.setCellFontBold(keyCell, true);
            grid.setCellForeColor(keyCell, GroupTextColor);
            grid.setCellBackColor(chart::CellRange{r, 0, r, lastCol}, GroupBackColor);
        } else {
            spilled = setDetailLabel(grid, r, row.label);
            grid.setIsNode(r, true);
            grid.setRowOutlineLevel(r, row.level);
            grid.setCellFontBold(keyCell, true);
        }
        for (int i = 0; i < 6; ++i) {
            if (spilled || !row.times[i].isEmpty())
                grid.setText(r, 2 + i, row.times[i]);
        }
        grid.setRowData(r, row.record);
        ++r;
    }
}

void DrawBodyBorders(chart::GridData &grid)
{
    // Colour values 3 and 1 are red 3 and red 1: practically black.
    const int last = grid.rows() - 1;
    if (grid.select(2, 2, last, 7))
        grid.setCellBorder(QColor(3, 0, 0), 1, 1, 1, 1, 1, 1);
    if (grid.select(2, 0, last, 2))
        grid.setCellBorder(QColor(1, 0, 0), 1, 1, 1, 1, 1, 1);
}

} // namespace vorn
