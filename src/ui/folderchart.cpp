#include "folderchart.h"

#include "ganttgrid.h"
#include "groupoutline.h"
#include "gridcolumns.h"
#include "gridfill.h"
#include "gridlayout.h"
#include "liveschedule.h"
#include "paths.h"
#include "settings.h"
#include "texts.h"

#include <QDateTime>

namespace vorn {

QString IntervalTextOfIndex(int index)
{
    static const char *const texts[] = {"1", "2", "3", "4", "5", "6", "10", "12"};
    return QString::fromLatin1(texts[index >= 0 && index < 8 ? index : 0]);
}

QString IntervalTextOfMinutes(int minutes)
{
    for (int i = 0; i < 8; ++i) {
        if (IntervalTextOfIndex(i) == QString::number(minutes))
            return IntervalTextOfIndex(i);
    }
    return {};
}

void SetUpFolderGrid(chart::GridData &data, AppState &state, const FolderChartRequest &request)
{
    state.DataFolder = request.dataFolder;
    state.SettingsFile = request.dataFolder + QStringLiteral("VornSched.ini");
    LoadSettings(state);
    state.SortOrder = request.sortOrder.value_or(ReadSortOrder(state.SettingsFile));

    chart::SetUpGrid(data);
    const std::array<int, 6> columns = request.columns.value_or(std::array<int, 6>{
        state.PlanBegVisible, state.PlanEndVisible, state.PlanDurVisible, state.ActBegVisible,
        state.ActEndVisible, state.ActDurVisible});
    for (int i = 0; i < 6; ++i)
        chart::ShowTimeColumn(data, i, columns[size_t(i)]);
    chart::SetTimeScaleInterval(data, state, request.interval.value_or(IntervalTextOfIndex(state.IntervalIndex)),
                             nullptr);
    data.setText(0, chart::KeyCol, GetText(state.SortOrder == kSortByPart ? 53 : 43));
}

Result FillChartFromFolder(chart::GanttGrid &grid, AppState &state, const FolderChartRequest &request)
{
    SetUpFolderGrid(grid.data(), state, request);
    chart::GridData &data = grid.data();
    // The window's fill, without its boxes: a folder the window could not
    // show is not shown here either.
    core::LiveSchedule schedule(core::LiveSchedule::OpenFailure::Quiet);
    GridFill target(data);
    return schedule.fill(core::ScheduleTables::live(state), state.SortOrder, target);
}

FolderChartView::FolderChartView(chart::GanttGrid &grid, const AppState &state, const FolderChartOptions &options)
    : m_grid(grid), m_clock(chart::ChartClock::frozen(qint64(options.nowSeconds) * 1000)), m_painter(m_clock)
{
    const OverlaySettings settings = LoadOverlaySettings(state.SettingsFile);
    const bool overlays = settings.liveOverlays && options.overlays;
    chart::GroupOutline::fromText(settings.collapsedGroups).apply(grid.data(), state.SortOrder, overlays);
    if (overlays)
        grid.setOverlay(&m_painter);
    const auto [busyFrom, busyTo] =
        chart::BusyHours(grid.data(), overlays ? std::optional(options.nowSeconds) : std::nullopt);
    m_extent = chart::ExtentOfTimes(grid.data().timeScale(), options.fromSeconds.value_or(busyFrom),
                                    options.toSeconds.value_or(busyTo));
}

FolderChartView::~FolderChartView()
{
    m_grid.setOverlay(nullptr);
}

} // namespace vorn
