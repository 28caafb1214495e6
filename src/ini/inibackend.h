#pragma once

#include "result.h"

#include <QList>
#include <QString>

#include <utility>

namespace vorn {

// The two ways to initialisation files: the program's own reader and writer,
// built everywhere, and the system's profile functions where the system has
// them. The functions of inifile.h go the system's way where the build has
// one, else our own; the tests hold both to the same rows.

// Our own reader and writer, with the semantics inifile.h describes.
int OwnReadIniInt(const QString &fileName, const QString &section, const QString &key, int defaultValue);
QString OwnReadIniString(const QString &fileName, const QString &section, const QString &key,
                         const QString &defaultValue, int bufferLength);
Result OwnWriteIniString(const QString &fileName, const QString &section, const QString &key,
                         const QString &value);
Result OwnWriteIniStrings(const QString &fileName, const QString &section,
                          const QList<std::pair<QString, QString>> &keysAndValues);

struct IniBackend {
    QString name;
    int (*readInt)(const QString &fileName, const QString &section, const QString &key, int defaultValue);
    QString (*readString)(const QString &fileName, const QString &section, const QString &key,
                          const QString &defaultValue, int bufferLength);
    Result (*writeString)(const QString &fileName, const QString &section, const QString &key,
                          const QString &value);
};

// Every way the build has, our own first (the one inifile.h takes is the
// last). Implemented once per platform, chosen by the build.
QList<IniBackend> IniBackends();

} // namespace vorn
