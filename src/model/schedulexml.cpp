#include "schedulexml.h"

#include "dbftable.h"
#include "fieldreader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

using namespace Qt::StringLiterals;

namespace vorn::model {

namespace {

struct Element {
    int position;
    Blanks blanks;
    bool time;   // empty content becomes "0" in the refresh variant
    QLatin1StringView open;
    QLatin1StringView close;
};

constexpr Element kElements[] = {
    {kPart, Blanks::Trailing, false, "<Part>"_L1, "</Part>"_L1},
    {kProcess, Blanks::Both, false, "<Process>"_L1, "</Process>"_L1},
    {kMachine, Blanks::Trailing, false, "<Machine>"_L1, "</Machine>"_L1},
    {kOrder, Blanks::Trailing, false, "<Order>"_L1, "</Order>"_L1},
    {kStartP, Blanks::Both, true, "<StartP>"_L1, "</StartP>"_L1},
    {kFinishP, Blanks::Both, true, "<FinishP>"_L1, "</FinishP>"_L1},
    {kDurationP, Blanks::Both, true, "<DurationP>"_L1, "</DurationP>"_L1},
    {kStartA, Blanks::Both, true, "<StartA>"_L1, "</StartA>"_L1},
    {kFinishA, Blanks::Both, true, "<FinishA>"_L1, "</FinishA>"_L1},
    {kDurationA, Blanks::Both, true, "<DurationA>"_L1, "</DurationA>"_L1},
    {kStatusFinish, Blanks::Both, false, "<StatusFinish>"_L1, "</StatusFinish>"_L1},
};

} // namespace

// Per row, the contents are gathered first and the row is then written with
// one size check: piecewise QString::append calls cost more than the copying.
void AppendScheduleXmlRow(QString &out, const FieldReader &reader, const RecordCopy &copy,
                          XmlVariant variant)
{
    constexpr qsizetype elementCount = qsizetype(std::size(kElements));
    QByteArrayView bytes[elementCount];
    QString decoded[elementCount];   // used for fields that are not plain ASCII
    qsizetype length = kScheduleXmlRowTagsLength;
    for (qsizetype e = 0; e < elementCount; ++e) {
        const Element &element = kElements[e];
        if (!reader.asciiBytes(copy, element.position, element.blanks, &bytes[e])) {
            decoded[e] = reader.text(copy, element.position, element.blanks);
            bytes[e] = {};
        }
        length += bytes[e].size() + decoded[e].size() + 1;
    }

    const qsizetype start = out.size();
    if (out.capacity() < start + length)
        out.reserve(std::max(start + length, out.capacity() * 3 / 2));
    out.resize(start + length);
    QChar *p = out.data() + start;
    const auto put = [&p](QLatin1StringView text) {
        for (const char c : text)
            *p++ = QLatin1Char(c);
    };
    put("<DataRow>"_L1);
    for (qsizetype e = 0; e < elementCount; ++e) {
        const Element &element = kElements[e];
        put(element.open);
        if (!decoded[e].isEmpty()) {
            std::copy(decoded[e].cbegin(), decoded[e].cend(), p);
            p += decoded[e].size();
        } else if (!bytes[e].isEmpty()) {
            put(QLatin1StringView(bytes[e].data(), bytes[e].size()));
        } else if (element.time && variant == XmlVariant::Refresh) {
            *p++ = u'0';
        }
        put(element.close);
    }
    put("</DataRow>"_L1);
    out.resize(p - out.constData());
}

namespace {

const QByteArray ReplacementUtf8 = QByteArrayLiteral("\xEF\xBF\xBD");

bool isBusSafe(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == 0)
            return false;
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 == text.size() || !QChar::isLowSurrogate(text[i + 1].unicode()))
                return false;
            ++i;
        } else if (QChar::isLowSurrogate(c)) {
            return false;
        }
    }
    return true;
}

// Appends ASCII bytes, a NUL as U+FFFD.
void appendAscii(QByteArray &out, QByteArrayView bytes)
{
    qsizetype from = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\0')
            continue;
        out.append(bytes.sliced(from, i - from)).append(ReplacementUtf8);
        from = i + 1;
    }
    out.append(bytes.sliced(from));
}

} // namespace

QByteArray BusSafeUtf8(QStringView text)
{
    if (isBusSafe(text))
        return text.toUtf8();
    QString safe = text.toString();
    for (qsizetype i = 0; i < safe.size(); ++i) {
        const char16_t c = safe[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < safe.size() && QChar::isLowSurrogate(safe[i + 1].unicode()))
            ++i;
        else if (c == 0 || QChar::isSurrogate(c))
            safe[i] = QChar::ReplacementCharacter;
    }
    return safe.toUtf8();
}

