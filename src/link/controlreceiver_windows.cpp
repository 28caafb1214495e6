// The control channel as the main window's own messages: the window passes
// each native message to the channel first (ControlChannel::nativeMessage).

#include "controlchannel.h"

#include "texts.h"

#include <windows.h>

namespace vorn {

namespace {

class WindowMessageReceiver final : public ControlReceiver {
public:
    explicit WindowMessageReceiver(ControlChannel &channel)
        : m_channel(channel)
        , m_changeLanguage(RegisterWindowMessageW(wide(ControlChannelWire::ChangeLanguageMessage)))
    {
    }
    ~WindowMessageReceiver() override
    {
        if (m_window && IsWindow(m_window))
            RemovePropW(m_window, wide(ControlChannelWire::WindowProperty));
    }

    bool nativeMessage(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    static const wchar_t *wide(const QString &text) { return reinterpret_cast<const wchar_t *>(text.utf16()); }

    ControlChannel &m_channel;
    const UINT m_changeLanguage;
    HWND m_window = nullptr;
};

bool WindowMessageReceiver::nativeMessage(const QByteArray &eventType, void *message, qintptr *result)
{
    if (eventType != "windows_generic_MSG")
        return false;
    const MSG *msg = static_cast<const MSG *>(message);
    if (msg->hwnd != m_window) {
        // Marks the window for senders that look for it among the process's
        // other top-level windows; a window made anew is marked anew.
        if (m_window && IsWindow(m_window))
            RemovePropW(m_window, wide(ControlChannelWire::WindowProperty));
        m_window = msg->hwnd;
        SetPropW(m_window, wide(ControlChannelWire::WindowProperty), HANDLE(1));
    }
    switch (msg->message) {
    case WM_CLOSE:
        // The channel closes the window itself, through its unload, once the
        // window is free; the toolkit must not close it a second time.
        m_channel.handleClose();
        *result = 0;
        return true;
    case WM_COPYDATA: {
        const auto *data = reinterpret_cast<const COPYDATASTRUCT *>(msg->lParam);
        // The byte count is read as a signed 32-bit number: a count of zero
        // or below does nothing.
        if (data && data->lpData && qint32(data->cbData) > 0)
            m_channel.handleCopyData(quint32(data->dwData),
                                     QByteArray(static_cast<const char *>(data->lpData), qsizetype(data->cbData)));
        return false;
    }
    case WM_HELP:
        m_channel.handleHelp();
        return false;
    default:
        if (m_changeLanguage != 0 && msg->message == m_changeLanguage) {
            const qint32 languageId = qint32(msg->wParam);
            m_channel.handleChangeLanguage(languageId, LanguageName(languageId));
            *result = 0;
            return true;
        }
        return false;
    }
}

} // namespace

Result StartControlReceiver(ControlChannel &channel, const ControlEndpoint &endpoint, qint64 pid,
                            std::unique_ptr<ControlReceiver> &receiver)
{
    Q_UNUSED(endpoint) Q_UNUSED(pid)
    receiver = std::make_unique<WindowMessageReceiver>(channel);
    return Result::success();
}

} // namespace vorn
