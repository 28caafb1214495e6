#include "schedulerows.h"

#include "dbftable.h"
#include "fieldreader.h"
#include "schedulexml.h"
#include "secondstext.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace vorn::model {

namespace {

// Every record with one exact group key, chained through the pass's `next` array.
struct KeyEntry {
    QString key;
    bool grouped = false;   // false: the key was already seen through another key
    bool separated = false; // holds "|", so it is never seen: each record opens a group
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
};

// The time texts of one pass, one QString per distinct value, each a kept
// text (KeptSecondsText): copying one into a cell then touches nothing but
// the cell. The seconds of one day and a half index a table directly; zero
// and values beyond the 92-hour limit are empty and never stored.
class TimeTexts {
public:
    QString text(qint64 value)
    {
        if (value == 0 || !SecondsTextFits(value))
            return {};
        const qint32 seconds = qint32(value);
        qint32 *slot = nullptr;
        if (seconds > 0 && seconds < kDirect) {
            if (m_direct.empty())
                m_direct.resize(kDirect, -1);
            slot = &m_direct[size_t(seconds)];
        } else {
            slot = &m_other.try_emplace(seconds, -1).first->second;
        }
        if (*slot < 0) {
            *slot = qint32(m_texts.size());
            m_texts.push_back(KeptSecondsText(seconds));
        }
        return m_texts[size_t(*slot)];
    }

private:
    static constexpr qint32 kDirect = 1 << 17;
    // Indexes into m_texts, -1 when not made yet: small enough for every
    // fill, however few its rows.
    std::vector<qint32> m_direct;
    std::unordered_map<qint32, qint32> m_other;   // the same for the other values
    std::vector<QString> m_texts;
};

// One time field as read from its plain bytes: its kind and, when numeric,
// its whole seconds; nothing when the bytes need the table's code page.
std::optional<SecondsField> readPlainSeconds(const FieldReader &reader, const RecordCopy &copy, int position)
{
    // Nearly every time field is blank padding, an optional minus, up to nine
    // digits and blank padding; one look at the stored bytes settles those.
    QByteArrayView raw;
    if (reader.rawBytes(copy, position, &raw)) {
        const char *p = raw.data();
        const char *const end = p + raw.size();
        while (p < end && *p == ' ')
            ++p;
        if (p == end)
            return SecondsField{};   // blank: the empty text
        const bool negative = *p == '-';
        p += negative;
        const char *const digits = p;
        qint32 value = 0;
        while (p < end && p - digits < 9 && unsigned(*p - '0') <= 9u)
            value = value * 10 + (*p++ - '0');
        const char *const digitsEnd = p;
        while (p < end && *p == ' ')
            ++p;
        if (p == end && digitsEnd != digits)
            return SecondsField{SecondsField::Value, negative ? -value : value};
    }
    QByteArrayView bytes;
    if (reader.asciiBytes(copy, position, Blanks::Trailing, &bytes))
        return ReadSecondsField(bytes);
    return std::nullopt;
}

SecondsField readSeconds(const FieldReader &reader, const RecordCopy &copy, int position)
{
    if (const std::optional<SecondsField> plain = readPlainSeconds(reader, copy, position))
        return *plain;
    return ReadSecondsField(QStringView(reader.text(copy, position, Blanks::Trailing)));
}

// Byte texts and the index each was given. Every text is stored once, in
// blocks that never move, so the table keeps views of them and a pass of a
// million records allocates nothing per distinct text.
class ByteIndex {
public:
    // The index given to `bytes`, or -1.
    qint32 find(QByteArrayView bytes) const { return m_indexes.value(bytes, -1); }
    // Gives `bytes`, which has none yet, `index`.
    void insert(QByteArrayView bytes, qint32 index) { m_indexes.insert(keep(bytes), index); }

private:
    QByteArrayView keep(QByteArrayView bytes)
    {
        const qsizetype size = bytes.size();
        if (m_blocks.empty() || m_used + size > BlockSize) {
            m_blocks.push_back(std::make_unique<char[]>(size_t(std::max(size, BlockSize))));
            m_used = 0;
        }
        char *at = m_blocks.back().get() + m_used;
        std::copy(bytes.begin(), bytes.end(), at);
        m_used += size;
        return QByteArrayView(at, size);
    }

