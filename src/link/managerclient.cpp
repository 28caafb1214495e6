#include "managerclient.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace vorn {

namespace {
const QString CreateViewMethod = QStringLiteral("CreateView");
const QString SetViewXmlMethod = QStringLiteral("SetViewXMLData");

bool isFeedFor(const QDBusMessage &message, const QString &viewName)
{
    return message.member() == SetViewXmlMethod && !message.arguments().isEmpty()
        && message.arguments().constFirst().toString() == viewName;
}
} // namespace

std::unique_ptr<ManagerServerClient> ManagerServerClient::create(const QDBusConnection &bus)
{
    if (!bus.isConnected())
        return nullptr;
    QDBusConnectionInterface *daemon = bus.interface();
    if (!daemon)
        return nullptr;
    // Asks the bus daemon, never the manager, so a stuck manager cannot hold up the start.
    const QDBusReply<bool> registered = daemon->isServiceRegistered(ServiceName);
    if (!registered.isValid() || !registered.value())
        return nullptr;
    return std::unique_ptr<ManagerServerClient>(new ManagerServerClient(bus));
}

ManagerServerClient::ManagerServerClient(const QDBusConnection &bus)
    : m_bus(bus)
{
}

ManagerServerClient::~ManagerServerClient()
{
    // The final feed of a closing window still reaches the view, but the
    // window does not stay alive to hear whether it arrived.
    for (const QDBusMessage &message : m_queue)
        m_bus.send(message);
}

void ManagerServerClient::CreateView(const QString &name, const QString &caption, qint16 kind)
{
    QDBusMessage message = QDBusMessage::createMethodCall(ServiceName, ObjectPath, InterfaceName,
                                                          CreateViewMethod);
    message << name << caption << QVariant::fromValue<qint16>(kind);
    enqueue(std::move(message));
}

void ManagerServerClient::SetViewXMLData(const QString &viewName, const QString &xml)
{
    if (!m_queue.empty() && isFeedFor(m_queue.back(), viewName)) {
        QDBusMessage &waiting = m_queue.back();
        waiting.setArguments({viewName, xml});
        ++m_superseded;
        return;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(ServiceName, ObjectPath, InterfaceName,
                                                          SetViewXmlMethod);
    message << viewName << xml;
    enqueue(std::move(message));
}

bool ManagerServerClient::isIdle() const
{
    return !m_inFlight && m_queue.empty();
}

bool ManagerServerClient::isWaitingForReply() const
{
    return m_inFlight != nullptr;
}

int ManagerServerClient::queuedCount() const
{
    return int(m_queue.size());
}

void ManagerServerClient::enqueue(QDBusMessage message)
{
    // A manager that went away must not be started again by the viewer.
    message.setAutoStartService(false);
    m_queue.push_back(std::move(message));
    if (!m_inFlight)
        sendNext();
}

void ManagerServerClient::sendNext()
{
    if (m_queue.empty()) {
        emit idle();
        return;
    }
    const QDBusMessage message = std::move(m_queue.front());
    m_queue.pop_front();
    ++m_sent;
    const QDBusPendingCall call = m_bus.asyncCall(message, ReplyTimeoutMs);
    m_inFlight = new QDBusPendingCallWatcher(call, this);
    m_inFlight->setProperty("method", message.member());
    connect(m_inFlight, &QDBusPendingCallWatcher::finished, this, &ManagerServerClient::onReply);
}

void ManagerServerClient::onReply(QDBusPendingCallWatcher *watcher)
{
    Q_ASSERT(watcher == m_inFlight);
    const bool ok = !watcher->isError();
    if (!ok)
        ++m_failed;
    const QString method = watcher->property("method").toString();
    const QString errorName = ok ? QString() : watcher->error().name();
    watcher->deleteLater();
    m_inFlight = nullptr;
    emit callFinished(method, ok, errorName);
    sendNext();
}

} // namespace vorn
