// Prints how fast every field of every record of a schedule table is read:
// through DbfTable (open, then each record taken once and one byte of each of
// its fields touched; also field by field through rawField), against the floor (map the file, touch one byte of each record),
// against the same loop with no store, and against shapelib's
// DBFReadStringAttribute over all fields. The tables are written here, in a
// temporary folder, by a raw writer after DbfTable::create.
//
// usage: bench_store [records ...]     (default 100000 1000000)

#include "dbftable.h"
#include "mappedfile.h"

#include <shapefil.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/mman.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <vector>

using namespace vorn::store;

namespace {

const QList<FieldDescriptor> scheduleLayout{
    {"PART", 'C', 20}, {"PROCESS", 'C', 20}, {"MACHINE", 'C', 20}, {"ORDER", 'C', 20},
    {"STARTP", 'N', 10}, {"FINISHP", 'N', 10}, {"DURATIONP", 'N', 10},
    {"STARTA", 'N', 10}, {"FINISHA", 'N', 10}, {"DURATIONA", 'N', 10},
    {"STATUSFIN", 'C', 10},
};

volatile qint64 sink = 0;

bool writeTable(const QString &path, qint32 records)
{
    if (DbfTable::create(path, scheduleLayout).failed())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray header = file.read(32);
    const int headerLength = quint8(header[8]) | (quint8(header[9]) << 8);
    const int recordLength = quint8(header[10]) | (quint8(header[11]) << 8);
    file.seek(headerLength);
    QByteArray chunk;
    chunk.reserve(recordLength * 4096);
    for (qint32 r = 0; r < records; ++r) {
        char line[256];
        const int start = (r * 37) % 80000;
        std::snprintf(line, sizeof line, " %-20s%-20s%-20s%-20s%10d%10d%10d%10d%10d%10d%-10s",
                      qPrintable(QStringLiteral("PART-%1").arg(r % 5000)), "MILL", qPrintable(QStringLiteral("M%1").arg(r % 40)),
                      qPrintable(QStringLiteral("ORD%1").arg(r / 100)), start, start + 600, 600, start + 5, start + 610, 605,
                      r % 3 ? "DONE" : "");
        chunk.append(line, recordLength);
        if (chunk.size() >= recordLength * 4096 || r + 1 == records) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write("\x1A", 1);
    for (int i = 0; i < 4; ++i)
        header[4 + i] = char((quint32(records) >> (8 * i)) & 0xFF);
    file.seek(0);
    file.write(header);
    return true;
}

template<typename F>
double bestOf(int repeats, F &&run)
{
    double best = 1e300;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

// A private mapping of the whole table, as the floor and the bare loop use
// it: no store involved.
struct MappedTable {
    explicit MappedTable(const QString &path)
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        size = fd < 0 ? 0 : ::lseek(fd, 0, SEEK_END);
        void *mapped = size > 32 ? ::mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
        if (fd >= 0)
            ::close(fd);
        if (mapped == MAP_FAILED) {
            std::fprintf(stderr, "cannot map %s\n", qPrintable(path));
            std::exit(1);
        }
        base = static_cast<const char *>(mapped);
        headerLength = quint8(base[8]) | (quint8(base[9]) << 8);
        recordLength = quint8(base[10]) | (quint8(base[11]) << 8);
        records = (size - headerLength) / recordLength;
    }
    ~MappedTable() { ::munmap(const_cast<char *>(base), size_t(size)); }

    const char *base = nullptr;
    off_t size = 0;
    int headerLength = 0;
    int recordLength = 0;
    qint64 records = 0;
};

void floorScan(const QString &path)
{
    const MappedTable table(path);
    qint64 sum = 0;
    for (qint64 r = 0; r < table.records; ++r)
        sum += table.base[table.headerLength + r * table.recordLength];
    sink = sink + sum;
}

// What a scan does with each field's bytes. Like the floor (one byte of
// each record) and the shapelib peer (one byte of each field's string),
// the plain scan touches one byte of each field; the others do more.
// FieldByField is the plain scan through rawField, which looks at the record
// for a cut on every read.
enum class Touch { FirstByte, FieldByField, BothEnds, Decode };

qint64 scanFields(const DbfTable &table, Touch touch)
{
    qint64 sum = 0;
    const qint32 records = table.recordCount();
    const int fields = table.fieldCount();
    if (touch == Touch::FieldByField) {
        for (qint32 r = 1; r <= records; ++r) {
            for (int f = 1; f <= fields; ++f)
                sum += table.rawField(r, f).front();
        }
        return sum;
    }
    for (qint32 r = 1; r <= records; ++r) {
        const DbfTable::Record record = table.record(r);
        for (int f = 1; f <= fields; ++f) {
            const QByteArrayView raw = record.field(f);
            switch (touch) {
            case Touch::FirstByte:
            case Touch::FieldByField: sum += raw.front(); break;
            case Touch::BothEnds: sum += raw.front() + raw.back(); break;
            case Touch::Decode: sum += table.decode(raw).size(); break;
            }
        }
    }
    return sum;
}

void storeScan(const QString &path, Touch touch)
{
    DbfTable table;
    if (table.open(path).failed()) {
        std::fprintf(stderr, "open failed\n");
        return;
    }
    sink = sink + scanFields(table, touch);
}

void storeOpenClose(const QString &path)
{
    DbfTable table;
    if (table.open(path).failed())
        std::fprintf(stderr, "open failed\n");
    sink = sink + table.recordCount();
}

// The plain scan's work with no store at all: the file mapped and each
// field's first byte touched by hand-written offsets.
void bareScan(const QString &path)
{
    const MappedTable table(path);
    std::vector<int> offsets;
    for (int at = 1, i = 0; 32 + 32 * i < table.headerLength - 1 && table.base[32 + 32 * i] != 0x0D; ++i) {
        offsets.push_back(at);
        at += quint8(table.base[32 + 32 * i + 16]);
    }
    qint64 sum = 0;
    const char *record = table.base + table.headerLength;
    for (qint64 r = 0; r < table.records; ++r, record += table.recordLength) {
        for (int offset : offsets)
            sum += record[offset];
    }
    sink = sink + sum;
}

void shapelibScan(const QString &path)
{
    DBFHandle dbf = DBFOpen(QFile::encodeName(path).constData(), "rb");
    const int records = DBFGetRecordCount(dbf);
    const int fields = DBFGetFieldCount(dbf);
    qint64 sum = 0;
    for (int r = 0; r < records; ++r) {
        for (int f = 0; f < fields; ++f)
            sum += DBFReadStringAttribute(dbf, r, f)[0];
    }
    sink = sink + sum;
    DBFClose(dbf);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QList<qint32> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QByteArray(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {100000, 1000000};

    QTemporaryDir dir;
    for (qint32 records : sizes) {
        const QString path = dir.filePath(QStringLiteral("Scheduler%1.dbf").arg(records));
        if (!writeTable(path, records)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        const qint64 bytes = QFile(path).size();
        const int repeats = records >= 1000000 ? 5 : 21;
        floorScan(path);   // page cache warm for everybody

        QElapsedTimer timer;
        timer.start();
        storeScan(path, Touch::FirstByte);   // the first open maps the file and faults its pages in
        const double first = timer.nsecsElapsed() / 1e6;

        // Taken in turns, so that a slower spell of a shared machine
        // weighs on all of them alike.
        double floor = 1e300;
        double store = 1e300;
        double bare = 1e300;
        for (int i = 0; i < repeats; ++i) {
            floor = std::min(floor, bestOf(1, [&] { floorScan(path); }));
            store = std::min(store, bestOf(1, [&] { storeScan(path, Touch::FirstByte); }));
            bare = std::min(bare, bestOf(1, [&] { bareScan(path); }));
        }
        const double fresh = bestOf(repeats, [&] {
            MappedFile::dropKept();
            storeScan(path, Touch::FirstByte);
        });
        const double byField = bestOf(repeats, [&] { storeScan(path, Touch::FieldByField); });
        const double bothEnds = bestOf(repeats, [&] { storeScan(path, Touch::BothEnds); });
        const double decoded = bestOf(std::min(repeats, 5), [&] { storeScan(path, Touch::Decode); });
        const double openClose = bestOf(repeats, [&] { storeOpenClose(path); });
        const double shapelib = bestOf(records >= 1000000 ? 1 : 3, [&] { shapelibScan(path); });

        auto rate = [records](double ms) { return records / (ms / 1000.0); };
        std::printf("%d records, %.1f MB, 11 fields\n", records, bytes / 1e6);
        std::printf("  floor (mmap, one byte a record)        %9.2f ms  %12.0f records/s\n", floor, rate(floor));
        std::printf("  store, first open of this table        %9.2f ms  %12.0f records/s  %5.2fx floor\n", first, rate(first), first / floor);
        std::printf("  store, one byte a field, reopened      %9.2f ms  %12.0f records/s  %5.2fx floor\n", store, rate(store), store / floor);
        std::printf("  store, one byte a field, new mapping   %9.2f ms  %12.0f records/s  %5.2fx floor\n", fresh, rate(fresh), fresh / floor);
        std::printf("    of which open and close              %9.2f ms\n", openClose);
        std::printf("    the same loop with no store (bare)   %9.2f ms  %12.0f records/s  %5.2fx floor\n", bare, rate(bare), bare / floor);
        std::printf("  store, one byte a field, rawField each %9.2f ms  %12.0f records/s  %5.2fx floor\n", byField, rate(byField), byField / floor);
        std::printf("  store, both ends of each field         %9.2f ms  %12.0f records/s  %5.2fx floor\n", bothEnds, rate(bothEnds), bothEnds / floor);
        std::printf("  store, every field decoded to text     %9.2f ms  %12.0f records/s  %5.2fx floor\n", decoded, rate(decoded), decoded / floor);
        std::printf("  shapelib DBFReadStringAttribute        %9.2f ms  %12.0f records/s  %5.2fx floor, %.1fx slower than store\n",
                    shapelib, rate(shapelib), shapelib / floor, shapelib / store);
        // Mapped, not copied: the store holds no copy of the file's bytes.
        std::printf("  store keeps %d mapping(s) of the file itself and no copy (%.1f MB file)\n",
                    MappedFile::activeCount(), bytes / 1e6);
        MappedFile::dropKept();
        QFile::remove(path);
    }
    return 0;
}
