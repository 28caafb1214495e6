#include "version.h"

namespace vorn {

QString VersionText()
{
    return QStringLiteral(VORN_VERSION_TEXT);
}

QString VersionYear()
{
    // __DATE__ is "Mmm dd yyyy": the year of the build.
    return QString::fromLatin1(&__DATE__[7], 4);
}

} // namespace vorn
