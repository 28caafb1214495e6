#include "dbftable.h"

#include "codepage.h"
#include "filename.h"
#include "mappedfile.h"
#include "memofile.h"
#include "readbuffer.h"
#include "tablelibrary.h"

#include <QDate>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

#if defined(Q_OS_UNIX)
#include <sys/stat.h>
#endif

namespace vorn::store {

namespace {

constexpr char deletedMark = '*';
constexpr char endMarker = 0x1A;
// Appends write a chunk of records at a time.
constexpr qint64 writeChunkBytes = 1 << 20;

// Header bytes 1 to 3: the date of the last write, year counted from 1900.
void putToday(char *p)
{
    const QDate today = QDate::currentDate();
    p[0] = char(std::clamp(today.year() - 1900, 0, 255));
    p[1] = char(today.month());
    p[2] = char(today.day());
}

QString withDbfSuffix(const QString &path)
{
    if (path.endsWith(QLatin1String(".dbf"), Qt::CaseInsensitive))
        return path;
    return path + QLatin1String(".dbf");
}

} // namespace

struct DbfTable::Impl {
    QString path;             // empty for a table read from memory
    // The file's bytes: mapped where the platform allows, else read into
    // `buffer`. A table that is written to holds a copy in `buffer`, which
    // follows every write.
    MappedFile mapped;
    ReadBuffer buffer;
    DbfHeader header;
    qint32 records = 0;
    TextCodec codec;
    std::unique_ptr<MemoFile> memo;
    bool memoTried = false;
    std::unique_ptr<QFile> writer;
    TableContext *context = nullptr;
    std::vector<FieldSpan> spans;
    bool dateWritten = false;
    char lastDate[3] = {};
    // Through a mapping: the first record the file no longer held when
    // looked at (0: none), and a record of blanks that stands for it. Two
    // threads may read one open table; they meet only here.
    qint32 cutFrom = 0;
    QByteArray blankRecord;
    std::mutex cutLock;

    const char *bytes() const { return mapped.isMapped() ? mapped.data() : buffer.data(); }
    qint64 size() const { return mapped.isMapped() ? mapped.size() : buffer.size(); }

    const char *record(qint32 number) const
    {
        return bytes() + header.headerLength + qint64(number - 1) * header.recordLength;
    }
    // Only after makeWritable().
    char *writableRecord(qint32 number)
    {
        Q_ASSERT(!mapped.isMapped());
        return buffer.data() + header.headerLength + qint64(number - 1) * header.recordLength;
    }
    qint64 recordOffset(qint32 number) const
    {
        return header.headerLength + qint64(number - 1) * header.recordLength;
    }
    qint64 recordsEnd() const { return recordOffset(records + 1); }

    // Takes the file's bytes as they are now: mapped for reading, or read
    // into a buffer when the table is to be written or the file cannot be
    // mapped. Everything is read and checked before any of it replaces what
    // the table held, so a failure leaves the table as it was.
    Result readFile(bool writable = false)
    {
        MappedFile freshMapping;
        ReadBuffer freshBuffer;
        if (writable || freshMapping.map(path).failed()) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
                return Result::failure(QStringLiteral("%1: %2").arg(path, file.errorString()));
            const qint64 fileSize = file.size();
            freshBuffer = ReadBuffer::take(fileSize);
            freshBuffer.resize(fileSize);
            // The writer may shorten the file meanwhile: what was read is the snapshot.
            qint64 got = 0;
            while (got < fileSize) {
                const qint64 n = file.read(freshBuffer.data() + got, fileSize - got);
                if (n <= 0)
                    break;
                got += n;
            }
            freshBuffer.resize(got);
        }
        const QByteArrayView fresh = freshMapping.isMapped()
            ? QByteArrayView(freshMapping.data(), freshMapping.size())
            : QByteArrayView(freshBuffer.data(), freshBuffer.size());
        DbfHeader freshHeader;
        if (Result error = DbfHeader::parse(fresh, freshHeader); error.failed())
            return error;
        records = freshHeader.completeRecords(fresh.size());
        header = std::move(freshHeader);
        mapped = std::move(freshMapping);
        buffer = std::move(freshBuffer);
        codec = TextCodec(TableCodePage(header.languageDriver, path));
        spans.clear();
        for (const FieldDescriptor &f : std::as_const(header.fields))
            spans.push_back({f.offset, f.length});
        dateWritten = false;
        cutFrom = 0;
        blankRecord.clear();
        // Writes go to the file just read, even if another one now has its name.
        if (writable)
            writer.reset();
        return {};
    }

