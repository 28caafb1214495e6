#include "griddata.h"
#include "gridfill.h"

#include <QtTest>

using namespace vorn;
using model::ScheduleRow;

Q_DECLARE_METATYPE(std::vector<ScheduleRow>)

namespace {

// The plain way to write the rows, one cell at a time: a group row gets its
// key in column 1; a detail row is added from a tab followed by its label;
// then the six times (a group's summary) are written over columns 2 to 7.
void addRowsByCells(chart::GridData &grid, const std::vector<ScheduleRow> &rows)
{
    grid.setRows(2);
    for (const ScheduleRow &row : rows) {
        if (row.level == 0) {
            grid.setRows(grid.rows() + 1);
            grid.setText(grid.rows() - 1, 1, row.label);
        } else {
            grid.addItem(QStringLiteral("\t") + row.label);
        }
        const int r = grid.rows() - 1;
        for (int i = 0; i < 6; ++i)
            grid.setText(r, 2 + i, row.times[i]);
        grid.setIsNode(r, true);
        grid.setRowOutlineLevel(r, row.level);
        grid.setRowData(r, row.record);
    }
}

// Every body row as one line: level, data, then the texts of all columns.
QStringList flatten(const chart::GridData &grid)
{
    QStringList lines;
    for (int r = 2; r < grid.rows(); ++r) {
        QString line = QStringLiteral("%1/%2/%3").arg(grid.rowOutlineLevel(r)).arg(grid.rowData(r)).arg(grid.isNode(r));
        for (int c = 0; c < grid.cols(); ++c)
            line += QLatin1Char('|') + grid.text(r, c);
        lines << line;
    }
    return lines;
}

ScheduleRow row(const QString &label, qint16 level, qint32 record, const QString &time = QString())
{
    return ScheduleRow{label, level, record, {time, QString(), time, QString(), time, QString()}};
}

} // namespace

class TestGridFill : public QObject {
    Q_OBJECT

private slots:
    void rowsMatchCellByCellWrites_data()
    {
        QTest::addColumn<int>("cols");
        QTest::addColumn<std::vector<ScheduleRow>>("rows");

        const std::vector<ScheduleRow> plain{row("P1(O1)", 0, 1, "00:01:40"), row("Mill1", 1, 1, "00:01:40"),
                                             row("", 1, 3), row("Lathe2", 1, 4, "25:00:00")};
        QTest::newRow("plain-groups-and-details") << 12 << plain;
        QTest::newRow("tab-in-detail-label-spills-then-times-overwrite")
            << 12 << std::vector<ScheduleRow>{row("G", 0, 1), row("A\tB\tC\tD\tE\tF\tG\tH\tI", 1, 1, "00:00:05")};
        QTest::newRow("tab-in-group-key-stays-whole") << 12 << std::vector<ScheduleRow>{row("K\tX", 0, 2)};
        QTest::newRow("grid-narrower-than-the-times") << 4 << plain;
    }

    void rowsMatchCellByCellWrites()
    {
        QFETCH(int, cols);
        QFETCH(std::vector<ScheduleRow>, rows);

        chart::GridData expected, copied, moved;
        for (chart::GridData *grid : {&expected, &copied, &moved}) {
            grid->setCols(cols);
            // A previous, longer fill must leave nothing behind.
            grid->setRows(9);
            grid->setText(8, 3, QStringLiteral("stale"));
        }
        addRowsByCells(expected, rows);
        ApplyScheduleRows(copied, rows);
        ApplyScheduleRows(moved, std::vector<ScheduleRow>(rows));

        QCOMPARE(flatten(copied), flatten(expected));
        QCOMPARE(flatten(moved), flatten(expected));
        for (int r = 2; r < moved.rows(); ++r) {
            QVERIFY(moved.cellFontBold(r, 1));
            QCOMPARE(moved.cellBackColor(r, cols - 1) == GroupBackColor, moved.rowOutlineLevel(r) == 0);
        }
    }
};

QTEST_MAIN(TestGridFill)
#include "tst_gridfill.moc"
