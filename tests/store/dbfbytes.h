#pragma once

// Builds table files byte by byte, so that tests can lay out damaged and
// unusual tables that no writer would produce.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

namespace vorn::store::testing {

struct RawField {
    QByteArray name;     // up to 11 bytes; 11 leaves no terminating zero
    char type = 'C';
    int length = 1;
    int decimals = 0;
};

struct RawTable {
    quint8 version = 0x03;
    quint8 languageDriver = 0x57;
    QList<RawField> fields;
    QList<QByteArray> records;      // each a whole record, deletion mark first
    qint64 declaredRecords = -1;     // -1: the number of records
    int recordLength = -1;           // -1: 1 + the field lengths
    int headerLength = -1;           // -1: computed
    int backlinkBytes = 0;           // Visual FoxPro's 263 bytes after the terminator
    bool terminator = true;
    bool endMarker = true;

    // A record from field values, each blank-padded (or cut) to its field.
    QByteArray record(const QList<QByteArray> &values, char mark = ' ') const
    {
        QByteArray out(1, mark);
        for (int i = 0; i < fields.size(); ++i) {
            QByteArray v = i < values.size() ? values[i] : QByteArray();
            v = v.left(fields[i].length);
            out += v + QByteArray(fields[i].length - v.size(), ' ');
        }
        return out;
    }

    QByteArray bytes() const
    {
        int fieldBytes = 0;
        for (const RawField &f : fields)
            fieldBytes += f.length;
        const int recLen = recordLength >= 0 ? recordLength : 1 + fieldBytes;
        const int hdrLen = headerLength >= 0 ? headerLength
                                             : 32 + 32 * int(fields.size()) + (terminator ? 1 : 0) + backlinkBytes;
        const qint64 count = declaredRecords >= 0 ? declaredRecords : records.size();
        QByteArray out(32, '\0');
        out[0] = char(version);
        out[1] = char(124);
        out[2] = 1;
        out[3] = 2;
        for (int i = 0; i < 4; ++i)
            out[4 + i] = char((count >> (8 * i)) & 0xFF);
        out[8] = char(hdrLen & 0xFF);
        out[9] = char(hdrLen >> 8);
        out[10] = char(recLen & 0xFF);
        out[11] = char(recLen >> 8);
        out[29] = char(languageDriver);
        for (const RawField &f : fields) {
            QByteArray d(32, '\0');
            d.replace(0, f.name.size(), f.name);
            d[11] = f.type;
            d[16] = char(f.length & 0xFF);
            d[17] = char(f.decimals);
            out += d;
        }
        if (terminator)
            out += char(0x0D);
        out += QByteArray(backlinkBytes, '\0');
        // A header length that points elsewhere than the descriptors end is
        // part of some tests: pad or cut to it.
        out = out.left(hdrLen);
        out += QByteArray(hdrLen - out.size(), '\0');
        for (const QByteArray &r : records)
            out += r;
        if (endMarker)
            out += char(0x1A);
        return out;
    }
};

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace vorn::store::testing
