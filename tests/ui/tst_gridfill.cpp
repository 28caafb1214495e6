#include "griddata.h"
#include "gridfill.h"

#include <QTest>

using namespace vorn;
using model::ScheduleRow;

namespace {

ScheduleRow row(qint16 level, const QString &label, qint32 record, std::array<QString, 6> times = {})
{
    return ScheduleRow{label, level, record, std::move(times)};
}

// Two header rows, eight leading columns and a short time scale.
chart::GridData headerGrid()
{
    chart::GridData grid;
    grid.setRows(2);
    grid.setCols(20);
    grid.setText(0, 1, QStringLiteral("Machine/Part"));
    return grid;
}

} // namespace

class tst_GridFill : public QObject {
    Q_OBJECT
private slots:
    void groupAndDetailRowsLookApart()
    {
        chart::GridData grid = headerGrid();
        ApplyScheduleRows(grid, {row(0, QStringLiteral("Mill1"), 3, {QStringLiteral("00:05:00")}),
                                 row(1, QStringLiteral(" P 1 "), 3, {QStringLiteral("00:05:00")})});
        QCOMPARE(grid.rows(), 4);
        QCOMPARE(grid.text(0, 1), QStringLiteral("Machine/Part"));
        // Group: key bold dark green, the grey band over every column up to
        // the last one, which the time-scale rebuild recognises it by.
        QCOMPARE(grid.text(2, 1), QStringLiteral("Mill1"));
        QVERIFY(grid.cellFontBold(2, 1));
        QCOMPARE(grid.cellForeColor(2, 1), QColor(10, 100, 30));
        for (int c : {0, 7, 19})
            QCOMPARE(grid.cellBackColor(2, c), QColor(226, 226, 226));
        QCOMPARE(grid.rowOutlineLevel(2), qint16(0));
        // Detail: label as given (blanks kept) and bold, no band.
        QCOMPARE(grid.text(3, 0), QString());
        QCOMPARE(grid.text(3, 1), QStringLiteral(" P 1 "));
        QVERIFY(grid.cellFontBold(3, 1));
        QVERIFY(grid.cellBackColor(3, 1) != QColor(226, 226, 226));
        QCOMPARE(grid.rowOutlineLevel(3), qint16(1));
        for (int r : {2, 3}) {
            QVERIFY(grid.isNode(r));
            QCOMPARE(grid.rowData(r), 3);
            QCOMPARE(grid.text(r, 2), QStringLiteral("00:05:00"));
        }
    }

    // A detail row is added from tab-separated text: a tab in its label moves
    // the rest into the next columns, where the times overwrite columns 2 to 7.
    void tabInDetailLabelSpills()
    {
        chart::GridData grid = headerGrid();
        ApplyScheduleRows(grid, {row(1, QStringLiteral("A\tB\t3\t4\t5\t6\t7\tH"), 1, {QStringLiteral("00:00:01")})});
        QCOMPARE(grid.text(2, 1), QStringLiteral("A"));
        QCOMPARE(grid.text(2, 2), QStringLiteral("00:00:01"));
        QCOMPARE(grid.text(2, 3), QString());
        QCOMPARE(grid.text(2, 8), QStringLiteral("H"));
    }

    void aNewFillReplacesTheOldBody()
    {
        chart::GridData grid = headerGrid();
        ApplyScheduleRows(grid, {row(0, QStringLiteral("Old"), 1), row(1, QStringLiteral("x"), 1),
                                 row(1, QStringLiteral("y"), 2)});
        ApplyScheduleRows(grid, {row(1, QStringLiteral("New"), 5)});
        QCOMPARE(grid.rows(), 3);
        QCOMPARE(grid.text(2, 1), QStringLiteral("New"));
        // Row 2 was a group row before: nothing of its look survives.
        QVERIFY(grid.cellBackColor(2, 0) != QColor(226, 226, 226));
        QVERIFY(!grid.cellForeColor(2, 1).isValid());
    }

    void bordersCoverTheBody()
    {
        chart::GridData grid = headerGrid();
        DrawBodyBorders(grid);
        QVERIFY(grid.borders().empty());   // no body, nothing to draw on

        ApplyScheduleRows(grid, {row(1, QStringLiteral("a"), 1), row(1, QStringLiteral("b"), 2)});
        DrawBodyBorders(grid);
        // Columns 2 to 7 in colour 3, except column 2, which the second range
        // (columns 0 to 2, colour 1) covers last.
        QCOMPARE(grid.cellEdges(3, 7).color, QColor(3, 0, 0));
        QCOMPARE(grid.cellEdges(2, 2).color, QColor(1, 0, 0));
        QCOMPARE(grid.cellEdges(3, 0).color, QColor(1, 0, 0));
        QVERIFY(!grid.cellEdges(2, 8).isSet);
        QVERIFY(!grid.cellEdges(1, 3).isSet);
    }
};

QTEST_GUILESS_MAIN(tst_GridFill)
#include "tst_gridfill.moc"