    // Parses bytes already in `buffer` (a table read from memory).
    Result parseBuffer()
    {
        Result error = DbfHeader::parse(QByteArrayView(buffer.data(), buffer.size()), header);
        if (error.failed())
            return error;
        records = header.completeRecords(buffer.size());
        codec = TextCodec(TableCodePage(header.languageDriver, QString()));
        for (const FieldDescriptor &f : std::as_const(header.fields))
            spans.push_back({f.offset, f.length});
        return error;
    }

    QFile *openWriter(Result &error)
    {
        if (path.isEmpty()) {
            error = Result::failure(QStringLiteral("a table read from memory cannot be written"));
            return nullptr;
        }
        if (!writer) {
            auto file = std::make_unique<QFile>(path);
            // Never brings back a table that was deleted meanwhile.
            if (!file->open(QIODevice::ReadWrite | QIODevice::Unbuffered | QIODevice::ExistingOnly)) {
                error = Result::failure(QStringLiteral("%1: %2").arg(path, file->errorString()));
                return nullptr;
            }
            writer = std::move(file);
        }
        return writer.get();
    }

    Result writeAt(qint64 offset, const char *bytes, qint64 length)
    {
        Result error;
        QFile *file = openWriter(error);
        if (!file)
            return error;
        if (!file->seek(offset) || file->write(bytes, length) != length)
            return Result::failure(QStringLiteral("%1: writing %2 bytes at %3: %4")
                                           .arg(path).arg(length).arg(offset).arg(file->errorString()));
        return error;
    }

    // A write into a record the file no longer holds would grow the file
    // with zeros, records no writer made.
    Result checkRecordInFile(qint32 number)
    {
        Result error;
        QFile *file = openWriter(error);
        if (!file)
            return error;
        if (currentSize(*file) < recordOffset(number + 1))
            return Result::failure(QStringLiteral("%1: record %2 is no longer in the file").arg(path).arg(number));
        return error;
    }

    // The file's length in one system call: a clean asks once a record.
    static qint64 currentSize(QFile &file)
    {
#if defined(Q_OS_UNIX)
        struct stat info {};
        if (::fstat(file.handle(), &info) == 0)
            return qint64(info.st_size);
#endif
        return file.size();
    }

    // The record count the header on disk holds now.
    Result countInHeader(QFile *file, quint32 &count)
    {
        char bytes[4];
        if (!file->seek(4) || file->read(bytes, 4) != 4)
            return Result::failure(QStringLiteral("%1: the header cannot be read").arg(path));
        count = qFromLittleEndian<quint32>(bytes);
        return {};
    }

    // The header's count and the records present by the file's size, now.
    Result countOnDisk(qint32 &present)
    {
        Result error;
        QFile *file = openWriter(error);
        if (!file)
            return error;
        DbfHeader now = header;
        error = countInHeader(file, now.declaredRecords);
        if (error.failed())
            return error;
        present = now.completeRecords(file->size());
        return error;
    }

    // Another process may have appended to or packed the file since it was
    // read. Before a new record takes a slot, compare the file's count and
    // size with ours and re-read only when they differ: one small read per
    // append keeps bulk appends linear.
    Result catchUp()
    {
        Result error;
        QFile *file = openWriter(error);
        if (!file)
            return error;
        quint32 onDisk = 0;
        error = countInHeader(file, onDisk);
        if (error.failed())
            return error;
        if (onDisk == quint32(records) && file->size() == size()) {
            makeWritable();
            return Result::success();
        }
        return readFile(true);
    }

    // Writing needs bytes of our own: copy what the mapping shows. What the
    // writer cut off meanwhile comes back as blanks, as it reads.
    void makeWritable()
    {
        if (!mapped.isMapped())
            return;
        const qint64 length = mapped.size();
        const qint64 now = mapped.currentSize();
        qint64 inFile = now < 0 ? length : std::min(now, length);
        if (cutFrom > 0)
            inFile = std::min(inFile, recordOffset(cutFrom));
        ReadBuffer copy = ReadBuffer::take(length);
        copy.resize(length);
        std::memcpy(copy.data(), mapped.data(), std::size_t(inFile));
        std::memset(copy.data() + inFile, ' ', std::size_t(length - inFile));
        buffer = std::move(copy);
        mapped.unmap();
    }

