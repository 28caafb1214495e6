#include "filename.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

bool OpenPlainFile(QFile &file, const QString &path, QString *error)
{
#if defined(Q_OS_UNIX)
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat info {};
    const bool plain = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (plain && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    if (error)
        *error = plain ? file.errorString() : QString();
    return false;
#else
    if (!QFileInfo(path).isFile()) {
        if (error)
            error->clear();
        return false;
    }
    file.setFileName(path);
    if (file.open(QIODevice::ReadOnly))
        return true;
    if (error)
        *error = file.errorString();
    return false;
#endif
}

} // namespace vorn
