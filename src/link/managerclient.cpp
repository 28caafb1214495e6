#include "managerclient.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QThread>

namespace vorn {

namespace {
const QString CreateViewMethod = QStringLiteral("CreateView");
const QString SetViewXmlMethod = QStringLiteral("SetViewXMLData");

QDBusMessage methodCall(const QString &method, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        ManagerServerClient::ServiceName, ManagerServerClient::ObjectPath,
        ManagerServerClient::InterfaceName, method);
    message.setArguments(arguments);
    // A manager that went away must not be started again by the viewer.
    message.setAutoStartService(false);
    return message;
}
} // namespace

std::optional<QDBusMessage> ManagerServerClient::Call::message() const
{
    if (!build)
        return methodCall(method, arguments);
    const QString xml = build();
    if (xml.isEmpty())
        return std::nullopt;
    return methodCall(method, QVariantList(arguments) << xml);
}

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
    : m_bus(bus), m_senderThread(std::make_unique<QThread>()), m_sender(new QObject)
{
    m_senderThread->setObjectName(QStringLiteral("ManagerServer sender"));
    m_sender->moveToThread(m_senderThread.get());
    m_senderThread->start();
}

ManagerServerClient::~ManagerServerClient()
{
    // The final feed of a closing window still reaches the view, but the
    // window does not stay alive to hear whether it arrived.
    std::deque<Call> remaining = std::move(m_queue);
    const QDBusConnection bus = m_bus;
    QMetaObject::invokeMethod(
        m_sender,
        [&remaining, bus] {
            for (const Call &call : remaining) {
                if (const std::optional<QDBusMessage> message = call.message())
                    bus.send(*message);
            }
        },
        Qt::BlockingQueuedConnection);
    m_senderThread->quit();
    m_senderThread->wait();
    delete m_sender;
}

void ManagerServerClient::CreateView(const QString &name, const QString &caption, qint16 kind)
{
    enqueue({CreateViewMethod, {name, caption, QVariant::fromValue<qint16>(kind)}, {}});
}

void ManagerServerClient::SetViewXMLData(const QString &viewName, const QString &xml)
{
    Call call{SetViewXmlMethod, {viewName, xml}, {}};
    if (!replaceQueuedFeed(viewName, call))
        enqueue(std::move(call));
}

void ManagerServerClient::SetViewXMLDataBuiltLater(const QString &viewName, XmlBuilder build)
{
    Q_ASSERT(build);
    Call call{SetViewXmlMethod, {viewName}, std::move(build)};
    if (!replaceQueuedFeed(viewName, call))
        enqueue(std::move(call));
}

bool ManagerServerClient::replaceQueuedFeed(const QString &viewName, Call &call)
{
    if (m_queue.empty())
        return false;
    Call &last = m_queue.back();
    if (last.method != SetViewXmlMethod || last.arguments.constFirst().toString() != viewName)
        return false;
    last = std::move(call);
    ++m_superseded;
    return true;
}

bool ManagerServerClient::isIdle() const
{
    return !m_inFlight && m_queue.empty();
}

bool ManagerServerClient::isWaitingForReply() const
{
    return m_inFlight;
}

int ManagerServerClient::queuedCount() const
{
    return int(m_queue.size());
}

void ManagerServerClient::enqueue(Call call)
{
    m_queue.push_back(std::move(call));
    if (!m_inFlight)
        sendNext();
}

void ManagerServerClient::sendNext()
{
    if (m_queue.empty()) {
        emit idle();
        return;
    }
    Call call = std::move(m_queue.front());
    m_queue.pop_front();
    m_inFlight = true;
    QMetaObject::invokeMethod(m_sender, [this, call = std::move(call)] { sendOnSenderThread(call); },
                              Qt::QueuedConnection);
}

void ManagerServerClient::sendOnSenderThread(const Call &call)
{
    const auto report = [this, method = call.method](bool sent, bool ok, const QString &errorName) {
        QMetaObject::invokeMethod(
            this, [=, this] { onFinished(method, sent, ok, errorName); }, Qt::QueuedConnection);
    };
    const std::optional<QDBusMessage> message = call.message();
    if (!message) {
        report(false, true, QString());
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(*message, ReplyTimeoutMs), m_sender);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, m_sender,
                     [report](QDBusPendingCallWatcher *finished) {
                         const bool ok = !finished->isError();
                         report(true, ok, ok ? QString() : finished->error().name());
                         finished->deleteLater();
                     });
}

void ManagerServerClient::onFinished(const QString &method, bool sent, bool ok, const QString &errorName)
{
    m_inFlight = false;
    if (sent) {
        ++m_sent;
        if (!ok)
            ++m_failed;
        emit callFinished(method, ok, errorName);
    } else {
        ++m_skipped;
    }
    sendNext();
}

} // namespace vorn
