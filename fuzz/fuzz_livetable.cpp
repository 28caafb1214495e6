// The live table while the manager writes it: the table is opened and
// filled into a grid, then the fuzzer's bytes drive a sequence of
// truncations, growths, rewrites and replacements of the file, with reads
// (the tick's refresh and a scan of every field) and reopens in between.
// Reading a page the writer cut off must give blanks, never SIGBUS; after
// the last change a fresh open must read exactly the file's bytes.
//
// Input: one byte for the number of steps, five bytes per step (kind, two
// 16-bit arguments), then the table file as it starts.

#include "fuzzing.h"

#include "griddata.h"
#include "gridfill.h"
#include "mappedfile.h"
#include "refresh.h"
#include "schedulerows.h"
#include "tablelibrary.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace vorn;

namespace {

// Room for a few thousand records: enough for many pages, little enough to
// keep each input well under the one-second hang limit.
constexpr qint64 maxFileSize = 64 * 1024;

// libFuzzer and the sanitizers put their own SIGBUS handlers in place; the
// store's guard must still be the one that answers a read past a cut.
void checkGuardOnce(const QString &path)
{
    static const bool checked = [&] {
        const qint64 page = sysconf(_SC_PAGESIZE);
        VORN_FUZZ_CHECK(testing::writeFile(path, QByteArray(3 * page, 'x')));
        store::MappedFile file;
        VORN_FUZZ_CHECK(file.map(path).ok());
        VORN_FUZZ_CHECK(::truncate(QFile::encodeName(path).constData(), page) == 0);
        const volatile char *cut = file.data() + 2 * page;
        VORN_FUZZ_CHECK(*cut == ' ');
        return true;
    }();
    (void)checked;
}

struct Live {
    QString path;
    QByteArray start;   // the file as the input gave it: the source of every write
    int fd = -1;

    qint64 size() const { return ::lseek(fd, 0, SEEK_END); }
    // `length` bytes of the start content from `from` on, repeated as needed.
    QByteArray startBytes(qint64 from, qint64 length) const
    {
        QByteArray bytes(length, '\0');
        for (qint64 i = 0; i < length && !start.isEmpty(); ++i)
            bytes[i] = start[(from + i) % start.size()];
        return bytes;
    }
    void writeAt(qint64 offset, const QByteArray &bytes) const
    {
        VORN_FUZZ_CHECK(::pwrite(fd, bytes.constData(), size_t(bytes.size()), offset) == bytes.size());
    }
    void open()
    {
        if (fd >= 0)
            ::close(fd);
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        VORN_FUZZ_CHECK(fd >= 0);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::AnswerMessagesAtOnce();
    const QString base = fuzz::ScratchFolder() + QStringLiteral("Scheduler");
    checkGuardOnce(fuzz::ScratchFolder() + QStringLiteral("guard"));
    // Each input on its own: nothing mapped by the one before.
    store::MappedFile::dropKept();

    fuzz::Bytes bytes(data, size);
    const int steps = bytes.u8() % 24;
    fuzz::Bytes script = bytes.take(5 * steps);
    Live live{base + QStringLiteral(".dbf"), bytes.rest().toByteArray()};
    QFile::remove(live.path);
    live.open();
    live.writeAt(0, live.start);

    store::TableContext context;
    store::DbfTable table;
    chart::GridData grid;
    grid.setCols(8 + 24);
    grid.setFixedRows(2);
    const auto fill = [&] {
        grid.setRows(2);
        if (context.OpenTable(table, base).ok())
            ApplyScheduleRows(grid, model::BuildScheduleRows(table, model::kSortByMachine, nullptr).rows);
    };
    // What a tick does with the open table, plus a scan of every field.
    const auto readAll = [&] {
        RefreshTimesAndFeed(table, grid, false, nullptr);
        for (qint32 r = 1; r <= table.recordCount(); ++r) {
            table.isDeleted(r);
            for (int f = 1; f <= table.fieldCount(); ++f)
                store::FieldText(table, r, f);
        }
    };
    fill();

    for (int i = 0; i < steps; ++i) {
        const int kind = script.u8() % 6;
        const qint64 a = script.u16();
        const qint64 b = script.u16();
        const qint64 now = live.size();
        switch (kind) {
        case 0:   // the manager truncates (a pack, a clean)
            VORN_FUZZ_CHECK(::ftruncate(live.fd, a * now / 65535) == 0);
            break;
        case 1:   // appends
            if (now < maxFileSize)
                live.writeAt(now, live.startBytes(a * live.start.size() / 65536, 1 + b % 16384));
            break;
        case 2:   // rewrites in place, or past the end
            live.writeAt(a * now / 65535, live.startBytes((b >> 8) * live.start.size() / 256, 1 + b % 512));
            break;
        case 3:
            readAll();
            break;
        case 4:   // the next tick opens the table again
            fill();
            break;
        case 5: { // recreates the file: a new inode under the same name
            const QString fresh = base + QStringLiteral(".new");
            VORN_FUZZ_CHECK(testing::writeFile(fresh, testing::readFile(live.path)));
            VORN_FUZZ_CHECK(::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(live.path).constData()) == 0);
            live.open();
            break;
        }
        }
    }
    readAll();
    ::close(live.fd);

    // Once the writer stops, the next open sees exactly what the file holds.
    store::DbfTable again;
    fuzz::OpenSameAsBytes(context, again, base, testing::readFile(live.path));
    return 0;
}
