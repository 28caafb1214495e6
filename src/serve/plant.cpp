#include "plant.h"

#include "chartsvg.h"
#include "folderchart.h"
#include "ganttbars.h"
#include "ganttgrid.h"
#include "gridcolumns.h"
#include "gridcsv.h"
#include "griddata.h"
#include "gridfill.h"
#include "liveschedule.h"
#include "overlaymodel.h"
#include "paths.h"
#include "plantjson.h"
#include "refresh.h"
#include "schedulexml.h"
#include "settings.h"
#include "tablelibrary.h"
#include "texts.h"

#include <QBuffer>
#include <QDateTime>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <array>

namespace vorn::serve {

namespace {

qint16 SortOrderOf(Sort sort)
{
    return sort == Sort::Machine ? kSortByMachine : kSortByPart;
}

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

// "1" to "12" of the interval list, or empty.
QString IntervalText(int minutes)
{
    for (int i = 0; i < 8; ++i) {
        if (IntervalTextOfIndex(i) == QString::number(minutes))
            return IntervalTextOfIndex(i);
    }
    return {};
}

qint32 SecondsOrNone(const QString &text)
{
    return text.isEmpty() ? -1 : chart::TextSeconds(text);
}

} // namespace

// One grouping of one cell as the window follows it: its own state, the
// grid the fill and the ticks write, and what the pages are told of it.
class CellFollower {
public:
    CellFollower(const CellConfig &config, Sort sort, const chart::ChartClock &clock);

    // What the last tick did, for the messages.
    struct Report {
        bool acted = false;          // the tick refreshed or rebuilt
        bool rebuilt = false;        // the rows were filled anew
        std::vector<int> changedRows;
        std::vector<int> flash;
        bool stateMoved = false;     // the record count or the stale state moved
    };
    // One timer tick, as the window's: the in-place refresh, or the rebuild
    // while one is asked for. A tick that finds the record count moved asks
    // for a rebuild, as the manager's new run would.
    const Report &tick();
    const Report &report() const { return m_report; }

    QByteArray view(const QString &cell, Sort sort, qint64 seq) const;
    QByteArray tickMessage(const QString &cell, Sort sort, qint64 seq) const;
    QByteArray csv(const QString &language);
    // The summary's fields without the name; `now` in seconds.
    void appendSummary(QByteArray &out, qint32 now);

    QTimer timer;
    int follows = 0;
    qint64 idleSinceMs = 0;
    qint64 seq = 0;

private:
    void fill();
    void noteRead(bool readable, bool changed);
    QByteArray stale() const;
    void appendHead(QByteArray &out, const char *type, const QString &cell, Sort sort, qint64 seq) const;
    void scan(qint32 now);

    const chart::ChartClock &m_clock;
    AppState m_state;
    chart::GridData m_grid;
    core::LiveSchedule m_schedule{core::LiveSchedule::OpenFailure::Quiet};
    chart::StaleWatch m_stale;
    chart::ChangeFlashes m_flashes;
    int m_noChangeMinutes = 0;
    QString m_liveTable;
    qint32 m_records = 0;
    std::optional<QDateTime> m_lastChange;
    Report m_report;

