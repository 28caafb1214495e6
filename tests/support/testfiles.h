#pragma once

// Whole-file reads and writes for the suites that lay out files on disk.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vorn::testing {

// Creates the folder first; false when any byte did not reach the file.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A missing file reads as "<missing>", so that it never passes for an empty one.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace vorn::testing
