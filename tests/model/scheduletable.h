#pragma once

// Builds schedule tables for the model tests and benchmarks.

#include "dbftable.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace vorn::testing {

// Eleven character fields in the order of a schedule record, wide enough for
// any text the tests put there (blanks included).
inline QList<store::FieldDescriptor> scheduleFields(int fieldCount = 11)
{
    static const char *const names[] = {"PART", "PROCESS", "MACHINE", "ORDER", "STARTP", "FINISHP",
                                        "DURATIONP", "STARTA", "FINISHA", "DURATIONA", "STATUSFIN"};
    QList<store::FieldDescriptor> fields;
    for (int i = 0; i < fieldCount; ++i) {
        store::FieldDescriptor field;
        field.name = names[i];
        field.type = 'C';
        field.length = i < 4 ? 24 : 14;
        fields.append(field);
    }
    return fields;
}

// A record from a compact text: fields separated by ";", missing ones empty.
inline QList<QString> recordFrom(const QString &text, int fieldCount = 11)
{
    QList<QString> values = text.split(u';');
    while (values.size() < fieldCount)
        values.append(QString());
    values.resize(fieldCount);
    return values;
}

// Creates the table at path and opens it into table; returns an error text or empty.
inline QString makeScheduleTable(store::DbfTable &table, const QString &path,
                                 const QList<QList<QString>> &records, quint8 languageDriver = 0x57,
                                 int fieldCount = 11)
{
    if (const store::StoreError e = store::DbfTable::create(path, scheduleFields(fieldCount), languageDriver); !e)
        return e.message;
    if (const store::StoreError e = table.open(path); !e)
        return e.message;
    for (const QList<QString> &record : records) {
        if (const store::StoreError e = table.appendRecord(record); !e)
            return e.message;
    }
    // Reopen so that the reads see the file as another program would leave it.
    table.close();
    if (const store::StoreError e = table.open(path); !e)
        return e.message;
    return {};
}

} // namespace vorn::testing
