#pragma once

// The fill pass written the plain way: one scan over the table, and for every
// new group a second scan from its first record to the end. Every field is read
// through FieldText on every visit and keys are remembered in one "|"-separated
// text. It is slow on purpose and shares nothing with the model's grouping, so
// tests and the benchmark can hold BuildScheduleRows against it; the time text
// it borrows from the model has tests of its own.

#include "dbftable.h"
#include "schedulerows.h"
#include "secondstext.h"
#include "tablelibrary.h"

#include <QString>

#include <optional>

namespace vorn::oracle {

inline QString rtrim(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == u' ')
        --end;
    return text.left(end);
}

inline QString trim(const QString &text)
{
    qsizetype begin = 0;
    while (begin < text.size() && text[begin] == u' ')
        ++begin;
    return rtrim(text.mid(begin));
}

inline QString cellText(const QString &text)
{
    return model::SecondsText(QStringView(text));
}

inline bool keyListContains(const QString &seenKeys, const QString &key)
{
    const QString wanted = trim(key);
    // Candidates are found without regard to case; the final test is exact.
    if (!seenKeys.contains(wanted, Qt::CaseInsensitive))
        return false;
    for (const QString &piece : seenKeys.split(u'|')) {
        if (trim(piece) == wanted)
            return true;
    }
    return false;
}

inline QString field(const store::DbfTable &table, qint32 record, int position)
{
    if (position > table.fieldCount())
        return {};
    return rtrim(store::FieldText(table, record, position));
}

inline QString partLabel(const store::DbfTable &table, qint32 record)
{
    const QString part = field(table, record, 1);
    const QString order = field(table, record, 4);
    return order.isEmpty() ? part : part + u'(' + order + u')';
}

inline std::vector<model::ScheduleRow> fillRows(const store::DbfTable &table, qint16 sortOrder)
{
    std::vector<model::ScheduleRow> rows;
    QString seenKeys;
    const qint32 n = table.recordCount();
    for (qint32 i = 1; i <= n; ++i) {
        QString key;
        if (sortOrder == 0)
            key = rtrim(partLabel(table, i));
        else if (sortOrder == 1)
            key = field(table, i, 3);
        if (key.isEmpty() || keyListContains(seenKeys, key))
            continue;
        seenKeys += key + u'|';
        rows.push_back({key, 0, i, {}});
        const size_t groupRow = rows.size() - 1;

        qint64 startP = 0, finishP = 0, startA = 0, finishA = 0;
        const auto earliest = [](qint64 &aggregate, const QString &text) {
            const std::optional<qint32> v = model::SecondsValue(QStringView(text));
            if (v && (aggregate == 0 || *v < aggregate))
                aggregate = *v;
        };
        const auto latest = [](qint64 &aggregate, const QString &text) {
            const std::optional<qint32> v = model::SecondsValue(QStringView(text));
            if (v && (aggregate == 0 || *v > aggregate))
                aggregate = *v;
        };
        for (qint32 j = i; j <= n; ++j) {
            const QString recordKey = sortOrder == 0 ? rtrim(partLabel(table, j)) : field(table, j, 3);
            if (recordKey != key)
                continue;
            model::ScheduleRow row;
            row.label = sortOrder == 0 ? field(table, j, 3) : partLabel(table, j);
            row.level = 1;
            row.record = j;
            QString times[6];
            for (int k = 0; k < 6; ++k) {
                times[k] = field(table, j, 5 + k);
                row.times[size_t(k)] = cellText(times[k]);
            }
            earliest(startP, times[0]);
            latest(finishP, times[1]);
            earliest(startA, times[3]);
            latest(finishA, times[4]);
            rows.push_back(row);
        }
        const qint64 summary[6] = {startP, finishP, finishP - startP, startA, finishA, finishA - startA};
        for (int k = 0; k < 6; ++k)
            rows[groupRow].times[size_t(k)] = cellText(QString::number(summary[k]));
    }
    return rows;
}

} // namespace vorn::oracle
