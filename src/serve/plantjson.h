#pragma once

#include "plantsource.h"

#include <QByteArray>
#include <QStringView>

namespace vorn::chart {
class GridData;
}

namespace vorn::serve {

// The JSON of the plant view, written straight into bytes: a view of a
// hundred thousand rows goes out on every connect, and a tick's few rows
// twice a second.

// Appends `text` as a JSON string, quotes included, in UTF-8: quotes,
// backslashes and control characters escaped, a lone surrogate as U+FFFD.
void AppendJsonString(QByteArray &out, QStringView text);
void AppendJsonInt(QByteArray &out, qint64 value);
// "machine" or "part".
const char *SortName(Sort sort);

// Appends the rows of a grid's body as the view carries them, "[...]":
// [level, record, label, ps, pf, pd, as, af, ad] per row from the first
// row below the header.
void AppendViewRows(QByteArray &out, const chart::GridData &grid);
// Appends one row of a tick, [index, ps, pf, pd, as, af, ad], of grid row
// `row` (index: its place in the view's rows).
void AppendTickRow(QByteArray &out, const chart::GridData &grid, int row);

} // namespace vorn::serve
