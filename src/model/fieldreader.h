#pragma once

#include "dbftable.h"

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <cstring>
#include <vector>

namespace vorn::model {

// Field positions of a schedule record (1-based, as the table addresses them).
enum SchedulePosition : int {
    kPart = 1,
    kProcess = 2,
    kMachine = 3,
    kOrder = 4,
    kStartP = 5,
    kFinishP = 6,
    kDurationP = 7,
    kStartA = 8,
    kFinishA = 9,
    kDurationA = 10,
    kStatusFinish = 11,
};

enum class Blanks { Trailing, Both };

// Blank removal as the program does it: only the space character counts.
inline QByteArrayView TrimBlanks(QByteArrayView bytes, Blanks blanks)
{
    const char *begin = bytes.data();
    const char *end = begin + bytes.size();
    while (end > begin && end[-1] == ' ')
        --end;
    if (blanks == Blanks::Both) {
        while (begin < end && *begin == ' ')
            ++begin;
    }
    return QByteArrayView(begin, end - begin);
}

QStringView TrimBlanks(QStringView text, Blanks blanks);

// A 64-bit fingerprint of a record's bytes: two reads of a record with equal
// fingerprints found the same bytes (the odds of the contrary are 2^-64).
quint64 RecordFingerprint(QByteArrayView bytes);

// What reading a record's fields depends on besides its bytes: the field
// layout and the code page. Two opens with equal layout fingerprints read
// equal record bytes as equal fields.
quint64 LayoutFingerprint(const store::DbfTable &table);

// One record's bytes, copied out of the table at one moment into a buffer
// that is kept from record to record. The manager rewrites records while
// they are read: a fingerprint and fields taken from one copy always agree,
// so a record rewritten and written back between the two can never leave
// texts of the bytes in between behind a fingerprint of the bytes before.
class RecordCopy {
public:
    RecordCopy() = default;
    RecordCopy(const RecordCopy &) = delete;
    RecordCopy &operator=(const RecordCopy &) = delete;

    // Copies record `record` (1-based) as DbfTable::rawRecord shows it:
    // empty beyond the end, blanks when the file lost it since the open.
    void take(const store::DbfTable &table, qint32 record)
    {
        const QByteArrayView bytes = table.rawRecord(record);
        char *to = m_inline;
        if (bytes.size() > qsizetype(sizeof m_inline)) [[unlikely]] {
            // Longer than any schedule record: the buffer grows once and stays.
            if (m_heap.size() < size_t(bytes.size()))
                m_heap.resize(size_t(bytes.size()));
            to = m_heap.data();
        }
        if (!bytes.isEmpty())
            std::memcpy(to, bytes.data(), size_t(bytes.size()));
        m_bytes = to;
        m_size = bytes.size();
        m_record = record;
    }

    qint32 record() const { return m_record; }
    QByteArrayView bytes() const { return QByteArrayView(m_bytes, m_size); }
    // RecordFingerprint of the copy.
    quint64 fingerprint() const;

private:
    // The copy lives on the stack of whoever reads, so a pass allocates nothing for it.
    char m_inline[1024];
    std::vector<char> m_heap;
    const char *m_bytes = m_inline;
    qsizetype m_size = 0;
    qint32 m_record = 0;
};

// Reads the fields of schedule records the way every pass of the program does
// (the store's FieldText, then blank removal), but from a RecordCopy and
// without a heap allocation per field where it can: ordinary fields of pure
// ASCII are taken straight from the copied bytes; bytes that need the table's
// code page go through the table's decoder, and memo and overlong fields
// through FieldText, which reads the table itself (a memo lives outside the
// record anyway). A reader holds nothing per record: threads may share one,
// each with a copy of its own.
class FieldReader {
public:
    explicit FieldReader(const store::DbfTable &table);

    // The field as text, blanks removed.
    QString text(const RecordCopy &copy, int position, Blanks blanks) const;

    // The field's bytes, blanks removed, when they are plain ASCII in an
    // ordinary field; otherwise false and the caller must use text().
    bool asciiBytes(const RecordCopy &copy, int position, Blanks blanks, QByteArrayView *bytes) const
    {
        if (!direct(position))
            return false;
        const QByteArrayView trimmed = TrimBlanks(rawField(copy, position), blanks);
        unsigned char high = 0;
        for (const char c : trimmed)
            high |= static_cast<unsigned char>(c);
        if (high & 0x80)
            return false;
        *bytes = trimmed;
        return true;
    }

    // The field's bytes as stored, blank padding included, when the field is
    // an ordinary one; otherwise false and the caller must use text().
    bool rawBytes(const RecordCopy &copy, int position, QByteArrayView *bytes) const
    {
        if (!direct(position))
            return false;
        *bytes = rawField(copy, position);
        return true;
    }

    // Whether every schedule field there is can be read straight from the
    // record bytes, so that nothing needs the store's message box.
    bool allDirect() const;

    // Sum of the field lengths: a size hint for text built from whole records.
    qsizetype recordLength() const;

private:
    struct Span {
        int offset = 0;
        int length = 0;
    };
    bool direct(int position) const
    {
        return position >= 1 && position <= kStatusFinish && m_direct[position];
    }
    // Empty for a copy of a record beyond the end.
    QByteArrayView rawField(const RecordCopy &copy, int position) const
    {
        const Span span = m_spans[position];
        const QByteArrayView bytes = copy.bytes();
        if (bytes.size() < span.offset + span.length)
            return {};
        return bytes.sliced(span.offset, span.length);
    }

    const store::DbfTable &m_table;
    int m_fieldCount = 0;
    // Positions 1..11 that can be read straight from the record bytes, and where they lie.
    bool m_direct[kStatusFinish + 1] = {};
    Span m_spans[kStatusFinish + 1] = {};
};

} // namespace vorn::model
