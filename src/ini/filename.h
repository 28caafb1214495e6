#pragma once

#include <QString>

namespace vorn {

// The plain file `path` names: `path` itself, else a plain file of the same
// folder whose name matches without regard to case (files copied from
// Windows arrive as "SCHEDULER.DBF", "vornsched.ini" and the like); empty
// when there is none. Pipes, devices and folders never match: opening one
// would wait or fail where a file was expected.
QString FindFileIgnoringCase(const QString &path);

} // namespace vorn
