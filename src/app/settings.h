#pragma once

#include "appstate.h"
#include "inifile.h"

#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <array>

namespace vorn {

// The one section of the settings file that the program reads and writes.
inline const QString SettingsSection = QStringLiteral("SCHEDULER");

// Reads "Timer" to "BaseTime" from section "SCHEDULER" of state.SettingsFile
// into `state`. Missing keys and stored zeros give the defaults (500 ms, only
// the two duration columns, 1-minute interval); a missing "BaseDate" or
// "BaseTime" gives the date and time of `now`. The extra key "AnsiCodePage"
// sets the process's ANSI code page (SetAnsiCodePage); missing, the system's.
void LoadSettings(AppState &state, const QDateTime &now);

// The same at the current date and time.
void LoadSettings(AppState &state);

// Writes the six column switches (check box values 0, 1 or 2, in the order
// PlanBeg, PlanEnd, PlanDur, ActBeg, ActEnd, ActDur), "Interval" and
// "SortOrder", keeping the rest of the file. The caller may ignore a failure: the next start then
// simply uses the defaults.
Result SaveSettings(const AppState &state, const std::array<int, 6> &showCol,
                    int intervalIndex, qint16 sortOrder);

// Settings of the live overlays: extra keys of section "SCHEDULER" that
// nothing else reads.
struct OverlaySettings {
    bool liveOverlays = true;      // "LiveOverlays": any value but 0 shows them
    qint16 noChangeMinutes = 10;   // "NoChangeMinutes": 0 never warns
    QString collapsedGroups;       // "CollapsedGroups"
    friend bool operator==(const OverlaySettings &, const OverlaySettings &) = default;
};
OverlaySettings LoadOverlaySettings(const QString &settingsFile);
// Writes only the keys whose values differ from `loaded` (what the file gave
// at start), so that a file stays untouched while nothing was changed.
Result SaveOverlaySettings(const QString &settingsFile, const OverlaySettings &values,
                           const OverlaySettings &loaded);

// The grouping kept in the settings file: 1 (by machine) for any stored
// value but 0, else 0 (by part).
qint16 ReadSortOrder(const QString &settingsFile);

// "ddd mmm dd yyyy" with English names and "hh:mm:ss" (24 hours), the forms
// the status bar shows when the file gives no base date or time.
QString BaseDateText(const QDate &date);
QString BaseTimeText(const QTime &time);

} // namespace vorn
