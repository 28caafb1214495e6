#include "settings.h"

#include "ansicodepage.h"

#include <QLocale>

#include <algorithm>
#include <limits>

namespace vorn {

namespace {

// A stored whole number as the 16-bit field keeps it. 0 stands for a missing
// key, and so does a value outside the 16-bit range, which the field cannot
// hold.
qint16 readShort(const QString &file, const QString &section, const QString &key)
{
    const int value = ReadIniInt(file, section, key, 0);
    if (value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        return 0;
    return qint16(value);
}

// A column switch is a check box value, kept as stored: 1 checks the box,
// 2 greys it (its column hidden), 0 takes the default.
qint16 readVisible(const QString &file, const char *key, qint16 fallback)
{
    const qint16 value = readShort(file, SettingsSection, QString::fromLatin1(key));
    return value == 0 ? fallback : value;
}

// "BaseDate" and "BaseTime": the stored text cut to `length`, or `fallback`
// when the key is missing, empty or a single blank. A shorter stored text is
// shown as it is.
QString readBaseText(const QString &file, const char *key, int length, const QString &fallback)
{
    const QString value = ReadIniString(file, SettingsSection, QString::fromLatin1(key), QString(), 25);
    if (value.isEmpty() || value == u" ")
        return fallback;
    return value.left(length);
}

} // namespace

QString BaseDateText(const QDate &date)
{
    return QLocale::c().toString(date, QStringLiteral("ddd MMM dd yyyy"));
}

QString BaseTimeText(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}

void LoadSettings(AppState &state, const QDateTime &now)
{
    const QString &file = state.SettingsFile;

    // A negative period cannot drive the timer; it counts as missing.
    const qint16 timer = readShort(file, SettingsSection, QStringLiteral("Timer"));
    state.TimerInterval = timer > 0 ? timer : qint16(500);

    state.PlanBegVisible = readVisible(file, "PlanBegVisible", 0);
    state.PlanEndVisible = readVisible(file, "PlanEndVisible", 0);
    state.PlanDurVisible = readVisible(file, "PlanDurVisible", 1);
    state.ActBegVisible = readVisible(file, "ActBegVisible", 0);
    state.ActEndVisible = readVisible(file, "ActEndVisible", 0);
    state.ActDurVisible = readVisible(file, "ActDurVisible", 1);

    // The combo has eight entries; any other index falls back to 1 minute.
    const qint16 interval = readShort(file, SettingsSection, QStringLiteral("Interval"));
    state.IntervalIndex = (interval >= 0 && interval <= 7) ? interval : qint16(0);

    state.BaseDate = readBaseText(file, "BaseDate", 15, BaseDateText(now.date()));
    state.BaseTime = readBaseText(file, "BaseTime", 8, BaseTimeText(now.time()));

    // Read only, like "Timer": the code page the plant's programs write
    // unmarked tables in, where that is not this system's. Missing or 0: the
    // system's.
    SetAnsiCodePage(ReadIniInt(file, SettingsSection, QStringLiteral("AnsiCodePage"), 0));
}

void LoadSettings(AppState &state)
{
    LoadSettings(state, QDateTime::currentDateTime());
}

Result SaveSettings(const AppState &state, const std::array<int, 6> &showCol,
                    int intervalIndex, qint16 sortOrder)
{
    static const char *const keys[6] = {"PlanBegVisible", "PlanEndVisible", "PlanDurVisible",
                                        "ActBegVisible",  "ActEndVisible",  "ActDurVisible"};
    QList<std::pair<QString, QString>> values;
    const auto add = [&](const QString &key, int value) { values.append({key, QString::number(qint16(value))}); };
    for (std::size_t i = 0; i < showCol.size(); ++i)
        add(QString::fromLatin1(keys[i]), showCol[i]);
    add(QStringLiteral("Interval"), intervalIndex);
    add(QStringLiteral("SortOrder"), sortOrder);
    return WriteIniStrings(state.SettingsFile, SettingsSection, values);
}

OverlaySettings LoadOverlaySettings(const QString &settingsFile)
{
    OverlaySettings settings;
    settings.liveOverlays = ReadIniInt(settingsFile, SettingsSection, QStringLiteral("LiveOverlays"), 1) != 0;
    const int minutes = ReadIniInt(settingsFile, SettingsSection, QStringLiteral("NoChangeMinutes"), 10);
    settings.noChangeMinutes = qint16(std::clamp(minutes, 0, 24 * 60));
    settings.collapsedGroups =
        ReadIniString(settingsFile, SettingsSection, QStringLiteral("CollapsedGroups"), QString(), 1 << 20);
    return settings;
}

Result SaveOverlaySettings(const QString &settingsFile, const OverlaySettings &values,
                           const OverlaySettings &loaded)
{
    QList<std::pair<QString, QString>> changed;
    if (values.liveOverlays != loaded.liveOverlays)
        changed.append({QStringLiteral("LiveOverlays"), values.liveOverlays ? QStringLiteral("1") : QStringLiteral("0")});
    if (values.noChangeMinutes != loaded.noChangeMinutes)
        changed.append({QStringLiteral("NoChangeMinutes"), QString::number(values.noChangeMinutes)});
    if (values.collapsedGroups != loaded.collapsedGroups)
        changed.append({QStringLiteral("CollapsedGroups"), values.collapsedGroups});
    if (changed.isEmpty())
        return Result::success();
    return WriteIniStrings(settingsFile, SettingsSection, changed);
}

qint16 ReadSortOrder(const QString &settingsFile)
{
    // Spelled as the original program reads it; sections match without
    // regard to case, so this is the same section as SettingsSection.
    return readShort(settingsFile, QStringLiteral("Scheduler"), QStringLiteral("SortOrder")) != 0 ? kSortByMachine
                                                                                                  : kSortByPart;
}

} // namespace vorn
