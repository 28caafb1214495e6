// libFuzzer target over the table parser: whatever the header claims, reading
// every field of every record must stay inside the bytes given. Built with
// clang and VORN_FUZZ=ON; tst_dbftable replays the saved corpus through it.

#include "dbftable.h"
#include "memofile.h"

#include <cstddef>
#include <cstdint>

using namespace vorn::store;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // Memo pointers come from record bytes, so any slice may be one.
    MemoFile::blockNumber(bytes.first(std::min<qsizetype>(bytes.size(), 10)), false);
    MemoFile::blockNumber(bytes.first(std::min<qsizetype>(bytes.size(), 4)), true);

    DbfTable table;
    if (!table.openBytes(bytes))
        return 0;
    const qint32 records = table.recordCount();
    const int fields = table.fieldCount();
    qint64 sum = 0;
    // One record before and after the range as well: those read as empty.
    for (qint32 r = 0; r <= records + 1; ++r) {
        sum += table.isDeleted(r);
        for (int f = 0; f <= fields + 1; ++f) {
            const QByteArrayView raw = table.rawField(r, f);
            for (char c : raw)
                sum += c;
            sum += table.decode(raw).size();
            sum += table.fieldContent(r, f).size();
        }
    }
    return sum == -1 ? 1 : 0;
}
