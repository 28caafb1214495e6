// The tool's messages as the window messages the manager sends: WM_CLOSE,
// WM_COPYDATA with the text's bytes and no NUL, WM_HELP, and the registered
// language message.

#include "ctlcommand.h"

#include "controlchannel.h"

#include <windows.h>

namespace vorn::ctl {

namespace {
constexpr UINT ReplyTimeoutMs = 2000;

struct Search {
    DWORD pid = 0;   // 0: any process
    HWND found = nullptr;
};

BOOL CALLBACK lookAt(HWND window, LPARAM parameter)
{
    auto *search = reinterpret_cast<Search *>(parameter);
    const auto *property = reinterpret_cast<const wchar_t *>(ControlChannelWire::WindowProperty.utf16());
    if (!GetPropW(window, property))
        return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (search->pid != 0 && pid != search->pid)
        return TRUE;
    search->found = window;
    return FALSE;
}

// Sends and waits for the window to have handled it; false when it did not
// within the time.
bool sendTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_BLOCK, ReplyTimeoutMs,
                               &result) != 0;
}

bool sendNotice(HWND window, const QByteArray &text)
{
    COPYDATASTRUCT data{};
    data.dwData = 0;
    data.cbData = DWORD(text.size());
    data.lpData = const_cast<char *>(text.constData());
    return sendTo(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

bool sendHelp(HWND window)
{
    HELPINFO info{};
    info.cbSize = sizeof(info);
    info.iContextType = HELPINFO_WINDOW;
    info.hItemHandle = window;
    GetCursorPos(&info.MousePos);
    return sendTo(window, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
}

} // namespace

QString CtlWireName()
{
    return QStringLiteral("through window messages");
}

Result SendCtlRequest(const CtlRequest &request)
{
    Q_ASSERT(request.error.isEmpty());
    Search search;
    search.pid = request.pid > 0 ? DWORD(request.pid) : 0;
    EnumWindows(lookAt, reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return Result::failure(request.pid > 0
            ? QStringLiteral("no Vorn Scheduler window with process id %1").arg(request.pid)
            : QStringLiteral("no Vorn Scheduler window"));
    bool answered = false;
    switch (request.command) {
    case CtlCommand::Close:
        answered = sendTo(search.found, WM_CLOSE, 0, 0);
        break;
    case CtlCommand::Stop:
        answered = sendNotice(search.found, "STOP");
        break;
    case CtlCommand::Start:
        answered = sendNotice(search.found, "START");
        break;
    case CtlCommand::Help:
        answered = sendHelp(search.found);
        break;
    case CtlCommand::Language: {
        const auto *name = reinterpret_cast<const wchar_t *>(ControlChannelWire::ChangeLanguageMessage.utf16());
        answered = sendTo(search.found, RegisterWindowMessageW(name), WPARAM(request.languageId), 0);
        break;
    }
    }
    if (!answered)
        return Result::failure(QStringLiteral("the Vorn Scheduler window did not answer"));
    return Result::success();
}

} // namespace vorn::ctl
