#pragma once

// What the fuzz targets share: the check that turns a broken promise into a
// crash, a scratch folder for the files they write, message boxes answered
// at once, and a reader that takes the fuzzer's bytes from the front.

#include "dbftable.h"
#include "messagebox.h"
#include "tablelibrary.h"
#include "testfiles.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// abort() is what both libFuzzer and the corpus replay report as a failure.
#define VORN_FUZZ_CHECK(condition)                                                              \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__,       \
                         __LINE__);                                                             \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)

namespace vorn::fuzz {

// One folder per process, on tmpfs when there is one: most targets write a
// file or two for every input.
inline const QString &ScratchFolder()
{
    static const QTemporaryDir dir((QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                                : QDir::tempPath())
                                   + QStringLiteral("/vorn-fuzz-XXXXXX"));
    static const QString path = dir.path() + u'/';
    return path;
}

// The store raises boxes for overlong fields and failed opens; nobody is
// there to answer them.
inline void AnswerMessagesAtOnce()
{
    SetMessageHandler([](const MessageRequest &) { return MessageAnswer::Ok; });
}

// A table opened through the table library from `base` must open exactly when
// the file's bytes open from memory, and then read as they do: record count,
// fields, deletion flags, every raw field. Says whether it opened.
inline bool OpenSameAsBytes(store::TableContext &context, store::DbfTable &table, const QString &base,
                            QByteArrayView bytes)
{
    const bool opened = context.OpenTable(table, base).ok();
    store::DbfTable copy;
    VORN_FUZZ_CHECK(copy.openBytes(bytes).ok() == opened);
    if (!opened)
        return false;
    VORN_FUZZ_CHECK(copy.recordCount() == table.recordCount() && copy.fieldCount() == table.fieldCount());
    for (qint32 r = 0; r <= table.recordCount() + 1; ++r) {
        VORN_FUZZ_CHECK(copy.isDeleted(r) == table.isDeleted(r));
        for (int f = 0; f <= table.fieldCount() + 1; ++f)
            VORN_FUZZ_CHECK(copy.rawField(r, f) == table.rawField(r, f));
    }
    return true;
}

// The fuzzer's bytes, taken from the front; zeros once they run out.
class Bytes {
public:
    Bytes(const std::uint8_t *data, std::size_t size) : m_data(data, qsizetype(size)) {}
    Bytes(QByteArrayView bytes) : m_data(bytes) {}
    bool empty() const { return m_data.isEmpty(); }
    std::uint8_t u8()
    {
        const QByteArrayView one = take(1);
        return one.isEmpty() ? 0 : std::uint8_t(one.front());
    }
    std::uint16_t u16()
    {
        // Low byte first, in two statements: within one expression the
        // language leaves the order of the two reads open.
        const std::uint8_t low = u8();
        return std::uint16_t(low | (u8() << 8));
    }
    QByteArrayView take(qsizetype n)
    {
        const QByteArrayView piece = m_data.first(std::clamp<qsizetype>(n, 0, m_data.size()));
        m_data = m_data.sliced(piece.size());
        return piece;
    }
    // Up to the next `separator` (dropped), or everything left.
    QByteArrayView upTo(char separator)
    {
        const qsizetype at = m_data.indexOf(separator);
        const QByteArrayView piece = take(at < 0 ? m_data.size() : at);
        take(at < 0 ? 0 : 1);
        return piece;
    }
    QByteArrayView rest() { return take(m_data.size()); }

private:
    QByteArrayView m_data;
};

} // namespace vorn::fuzz
