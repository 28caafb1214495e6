#include "managerclient.h"

#include "directbus.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QThread>

#include <cstdio>

namespace vorn {

namespace {
const QString CreateViewMethod = QStringLiteral("CreateView");
const QString SetViewXmlMethod = QStringLiteral("SetViewXMLData");
std::atomic<quint64> nextClientId{1};

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
    // Our own connection reaches the same bus only when that is the session
    // bus the environment names.
    const bool direct = bus.name() == QDBusConnection::sessionBus().name()
        && DirectBusConnection::sessionBusReachable();
    return std::unique_ptr<ManagerServerClient>(new ManagerServerClient(bus, direct));
}

bool ManagerServerClient::feedFits(qint64 records)
{
    return model::kScheduleXmlFrameLength + records * model::kScheduleXmlRowTagsLength
        < DirectBusConnection::MaxMessageSize;
}

ManagerServerClient::ManagerServerClient(const QDBusConnection &bus, bool direct)
    : m_bus(bus)
    , m_id(nextClientId++)
    , m_direct(direct)
    , m_senderThread(std::make_unique<QThread>())
    , m_sender(new QObject)
{
    m_senderThread->setObjectName(QStringLiteral("ManagerServer sender"));
    m_sender->moveToThread(m_senderThread.get());
    m_senderThread->start();
}

ManagerServerClient::~ManagerServerClient()
{
    // The final feed of a closing window still reaches the view, but the
    // window does not stay alive to hear whether it arrived: a call still
    // waiting for its reply stops waiting, and what is queued is only
    // handed to the bus.
    m_closing = true;
    std::deque<Call> remaining = std::move(m_queue);
    for (Call &call : remaining) {
        if (call.refreshText)
            call.changes = std::exchange(m_pendingChanges, {});
    }
    QMetaObject::invokeMethod(
        m_sender,
        [this, &remaining] {
            m_closing = false;
            for (Call &call : remaining)
                sendOnSenderThread(call, false);
        },
        Qt::BlockingQueuedConnection);
    m_senderThread->quit();
    m_senderThread->wait();
    delete m_sender;
}

void ManagerServerClient::CreateView(const QString &name, const QString &caption, qint16 kind)
{
    enqueue({CreateViewMethod, {name, caption, QVariant::fromValue<qint16>(kind)}, false, {}});
}

void ManagerServerClient::SetViewXMLData(const QString &viewName, const QString &xml)
{
    Call call{SetViewXmlMethod, {viewName, xml}, false, {}};
    if (!replaceQueuedFeed(viewName, call))
        enqueue(std::move(call));
}

void ManagerServerClient::SetViewXMLDataChanged(const QString &viewName, model::ScheduleXmlChanges &&changes)
{
    // The rows wait here until a call takes them, so that a feed replaced in
    // the queue loses none of them.
    m_pendingChanges.merge(std::move(changes));
    Call call{SetViewXmlMethod, {viewName}, true, {}};
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
    if (call.refreshText)
        call.changes = std::exchange(m_pendingChanges, {});
    m_inFlight = true;
    QMetaObject::invokeMethod(
        m_sender, [this, call = std::move(call)]() mutable { sendOnSenderThread(call, true); },
        Qt::QueuedConnection);
}

bool ManagerServerClient::sendDirect(const Call &call, bool waitForReply, bool *ok, QString *errorName)
{
    DirectBusCall message(ServiceName.toUtf8(), ObjectPath.toUtf8(), InterfaceName.toUtf8(), call.method.toUtf8());
    std::vector<QByteArray> texts;   // alive until the call is written
    texts.reserve(call.arguments.size());
    for (const QVariant &argument : call.arguments) {
        if (argument.typeId() == QMetaType::Short) {
            message.addInt16(argument.value<qint16>());
        } else {
            texts.push_back(model::BusSafeUtf8(argument.toString()));
            message.addString(texts.back());
        }
    }
    if (call.refreshText) {
        message.addString(m_refreshText.size(),
                          [this](const DirectBusCall::Sink &sink) { return m_refreshText.write(sink); });
    }
    const DirectBusConnection::Reply reply = m_connection->call(message, ReplyTimeoutMs, waitForReply);
    *ok = reply.ok;
    *errorName = reply.errorName;
    return reply.sent;
}

void ManagerServerClient::sendOnSenderThread(Call &call, bool waitForReply)
{
    const auto report = [this, method = call.method, waitForReply](bool sent, bool ok, const QString &errorName) {
        if (!waitForReply)
            return;
        QMetaObject::invokeMethod(
            this, [=, this] { onFinished(method, sent, ok, errorName); }, Qt::QueuedConnection);
    };
    if (call.refreshText) {
        const bool readsAll = !call.changes.readAllFrom.isEmpty();
        ReadBack back;
        back.ok = m_refreshText.apply(std::move(call.changes), readsAll ? &back.fingerprints : nullptr);
        const bool whole = back.ok;
        if (readsAll && waitForReply) {
            QMetaObject::invokeMethod(
                this, [this, back = std::move(back)]() mutable { m_readBack = std::move(back); },
                Qt::QueuedConnection);
        }
        if (!whole || m_refreshText.size() + 4096 > DirectBusConnection::MaxMessageSize) {
            report(false, false, QString());
            return;
        }
    }
    if (m_direct && !m_connection) {
        m_connection = std::make_unique<DirectBusConnection>();
        m_connection->setAbortFlag(&m_closing);
        // A bus that does not take our own connection is reached through Qt's.
        if (const Result opened = m_connection->open(ReplyTimeoutMs); opened.failed()) {
            if (!m_closing)
                std::fprintf(stderr, "vorn-scheduler: Manager Server calls go through Qt's bus connection: %s\n",
                             qPrintable(opened.message()));
            m_direct = false;
        }
    }
    if (m_direct) {
        bool ok = false;
        QString errorName;
        const bool sent = sendDirect(call, waitForReply, &ok, &errorName);
        report(sent, ok, errorName);
        return;
    }
    QVariantList arguments;
    for (const QVariant &argument : call.arguments) {
        // Qt's bus carries a string as UTF-8 too; the same characters stand
        // in for those it cannot carry.
        arguments << (argument.typeId() == QMetaType::QString
                          ? QVariant(QString::fromUtf8(model::BusSafeUtf8(argument.toString())))
                          : argument);
    }
    if (call.refreshText)
        arguments << QString::fromUtf8(m_refreshText.text());
    if (!waitForReply) {
        m_bus.send(methodCall(call.method, arguments));
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(
        m_bus.asyncCall(methodCall(call.method, arguments), ReplyTimeoutMs), m_sender);
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
        // A feed too large for one bus message was never sent.
        ++m_failed;
    }
    sendNext();
}

} // namespace vorn
