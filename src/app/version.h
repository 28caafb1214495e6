#pragma once

#include <QString>

namespace vorn {

// The program's version text (at most 64 characters) and its four-digit year.
QString VersionText();
QString VersionYear();

} // namespace vorn
