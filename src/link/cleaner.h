#pragma once

#include "appstate.h"

#include <QtGlobal>

#include <optional>

namespace vorn {

// The table side of the Clean command: in a table context of its own, opens
// the live table (DataFolder + "Scheduler"), marks every record deleted,
// packs and closes. Returns whether the table opened; when it did not, the
// open has already shown "Open Failed" and nothing was deleted.
bool CleanLiveTable(const AppState &state);

// The record count of the live table, read in a context of its own, for the
// wait after a clean; nullopt when the table did not open ("Open Failed"
// shown).
std::optional<qint32> LiveRecordCount(const AppState &state);

} // namespace vorn
