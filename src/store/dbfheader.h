#pragma once

#include "result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace vorn::store {

// One field descriptor of a dBase table.
struct FieldDescriptor {
    QByteArray name;     // without the terminating zero
    char type = 'C';     // 'C', 'N', 'F', 'D', 'L', 'M', ...
    int length = 0;      // bytes in the record
    int decimals = 0;
    int offset = 0;      // from the start of the record, after the deletion mark
};

// Which memo file goes with a table, and in which layout.
enum class MemoKind {
    DBase3,     // .dbt, 512-byte blocks, content ends at 0x1A
    DBase4,     // .dbt, block size in its header, length in each block
    FoxPro,     // .fpt, big-endian block size and lengths
};

// The fixed part of a table file: everything in front of the first record.
struct DbfHeader {
    quint8 version = 0;
    quint32 declaredRecords = 0;  // as the header says; may exceed the file
    int headerLength = 0;
    int recordLength = 0;
    quint8 languageDriver = 0;
    QList<FieldDescriptor> fields;

    MemoKind memoKind() const;

    // Whether memo fields hold a 4-byte binary block number (Visual FoxPro)
    // rather than ten ASCII digits.
    bool binaryMemoBlocks() const;

    // The header's record count, clamped to the complete records present in
    // `fileSize` bytes.
    qint32 completeRecords(qint64 fileSize) const;

    // Checks and reads the header at the start of `bytes` (the whole file
    // or at least its header). A header that cannot be trusted fails: too
    // short, unknown version, a record length of 0, fields that reach past
    // the record.
    static Result parse(QByteArrayView bytes, DbfHeader &header);
};

} // namespace vorn::store
