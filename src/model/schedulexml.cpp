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
