#include "chartclock.h"
#include "ganttaccessible.h"
#include "overlaypainter.h"
#include "testchart.h"
#include "texts.h"

#include <QAccessible>
#include <QApplication>
#include <QTest>

using namespace vorn;
using namespace vorn::chart;

namespace {

// What a screen reader would have been told, as "Focus 3" (event and child index).
QStringList g_events;

void RecordEvent(QAccessibleEvent *event)
{
    if (event->type() == QAccessible::Focus || event->type() == QAccessible::TableModelChanged)
        g_events << QStringLiteral("%1 %2").arg(event->type() == QAccessible::Focus ? "Focus" : "Reset")
                        .arg(event->child());
}

// A grid at a 12-minute interval with header texts in the leading columns
// and one detail row per entry (key, then up to six time texts).
struct Chart : vorn::test::TestChart {
    explicit Chart(const QList<QStringList> &rows) : TestChart({800, 300}, QStringLiteral("12"), InstallGanttAccessibility)
    {
        GridData &d = grid->data();
        const QStringList row0{"", "Machine/Part", "Planned", "Planned", "Planned", "Actual", "Actual", "Actual"};
        const QStringList row1{"", "", "Start", "Finish", "Duration", "Start", "Finish", "Duration"};
        for (int c = 0; c < 8; ++c) {
            d.setText(0, c, row0[c]);
            d.setText(1, c, row1[c]);
        }
        for (const QStringList &texts : rows)
            d.addItem(QString(u'\t' + texts.join(u'\t')));
        QApplication::setActiveWindow(grid.get());
        grid->setFocus();
        QCoreApplication::processEvents();
    }

    QAccessibleInterface *table() const { return QAccessible::queryAccessibleInterface(grid.get()); }
};

QString cellText(QAccessibleInterface *cell, QAccessible::Text t = QAccessible::Name)
{
    return cell ? cell->text(t) : QStringLiteral("<none>");
}

} // namespace

class GanttAccessibleTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        SetAccessibleNoticeSink(RecordEvent);
    }
    void init() { g_events.clear(); }

    // What a row's cell says about its bars; while the live overlays are on
    // also how late a running operation is, and its group how many are.
    void rowBarsDescription_data()
    {
        QTest::addColumn<QStringList>("times"); // of the operation and its group
        QTest::addColumn<qint32>("language");
        QTest::addColumn<int>("now");     // seconds of the day; -1: overlays off
        QTest::addColumn<bool>("group");  // ask the group row, not the operation
        QTest::addColumn<QString>("said");

        const QStringList running{"06:00:00", "06:30:00", "00:30:00", "06:00:00", "", ""};
        const QString runningSaid = "Planned 06:00:00 to 06:30:00, actual 06:00:00, running";
        QTest::newRow("finished-operation")
            << QStringList{"06:00:03", "06:58:14", "00:58:11", "06:13:43", "07:02:00", ""} << LanguageEnglish << -1
            << false << "Planned 06:00:03 to 06:58:14, actual 06:13:43 to 07:02:00";
        QTest::newRow("no-actual-start") << QStringList{"06:00:03", "06:58:14"} << LanguageEnglish << -1 << false
                                         << "Planned 06:00:03 to 06:58:14, not started";
        QTest::newRow("no-planned-times") << QStringList{"", "", "", "06:13:43", "06:20:00"} << LanguageEnglish << -1
                                          << false << "actual 06:13:43 to 06:20:00";
        QTest::newRow("chinese-interface")
            << QStringList{"06:00:03", "06:58:14", "", "06:13:43", "", ""} << LanguageChinese << -1 << false
            << "计划 06:00:03 至 06:58:14，实际 06:13:43，运行中";
        QTest::newRow("late-but-overlays-off") << running << LanguageEnglish << -1 << false << runningSaid;
        QTest::newRow("within-the-planned-duration")
            << running << LanguageEnglish << 6 * 3600 + 1200 << false << runningSaid;
        QTest::newRow("seconds-late-count-as-a-minute")
            << running << LanguageEnglish << 6 * 3600 + 1830 << false << runningSaid + ", 1 min late";
        QTest::newRow("whole-minutes-late")
            << running << LanguageEnglish << 6 * 3600 + 1800 + 4 * 60 + 59 << false << runningSaid + ", 4 min late";
        QTest::newRow("group-counts-its-late-operations")
            << running << LanguageEnglish << 6 * 3600 + 2400 << true << runningSaid + ", 1 late";
    }

    void rowBarsDescription()
    {
        QFETCH(QStringList, times);
        QFETCH(qint32, language);
        QFETCH(int, now);
        QFETCH(bool, group);
        Chart chart({QStringList{"M1"} + times, QStringList{"P1"} + times});
        chart.grid->data().setRowOutlineLevel(3, 1);
        const ChartClock clock = ChartClock::frozen(qint64(std::max(0, now)) * 1000);
        OverlayPainter overlay(clock);
        overlay.setEnabled(now >= 0);
        chart.grid->setOverlay(&overlay);
        SetLanguage(language);
        const QString description =
            cellText(chart.table()->tableInterface()->cellAt(group ? 0 : 1, 1), QAccessible::Description);
        SetLanguage(LanguageEnglish);
        chart.grid->setOverlay(nullptr);
        QTEST(description, "said");
        QCOMPARE(RowBarsDescription(chart.grid->data(), 1), QString()); // a header row has no bars
    }

    // Rows of a collapsed group are not in the table; the keys step over
    // them and what is announced is the row's place among the shown ones.
    void collapsedRowsAreLeftOut()
    {
        Chart chart({{"M1", "06:00:00"}, {"P1"}, {"P2"}, {"M2"}, {"P3"}});
        GridData &d = chart.grid->data();
        g_events.clear();
        d.setRowHidden(3, true);
        d.setRowHidden(4, true);
        QCoreApplication::processEvents();
        QCOMPARE(g_events, QStringList{"Reset -1"});
        QAccessibleTableInterface *t = chart.table()->tableInterface();
        QCOMPARE(t->rowCount(), 3);
        QCOMPARE(chart.table()->childCount(), 3 * t->columnCount());
        QCOMPARE(t->rowDescription(1), "M2");
        QAccessibleInterface *p3 = t->cellAt(2, 1);
        QCOMPARE(cellText(p3), "P3");
        QCOMPARE(p3->tableCellInterface()->rowIndex(), 2);
        QCOMPARE(t->cellAt(3, 1), nullptr);

        d.select(2, 1);
        g_events.clear();
        QTest::keyClick(chart.grid.get(), Qt::Key_Down);
        QCOMPARE(d.row(), 5);
        QAccessibleInterface *m2 = t->cellAt(1, 1);
        QCOMPARE(g_events, QStringList{QStringLiteral("Focus %1").arg(chart.table()->indexOfChild(m2))});
        QCOMPARE(chart.table()->indexOfChild(m2), 1 * t->columnCount() + 1);
    }

    void gridIsATableOfItsBodyRows()
    {
        Chart chart({{"M1", "06:00:00", "07:00:00"}, {"P1", "06:00:00", "06:30:00", "", "06:10:00"}});
        chart.grid->data().setColHidden(3, true); // planned finish hidden by its check box
        QAccessibleInterface *table = chart.table();
        QCOMPARE(table->role(), QAccessible::Table);
        QCOMPARE(table->text(QAccessible::Name), "Schedule chart");
        QAccessibleTableInterface *t = table->tableInterface();
        QCOMPARE(t->rowCount(), 2);
        QCOMPARE(t->columnCount(), chart.grid->data().cols() - 1);
        QCOMPARE(t->rowDescription(1), "P1");
        QCOMPARE(t->columnDescription(2), "Planned Start");
        QCOMPARE(t->columnDescription(3), "Planned Duration"); // the hidden column is skipped

        QAccessibleInterface *cell = t->cellAt(1, 2);
        QCOMPARE(cellText(cell), "06:00:00");
        QCOMPARE(cellText(cell, QAccessible::Description), "Planned 06:00:00 to 06:30:00, actual 06:10:00, running");
        QCOMPARE(cell->role(), QAccessible::Cell);
        QAccessibleTableCellInterface *c = cell->tableCellInterface();
        QCOMPARE(QPoint(c->columnIndex(), c->rowIndex()), QPoint(2, 1));
        QStringList headers;
        for (QAccessibleInterface *h : c->columnHeaderCells())
            headers << h->text(QAccessible::Name) + "/" + QString::number(h->role() == QAccessible::ColumnHeader);
        QCOMPARE(headers.join(u','), "Planned/1,Start/1");
        QCOMPARE(c->rowHeaderCells().size(), 1);
        QCOMPARE(cellText(c->rowHeaderCells().first()), "P1");
        QCOMPARE(table->indexOfChild(cell), 1 * t->columnCount() + 2);
        QCOMPARE(table->child(table->indexOfChild(cell)), cell);
        QCOMPARE(cell->parent(), table);
    }

    void userMovesAreAnnouncedTicksAreNot_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("row"); // grid row and column of the new current cell
        QTest::addColumn<int>("col");

        QTest::newRow("down") << int(Qt::Key_Down) << 4 << 1;
        QTest::newRow("right") << int(Qt::Key_Right) << 3 << 2;
        QTest::newRow("page-down-stops-at-last-row") << int(Qt::Key_PageDown) << 4 << 1;
        QTest::newRow("home-stays-on-the-row") << int(Qt::Key_Home) << 3 << 0;
        QTest::newRow("end-stays-on-the-row") << int(Qt::Key_End) << 3 << -1; // -1: the last column
        QTest::newRow("ctrl-home-goes-to-the-first-row") << (Qt::Key_Home | Qt::ControlModifier).toCombined() << 2 << 0;
    }

    void userMovesAreAnnouncedTicksAreNot()
    {
        QFETCH(int, key);
        QFETCH(int, row);
        QFETCH(int, col);
        Chart chart({{"M1", "06:00:00"}, {"P1"}, {"P2"}});
        QVERIFY(g_events.contains("Reset -1")); // rows came: cells are asked again
        g_events.clear();
        chart.grid->data().select(3, 1); // where a tick leaves it
        QCoreApplication::processEvents();
        QCOMPARE(g_events, QStringList());

        QTest::keyClick(chart.grid.get(), Qt::Key(key & ~Qt::KeyboardModifierMask),
                        Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
        QAccessibleTableInterface *t = chart.table()->tableInterface();
        if (col < 0)
            col = t->columnCount() - 1;
        QAccessibleInterface *current = t->cellAt(row - 2, col);
        QCOMPARE(g_events, QStringList{QStringLiteral("Focus %1").arg(chart.table()->indexOfChild(current))});
        QCOMPARE(chart.table()->focusChild(), current);
        QVERIFY(current->state().focused);
        QVERIFY(!t->cellAt(1, 1)->state().focused); // where it was
        QCOMPARE(t->selectedCells(), QList<QAccessibleInterface *>{current});
        QCOMPARE(t->selectedCellCount(), 1);

        g_events.clear();
        chart.grid->data().select(2, 1);
        QCoreApplication::processEvents();
        QVERIFY(g_events.isEmpty());
    }
};

QTEST_MAIN(GanttAccessibleTest)
#include "tst_ganttaccessible.moc"
