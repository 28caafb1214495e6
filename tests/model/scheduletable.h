#pragma once

// Builds schedule tables for the model and link tests and the benchmarks.

#include "dbftable.h"

#include <QStringList>

namespace vorn::testing {

// Eleven character fields of a schedule record, wide enough for any text here.
inline QList<store::FieldDescriptor> scheduleFields()
{
    QList<store::FieldDescriptor> fields;
    for (const char *name : {"PART", "PROCESS", "MACHINE", "ORDER", "STARTP", "FINISHP", "DURATIONP",
                             "STARTA", "FINISHA", "DURATIONA", "STATUSFIN"})
        fields.append({name, 'C', fields.size() < 4 ? 24 : 14});
    return fields;
}

// Where a record (from 1) starts in a table of scheduleFields(): the header,
// then records of 1 + 4 * 24 + 7 * 14 bytes.
constexpr qint64 scheduleRecordLength = 195;
constexpr qint64 scheduleRecordOffset(qint32 record)
{
    return 32 + 32 * 11 + 1 + (record - 1) * scheduleRecordLength;
}

// Creates path with a record per "Part;Process;...;StatusFinish" text (missing fields empty) and
// opens it into table, after a close, as another program would find it. Returns an error or "".
inline QString makeScheduleTable(store::DbfTable &table, const QString &path, const QStringList &records,
                                 quint8 languageDriver = 0x57,
                                 const QList<store::FieldDescriptor> &fields = scheduleFields())
{
    Result e = store::DbfTable::create(path, fields, languageDriver);
    if (e.ok())
        e = table.open(path);
    for (qsizetype i = 0; e.ok() && i < records.size(); ++i) {
        QStringList values = records[i].split(u';');
        values.resize(11);
        e = table.appendRecord(values);
    }
    table.close();
    if (e.ok())
        e = table.open(path);
    return e.message();
}

} // namespace vorn::testing
