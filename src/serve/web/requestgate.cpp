#include "requestgate.h"

#include <algorithm>

namespace vorn::serve {

QByteArray RequestHead::value(QByteArrayView name) const
{
    for (const auto &[key, value] : headers) {
        if (key == name)
            return value;
    }
    return {};
}

bool RequestHead::isWebSocketUpgrade() const
{
    // As Qt's parser takes it: an Upgrade header and "upgrade" among the
    // options of any Connection header.
    bool connection = false;
    for (const auto &[key, value] : headers)
        connection = connection || (key == "connection" && value.toLower().contains("upgrade"));
    return connection && value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0;
}

std::optional<RequestHead> ParseRequestHead(QByteArrayView block)
{
    // Lines end in CRLF or, as Qt's parser also takes them, in LF alone.
    QList<QByteArrayView> lines;
    for (qsizetype start = 0; start < block.size();) {
        qsizetype end = block.indexOf('\n', start);
        if (end < 0)
            end = block.size();
        QByteArrayView line = block.sliced(start, end - start);
        lines.append(line.endsWith('\r') ? line.chopped(1) : line);
        start = end + 1;
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (lines.isEmpty())
        return std::nullopt;
    const QList<QByteArray> request = lines.first().toByteArray().split(' ');
    if (request.size() != 3 || request[0].isEmpty() || !request[1].startsWith('/')
        || !request[2].startsWith("HTTP/1."))
        return std::nullopt;
    RequestHead head{request[0], request[1], {}};
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0)
            return std::nullopt;
        head.headers.append({lines[i].first(colon).trimmed().toByteArray().toLower(),
                             lines[i].sliced(colon + 1).trimmed().toByteArray()});
    }
    // Two of these could be read differently here and by Qt's parser.
    for (const QByteArrayView once : {"upgrade", "content-length", "transfer-encoding"}) {
        if (std::count_if(head.headers.cbegin(), head.headers.cend(), [once](const auto &h) { return h.first == once; }) > 1)
            return std::nullopt;
    }
    return head;
}

RequestGate::Step RequestGate::feed(QByteArrayView bytes)
{
    if (m_status)
        return Step::Refuse;
    m_received += bytes.size();
    if (m_headDone) {
        return m_received > m_headBytes.size() + m_bodyAllowed ? refuse(413, "request too large")
                                                                : Step::Wait;
    }
    // Only what can still belong to the head is kept; the search starts a
    // little before the new bytes, as the blank line may be split between
    // reads. It ends at an empty line, CRLF or LF alone as Qt's parser takes it.
    const qsizetype from = qMax<qsizetype>(0, m_headBytes.size() - 2);
    m_headBytes.append(bytes.first(qMin<qsizetype>(bytes.size(), m_limits.maxHeaderBytes + 4 - m_headBytes.size())));
    qsizetype end = -1;
    for (qsizetype at = m_headBytes.indexOf('\n', from); at >= 0 && end < 0; at = m_headBytes.indexOf('\n', at + 1)) {
        if (m_headBytes.sliced(at + 1).startsWith('\n'))
            end = at + 2;
        else if (m_headBytes.sliced(at + 1).startsWith("\r\n"))
            end = at + 3;
    }
    if (end < 0 || end > m_limits.maxHeaderBytes) {
        return m_headBytes.size() >= m_limits.maxHeaderBytes ? refuse(431, "request headers too large")
                                                             : Step::Wait;
    }
    m_headBytes.truncate(end);
    m_headDone = true;
    std::optional<RequestHead> head = ParseRequestHead(m_headBytes);
    if (!head)
        return refuse(400, "malformed request");
    m_head = std::move(*head);
    if (!m_head.value("transfer-encoding").isEmpty()) {
        m_bodyAllowed = m_limits.maxBodyBytes;
    } else {
        bool ok = true;
        const QByteArray length = m_head.value("content-length");
        m_bodyAllowed = length.isEmpty() ? 0 : length.toLongLong(&ok);
        if (!ok || m_bodyAllowed < 0)
            return refuse(400, "malformed content length");
        if (m_bodyAllowed > m_limits.maxBodyBytes)
            return refuse(413, "request too large");
    }
    // Bytes past a body the request has are its own; past a request
    // without one they may be the next request's.
    if (m_bodyAllowed > 0 && m_received > m_headBytes.size() + m_bodyAllowed)
        return refuse(413, "request too large");
    return Step::Head;
}

void RequestGate::reset()
{
    m_headBytes.clear();
    m_received = 0;
    m_bodyAllowed = 0;
    m_headDone = false;
    m_head = {};
    m_status = 0;
    m_reason.clear();
}

RequestGate::Step RequestGate::refuse(int status, const char *reason)
{
    m_status = status;
    m_reason = reason;
    return Step::Refuse;
}

} // namespace vorn::serve
