#pragma once

#include "result.h"

#include <QString>

class QFile;

namespace vorn {

// The plain file `path` names: `path` itself, else a plain file of the same
// folder whose name matches without regard to case (files copied from
// Windows arrive as "SCHEDULER.DBF", "vornsched.ini" and the like); empty
// when there is none. Pipes, devices and folders never match: opening one
// would wait or fail where a file was expected.
QString FindFileIgnoringCase(const QString &path);

// Opens `path` for reading when it is a plain file (a link to one counts),
// never waiting: a pipe there would block the open and a device would never
// end. A failure carries the system's reason, or an empty message when
// something other than a plain file stands there.
Result OpenPlainFile(QFile &file, const QString &path);

} // namespace vorn
