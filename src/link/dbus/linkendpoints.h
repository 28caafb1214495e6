#pragma once

// What the link's two ends are opened on where they run over the session bus.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>

namespace vorn {

// The bus the Manager Server client looks for the manager on.
using ManagerEndpoint = QDBusConnection;
inline ManagerEndpoint DefaultManagerEndpoint() { return QDBusConnection::sessionBus(); }

// The bus the window's control channel registers on.
using ControlEndpoint = QDBusConnection;
inline ControlEndpoint DefaultControlEndpoint() { return QDBusConnection::sessionBus(); }

// The sending side of the control channel, for the manager and the
// command-line tool.
class ControlChannelWire {
public:
    static inline const QString ServiceName = QStringLiteral("VornScheduler.Window");
    static inline const QString ObjectPath = QStringLiteral("/VornScheduler/Window");
    static inline const QString InterfaceName = QStringLiteral("VornScheduler.Window");

    // "VornScheduler.Window.p<pid>".
    static QString serviceNameForPid(qint64 pid);

    // A call of `method` on the window at `service`, as the manager and the
    // command-line tool make it. It never starts a window that is not running.
    static QDBusMessage windowCall(const QString &service, const QString &method,
                                   const QVariantList &arguments = {});
    // The manager's text notice ("STOP", "START") as a CopyData call: dwData 0
    // and the text's bytes without a terminating NUL, as a Windows manager
    // sends them.
    static QDBusMessage noticeCall(const QString &service, const QByteArray &text);
};

} // namespace vorn
