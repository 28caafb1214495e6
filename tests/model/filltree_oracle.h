#pragma once

// The fill pass written the plain way: one scan over the table, and for every
// new group a second scan from its first record to the end. Every field is read
// through FieldText on every visit, keys are remembered in one "|"-separated
// text and numbers are recognised by a regular expression. It is slow on
// purpose and shares no code with the model beyond the store, so tests and the
// benchmark can hold BuildScheduleRows against it.

#include "dbftable.h"
#include "schedulerows.h"
#include "tablelibrary.h"

#include <QRegularExpression>
#include <QString>

#include <cmath>
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

// Numeric text: white space, sign, digits with a decimal point, exponent.
inline std::optional<qint64> number(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\s*$)"));
    if (!pattern.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok && !std::isinf(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value);
    if (std::isinf(rounded) || std::fabs(rounded) > 1e15)
        return qint64(1) << 40;   // far beyond anything representable as a time
    return qint64(rounded);
}

// A number that a 32-bit count of seconds can hold; others are no value.
inline std::optional<qint64> int32Number(const QString &text)
{
    const std::optional<qint64> v = number(text);
    if (v && (*v > 2147483647 || *v < -2147483647 - 1))
        return std::nullopt;
    return v;
}

// Seconds as the grid shows them, with 16-bit hours; nullopt when they overflow.
inline std::optional<QString> secondsText(const QString &text)
{
    const std::optional<qint64> n = number(text);
    if (!n)
        return QString();
    if (*n > 2147483647 || *n < -2147483647 - 1)
        return std::nullopt;
    const qint64 h = *n / 3600;
    if (h * 360 > 32767 || h * 360 < -32768)
        return std::nullopt;
    const qint64 m = *n / 60 - h * 60;
    const qint64 s = *n - h * 3600 - m * 60;
    const auto part = [](qint64 v) {
        return v < 0 ? QStringLiteral("-%1").arg(-v, 2, 10, QLatin1Char('0'))
                     : QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
    };
    const QString result = part(h) + u':' + part(m) + u':' + part(s);
    return result == QLatin1String("00:00:00") ? QString() : result;
}

inline QString cellText(const QString &text)
{
    return secondsText(text).value_or(QString());
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
            const std::optional<qint64> v = int32Number(text);
            if (v && (aggregate == 0 || *v < aggregate))
                aggregate = *v;
        };
        const auto latest = [](qint64 &aggregate, const QString &text) {
            const std::optional<qint64> v = int32Number(text);
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
