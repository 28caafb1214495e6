#include "shellopen.h"

#include <QDesktopServices>

namespace vorn {

void ShellOpenFile(const QString &path, QWidget *owner)
{
    Q_UNUSED(owner)
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void OpenWebPage(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

} // namespace vorn
