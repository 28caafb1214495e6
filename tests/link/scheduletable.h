#pragma once

// Builds small schedule tables for the link tests: eleven character fields,
// so that every field holds exactly the text a case needs (letters in a time
// field, leading blanks, an empty value).

#include "dbftable.h"

#include <QStringList>

namespace vorn::test {

inline QList<store::FieldDescriptor> scheduleFields()
{
    QList<store::FieldDescriptor> fields;
    for (const char *name : {"PART", "PROCESS", "MACHINE", "ORDER", "STARTP", "FINISHP", "DURATIONP",
                             "STARTA", "FINISHA", "DURATIONA", "STATUSFINI"}) {
        store::FieldDescriptor field;
        field.name = name;
        field.type = 'C';
        field.length = 12;
        fields.append(field);
    }
    return fields;
}

// Creates `path` with one record per entry; each entry holds the time fields
// "StartP,FinishP,StartA,FinishA" (the stored durations are set to 999 so that
// a refresh that showed them would stand out).
inline bool writeScheduleTable(const QString &path, const QStringList &times)
{
    if (!store::DbfTable::create(path, scheduleFields()))
        return false;
    store::DbfTable table;
    if (!table.open(path))
        return false;
    int number = 0;
    for (const QString &entry : times) {
        const QStringList t = entry.split(QLatin1Char(','));
        if (t.size() != 4)
            return false;
        ++number;
        const QString part = QStringLiteral("P%1").arg(number);
        if (!table.appendRecord({part, QStringLiteral("Milling"), QStringLiteral("Mill1"), QString(),
                                 t[0], t[1], QStringLiteral("999"), t[2], t[3], QStringLiteral("999"),
                                 QStringLiteral("Running")}))
            return false;
    }
    return true;
}

} // namespace vorn::test