    // What the summary needs of each row, read from its texts once after a
    // fill and then only for the rows a tick changed; scan() works the
    // summary out of these.
    struct RowTimes {
        bool detail = false;
        bool running = false;                 // by the overlays' rule
        std::optional<qint32> ghostEnd;       // running: when it turns late
        qint32 plannedStart = -1;             // -1: empty
        qint32 plannedFinish = -1;
        qint32 actualStart = -1;
        qint32 actualFinish = -1;
    };
    void readRowTimes(int row);
    std::vector<RowTimes> m_times;            // by grid row
    bool m_timesWhole = false;                // m_times stands for the rows
    std::vector<std::optional<qint32>> m_running;   // ghost ends of the running operations
    QByteArray m_timeline;
    bool m_rowsMoved = true;
    qint64 m_scannedMs = 0;
};

CellFollower::CellFollower(const CellConfig &config, Sort sort, const chart::ChartClock &clock) : m_clock(clock)
{
    FolderChartRequest request;
    request.dataFolder = config.dataFolder;
    if (!request.dataFolder.endsWith(u'/'))
        request.dataFolder += u'/';
    request.sortOrder = SortOrderOf(sort);
    if (const QString interval = IntervalText(config.interval); !interval.isEmpty())
        request.interval = interval;
    SetUpFolderGrid(m_grid, m_state, request);
    m_noChangeMinutes = config.noChangeMinutes > 0 ? config.noChangeMinutes
                                                   : LoadOverlaySettings(m_state.SettingsFile).noChangeMinutes;
    m_liveTable = LiveTablePath(m_state);
    m_stale.noteRefill(m_clock.steadyMs());
    fill();
    timer.setInterval(m_state.TimerInterval > 0 ? m_state.TimerInterval : 500);
}

void CellFollower::fill()
{
    GridFill target(m_grid);
    const bool filled = m_schedule.fill(core::ScheduleTables::live(m_state), m_state.SortOrder, target).ok();
    if (filled) {
        m_flashes.clear();
        m_stale.noteRefill(m_clock.steadyMs());
        m_records = m_schedule.lastFill().records;
        m_report.rebuilt = true;
        m_rowsMoved = true;
        m_timesWhole = false;
    }
    noteRead(filled, false);
}

void CellFollower::noteRead(bool readable, bool changed)
{
    m_stale.noteTick(readable, changed, m_clock.steadyMs(), m_clock.timeOfDayMs());
    if (!readable)
        return;
    // The table's own time of change, as the system tells it: a stat, not a read.
    const QDateTime modified = QFileInfo(m_liveTable + QLatin1String(".dbf")).lastModified().toUTC();
    if (modified.isValid() && modified != m_lastChange)
        m_lastChange = modified;
}

const CellFollower::Report &CellFollower::tick()
{
    m_report = {};
    const core::TickStep step = core::TimerTickStep(m_state);
    if (step == core::TickStep::Nothing || m_schedule.busy())
        return m_report;
    const QByteArray staleBefore = stale();
    const qint32 recordsBefore = m_records;
    const core::LiveSchedule::TimerTick ticking(m_schedule);
    m_report.acted = true;
    if (step == core::TickStep::Refresh) {
        RefreshResult result;
        GridCellWriter cells(m_grid, result, &m_report.changedRows);
        const std::optional<TickResult> ticked = m_schedule.tick(m_liveTable, GridTickRows(m_grid), cells);
        noteRead(ticked.has_value(), result.changed);
        if (!result.plannedChanges.empty()) {
            // The flashes this tick starts are those noted after the faded ones went.
            const qint64 nowMs = m_clock.steadyMs();
            m_flashes.expire(nowMs);
            const size_t flashing = m_flashes.flashes().size();
            m_flashes.noteChanges(result.plannedChanges, nowMs);
            for (size_t i = flashing; i < m_flashes.flashes().size(); ++i)
                m_report.flash.push_back(m_flashes.flashes()[i].row);
        }
        m_rowsMoved = m_rowsMoved || !m_report.changedRows.empty();
        if (m_timesWhole) {
            for (const int row : m_report.changedRows)
                readRowTimes(row);
        }
        if (ticked) {
            m_records = ticked->records;
            // Records added or removed, or the table emptied: the rows no
            // longer stand for the table, and are rebuilt once it holds
            // records again.
            if (ticked->records != m_schedule.lastFill().records)
                m_state.ReloadRequested = true;
        }
    }
    if (m_state.ReloadRequested) {
        const std::optional<qint32> records = m_schedule.liveRecordCount(m_liveTable);
        if (!records)
            noteRead(false, false);
        else
            m_records = *records;
        if (core::RebuildReady(records)) {
            fill();
            m_state.ReloadRequested = false;
        }
    }
    if (m_report.rebuilt) {
        m_report.changedRows.clear();
        m_report.flash.clear();
    } else {
        // Detail rows come in the order worked out, the group rows after them.
        std::sort(m_report.changedRows.begin(), m_report.changedRows.end());
        m_report.changedRows.erase(std::unique(m_report.changedRows.begin(), m_report.changedRows.end()),
                                   m_report.changedRows.end());
        std::sort(m_report.flash.begin(), m_report.flash.end());
    }
    // A table written again with the same bytes is no news to a page.
    m_report.stateMoved = stale() != staleBefore || m_records != recordsBefore;
    return m_report;
}

QByteArray CellFollower::stale() const
{
    switch (m_stale.problem(true, false, m_clock.steadyMs(), m_noChangeMinutes)) {
    case chart::StaleWatch::Problem::Unreadable:
        return QByteArrayLiteral("unreadable");
    case chart::StaleWatch::Problem::Unchanged:
        return QByteArrayLiteral("unchanged");
    default:
        return {};
    }
}

void CellFollower::appendHead(QByteArray &out, const char *type, const QString &cell, Sort sort, qint64 seq) const
{
    out.append("{\"type\":\"").append(type).append("\",\"cell\":");
    AppendJsonString(out, cell);
    out.append(",\"sort\":\"").append(SortName(sort)).append("\",\"seq\":");
    AppendJsonInt(out, seq);
    out.append(",\"now\":");
    AppendJsonInt(out, m_clock.timeOfDayMs() / 1000);
    out.append(",\"records\":");
    AppendJsonInt(out, m_records);
    out.append(",\"stale\":\"").append(stale()).append("\",\"lastChange\":");
    if (m_lastChange)
        out.append('"').append(m_lastChange->toString(Qt::ISODate).toLatin1()).append('"');
    else
        out.append("null");
}

QByteArray CellFollower::view(const QString &cell, Sort sort, qint64 seq) const
{
    QByteArray out;
    // About 80 bytes a row.
    out.reserve(256 + qsizetype(m_grid.rows()) * 80);
    appendHead(out, "view", cell, sort, seq);
    out.append(",\"interval\":");
    AppendJsonInt(out, m_state.IntervalText.toInt());
    out.append(",\"noChangeMinutes\":");
    AppendJsonInt(out, m_noChangeMinutes);
    out.append(",\"rows\":");
    AppendViewRows(out, m_grid);
    out.append('}');
    return out;
}

QByteArray CellFollower::tickMessage(const QString &cell, Sort sort, qint64 seq) const
{
    QByteArray out;
    out.reserve(256 + qsizetype(m_report.changedRows.size()) * 70);
    appendHead(out, "tick", cell, sort, seq);
    out.append(",\"rows\":[");
    for (size_t i = 0; i < m_report.changedRows.size(); ++i) {
        if (i > 0)
            out.append(',');
        AppendTickRow(out, m_grid, m_report.changedRows[i]);
    }
    out.append("],\"flash\":[");
    for (size_t i = 0; i < m_report.flash.size(); ++i) {
        if (i > 0)
            out.append(',');
        AppendJsonInt(out, m_report.flash[i] - m_grid.fixedRows());
    }
    out.append("]}");
    return out;
}

QByteArray CellFollower::csv(const QString &language)
{
    const LanguageForCall switched(language);
    // The header rows hold the texts of the language they were set in:
    // those of the call's language for the call.
    const bool byMachine = m_state.SortOrder == kSortByMachine;
    const std::array<std::pair<int, const char *>, 3> lower{
        {{4, "Start"}, {3, "Finish"}, {2, "Duration"}}};
    std::vector<std::pair<std::pair<int, int>, QString>> kept;
    auto set = [&](int row, int col, const QString &text) {
        kept.push_back({{row, col}, m_grid.text(row, col)});
        m_grid.setText(row, col, text);
    };
    set(0, chart::KeyCol, GetText(byMachine ? 43 : 53));
    for (int i = 0; i < 3; ++i) {
        set(0, chart::PlannedStartCol + i, GetTextOr(44, "Planned"));
        set(0, chart::ActualStartCol + i, GetTextOr(45, "Actual"));
        set(1, chart::PlannedStartCol + i, GetTextOr(lower[size_t(i)].first, lower[size_t(i)].second));
        set(1, chart::ActualStartCol + i, GetTextOr(lower[size_t(i)].first, lower[size_t(i)].second));
    }
    QByteArray out = chart::GridCsv(m_grid);
    for (const auto &[cellAt, text] : kept)
        m_grid.setText(cellAt.first, cellAt.second, text);
    return out;
}

void CellFollower::readRowTimes(int row)
{
    RowTimes &times = m_times[size_t(row)];
    times = {};
    if (m_grid.rowOutlineLevel(row) <= 0)
        return;
    times.detail = true;
    if (const std::optional<chart::RunningOperation> running = chart::RunningAt(m_grid, row, 0)) {
        times.running = true;
        times.ghostEnd = running->ghostEnd;
    }
    times.plannedStart = SecondsOrNone(m_grid.text(row, chart::PlannedStartCol));
    times.plannedFinish = SecondsOrNone(m_grid.text(row, chart::PlannedFinishCol));
    times.actualStart = SecondsOrNone(m_grid.text(row, chart::ActualStartCol));
    times.actualFinish = SecondsOrNone(m_grid.text(row, chart::ActualFinishCol));
}

void CellFollower::scan(qint32 now)
{
    if (!m_timesWhole) {
        m_times.assign(size_t(std::max(0, m_grid.rows())), RowTimes());
        for (int row = m_grid.fixedRows(); row < m_grid.rows(); ++row)
            readRowTimes(row);
        m_timesWhole = true;
    }
    struct Entry {
        qint32 plannedStart;
        int row;
        int groupRow;
    };
    std::vector<Entry> entries;
    m_running.clear();
    const qint32 horizon = now + Plant::TimelineSeconds;
    int groupRow = 0;
    for (int row = m_grid.fixedRows(); row < int(m_times.size()); ++row) {
        const RowTimes &times = m_times[size_t(row)];
        if (!times.detail) {
            groupRow = row;
            continue;
        }
        if (times.running)
            m_running.push_back(times.ghostEnd);
        if (times.running || (times.plannedFinish >= now && times.plannedStart < horizon))
            entries.push_back({times.plannedStart, row, groupRow});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry &a, const Entry &b) { return a.plannedStart < b.plannedStart; });
    entries.resize(std::min(entries.size(), size_t(Plant::TimelineMax)));
    m_timeline.clear();
    m_timeline.append('[');
    for (size_t i = 0; i < entries.size(); ++i) {
        const RowTimes &times = m_times[size_t(entries[i].row)];
        if (i > 0)
            m_timeline.append(',');
        m_timeline.append('[');
        AppendJsonString(m_timeline, entries[i].groupRow > 0 ? m_grid.text(entries[i].groupRow, chart::KeyCol)
                                                             : QString());
        for (const qint32 time : {times.plannedStart, times.plannedFinish, times.actualStart, times.actualFinish}) {
            m_timeline.append(',');
            AppendJsonInt(m_timeline, time);
        }
        m_timeline.append(']');
    }
    m_timeline.append(']');
}

void CellFollower::appendSummary(QByteArray &out, qint32 now)
{
    const qint64 steady = m_clock.steadyMs();
    if (m_rowsMoved || steady - m_scannedMs >= Plant::TimelineRescanMs) {
        scan(now);
        m_rowsMoved = false;
        m_scannedMs = steady;
    }
    // Whether a running operation is late moves with the time alone.
    const auto late = std::count_if(m_running.begin(), m_running.end(),
                                    [now](const std::optional<qint32> &ghostEnd) { return ghostEnd && now > *ghostEnd; });
    out.append(",\"records\":");
    AppendJsonInt(out, m_records);
    out.append(",\"running\":");
    AppendJsonInt(out, qint64(m_running.size()));
    out.append(",\"late\":");
    AppendJsonInt(out, late);
    out.append(",\"lastChange\":");
    if (m_lastChange)
        out.append('"').append(m_lastChange->toString(Qt::ISODate).toLatin1()).append('"');
    else
        out.append("null");
    out.append(",\"stale\":\"").append(stale()).append("\",\"timeline\":").append(m_timeline);
}

// ---------------------------------------------------------------------------

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
    return follower(*cell, sort).csv(language);
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
        const QString interval = IntervalText(minutes);
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
