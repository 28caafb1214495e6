#include "schedulexml.h"

#include "dbftable.h"
#include "fieldreader.h"

#include <algorithm>
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
void AppendScheduleXmlRow(QString &out, const FieldReader &reader, qint32 record,
                          XmlVariant variant)
{
    constexpr qsizetype elementCount = qsizetype(std::size(kElements));
    QByteArrayView bytes[elementCount];
    QString decoded[elementCount];   // used for fields that are not plain ASCII
    qsizetype length = kScheduleXmlRowTagsLength;
    for (qsizetype e = 0; e < elementCount; ++e) {
        const Element &element = kElements[e];
        if (!reader.asciiBytes(record, element.position, element.blanks, &bytes[e])) {
            decoded[e] = reader.text(record, element.position, element.blanks);
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

void AppendScheduleXmlRowUtf8(QByteArray &out, const FieldReader &reader, qint32 record,
                              XmlVariant variant)
{
    out.reserve(out.size() + kScheduleXmlRowTagsLength + reader.recordLength());
    out.append("<DataRow>");
    for (const Element &element : kElements) {
        out.append(element.open.data(), element.open.size());
        QByteArrayView bytes;
        bool empty = false;
        if (reader.asciiBytes(record, element.position, element.blanks, &bytes)) {
            appendAscii(out, bytes);
            empty = bytes.isEmpty();
        } else {
            const QString text = reader.text(record, element.position, element.blanks);
            out.append(BusSafeUtf8(text));
            empty = text.isEmpty();
        }
        if (empty && element.time && variant == XmlVariant::Refresh)
            out.append('0');
        out.append(element.close.data(), element.close.size());
    }
    out.append("</DataRow>");
}

void ScheduleXmlChanges::merge(ScheduleXmlChanges &&newer)
{
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

void ScheduleXmlRows::apply(ScheduleXmlChanges &&changes)
{
    const qint32 records = std::max(0, changes.records);
    for (qint32 gone = records; gone < qint32(m_rows.size()); ++gone)
        m_size -= m_rows[size_t(gone)].size();
    m_rows.resize(size_t(records));
    for (auto &[record, row] : changes.rows) {
        if (record < 1 || record > records)
            continue;
        QByteArray &slot = m_rows[size_t(record - 1)];
        m_size += row.size() - slot.size();
        slot = std::move(row);
    }
}

QByteArray ScheduleXmlRows::text() const
{
    QByteArray text;
    text.reserve(m_size);
    text.append(Head);
    for (const QByteArray &row : m_rows)
        text.append(row);
    text.append(Tail);
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
    for (qint32 record = 1; record <= count; ++record)
        AppendScheduleXmlRow(out, reader, record, variant);
    EndScheduleXml(out);
    return out;
}

} // namespace vorn::model
