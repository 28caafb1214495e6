#include "refresh.h"

#include "fieldreader.h"
#include "griddata.h"
#include "managerclient.h"
#include "schedulexml.h"
#include "secondstext.h"

#include "dbftable.h"

#include <QByteArrayView>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <tuple>
#include <utility>

namespace vorn {

namespace {

using model::SecondsTextOfValue;

constexpr int FirstTimeColumn = 2;

// One time field of a record as the refresh reads it: trailing blanks
// removed. Plain ASCII digits are looked at in place; anything else (a memo
// field, bytes that need the code page) goes through the decoded text.
model::SecondsField readTimeField(const model::FieldReader &reader, qint32 record, int position)
{
    QByteArrayView bytes;
    if (reader.asciiBytes(record, position, model::Blanks::Trailing, &bytes))
        return model::ReadSecondsField(bytes);
    return model::ReadSecondsField(QStringView(reader.text(record, position, model::Blanks::Trailing)));
}

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
    friend bool operator==(const Span &, const Span &) = default;
};

// Writes the text of `seconds` unless it cannot be written: a value of 92
// hours or more leaves the cell with the text it had.
void setTimeCell(chart::GridData &grid, int row, int col, qint64 seconds)
{
    bool overflow = false;
    const QString text = SecondsTextOfValue(seconds, &overflow);
    if (!overflow)
        grid.setText(row, col, text);
}

// A start or finish cell from its field: a number as time text, a number
// beyond 32 bits leaves the cell alone, anything else empties it.
void setFieldCell(chart::GridData &grid, int row, int col, const model::SecondsField &field)
{
    switch (field.kind) {
    case model::SecondsField::Value:
        setTimeCell(grid, row, col, field.value);
        break;
    case model::SecondsField::OutOfRange:
        break;
    case model::SecondsField::Empty:
    case model::SecondsField::NotNumeric:
        grid.setText(row, col, QString());
        break;
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

// One start/finish/duration triple of a detail row. The duration is finish
// minus start; when only one side is there, or one is not a number, it
// cannot be formed and the cell keeps its text.
void writeTriple(chart::GridData &grid, int row, int col, const model::SecondsField &start,
                 const model::SecondsField &finish)
{
    setFieldCell(grid, row, col, start);
    setFieldCell(grid, row, col + 1, finish);
    if (start.kind == model::SecondsField::Empty && finish.kind == model::SecondsField::Empty)
        grid.setText(row, col + 2, QString());
    else if (const std::optional<qint32> duration = difference(finish.number(), start.number()))
        setTimeCell(grid, row, col + 2, *duration);
}

void writeSummaryTriple(chart::GridData &grid, int row, int col, const Span &span)
{
    setTimeCell(grid, row, col, span.earliestStart);
    setTimeCell(grid, row, col + 1, span.latestFinish);
    if (const auto duration = difference(span.latestFinish, span.earliestStart))
        setTimeCell(grid, row, col + 2, *duration);
}

// What the state's per-record fingerprints depend on besides the record
// bytes: the field layout and the code page the bytes are read with.
quint64 layoutFingerprint(const store::DbfTable &table)
{
    QByteArray key;
    key.append(char(table.languageDriver()));
    for (int position = 1; position <= table.fieldCount(); ++position) {
        const store::FieldDescriptor &field = table.field(position);
        key.append(field.name).append('\0').append(char(field.type));
        key.append(reinterpret_cast<const char *>(&field.offset), sizeof field.offset);
        key.append(reinterpret_cast<const char *>(&field.length), sizeof field.length);
    }
    return XXH3_64bits(key.constData(), size_t(key.size()));
}

} // namespace

struct RefreshState::Data {
    quint64 layout = 0;                 // fingerprint of the header's field layout
    std::vector<quint64> fingerprints;  // per record, index record - 1
    std::vector<qint32> changed;        // records that changed in this tick

    // The grid the rows below were read from, as it stood then.
    const chart::GridData *grid = nullptr;
    quint64 generation = 0;
    struct Row {
        qint32 record = 0;   // 0: a group row, or a row a tick leaves alone
        int group = -1;      // index into groups whose summary the row counts into
        model::SecondsField fields[4];   // StartP, FinishP, StartA, FinishA as last written
    };
    std::vector<Row> rows;
    std::vector<std::pair<qint32, int>> rowsByRecord;   // (record, row), sorted
    struct Group {
        int row = 0;
        int firstMember = 0;   // member rows [firstMember, endMember), the group row inside
        int endMember = 0;
        Span spans[2];         // planned, actual, as last written
        bool dirty = false;
    };
    std::vector<Group> groups;

    quint64 fedClient = 0;   // the client that has every row as of this state

    void bind(const chart::GridData &target);
};

// Reads the rows' outline and records once per fill: the ticks in between
// find a changed record's rows and a row's group without asking the grid.
void RefreshState::Data::bind(const chart::GridData &target)
{
    grid = &target;
    generation = target.rowsGeneration();
    rows.assign(size_t(target.rows()), {});
    rowsByRecord.clear();
    groups.clear();
    for (int row = 2; row < target.rows(); ++row) {
        if (target.rowOutlineLevel(row) == 0) {
            if (!groups.empty())
                groups.back().endMember = row;
            // Detail rows above the first group row count into its summary:
            // the aggregates start afresh only after a summary is written.
            groups.push_back({row, groups.empty() ? 2 : row, target.rows(), {}, true});
            continue;
        }
        const qint32 record = target.rowData(row);
        if (record > 0) {
            rows[size_t(row)].record = record;
            rowsByRecord.emplace_back(record, row);
        }
    }
    for (int g = 0; g < int(groups.size()); ++g) {
        for (int row = groups[size_t(g)].firstMember; row < groups[size_t(g)].endMember; ++row)
            rows[size_t(row)].group = g;
    }
    std::sort(rowsByRecord.begin(), rowsByRecord.end());
}

RefreshState::RefreshState() : d(std::make_unique<Data>()) {}

RefreshState::~RefreshState() = default;

void RefreshState::clear()
{
    *d = Data();
}

RefreshResult RefreshTimesAndFeed(const store::DbfTable &table, chart::GridData &grid, bool hosted,
                                  ManagerServerClient *view, RefreshState *kept)
{
    RefreshResult result;
    result.records = table.recordCount();
    if (result.records == 0)
        return result;

    RefreshState scratch;
    RefreshState::Data &state = *(kept ? kept : &scratch)->d;
    const model::FieldReader reader(table);
    const qint32 records = result.records;

    // Which records changed since the state last looked. A memo field's
    // content lives outside the record, so such a table counts as changed
    // throughout.
    const quint64 layout = layoutFingerprint(table);
    if (layout != state.layout || !reader.allDirect()) {
        state = {};
        state.layout = layout;
    }
    const qint32 seen = qint32(state.fingerprints.size());
    state.changed.clear();
    state.fingerprints.resize(size_t(records));
    for (qint32 record = 1; record <= records; ++record) {
        const QByteArrayView bytes = table.rawRecord(record);
        const quint64 fingerprint = XXH3_64bits(bytes.data(), size_t(bytes.size()));
        quint64 &last = state.fingerprints[size_t(record - 1)];
        if (record > seen || last != fingerprint)
            state.changed.push_back(record);
        last = fingerprint;
    }
    result.changedRecords = qint32(state.changed.size());
    // Records cut off since: their rows now read blanks.
    for (qint32 record = records + 1; record <= seen; ++record)
        state.changed.push_back(record);

    // Rows a fill has rebuilt since are all worked out afresh.
    const bool sameRows = state.grid == &grid && state.generation == grid.rowsGeneration()
        && state.rows.size() == size_t(grid.rows());
    if (!sameRows)
        state.bind(grid);

    const auto refreshRow = [&](int row) {
        RefreshState::Data::Row &info = state.rows[size_t(row)];
        // A record the manager has since removed reads as blanks.
        const model::SecondsField fields[4] = {
            readTimeField(reader, info.record, model::kStartP), readTimeField(reader, info.record, model::kFinishP),
            readTimeField(reader, info.record, model::kStartA), readTimeField(reader, info.record, model::kFinishA)};
        bool moved = false;
        for (int pair = 0; pair < 2; ++pair) {
            const model::SecondsField &start = fields[2 * pair];
            const model::SecondsField &finish = fields[2 * pair + 1];
            // The same fields would give the same texts.
            if (sameRows && start == info.fields[2 * pair] && finish == info.fields[2 * pair + 1])
                continue;
            writeTriple(grid, row, FirstTimeColumn + 3 * pair, start, finish);
            moved = moved || start.number() != info.fields[2 * pair].number()
                || finish.number() != info.fields[2 * pair + 1].number();
            info.fields[2 * pair] = start;
            info.fields[2 * pair + 1] = finish;
        }
        if ((moved || !sameRows) && info.group >= 0)
            state.groups[size_t(info.group)].dirty = true;
        ++result.detailRows;
    };
    if (sameRows) {
        for (const qint32 record : state.changed) {
            auto it = std::lower_bound(state.rowsByRecord.begin(), state.rowsByRecord.end(),
                                       std::pair<qint32, int>(record, 0));
            for (; it != state.rowsByRecord.end() && it->first == record; ++it)
                refreshRow(it->second);
        }
    } else {
        for (int row = 2; row < grid.rows(); ++row) {
            if (state.rows[size_t(row)].record > 0)
                refreshRow(row);
        }
    }

    // The summaries are gathered again over the detail rows of every group
    // that had a row move; only those whose values moved are written.
    for (RefreshState::Data::Group &group : state.groups) {
        if (!group.dirty)
            continue;
        group.dirty = false;
        Span spans[2];
        for (int row = group.firstMember; row < group.endMember; ++row) {
            const RefreshState::Data::Row &info = state.rows[size_t(row)];
            if (info.record <= 0)
                continue;
            spans[0].take(info.fields[0].number(), info.fields[1].number());
            spans[1].take(info.fields[2].number(), info.fields[3].number());
        }
        if (sameRows && spans[0] == group.spans[0] && spans[1] == group.spans[1])
            continue;
        group.spans[0] = spans[0];
        group.spans[1] = spans[1];
        writeSummaryTriple(grid, group.row, FirstTimeColumn, spans[0]);
        writeSummaryTriple(grid, group.row, FirstTimeColumn + 3, spans[1]);
    }

    // The feed: the client keeps the text row by row; it gets the rows of
    // the records that changed, or all of them when it has not had them yet.
    if (hosted && view) {
        if (!ManagerServerClient::feedFits(records)) {
            state.fedClient = 0;   // the rows it misses now are all sent with the next feed
            return result;
        }
        model::ScheduleXmlChanges changes;
        changes.records = records;
        const auto addRow = [&](qint32 record) {
            QByteArray row;
            model::AppendScheduleXmlRowUtf8(row, reader, record, model::XmlVariant::Refresh);
            changes.rows.emplace_back(record, std::move(row));
        };
        if (state.fedClient != view->id()) {
            changes.rows.reserve(size_t(records));
            for (qint32 record = 1; record <= records; ++record)
                addRow(record);
        } else {
            for (const qint32 record : state.changed) {
                if (record <= records)
                    addRow(record);
            }
        }
        view->SetViewXMLDataChanged(QStringLiteral("SCHEDULER"), std::move(changes));
        state.fedClient = view->id();
        result.fed = true;
    }
    return result;
}

} // namespace vorn
