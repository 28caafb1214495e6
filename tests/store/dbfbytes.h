#pragma once

// Builds table files byte by byte, so that tests can lay out damaged and
// unusual tables that no writer would produce.

#include "dbfheader.h"
#include "dbftable.h"
#include "mappedfile.h"
#include "testfiles.h"

#include <QByteArray>
#include <QDataStream>
#include <QStringList>

namespace vorn::store::testing {

using vorn::testing::readFile;
using vorn::testing::writeFile;

struct RawTable {
    quint8 version = 0x03;
    quint8 languageDriver = 0x57;
    QList<FieldDescriptor> fields{}; // names of 11 bytes leave no terminating zero
    QList<QByteArray> records{};     // each a whole record, deletion mark first
    qint64 declaredRecords = -1;     // -1: the number of records
    int recordLength = -1;           // -1: 1 + the field lengths
    int headerLength = -1;           // -1: computed
    int backlinkBytes = 0;           // Visual FoxPro's 263 bytes after the terminator
    bool terminator = true;

    QByteArray bytes() const
    {
        int recLen = 1;
        for (const FieldDescriptor &f : fields)
            recLen += f.length;
        const int hdrLen = headerLength >= 0 ? headerLength : 33 + 32 * int(fields.size()) + backlinkBytes - !terminator;
        QByteArray out;
        {
            QDataStream s(&out, QIODevice::WriteOnly);
            s.setByteOrder(QDataStream::LittleEndian);
            s << version << quint8(124) << quint8(1) << quint8(1) << quint32(declaredRecords >= 0 ? declaredRecords : records.size())
              << quint16(hdrLen) << quint16(recordLength >= 0 ? recordLength : recLen);
        }
        out += QByteArray(17, '\0') + char(languageDriver) + QByteArray(2, '\0');
        for (const FieldDescriptor &f : fields)
            out += f.name.leftJustified(11, '\0') + f.type + QByteArray(4, '\0') + char(f.length) + char(f.decimals) + QByteArray(14, '\0');
        // A header length past the descriptors' end is part of some tests.
        return (out + (terminator ? "\x0D" : "")).leftJustified(hdrLen, '\0') + records.join() + char(0x1A);
    }
};

// Every record as one string, fields joined by '|', a deleted one marked '*'.
inline QStringList flatten(const DbfTable &table)
{
    QStringList rows;
    for (qint32 r = 1; r <= table.recordCount(); ++r) {
        rows << (table.isDeleted(r) ? "*" : "");
        for (int f = 1; f <= table.fieldCount(); ++f)
            rows.last() += (f > 1 ? "|" : "") + table.decode(table.rawField(r, f));
    }
    return rows;
}

// What an open through a mapping, or through the reading path (no mapping involved), sees in the file now.
inline QStringList readTable(const QString &path, bool mapping = true)
{
    MappedFile::setEnabled(mapping);
    DbfTable table;
    const bool opened = table.open(path).ok();
    MappedFile::setEnabled(true);
    return opened ? flatten(table) : QStringList{"<open failed>"};
}

} // namespace vorn::store::testing
