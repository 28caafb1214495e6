#include "gridcsv.h"

#include "gridcolumns.h"
#include "griddata.h"
#include "texts.h"

#include <QStringList>

namespace vorn::chart {

namespace {

void AppendField(QString &line, const QString &field)
{
    if (!line.isEmpty())
        line += u',';
    if (!field.contains(u',') && !field.contains(u'"') && !field.contains(u'\n') && !field.contains(u'\r')) {
        line += field;
        return;
    }
    line += u'"';
    line += QString(field).replace(u'"', QLatin1String("\"\""));
    line += u'"';
}

} // namespace

QByteArray GridCsv(const GridData &grid)
{
    std::vector<int> columns{KeyCol};
    for (int c = PlannedStartCol; c <= ActualDurationCol && c < grid.cols(); ++c) {
        if (!grid.colHidden(c))
            columns.push_back(c);
    }

    QString out;
    QString line;
    AppendField(line, GetText(408, "Row"));
    for (const int c : columns) {
        QStringList header;
        for (int r = 0; r < grid.fixedRows(); ++r) {
            const QString &t = grid.text(r, c);
            if (!t.isEmpty() && !header.contains(t))
                header << t;
        }
        AppendField(line, header.join(u' '));
    }
    out += line + QLatin1String("\r\n");

    const QString group = GetText(409, "Group");
    const QString operation = GetText(410, "Operation");
    for (int r = grid.fixedRows(); r < grid.rows(); ++r) {
        line.clear();
        // The fill marks both kinds as outline nodes; groups sit at level 0.
        AppendField(line, grid.isNode(r) && grid.rowOutlineLevel(r) == 0 ? group : operation);
        for (const int c : columns)
            AppendField(line, grid.text(r, c));
        out += line + QLatin1String("\r\n");
    }
    return out.toUtf8();
}

} // namespace vorn::chart
