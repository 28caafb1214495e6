#pragma once

// What the link's two ends are opened on where the manager reaches the window
// through window messages and is reached through COM.

#include <QString>

namespace vorn {

// The class the Manager Server client creates its document from.
struct ManagerEndpoint {
    QString progId = QStringLiteral("ManagerServer.Document");
};
inline ManagerEndpoint DefaultManagerEndpoint() { return {}; }

// Messages come to the main window itself; there is nothing to open.
struct ControlEndpoint {};
inline ControlEndpoint DefaultControlEndpoint() { return {}; }

// The sending side of the control channel, for the command-line tool: close,
// copy-data and help are the system's own messages to the main window; the
// language change, whose string runtime is compiled in, is a registered
// message with the language id as wParam.
class ControlChannelWire {
public:
    static inline const QString ChangeLanguageMessage = QStringLiteral("VornScheduler.ChangeLanguage");
    // A window property that marks the window the channel listens on, so
    // that a sender picks it among the process's other top-level windows.
    static inline const QString WindowProperty = QStringLiteral("VornScheduler.Window");
};

} // namespace vorn
