#include "tickstate.h"

#include "fieldreader.h"
#include "pagesinbackground.h"
#include "schedulerows.h"
#include "secondstext.h"

#include "dbftable.h"

#include <QByteArrayView>

#include <algorithm>
#include <limits>
#include <tuple>
#include <utility>

namespace vorn::model {

namespace {

// One time field of a record as the refresh reads it: trailing blanks
// removed. Plain ASCII digits are looked at in place; anything else (a memo
// field, bytes that need the code page) goes through the decoded text.
SecondsField readTimeField(const FieldReader &reader, const RecordCopy &copy, int position)
{
    QByteArrayView bytes;
    if (reader.asciiBytes(copy, position, Blanks::Trailing, &bytes))
        return ReadSecondsField(bytes);
    return ReadSecondsField(QStringView(reader.text(copy, position, Blanks::Trailing)));
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

// The text a time cell gets for `seconds`; none when it cannot be written:
// a value of 92 hours or more leaves the cell with the text it had.
std::optional<QString> timeCellText(qint64 seconds)
{
    if (!SecondsTextFits(seconds))
        return std::nullopt;
    return seconds == 0 ? QString() : KeptSecondsText(qint32(seconds));
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

// The text a start or finish cell gets from its field: a number as time
// text, a number beyond 32 bits leaves the cell alone, anything else empties it.
std::optional<QString> fieldCellText(const SecondsField &field)
{
    switch (field.kind) {
    case SecondsField::Value:
        return timeCellText(field.value);
    case SecondsField::OutOfRange:
        return std::nullopt;
    case SecondsField::Empty:
    case SecondsField::NotNumeric:
        break;
    }
    return QString();
}

// One start/finish/duration triple of a detail row. The duration is finish
// minus start; when only one side is there, or one is not a number, it
// cannot be formed and the cell keeps its text.
void writeTriple(TickCellWriter &cells, int row, int pair, const SecondsField &start, const SecondsField &finish)
{
    TickTriple triple{row, pair, {fieldCellText(start), fieldCellText(finish), std::nullopt}};
    if (start.kind == SecondsField::Empty && finish.kind == SecondsField::Empty)
        triple.texts[2] = QString();
    else if (const std::optional<qint32> duration = difference(finish.number(), start.number()))
        triple.texts[2] = timeCellText(*duration);
    cells.write(triple);
}

// Whether a fill's duration cell, the text of the stored duration, already
// shows what a tick writes there: finish minus start, empty when both are
// empty, the cell kept when the difference cannot be formed or written. The
// texts are compared by the seconds they show, 0 standing for the empty text.
bool durationShown(const SecondsField &start, const SecondsField &finish,
                   const SecondsField &stored)
{
    const auto shown = [](qint64 seconds) {
        return SecondsTextFits(seconds) ? seconds : 0;
    };
    const qint64 fill = stored.kind == SecondsField::Value ? shown(stored.value) : 0;
    if (start.kind == SecondsField::Empty && finish.kind == SecondsField::Empty)
        return fill == 0;
    const std::optional<qint32> duration = difference(finish.number(), start.number());
    if (!duration || shown(*duration) != *duration)
        return true;   // kept
    return fill == *duration;
}

void writeSummaryTriple(TickCellWriter &cells, int row, int pair, const Span &span)
{
    TickTriple triple{row, pair, {timeCellText(span.earliestStart), timeCellText(span.latestFinish), std::nullopt}};
    if (const auto duration = difference(span.latestFinish, span.earliestStart))
        triple.texts[2] = timeCellText(*duration);
    cells.write(triple);
}

// Whether writeSummaryTriple would leave three cells showing `shown` as they are.
bool summaryShown(const QString *shown, const Span &span)
{
    const auto shows = [](const QString &cell, qint64 seconds) {
        const std::optional<QString> text = timeCellText(seconds);
        return !text || cell == *text;
    };
    const std::optional<qint32> duration = difference(span.latestFinish, span.earliestStart);
    return shows(shown[0], span.earliestStart) && shows(shown[1], span.latestFinish)
        && (!duration || shows(shown[2], *duration));
}

} // namespace

struct TickState::Data {
    quint64 layout = 0;                 // fingerprint of the header's field layout
    std::vector<quint64> shown;         // per record (index record - 1): the bytes the rows' texts come from

    // The rows below were read from, as they stood then.
    const void *holder = nullptr;
    quint64 generation = 0;
    struct Row {
        qint32 record = 0;   // 0: a group row, or a row a tick leaves alone
        int group = -1;      // index into groups whose summary the row counts into
        int nextOfRecord = 0;   // the next row showing the same record, 0 at the end
        SecondsField fields[4];   // StartP, FinishP, StartA, FinishA as last written
    };
    std::vector<Row> rows;
    std::vector<int> firstRowOfRecord;   // per record number: its first row, 0 when none
    // Per record number: its last row, 0 while it is the first; made only
    // when some record shows in more than one row.
    std::vector<int> lastRowOfRecord;
    std::vector<int> dirtyRows;          // rows the next tick rewrites whatever their record
    struct Group {
        int row = 0;
        int firstMember = 0;   // member rows [firstMember, endMember), the group row inside
        int endMember = 0;
        Span spans[2];         // planned, actual, as last written
        bool written = false;
        bool dirty = true;
    };
    std::vector<Group> groups;
    qint32 fillRecords = -1;   // records of the fill being taken over; -1 when none is
    std::array<QString, 6> fillSummary;   // what the fill wrote in the last group row so far

    // A summary the fill wrote as a tick would write it counts as written:
    // the first tick then regathers only the groups whose rows it rewrites,
    // not every group of the table. Checked as each group's rows are
    // complete, while they are fresh in the cache.
    void adoptSummary(Group &group)
    {
        Span spans[2];
        gather(group, spans);
        if (!summaryShown(&fillSummary[0], spans[0]) || !summaryShown(&fillSummary[3], spans[1]))
            return;
        group.spans[0] = spans[0];
        group.spans[1] = spans[1];
        group.written = true;
        group.dirty = false;
    }

    // The rows' outline and records, read once per fill: the ticks in
    // between find a changed record's rows and a row's group without asking
    // for the rows again. Rows are appended in order from row 2 on, then closed.
    void startRows(size_t total);
    Row &appendRow(qint16 level, qint32 record);
    void closeRows(const TickRows &target);
    void bind(const TickRows &target);
    // A group's planned and actual spans over its detail rows as last written.
    void gather(const Group &group, Span spans[2]) const
    {
        for (int row = group.firstMember; row < group.endMember; ++row) {
            const Row &info = rows[size_t(row)];
            if (info.record <= 0)
                continue;
            spans[0].take(info.fields[0].number(), info.fields[1].number());
            spans[1].take(info.fields[2].number(), info.fields[3].number());
        }
    }
    bool bound(const TickRows &target) const
    {
        return holder == target.holder() && generation == target.generation()
            && rows.size() == size_t(target.count());
    }
};

void TickState::Data::startRows(size_t total)
{
    holder = nullptr;
    rows.clear();
    rows.reserve(total);
    rows.resize(std::min<size_t>(2, total));
    firstRowOfRecord.clear();
    lastRowOfRecord.clear();
    dirtyRows.clear();
    groups.clear();
}

TickState::Data::Row &TickState::Data::appendRow(qint16 level, qint32 record)
{
    const int row = int(rows.size());
    Row &info = rows.emplace_back();
    if (level == 0) {
        if (groups.empty()) {
            // Detail rows above the first group row count into its summary:
            // the aggregates start afresh only after a summary is written.
            for (int above = 2; above < row; ++above)
                rows[size_t(above)].group = 0;
        } else {
            groups.back().endMember = row;
        }
        Group &group = groups.emplace_back();
        group.row = row;
        group.firstMember = groups.size() == 1 ? 2 : row;
        group.endMember = row + 1;
        info.group = int(groups.size()) - 1;
        return info;
    }
    info.group = int(groups.size()) - 1;
    if (record <= 0)
        return info;
    info.record = record;
    if (size_t(record) >= firstRowOfRecord.size())
        firstRowOfRecord.resize(size_t(record) + 1, 0);
    int &first = firstRowOfRecord[size_t(record)];
    if (first == 0) {
        first = row;
        return info;
    }
    // The same record once more, further down.
    if (lastRowOfRecord.size() < firstRowOfRecord.size())
        lastRowOfRecord.resize(firstRowOfRecord.size(), 0);
    int &last = lastRowOfRecord[size_t(record)];
    rows[size_t(last != 0 ? last : first)].nextOfRecord = row;
    last = row;
    return info;
}

void TickState::Data::closeRows(const TickRows &target)
{
    holder = target.holder();
    generation = target.generation();
    if (!groups.empty())
        groups.back().endMember = int(rows.size());
}

void TickState::Data::bind(const TickRows &target)
{
    startRows(size_t(std::max(target.count(), 0)));
    for (int row = 2; row < target.count(); ++row)
        appendRow(target.level(row), target.record(row));
    closeRows(target);
}

TickState::TickState() : d(std::make_unique<Data>()) {}

TickState::~TickState() = default;

bool TickState::takeLayout(quint64 layout, bool keep)
{
    if (layout == d->layout && keep)
        return false;
    *d = Data();
    d->layout = layout;
    return true;
}

bool TickState::beginFill(const store::DbfTable &table, size_t rows)
{
    Data &state = *d;
    const quint64 layout = LayoutFingerprint(table);
    const bool forgot = layout != state.layout;
    if (forgot) {
        state = {};
        state.layout = layout;
    }
    state.startRows(rows + 2);
    PopulatePagesInBackground(state.rows.data(), state.rows.capacity() * sizeof(Data::Row));
    state.fillRecords = table.recordCount();
    state.firstRowOfRecord.assign(size_t(std::max(state.fillRecords, 0)) + 1, 0);
    return forgot;
}

void TickState::addFillRow(const ScheduleRow &row)
{
    Data &state = *d;
    if (state.fillRecords < 0)
        return;
    Data::Row &info = state.appendRow(row.level, row.record);
    if (row.level == 0) {
        if (state.groups.size() > 1)
            state.adoptSummary(state.groups[state.groups.size() - 2]);
        state.fillSummary = row.times;
        return;
    }
    if (info.record <= 0)
        return;
    const std::array<SecondsField, 6> &read = row.fields;
    info.fields[0] = read[0];
    info.fields[1] = read[1];
    info.fields[2] = read[3];
    info.fields[3] = read[4];
    // Starts and finishes show what a tick would write; a duration cell shows
    // the stored duration, which a tick replaces by finish minus start unless
    // both agree.
    if (!durationShown(read[0], read[1], read[2]) || !durationShown(read[3], read[4], read[5]))
        state.dirtyRows.push_back(int(state.rows.size()) - 1);
}

void TickState::endFill(const TickRows &rows, std::vector<quint64> fingerprints)
{
    Data &state = *d;
    const bool fits = state.fillRecords >= 0 && fingerprints.size() == size_t(state.fillRecords)
        && state.rows.size() == size_t(rows.count());
    state.fillRecords = -1;
    if (!fits) {
        state.holder = nullptr;   // the next tick works on every row
        return;
    }
    state.shown = std::move(fingerprints);
    state.closeRows(rows);
    if (!state.groups.empty())
        state.adoptSummary(state.groups.back());
    state.fillSummary = {};
}

TickCounts TickState::run(const store::DbfTable &table, const FieldReader &reader, const TickRows &target,
                          TickFeed *feed, TickCellWriter &cells)
{
    Data &state = *d;
    TickCounts counts;
    const qint32 records = table.recordCount();
    const qint32 shownBefore = qint32(state.shown.size());
    state.shown.resize(size_t(records));

    // Rows a fill has rebuilt since, and not handed over, are all worked out afresh.
    const bool sameRows = state.bound(target);
    if (!sameRows)
        state.bind(target);

    const auto refreshRow = [&](int row, const RecordCopy &copy, bool force) {
        Data::Row &info = state.rows[size_t(row)];
        // A record the manager has since removed reads as blanks.
        const SecondsField fields[4] = {
            readTimeField(reader, copy, kStartP), readTimeField(reader, copy, kFinishP),
            readTimeField(reader, copy, kStartA), readTimeField(reader, copy, kFinishA)};
        bool moved = false;
        for (int pair = 0; pair < 2; ++pair) {
            const SecondsField &start = fields[2 * pair];
            const SecondsField &finish = fields[2 * pair + 1];
            // The same fields would give the same texts.
            if (!force && start == info.fields[2 * pair] && finish == info.fields[2 * pair + 1])
                continue;
            writeTriple(cells, row, pair, start, finish);
            moved = moved || start.number() != info.fields[2 * pair].number()
                || finish.number() != info.fields[2 * pair + 1].number();
            info.fields[2 * pair] = start;
            info.fields[2 * pair + 1] = finish;
        }
        if ((moved || force) && info.group >= 0)
            state.groups[size_t(info.group)].dirty = true;
        ++counts.detailRows;
    };

    // The rows a fill left for the next tick, in record order, so that each
    // is met when its record is copied.
    std::vector<int> &dirty = state.dirtyRows;
    std::sort(dirty.begin(), dirty.end(), [&state](int a, int b) {
        return std::pair(state.rows[size_t(a)].record, a) < std::pair(state.rows[size_t(b)].record, b);
    });
    auto dirtyRow = dirty.cbegin();
    const auto dirtyEnd = dirty.cend();

    // Not resized until the walk is over.
    quint64 *const shown = state.shown.data();
    // A record that is read at all is copied once, and its fingerprint, its
    // rows' times and its feed row all come from that copy: a record the
    // manager rewrites between two of them and writes back can never leave
    // texts of the bytes in between behind the fingerprint of the bytes it
    // returned to. A record whose bytes in place still have the fingerprint
    // that its rows and its feed row were made from needs no reading, and
    // no copy: most records of most ticks. Records beyond the count that
    // rows still show read as blanks.
    RecordCopy copy;
    const qint32 lastShown = qint32(state.firstRowOfRecord.size()) - 1;
    const qint32 last = std::max({records, shownBefore, lastShown});
    for (qint32 record = 1; record <= last; ++record) {
        // This record's rows that the fill left for the next tick.
        while (dirtyRow != dirtyEnd && state.rows[size_t(*dirtyRow)].record < record)
            ++dirtyRow;
        const auto dirtyBegin = dirtyRow;
        while (dirtyRow != dirtyEnd && state.rows[size_t(*dirtyRow)].record == record)
            ++dirtyRow;
        bool changed = record > records && record <= shownBefore;   // cut off since
        if (record <= records) {
            // Whether the record is new or differs from what was made of it.
            const auto differs = [&](quint64 fingerprint) {
                return record > shownBefore || shown[record - 1] != fingerprint;
            };
            bool copied = dirtyBegin != dirtyRow && sameRows;
            quint64 fingerprint = 0;
            if (!copied) {
                fingerprint = RecordFingerprint(table.rawRecord(record));
                changed = differs(fingerprint);
                copied = (changed && sameRows)
                    || (feed && !feed->has(record, fingerprint) && feed->take(record, fingerprint, nullptr));
            }
            if (copied) {
                copy.take(table, record);
                fingerprint = copy.fingerprint();
                changed = differs(fingerprint);
                if (feed)
                    feed->take(record, fingerprint, &copy);
            }
            shown[record - 1] = fingerprint;
            counts.changedRecords += changed;
            if (!copied)
                continue;
        } else {
            copy.take(table, record);
        }
        if (!sameRows || record > lastShown)
            continue;
        if (changed) {
            for (int row = state.firstRowOfRecord[size_t(record)]; row != 0; row = state.rows[size_t(row)].nextOfRecord)
                refreshRow(row, copy, std::find(dirtyBegin, dirtyRow, row) != dirtyRow);
        } else {
            for (auto row = dirtyBegin; row != dirtyRow; ++row)
                refreshRow(*row, copy, true);
        }
    }
    if (!sameRows) {
        // Every row is worked out, in order, each from a copy of its record
        // taken as it is met. A record that shows in several rows and was
        // rewritten between their copies is read again by the next tick.
        for (int row = 2; row < target.count(); ++row) {
            const qint32 record = state.rows[size_t(row)].record;
            if (record <= 0)
                continue;
            copy.take(table, record);
            if (record <= records) {
                const quint64 fingerprint = copy.fingerprint();
                quint64 &kept = shown[record - 1];
                if (state.firstRowOfRecord[size_t(record)] == row)
                    kept = fingerprint;
                else if (kept != fingerprint)
                    kept = ~fingerprint;
            }
            refreshRow(row, copy, true);
        }
    }
    dirty.clear();

    // The summaries are gathered again over the detail rows of every group
    // that had a row move; only those whose values moved are written.
    for (Data::Group &group : state.groups) {
        if (!group.dirty)
            continue;
        group.dirty = false;
        Span spans[2];
        state.gather(group, spans);
        if (group.written && spans[0] == group.spans[0] && spans[1] == group.spans[1])
            continue;
        group.spans[0] = spans[0];
        group.spans[1] = spans[1];
        group.written = true;
        writeSummaryTriple(cells, group.row, 0, spans[0]);
        writeSummaryTriple(cells, group.row, 1, spans[1]);
    }
    return counts;
}

} // namespace vorn::model
