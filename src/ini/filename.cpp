#include "filename.h"

#include <QDir>
#include <QFileInfo>

namespace vorn {

QString FindFileIgnoringCase(const QString &path)
{
    const QFileInfo info(path);
    if (info.isFile())
        return path;
    const QDir dir = info.dir();
    const QString wanted = info.fileName();
    if (wanted.isEmpty() || !dir.exists())
        return {};
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString &name : names) {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0 && QFileInfo(dir.filePath(name)).isFile())
            return dir.filePath(name);
    }
    return {};
}

} // namespace vorn
