#include "plant.h"

#include "cellfollower.h"
#include "chartsvg.h"
#include "folderchart.h"
#include "ganttgrid.h"
#include "paths.h"
#include "plantjson.h"
#include "schedulexml.h"
#include "tablelibrary.h"
#include "texts.h"

#include <QBuffer>

#include <array>

namespace vorn::serve {

namespace {

// Switches the interface language for the length of a call: "zh" Chinese,
// anything else English.
class LanguageForCall {
public:
    explicit LanguageForCall(const QString &language) : m_previous(CurrentLanguageID())
    {
        const qint32 wanted = language == QLatin1String("zh") ? LanguageChinese : LanguageEnglish;
        if (wanted != m_previous)
            SetLanguage(wanted);
    }
    ~LanguageForCall()
    {
        if (CurrentLanguageID() != m_previous)
            SetLanguage(m_previous);
    }
    LanguageForCall(const LanguageForCall &) = delete;
    LanguageForCall &operator=(const LanguageForCall &) = delete;

private:
    qint32 m_previous;
};

} // namespace

struct Plant::Cell {
    CellConfig config;
    std::array<std::unique_ptr<CellFollower>, 2> followers;   // by Sort
    QByteArray summary;   // the last one told, without now
};

Plant::Plant(std::vector<CellConfig> cells, const chart::ChartClock &clock, QObject *parent)
    : PlantSource(parent), m_clock(clock)
{
    for (CellConfig &config : cells) {
        auto cell = std::make_unique<Cell>();
        cell->config = std::move(config);
        m_cells.push_back(std::move(cell));
    }
    for (const std::unique_ptr<Cell> &cell : m_cells) {
        follower(*cell, Sort::Machine);
        QByteArray summary;
        appendSummary(summary, *cell);
        cell->summary = summary;
    }
    m_lastPlantMessageMs = m_clock.steadyMs();
}

Plant::~Plant() = default;

Plant::Cell *Plant::find(const QString &name) const
{
    for (const std::unique_ptr<Cell> &cell : m_cells) {
        if (cell->config.name == name)
            return cell.get();
    }
    return nullptr;
}

CellFollower &Plant::follower(Cell &cell, Sort sort)
{
    std::unique_ptr<CellFollower> &slot = cell.followers[size_t(sort)];
    if (!slot) {
        slot = std::make_unique<CellFollower>(cell.config, sort, m_clock);
        slot->idleSinceMs = m_clock.steadyMs();
        Cell *const at = &cell;
        connect(&slot->timer, &QTimer::timeout, this, [this, at, sort] {
            at->followers[size_t(sort)]->tick();
            ticked(*at, sort);
        });
        slot->timer.start();
    }
    return *slot;
}

void Plant::ticked(Cell &cell, Sort sort)
{
    CellFollower &follower = *cell.followers[size_t(sort)];
    const CellFollower::Report &report = follower.report();
    if (follower.follows > 0 && report.acted) {
        if (report.rebuilt)
            emit cellMessage(cell.config.name, sort, follower.view(cell.config.name, sort, ++follower.seq));
        else if (!report.changedRows.empty() || report.stateMoved)
            emit cellMessage(cell.config.name, sort, follower.tickMessage(cell.config.name, sort, ++follower.seq));
    }
    if (sort != Sort::Machine)
        return;

    // The part grouping nobody has followed for a while goes.
    std::unique_ptr<CellFollower> &part = cell.followers[size_t(Sort::Part)];
    const qint64 steady = m_clock.steadyMs();
    if (part && part->follows == 0 && steady - part->idleSinceMs >= IdleFollowMs)
        part.reset();

    QByteArray summary;
    appendSummary(summary, cell);
    const bool moved = summary != cell.summary;
    cell.summary = std::move(summary);
    if (moved || steady - m_lastPlantMessageMs >= PlantMessageMs) {
        m_lastPlantMessageMs = steady;
        emit plantMessage(cellsJson());
    }
}

void Plant::appendSummary(QByteArray &out, const Cell &cell) const
{
    out.append("{\"name\":");
    AppendJsonString(out, cell.config.name);
    cell.followers[size_t(Sort::Machine)]->appendSummary(out, qint32(m_clock.timeOfDayMs() / 1000));
    out.append('}');
}

QByteArray Plant::cellsJson() const
{
    QByteArray out("{\"type\":\"plant\",\"now\":");
    AppendJsonInt(out, m_clock.timeOfDayMs() / 1000);
    out.append(",\"cells\":[");
    for (size_t i = 0; i < m_cells.size(); ++i) {
        if (i > 0)
            out.append(',');
        out.append(m_cells[i]->summary);
    }
    out.append("]}");
    return out;
}

std::optional<QByteArray> Plant::rowsJson(const QString &cell, Sort sort)
{
    return wholeView(cell, sort);
}

std::optional<QByteArray> Plant::wholeView(const QString &name, Sort sort)
{
    Cell *cell = find(name);
    if (!cell)
        return std::nullopt;
    CellFollower &grouping = follower(*cell, sort);
    return grouping.view(name, sort, grouping.seq);
}

std::optional<QByteArray> Plant::scheduleCsv(const QString &name, Sort sort, const QString &language)
{
    Cell *cell = find(name);
    if (!cell)
        return std::nullopt;
    const LanguageForCall switched(language);
    return follower(*cell, sort).csv();
}

std::optional<QByteArray> Plant::scheduleXml(const QString &name)
{
    Cell *cell = find(name);
    if (!cell)
        return std::nullopt;
    // As a fill hands it to the manager: the fill variant over every record,
    // through the bus's UTF-8. A table that cannot be read gives nothing.
    AppState state;
    state.DataFolder = cell->config.dataFolder.endsWith(u'/') ? cell->config.dataFolder
                                                              : cell->config.dataFolder + u'/';
    store::DbfTable table;
    if (table.open(LiveTablePath(state) + QLatin1String(".dbf")).failed())
        return QByteArray();
    return model::BusSafeUtf8(model::BuildScheduleXml(table, model::XmlVariant::Fill));
}

QByteArray Plant::chart(const QString &name, const ChartOptions &options, ChartFormat format, QString *error)
{
    Cell *cell = find(name);
    if (!cell)
        return {};
    if (format == ChartFormat::Svg && !chart::CanWriteSvg()) {
        if (error)
            *error = QStringLiteral("this build cannot draw SVG; PNG and PDF it can");
        return {};
    }
    const LanguageForCall switched(options.language);
    FolderChartRequest request;
    request.dataFolder = cell->config.dataFolder.endsWith(u'/') ? cell->config.dataFolder
                                                                : cell->config.dataFolder + u'/';
    request.sortOrder = SortOrderOf(options.sort);
    const int minutes = options.interval > 0 ? options.interval : cell->config.interval;
    if (minutes > 0) {
        const QString interval = IntervalTextOfMinutes(minutes);
        if (interval.isEmpty()) {
            if (error)
                *error = QStringLiteral("the interval takes 1, 2, 3, 4, 5, 6, 10 or 12 minutes");
            return {};
        }
        request.interval = interval;
    }
    AppState state;
    chart::GanttGrid grid;
    grid.setLogicalDpi(96);
    grid.setAppState(&state);
    if (const Result filled = FillChartFromFolder(grid, state, request); filled.failed()) {
        if (error)
            *error = filled.message();
        return {};
    }
    // The picture is painted on the thread that ticks every cell: one of a
    // very large cell would hold every tick and every page for seconds.
    if (const int rows = grid.data().rows() - grid.data().fixedRows(); rows > MaxChartRows) {
        if (error) {
            *error = QStringLiteral("the chart has %1 rows, more than the %2 a picture is drawn of here; "
                                    "vorn-scheduler-render draws it")
                         .arg(rows)
                         .arg(MaxChartRows);
        }
        return {};
    }
    FolderChartOptions view;
    view.nowSeconds = options.nowSeconds.value_or(qint32(m_clock.timeOfDayMs() / 1000));
    view.fromSeconds = options.fromSeconds;
    view.toSeconds = options.toSeconds;
    view.overlays = options.overlays;
    const FolderChartView shown(grid, state, view);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const chart::ChartFileFormat kind = format == ChartFormat::Png ? chart::ChartFileFormat::Png
        : format == ChartFormat::Svg                               ? chart::ChartFileFormat::Svg
                                                                   : chart::ChartFileFormat::Pdf;
    if (const Result written = chart::WriteChart(grid, shown.extent(), kind, buffer); written.failed()) {
        if (error)
            *error = written.message().isEmpty() ? buffer.errorString() : written.message();
        return {};
    }
    return bytes;
}

void Plant::follow(const QString &name, Sort sort)
{
    if (Cell *cell = find(name))
        ++follower(*cell, sort).follows;
}

void Plant::unfollow(const QString &name, Sort sort)
{
    Cell *cell = find(name);
    if (!cell || !cell->followers[size_t(sort)])
        return;
    CellFollower &grouping = *cell->followers[size_t(sort)];
    if (grouping.follows > 0 && --grouping.follows == 0)
        grouping.idleSinceMs = m_clock.steadyMs();
}

void Plant::tickAll()
{
    for (const std::unique_ptr<Cell> &cell : m_cells) {
        // The part grouping first: the machine grouping's tick may let it go.
        for (const Sort sort : {Sort::Part, Sort::Machine}) {
            if (CellFollower *grouping = cell->followers[size_t(sort)].get()) {
                grouping->tick();
                ticked(*cell, sort);
            }
        }
    }
}

bool Plant::isFollowing(const QString &name, Sort sort) const
{
    const Cell *cell = find(name);
    return cell && cell->followers[size_t(sort)];
}

QStringList Plant::cellNames() const
{
    QStringList names;
    for (const std::unique_ptr<Cell> &cell : m_cells)
        names << cell->config.name;
    return names;
}

bool Plant::hasCell(const QString &cell) const
{
    return find(cell) != nullptr;
}

std::unique_ptr<PlantSource> MakePlant(std::vector<CellConfig> cells, QObject *parent)
{
    return std::make_unique<Plant>(std::move(cells), chart::ChartClock(), parent);
}

} // namespace vorn::serve
