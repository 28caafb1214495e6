#include "schedulerows.h"

#include "dbftable.h"
#include "fieldreader.h"
#include "schedulexml.h"
#include "secondstext.h"

#include <QHash>
#include <QSet>

namespace vorn::model {

namespace {

// A record that landed in a group, with what its detail row shows and what
// its group summary needs.
struct Detail {
    ScheduleRow row;
    std::optional<qint32> startP, finishP, startA, finishA;
};

// Every record with one exact group key.
struct KeyEntry {
    QString key;
    bool grouped = false;          // false: the key was already seen through another key
    std::vector<qint32> members;   // indexes into the details, in record order
};

struct Group {
    qint32 entry = 0;
    qsizetype firstMember = 0;     // members before it belong to earlier groups only
    qint32 record = 0;
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
    void take(const Detail &detail)
    {
        earliest(startP, detail.startP);
        latest(finishP, detail.finishP);
        earliest(startA, detail.startA);
        latest(finishA, detail.finishA);
    }
    // A summary value beyond the 92-hour limit leaves its cell empty, as a detail cell.
    std::array<QString, 6> texts() const
    {
        return {SecondsTextOfValue(startP), SecondsTextOfValue(finishP),
                SecondsTextOfValue(qint64(finishP) - startP), SecondsTextOfValue(startA),
                SecondsTextOfValue(finishA), SecondsTextOfValue(qint64(finishA) - startA)};
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

// The table is read once. Records are gathered per exact key; a group is
// opened where its key first appears unseen, and the groups are emitted in
// that order afterwards, which gives the rows the group-by-group rescan would.
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
    std::vector<Detail> details;
    SeenKeys seen;
    if (grouping)
        details.reserve(size_t(count));

    for (qint32 record = 1; record <= count; ++record) {
        if (xml)
            AppendScheduleXmlRow(*xml, reader, record, XmlVariant::Fill);
        if (!grouping)
            continue;

        QString part = reader.text(record, kPart, Blanks::Trailing);
        QString machine = reader.text(record, kMachine, Blanks::Trailing);
        const QString order = reader.text(record, kOrder, Blanks::Trailing);
        QString key = sortOrder == kSortByPart ? PartLabel(part, order) : machine;
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
            entries.push_back({key, grouped, {}});
            if (!grouped)
                continue;
            groups.push_back({entryIndex, 0, record});
        } else {
            entryIndex = *found;
            if (!entries[size_t(entryIndex)].grouped)
                continue;
            // Never seen, so every further record of such a key opens one more group.
            if (key.contains(u'|'))
                groups.push_back({entryIndex, qsizetype(entries[size_t(entryIndex)].members.size()), record});
        }

        Detail detail;
        detail.row.label = sortOrder == kSortByPart ? std::move(machine) : PartLabel(part, order);
        detail.row.level = 1;
        detail.row.record = record;
        detail.row.times[0] = readTime(reader, record, kStartP, &detail.startP);
        detail.row.times[1] = readTime(reader, record, kFinishP, &detail.finishP);
        std::optional<qint32> unused;
        detail.row.times[2] = readTime(reader, record, kDurationP, &unused);
        detail.row.times[3] = readTime(reader, record, kStartA, &detail.startA);
        detail.row.times[4] = readTime(reader, record, kFinishA, &detail.finishA);
        detail.row.times[5] = readTime(reader, record, kDurationA, &unused);
        entries[size_t(entryIndex)].members.push_back(qint32(details.size()));
        details.push_back(std::move(detail));
    }
    if (xml)
        EndScheduleXml(*xml);

    size_t rowCount = groups.size();
    for (const Group &group : groups)
        rowCount += entries[size_t(group.entry)].members.size() - size_t(group.firstMember);
    result.rows.reserve(rowCount);
    result.groupCount = qint32(groups.size());

    for (const Group &group : groups) {
        const KeyEntry &entry = entries[size_t(group.entry)];
        Aggregates aggregates;
        for (size_t m = size_t(group.firstMember); m < entry.members.size(); ++m)
            aggregates.take(details[size_t(entry.members[m])]);
        result.rows.push_back({entry.key, 0, group.record, aggregates.texts()});
        // Only keys holding "|" share a record between groups; the copy is
        // then cheap because the texts are shared.
        for (size_t m = size_t(group.firstMember); m < entry.members.size(); ++m)
            result.rows.push_back(details[size_t(entry.members[m])].row);
    }
    return result;
}

} // namespace vorn::model
