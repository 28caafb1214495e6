#include "refresh.h"

#include "fieldreader.h"
#include "griddata.h"
#include "managerclient.h"
#include "schedulexml.h"
#include "secondstext.h"

#include "dbftable.h"

#include <QByteArrayView>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

namespace vorn {

namespace {

using model::SecondsText;
using model::SecondsTextOfValue;
using model::SecondsValue;

constexpr int FirstTimeColumn = 2;

// One time field of a record as the refresh reads it: trailing blanks
// removed. Plain ASCII digits are looked at in place; anything else (a memo
// field, bytes that need the code page) goes through the decoded text.
class TimeField {
public:
    TimeField(const model::FieldReader &reader, qint32 record, int position)
    {
        m_ascii = reader.asciiBytes(record, position, model::Blanks::Trailing, &m_bytes);
        if (!m_ascii)
            m_text = reader.text(record, position, model::Blanks::Trailing);
    }
    bool isEmpty() const { return m_ascii ? m_bytes.isEmpty() : m_text.isEmpty(); }
    std::optional<qint32> value() const
    {
        return m_ascii ? SecondsValue(m_bytes) : SecondsValue(QStringView(m_text));
    }
    QString secondsText(bool *overflow) const
    {
        return m_ascii ? SecondsText(m_bytes, overflow) : SecondsText(QStringView(m_text), overflow);
    }

private:
    QByteArrayView m_bytes;
    QString m_text;
    bool m_ascii = false;
};

// Earliest start and latest finish of one group; 0 means not yet set, which
// is how the summaries have always told "no value" from a value.
struct Span {
    qint32 earliestStart = 0;
    qint32 latestFinish = 0;

