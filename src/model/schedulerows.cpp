#include "schedulerows.h"

#include "dbftable.h"
#include "fieldreader.h"
#include "schedulexml.h"
#include "secondstext.h"

#include <QHash>
#include <QSet>

#include <string>
#include <string_view>
#include <unordered_map>

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

// The whole seconds of one time field, when numeric.
std::optional<qint32> readSeconds(const FieldReader &reader, qint32 record, int position)
{
    QByteArrayView bytes;
    if (reader.asciiBytes(record, position, Blanks::Trailing, &bytes))
        return SecondsValue(bytes);
    return SecondsValue(QStringView(reader.text(record, position, Blanks::Trailing)));
}

// The time texts of one pass, one QString per distinct value. QString has no
// small-string storage, so without sharing every non-empty cell of a fill
// costs an allocation, and a schedule repeats its values a lot (durations
// above all). Open addressing on the value; zero and values beyond the
// 92-hour limit are empty and never stored.
class TimeTexts {
public:
    TimeTexts() { m_slots.resize(size_t(1) << m_bits); }

    QString text(qint32 seconds)
    {
        if (seconds == 0 || seconds >= kSecondsTextLimit || seconds <= -kSecondsTextLimit)
            return {};
        for (size_t i = slotOf(seconds);; i = (i + 1) & mask()) {
            Slot &slot = m_slots[i];
            if (slot.text.isNull()) {
                QString text = SecondsTextOfValue(seconds);
                slot.seconds = seconds;
                slot.text = text;
                if (++m_used * 2 > m_slots.size())
                    grow();
                return text;
            }
            if (slot.seconds == seconds)
                return slot.text;
        }
    }

private:
    struct Slot {
        qint32 seconds = 0;
        QString text;   // null: free slot (a stored text is never empty)
    };

    size_t mask() const { return m_slots.size() - 1; }
    size_t slotOf(qint32 seconds) const
    {
        return size_t((quint32(seconds) * 0x9E3779B1u) >> (32 - m_bits));
    }
    void grow()
    {
        std::vector<Slot> old(size_t(1) << ++m_bits);
        old.swap(m_slots);
        for (Slot &slot : old) {
            if (slot.text.isNull())
                continue;
            size_t i = slotOf(slot.seconds);
            while (!m_slots[i].text.isNull())
                i = (i + 1) & mask();
            m_slots[i] = std::move(slot);
        }
    }

    int m_bits = 12;
    size_t m_used = 0;
    std::vector<Slot> m_slots;
};

// Labels of detail rows, one QString per distinct ASCII text: a pass holds
// as many detail rows as records but only as many labels as machines or parts.
class LabelTexts {
public:
    QString text(std::string_view ascii)
    {
        if (ascii.empty())
            return {};
        auto found = m_texts.find(ascii);
        if (found == m_texts.end())
            found = m_texts.emplace(std::string(ascii), QString::fromLatin1(ascii.data(), qsizetype(ascii.size()))).first;
        return found->second;
    }

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    std::unordered_map<std::string, QString, Hash, std::equal_to<>> m_texts;
};

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

// The label of a detail row: the record's other key, shared between rows.
QString detailLabel(const FieldReader &reader, qint32 record, qint16 sortOrder, LabelTexts &labels,
                    std::string &bytes)
{
    QByteArrayView machine;
    if (sortOrder == kSortByPart) {
        if (reader.asciiBytes(record, kMachine, Blanks::Trailing, &machine))
            return labels.text(std::string_view(machine.data(), size_t(machine.size())));
        return reader.text(record, kMachine, Blanks::Trailing);
    }
    QByteArrayView part;
    QByteArrayView order;
    if (!reader.asciiBytes(record, kPart, Blanks::Trailing, &part)
        || !reader.asciiBytes(record, kOrder, Blanks::Trailing, &order)) {
        return PartLabel(reader.text(record, kPart, Blanks::Trailing),
                         reader.text(record, kOrder, Blanks::Trailing));
    }
    bytes.assign(part.data(), size_t(part.size()));
    if (!order.isEmpty())
        bytes.append(1, '(').append(order.data(), size_t(order.size())).append(1, ')');
    return labels.text(bytes);
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

    TimeTexts times;
    LabelTexts labels;
    std::string labelBytes;
    for (const Group &group : groups) {
        const size_t groupRow = result.rows.size();
        result.rows.push_back({entries[size_t(group.entry)].key, 0, group.record, {}});
        Aggregates aggregates;
        for (qint32 record = group.record; record != 0; record = next[size_t(record)]) {
            ScheduleRow &row = result.rows.emplace_back();
            row.label = detailLabel(reader, record, sortOrder, labels, labelBytes);
            row.level = 1;
            row.record = record;
            std::optional<qint32> seconds[6];
            for (int i = 0; i < 6; ++i) {
                seconds[i] = readSeconds(reader, record, kStartP + i);
                if (seconds[i])
                    row.times[size_t(i)] = times.text(*seconds[i]);
            }
            Aggregates::earliest(aggregates.startP, seconds[0]);
            Aggregates::latest(aggregates.finishP, seconds[1]);
            Aggregates::earliest(aggregates.startA, seconds[3]);
            Aggregates::latest(aggregates.finishA, seconds[4]);
        }
        aggregates.writeTo(result.rows[groupRow].times);
    }
    return result;
}

} // namespace vorn::model
