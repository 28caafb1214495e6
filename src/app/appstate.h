#pragma once

#include <QString>
#include <QtGlobal>

namespace vorn {

// Values of AppState::SortOrder. Any other value forms no group; the load
// sets SortWhileLoading so that no tick refreshes before the first fill.
inline constexpr qint16 kSortByPart = 0;
inline constexpr qint16 kSortByMachine = 1;
inline constexpr qint16 kSortWhileLoading = 10;

// The one program-wide record of shared state. It is a plain struct handed by
// reference to whatever needs it; nothing reaches it through a global.
//
// Flags the original design holds as 16-bit booleans (True = -1) are plain
// bool here; modes, indexes and settings keep their 16-bit width because the
// settings file and the sort logic depend on that range.
struct AppState {
    // Mode
    qint16 Offline = 0;          // 0 online, 1 offline
    QString LoadedName;          // archived copy shown offline; empty when none
    bool ReloadRequested = false;
    bool UpdatesStopped = false;
    bool CloseRequested = false;
    QString CommandText;         // command line in front of the placement switches
    qint16 SortOrder = kSortByPart;

    // Paths; every folder ends in "/" and ".." is left as it is.
    QString WorkFolder;
    QString DataFolder;
    QString SettingsFile;

    // Settings file values
    qint16 TimerInterval = 500;
    qint16 PlanBegVisible = 0;
    qint16 PlanEndVisible = 0;
    qint16 PlanDurVisible = 1;
    qint16 ActBegVisible = 0;
    qint16 ActEndVisible = 0;
    qint16 ActDurVisible = 1;
    qint16 IntervalIndex = 0;
    QString BaseDate;
    QString BaseTime;

    // Time scale: the current interval in minutes as the combo shows it;
    // empty until the interval is first applied.
    QString IntervalText;
};

} // namespace vorn
