#pragma once

#include "dbfheader.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>

namespace vorn::store {

// The memo file beside a table (.dbt of dBase III and IV, .fpt of FoxPro).
// Memos are read on demand, one block chain at a time; the file is never
// read whole.
class MemoFile {
public:
    // Opens `path` read-only; a missing file leaves every memo empty.
    MemoFile(const QString &path, MemoKind kind);

    bool isOpen() const { return m_file.isOpen(); }

    // The memo a memo field's stored bytes point at: ten ASCII digits, or a
    // 4-byte little-endian number when `binaryBlock`. Blank, zero or
    // out-of-range block numbers give no content. At most `limit` bytes are
    // read, whatever the memo's length or a missing end marker would say.
    QByteArray read(QByteArrayView fieldBytes, bool binaryBlock, qint64 limit);

    // The block number a memo field holds; 0 when it holds none.
    static qint64 blockNumber(QByteArrayView fieldBytes, bool binaryBlock);

private:
    QByteArray readUntilEndMarker(qint64 offset, qint64 limit);
    QByteArray readSized(qint64 offset, qint64 length, qint64 limit);

    QFile m_file;
    MemoKind m_kind;
    qint64 m_blockSize = 512;
};

} // namespace vorn::store