namespace {

void appendLength(QByteArray &out, quint32 length)
{
    do {
        const char byte = char(length & 0x7f);
        length >>= 7;
        out.append(length ? char(byte | 0x80) : byte);
    } while (length);
}

quint32 readLength(const char *&p)
{
    quint32 length = 0;
    for (int shift = 0;; shift += 7) {
        const quint8 byte = quint8(*p++);
        length |= quint32(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            return length;
    }
}

} // namespace

void AppendScheduleXmlContents(QByteArray &out, const FieldReader &reader, const RecordCopy &copy)
{
    QByteArray content;
    for (const Element &element : kElements) {
        content.clear();
        QByteArrayView bytes;
        if (reader.asciiBytes(copy, element.position, element.blanks, &bytes))
            appendAscii(content, bytes);
        else
            content = BusSafeUtf8(reader.text(copy, element.position, element.blanks));
        if (content.isEmpty() && element.time)
            content = QByteArrayLiteral("0");
        appendLength(out, quint32(content.size()));
        out.append(content);
    }
}

void ScheduleXmlChanges::merge(ScheduleXmlChanges &&newer)
{
    if (!newer.readAllFrom.isEmpty()) {
        // Every row is read again: nothing older survives it.
        *this = std::move(newer);
        return;
    }
    std::vector<std::pair<qint32, QByteArray>> merged;
    merged.reserve(rows.size() + newer.rows.size());
    auto older = rows.begin();
    for (auto &row : newer.rows) {
        for (; older != rows.end() && older->first < row.first; ++older) {
            if (older->first <= newer.records)
                merged.push_back(std::move(*older));
        }
        if (older != rows.end() && older->first == row.first)
            ++older;
        merged.push_back(std::move(row));
    }
    for (; older != rows.end(); ++older) {
        if (older->first <= newer.records)
            merged.push_back(std::move(*older));
    }
    rows = std::move(merged);
    records = newer.records;
}

namespace {

constexpr QByteArrayView kHead{"<DataView><DataTable>"};
constexpr QByteArrayView kTail{"</DataTable></DataView>"};

// Bytes of the text a row's contents give: the tags and the contents.
qint64 rowTextSize(const char *contents, quint32 size)
{
    const char *p = contents;
    const char *const end = contents + size;
    qint64 text = kScheduleXmlRowTagsLength;
    while (p < end) {
        const quint32 length = readLength(p);
        text += length;
        p += length;
    }
    return text;
}

} // namespace

bool ScheduleXmlRows::readAll(const ScheduleXmlChanges &changes, std::vector<quint64> *readBack)
{
    m_rows.clear();
    m_contents.clear();
    m_garbage = 0;
    m_textSize = kHead.size() + kTail.size();
    m_whole = false;
    store::DbfTable opened;
    const store::DbfTable *shared = changes.readAllTable.get();
    if ((!shared || !shared->isOpen()) && opened.open(changes.readAllFrom).failed())
        return false;
    const store::DbfTable &table = shared && shared->isOpen() ? *shared : opened;
    const qint32 records = changes.records;
    const FieldReader reader(table);
    // A memo's contents live outside the record, and reading one may need
    // the window's thread; a table of another layout reads other fields.
    if (!reader.allDirect() || LayoutFingerprint(table) != changes.layout)
        return false;
    if (readBack)
        readBack->resize(size_t(std::max(0, records)));
    m_rows.resize(size_t(std::max(0, records)));
    QByteArray row;
    RecordCopy copy;
    for (qint32 record = 1; record <= records; ++record) {
        // The row and its fingerprint from one copy: a record the manager
        // rewrites meanwhile is sent as it was at the copy, and the tick
        // that finds other bytes sends it again.
        copy.take(table, record);
        row.clear();
        AppendScheduleXmlContents(row, reader, copy);
        if (readBack)
            (*readBack)[size_t(record - 1)] = copy.fingerprint();
        m_rows[size_t(record - 1)] = {quint32(m_contents.size()), quint32(row.size())};
        m_contents.insert(m_contents.end(), row.cbegin(), row.cend());
        m_textSize += rowTextSize(row.constData(), quint32(row.size()));
    }
    m_whole = true;
    return true;
}

bool ScheduleXmlRows::apply(ScheduleXmlChanges &&changes, std::vector<quint64> *readBack)
{
    if (!changes.readAllFrom.isEmpty()) {
        const bool read = readAll(changes, readBack);
        changes.readAllTable.reset();   // its pages go as soon as they are read
        if (!read)
            return false;
    }
    const qint32 records = std::max(0, changes.records);
    if (m_rows.empty())
        m_textSize = kHead.size() + kTail.size();
    for (qint32 gone = records; gone < qint32(m_rows.size()); ++gone) {
        const Row &row = m_rows[size_t(gone)];
        m_textSize -= row.size ? rowTextSize(m_contents.data() + row.offset, row.size) : 0;
        m_garbage += row.size;
    }
    m_rows.resize(size_t(records));
    for (const auto &[record, contents] : changes.rows) {
        if (record < 1 || record > records)
            continue;
        Row &row = m_rows[size_t(record - 1)];
        if (row.size) {
            m_textSize -= rowTextSize(m_contents.data() + row.offset, row.size);
            m_garbage += row.size;
        }
        row.offset = quint32(m_contents.size());
        row.size = quint32(contents.size());
        m_contents.insert(m_contents.end(), contents.cbegin(), contents.cend());
        m_textSize += rowTextSize(contents.constData(), row.size);
    }
    changes.rows.clear();
    // Rows replaced leave their old contents behind; once they are a third
    // of the buffer, the live ones move up over them.
    if (m_garbage > qint64(m_contents.size()) / 3)
        compact();
    return m_whole;
}

void ScheduleXmlRows::compact()
{
    std::vector<qint32> order(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = qint32(i);
    std::sort(order.begin(), order.end(), [this](qint32 a, qint32 b) { return m_rows[size_t(a)].offset < m_rows[size_t(b)].offset; });
    // In offset order every row moves down or stays, never over a row not yet moved.
    quint32 to = 0;
    for (const qint32 index : order) {
        Row &row = m_rows[size_t(index)];
        if (row.size == 0)
            continue;
        std::memmove(m_contents.data() + to, m_contents.data() + row.offset, row.size);
        row.offset = to;
        to += row.size;
    }
    m_contents.resize(to);
    m_garbage = 0;
}

bool ScheduleXmlRows::write(const std::function<bool(QByteArrayView)> &write, qsizetype chunk) const
{
    // Tags are copied 16 bytes at a time (none is longer) and short contents
    // likewise; the buffer keeps room for the overshoot of one element.
    constexpr qsizetype Room = 64;
    std::vector<char> buffer(size_t(std::max<qsizetype>(chunk, 1024) + Room));
    char *out = buffer.data();
    const auto left = [&] { return qsizetype(buffer.size()) - (out - buffer.data()); };
    const auto flush = [&] {
        const bool ok = out == buffer.data() || write(QByteArrayView(buffer.data(), out - buffer.data()));
        out = buffer.data();
        return ok;
    };
    const auto put16 = [&out](const char *from, qsizetype length) {
        for (qsizetype done = 0; done < length; done += 16)
            std::memcpy(out + done, from + done, 16);
        out += length;
    };
    struct Tag {
        char text[16];
        qsizetype size;
    };
    static const auto tags = [] {
        std::array<Tag, 2 * std::size(kElements) + 2> all{};
        const auto set = [](Tag &tag, QLatin1StringView text) {
            std::memcpy(tag.text, text.data(), size_t(text.size()));
            tag.size = text.size();
        };
        set(all[0], QLatin1StringView("<DataRow>"));
        set(all[1], QLatin1StringView("</DataRow>"));
        for (size_t e = 0; e < std::size(kElements); ++e) {
            set(all[2 + 2 * e], kElements[e].open);
            set(all[3 + 2 * e], kElements[e].close);
        }
        return all;
    }();
    const char *const contentsEnd = m_contents.data() + m_contents.size();

    std::memcpy(out, kHead.data(), size_t(kHead.size()));
    out += kHead.size();
    for (const Row &row : m_rows) {
        put16(tags[0].text, tags[0].size);
        const char *p = m_contents.data() + row.offset;
        for (size_t e = 0; e < std::size(kElements); ++e) {
            const quint32 length = row.size ? readLength(p) : 0;
            if (left() < Room + qsizetype(length) && !flush())
                return false;
            put16(tags[2 + 2 * e].text, tags[2 + 2 * e].size);
            if (length > 16 || p + 16 > contentsEnd) {
                if (left() < Room + qsizetype(length)) {
                    // Longer than the buffer: straight from the contents.
                    if (!flush() || !write(QByteArrayView(p, length)))
                        return false;
                } else {
                    std::memcpy(out, p, length);
                    out += length;
                }
            } else {
                put16(p, length);
            }
            p += length;
            put16(tags[3 + 2 * e].text, tags[3 + 2 * e].size);
        }
        put16(tags[1].text, tags[1].size);
        // Below chunk, the buffer still has more than Room left for the next row or the tail.
        if (out - buffer.data() >= chunk && !flush())
            return false;
    }
    std::memcpy(out, kTail.data(), size_t(kTail.size()));
    out += kTail.size();
    return flush();
}

QByteArray ScheduleXmlRows::text() const
{
    QByteArray text;
    text.reserve(m_textSize);
    write([&text](QByteArrayView piece) {
        text.append(piece);
        return true;
    });
    return text;
}

void BeginScheduleXml(QString &out, const FieldReader &reader, qint32 records)
{
    out.clear();
    const qsizetype perRecord = kScheduleXmlRowTagsLength + reader.recordLength();
    out.reserve(kScheduleXmlFrameLength + qsizetype(records) * perRecord);
    out.append("<DataView><DataTable>"_L1);
}

void EndScheduleXml(QString &out)
{
    out.append("</DataTable></DataView>"_L1);
}

QString BuildScheduleXml(const store::DbfTable &table, XmlVariant variant)
{
    const qint32 count = table.recordCount();
    QString out;
    if (count == 0 && variant == XmlVariant::Refresh)
        return out;
    const FieldReader reader(table);
    BeginScheduleXml(out, reader, count);
    RecordCopy copy;
    for (qint32 record = 1; record <= count; ++record) {
        copy.take(table, record);
        AppendScheduleXmlRow(out, reader, copy, variant);
    }
    EndScheduleXml(out);
    return out;
}

} // namespace vorn::model
