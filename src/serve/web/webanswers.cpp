#include "webanswers.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

// The page files are compiled into this static library: registered here, on
// first use, as a static library's resources are not registered by linking.
static void initPageResources()
{
    static const bool once = [] {
        Q_INIT_RESOURCE(serve);
        return true;
    }();
    Q_UNUSED(once);
}

namespace vorn::serve {

namespace {

// hh:mm (0-23, 0-59; 24:00 for the end of the day) or hh:mm:ss as seconds
// from midnight.
std::optional<qint32> parseClock(const QString &text, bool withSeconds)
{
    static const QRegularExpression minutes(QStringLiteral("^(\\d\\d):(\\d\\d)$"));
    static const QRegularExpression seconds(QStringLiteral("^(\\d\\d):(\\d\\d):(\\d\\d)$"));
    const QRegularExpressionMatch match = (withSeconds ? seconds : minutes).match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int h = match.captured(1).toInt();
    const int m = match.captured(2).toInt();
    const int s = withSeconds ? match.captured(3).toInt() : 0;
    if (m > 59 || s > 59 || h > 24 || (h == 24 && (m || s)))
        return std::nullopt;
    return h * 3600 + m * 60 + s;
}

QByteArray resourceBytes(const QString &name)
{
    initPageResources();
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray typeOf(const QString &name)
{
    static const QList<std::pair<QString, QByteArray>> types = {
        {QStringLiteral(".html"), "text/html; charset=utf-8"},
        {QStringLiteral(".js"), "text/javascript; charset=utf-8"},
        {QStringLiteral(".css"), "text/css; charset=utf-8"},
        {QStringLiteral(".json"), "application/json"},
        {QStringLiteral(".svg"), "image/svg+xml"},
        {QStringLiteral(".png"), "image/png"},
        {QStringLiteral(".ico"), "image/x-icon"},
    };
    for (const auto &[suffix, type] : types) {
        if (name.endsWith(suffix))
            return type;
    }
    return "application/octet-stream";
}

WebAnswer resourceAnswer(const QString &name)
{
    WebAnswer answer;
    answer.contentType = typeOf(name);
    answer.body = resourceBytes(name);
    return answer;
}

WebAnswer dataAnswer(const std::optional<QByteArray> &body, const QByteArray &type)
{
    if (!body)
        return ErrorAnswer(404, "no such cell");
    return {200, type, *body, {}};
}

WebAnswer cellAnswer(PlantSource &source, const QString &cell, const QString &what, const QUrlQuery &query)
{
    const std::optional<Sort> sort = ParseSort(query);
    if (!sort)
        return ErrorAnswer(400, "sort must be machine or part");
    if (what == QLatin1String("rows"))
        return dataAnswer(source.rowsJson(cell, *sort), "application/json");
    if (what == QLatin1String("schedule.xml"))
        return dataAnswer(source.scheduleXml(cell), "application/xml");
    if (what == QLatin1String("schedule.csv")) {
        const QString lang = query.queryItemValue(QStringLiteral("lang"));
        if (!lang.isEmpty() && lang != QLatin1String("en") && lang != QLatin1String("zh"))
            return ErrorAnswer(400, "lang must be en or zh");
        return dataAnswer(source.scheduleCsv(cell, *sort, lang.isEmpty() ? QStringLiteral("en") : lang),
                          "text/csv; charset=utf-8");
    }
    static const QList<std::tuple<QString, ChartFormat, QByteArray>> charts = {
        {QStringLiteral("chart.svg"), ChartFormat::Svg, "image/svg+xml"},
        {QStringLiteral("chart.png"), ChartFormat::Png, "image/png"},
        {QStringLiteral("chart.pdf"), ChartFormat::Pdf, "application/pdf"},
    };
    for (const auto &[name, format, type] : charts) {
        if (what != name)
            continue;
        QByteArray error;
        const std::optional<ChartOptions> options = ParseChartOptions(query, &error);
        if (!options)
            return ErrorAnswer(400, error);
        QString why;
        const QByteArray picture = source.chart(cell, *options, format, &why);
        if (!picture.isEmpty())
            return {200, type, picture, {}};
        return why.isEmpty() ? ErrorAnswer(404, "no such cell") : ErrorAnswer(500, why.toUtf8());
    }
    return ErrorAnswer(404, "no such path");
}

} // namespace

WebAnswer ErrorAnswer(int status, const QByteArray &reason)
{
    // One line, whatever the reason held.
    QByteArray line = reason;
    line.replace('\r', ' ').replace('\n', ' ');
    return {status, "text/plain; charset=utf-8", line + '\n', {}};
}

std::optional<Sort> ParseSort(const QUrlQuery &query)
{
    const QString sort = query.queryItemValue(QStringLiteral("sort"));
    if (sort.isEmpty() || sort == QLatin1String("machine"))
        return Sort::Machine;
    if (sort == QLatin1String("part"))
        return Sort::Part;
    return std::nullopt;
}

std::optional<ChartOptions> ParseChartOptions(const QUrlQuery &query, QByteArray *error)
{
    ChartOptions options;
    const auto fail = [error](const char *why) {
        *error = why;
        return std::nullopt;
    };
    const std::optional<Sort> sort = ParseSort(query);
    if (!sort)
        return fail("sort must be machine or part");
    options.sort = *sort;
    const auto item = [&query](const char *key) {
        return query.hasQueryItem(QLatin1String(key)) ? std::optional(query.queryItemValue(QLatin1String(key)))
                                                      : std::nullopt;
    };
    if (const auto interval = item("interval")) {
        // Only the column widths the viewer itself offers.
        static const QStringList intervals = {QStringLiteral("1"), QStringLiteral("2"),  QStringLiteral("3"),
                                              QStringLiteral("4"), QStringLiteral("5"),  QStringLiteral("6"),
                                              QStringLiteral("10"), QStringLiteral("12")};
        if (!intervals.contains(*interval))
            return fail("interval must be 1, 2, 3, 4, 5, 6, 10 or 12");
        options.interval = interval->toInt();
    }
    for (const auto &[key, field, seconds] :
         {std::tuple{"from", &ChartOptions::fromSeconds, false}, std::tuple{"to", &ChartOptions::toSeconds, false},
          std::tuple{"now", &ChartOptions::nowSeconds, true}}) {
        if (const auto text = item(key)) {
            options.*field = parseClock(*text, seconds);
            if (!(options.*field))
                return fail(seconds ? "now must be hh:mm:ss" : "from and to must be hh:mm");
        }
    }
    if (options.fromSeconds && options.toSeconds && *options.fromSeconds >= *options.toSeconds)
        return fail("from must be before to");
    if (const auto overlays = item("overlays")) {
        if (*overlays != QLatin1String("0") && *overlays != QLatin1String("1"))
            return fail("overlays must be 0 or 1");
        options.overlays = *overlays == QLatin1String("1");
    }
    if (const auto lang = item("lang")) {
        if (*lang != QLatin1String("en") && *lang != QLatin1String("zh"))
            return fail("lang must be en or zh");
        options.language = *lang;
    }
    return options;
}

WebAnswer Answer(PlantSource &source, const QString &path, const QUrlQuery &query)
{
    if (path == QLatin1String("/"))
        return resourceAnswer(QStringLiteral(":/serve/index.html"));
    const QStringList parts = path.split(u'/');
    const QString top = parts.value(1);
    if (top == QLatin1String("cell") && parts.size() == 3) {
        if (!IsCellName(parts[2]) || !source.hasCell(parts[2]))
            return ErrorAnswer(404, "no such cell");
        return resourceAnswer(QStringLiteral(":/serve/cell.html"));
    }
    if (top == QLatin1String("static") && parts.size() == 3) {
        // Only names from the embedded list reach the resource system, so no
        // part of a path ever names a file.
        if (!StaticFiles().contains(parts[2]))
            return ErrorAnswer(404, "no such file");
        return resourceAnswer(QStringLiteral(":/serve/") + parts[2]);
    }
    if (top != QLatin1String("api"))
        return ErrorAnswer(404, "no such path");
    if (parts.size() == 3 && parts[2] == QLatin1String("cells"))
        return {200, "application/json", source.cellsJson(), {}};
    if (parts.size() == 4 && parts[2] == QLatin1String("strings")) {
        if (parts[3] == QLatin1String("en"))
            return resourceAnswer(QStringLiteral(":/vorn/strings/en.json"));
        if (parts[3] == QLatin1String("zh"))
            return resourceAnswer(QStringLiteral(":/vorn/strings/zh_CN.json"));
        return ErrorAnswer(404, "no such language");
    }
    if (parts.size() == 5 && parts[2] == QLatin1String("cells")) {
        if (!IsCellName(parts[3]) || !source.hasCell(parts[3]))
            return ErrorAnswer(404, "no such cell");
        return cellAnswer(source, parts[3], parts[4], query);
    }
    return ErrorAnswer(404, "no such path");
}

HeaderList CommonHeaders(const QString &path)
{
    HeaderList headers = {
        {"Content-Security-Policy",
         "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
         "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
    };
    // The page's files change only with the program; everything else is
    // live, or carries a token in its address.
    headers.emplace_back("Cache-Control", path.startsWith(QLatin1String("/static/")) ? "no-cache" : "no-store");
    return headers;
}

const QStringList &StaticFiles()
{
    initPageResources();
    static const QStringList files = QDir(QStringLiteral(":/serve")).entryList(QDir::Files);
    return files;
}

bool IsCellName(const QString &name)
{
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9._-]+$"));
    return allowed.match(name).hasMatch() && name != QLatin1String(".") && name != QLatin1String("..");
}

} // namespace vorn::serve