    static constexpr qsizetype BlockSize = 1 << 16;
    QHash<QByteArrayView, qint32> m_indexes;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    qsizetype m_used = 0;
};

// Labels of detail rows, one QString per distinct ASCII text: a pass holds
// as many detail rows as records but only as many labels as machines or parts.
// Labels are handed out as indexes, so that the first pass can note them.
class LabelTexts {
public:
    qint32 index(QByteArrayView ascii)
    {
        qint32 found = m_indexes.find(ascii);
        if (found < 0) {
            found = qint32(m_texts.size());
            m_indexes.insert(ascii, found);
            m_texts.push_back(ascii.empty() ? QString() : QString::fromLatin1(ascii));
        }
        return found;
    }
    // A label that is not ASCII is kept as it is, unshared: such tables are rare.
    qint32 add(QString text)
    {
        m_texts.push_back(std::move(text));
        return qint32(m_texts.size() - 1);
    }
    const QString &text(qint32 index) const { return m_texts[size_t(index)]; }

private:
    ByteIndex m_indexes;
    std::vector<QString> m_texts;
};

// What the second pass needs of a record that belongs to a group, gathered in
// the first, which reads the table in order: the second follows the groups
// and would otherwise jump about the whole table.
struct Detail {
    SecondsField times[6];    // StartP .. DurationA
    qint32 label = 0;         // in LabelTexts
};

// Group keys are remembered as the pieces between "|" separators of all keys
// placed so far, blanks removed; a key counts as seen when it equals one such
// piece. A key holding "|" can therefore never be seen.
//
// Asked only about keys never placed. While every key placed and asked about
// is plain (no "|", no blank at either end), each piece is a whole key placed,
// so no key asked about is seen, and the pieces are only gathered once some
// key is not plain: a table of a hundred thousand parts never needs them.
class SeenKeys {
public:
    void add(const QString &key)
    {
        if (m_plainOnly && plain(key)) {
            m_placed.push_back(key);
            return;
        }
        gather();
        addPieces(key);
    }
    bool contains(const QString &key)
    {
        if (m_plainOnly && plain(key))
            return false;
        gather();
        if (key.contains(u'|'))
            return false;
        const QStringView trimmed = TrimBlanks(QStringView(key), Blanks::Both);
        return trimmed.size() == key.size() ? m_pieces.contains(key)
                                            : m_pieces.contains(trimmed.toString());
    }

private:
    static bool plain(const QString &key)
    {
        return !key.contains(u'|') && TrimBlanks(QStringView(key), Blanks::Both).size() == key.size();
    }
    void gather()
    {
        if (!m_plainOnly)
            return;
        m_plainOnly = false;
        for (const QString &key : m_placed)
            addPieces(key);
        m_placed = {};
    }
    void addPieces(const QString &key)
    {
        for (const QStringView piece : QStringView(key).tokenize(u'|'))
            m_pieces.insert(TrimBlanks(piece, Blanks::Both).toString());
    }

    bool m_plainOnly = true;
    std::vector<QString> m_placed;   // while plain only
    QSet<QString> m_pieces;
};

// The one rule of a part's label, for decoded text (QString, QStringView)
// and for the ASCII bytes of the lookups (std::string, QByteArrayView) alike.
template <typename Out, typename View>
void appendPartLabel(Out &out, View part, View order)
{
    using Char = typename Out::value_type;
    out.append(part.data(), part.size());
    if (order.isEmpty())
        return;
    out.push_back(Char('('));
    out.append(order.data(), order.size());
    out.push_back(Char(')'));
}

// The label of a record whose part or order is not plain ASCII.
QString decodedPartLabel(const FieldReader &reader, const RecordCopy &copy)
{
    return PartLabel(reader.text(copy, kPart, Blanks::Trailing), reader.text(copy, kOrder, Blanks::Trailing));
}

} // namespace

QString PartLabel(const QString &part, const QString &order)
{
    QString label;
    label.reserve(part.size() + order.size() + 2);
    appendPartLabel(label, QStringView(part), QStringView(order));
    return label;
}

