#pragma once

#include <QByteArray>

namespace vorn::chart {

class GridData;

// The grid's rows as CSV (RFC 4180: comma-separated, fields with a comma,
// quote or line break quoted, quotes doubled, CRLF line ends), UTF-8
// without a byte-order mark. A header line names the columns from the two
// header rows; then one line per row below them, collapsed or not: the
// row's kind (group or operation, in the interface language), the key
// column, and the time columns shown, with their texts exactly as shown.
QByteArray GridCsv(const GridData &grid);

} // namespace vorn::chart
