#include "fieldreader.h"

#include "dbftable.h"
#include "tablelibrary.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace vorn::model {

QStringView TrimBlanks(QStringView text, Blanks blanks)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (end > begin && text[end - 1] == u' ')
        --end;
    if (blanks == Blanks::Both) {
        while (begin < end && text[begin] == u' ')
            ++begin;
    }
    return text.sliced(begin, end - begin);
}

quint64 RecordFingerprint(QByteArrayView bytes)
{
    return XXH3_64bits(bytes.data(), size_t(bytes.size()));
}

quint64 LayoutFingerprint(const store::DbfTable &table)
{
    QByteArray key;
    // The code page the fields were decoded in, not the driver byte: with a
    // byte of 0 it comes from a .cpg file or the settings, which may change
    // while the table's bytes stay.
    const int codePage = table.codePage();
    key.append(reinterpret_cast<const char *>(&codePage), sizeof codePage);
    for (int position = 1; position <= table.fieldCount(); ++position) {
        const store::FieldDescriptor &field = table.field(position);
        key.append(field.name).append('\0').append(char(field.type));
        key.append(reinterpret_cast<const char *>(&field.offset), sizeof field.offset);
        key.append(reinterpret_cast<const char *>(&field.length), sizeof field.length);
    }
    return RecordFingerprint(key);
}

quint64 RecordCopy::fingerprint() const
{
    return RecordFingerprint(bytes());
}

FieldReader::FieldReader(const store::DbfTable &table)
    : m_table(table)
    , m_fieldCount(table.fieldCount())
{
    for (int position = 1; position <= kStatusFinish && position <= m_fieldCount; ++position) {
        const store::FieldDescriptor &field = m_table.field(position);
        m_direct[position] = store::FieldTextIsPlain(field);
        m_spans[position] = {field.offset, field.length};
    }
}

bool FieldReader::allDirect() const
{
    for (int position = 1; position <= kStatusFinish && position <= m_fieldCount; ++position) {
        if (!m_direct[position])
            return false;
    }
    return true;
}

QString FieldReader::text(const RecordCopy &copy, int position, Blanks blanks) const
{
    if (position > m_fieldCount)
        return {};
    QByteArrayView bytes;
    if (asciiBytes(copy, position, blanks, &bytes))
        return QString::fromLatin1(bytes.data(), bytes.size());
    if (direct(position))
        return m_table.decode(TrimBlanks(rawField(copy, position), blanks));
    const QString whole = store::FieldText(m_table, copy.record(), position);
    const QStringView trimmed = TrimBlanks(QStringView(whole), blanks);
    return trimmed.size() == whole.size() ? whole : trimmed.toString();
}

qsizetype FieldReader::recordLength() const
{
    qsizetype length = 0;
    for (int position = 1; position <= m_fieldCount; ++position)
        length += m_table.field(position).length;
    return length;
}

} // namespace vorn::model
