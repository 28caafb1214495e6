#include "dbfheader.h"

#include <QtEndian>

#include <algorithm>
#include <limits>

namespace vorn::store {

namespace {

constexpr int prefixLength = 32;      // fixed part in front of the field descriptors
constexpr int descriptorLength = 32;
constexpr char descriptorEnd = 0x0D;


bool knownVersion(quint8 version)
{
    switch (version) {
    case 0x03:  // dBase III / IV without memo
    case 0x83:  // dBase III with memo
    case 0x8B:  // dBase IV with memo
    case 0x8E:  // dBase IV with SQL table
    case 0x43: case 0x63: case 0xCB:  // dBase IV SQL system tables
    case 0x30: case 0x31: case 0x32:  // Visual FoxPro
    case 0xF5:  // FoxPro 2 with memo
    case 0xFB:  // FoxBASE
        return true;
    default:
        return false;
    }
}

QString hexByte(quint8 b)
{
    return QStringLiteral("0x%1").arg(b, 2, 16, QLatin1Char('0'));
}

} // namespace

MemoKind DbfHeader::memoKind() const
{
    switch (version) {
    case 0x8B: case 0x8E: case 0xCB:
        return MemoKind::DBase4;
    case 0x30: case 0x31: case 0x32: case 0xF5: case 0xFB:
        return MemoKind::FoxPro;
    default:
        return MemoKind::DBase3;
    }
}

bool DbfHeader::binaryMemoBlocks() const
{
    return version == 0x30 || version == 0x31 || version == 0x32;
}

qint32 DbfHeader::completeRecords(qint64 fileSize) const
{
    if (recordLength <= 0 || fileSize <= headerLength)
        return 0;
    const qint64 present = (fileSize - headerLength) / recordLength;
    const qint64 count = std::min<qint64>(declaredRecords, present);
    return qint32(std::min<qint64>(count, std::numeric_limits<qint32>::max()));
}

Result DbfHeader::parse(QByteArrayView bytes, DbfHeader &header)
{
    header = DbfHeader();
    if (bytes.size() < prefixLength)
        return Result::failure(QStringLiteral("only %1 bytes, shorter than a table header").arg(bytes.size()));

    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    header.version = p[0];
    if (!knownVersion(header.version))
        return Result::failure(QStringLiteral("unknown version byte %1").arg(hexByte(header.version)));
    header.declaredRecords = qFromLittleEndian<quint32>(p + 4);
    header.headerLength = qFromLittleEndian<quint16>(p + 8);
    header.recordLength = qFromLittleEndian<quint16>(p + 10);
    header.languageDriver = p[29];

    if (header.headerLength < prefixLength + 1)
        return Result::failure(QStringLiteral("header length %1 leaves no room for a field").arg(header.headerLength));
    if (header.headerLength > bytes.size())
        return Result::failure(QStringLiteral("header length %1 but only %2 bytes present")
                                       .arg(header.headerLength).arg(bytes.size()));
    if (header.recordLength < 2)
        return Result::failure(QStringLiteral("record length %1").arg(header.recordLength));

    // The descriptors run up to the 0x0D terminator; Visual FoxPro puts a
    // 263-byte backlink after it, which the header length covers.
    struct Raw { int length; int high; };
    QList<Raw> raw;
    for (int at = prefixLength; at + descriptorLength <= header.headerLength && p[at] != descriptorEnd;
         at += descriptorLength) {
        FieldDescriptor field;
        // A name of the full eleven bytes has no terminating zero.
        const uchar *name = p + at;
        const auto nameLength = std::find(name, name + 11, 0) - name;
        field.name = QByteArray(reinterpret_cast<const char *>(name), nameLength);
        field.type = char(p[at + 11]);
        field.length = p[at + 16];
        field.decimals = p[at + 17];
        raw.append({field.length, field.type == 'C' ? int(p[at + 17]) : 0});
        header.fields.append(std::move(field));
    }
    if (header.fields.isEmpty())
        return Result::failure(QStringLiteral("no field descriptors"));

    // Clipper and FoxPro keep character fields longer than 255 bytes by
    // storing the high byte of the length in the decimals. Plain lengths win
    // whenever they fill the record, since some writers leave junk there.
    qint64 plain = 1, extended = 1;
    for (const Raw &r : raw) {
        plain += r.length;
        extended += r.length + 256 * r.high;
    }
    const bool useExtended = plain != header.recordLength && extended == header.recordLength;

    int offset = 1;
    for (qsizetype i = 0; i < header.fields.size(); ++i) {
        FieldDescriptor &field = header.fields[i];
        if (useExtended && field.type == 'C') {
            field.length += 256 * raw[i].high;
            field.decimals = 0;
        }
        field.offset = offset;
        if (offset + field.length > header.recordLength) {
            return Result::failure(QStringLiteral("field %1 (%2) at offset %3 with length %4 reaches past the record length %5")
                                           .arg(i + 1).arg(QString::fromLatin1(field.name))
                                           .arg(offset).arg(field.length).arg(header.recordLength));
        }
        offset += field.length;
    }
    return Result::success();
}

} // namespace vorn::store
