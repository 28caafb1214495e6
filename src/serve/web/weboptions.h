#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QtGlobal>

namespace vorn::serve {

// How much one client may ask of the server before it is refused; each
// value in docs/decisions.md says why it is what it is.
struct WebLimits {
    int maxConnections = 256;              // open sockets, HTTP and WebSocket together
    qint64 maxHeaderBytes = 8 * 1024;      // request line and headers
    qint64 maxBodyBytes = 8 * 1024;        // only GET and HEAD are served: no body is needed
    qint64 maxPageMessageBytes = 1024;     // what a page may send on its WebSocket
    qint64 maxUnsentBytes = 4 * 1024 * 1024;  // queued for one client before it is dropped to a fresh view
    int idleTimeoutMs = 15000;             // a request must arrive whole within this
    int pingIntervalMs = 30000;            // a page that answers two pings in a row with nothing is closed
};

// Where and how the server listens, and who may ask it.
struct WebOptions {
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = 8470;                   // 0: any free port
    QByteArray token;                      // empty: no token asked
    QString certificateFile;               // both set: TLS
    QString keyFile;
    WebLimits limits;
};

} // namespace vorn::serve
