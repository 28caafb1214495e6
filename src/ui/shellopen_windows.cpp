#include "shellopen.h"

#include <QDir>
#include <QFileInfo>
#include <QWidget>

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace vorn {

namespace {

std::wstring wide(const QString &text)
{
    return std::wstring(reinterpret_cast<const wchar_t *>(text.utf16()), size_t(text.size()));
}

} // namespace

void ShellOpenFile(const QString &path, QWidget *owner)
{
    const std::wstring file = wide(QDir::toNativeSeparators(path));
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_DDEWAIT | SEE_MASK_FLAG_NO_UI;
    info.hwnd = owner ? reinterpret_cast<HWND>(owner->window()->winId()) : nullptr;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = L"";
    info.lpDirectory = L"";
    // As the manager's own programs start the manual: the viewer that opens
    // it decides how its window shows.
    info.nShow = SW_HIDE;
    ShellExecuteExW(&info);
}

void OpenWebPage(const QUrl &url)
{
    // The browser of the system drive: the root of the Windows folder.
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = GetWindowsDirectoryW(folder, MAX_PATH + 1);
    const QString windows = QString::fromWCharArray(folder, int(qMin<UINT>(length, MAX_PATH)));
    const qsizetype slash = windows.indexOf(QLatin1Char('\\'));
    const QString browser = windows.left(slash + 1) + QStringLiteral("program files\\Internet Explorer\\iexplore.exe");
    const QString address = url.toString();
    if (slash >= 0 && QFileInfo(browser).isFile()) {
        std::wstring command = wide(browser + QStringLiteral("     ") + address);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWNORMAL;
        PROCESS_INFORMATION process{};
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &process)) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
            return;
        }
    }
    // A system without that browser opens the page with its own.
    const std::wstring page = wide(address);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = page.c_str();
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&info);
}

} // namespace vorn
