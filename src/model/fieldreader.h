#pragma once

#include "dbftable.h"

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

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

// Reads the fields of schedule records the way every pass of the program does
// (the store's FieldText, then blank removal), but without a heap allocation
// per field where it can: ordinary fields of pure ASCII are taken straight from
// the record bytes; memo and overlong fields, and bytes that need the table's
// code page, go through FieldText and the table's decoder.
class FieldReader {
public:
    explicit FieldReader(const store::DbfTable &table);

    // The field as text, blanks removed.
    QString text(qint32 record, int position, Blanks blanks) const;

    // Appends the field as text, blanks removed; returns whether it was empty.
    bool append(QString &out, qint32 record, int position, Blanks blanks) const;

    // The field's bytes, blanks removed, when they are plain ASCII in an
    // ordinary field; otherwise false and the caller must use text().
    bool asciiBytes(qint32 record, int position, Blanks blanks, QByteArrayView *bytes) const
    {
        if (!direct(position))
            return false;
        const QByteArrayView trimmed = TrimBlanks(rawField(record, position), blanks);
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
    bool rawBytes(qint32 record, int position, QByteArrayView *bytes) const
    {
        if (!direct(position))
            return false;
        *bytes = rawField(record, position);
        return true;
    }

    // Whether every schedule field there is can be read straight from the
    // record bytes, so that nothing needs the store's message box.
    bool allDirect() const;

    // Sum of the field lengths: a size hint for text built from whole records.
    qsizetype recordLength() const;

private:
    bool direct(int position) const
    {
        return position >= 1 && position <= kStatusFinish && m_direct[position];
    }
    QByteArrayView rawField(qint32 record, int position) const
    {
        return m_table.rawField(record, position);
    }

    const store::DbfTable &m_table;
    int m_fieldCount = 0;
    // Positions 1..11 that can be read straight from the record bytes.
    bool m_direct[kStatusFinish + 1] = {};
};


} // namespace vorn::model
