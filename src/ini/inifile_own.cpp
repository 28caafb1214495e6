// Where the system has no profile functions, the program's own reader and
// writer are the only way to the files.

#include "inibackend.h"
#include "inifile.h"

namespace vorn {

int ReadIniInt(const QString &fileName, const QString &section, const QString &key, int defaultValue)
{
    return OwnReadIniInt(fileName, section, key, defaultValue);
}

QString ReadIniString(const QString &fileName, const QString &section, const QString &key,
                      const QString &defaultValue, int bufferLength)
{
    return OwnReadIniString(fileName, section, key, defaultValue, bufferLength);
}

Result WriteIniString(const QString &fileName, const QString &section, const QString &key, const QString &value)
{
    return OwnWriteIniString(fileName, section, key, value);
}

Result WriteIniStrings(const QString &fileName, const QString &section,
                       const QList<std::pair<QString, QString>> &keysAndValues)
{
    return OwnWriteIniStrings(fileName, section, keysAndValues);
}

QList<IniBackend> IniBackends()
{
    return {{QStringLiteral("own"), ReadIniInt, ReadIniString, WriteIniString}};
}

} // namespace vorn
