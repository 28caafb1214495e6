#pragma once

#include "weboptions.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace vorn::serve {

// The request line and headers of one request, as far as the gate needs
// them; Qt's own parser reads the request that passes.
struct RequestHead {
    QByteArray method;
    QByteArray target;                              // as sent: path and query
    QList<std::pair<QByteArray, QByteArray>> headers;  // names in lower case

    // The first value of header `name` (lower case); empty when missing.
    QByteArray value(QByteArrayView name) const;
    bool isWebSocketUpgrade() const;
};

// The request line and headers of `block` (which ends at the blank line);
// nullopt when they are not HTTP/1.x.
std::optional<RequestHead> ParseRequestHead(QByteArrayView block);

// Watches the bytes of one request as they arrive, before Qt's parser
// buffers them, and refuses a request that outgrows the limits.
class RequestGate {
public:
    enum class Step { Wait, Head, Refuse };

    explicit RequestGate(const WebLimits &limits) : m_limits(limits) {}

    // Takes bytes that arrived: Head once the head of a request is in
    // (head() then holds it), Refuse when it breaks a limit or is no HTTP
    // (status() and reason() say why), else Wait.
    Step feed(QByteArrayView bytes);
    // The connection starts on its next request.
    void reset();

    bool started() const { return m_received > 0; }
    const RequestHead &head() const { return m_head; }
    int status() const { return m_status; }
    const QByteArray &reason() const { return m_reason; }

private:
    Step refuse(int status, const char *reason);

    WebLimits m_limits;
    QByteArray m_headBytes;
    qint64 m_received = 0;
    qint64 m_bodyAllowed = 0;
    bool m_headDone = false;
    RequestHead m_head;
    int m_status = 0;
    QByteArray m_reason;
};

} // namespace vorn::serve
