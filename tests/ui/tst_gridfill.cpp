#include "griddata.h"
#include "gridfill.h"

#include <QTest>

using namespace vorn;
using model::ScheduleRow;

namespace {

ScheduleRow group(const QString &label, qint32 record, std::array<QString, 6> times = {})
{
    return ScheduleRow{label, 0, record, std::move(times)};
}

ScheduleRow detail(const QString &label, qint32 record, std::array<QString, 6> times = {})
{
    return ScheduleRow{label, 1, record, std::move(times)};
}

// A grid as the window sets it up: two header rows, eight leading columns
// and a short time scale behind them.
chart::GridData headerGrid(int cols = 20)
{
    chart::GridData grid;
    grid.setRows(2);
    grid.setCols(cols);
    grid.setText(0, 1, QStringLiteral("Machine/Part"));
    grid.setText(1, 2, QStringLiteral("Start"));
    return grid;
}

// One line per grid row: level, node flag, row data and the texts of
// columns 0 to 7, so a whole body compares at once.
QStringList flatten(const chart::GridData &grid)
{
    QStringList lines;
    for (int r = 2; r < grid.rows(); ++r) {
        QStringList cells;
        for (int c = 0; c <= 7; ++c)
            cells << grid.text(r, c);
        lines << QStringLiteral("L%1 N%2 D%3 |%4")
                     .arg(grid.rowOutlineLevel(r))
                     .arg(grid.isNode(r) ? 1 : 0)
                     .arg(grid.rowData(r))
                     .arg(cells.join(QLatin1Char('|')));
    }
    return lines;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<vorn::model::ScheduleRow>)

class tst_GridFill : public QObject {
    Q_OBJECT
private slots:
    void rowsLandInTheGrid_data()
    {
        QTest::addColumn<std::vector<ScheduleRow>>("rows");
        QTest::addColumn<QStringList>("expected");

        const std::array<QString, 6> t{QStringLiteral("00:05:00"), QStringLiteral("00:10:00"),
                                       QStringLiteral("00:05:00"), QStringLiteral("00:06:00"),
                                       QString(), QString()};
        QTest::newRow("empty-body")
            << std::vector<ScheduleRow>{} << QStringList{};
        QTest::newRow("group-with-summary-and-detail")
            << std::vector<ScheduleRow>{group(QStringLiteral("Mill1"), 3, t),
                                        detail(QStringLiteral("P1(O7)"), 3, t)}
            << QStringList{
                   QStringLiteral("L0 N1 D3 ||Mill1|00:05:00|00:10:00|00:05:00|00:06:00||"),
                   QStringLiteral("L1 N1 D3 ||P1(O7)|00:05:00|00:10:00|00:05:00|00:06:00||"),
               };
        QTest::newRow("labels-keep-their-blanks")
            << std::vector<ScheduleRow>{group(QStringLiteral(" Lathe 2"), 1),
                                        detail(QStringLiteral("P 1  "), 1)}
            << QStringList{QStringLiteral("L0 N1 D1 || Lathe 2||||||"),
                           QStringLiteral("L1 N1 D1 ||P 1  ||||||")};
        // The detail row is added from tab-separated text: a tab in the label
        // moves the rest into the next columns, where the times then overwrite it.
        QTest::newRow("tab-in-detail-label-overwritten-by-times")
            << std::vector<ScheduleRow>{group(QStringLiteral("G"), 1),
                                        detail(QStringLiteral("A\tB"), 2)}
            << QStringList{QStringLiteral("L0 N1 D1 ||G||||||"),
                           QStringLiteral("L1 N1 D2 ||A||||||")};
    }

    void rowsLandInTheGrid()
    {
        QFETCH(std::vector<ScheduleRow>, rows);
        QFETCH(QStringList, expected);

        chart::GridData grid = headerGrid();
        ApplyScheduleRows(grid, rows);
        QCOMPARE(grid.rows(), 2 + int(rows.size()));
        QCOMPARE(flatten(grid), expected);
        // The header rows are not touched.
        QCOMPARE(grid.text(0, 1), QStringLiteral("Machine/Part"));
        QCOMPARE(grid.text(1, 2), QStringLiteral("Start"));
    }


    void groupRowLooksLikeAGroup()
    {
        chart::GridData grid = headerGrid(128);
        ApplyScheduleRows(grid, {group(QStringLiteral("Mill1"), 1), detail(QStringLiteral("P1"), 1)});

        // Column 1 of a group: bold dark green; the band over every column,
        // including the last time-scale column, because the rebuild of the
        // time scale recognises group rows by it.
        QVERIFY(grid.cellFontBold(2, 1));
        QCOMPARE(grid.cellForeColor(2, 1), QColor(10, 100, 30));
        for (int c : {0, 1, 7, 8, 127})
            QCOMPARE(grid.cellBackColor(2, c), QColor(226, 226, 226));
        QVERIFY(!grid.cellFontBold(2, 2));

        // A detail row: only the label is bold; the band is not there.
        QVERIFY(grid.cellFontBold(3, 1));
        QVERIFY(!grid.cellForeColor(3, 1).isValid());
        QVERIFY(grid.cellBackColor(3, 1) != QColor(226, 226, 226));
    }

    void aNewFillReplacesTheOldBody()
    {
        chart::GridData grid = headerGrid();
        ApplyScheduleRows(grid, {group(QStringLiteral("Old"), 1), detail(QStringLiteral("x"), 1),
                                 detail(QStringLiteral("y"), 2)});
        ApplyScheduleRows(grid, {detail(QStringLiteral("New"), 5)});
        QCOMPARE(flatten(grid), QStringList{QStringLiteral("L1 N1 D5 ||New||||||")});
        // Row 2 was a group row before: nothing of its look survives.
        QVERIFY(grid.cellBackColor(2, 0) != QColor(226, 226, 226));
        QVERIFY(!grid.cellForeColor(2, 1).isValid());
    }

    void bordersCoverTheBody()
    {
        chart::GridData grid = headerGrid();
        ApplyScheduleRows(grid, {detail(QStringLiteral("a"), 1), detail(QStringLiteral("b"), 2)});
        DrawBodyBorders(grid);

        const int last = grid.rows() - 1;
        // Columns 2 to 7 in colour 3, except column 2, which the second
        // range (columns 0 to 2, colour 1) covers last.
        for (int c : {3, 7}) {
            const chart::CellEdges edges = grid.cellEdges(last, c);
            QVERIFY(edges.isSet);
            QCOMPARE(edges.color, QColor(3, 0, 0));
        }
        for (int c : {0, 2}) {
            const chart::CellEdges edges = grid.cellEdges(2, c);
            QVERIFY(edges.isSet);
            QCOMPARE(edges.color, QColor(1, 0, 0));
        }
        QVERIFY(!grid.cellEdges(2, 8).isSet);
        QVERIFY(!grid.cellEdges(1, 3).isSet);
    }

};

QTEST_GUILESS_MAIN(tst_GridFill)
#include "tst_gridfill.moc"
