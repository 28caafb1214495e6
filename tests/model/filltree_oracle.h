#pragma once

// The fill pass written the plain way, slow on purpose: a scan of the table and
// a second one from each new group's first record to the end, every field read
// through FieldText, keys remembered in one "|"-separated text. It shares
// nothing with the model's grouping, so tests and the benchmark can hold
// BuildScheduleRows against it; the time text comes from the model.

#include "dbftable.h"
#include "schedulerows.h"
#include "secondstext.h"
#include "tablelibrary.h"

#include <algorithm>

namespace vorn::oracle {

// Blanks only: a tab is kept.
inline QString trim(QString text, bool leading = true)
{
    while (leading && text.startsWith(u' '))
        text.remove(0, 1);
    while (text.endsWith(u' '))
        text.chop(1);
    return text;
}

// Seen: equal to a piece of the list, blanks aside (a case-blind prefilter could not change that).
inline bool keyListContains(const QString &seenKeys, const QString &key)
{
    const QStringList pieces = seenKeys.split(u'|');
    return std::any_of(pieces.cbegin(), pieces.cend(), [&](const QString &p) { return trim(p) == trim(key); });
}

inline QString field(const store::DbfTable &table, qint32 record, int position)
{
    return trim(store::FieldText(table, record, position), false);
}

inline QString partLabel(const store::DbfTable &table, qint32 record)
{
    const QString order = field(table, record, 4);
    return field(table, record, 1) + (order.isEmpty() ? QString() : u'(' + order + u')');
}

inline QString groupKey(const store::DbfTable &table, qint32 record, qint16 sortOrder)
{
    return sortOrder == 0 ? partLabel(table, record) : sortOrder == 1 ? field(table, record, 3) : QString();
}

inline std::vector<model::ScheduleRow> fillRows(const store::DbfTable &table, qint16 sortOrder)
{
    std::vector<model::ScheduleRow> rows;
    QString seenKeys;
    const qint32 n = table.recordCount();
    for (qint32 i = 1; i <= n; ++i) {
        const QString key = groupKey(table, i, sortOrder);
        if (key.isEmpty() || keyListContains(seenKeys, key))
            continue;
        seenKeys += key + u'|';
        const size_t groupRow = rows.size();
        rows.push_back({key, 0, i, {}});
        // Earliest planned start, latest planned finish, the same for actual
        // (0: none yet); slot says which one a time field feeds.
        qint64 aggregate[4] = {};
        static const int slot[6] = {0, 1, -1, 2, 3, -1};
        for (qint32 j = i; j <= n; ++j) {
            if (groupKey(table, j, sortOrder) != key)
                continue;
            model::ScheduleRow row{sortOrder == 0 ? field(table, j, 3) : partLabel(table, j), 1, j, {}};
            for (int k = 0; k < 6; ++k) {
                const QString text = field(table, j, 5 + k);
                row.times[size_t(k)] = model::SecondsText(QStringView(text));
                const std::optional<qint32> v = model::SecondsValue(QStringView(text));
                if (v && slot[k] >= 0) {
                    qint64 &a = aggregate[slot[k]];
                    if (a == 0 || (slot[k] % 2 == 0 ? *v < a : *v > a))
                        a = *v;
                }
            }
            rows.push_back(row);
        }
        const qint64 summary[6] = {aggregate[0], aggregate[1], aggregate[1] - aggregate[0],
                                   aggregate[2], aggregate[3], aggregate[3] - aggregate[2]};
        for (int k = 0; k < 6; ++k)
            rows[groupRow].times[size_t(k)] = model::SecondsText(QStringView(QString::number(summary[k])));
    }
    return rows;
}

} // namespace vorn::oracle
