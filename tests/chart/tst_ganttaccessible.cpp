#include "chartclock.h"
#include "ganttaccessible.h"
#include "overlaypainter.h"
#include "testchart.h"
#include "testfiles.h"
#include "texts.h"

#include <QAccessible>
#include <QApplication>
#include <QKeySequence>
#include <QMetaEnum>
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

// A grid at a 12-minute interval with one detail row per entry (key, then up to six time texts).
struct Chart : vorn::test::TestChart {
    explicit Chart(const QList<QStringList> &rows) : TestChart({800, 300}, QStringLiteral("12"), InstallGanttAccessibility)
    {
        for (const QStringList &texts : rows)
            grid->data().addItem(QString(u'\t' + texts.join(u'\t')));
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

    // What each row's cell says of its bars, compared whole with tests/chart/data/bar-descriptions.txt,
    // in English and in Chinese: with the live overlays off, then while an operation runs within its
    // planned duration, seconds late (a minute), 4:59 late (four minutes), five minutes late to the
    // second, and with its group counting its late operations. An operation without a planned
    // duration is never late.
    void rowBarsDescription()
    {
        const QStringList running{"06:00:00", "06:30:00", "00:30:00", "06:00:00", "", ""};
        Chart chart({QStringList{"M1"} + running, QStringList{"P1"} + running,
                     {"P2", "06:00:03", "06:58:14", "", "06:13:43", "", ""}});
        chart.grid->data().setRowOutlineLevel(3, 1);
        chart.grid->data().setRowOutlineLevel(4, 1);
        ChartClock clock = ChartClock::frozen(0);
        OverlayPainter overlay(clock);
        chart.grid->setOverlay(&overlay);
        QString said;
        for (const int now : {-1, 6 * 3600 + 1200, 6 * 3600 + 1830, 6 * 3600 + 1800 + 4 * 60 + 59, 6 * 3600 + 2100, 6 * 3600 + 2400}) {
            overlay.setEnabled(now >= 0);
            clock = ChartClock::frozen(qint64(std::max(0, now)) * 1000);
            for (const qint32 language : {LanguageEnglish, LanguageChinese}) {
                SetLanguage(language);
                for (int row = 0; row < 3; ++row)
                    said += QStringLiteral("%1 at %2, row %3: %4\n").arg(language).arg(now).arg(row)
                                .arg(cellText(chart.table()->tableInterface()->cellAt(row, 1), QAccessible::Description));
            }
        }
        SetLanguage(LanguageEnglish);
        chart.grid->setOverlay(nullptr);
        // No bars on a header row, nor past the last row (two header rows and three body rows).
        QCOMPARE(RowBarsDescription(chart.grid->data(), 1) + RowBarsDescription(chart.grid->data(), 2 + 3), QString());
        VORN_COMPARE_STORED(QStringLiteral("bar-descriptions.txt"), said.toUtf8());
    }

    // The table as a screen reader walks it, compared whole with tests/chart/data/NAME.txt: its
    // size and column descriptions, each body row with what it says of its bars and its cells up
    // to the first time column (names, roles, headers, places), then what a Down key announces.
    // A hidden column and a collapsed group's rows are left out; cells keep the shown row's place.
    void tableAsAScreenReaderWalksIt_data()
    {
        QTest::addColumn<int>("hiddenCol");
        QTest::addColumn<QList<int>>("hiddenRows");
        QTest::newRow("planned-finish-hidden") << 3 << QList<int>{};
        QTest::newRow("collapsed-group-rows") << -1 << QList<int>{3, 4};
    }

    void tableAsAScreenReaderWalksIt()
    {
        QFETCH(int, hiddenCol);
        QFETCH(QList<int>, hiddenRows);
        Chart chart({{"M1", "06:00:00", "07:00:00"}, {"P1", "06:00:00", "06:30:00", "", "06:10:00"},
                     {"P2", "06:00:03", "06:58:14", "00:58:11", "06:13:43", "07:02:00"}, {"M2"},
                     {"P3", "", "", "", "06:13:43", "06:20:00"}});
        GridData &d = chart.grid->data();
        if (hiddenCol >= 0)
            d.setColHidden(hiddenCol, true);
        g_events.clear();
        for (const int row : hiddenRows)
            d.setRowHidden(row, true);
        QCoreApplication::processEvents();
        QAccessibleInterface *table = chart.table();
        QAccessibleTableInterface *t = table->tableInterface();
        const auto roleName = [](const QAccessibleInterface *a) {
            return QString::fromLatin1(QMetaEnum::fromType<QAccessible::Role>().valueToKey(a->role()));
        };
        QString dump = QStringLiteral("%1 \"%2\": %3 rows, %4 columns, %5 children; events %6\n")
                           .arg(roleName(table), table->text(QAccessible::Name)).arg(t->rowCount())
                           .arg(t->columnCount()).arg(table->childCount()).arg(g_events.join(u','));
        for (int c = 0; c < 8; ++c)
            dump += QStringLiteral("column %1: %2\n").arg(c).arg(t->columnDescription(c));
        for (int r = -2; r <= t->rowCount(); ++r) {   // rows outside the table say nothing
            dump += QStringLiteral("row %1 \"%2\": %3\n").arg(r).arg(t->rowDescription(r),
                                                                   cellText(t->cellAt(r, 2), QAccessible::Description));
            for (int c = 0; r >= 0 && r < t->rowCount() && c < 8; ++c) {
                QAccessibleInterface *cell = t->cellAt(r, c);
                QVERIFY2(cell, qPrintable(QStringLiteral("no cell at %1,%2").arg(r).arg(c)));
                QAccessibleTableCellInterface *place = cell->tableCellInterface();
                QStringList headers;
                for (QAccessibleInterface *h : place->columnHeaderCells() + place->rowHeaderCells())
                    headers << h->text(QAccessible::Name) + u'/' + roleName(h);
                const int index = table->indexOfChild(cell);
                dump += QStringLiteral("  %1,%2 #%3 %4 \"%5\" under %6%7\n").arg(place->columnIndex())
                            .arg(place->rowIndex()).arg(index).arg(roleName(cell), cellText(cell), headers.join(u' '),
                            QLatin1String(table->child(index) == cell && cell->parent() == table ? "" : " (lost)"));
            }
        }
        // On a hidden column the current cell is no child: nothing is announced.
        d.select(2, hiddenCol >= 0 ? hiddenCol : 1);
        g_events.clear();
        QTest::keyClick(chart.grid.get(), Qt::Key_Down);
        QAccessibleInterface *focus = table->focusChild();
        dump += QStringLiteral("Down: row %1, events %2, focus child %3\n").arg(d.row()).arg(g_events.join(u','))
                    .arg(focus ? table->indexOfChild(focus) : -2);
        VORN_COMPARE_STORED(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".txt"), dump.toUtf8());
    }