namespace {

// The label of a detail row, the record's other key, from plain ASCII
// bytes; -1 when the key needs the table's code page.
qint32 plainDetailLabel(const FieldReader &reader, const RecordCopy &copy, qint16 sortOrder, LabelTexts &labels,
                        std::string &bytes)
{
    if (sortOrder == kSortByPart) {
        QByteArrayView machine;
        if (!reader.asciiBytes(copy, kMachine, Blanks::Trailing, &machine))
            return -1;
        return labels.index(machine);
    }
    QByteArrayView part;
    QByteArrayView order;
    if (!reader.asciiBytes(copy, kPart, Blanks::Trailing, &part)
        || !reader.asciiBytes(copy, kOrder, Blanks::Trailing, &order)) {
        return -1;
    }
    bytes.clear();
    appendPartLabel(bytes, part, order);
    return labels.index(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

qint32 detailLabel(const FieldReader &reader, const RecordCopy &copy, qint16 sortOrder, LabelTexts &labels,
                   std::string &bytes)
{
    const qint32 plain = plainDetailLabel(reader, copy, sortOrder, labels, bytes);
    if (plain >= 0)
        return plain;
    return labels.add(sortOrder == kSortByPart ? reader.text(copy, kMachine, Blanks::Trailing)
                                               : decodedPartLabel(reader, copy));
}

// What the first pass notes of every record besides its group key: its
// fingerprint and what its detail row shows, both from one copy of it. Only
// plain bytes are read here, so that a large table's records can be read on
// a thread of their own while the caller groups them; the records whose
// fields need the table's code page are returned, for the caller's thread,
// which alone may decode, and which copies them again.
std::vector<qint32> readDetails(const store::DbfTable &table, const FieldReader &reader, qint16 sortOrder,
                                std::vector<Detail> &details, std::vector<quint64> *fingerprints,
                                LabelTexts &labels)
{
    const qint32 count = table.recordCount();
    details.resize(size_t(count) + 1);
    if (fingerprints)
        fingerprints->resize(size_t(count));
    std::vector<qint32> left;
    std::string bytes;
    RecordCopy copy;
    for (qint32 record = 1; record <= count; ++record) {
        copy.take(table, record);
        if (fingerprints)
            (*fingerprints)[size_t(record - 1)] = copy.fingerprint();
        Detail &detail = details[size_t(record)];
        detail.label = plainDetailLabel(reader, copy, sortOrder, labels, bytes);
        bool plain = detail.label >= 0;
        for (int i = 0; plain && i < 6; ++i) {
            const std::optional<SecondsField> field = readPlainSeconds(reader, copy, kStartP + i);
            plain = field.has_value();
            if (plain)
                detail.times[i] = *field;
        }
        if (!plain)
            left.push_back(record);
    }
    return left;
}

// Runs readDetails beside the caller, on a thread of its own, for a table
// large enough to be worth one; otherwise, or when no thread can be had, at
// once on the caller's.
class DetailReading {
public:
    DetailReading(const store::DbfTable &table, const FieldReader &reader, qint16 sortOrder,
                  std::vector<Detail> &details, std::vector<quint64> *fingerprints, LabelTexts &labels)
    {
        const auto read = [&table, &reader, sortOrder, &details, fingerprints, &labels, this] {
            std::vector<qint32> left = readDetails(table, reader, sortOrder, details, fingerprints, labels);
            const std::lock_guard lock(m_mutex);
            m_left = std::move(left);
            m_done = true;
            m_finished.notify_all();
        };
        constexpr qint32 besideFrom = 16384;
        if (table.recordCount() >= besideFrom) {
            try {
                m_thread = std::thread(read);
                return;
            } catch (const std::system_error &) {
            }
        }
        read();
    }
    DetailReading(const DetailReading &) = delete;
    DetailReading &operator=(const DetailReading &) = delete;
    ~DetailReading()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    // Waits for the reading to end, calling `pause` now and then meanwhile;
    // returns the records left for the caller.
    std::vector<qint32> finish(const std::function<void()> &pause)
    {
        std::unique_lock lock(m_mutex);
        while (!m_finished.wait_for(lock, std::chrono::milliseconds(10), [this] { return m_done; })) {
            if (pause) {
                lock.unlock();
                pause();
                lock.lock();
            }
        }
        lock.unlock();
        if (m_thread.joinable())
            m_thread.join();
        return std::move(m_left);
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_done = false;
    std::vector<qint32> m_left;
    std::thread m_thread;
};

// The group key of a record as lookup bytes: an ASCII key as it is, any
// other key as its UTF-16 code units behind a 0xFF byte, which no ASCII key
// holds. Returns false when the key had to be decoded, into *text.
bool groupKeyBytes(const FieldReader &reader, const RecordCopy &copy, qint16 sortOrder, std::string &bytes,
                   QString *text)
{
    bytes.clear();
    if (sortOrder == kSortByPart) {
        QByteArrayView part;
        QByteArrayView order;
        if (reader.asciiBytes(copy, kPart, Blanks::Trailing, &part)
            && reader.asciiBytes(copy, kOrder, Blanks::Trailing, &order)) {
            appendPartLabel(bytes, part, order);
            return true;
        }
        *text = decodedPartLabel(reader, copy);
    } else {
        QByteArrayView machine;
        if (reader.asciiBytes(copy, kMachine, Blanks::Trailing, &machine)) {
            bytes.append(machine.data(), size_t(machine.size()));
            return true;
        }
        *text = reader.text(copy, kMachine, Blanks::Trailing);
    }
    const char16_t *units = reinterpret_cast<const char16_t *>(text->utf16());
    const qsizetype size = text->size();
    if (std::all_of(units, units + size, [](char16_t c) { return c < 0x80; })) {
        for (qsizetype i = 0; i < size; ++i)
            bytes.push_back(char(units[i]));
        return true;
    }
    bytes.push_back('\xff');
    bytes.append(reinterpret_cast<const char *>(units), size_t(size) * sizeof(char16_t));
    return false;
}

} // namespace

// The table is read once, in record order: the first pass sorts every record
// into the chain of its exact key and opens a group where a key first appears
// unseen, while what each record's detail row needs is noted beside it, on a
// thread of its own for a large table; the second walks the groups in that
// order and builds each row exactly once from the notes, straight into the
// result.
FillResult BuildScheduleRows(const store::DbfTable &table, qint16 sortOrder, QString *xml, const FillSink &sink)
{
    FillResult result;
    const qint32 count = table.recordCount();
    result.recordCount = count;
    const bool grouping = sortOrder == kSortByPart || sortOrder == kSortByMachine;
    if (!grouping && !xml)
        return result;

    const FieldReader reader(table);
    if (xml)
        BeginScheduleXml(*xml, reader, count);
    ByteIndex entryOfKey;
    std::vector<KeyEntry> entries;
    std::vector<Group> groups;
    std::vector<qint32> next;   // next record of the same key, 0 at the end
    SeenKeys seen;
    std::string keyBytes;       // reused: only a new key is copied into the map
    std::string lastKeyBytes;   // the key of the record before, and its entry
    qint32 lastEntry = -1;
    QString keyText;            // the key, when it is not ASCII
    std::vector<Detail> details;
    LabelTexts labels;
    // Taken of the copy the record's detail fields are read from: the next
    // tick then finds every record whose bytes differ from what the row shows.
    result.fingerprinted = grouping && reader.allDirect();
    std::optional<DetailReading> reading;
    if (grouping) {
        next.assign(size_t(count) + 1, 0);
        reading.emplace(table, reader, sortOrder, details,
                        result.fingerprinted ? &result.fingerprints : nullptr, labels);
    }

    // How many records or rows pass between two pauses.
    constexpr qint32 pauseEvery = 8192;
    RecordCopy copy;   // this thread's: the key and the XML row from one read
    for (qint32 record = 1; record <= count; ++record) {
        if (sink.pause && record % pauseEvery == 0)
            sink.pause();
        copy.take(table, record);
        if (xml)
            AppendScheduleXmlRow(*xml, reader, copy, XmlVariant::Fill);
        if (!grouping)
            continue;

        const bool ascii = groupKeyBytes(reader, copy, sortOrder, keyBytes, &keyText);
        if (keyBytes.empty())
            continue;

        // Records of one key mostly stand together: the key of the record
        // before needs no lookup.
        const QByteArrayView key(keyBytes.data(), qsizetype(keyBytes.size()));
        qint32 entryIndex = lastEntry >= 0 && keyBytes == lastKeyBytes ? lastEntry : entryOfKey.find(key);
        if (entryIndex < 0) {
            entryIndex = qint32(entries.size());
            const QString text = ascii ? QString::fromLatin1(key) : keyText;
            const bool grouped = !seen.contains(text);
            if (grouped)
                seen.add(text);
            entryOfKey.insert(key, entryIndex);
            entries.push_back({text, grouped, text.contains(u'|'), 0, 0, 0});
        }
        if (entryIndex != lastEntry) {
            lastEntry = entryIndex;
            lastKeyBytes = keyBytes;
        }
        const KeyEntry &placed = entries[size_t(entryIndex)];
        if (!placed.grouped)
            continue;
        if (placed.count == 0)
            groups.push_back({entryIndex, record, 0});
        else if (placed.separated)
            groups.push_back({entryIndex, record, placed.count});
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
    if (reading) {
        std::string labelBytes;
        for (const qint32 record : reading->finish(sink.pause)) {
            // Read again, later: the fingerprint follows this copy.
            copy.take(table, record);
            if (result.fingerprinted)
                result.fingerprints[size_t(record - 1)] = copy.fingerprint();
            Detail &detail = details[size_t(record)];
            detail.label = detailLabel(reader, copy, sortOrder, labels, labelBytes);
            for (int i = 0; i < 6; ++i)
                detail.times[i] = readSeconds(reader, copy, kStartP + i);
        }
    }

    size_t rowCount = groups.size();
    for (const Group &group : groups)
        rowCount += size_t(entries[size_t(group.entry)].count - group.ordinal);
    result.groupCount = qint32(groups.size());
    std::vector<ScheduleRow> &kept = result.rows;
    const auto handOver = [&sink, &kept](ScheduleRow &&row) {
        if (sink.row)
            sink.row(std::move(row));
        else
            kept.push_back(std::move(row));
    };
    if (sink.row) {
        if (sink.begin)
            sink.begin(rowCount);
    } else {
        kept.reserve(rowCount);
    }

    TimeTexts times;
    size_t made = 0;
    for (const Group &group : groups) {
        // The group row goes first but shows what its details sum up to, so
        // its chain is walked twice: the numbers first, then the rows.
        Aggregates aggregates;
        for (qint32 record = group.record; record != 0; record = next[size_t(record)]) {
            const SecondsField *read = details[size_t(record)].times;
            Aggregates::earliest(aggregates.startP, read[0].number());
            Aggregates::latest(aggregates.finishP, read[1].number());
            Aggregates::earliest(aggregates.startA, read[3].number());
            Aggregates::latest(aggregates.finishA, read[4].number());
        }
        ScheduleRow groupRow{entries[size_t(group.entry)].key, 0, group.record, {}};
        // A summary value beyond the 92-hour limit leaves its cell empty, as a detail cell.
        std::array<QString, 6> &cells = groupRow.times;
        cells[0] = times.text(aggregates.startP);
        cells[1] = times.text(aggregates.finishP);
        cells[2] = times.text(qint64(aggregates.finishP) - aggregates.startP);
        cells[3] = times.text(aggregates.startA);
        cells[4] = times.text(aggregates.finishA);
        cells[5] = times.text(qint64(aggregates.finishA) - aggregates.startA);
        if (!cells[0].isEmpty() && aggregates.startP > 0
            && (result.earliestPlannedStart < 0 || aggregates.startP < result.earliestPlannedStart))
            result.earliestPlannedStart = aggregates.startP;
        handOver(std::move(groupRow));

        for (qint32 record = group.record; record != 0; record = next[size_t(record)]) {
            const Detail &detail = details[size_t(record)];
            ScheduleRow row;
            row.label = labels.text(detail.label);
            row.level = 1;
            row.record = record;
            for (int i = 0; i < 6; ++i) {
                const std::optional<qint32> seconds = detail.times[i].number();
                if (!seconds)
                    continue;
                row.times[size_t(i)] = times.text(*seconds);
                // Group rows show some of these values again, never others.
                if (i != 2 && i != 5 && !row.times[size_t(i)].isEmpty()) {
                    result.earliestShown = std::min(result.earliestShown, *seconds);
                    result.latestShown = std::max(result.latestShown, *seconds);
                }
            }
            std::copy(std::begin(detail.times), std::end(detail.times), row.fields.begin());
            handOver(std::move(row));
            if (sink.pause && ++made % pauseEvery == 0)
                sink.pause();
        }
    }
    return result;
}

} // namespace vorn::model
