#include "controlchannel.h"

#include "inifile.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QMetaObject>

#include <cstdio>
#include <utility>

namespace vorn {

namespace {

// The object other programs call. Its slot names and the interface name are
// the wire contract; it only forwards to the channel.
class WindowObject : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "VornScheduler.Window")
public:
    explicit WindowObject(ControlChannel *channel)
        : QObject(channel), m_channel(channel)
    {
    }

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

void sayOnceWithoutChannel(const QString &why)
{
    static bool said = false;
    if (said)
        return;
    said = true;
    std::fprintf(stderr, "vorn-scheduler: running without the control channel: %s\n",
                 qPrintable(why));
}

} // namespace

CopyDataEffect ApplyCopyData(AppState &state, const QByteArray &data)
{
    if (data.isEmpty())
        return CopyDataEffect::None;
    // A NUL the manager counts into the payload stays part of the text and
    // spoils the match, as it does on the manager's own platform.
    const QString upper = DecodeWindows1252(data).toUpper();
    if (upper == QLatin1String("STOP")) {
        state.UpdatesStopped = true;
        return CopyDataEffect::Stopped;
    }
    if (upper == QLatin1String("START")) {
        state.ReloadRequested = true;
        state.UpdatesStopped = false;
        return CopyDataEffect::Started;
    }
    return CopyDataEffect::None;
}

QString ControlChannel::serviceNameForPid(qint64 pid)
{
    return ServiceName + QStringLiteral(".p") + QString::number(pid);
}

QDBusMessage ControlChannel::windowCall(const QString &service, const QString &method,
                                        const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, ObjectPath, InterfaceName, method);
    call.setArguments(arguments);
    call.setAutoStartService(false);
    return call;
}

QDBusMessage ControlChannel::noticeCall(const QString &service, const QByteArray &text)
{
    return windowCall(service, QStringLiteral("CopyData"), {QVariant::fromValue(quint32(0)), text});
}

ControlChannel::ControlChannel(AppState &state, QObject *parent)
    : QObject(parent), m_state(state)
{
}

ControlChannel::~ControlChannel()
{
    stop();
}

bool ControlChannel::start(const QDBusConnection &bus, qint64 pid)
{
    stop();
    if (!bus.isConnected()) {
        const QString why = bus.lastError().isValid() ? bus.lastError().message()
                                                      : QStringLiteral("no session bus");
        sayOnceWithoutChannel(why);
        return false;
    }
    m_bus = bus;
    auto *object = new WindowObject(this);
    if (!m_bus.registerObject(ObjectPath, object, QDBusConnection::ExportAllSlots)) {
        delete object;
        sayOnceWithoutChannel(QStringLiteral("the object path %1 is taken").arg(ObjectPath));
        return false;
    }
    const QString processName = serviceNameForPid(pid < 0 ? QCoreApplication::applicationPid() : pid);
    if (m_bus.registerService(processName))
        m_processName = processName;
    // A second window leaves the shared name with the first; the manager then
    // reaches it by its process name.
    m_ownsShared = m_bus.registerService(ServiceName);
    m_active = !m_processName.isEmpty() || m_ownsShared;
    if (!m_active) {
        m_bus.unregisterObject(ObjectPath);
        delete object;
        sayOnceWithoutChannel(QStringLiteral("the name %1 is taken").arg(processName));
    }
    return m_active;
}

void ControlChannel::stop()
{
    if (!m_active)
        return;
    if (m_ownsShared)
        m_bus.unregisterService(ServiceName);
    if (!m_processName.isEmpty())
        m_bus.unregisterService(m_processName);
    m_bus.unregisterObject(ObjectPath);
    qDeleteAll(findChildren<WindowObject *>(Qt::FindDirectChildrenOnly));
    m_processName.clear();
    m_ownsShared = false;
    m_active = false;
}

ControlChannel::Hold::Hold(ControlChannel *channel) : m_channel(channel)
{
    if (m_channel)
        ++m_channel->m_holds;
}

ControlChannel::Hold::~Hold()
{
    if (m_channel && --m_channel->m_holds == 0)
        m_channel->postDelivery();
}

void ControlChannel::postDelivery()
{
    // From the event loop: what the window does after its hold still runs
    // first, as the rest of the event the hold was part of.
    if (m_holds == 0 && !m_waiting.empty() && !std::exchange(m_deliveryPosted, true))
        QMetaObject::invokeMethod(this, &ControlChannel::deliverWaiting, Qt::QueuedConnection);
}

void ControlChannel::arrive(Message message)
{
    if (m_holds == 0 && m_waiting.empty() && message.kind != Message::Close) {
        deliver(message);
        return;
    }
    // The unload of a close never runs inside the bus call that asked for
    // it: the caller gets its reply first, and the window may then destroy
    // this channel. The flag itself is set at once when the window is free.
    if (message.kind == Message::Close && m_holds == 0 && m_waiting.empty())
        m_state.CloseRequested = true;
    m_waiting.push_back(std::move(message));
    postDelivery();
}

void ControlChannel::deliverWaiting()
{
    m_deliveryPosted = false;
    const QPointer<ControlChannel> alive(this);
    while (alive && m_holds == 0 && !m_waiting.empty()) {
        const Message message = std::move(m_waiting.front());
        m_waiting.pop_front();
        // One message to its end before the next, even if it runs an event loop.
        const Hold handling(this);
        deliver(message);
    }
}

void ControlChannel::deliver(const Message &message)
{
    switch (message.kind) {
    case Message::Close:
        m_state.CloseRequested = true;
        emit closeRequested();
        break;
    case Message::CopyData:
        if (const CopyDataEffect effect = ApplyCopyData(m_state, message.data); effect != CopyDataEffect::None)
            emit copyDataApplied(effect);
        break;
    case Message::Help:
        emit helpRequested();
        break;
    case Message::ChangeLanguage:
        emit languageChangeRequested(message.languageId, message.name);
        break;
    }
}

void ControlChannel::handleClose()
{
    arrive({Message::Close, {}, 0, {}});
}

void ControlChannel::handleCopyData(quint32 dwData, const QByteArray &data)
{
    Q_UNUSED(dwData) // the manager's notices carry no meaning in it
    arrive({Message::CopyData, data, 0, {}});
}

void ControlChannel::setDiagnostics(DiagnosticsProvider provider)
{
    m_diagnostics = std::move(provider);
}

QVariantMap ControlChannel::diagnostics(bool withGrid) const
{
    return m_diagnostics ? m_diagnostics(withGrid) : QVariantMap();
}

void ControlChannel::handleHelp()
{
    arrive({Message::Help, {}, 0, {}});
}

void ControlChannel::handleChangeLanguage(qint32 languageId, const QString &name)
{
    arrive({Message::ChangeLanguage, {}, languageId, name});
}

} // namespace vorn

#include "controlchannel.moc"
