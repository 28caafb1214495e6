#include "managerclient.h"

#include <QThread>

namespace vorn {

namespace {
const QString CreateViewMethod = QStringLiteral("CreateView");
const QString SetViewXmlMethod = QStringLiteral("SetViewXMLData");
std::atomic<quint64> nextClientId{1};
} // namespace

std::unique_ptr<ManagerServerClient> ManagerServerClient::create(const ManagerEndpoint &endpoint)
{
    std::unique_ptr<ManagerTransport> transport = OpenManagerTransport(endpoint);
    if (!transport)
        return nullptr;
    return std::unique_ptr<ManagerServerClient>(new ManagerServerClient(std::move(transport)));
}

bool ManagerServerClient::feedFits(qint64 records)
{
    return model::kScheduleXmlFrameLength + records * model::kScheduleXmlRowTagsLength
        < ManagerTransportMaxCallSize();
}

ManagerServerClient::ManagerServerClient(std::unique_ptr<ManagerTransport> transport)
    : m_id(nextClientId++)
    , m_senderThread(std::make_unique<QThread>())
    , m_sender(new QObject)
{
    m_transport = std::move(transport);
    m_transport->setAbortFlag(&m_closing);
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
            m_transport->close();
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
        if (!whole || m_refreshText.size() + 4096 > ManagerTransportMaxCallSize()) {
            report(false, false, QString());
            return;
        }
    }
    m_transport->call(call.method, call.arguments, call.refreshText ? &m_refreshText : nullptr, waitForReply,
                      m_sender, [report](const ManagerTransport::Outcome &outcome) {
                          report(outcome.sent, outcome.ok, outcome.errorName);
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
        // A feed too large for one call was never sent.
        ++m_failed;
    }
    sendNext();
}

} // namespace vorn
