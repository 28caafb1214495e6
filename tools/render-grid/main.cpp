// Renders a small sample Gantt grid to PNG files at 100% and 200% device pixel
// ratio, to look at the chart without starting the program:
//   vorn-render-grid [output-prefix]   (writes <prefix>-100.png and <prefix>-200.png)

#include "appstate.h"
#include "dbftable.h"
#include "fieldreader.h"
#include "ganttgrid.h"
#include "gridfill.h"
#include "gridlayout.h"
#include "plantmodel.h"
#include "schedulerows.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>

using namespace vorn;
using namespace vorn::chart;

namespace {

// One schedule record of the sample; a time of 0 was not reached yet.
struct Record {
    const char *part;
    const char *order;
    const char *machine;
    int plannedStart; // seconds
    int plannedFinish;
    int actualStart;
    int actualFinish;
};

int at(int h, int m, int s = 0)
{
    return h * 3600 + m * 60 + s;
}

// Grouped by machine, the sample shows finished, running and waiting work side by side.
const Record kSample[] = {
    {"P-1001", "O17", "Lathe-01", at(7, 5), at(7, 32), at(7, 6, 30), at(7, 36)},
    {"P-1002", "O17", "Lathe-01", at(7, 35), at(8, 10), at(7, 40), at(8, 21)},
    {"P-1007", "O18", "Lathe-01", at(8, 15), at(8, 45), at(8, 24), 0},
    {"P-1001", "O17", "Mill-02", at(7, 40), at(8, 5), at(7, 41), at(8, 2, 30)},
    {"P-1003", "O18", "Mill-02", at(8, 10), at(8, 55), 0, 0},
    {"P-1002", "O17", "Robot-A", at(7, 0), at(7, 12), at(7, 0), at(7, 14)},
    {"P-1003", "O18", "Robot-A", at(7, 30), at(7, 38, 30), at(7, 31), at(7, 40)},
    {"P-1007", "O18", "Robot-A", at(8, 0), at(8, 14), 0, 0},
};

QString seconds(int value)
{
    return value > 0 ? QString::number(value) : QString();
}

// The sample as a schedule table at `path`.
store::StoreError writeSample(const QString &path)
{
    if (store::StoreError error = store::DbfTable::create(path, plant::ScheduleTableFields()); !error)
        return error;
    store::DbfTable table;
    if (store::StoreError error = table.open(path); !error)
        return error;
    for (const Record &r : kSample) {
        QList<QString> fields(table.fieldCount());
        fields[model::kPart - 1] = QString::fromLatin1(r.part);
        fields[model::kMachine - 1] = QString::fromLatin1(r.machine);
        fields[model::kOrder - 1] = QString::fromLatin1(r.order);
        fields[model::kStartP - 1] = seconds(r.plannedStart);
        fields[model::kFinishP - 1] = seconds(r.plannedFinish);
        fields[model::kDurationP - 1] = seconds(r.plannedFinish - r.plannedStart);
        fields[model::kStartA - 1] = seconds(r.actualStart);
        fields[model::kFinishA - 1] = seconds(r.actualFinish);
        fields[model::kDurationA - 1] = seconds(r.actualFinish ? r.actualFinish - r.actualStart : 0);
        if (store::StoreError error = table.appendRecord(fields); !error)
            return error;
    }
    return {};
}

// Fills the grid from the sample table the way the program's fill does.
bool fillSample(GridData &grid)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Scheduler.dbf"));
    store::DbfTable table;
    store::StoreError error = writeSample(path);
    if (error)
        error = table.open(path);
    if (!error) {
        std::fprintf(stderr, "cannot write the sample table: %s\n", qPrintable(error.message));
        return false;
    }
    ApplyScheduleRows(grid, model::BuildScheduleRows(table, model::kSortByMachine, nullptr).rows);
    DrawBodyBorders(grid);
    grid.select(2, 1);
    return true;
}

bool renderAt(GanttGrid &grid, qreal ratio, const QString &path)
{
    QImage image(grid.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    grid.render(&image);
    if (!image.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString prefix = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("grid");
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(8.5);
    QApplication::setFont(font);

    AppState state;
    GanttGrid grid;
    grid.setLogicalDpi(96);
    grid.setAttribute(Qt::WA_DontShowOnScreen);
    grid.resize(1180, 300);
    grid.show();
    grid.setAppState(&state);
    SetUpGrid(grid.data());
    CmbInterval_Click(grid.data(), state, QStringLiteral("5"), nullptr);
    if (!fillSample(grid.data()))
        return 1;
    grid.setLeftCol(8 + 7 * 12 - 1); // 6:55

    const bool ok = renderAt(grid, 1.0, prefix + QStringLiteral("-100.png"))
        && renderAt(grid, 2.0, prefix + QStringLiteral("-200.png"));
    return ok ? 0 : 1;
}