    void take(const std::optional<qint32> &start, const std::optional<qint32> &finish)
    {
        if (start && (earliestStart == 0 || earliestStart > *start))
            earliestStart = *start;
        if (finish && *finish > latestFinish)
            latestFinish = *finish;
    }
};

// Writes `text` unless the value could not be converted: a value of 92 hours
// or more leaves the cell with the text it had. Returns whether the cell's
// text changed; `before` then receives the text it had. The cell is written
// even when equal: a grid whose texts are renewed every tick stays compact
// in memory, and the next tick reads it faster.
bool setTimeCell(chart::GridData &grid, int row, int col, const QString &text, bool overflow,
                 QString &before)
{
    if (overflow)
        return false;
    const QString &current = grid.text(row, col);
    // A plain comparison of the few characters; QString's own goes through a
    // general routine that shows in a tick of 100,000 rows.
    const bool same = current.size() == text.size()
        && std::memcmp(current.constData(), text.constData(), size_t(text.size()) * sizeof(QChar)) == 0;
    if (!same)
        before = current;
    grid.setText(row, col, text);
    return !same;
}

// The start and finish cells of a triple. Returns whether either changed,
// and then the texts both had before in `old` (planned changes keep them for
// the ghost of the previous bar).
bool writeEnds(chart::GridData &grid, int row, int col, const QString &start, bool startOverflow,
               const QString &finish, bool finishOverflow, chart::PlannedChange &old)
{
    const bool startMoved = setTimeCell(grid, row, col, start, startOverflow, old.oldStart);
    const bool finishMoved = setTimeCell(grid, row, col + 1, finish, finishOverflow, old.oldFinish);
    if (startMoved && !finishMoved)
        old.oldFinish = grid.text(row, col + 1);
    else if (finishMoved && !startMoved)
        old.oldStart = grid.text(row, col);
    return startMoved || finishMoved;
}

// Notes a triple's changes in the result.
void noteTriple(RefreshResult &result, int row, int col, bool moved, chart::PlannedChange &&old)
{
    result.changed = result.changed || moved;
    if (moved && col == FirstTimeColumn) {
        old.row = row;
        result.plannedChanges.push_back(std::move(old));
    }
}

// finish - start as whole seconds; nothing when the difference cannot be
// formed (a side missing or not a number, or the result beyond 32 bits).
std::optional<qint32> difference(const std::optional<qint32> &finish,
                                 const std::optional<qint32> &start)
{
    if (!finish || !start)
        return std::nullopt;
    const qint64 value = qint64(*finish) - qint64(*start);
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(value);
}

// One start/finish/duration triple of a detail row.
void refreshTriple(chart::GridData &grid, int row, int col, const TimeField &start,
                   const TimeField &finish, Span &span, RefreshResult &result)
{
    const std::optional<qint32> startValue = start.value();
    const std::optional<qint32> finishValue = finish.value();
    span.take(startValue, finishValue);

    bool startOverflow = false;
    bool finishOverflow = false;
    const QString startText = start.secondsText(&startOverflow);
    const QString finishText = finish.secondsText(&finishOverflow);
    chart::PlannedChange old;
    const bool moved = writeEnds(grid, row, col, startText, startOverflow, finishText, finishOverflow, old);

    // The duration follows from the two ends: a change shows in them.
    if (start.isEmpty() && finish.isEmpty()) {
        grid.setText(row, col + 2, QString());
    } else if (const std::optional<qint32> duration = difference(finishValue, startValue)) {
        bool overflow = false;
        const QString text = SecondsTextOfValue(*duration, &overflow);
        if (!overflow)
            grid.setText(row, col + 2, text);
    }
    noteTriple(result, row, col, moved, std::move(old));
}

void writeSummaryTriple(chart::GridData &grid, int row, int col, const Span &span,
                        RefreshResult &result)
{
    bool startOverflow = false;
    bool finishOverflow = false;
    const QString startText = SecondsTextOfValue(span.earliestStart, &startOverflow);
    const QString finishText = SecondsTextOfValue(span.latestFinish, &finishOverflow);
    chart::PlannedChange old;
    const bool moved = writeEnds(grid, row, col, startText, startOverflow, finishText, finishOverflow, old);
    if (const auto duration = difference(span.latestFinish, span.earliestStart)) {
        bool overflow = false;
        const QString text = SecondsTextOfValue(*duration, &overflow);
        if (!overflow)
            grid.setText(row, col + 2, text);
    }
    noteTriple(result, row, col, moved, std::move(old));
}

// Whether the XML can be built away from the window's thread: a table read
// from a file whose eleven fields are plain (no memo, nothing long enough to
// raise the store's message box, which only the window's thread may show).
bool canBuildOffThread(const store::DbfTable &table)
{
    return !table.filePath().isEmpty() && model::FieldReader(table).allDirect();
}

} // namespace

RefreshResult RefreshTimesAndFeed(const store::DbfTable &table, chart::GridData &grid, bool hosted,
                                  ManagerServerClient *view)
{
    RefreshResult result;
    result.records = table.recordCount();
    if (result.records == 0)
        return result;

    const model::FieldReader reader(table);
    Span planned;
    Span actual;
    int groupRow = 0;
    const auto writeSummary = [&] {
        writeSummaryTriple(grid, groupRow, FirstTimeColumn, planned, result);
        writeSummaryTriple(grid, groupRow, FirstTimeColumn + 3, actual, result);
    };

    for (int row = 2; row < grid.rows(); ++row) {
        const qint16 level = grid.rowOutlineLevel(row);
        if (level == 0) {
            // Detail rows above the first group row count into its summary:
            // the aggregates start afresh only after a summary is written.
            if (groupRow != 0) {
                writeSummary();
                planned = {};
                actual = {};
            }
            groupRow = row;
            continue;
        }
        const qint32 record = grid.rowData(row);
        if (record <= 0)
            continue;
        // A record the manager has since removed reads as blanks.
        refreshTriple(grid, row, FirstTimeColumn, TimeField(reader, record, model::kStartP),
                      TimeField(reader, record, model::kFinishP), planned, result);
        refreshTriple(grid, row, FirstTimeColumn + 3, TimeField(reader, record, model::kStartA),
                      TimeField(reader, record, model::kFinishA), actual, result);
        ++result.detailRows;
    }
    if (groupRow != 0)
        writeSummary();

    if (hosted && view) {
        const QString viewName = QStringLiteral("SCHEDULER");
        if (canBuildOffThread(table)) {
            // The feed reads every record once more; it does so from the file
            // on the client's sender thread, so that a large schedule costs
            // the tick only the grid. Like any re-read of the live table it
            // sees what the manager has written by then.
            view->SetViewXMLDataBuiltLater(viewName, [path = table.filePath()] {
                store::DbfTable again;
                if (!again.open(path) || !canBuildOffThread(again))
                    return QString();
                return model::BuildScheduleXml(again, model::XmlVariant::Refresh);
            });
        } else {
            view->SetViewXMLData(viewName, model::BuildScheduleXml(table, model::XmlVariant::Refresh));
        }
        result.fed = true;
    }
    return result;
}

} // namespace vorn
