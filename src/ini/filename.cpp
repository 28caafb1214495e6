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

Result OpenPlainFile(QFile &file, const QString &path)
{
#if defined(Q_OS_UNIX)
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Result::failure(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat info {};
    const bool plain = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (plain && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return Result::success();
    ::close(fd);
    return Result::failure(plain ? file.errorString() : QString());
#else
    if (!QFileInfo(path).isFile())
        return Result::failure(QString());
    file.setFileName(path);
    if (file.open(QIODevice::ReadOnly))
        return Result::success();
    return Result::failure(file.errorString());
#endif
}

} // namespace vorn
