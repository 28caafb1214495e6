// On Windows the files go through the system's own profile functions, as
// every other program of the plant reads and writes them.

#include "inibackend.h"
#include "inifile.h"

#include <QDir>

#include <windows.h>

#include <string>
#include <vector>

namespace vorn {

namespace {

// A text as the profile functions take it: UTF-16 with its NUL.
std::wstring wide(const QString &text)
{
    return std::wstring(reinterpret_cast<const wchar_t *>(text.utf16()), size_t(text.size()));
}

std::wstring nativePath(const QString &fileName)
{
    return wide(QDir::toNativeSeparators(fileName));
}

int systemReadInt(const QString &fileName, const QString &section, const QString &key, int defaultValue)
{
    return int(GetPrivateProfileIntW(wide(section).c_str(), wide(key).c_str(), defaultValue,
                                     nativePath(fileName).c_str()));
}

QString systemReadString(const QString &fileName, const QString &section, const QString &key,
                         const QString &defaultValue, int bufferLength)
{
    if (bufferLength <= 0)
        return QString();
    std::vector<wchar_t> buffer(size_t(bufferLength), L'\0');
    const DWORD length = GetPrivateProfileStringW(wide(section).c_str(), wide(key).c_str(),
                                                  wide(defaultValue).c_str(), buffer.data(), DWORD(bufferLength),
                                                  nativePath(fileName).c_str());
    return QString::fromWCharArray(buffer.data(), int(length));
}

Result systemWriteString(const QString &fileName, const QString &section, const QString &key, const QString &value)
{
    if (WritePrivateProfileStringW(wide(section).c_str(), wide(key).c_str(), wide(value).c_str(),
                                   nativePath(fileName).c_str()))
        return Result::success();
    return Result::failure(QStringLiteral("cannot write %1: error %2").arg(fileName).arg(GetLastError()));
}

} // namespace

int ReadIniInt(const QString &fileName, const QString &section, const QString &key, int defaultValue)
{
    return systemReadInt(fileName, section, key, defaultValue);
}

QString ReadIniString(const QString &fileName, const QString &section, const QString &key,
                      const QString &defaultValue, int bufferLength)
{
    return systemReadString(fileName, section, key, defaultValue, bufferLength);
}

Result WriteIniString(const QString &fileName, const QString &section, const QString &key, const QString &value)
{
    return systemWriteString(fileName, section, key, value);
}

Result WriteIniStrings(const QString &fileName, const QString &section,
                       const QList<std::pair<QString, QString>> &keysAndValues)
{
    // The system writes one key at a time.
    for (const auto &[key, value] : keysAndValues) {
        if (const Result written = systemWriteString(fileName, section, key, value); written.failed())
            return written;
    }
    return Result::success();
}

QList<IniBackend> IniBackends()
{
    return {{QStringLiteral("own"), OwnReadIniInt, OwnReadIniString, OwnWriteIniString},
            {QStringLiteral("system"), ReadIniInt, ReadIniString, WriteIniString}};
}

} // namespace vorn
