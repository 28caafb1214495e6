// Renders a small sample Gantt grid to PNG files at 100% and 200% device pixel
// ratio, to look at the chart without starting the program:
//   vorn-render-grid [output-prefix]   (writes <prefix>-100.png and <prefix>-200.png)

#include "appstate.h"
#include "ganttgrid.h"
#include "gridlayout.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>

using namespace vorn;
using namespace vorn::chart;

namespace {

struct Operation {
    const char *label;
    int plannedStart; // seconds
    int plannedFinish;
    int actualStart; // 0: not started
    int actualFinish; // 0: not finished
};

struct Group {
    const char *key;
    std::vector<Operation> operations;
};

QString timeText(int seconds)
{
    if (seconds <= 0)
        return {};
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

int at(int h, int m, int s = 0)
{
    return h * 3600 + m * 60 + s;
}

// Writes the rows the way the grouped fill does: a grey group row with its
// summary, bold detail rows, the outline markers and the cell borders.
void fillSample(GridData &grid)
{
    const std::vector<Group> groups = {
        {"Lathe-01",
         {{"P-1001(O17)", at(7, 5), at(7, 32), at(7, 6, 30), at(7, 36)},
          {"P-1002(O17)", at(7, 35), at(8, 10), at(7, 40), at(8, 21)},
          {"P-1007(O18)", at(8, 15), at(8, 45), at(8, 24), 0}}},
        {"Mill-02",
         {{"P-1001(O17)", at(7, 40), at(8, 5), at(7, 41), at(8, 2, 30)},
          {"P-1003(O18)", at(8, 10), at(8, 55), 0, 0}}},
        {"Robot-A",
         {{"P-1002(O17)", at(7, 0), at(7, 12), at(7, 0), at(7, 14)},
          {"P-1003(O18)", at(7, 30), at(7, 38, 30), at(7, 31), at(7, 40)},
          {"P-1007(O18)", at(8, 0), at(8, 14), 0, 0}}},
    };
    const QColor band = QColor::fromRgb(GroupBandRgb);
    int record = 1;
    for (const Group &g : groups) {
        grid.setRows(grid.rows() + 1);
        const int groupRow = grid.rows() - 1;
        grid.setText(groupRow, 1, QString::fromLatin1(g.key));
        grid.setIsNode(groupRow, true);
        grid.setRowOutlineLevel(groupRow, 0);
        grid.setCellFontBold({groupRow, 1, groupRow, 1}, true);
        grid.setCellForeColor({groupRow, 1, groupRow, 1}, QColor(10, 100, 30));
        grid.setCellBackColor({groupRow, 0, groupRow, grid.cols() - 1}, band);
        grid.setRowData(groupRow, record);
        int ps = 0, pf = 0, as = 0, af = 0;
        for (const Operation &op : g.operations) {
            grid.addItem(QString(u'\t') + QString::fromLatin1(op.label));
            const int r = grid.rows() - 1;
            grid.setIsNode(r, true);
            grid.setRowOutlineLevel(r, 1);
            grid.setCellFontBold({r, 1, r, 1}, true);
            const int actualDuration = op.actualFinish ? op.actualFinish - op.actualStart : 0;
            const QString texts[6] = {timeText(op.plannedStart), timeText(op.plannedFinish),
                                      timeText(op.plannedFinish - op.plannedStart),
                                      timeText(op.actualStart), timeText(op.actualFinish),
                                      timeText(actualDuration)};
            for (int i = 0; i < 6; ++i)
                grid.setText(r, 2 + i, texts[i]);
            grid.setRowData(r, record++);
            ps = ps ? std::min(ps, op.plannedStart) : op.plannedStart;
            pf = std::max(pf, op.plannedFinish);
            if (op.actualStart)
                as = as ? std::min(as, op.actualStart) : op.actualStart;
            af = std::max(af, op.actualFinish);
        }
        const int summary[6] = {ps, pf, pf - ps, as, af, af - as};
        for (int i = 0; i < 6; ++i)
            grid.setText(groupRow, 2 + i, af == 0 && i >= 4 ? QString() : timeText(summary[i]));
    }
    const int last = grid.rows() - 1;
    grid.select(2, 2, last, 7);
    grid.setCellBorder(QColor(3, 0, 0), 1, 1, 1, 1, 1, 1);
    grid.select(2, 0, last, 2);
    grid.setCellBorder(QColor(1, 0, 0), 1, 1, 1, 1, 1, 1);
    grid.select(2, 1);
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
    fillSample(grid.data());
    grid.setLeftCol(8 + 7 * 12 - 1); // 6:55

    const bool ok = renderAt(grid, 1.0, prefix + QStringLiteral("-100.png"))
        && renderAt(grid, 2.0, prefix + QStringLiteral("-200.png"));
    return ok ? 0 : 1;
}
