// The Manager Server on the session bus.

#include "managertransport.h"

#include "directbus.h"
#include "managerclient.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <cstdio>
#include <vector>

namespace vorn {

namespace {

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

// Calls go on a connection of our own that takes UTF-8 as it is, where the
// environment names the session bus's socket; elsewhere through Qt's bus.
class BusTransport final : public ManagerTransport {
public:
    BusTransport(const QDBusConnection &bus, bool direct) : m_bus(bus), m_direct(direct) {}

    void call(const QString &method, const QVariantList &arguments, const model::ScheduleXmlRows *text,
              bool waitForReply, QObject *context, const Done &done) override;
    void setAbortFlag(const std::atomic<bool> *flag) override { m_abort = flag; }
    bool usesDirectBus() const override { return m_direct; }

private:
    Outcome callDirect(const QString &method, const QVariantList &arguments,
                       const model::ScheduleXmlRows *text, bool waitForReply);

    QDBusConnection m_bus;
    std::atomic<bool> m_direct;
    const std::atomic<bool> *m_abort = nullptr;
    std::unique_ptr<DirectBusConnection> m_connection;
};

ManagerTransport::Outcome BusTransport::callDirect(const QString &method, const QVariantList &arguments,
                                                   const model::ScheduleXmlRows *text, bool waitForReply)
{
    DirectBusCall message(ManagerServerClient::ServiceName.toUtf8(), ManagerServerClient::ObjectPath.toUtf8(),
                          ManagerServerClient::InterfaceName.toUtf8(), method.toUtf8());
    std::vector<QByteArray> texts;   // alive until the call is written
    texts.reserve(arguments.size());
    for (const QVariant &argument : arguments) {
        if (argument.typeId() == QMetaType::Short) {
            message.addInt16(argument.value<qint16>());
        } else {
            texts.push_back(model::BusSafeUtf8(argument.toString()));
            message.addString(texts.back());
        }
    }
    if (text)
        message.addString(text->size(), [text](const DirectBusCall::Sink &sink) { return text->write(sink); });
    const DirectBusConnection::Reply reply =
        m_connection->call(message, ManagerServerClient::ReplyTimeoutMs, waitForReply);
    return {reply.sent, reply.ok, reply.errorName};
}

void BusTransport::call(const QString &method, const QVariantList &arguments, const model::ScheduleXmlRows *text,
                        bool waitForReply, QObject *context, const Done &done)
{
    if (m_direct && !m_connection) {
        m_connection = std::make_unique<DirectBusConnection>();
        m_connection->setAbortFlag(m_abort);
        // A bus that does not take our own connection is reached through Qt's.
        if (const Result opened = m_connection->open(ManagerServerClient::ReplyTimeoutMs); opened.failed()) {
            if (!(m_abort && *m_abort))
                std::fprintf(stderr, "vorn-scheduler: Manager Server calls go through Qt's bus connection: %s\n",
                             qPrintable(opened.message()));
            m_direct = false;
        }
    }
    if (m_direct) {
        const Outcome outcome = callDirect(method, arguments, text, waitForReply);
        if (waitForReply)
            done(outcome);
        return;
    }
    QVariantList busArguments;
    for (const QVariant &argument : arguments) {
        // Qt's bus carries a string as UTF-8 too; the same characters stand
        // in for those it cannot carry.
        busArguments << (argument.typeId() == QMetaType::QString
                             ? QVariant(QString::fromUtf8(model::BusSafeUtf8(argument.toString())))
                             : argument);
    }
    if (text)
        busArguments << QString::fromUtf8(text->text());
    if (!waitForReply) {
        m_bus.send(methodCall(method, busArguments));
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(
        m_bus.asyncCall(methodCall(method, busArguments), ManagerServerClient::ReplyTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [done](QDBusPendingCallWatcher *finished) {
                         const bool ok = !finished->isError();
                         done({true, ok, ok ? QString() : finished->error().name()});
                         finished->deleteLater();
                     });
}

} // namespace

std::unique_ptr<ManagerTransport> OpenManagerTransport(const ManagerEndpoint &bus)
{
    if (!bus.isConnected())
        return nullptr;
    QDBusConnectionInterface *daemon = bus.interface();
    if (!daemon)
        return nullptr;
    // Asks the bus daemon, never the manager, so a stuck manager cannot hold up the start.
    const QDBusReply<bool> registered = daemon->isServiceRegistered(ManagerServerClient::ServiceName);
    if (!registered.isValid() || !registered.value())
        return nullptr;
    // Our own connection reaches the same bus only when that is the session
    // bus the environment names.
    const bool direct = bus.name() == QDBusConnection::sessionBus().name()
        && DirectBusConnection::sessionBusReachable();
    return std::make_unique<BusTransport>(bus, direct);
}

qint64 ManagerTransportMaxCallSize()
{
    return DirectBusConnection::MaxMessageSize;
}

} // namespace vorn
