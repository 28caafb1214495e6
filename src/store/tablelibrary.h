#pragma once

#include "dbftable.h"

#include <QList>
#include <QString>

namespace vorn::store {

// The table-library context the rest of the program works through: start a
// context, open the tables needed, read, close, release. Each user keeps one
// on its stack; the destructor releases whatever is still open, so an early
// return never leaks a table.
class TableContext {
public:
    // InitTableLibrary: "code4init() failed" when the library cannot start.
    // The store of this program always can; `started` is the start result
    // of a library that may not (a caller that wraps one, or a fault
    // injected to see what the user is shown).
    explicit TableContext(bool started = true);
    ~TableContext();  // ReleaseTableLibrary
    TableContext(const TableContext &) = delete;
    TableContext &operator=(const TableContext &) = delete;

    bool started() const;

    // OpenTable: opens `pathWithoutExtension` + ".dbf" into `table`; on failure
    // shows "Open Failed" (string id 60), all the user sees, and returns a
    // failure whose message says what went wrong, for logs and tests. A
    // context that did not start opens nothing.
    Result OpenTable(DbfTable &table, const QString &pathWithoutExtension);

    // Closes every table opened in this context (d4close ... code4close).
    void closeAll();

private:
    friend class DbfTable;
    void forget(DbfTable *table);
    void retarget(DbfTable *from, DbfTable *to);

    bool m_started = false;
    QList<DbfTable *> m_tables;
};

// FieldText: the content of one field of the current record as text; a
// content of 32768 bytes or more shows the five-line "CodeBase Error" box
// and reads as empty.
QString FieldText(const DbfTable &table, qint32 record, int position);

// Whether FieldText of this field is simply its record bytes decoded: not a
// memo-like field (its record holds a block reference) and too short to
// raise the message. Such fields can be read without the store's help, on
// any thread.
inline bool FieldTextIsPlain(const FieldDescriptor &field)
{
    const bool plainType = field.type == 'C' || field.type == 'N' || field.type == 'F'
        || field.type == 'D' || field.type == 'L';
    return plainType && field.length <= MaxFieldText;
}

// FieldNameText: the name of field `position`, at most 256 characters.
QString FieldNameText(const DbfTable &table, int position);

} // namespace vorn::store
