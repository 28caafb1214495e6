#pragma once

#include "dbfheader.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace vorn::store {

class TableContext;

// The longest field content the program reads; a longer one is an error
// (FieldText's message), so no read needs more than one byte beyond it.
inline constexpr qsizetype MaxFieldText = 32767;

// A dBase III/IV (and FoxPro character-field) table read from a file that
// another process may be writing. No lock is taken. At open the file is
// mapped (or, where it cannot be, read into one reused buffer) and records
// are views into those bytes. The record count is fixed at open; through a
// mapping, a record the writer rewrites in place meanwhile shows its new
// bytes, and one it cuts off reads as blanks, wherever the cut falls. The
// first write takes a copy of the bytes, which from then on follows only this
// table's own writes.
//
// A failed operation leaves the object either the table it was before or
// closed, never half of each.
//
// Records and fields (record, rawRecord, rawField, isDeleted) may be read
// from several threads at once while nothing else uses the object; all else
// belongs to one thread.
class DbfTable {
public:
    DbfTable();
    ~DbfTable();
    DbfTable(DbfTable &&) noexcept;
    DbfTable &operator=(DbfTable &&) noexcept;

    // Opens path (with or without ".dbf"); the exact name first, then a
    // case-insensitive match in the same folder. A header that cannot be
    // trusted fails the open.
    Result open(const QString &path);
    // Reads a table from bytes in memory; it has no memo file and cannot be written.
    Result openBytes(QByteArrayView bytes);
    void close();
    bool isOpen() const;
    QString filePath() const;
    // A second table over the same mapped bytes, with the same records, for
    // another thread to read after this one is closed: a file the writer
    // replaces meanwhile does not change what it reads. Closed when this
    // table's bytes were read into memory (or written to) instead.
    DbfTable mappedView() const;

    // Records present: the header's count, clamped to the complete records in the file.
    qint32 recordCount() const;
    int fieldCount() const;
    const FieldDescriptor &field(int position) const;   // position 1..fieldCount()
    quint8 languageDriver() const;
    // The code page of the table's text and of text written into it
    // (TableCodePage, as the open found it); the ANSI code page when no table
    // is open.
    int codePage() const;

    class Record;
    // Record `number` (1-based), looked at for a cut once: a scan over many
    // fields of one record reads them from here. A record beyond the end has
    // no fields; one that the file lost after the open reads as blanks.
    // Like a field's view, it shows the bytes of the file as they are read,
    // so a cut made after it was taken shows through it: take it again to
    // look again. It lives until the table is closed or written.
    inline Record record(qint32 number) const;
    // Raw bytes of field `position` (1-based) of record `record` (1-based) as
    // stored, blank padding included. A record beyond the end reads as empty;
    // one that the file lost after the open reads as blanks. The view lives
    // until the table is closed or written.
    inline QByteArrayView rawField(qint32 record, int position) const;
    // Every byte of record `record` (1-based), deletion flag included; empty
    // beyond the end, blanks when the file lost it after the open (as
    // rawField). The view lives until the table is closed or written.
    QByteArrayView rawRecord(qint32 record) const
    {
        if (quint32(record - 1) >= quint32(m_records))
            return {};
        const char *bytes = m_firstRecord + qint64(record - 1) * m_recordLength;
        if (m_mapped && mayBeCut(bytes)) [[unlikely]]
            bytes = checkedRecord(record);
        return QByteArrayView(bytes, m_recordLength);
    }
    bool isDeleted(qint32 record) const;

    // Content of a field as the program sees it: memo fields resolved from the
    // .dbt/.fpt file, other fields their raw bytes; no trimming. A memo is
    // read no further than MaxFieldText + 1 bytes, enough to tell that it is
    // too long, however long the file says it is.
    QByteArray fieldContent(qint32 record, int position) const;
    QString decode(QByteArrayView bytes) const;
    QByteArray encode(const QString &text) const;

