#include "memofile.h"

#include <QtEndian>

#include <algorithm>

namespace vorn::store {

namespace {

constexpr char memoEnd = 0x1A;


} // namespace

MemoFile::MemoFile(const QString &path, MemoKind kind)
    : m_file(path)
    , m_kind(kind)
{
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return;
    uchar head[32] = {};
    if (m_file.read(reinterpret_cast<char *>(head), sizeof head) < qint64(sizeof head))
        return;
    switch (m_kind) {
    case MemoKind::DBase3:
        m_blockSize = 512;
        break;
    case MemoKind::DBase4: {
        const int size = head[20] | (head[21] << 8);
        m_blockSize = size >= 64 ? size : 512;
        break;
    }
    case MemoKind::FoxPro: {
        const int size = (head[6] << 8) | head[7];
        // FoxPro allows block sizes down to 1 byte (each memo then starts
        // right after the previous one); 0 is not a size.
        m_blockSize = size > 0 ? size : 64;
        break;
    }
    }
}

qint64 MemoFile::blockNumber(QByteArrayView fieldBytes, bool binaryBlock)
{
    if (binaryBlock) {
        if (fieldBytes.size() != 4)
            return 0;
        return qFromLittleEndian<quint32>(fieldBytes.data());
    }
    qint64 block = 0;
    bool digits = false;
    for (char c : fieldBytes) {
        if (c >= '0' && c <= '9') {
            block = block * 10 + (c - '0');
            digits = true;
        } else if (c == ' ' || c == '\0') {
            if (digits)
                break;
        } else {
            return 0;
        }
        if (block > (qint64(1) << 40))
            return 0;
    }
    return block;
}

QByteArray MemoFile::read(QByteArrayView fieldBytes, bool binaryBlock, qint64 limit)
{
    if (!m_file.isOpen())
        return {};
    const qint64 block = blockNumber(fieldBytes, binaryBlock);
    // Block 0 holds the memo file's own header, never a memo.
    if (block <= 0)
        return {};
    const qint64 offset = block * m_blockSize;
    const qint64 fileSize = m_file.size();
    if (offset >= fileSize)
        return {};

    if (m_kind == MemoKind::DBase3)
        return readUntilEndMarker(offset, limit);

    uchar head[8] = {};
    if (!m_file.seek(offset) || m_file.read(reinterpret_cast<char *>(head), 8) != 8)
        return {};
    if (m_kind == MemoKind::FoxPro)
        return readSized(offset + 8, qFromBigEndian<quint32>(head + 4), limit);
    // dBase IV blocks start with FF FF 08 00 and a length that counts those
    // eight bytes; a block without that mark was written the dBase III way.
    if (head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0x00) {
        const quint32 length = qFromLittleEndian<quint32>(head + 4);
        return readSized(offset + 8, length >= 8 ? length - 8 : 0, limit);
    }
    return readUntilEndMarker(offset, limit);
}

QByteArray MemoFile::readUntilEndMarker(qint64 offset, qint64 limit)
{
    QByteArray content;
    if (!m_file.seek(offset))
        return content;
    // A memo that lost its end marker would otherwise be read to the end of
    // the file, on every pass.
    char chunk[4096];
    while (content.size() < limit) {
        const qint64 got = m_file.read(chunk, std::min<qint64>(sizeof chunk, limit - content.size()));
        if (got <= 0)
            return content;
        const char *end = std::find(chunk, chunk + got, memoEnd);
        content.append(chunk, end - chunk);
        if (end != chunk + got)
            return content;
    }
    return content;
}

QByteArray MemoFile::readSized(qint64 offset, qint64 length, qint64 limit)
{
    // A damaged length must not make us read more than the file holds, nor
    // more than the caller can use.
    const qint64 available = std::max<qint64>(0, m_file.size() - offset);
    length = std::min({length, available, limit});
    if (length <= 0 || !m_file.seek(offset))
        return {};
    QByteArray content(length, Qt::Uninitialized);
    const qint64 got = m_file.read(content.data(), length);
    content.resize(std::max<qint64>(0, got));
    return content;
}

} // namespace vorn::store
