#pragma once

#include "chartclock.h"
#include "plantsource.h"

#include <QByteArray>

#include <memory>
#include <vector>

namespace vorn::serve {

class CellFollower;

// The cells of a plant followed from their data folders, each grouping by
// the viewer's own fill and tick (core::LiveSchedule into a grid, quietly:
// no boxes), read-only. A cell's machine grouping is followed always, as it
// feeds the plant's summary; its part grouping from the first follow (or
// question) on, until nobody has followed it for IdleFollowMs.
class Plant final : public PlantSource {
    Q_OBJECT
public:
    static constexpr qint64 IdleFollowMs = 60000;
    // A plant message at least this often, for the page's now.
    static constexpr qint64 PlantMessageMs = 60000;
    // The most rows a chart picture is drawn of (about 0.7 s of painting).
    static constexpr int MaxChartRows = 10000;

    // `clock`: of `now`, of the stale checks and of the idle groupings (a
    // frozen one for tests).
    explicit Plant(std::vector<CellConfig> cells, const chart::ChartClock &clock = {}, QObject *parent = nullptr);
    ~Plant() override;

    QStringList cellNames() const override;
    bool hasCell(const QString &cell) const override;
    QByteArray cellsJson() const override;
    std::optional<QByteArray> rowsJson(const QString &cell, Sort sort) override;
    std::optional<QByteArray> scheduleCsv(const QString &cell, Sort sort, const QString &language) override;
    std::optional<QByteArray> scheduleXml(const QString &cell) override;
    QByteArray chart(const QString &cell, const ChartOptions &options, ChartFormat format, QString *error) override;
    void follow(const QString &cell, Sort sort) override;
    void unfollow(const QString &cell, Sort sort) override;
    std::optional<QByteArray> wholeView(const QString &cell, Sort sort) override;

    chart::ChartClock &clock() { return m_clock; }
    // One tick of every grouping followed now, as their timers tick them.
    void tickAll();
    // Whether the grouping is followed now (its rows kept up to date).
    bool isFollowing(const QString &cell, Sort sort) const;

private:
    struct Cell;
    Cell *find(const QString &name) const;
    CellFollower &follower(Cell &cell, Sort sort);
    void ticked(Cell &cell, Sort sort);
    void appendSummary(QByteArray &out, const Cell &cell) const;

    std::vector<std::unique_ptr<Cell>> m_cells;
    chart::ChartClock m_clock;
    qint64 m_lastPlantMessageMs = 0;
};

} // namespace vorn::serve
