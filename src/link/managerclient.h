#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QThread;

namespace vorn {

// The Manager Server document: the cell manager's view host, reached on the
// session bus. The window only ever creates one view and feeds it XML; no
// result comes back, and a missing, stuck or vanished manager must never cost
// the user interface any waiting.
//
// Calls are sent asynchronously, one at a time and in order: the next call
// leaves when the previous one has been answered, has failed, or has waited
// ReplyTimeoutMs. A SetViewXMLData that is still queued behind a slow call is
// replaced by a newer one for the same view, because each feed replaces the
// previous one in the view anyway; a stuck manager therefore receives at most
// one message per timeout instead of one per refresh tick.
//
// Turning a call into bytes for the bus (tens of megabytes for a large
// schedule) happens on a sender thread of the client's own, as may the
// building of a feed's XML, so that the window's thread only hands texts over.
class ManagerServerClient : public QObject {
    Q_OBJECT
public:
    static constexpr int ReplyTimeoutMs = 2000;
    static inline const QString ServiceName = QStringLiteral("ManagerServer.Document");
    static inline const QString ObjectPath = QStringLiteral("/ManagerServer/Document");
    static inline const QString InterfaceName = QStringLiteral("ManagerServer.Document");

    // "Creating the document object": an object when `bus` is connected and
    // ServiceName has an owner right now, else null.
    static std::unique_ptr<ManagerServerClient> create(
        const QDBusConnection &bus = QDBusConnection::sessionBus());

    // Sends whatever is still queued without waiting for replies.
    ~ManagerServerClient() override;

    // CreateView(s name, s caption, n kind); never blocks, errors are ignored.
    void CreateView(const QString &name, const QString &caption, qint16 kind);
    // SetViewXMLData(s viewName, s xml); never blocks, errors are ignored.
    void SetViewXMLData(const QString &viewName, const QString &xml);
    // The same with the text made on the sender thread right before it is
    // sent; an empty text sends nothing. `build` must not touch the window
    // or anything else of the caller's thread.
    using XmlBuilder = std::function<QString()>;
    void SetViewXMLDataBuiltLater(const QString &viewName, XmlBuilder build);

    // Nothing queued and nothing waiting for a reply.
    bool isIdle() const;
    // A call has been sent and its reply (or timeout) has not come yet.
    bool isWaitingForReply() const;
    int queuedCount() const;

    // Counters for the simulator, the benchmarks and diagnostics.
    int sentCount() const { return m_sent; }
    int failedCount() const { return m_failed; }       // error reply or timeout
    int supersededCount() const { return m_superseded; } // queued feeds replaced by newer ones
    int skippedCount() const { return m_skipped; }     // built-later feeds that came out empty

signals:
    // One per sent call, when its reply, error or timeout arrives.
    void callFinished(const QString &method, bool ok, const QString &errorName);
    // The queue has drained and no reply is awaited.
    void idle();

private:
    struct Call {
        QString method;
        QVariantList arguments;   // for a built-later feed: the view name; the text follows
        XmlBuilder build;
        // The message to send, a built-later text built now; nothing when
        // the builder had nothing to send.
        std::optional<QDBusMessage> message() const;
    };

    explicit ManagerServerClient(const QDBusConnection &bus);
    void enqueue(Call call);
    bool replaceQueuedFeed(const QString &viewName, Call &call);
    void sendNext();
    void onFinished(const QString &method, bool sent, bool ok, const QString &errorName);
    // On the sender thread: builds, sends and watches one call.
    void sendOnSenderThread(const Call &call);

    QDBusConnection m_bus;
    std::deque<Call> m_queue;
    bool m_inFlight = false;
    int m_sent = 0;
    int m_failed = 0;
    int m_superseded = 0;
    int m_skipped = 0;
    std::unique_ptr<QThread> m_senderThread;
    QObject *m_sender = nullptr;   // lives on m_senderThread
};

} // namespace vorn
