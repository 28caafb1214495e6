#pragma once

// Whole-file reads and writes for the suites that lay out files on disk.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

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

// A whole output against its stored copy in the suite's data folder: one case then checks every
// byte, where picked fields let a fault through beside them. Empty when they match; otherwise the
// first differing line, and the output is left as NAME.actual in the working folder for a diff.
// VORN_UPDATE_STORED=1 rewrites the stored copy instead; read its diff before committing it.
inline QString differenceFromStored(const QString &name, const QByteArray &actual)
{
#ifdef VORN_TEST_DATA_DIR
    const QString path = QStringLiteral(VORN_TEST_DATA_DIR "/") + name;
#else
    const QString path = name;
#endif
    if (qEnvironmentVariableIsSet("VORN_UPDATE_STORED"))
        return writeFile(path, actual) ? QString() : QStringLiteral("cannot write ") + path;
    const QByteArray stored = readFile(path);
    if (stored == actual)
        return {};
    writeFile(QFileInfo(name).fileName() + QStringLiteral(".actual"), actual);
    const QList<QByteArray> was = stored.split('\n'), now = actual.split('\n');
    qsizetype line = 0;
    while (line < was.size() && line < now.size() && was[line] == now[line])
        ++line;
    return QStringLiteral("%1 line %2: stored \"%3\", now \"%4\"")
        .arg(name)
        .arg(line + 1)
        .arg(QString::fromUtf8(was.value(line, "<end>")), QString::fromUtf8(now.value(line, "<end>")));
}

} // namespace vorn::testing

// Inside a test function, as QCOMPARE is.
#define VORN_COMPARE_STORED(name, actual)                                                          \
    do {                                                                                           \
        const QString difference_ = vorn::testing::differenceFromStored(name, actual);             \
        QVERIFY2(difference_.isEmpty(), qPrintable(difference_));                                  \
    } while (false)