    // The header's date and record count, to the file and then the buffer.
    Result writeCountAndDate(qint32 count)
    {
        char fields[7];
        putToday(fields);
        qToLittleEndian(quint32(count), fields + 3);
        if (Result error = writeAt(1, fields, 7); error.failed())
            return error;
        std::memcpy(buffer.data() + 1, fields, 7);
        return {};
    }

    // A clean marks every record in turn: the date goes to the file once a
    // day, not once a record.
    Result writeDate()
    {
        char today[3];
        putToday(today);
        if (dateWritten && std::memcmp(lastDate, today, 3) == 0)
            return {};
        if (Result error = writeAt(1, today, 3); error.failed())
            return error;
        std::memcpy(buffer.data() + 1, today, 3);
        std::memcpy(lastDate, today, 3);
        dateWritten = true;
        return {};
    }

    MemoFile *memoFile()
    {
        if (!memoTried && !path.isEmpty()) {
            memoTried = true;
            const MemoKind kind = header.memoKind();
            const QString stem = path.left(path.size() - 4);
            const QString preferred = kind == MemoKind::FoxPro ? QStringLiteral(".fpt") : QStringLiteral(".dbt");
            const QString other = kind == MemoKind::FoxPro ? QStringLiteral(".dbt") : QStringLiteral(".fpt");
            QString file = DbfTable::resolveFile(stem + preferred);
            if (file.isEmpty())
                file = DbfTable::resolveFile(stem + other);
            if (!file.isEmpty())
                memo = std::make_unique<MemoFile>(file, kind);
        }
        return memo.get();
    }

    // A field value as the record stores it; an error when it does not fit.
    Result format(const FieldDescriptor &field, const QString &value, char *out) const
    {
        std::memset(out, ' ', std::size_t(field.length));
        QByteArray bytes;
        bool rightAligned = false;
        switch (field.type) {
        case 'N':
        case 'F': {
            const QString trimmed = value.trimmed();
            if (trimmed.isEmpty())
                return {};
            bool number = false;
            const double parsed = field.decimals > 0 ? trimmed.toDouble(&number) : 0.0;
            bytes = number ? QByteArray::number(parsed, 'f', field.decimals) : codec.encode(trimmed);
            rightAligned = true;
            break;
        }
        case 'D': {
            const QString trimmed = value.trimmed();
            if (trimmed.isEmpty())
                return {};
            QDate date = QDate::fromString(trimmed, QStringLiteral("yyyyMMdd"));
            if (!date.isValid())
                date = QDate::fromString(trimmed, Qt::ISODate);
            if (!date.isValid())
                return Result::failure(QStringLiteral("\"%1\" is not a date for field %2")
                                               .arg(value, QString::fromLatin1(field.name)));
            bytes = date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
            break;
        }
        case 'L': {
            const QString trimmed = value.trimmed();
            if (trimmed.isEmpty())
                return {};
            const QString v = trimmed.toUpper();
            if (v == QLatin1String("T") || v == QLatin1String("Y") || v == QLatin1String("TRUE") || v == QLatin1String("1"))
                bytes = "T";
            else if (v == QLatin1String("F") || v == QLatin1String("N") || v == QLatin1String("FALSE") || v == QLatin1String("0"))
                bytes = "F";
            else
                return Result::failure(QStringLiteral("\"%1\" is not a logical value for field %2")
                                               .arg(value, QString::fromLatin1(field.name)));
            break;
        }
        case 'M':
            if (value.isEmpty())
                return {};
            return Result::failure(QStringLiteral("memo field %1 cannot be written").arg(QString::fromLatin1(field.name)));
        default: {
            // Character data keeps its blanks; a text too long is cut at a
            // character boundary so that no half of a double-byte character stays.
            // Every character takes at least one byte: start the cut there.
            qsizetype chars = std::min<qsizetype>(value.size(), field.length);
            bytes = codec.encode(QStringView(value).left(chars));
            while (bytes.size() > field.length && chars > 0)
                bytes = codec.encode(QStringView(value).left(--chars));
            break;
        }
        }
        if (bytes.size() > field.length)
            return Result::failure(QStringLiteral("\"%1\" does not fit the %2 bytes of field %3")
                                           .arg(value).arg(field.length).arg(QString::fromLatin1(field.name)));
        std::memcpy(out + (rightAligned ? field.length - bytes.size() : 0), bytes.constData(), std::size_t(bytes.size()));
        return {};
    }
};

