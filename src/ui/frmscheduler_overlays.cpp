// The window's side of the live overlays: the Display menu switch and the
// collapse commands, the stale-data banner above the grid, the overlays'
// settings, the clock, and what a tooltip needs from the shown table.
#include "frmscheduler.h"

#include "dbftable.h"
#include "fieldreader.h"
#include "ganttgrid.h"
#include "liveoverlay.h"
#include "paths.h"
#include "stalebanner.h"

#include <QAction>
#include <QDateTime>

#include <cstdio>

namespace vorn {

void frmScheduler::createOverlays()
{
    m_overlaySettings = m_overlaySettingsLoaded = LoadOverlaySettings(m_state.SettingsFile);
    m_overlay = std::make_unique<chart::LiveOverlay>(*m_grid, m_state);
    if (!m_start.clock.isEmpty()) {
        const std::optional<chart::ChartClock> clock =
            chart::ChartClock::parse(m_start.clock, QDateTime::currentMSecsSinceEpoch());
        if (clock)
            m_overlay->setClock(*clock);
        else
            std::fprintf(stderr, "vorn-scheduler: --clock takes hh:mm[:ss][,speed[,anchor-ms]]\n");
    }
    m_overlay->outline() = chart::GroupOutline::fromText(m_overlaySettings.collapsedGroups);
    m_overlay->setNoChangeMinutes(m_overlaySettings.noChangeMinutes);
    m_overlay->setEnabled(m_overlaySettings.liveOverlays);
    // The process is not in the grid: read it from the shown table when a
    // tooltip asks, silently (a tooltip never raises a message box).
    m_overlay->setRecordDetails([this](qint32 record) -> std::optional<chart::RecordDetails> {
        store::DbfTable schedule;
        if (record <= 0 || schedule.open(ShownTablePath(m_state) + QStringLiteral(".dbf")).failed()
            || record > schedule.recordCount())
            return std::nullopt;
        model::RecordCopy copy;
        copy.take(schedule, record);
        return chart::RecordDetails{model::FieldReader(schedule).text(copy, model::kProcess, model::Blanks::Both)};
    });

    m_banner = new chart::StaleBanner(m_client);
    connect(m_overlay.get(), &chart::LiveOverlay::bannerChanged, this, [this](const QString &text) {
        m_banner->showText(text);
        layoutClientArea();
    });
    connect(m_overlay.get(), &chart::LiveOverlay::outlineChanged, this, [this] {
        m_overlaySettings.collapsedGroups = m_overlay->outline().toText();
    });
    menuItem(QStringLiteral("mnuLiveOverlays"))->setChecked(m_overlay->enabled());
    menuItem(QStringLiteral("mnuCollapseAll"))->setEnabled(m_overlay->enabled());
    menuItem(QStringLiteral("mnuExpandAll"))->setEnabled(m_overlay->enabled());
}

void frmScheduler::LiveOverlaysCommand()
{
    if (!m_overlay)
        return;
    const bool on = !m_overlay->enabled();
    m_overlay->setEnabled(on);
    m_overlaySettings.liveOverlays = on;
    menuItem(QStringLiteral("mnuLiveOverlays"))->setChecked(on);
    menuItem(QStringLiteral("mnuCollapseAll"))->setEnabled(on);
    menuItem(QStringLiteral("mnuExpandAll"))->setEnabled(on);
}

void frmScheduler::CollapseAllCommand(bool collapse)
{
    if (m_overlay)
        m_overlay->setAllCollapsed(collapse);
}

void frmScheduler::saveOverlaySettings()
{
    // Only what changed is written, so a file nobody touched stays as it was.
    // A failed write is not reported: the next start falls back to the defaults.
    std::ignore = SaveOverlaySettings(m_state.SettingsFile, m_overlaySettings, m_overlaySettingsLoaded);
}

void frmScheduler::placeBanner()
{
    // The grid keeps its place; only while the banner shows does it give
    // the banner a strip at its top.
    if (!m_banner || !m_grid || m_banner->isHidden())
        return;
    const QRect grid = m_grid->geometry();
    const int height = m_banner->sizeHint().height();
    m_banner->setGeometry(grid.left(), grid.top(), grid.width(), height);
    m_grid->setGeometry(grid.adjusted(0, height, 0, 0));
    m_banner->raise();
}

} // namespace vorn
