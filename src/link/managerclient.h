#pragma once

#include "managertransport.h"
#include "schedulexml.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <deque>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QThread;

namespace vorn {

// The Manager Server document: the cell manager's view host, reached through
// a ManagerTransport (the session bus, or COM automation). The window only ever creates one view and feeds it XML; no
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
// Sending happens on a sender thread of the client's own, so that the
// window's thread only hands texts over. The refresh feed is handed over as
// the rows of the records that changed: the sender thread keeps the whole
// text row by row and hands it to the transport from those rows.
class ManagerServerClient : public QObject {
    Q_OBJECT
public:
    static constexpr int ReplyTimeoutMs = 2000;
    static inline const QString ServiceName = QStringLiteral("ManagerServer.Document");
    static inline const QString ObjectPath = QStringLiteral("/ManagerServer/Document");
    static inline const QString InterfaceName = QStringLiteral("ManagerServer.Document");
    // The one view the window creates and then feeds: created under the
    // first name, fed under the second, which reaches the same view.
    static inline const QString ViewCreatedAs = QStringLiteral("Scheduler");
    static inline const QString ViewName = QStringLiteral("SCHEDULER");

    // "Creating the document object": an object when the manager's document
    // can be reached through `endpoint` right now (on the bus: it is connected
    // and ServiceName has an owner), else null.
    static std::unique_ptr<ManagerServerClient> create(
        const ManagerEndpoint &endpoint = DefaultManagerEndpoint());

    // Sends whatever is still queued without waiting for replies.
    ~ManagerServerClient() override;

    // CreateView(s name, s caption, n kind); never blocks, errors are ignored.
    void CreateView(const QString &name, const QString &caption, qint16 kind);
    // SetViewXMLData(s viewName, s xml); never blocks, errors are ignored.
    void SetViewXMLData(const QString &viewName, const QString &xml);
    // SetViewXMLData with the client's refresh text after `changes`: the text
    // the client keeps between feeds, brought up to date row by row. The
    // first call after the client was made must carry every record.
    void SetViewXMLDataChanged(const QString &viewName, model::ScheduleXmlChanges &&changes);
    // What the sender thread found the last time it read every row from the
    // table itself (ScheduleXmlChanges::readAllFrom), handed out once:
    // whether it could, and per record the fingerprint its row came from
    // (ScheduleXmlRows::apply). A failed read sends nothing until every row
    // comes again.
    struct ReadBack {
        bool ok = false;
        std::vector<quint64> fingerprints;
    };
    std::optional<ReadBack> takeReadBack() { return std::exchange(m_readBack, std::nullopt); }
    // Different for every client made in this process: a feeder that kept
    // rows for one client knows from it that another needs all of them.
    quint64 id() const { return m_id; }
    // Whether a schedule of `records` records can be fed at all: every row
    // takes at least its tags, and a call has a largest size.
    static bool feedFits(qint64 records);
    // Whether calls go out on the client's own bus connection.
    bool usesDirectBus() const { return m_transport->usesDirectBus(); }

    // Nothing queued and nothing waiting for a reply.
    bool isIdle() const;
    // A call has been sent and its reply (or timeout) has not come yet.
    bool isWaitingForReply() const;
    int queuedCount() const;

    // Counters for the simulator, the benchmarks and diagnostics.
    int sentCount() const { return m_sent; }
    int failedCount() const { return m_failed; }       // error reply, timeout, or too large to send
    int supersededCount() const { return m_superseded; } // queued feeds replaced by newer ones

signals:
    // One per sent call, when its reply, error or timeout arrives.
    void callFinished(const QString &method, bool ok, const QString &errorName);
    // The queue has drained and no reply is awaited.
    void idle();

private:
    struct Call {
        QString method;
        QVariantList arguments;   // for a refresh feed: the view name; the text follows
        bool refreshText = false; // the text is the client's own refresh text
        model::ScheduleXmlChanges changes;   // for it, taken over when the call leaves
    };

    explicit ManagerServerClient(std::unique_ptr<ManagerTransport> transport);
    void enqueue(Call call);
    bool replaceQueuedFeed(const QString &viewName, Call &call);
    void sendNext();
    void onFinished(const QString &method, bool sent, bool ok, const QString &errorName);
    // On the sender thread: sends and watches one call; with `waitForReply`
    // false (at the end) it only hands it to the bus.
    void sendOnSenderThread(Call &call, bool waitForReply);

    const quint64 m_id;
    std::deque<Call> m_queue;
    model::ScheduleXmlChanges m_pendingChanges;   // rows not yet taken by a leaving call
    bool m_inFlight = false;
    int m_sent = 0;
    int m_failed = 0;
    int m_superseded = 0;
    std::optional<ReadBack> m_readBack;
    std::unique_ptr<QThread> m_senderThread;
    QObject *m_sender = nullptr;   // lives on m_senderThread
    // Owned by the sender thread:
    model::ScheduleXmlRows m_refreshText;
    std::unique_ptr<ManagerTransport> m_transport;
    std::atomic<bool> m_closing{false};   // cuts a reply wait short when the client goes
};

} // namespace vorn