DbfTable::DbfTable() = default;

DbfTable::~DbfTable()
{
    close();
}

DbfTable::DbfTable(DbfTable &&other) noexcept
    : d(std::move(other.d))
{
    if (d && d->context)
        d->context->retarget(&other, this);
    syncView();
    other.syncView();
}

DbfTable &DbfTable::operator=(DbfTable &&other) noexcept
{
    if (this != &other) {
        close();
        d = std::move(other.d);
        if (d && d->context)
            d->context->retarget(&other, this);
        syncView();
        other.syncView();
    }
    return *this;
}

QString DbfTable::resolveFile(const QString &path)
{
    return FindFileIgnoringCase(path);
}

Result DbfTable::open(const QString &path)
{
    close();
    const QString wanted = withDbfSuffix(path);
    const QString file = resolveFile(wanted);
    if (file.isEmpty())
        return Result::failure(QStringLiteral("%1: no such table").arg(wanted));
    auto impl = std::make_unique<Impl>();
    impl->path = file;
    Result error = impl->readFile();
    if (error.failed())
        return Result::failure(QStringLiteral("%1: %2").arg(file, error.message()));
    d = std::move(impl);
    syncView();
    return error;
}

Result DbfTable::openBytes(QByteArrayView bytes)
{
    close();
    auto impl = std::make_unique<Impl>();
    impl->buffer = ReadBuffer::take(bytes.size());
    impl->buffer.resize(bytes.size());
    if (!bytes.isEmpty())
        std::memcpy(impl->buffer.data(), bytes.data(), std::size_t(bytes.size()));
    Result error = impl->parseBuffer();
    if (error.ok())
        d = std::move(impl);
    syncView();
    return error;
}

DbfTable DbfTable::mappedView() const
{
    DbfTable view;
    if (!d || !d->mapped.isMapped())
        return view;
    auto impl = std::make_unique<Impl>();
    impl->path = d->path;
    impl->mapped = d->mapped.share();
    impl->header = d->header;
    impl->records = d->records;
    impl->codec = d->codec;
    impl->spans = d->spans;
    {
        const std::lock_guard lock(d->cutLock);
        impl->cutFrom = d->cutFrom;
    }
    view.d = std::move(impl);
    view.syncView();
    return view;
}

void DbfTable::close()
{
    if (!d)
        return;
    if (d->context)
        d->context->forget(this);
    d.reset();
    syncView();
}

void DbfTable::reloadOrClose()
{
    if (d && d->readFile(true).ok())
        syncView();
    else
        close();
}

void DbfTable::syncView()
{
    if (!d) {
        m_firstRecord = nullptr;
        m_recordLength = 0;
        m_records = 0;
        m_mapped = false;
        m_fieldCount = 0;
        m_spans = nullptr;
        return;
    }
    m_firstRecord = d->bytes() + d->header.headerLength;
    m_recordLength = d->header.recordLength;
    m_records = d->records;
    // Bytes read into memory are what the file held; a mapping shows the
    // file as it is now.
    m_mapped = d->mapped.isMapped();
    m_pageMask = ~std::uintptr_t(MappedFile::systemPageSize() - 1);
    m_fieldCount = int(d->spans.size());
    m_spans = d->spans.data();
}

const char *DbfTable::checkedRecord(qint32 record) const
{
    Impl &impl = *d;
    const std::lock_guard lock(impl.cutLock);
    const char *bytes = impl.record(record);
    if (m_mapped && (impl.cutFrom == 0 || record < impl.cutFrom) && mayBeCut(bytes)) {
        const qint64 now = impl.mapped.currentSize();
        if (now >= 0 && now < impl.recordOffset(record + 1))
            impl.cutFrom = qint32(std::max<qint64>(1, (now - impl.header.headerLength) / impl.header.recordLength + 1));
    }
    if (impl.cutFrom > 0 && record >= impl.cutFrom) {
        if (impl.blankRecord.isEmpty())
            impl.blankRecord = QByteArray(impl.header.recordLength, ' ');
        return impl.blankRecord.constData();
    }
    return bytes;
}

void DbfTable::setContext(TableContext *context)
{
    if (d)
        d->context = context;
}

bool DbfTable::isOpen() const
{
    return d != nullptr;
}

