// The control channel on the session bus.

#include "controlchannel.h"

#include <QDBusConnectionInterface>


namespace vorn {

namespace {

// The object other programs call. Its slot names and the interface name are
// the wire contract; it only forwards to the channel.
class WindowObject : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "VornScheduler.Window")
public:
    explicit WindowObject(ControlChannel *channel) : m_channel(channel) {}

public slots:
    void Close() { m_channel->handleClose(); }
    void CopyData(uint dwData, const QByteArray &data) { m_channel->handleCopyData(dwData, data); }
    void Help() { m_channel->handleHelp(); }
    void ChangeLanguage(int languageId, const QString &name)
    {
        m_channel->handleChangeLanguage(languageId, name);
    }
    // Not a message of the manager's: what benchmarks and the soak ask a
    // running window (counters, and the grid's rows when asked for them).
    QVariantMap Diagnostics() { return m_channel->diagnostics(false); }
    QVariantMap DiagnosticsWithGrid() { return m_channel->diagnostics(true); }

private:
    ControlChannel *m_channel;
};

// The names and the object, given back when it goes.
class BusReceiver final : public ControlReceiver {
public:
    BusReceiver(const QDBusConnection &bus, ControlChannel &channel) : m_bus(bus), m_object(&channel) {}
    ~BusReceiver() override
    {
        if (!m_registered)
            return;
        if (ownsShared)
            m_bus.unregisterService(ControlChannelWire::ServiceName);
        if (!processName.isEmpty())
            m_bus.unregisterService(processName);
        m_bus.unregisterObject(ControlChannelWire::ObjectPath);
    }

    Result registerOn(qint64 pid)
    {
        if (!m_bus.registerObject(ControlChannelWire::ObjectPath, &m_object, QDBusConnection::ExportAllSlots))
            return Result::failure(QStringLiteral("the object path %1 is taken").arg(ControlChannelWire::ObjectPath));
        m_registered = true;
        const QString name = ControlChannelWire::serviceNameForPid(pid);
        if (m_bus.registerService(name))
            processName = name;
        // A second window leaves the shared name with the first; the manager
        // then reaches it by its process name.
        ownsShared = m_bus.registerService(ControlChannelWire::ServiceName);
        if (processName.isEmpty() && !ownsShared)
            return Result::failure(QStringLiteral("the name %1 is taken").arg(name));
        return Result::success();
    }

private:
    QDBusConnection m_bus;
    WindowObject m_object;
    bool m_registered = false;
};

} // namespace

QString ControlChannelWire::serviceNameForPid(qint64 pid)
{
    return ServiceName + QStringLiteral(".p") + QString::number(pid);
}

QDBusMessage ControlChannelWire::windowCall(const QString &service, const QString &method,
                                            const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, ObjectPath, InterfaceName, method);
    call.setArguments(arguments);
    call.setAutoStartService(false);
    return call;
}

QDBusMessage ControlChannelWire::noticeCall(const QString &service, const QByteArray &text)
{
    return windowCall(service, QStringLiteral("CopyData"), {QVariant::fromValue(quint32(0)), text});
}

Result StartControlReceiver(ControlChannel &channel, const ControlEndpoint &bus, qint64 pid,
                            std::unique_ptr<ControlReceiver> &receiver)
{
    if (!bus.isConnected()) {
        return Result::failure(bus.lastError().isValid() ? bus.lastError().message()
                                                         : QStringLiteral("no session bus"));
    }
    auto registered = std::make_unique<BusReceiver>(bus, channel);
    if (Result up = registered->registerOn(pid); up.failed())
        return up;
    receiver = std::move(registered);
    return Result::success();
}

} // namespace vorn

#include "controlreceiver_dbus.moc"
