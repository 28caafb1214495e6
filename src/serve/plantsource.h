#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <memory>
#include <optional>
#include <vector>

namespace vorn::serve {

// How the rows of a cell are grouped, as the viewer's two sort orders.
enum class Sort { Machine, Part };

// The renderer's options for a chart picture of a cell; unset times take
// the renderer's own choice.
struct ChartOptions {
    Sort sort = Sort::Machine;
    int interval = 0;                 // minutes a column, 1-12; 0: the cell's own
    std::optional<qint32> fromSeconds;
    std::optional<qint32> toSeconds;
    std::optional<qint32> nowSeconds;
    bool overlays = true;
    QString language;                 // "en" or "zh"; empty: English
};

enum class ChartFormat { Svg, Png, Pdf };

// One cell as the command line or the configuration file names it.
struct CellConfig {
    QString name;             // as in /cell/NAME: letters, digits, '-', '_', '.'
    QString dataFolder;       // where its Scheduler.dbf, Aplan.dbf and Process.dbf are
    int noChangeMinutes = 0;  // 0: as the viewer's settings say
    int interval = 0;         // minutes a column shown first, 1-12; 0: as the viewer's settings say
};

// What the web side asks of the cells it shows, without knowing how they
// are followed: answers are ready-made bodies (JSON, CSV, XML, pictures),
// and every tick of a followed cell is announced with the message its
// pages need. Everything runs on the thread of the event loop.
class PlantSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual QStringList cellNames() const = 0;
    virtual bool hasCell(const QString &cell) const = 0;

    // GET /api/cells: every cell's summary (docs/plantview.md).
    virtual QByteArray cellsJson() const = 0;
    // GET /api/cells/NAME/rows: the whole view as JSON; nullopt: no such cell.
    virtual std::optional<QByteArray> rowsJson(const QString &cell, Sort sort) = 0;
    // GET /api/cells/NAME/schedule.csv, in the language given ("en", "zh").
    virtual std::optional<QByteArray> scheduleCsv(const QString &cell, Sort sort, const QString &language) = 0;
    // GET /api/cells/NAME/schedule.xml: the fill's XML as the manager gets it.
    virtual std::optional<QByteArray> scheduleXml(const QString &cell) = 0;
    // GET /api/cells/NAME/chart.svg|png|pdf. Empty with *error set when the
    // picture cannot be made (an error says why; no such cell leaves it empty).
    virtual QByteArray chart(const QString &cell, const ChartOptions &options, ChartFormat format,
                             QString *error) = 0;

    // A page follows (cell, sort): the source keeps that grouping up to date
    // while anyone follows it. Counted: every follow has its unfollow.
    virtual void follow(const QString &cell, Sort sort) = 0;
    virtual void unfollow(const QString &cell, Sort sort) = 0;
    // The first message of a page: the whole view ("view"), or nothing for
    // no such cell.
    virtual std::optional<QByteArray> wholeView(const QString &cell, Sort sort) = 0;

signals:
    // After a tick of a followed (cell, sort) that changed something: a
    // "tick" message with only what changed, or a "view" message when the
    // rows themselves were rebuilt. Sent once for all pages of that view.
    void cellMessage(const QString &cell, vorn::serve::Sort sort, const QByteArray &message);
    // After any tick that moved a cell's summary: the "plant" message.
    void plantMessage(const QByteArray &message);
};

// The source that follows `cells` from the data folders, each at the
// viewer's rhythm, from the moment the event loop runs.
std::unique_ptr<PlantSource> MakePlant(std::vector<CellConfig> cells, QObject *parent = nullptr);

} // namespace vorn::serve