QString DbfTable::filePath() const
{
    return d ? d->path : QString();
}

qint32 DbfTable::recordCount() const
{
    return d ? d->records : 0;
}

int DbfTable::fieldCount() const
{
    return d ? int(d->header.fields.size()) : 0;
}

const FieldDescriptor &DbfTable::field(int position) const
{
    Q_ASSERT(d && position >= 1 && position <= fieldCount());
    return d->header.fields.at(position - 1);
}

quint8 DbfTable::languageDriver() const
{
    return d ? d->header.languageDriver : 0;
}

bool DbfTable::isDeleted(qint32 record) const
{
    if (!d || record < 1 || record > d->records)
        return false;
    return *checkedRecord(record) == deletedMark;
}

QByteArray DbfTable::fieldContent(qint32 record, int position) const
{
    const QByteArrayView raw = rawField(record, position);
    if (raw.isEmpty() || d->header.fields[position - 1].type != 'M')
        return raw.toByteArray();
    MemoFile *memo = d->memoFile();
    if (!memo)
        return {};
    return memo->read(raw, d->header.binaryMemoBlocks(), MaxFieldText + 1);
}

int DbfTable::codePage() const
{
    return d ? d->codec.codePage() : TableCodePage(0, QString());
}

namespace {

// Text of no table is in the ANSI code page, whichever it is at the moment.
// A codec keeps converter state: one per thread.
const TextCodec &ansiCodec()
{
    thread_local TextCodec codec;
    if (const int now = TableCodePage(0, QString()); codec.codePage() != now)
        codec = TextCodec(now);
    return codec;
}

} // namespace

QString DbfTable::decode(QByteArrayView bytes) const
{
    return d ? d->codec.decode(bytes) : ansiCodec().decode(bytes);
}

QByteArray DbfTable::encode(const QString &text) const
{
    return d ? d->codec.encode(text) : ansiCodec().encode(text);
}

Result DbfTable::markDeleted(qint32 record)
{
    if (!d || record < 1 || record > d->records)
        return Result::failure(QStringLiteral("no record %1 to delete").arg(record));
    if (Result error = d->checkRecordInFile(record); error.failed())
        return error;
    d->makeWritable();
    syncView();
    if (Result error = d->writeAt(d->recordOffset(record), &deletedMark, 1); error.failed())
        return error;
    *d->writableRecord(record) = deletedMark;
    return d->writeDate();
}

Result DbfTable::setField(qint32 record, int position, const QString &value)
{
    if (!d || record < 1 || record > d->records || position < 1 || position > fieldCount())
        return Result::failure(QStringLiteral("no field %1 of record %2").arg(position).arg(record));
    const FieldDescriptor &f = d->header.fields[position - 1];
    QByteArray bytes(f.length, ' ');
    if (Result error = d->format(f, value, bytes.data()); error.failed())
        return error;
    if (Result error = d->checkRecordInFile(record); error.failed())
        return error;
    d->makeWritable();
    syncView();
    if (Result error = d->writeAt(d->recordOffset(record) + f.offset, bytes.constData(), f.length); error.failed())
        return error;
    std::memcpy(d->writableRecord(record) + f.offset, bytes.constData(), std::size_t(f.length));
    return d->writeDate();
}

Result DbfTable::appendRecord(const QList<QString> &values)
{
    return appendRecords(1, [&values](qint32) { return values; });
}