    // Keys pressed on row 3, where a tick leaves the current cell, compared whole with
    // tests/chart/data/moves.txt: what the tick announced (nothing) and what the key did (the
    // new cell's focus: Page Down stops at the last row, Home and End stay on the row, Ctrl+Home
    // goes to the first), the table's focus child, where the focus was, what is selected.
    void userMovesAreAnnouncedTicksAreNot()
    {
        Chart chart({{"M1", "06:00:00"}, {"P1"}, {"P2"}});
        QVERIFY(g_events.contains("Reset -1")); // rows came: cells are asked again
        QAccessibleInterface *table = chart.table();
        QAccessibleTableInterface *t = table->tableInterface();
        const auto said = [&](QAccessibleInterface *cell) {
            return !cell ? QStringLiteral("none")
                         : QStringLiteral("#%1%2").arg(table->indexOfChild(cell)).arg(cell->state().focused ? " focused" : "");
        };
        QString moves;
        for (const QKeyCombination key : {QKeyCombination(Qt::Key_Down), QKeyCombination(Qt::Key_Right),
                                          QKeyCombination(Qt::Key_PageDown), QKeyCombination(Qt::Key_Home),
                                          QKeyCombination(Qt::Key_End), Qt::ControlModifier | Qt::Key_Home}) {
            g_events.clear();
            chart.grid->data().select(3, 1);
            QCoreApplication::processEvents();
            moves += QStringLiteral("tick [%1], %2: ").arg(g_events.join(u','), QKeySequence(key).toString());
            g_events.clear();
            QTest::keyClick(chart.grid.get(), key.key(), key.keyboardModifiers());
            QStringList selected;
            for (QAccessibleInterface *cell : t->selectedCells())
                selected << said(cell);
            moves += QStringLiteral("at %1,%2 [%3], focus %4, was %5, selected %6 of %7\n").arg(chart.grid->data().row())
                         .arg(chart.grid->data().col()).arg(g_events.join(u','), said(table->focusChild()), said(t->cellAt(1, 1)),
                              selected.join(u' ')).arg(t->selectedCellCount());
        }
        VORN_COMPARE_STORED(QStringLiteral("moves.txt"), moves.toUtf8());
    }
};

QTEST_MAIN(GanttAccessibleTest)
#include "tst_ganttaccessible.moc"