    // Writing (the file is rewritten in place). Values are given as text:
    // character fields are stored left-aligned and blank-padded, numbers
    // right-aligned (with the field's decimals when the text is a number),
    // dates as YYYYMMDD (from "YYYYMMDD" or "YYYY-MM-DD"), logicals as T/F.
    Result markDeleted(qint32 record);
    // Removes the records marked deleted, those appended by others since the
    // open included. Records move front to back, each hidden by its deletion
    // mark while it is overwritten; the file is cut and the header's count
    // follows last, so a process killed at any moment leaves a table every
    // reader opens, with every record whole and none that was kept lost.
    Result pack();
    Result appendRecord(const QList<QString> &values);
    // Appends `count` records, the values of each from valuesOf(0 ..
    // count - 1), formatted and written a chunk at a time. On an error the
    // chunks written before it stay.
    Result appendRecords(qint32 count, const std::function<QList<QString>(qint32 index)> &valuesOf);
    Result setField(qint32 record, int position, const QString &value);

    // Creates a new dBase III table with the given fields (offsets are computed);
    // ".dbf" is added to a path without it. Memo fields are not supported. A
    // `languageDriver` of 0 leaves the code page to TableCodePage's rule.
    static Result create(const QString &path, const QList<FieldDescriptor> &fields,
                             quint8 languageDriver = 0x57);

    // The file a table path names: `path` itself, else a file of the same
    // folder whose name matches without regard to case; empty when none.
    static QString resolveFile(const QString &path);

private:
    friend class TableContext;
    // A test's own seam into the pack: stops it after a number of writes,
    // as a process killed there would leave the file.
    friend struct DbfTablePackSeam;
    struct Impl;
    struct FieldSpan {
        int offset = 0;
        int length = 0;
    };
    Result packImpl(int writeLimit, qint64 tornBytes, const std::function<void(int)> &beforeWrite);
    // Whether a mapped record reaches into zeros such as a cut leaves from
    // the file's new end to the end of its page (pages behind it read as
    // blanks, see MappedFile): its last byte, or the last before a page
    // boundary it crosses, is zero. Only then is the file's length looked at.
    bool mayBeCut(const char *record) const
    {
        const auto begin = reinterpret_cast<std::uintptr_t>(record);
        const std::uintptr_t boundary = (begin + std::uintptr_t(m_recordLength)) & m_pageMask;
        return record[m_recordLength - 1] == '\0'
            || (boundary > begin && reinterpret_cast<const char *>(boundary)[-1] == '\0');
    }
    // The record's bytes; through a mapping, a record the file lost since
    // the open reads as blanks.
    const char *checkedRecord(qint32 record) const;
    // After a failed write: the table as the file holds it now, else closed.
    void reloadOrClose();
    void setContext(TableContext *context);
    // Refreshes the copies below after anything that moved or resized the buffer.
    void syncView();

    std::unique_ptr<Impl> d;
    const char *m_firstRecord = nullptr;
    qint64 m_recordLength = 0;
    qint32 m_records = 0;
    bool m_mapped = false;
    std::uintptr_t m_pageMask = 0;
    int m_fieldCount = 0;
    const FieldSpan *m_spans = nullptr;
};

// The bytes of one record and where its fields lie in them. A scan keeps it
// in registers, so reading a field costs an offset and a length.
class DbfTable::Record {
public:
    Record() = default;

    int fieldCount() const { return m_fieldCount; }
    // Field `position` (1-based) as stored, blank padding included; empty
    // beyond the record's fields.
    QByteArrayView field(int position) const
    {
        if (quint32(position - 1) >= quint32(m_fieldCount))
            return {};
        const FieldSpan span = m_spans[position - 1];
        return QByteArrayView(m_bytes + span.offset, span.length);
    }

private:
    friend class DbfTable;
    Record(const char *bytes, const FieldSpan *spans, int fieldCount)
        : m_bytes(bytes), m_spans(spans), m_fieldCount(fieldCount)
    {
    }

    const char *m_bytes = nullptr;
    const FieldSpan *m_spans = nullptr;
    int m_fieldCount = 0;
};

// Inline and free of the implementation: the scan over every field of every
// record spends most of its time here.
DbfTable::Record DbfTable::record(qint32 number) const
{
    if (quint32(number - 1) >= quint32(m_records))
        return {};
    const char *bytes = m_firstRecord + qint64(number - 1) * m_recordLength;
    if (m_mapped && mayBeCut(bytes)) [[unlikely]]
        bytes = checkedRecord(number);
    return Record(bytes, m_spans, m_fieldCount);
}

QByteArrayView DbfTable::rawField(qint32 record, int position) const
{
    return this->record(record).field(position);
}

} // namespace vorn::store