Result DbfTable::appendRecords(qint32 count, const std::function<QList<QString>(qint32 index)> &valuesOf)
{
    if (!d)
        return Result::failure(QStringLiteral("no table open"));
    if (d->path.isEmpty())
        return Result::failure(QStringLiteral("a table read from memory cannot be written"));
    const Result fresh = d->catchUp();
    syncView();
    if (fresh.failed())
        return fresh;
    const int length = d->header.recordLength;
    const qint32 perChunk = qint32(writeChunkBytes / length);   // 16 at least: a record holds at most 65535 bytes
    // Room for every record at once, so that the copy of the file does not
    // grow (and move) chunk by chunk.
    const qint64 size = d->buffer.size();
    d->buffer.resize(d->recordsEnd() + qint64(count) * length + 1);
    d->buffer.resize(size);
    QByteArray chunk;
    for (qint32 done = 0; done < count;) {
        const qint32 room = std::numeric_limits<qint32>::max() - d->records;
        if (room == 0)
            return Result::failure(QStringLiteral("the table is full"));
        const qint32 n = std::min({perChunk, count - done, room});
        const qint64 bytes = qint64(n) * length;
        chunk.fill(' ', bytes + 1);
        for (qint32 i = 0; i < n; ++i) {
            const QList<QString> values = valuesOf(done + i);
            if (values.size() > fieldCount())
                return Result::failure(QStringLiteral("%1 values for %2 fields").arg(values.size()).arg(fieldCount()));
            char *record = chunk.data() + qint64(i) * length;
            for (int f = 0; f < values.size(); ++f) {
                const FieldDescriptor &field = d->header.fields[f];
                if (Result error = d->format(field, values[f], record + field.offset); error.failed())
                    return error;
            }
        }
        chunk[bytes] = endMarker;

        // The records and the end marker go first; only then does the count
        // take them in, so a reader never counts a record that is not there
        // yet. The table here follows once the file has all of it.
        const qint64 at = d->recordsEnd();
        if (Result error = d->writeAt(at, chunk.constData(), chunk.size()); error.failed())
            return error;
        if (d->buffer.size() > at + bytes + 1 && !d->writer->resize(at + bytes + 1))
            return Result::failure(QStringLiteral("%1: %2").arg(d->path, d->writer->errorString()));
        if (Result error = d->writeCountAndDate(d->records + n); error.failed())
            return error;
        d->buffer.resize(at + bytes + 1);
        std::memcpy(d->buffer.data() + at, chunk.constData(), std::size_t(chunk.size()));
        d->records += n;
        syncView();
        done += n;
    }
    return {};
}

Result DbfTable::pack()
{
    return packImpl(-1, 0, {});
}

Result DbfTable::packImpl(int writeLimit, qint64 tornBytes, const std::function<void(int)> &beforeWrite)
{
    if (!d)
        return Result::failure(QStringLiteral("no table open"));
    if (d->path.isEmpty())
        return Result::failure(QStringLiteral("a table read from memory cannot be written"));
    // Start from the file as it is now: records appended since the open stay.
    const Result reread = d->readFile(true);
    syncView();
    if (reread.failed())
        return reread;

    Impl &t = *d;
    const qint64 length = t.header.recordLength;
    int writes = 0;
    auto step = [&](const std::function<bool()> &write) -> Result {
        if (writeLimit >= 0 && writes >= writeLimit)
            return Result::failure(QStringLiteral("pack stopped after %1 writes").arg(writes));
        if (beforeWrite)
            beforeWrite(writes);
        ++writes;
        return write() ? Result::success() : Result::failure(QStringLiteral("%1: %2").arg(t.path, t.writer->errorString()));
    };
    auto writeAt = [&](qint64 offset, const char *bytes, qint64 size) {
        if (writes == writeLimit && tornBytes > 0 && t.writer->seek(offset))
            t.writer->write(bytes, std::min(size, tornBytes));
        return step([&] { return t.writer->seek(offset) && t.writer->write(bytes, size) == size; });
    };

    // Moves record `from` into slot `to` (to < from). A process killed at
    // any moment leaves each kept record whole in one slot or the other: the
    // slot is hidden by its deletion mark before its bytes change (its own
    // record, if kept, sits whole in an earlier slot already), and shows
    // again only once the new bytes are all there.
    auto move = [&](qint32 from, qint32 to) -> Result {
        char *target = t.writableRecord(to);
        const char *source = t.writableRecord(from);
        if (*target != deletedMark) {
            if (Result error = writeAt(t.recordOffset(to), &deletedMark, 1); error.failed())
                return error;
            *target = deletedMark;
        }
        if (Result error = writeAt(t.recordOffset(to) + 1, source + 1, length - 1); error.failed())
            return error;
        std::memcpy(target + 1, source + 1, std::size_t(length - 1));
        if (Result error = writeAt(t.recordOffset(to), source, 1); error.failed())
            return error;
        *target = *source;
        return {};
    };

    Result error;
    if (QFile *file = t.openWriter(error); !file)
        return error;
    qint32 kept = 0;
    qint32 next = 1;
    // Records the manager appends meanwhile are taken in as well: before the
    // file is cut, its count is looked at again, a few times at most so that
    // a writer that never stops cannot hold the pack.
    for (int look = 0;; ++look) {
        for (; next <= t.records && error.ok(); ++next) {
            if (*t.writableRecord(next) == deletedMark)
                continue;
            ++kept;
            if (kept != next)
                error = move(next, kept);
        }
        qint32 present = 0;
        if (error.ok() && look < 16)
            error = t.countOnDisk(present);
        if (error.failed() || look == 16 || present <= t.records)
            break;
        const qint64 from = t.recordsEnd();
        const qint64 bytes = qint64(present - t.records) * length;
        t.buffer.resize(from + bytes);
        if (!t.writer->seek(from) || t.writer->read(t.buffer.data() + from, bytes) != bytes)
            error = Result::failure(QStringLiteral("%1: the records appended meanwhile cannot be read").arg(t.path));
        else
            t.records = present;
    }

    // The file is cut right behind the kept records before the count drops:
    // a reader meanwhile finds the old count, clamped to the records the
    // file now holds, and no partial record past them.
    t.records = kept;
    const qint64 end = t.recordsEnd();
    if (error.ok())
        error = step([&] { return t.writer->resize(end); });
    if (error.ok())
        error = writeAt(end, &endMarker, 1);
    if (error.ok()) {
        char fields[7];
        std::memcpy(fields, t.buffer.data() + 1, 7);
        putToday(fields);
        qToLittleEndian(quint32(kept), fields + 3);
        error = writeAt(1, fields, 7);
    }
    if (error.failed()) {
        // Whatever the file now holds, the table follows it, or closes.
        reloadOrClose();
        return error;
    }
    t.buffer.resize(end + 1);
    t.buffer.data()[end] = endMarker;
    putToday(t.buffer.data() + 1);
    qToLittleEndian(quint32(kept), t.buffer.data() + 4);
    t.dateWritten = false;
    syncView();
    return error;
}

