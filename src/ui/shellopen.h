#pragma once

#include <QString>
#include <QUrl>

class QWidget;

namespace vorn {

// The shell's "open" of a file (the manual): whatever the desktop opens that
// kind of file with. Nothing is reported when it fails. `owner` is the window
// the system's own boxes, if any, belong to.
void ShellOpenFile(const QString &path, QWidget *owner);

// A web page in the browser. Nothing is reported when it fails.
void OpenWebPage(const QUrl &url);

} // namespace vorn
