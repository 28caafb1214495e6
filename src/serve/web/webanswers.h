#pragma once

#include "plantsource.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrlQuery>

#include <optional>
#include <utility>

namespace vorn::serve {

using HeaderList = QList<std::pair<QByteArray, QByteArray>>;

// One answer of the server before it goes on the wire.
struct WebAnswer {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    HeaderList headers;  // beyond those every answer carries
};

// A one-line text/plain answer saying why a request failed.
WebAnswer ErrorAnswer(int status, const QByteArray &reason);

// The grouping a query asks for: sort=machine|part, machine when absent.
std::optional<Sort> ParseSort(const QUrlQuery &query);

// The chart options a query asks for; nullopt with *error (one line) on a
// bad parameter. Parameters it does not know are left alone.
std::optional<ChartOptions> ParseChartOptions(const QUrlQuery &query, QByteArray *error);

// The answer to a GET of `path` (decoded) with `query`, once the token is
// checked: the API, the string tables, the pages and the files of the pages.
// Nothing is ever read from the disk.
WebAnswer Answer(PlantSource &source, const QString &path, const QUrlQuery &query);

// The headers every answer to `path` carries: the content security policy
// without inline script, no sniffing, no framing, no referrer, and no caching
// of live data.
HeaderList CommonHeaders(const QString &path);

// The page files that /static/ serves: those embedded under /serve.
const QStringList &StaticFiles();

// Whether `name` may name a cell in a path.
bool IsCellName(const QString &name);

} // namespace vorn::serve