Result DbfTable::create(const QString &path, const QList<FieldDescriptor> &fields, quint8 languageDriver)
{
    if (fields.isEmpty())
        return Result::failure(QStringLiteral("a table needs at least one field"));
    const qint64 headerLength = 32 + 32 * qint64(fields.size()) + 1;
    if (headerLength > 0xFFFF)
        return Result::failure(QStringLiteral("%1 fields are too many").arg(fields.size()));
    QByteArray header(headerLength + 1, '\0');
    qint64 recordLength = 1;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        FieldDescriptor f = fields[i];
        const QString name = QString::fromLatin1(f.name);
        if (f.name.isEmpty() || f.name.size() > 10 || f.name.contains('\0'))
            return Result::failure(QStringLiteral("field name \"%1\" must have 1 to 10 characters").arg(name));
        switch (f.type) {
        case 'C':
            if (f.length < 1 || f.length > 254)
                return Result::failure(QStringLiteral("character field %1 of %2 bytes").arg(name).arg(f.length));
            f.decimals = 0;
            break;
        case 'N':
        case 'F':
            if (f.length < 1 || f.length > 20 || f.decimals < 0 || (f.decimals > 0 && f.decimals > f.length - 2))
                return Result::failure(QStringLiteral("numeric field %1 of %2 bytes with %3 decimals")
                                               .arg(name).arg(f.length).arg(f.decimals));
            break;
        case 'D':
            f.length = 8;
            f.decimals = 0;
            break;
        case 'L':
            f.length = 1;
            f.decimals = 0;
            break;
        default:
            return Result::failure(QStringLiteral("field %1 has the unsupported type '%2'").arg(name).arg(QLatin1Char(f.type)));
        }
        char *p = header.data() + 32 + 32 * i;
        std::memcpy(p, f.name.constData(), std::size_t(f.name.size()));
        p[11] = f.type;
        p[16] = char(f.length);
        p[17] = char(f.decimals);
        recordLength += f.length;
    }
    if (recordLength > 0xFFFF)
        return Result::failure(QStringLiteral("a record of %1 bytes is too long").arg(recordLength));
    header[0] = 0x03;
    putToday(header.data() + 1);
    qToLittleEndian(quint16(headerLength), header.data() + 8);
    qToLittleEndian(quint16(recordLength), header.data() + 10);
    header[29] = char(languageDriver);
    header[headerLength - 1] = 0x0D;
    header[headerLength] = endMarker;

    const QString file = withDbfSuffix(path);
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(header) != header.size())
        return Result::failure(QStringLiteral("%1: %2").arg(file, out.errorString()));
    return {};
}

} // namespace vorn::store
