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
    // Filled from a copy or from moved rows, or appended in small batches
    // without room reserved (so that the texts take many blocks), a grid
    // holds what cell-by-cell writes leave, over a previous, longer fill,
    // and takes later edits as any other grid: "text <row> <col> <text>",
    // "cols <n>", "rows <n>", "item <tab-separated>", "refill"; and "is <row>
    // <col> <text>", what each grid must show then.
    void fillMatchesCellByCellWrites_data()
    {
        QTest::addColumn<int>("cols");
        QTest::addColumn<std::vector<ScheduleRow>>("rows");
        QTest::addColumn<QStringList>("edits");

        const std::vector<ScheduleRow> plain{row("P1(O1)", 0, 1, "00:01:40"), row("Mill1", 1, 1, "00:01:40"),
                                             row("", 1, 3), row("Lathe2", 1, 4, "25:00:00")};
        QTest::newRow("plain-groups-and-details") << 12 << plain << QStringList();
        QTest::newRow("tab-in-detail-label-spills-then-times-overwrite")
            << 12 << std::vector<ScheduleRow>{row("G", 0, 1), row("A\tB\tC\tD\tE\tF\tG\tH\tI", 1, 1, "00:00:05")}
            << QStringList();
        QTest::newRow("tab-in-group-key-stays-whole") << 12 << std::vector<ScheduleRow>{row("K\tX", 0, 2)} << QStringList();
        QTest::newRow("grid-narrower-than-the-times") << 4 << plain << QStringList();

        std::vector<ScheduleRow> bulk;
        for (int i = 0; i < 3000; ++i)
            bulk.push_back(i % 10 == 0 ? row(QStringLiteral("P%1").arg(i), 0, i + 1, "00:00:10")
                                       : row(QStringLiteral("M%1").arg(i % 7), 1, i + 1, i % 3 ? "00:01:00" : ""));
        QTest::newRow("a-row-grows-past-its-texts") << 12 << bulk << QStringList{"text 5 11 late", "text 5 9 x", "text 6 7 y"};
        QTest::newRow("texts-emptied-and-written-again") << 12 << bulk << QStringList{"text 4 1 ", "text 4 7 ", "text 4 7 z"};
        QTest::newRow("narrower-then-wider") << 12 << bulk
                                             << QStringList{"cols 3", "cols 12", "text 10 5 w", "is 10 4 ", "is 10 5 w"};
        QTest::newRow("rows-dropped-then-filled-again") << 12 << bulk << QStringList{"rows 1500", "refill", "text 2999 3 v"};
        QTest::newRow("rows-dropped-then-added-one-by-one")
            << 12 << bulk << QStringList{"rows 2000", "item \tAfter\t00:00:01", "text 2000 5 u", "rows 2001", "text 2000 4 t"};
        QTest::newRow("down-to-the-fixed-rows-and-up") << 12 << bulk << QStringList{"rows 1", "rows 5", "text 3 2 q", "refill"};
    }

    void fillMatchesCellByCellWrites()
    {
        QFETCH(int, cols);
        QFETCH(std::vector<ScheduleRow>, rows);
        QFETCH(QStringList, edits);
        chart::GridData byCells, copied, moved, batched;
        const std::initializer_list<chart::GridData *> grids{&byCells, &copied, &moved, &batched};
        for (chart::GridData *grid : grids) {
            grid->setCols(cols);
            grid->setRows(9);
            grid->setText(8, 3, QStringLiteral("stale"));
        }
        const auto fill = [&] {
            addRowsByCells(byCells, rows);
            ApplyScheduleRows(copied, rows);
            ApplyScheduleRows(moved, std::vector<ScheduleRow>(rows));
            chart::GridData scratch;
            scratch.setCols(cols);
            ApplyScheduleRows(scratch, rows);
            batched.setRows(2);
            std::vector<chart::GridData::RowContent> batch;
            for (int r = 2; r < scratch.rows(); ++r) {
                chart::GridData::RowContent &content = batch.emplace_back();
                for (int c = 0; c < scratch.cols(); ++c)
                    content.texts.push_back(scratch.text(r, c));
                while (!content.texts.empty() && content.texts.back().isEmpty())
                    content.texts.pop_back();
                content.data = scratch.rowData(r);
                content.outlineLevel = qint16(scratch.rowOutlineLevel(r));
                content.node = true;
                if (batch.size() == 100 || r + 1 == scratch.rows()) {
                    batched.appendRows(batch);
                    batch.clear();
                }
            }
        };
        fill();
        for (const QString &edit : edits) {
            const QStringList words = edit.split(u' ');
            if (words[0] == u"refill") {
                fill();
                continue;
            }
            for (chart::GridData *grid : grids) {
                if (words[0] == u"is")
                    QCOMPARE(grid->text(words[1].toInt(), words[2].toInt()), words.value(3));
                else if (words[0] == u"text")
                    grid->setText(words[1].toInt(), words[2].toInt(), words.value(3));
                else if (words[0] == u"cols")
                    grid->setCols(words[1].toInt());
                else if (words[0] == u"rows")
                    grid->setRows(words[1].toInt());
                else if (words[0] == u"item")
                    grid->addItem(words[1]);
            }
        }
        const QStringList expected = flatten(byCells);
        for (chart::GridData *grid : {&copied, &moved, &batched})
            QCOMPARE(flatten(*grid), expected);
    }
};

QTEST_MAIN(TestGridFill)
#include "tst_gridfill.moc"
