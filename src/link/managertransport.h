#pragma once

#include "linkendpoints.h"
#include "schedulexml.h"

#include <QString>
#include <QVariantList>

#include <atomic>
#include <functional>
#include <memory>

class QObject;

namespace vorn {

// How one call of the Manager Server client reaches the manager's document:
// the session bus on Linux, COM automation on Windows. The client keeps the
// queue, the order and the sender thread; a transport only carries a call and
// says how it went. It is made on the window's thread and from then on used
// only on the client's sender thread, until close() there.
class ManagerTransport {
public:
    struct Outcome {
        bool sent = false;   // the call reached the manager's side
        bool ok = false;     // and it answered without an error
        QString errorName;   // the error's name, or why nothing came
    };
    using Done = std::function<void(const Outcome &)>;

    virtual ~ManagerTransport() = default;

    // Calls `method` with `arguments` (texts, and a 16-bit kind), then `text`
    // as its last text when it is given. With `waitForReply`, `done` is called
    // once on the sender thread with the outcome, maybe before this returns;
    // `context` (an object of the sender thread) may own what waits for it.
    // Without it the call is only handed over and `done` is not called.
    virtual void call(const QString &method, const QVariantList &arguments,
                      const model::ScheduleXmlRows *text, bool waitForReply, QObject *context,
                      const Done &done) = 0;
    // Last thing on the sender thread before it ends.
    virtual void close() {}
    // Set while the client goes: a wait for a reply may be cut short.
    virtual void setAbortFlag(const std::atomic<bool> *flag) { Q_UNUSED(flag) }
    // Whether calls go out on the client's own bus connection (see ManagerServerClient).
    virtual bool usesDirectBus() const { return false; }
};

// Implemented once per platform, chosen by the build:

// "Creating the document object": a transport when a document can be reached
// through `endpoint` now, else null. Never waits on the manager itself.
std::unique_ptr<ManagerTransport> OpenManagerTransport(const ManagerEndpoint &endpoint);

// The largest call, in bytes of the text it carries, that the transport takes.
qint64 ManagerTransportMaxCallSize();

} // namespace vorn
