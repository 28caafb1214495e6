#pragma once

#include "appstate.h"

#include <QString>

namespace vorn {

// The main window's title for the current mode: text 48, CommandText, text 62,
// then "On-Line", "Off-Line" or "Off-Line: " with the copy's name.
QString TitleText(const AppState &state);

} // namespace vorn
