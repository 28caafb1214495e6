#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <memory>

namespace vorn::store {

// One field descriptor of a dBase table.
struct FieldDescriptor {
    QByteArray name;     // without the terminating zero
    char type = 'C';     // 'C', 'N', 'F', 'D', 'L', 'M', ...
    int length = 0;      // bytes in the record
    int decimals = 0;
    int offset = 0;      // from the start of the record, after the deletion mark
};

// Result of an operation on a table file: ok, or a message saying what went
// wrong, where and with which bytes.
struct StoreError {
    bool ok = true;
    QString message;
    explicit operator bool() const { return ok; }
    static StoreError success() { return {}; }
    static StoreError failure(QString text) { return {false, std::move(text)}; }
};

// A dBase III/IV (and FoxPro character-field) table read from a file that
// another process may be writing. The file's bytes are read once into one
// buffer at open; records are then views into it. No lock is taken.
class DbfTable {
public:
    DbfTable();
    ~DbfTable();
    DbfTable(DbfTable &&) noexcept;
    DbfTable &operator=(DbfTable &&) noexcept;

    // Opens path (with or without ".dbf"); the exact name first, then a
    // case-insensitive match in the same folder. A header that cannot be
    // trusted fails the open.
    StoreError open(const QString &path);
    void close();
    bool isOpen() const;
    QString filePath() const;

    // Records present: the header's count, clamped to the complete records in the file.
    qint32 recordCount() const;
    int fieldCount() const;
    const FieldDescriptor &field(int position) const;   // position 1..fieldCount()
    quint8 languageDriver() const;

    // Raw bytes of field `position` (1-based) of record `record` (1-based) as
    // stored, blank padding included. A record beyond the end reads as empty.
    QByteArrayView rawField(qint32 record, int position) const;
    bool isDeleted(qint32 record) const;

    // Content of a field as the program sees it: memo fields resolved from the
    // .dbt/.fpt file, other fields their raw bytes; decoded with the table's
    // code page. No trimming.
    QByteArray fieldContent(qint32 record, int position) const;
    QString decode(QByteArrayView bytes) const;
    QByteArray encode(const QString &text) const;

    // Writing (the file is rewritten in place).
    StoreError markDeleted(qint32 record);
    StoreError pack();
    StoreError appendRecord(const QList<QString> &values);
    StoreError setField(qint32 record, int position, const QString &value);

    // Creates a new dBase III table with the given fields (offsets are computed).
    static StoreError create(const QString &path, const QList<FieldDescriptor> &fields,
                             quint8 languageDriver = 0x57);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace vorn::store
