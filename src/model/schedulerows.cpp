#include "schedulerows.h"

#include "dbftable.h"
#include "fieldreader.h"
#include "schedulexml.h"
#include "secondstext.h"

#include <QHash>
#include <QSet>

namespace vorn::model {

namespace {

// Every record with one exact group key, chained through the pass's `next` array.
struct KeyEntry {
    QString key;
    bool grouped = false;   // false: the key was already seen through another key
    qint32 first = 0;       // first and last record of the chain
    qint32 last = 0;
    qint32 count = 0;
};

struct Group {
    qint32 entry = 0;
    qint32 record = 0;      // the group's first record; its details follow the chain from here
    qint32 ordinal = 0;     // how many records of the key stand before it
};

// Earliest start and latest finish, where 0 means "none taken yet": a value of
// exactly 0 is therefore overwritten by the next numeric value.
struct Aggregates {
    qint32 startP = 0, finishP = 0, startA = 0, finishA = 0;

    static void earliest(qint32 &aggregate, const std::optional<qint32> &value)
    {
        if (value && (aggregate == 0 || *value < aggregate))
            aggregate = *value;
    }
    static void latest(qint32 &aggregate, const std::optional<qint32> &value)
    {
        if (value && (aggregate == 0 || *value > aggregate))
            aggregate = *value;
    }
    // A summary value beyond the 92-hour limit leaves its cell empty, as a detail cell.
    void writeTo(std::array<QString, 6> &times) const
    {
        times[0] = SecondsTextOfValue(startP);
        times[1] = SecondsTextOfValue(finishP);
        times[2] = SecondsTextOfValue(qint64(finishP) - startP);
        times[3] = SecondsTextOfValue(startA);
        times[4] = SecondsTextOfValue(finishA);
        times[5] = SecondsTextOfValue(qint64(finishA) - startA);
    }
};

// One time field: its cell text and, when numeric, its value.
QString readTime(const FieldReader &reader, qint32 record, int position,
                 std::optional<qint32> *value)
{
    QByteArrayView bytes;
    if (reader.asciiBytes(record, position, Blanks::Trailing, &bytes))
        *value = SecondsValue(bytes);
    else
        *value = SecondsValue(QStringView(reader.text(record, position, Blanks::Trailing)));
    return *value ? SecondsTextOfValue(**value) : QString();
}

// Group keys are remembered as the pieces between "|" separators of all keys
// placed so far, blanks removed; a key counts as seen when it equals one such
// piece. A key holding "|" can therefore never be seen.
class SeenKeys {
public:
    void add(const QString &key)
    {
        for (const QStringView piece : QStringView(key).tokenize(u'|'))
            m_pieces.insert(TrimBlanks(piece, Blanks::Both).toString());
    }
    bool contains(const QString &key) const
    {
        if (key.contains(u'|'))
            return false;
        const QStringView trimmed = TrimBlanks(QStringView(key), Blanks::Both);
        return trimmed.size() == key.size() ? m_pieces.contains(key)
                                            : m_pieces.contains(trimmed.toString());
    }

private:
    QSet<QString> m_pieces;
};

} // namespace

QString PartLabel(const QString &part, const QString &order)
{
    if (order.isEmpty())
        return part;
    QString label;
    label.reserve(part.size() + order.size() + 2);
    label.append(part).append(u'(').append(order).append(u')');
    return label;
}

namespace {

// Appends the PartLabel of a record to out.
void appendPartLabel(QString &out, const FieldReader &reader, qint32 record)
{
    reader.append(out, record, kPart, Blanks::Trailing);
    const qsizetype partEnd = out.size();
    out.append(u'(');
    if (reader.append(out, record, kOrder, Blanks::Trailing))
        out.resize(partEnd);
    else
        out.append(u')');
}

// The PartLabel of a record; ASCII bytes are copied in with one allocation.
QString partLabelOf(const FieldReader &reader, qint32 record)
{
    QByteArrayView part;
    QByteArrayView order;
    if (!reader.asciiBytes(record, kPart, Blanks::Trailing, &part)
        || !reader.asciiBytes(record, kOrder, Blanks::Trailing, &order)) {
        return PartLabel(reader.text(record, kPart, Blanks::Trailing),
                         reader.text(record, kOrder, Blanks::Trailing));
    }
    QString label(part.size() + (order.isEmpty() ? 0 : order.size() + 2), Qt::Uninitialized);
    QChar *out = label.data();
    for (const char c : part)
        *out++ = QLatin1Char(c);
    if (!order.isEmpty()) {
        *out++ = u'(';
        for (const char c : order)
            *out++ = QLatin1Char(c);
        *out++ = u')';
    }
    return label;
}

} // namespace

// The table is read twice but never rescanned: the first pass sorts every
// record into the chain of its exact key and opens a group where a key first
// appears unseen; the second walks the groups in that order and builds each
// row exactly once, straight into the result.
FillResult BuildScheduleRows(const store::DbfTable &table, qint16 sortOrder, QString *xml)
{
    FillResult result;
    const qint32 count = table.recordCount();
    result.recordCount = count;
    const bool grouping = sortOrder == kSortByPart || sortOrder == kSortByMachine;
    if (xml)
        BeginScheduleXml(*xml, table);
    if (!grouping && !xml)
        return result;

    const FieldReader reader(table);
    QHash<QString, qint32> entryOfKey;
    std::vector<KeyEntry> entries;
    std::vector<Group> groups;
    std::vector<qint32> next;   // next record of the same key, 0 at the end
    SeenKeys seen;
    QString key;                // reused: only a new key is copied into the hash
    if (grouping)
        next.assign(size_t(count) + 1, 0);

    for (qint32 record = 1; record <= count; ++record) {
        if (xml)
            AppendScheduleXmlRow(*xml, reader, record, XmlVariant::Fill);
        if (!grouping)
            continue;

        key.resize(0);
        if (sortOrder == kSortByPart)
            appendPartLabel(key, reader, record);
        else
            reader.append(key, record, kMachine, Blanks::Trailing);
        if (key.isEmpty())
            continue;

        qint32 entryIndex = 0;
        const auto found = entryOfKey.constFind(key);
        if (found == entryOfKey.cend()) {
            entryIndex = qint32(entries.size());
            const bool grouped = !seen.contains(key);
            if (grouped)
                seen.add(key);
            entryOfKey.insert(key, entryIndex);
            entries.push_back({key, grouped, 0, 0, 0});
            if (!grouped)
                continue;
            groups.push_back({entryIndex, record, 0});
        } else {
            entryIndex = *found;
            const KeyEntry &entry = entries[size_t(entryIndex)];
            if (!entry.grouped)
                continue;
            // Never seen, so every further record of such a key opens one more group.
            if (key.contains(u'|'))
                groups.push_back({entryIndex, record, entry.count});
        }
        KeyEntry &entry = entries[size_t(entryIndex)];
        if (entry.count == 0)
            entry.first = record;
        else
            next[size_t(entry.last)] = record;
        entry.last = record;
        ++entry.count;
    }
    if (xml)
        EndScheduleXml(*xml);

    size_t rowCount = groups.size();
    for (const Group &group : groups)
        rowCount += size_t(entries[size_t(group.entry)].count - group.ordinal);
    result.rows.reserve(rowCount);
    result.groupCount = qint32(groups.size());

    std::optional<qint32> startP, finishP, startA, finishA, unused;
    for (const Group &group : groups) {
        const size_t groupRow = result.rows.size();
        result.rows.push_back({entries[size_t(group.entry)].key, 0, group.record, {}});
        Aggregates aggregates;
        for (qint32 record = group.record; record != 0; record = next[size_t(record)]) {
            ScheduleRow &row = result.rows.emplace_back();
            if (sortOrder == kSortByPart)
                row.label = reader.text(record, kMachine, Blanks::Trailing);
            else
                row.label = partLabelOf(reader, record);
            row.level = 1;
            row.record = record;
            row.times[0] = readTime(reader, record, kStartP, &startP);
            row.times[1] = readTime(reader, record, kFinishP, &finishP);
            row.times[2] = readTime(reader, record, kDurationP, &unused);
            row.times[3] = readTime(reader, record, kStartA, &startA);
            row.times[4] = readTime(reader, record, kFinishA, &finishA);
            row.times[5] = readTime(reader, record, kDurationA, &unused);
            Aggregates::earliest(aggregates.startP, startP);
            Aggregates::latest(aggregates.finishP, finishP);
            Aggregates::earliest(aggregates.startA, startA);
            Aggregates::latest(aggregates.finishA, finishA);
        }
        aggregates.writeTo(result.rows[groupRow].times);
    }
    return result;
}

} // namespace vorn::model
