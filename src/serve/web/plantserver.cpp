#include "plantserver.h"

#include "requestgate.h"
#include "webanswers.h"

#include <QAbstractHttpServer>
#include <QPointer>
#include <QSet>
#include <QCryptographicHash>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <QWebSocket>

#include <functional>
#include <list>
#include <unordered_map>

namespace vorn::serve {

namespace {

constexpr QByteArrayView TokenCookie = "vorn_token";
constexpr const char *UpgradedProperty = "vornUpgraded";

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "Internal Server Error";
    }
}

// Equal tokens without telling by the time taken how much of one matched:
// the digests have the same length whatever was sent.
bool sameToken(const QByteArray &given, const QByteArray &token)
{
    const QByteArray a = QCryptographicHash::hash(given, QCryptographicHash::Sha256);
    const QByteArray b = QCryptographicHash::hash(token, QCryptographicHash::Sha256);
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

QByteArray cookieValue(const QByteArray &cookies, QByteArrayView name)
{
    for (const QByteArray &pair : cookies.split(';')) {
        const qsizetype eq = pair.indexOf('=');
        if (eq > 0 && pair.first(eq).trimmed() == name)
            return pair.sliced(eq + 1).trimmed();
    }
    return {};
}

// A listening socket that counts the connections it has open and refuses
// those beyond the limit, and lets the server watch each connection's bytes
// before Qt's HTTP server reads them.
template <class Base>
class GuardedListener : public Base {
public:
    std::function<bool(qintptr)> admit;       // false: refused and closed
    std::function<void(QTcpSocket *)> track;  // every connection taken
    std::function<void(QTcpSocket *)> attach;  // before Qt's server reads it

    QTcpSocket *nextPendingConnection() override
    {
        QTcpSocket *socket = Base::nextPendingConnection();
        if (socket)
            attach(socket);
        return socket;
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        if (!admit(descriptor))
            return;
        Base::incomingConnection(descriptor);
        // Both bases make the socket as their own child; with TLS it is only
        // handed on after the handshake, but counts from now.
        for (QTcpSocket *socket : this->template findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly)) {
            if (socket->socketDescriptor() == descriptor)
                track(socket);
        }
    }
};

} // namespace

struct PlantServer::Private {
    // Qt's HTTP server, answering through the plant server.
    class Front : public QAbstractHttpServer {
    public:
        explicit Front(Private &owner) : m_owner(owner) {}

    protected:
        bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override
        {
            m_owner.answer(request, socket);
            return true;
        }
        void missingHandler(const QHttpServerRequest &, QTcpSocket *) override {}

    private:
        Private &m_owner;
    };

    struct Connection {
        explicit Connection(const WebLimits &limits) : gate(limits) {}
        RequestGate gate;
        QTimer idle;
    };

    struct Page {
        std::unique_ptr<QWebSocket> socket;
        bool plant = true;
        QString cell;
        Sort sort = Sort::Machine;
        qint64 unsent = 0;   // handed to the socket, not yet written to the system
        bool behind = false;  // messages skipped: a fresh view is owed
        int unanswered = 0;   // pings since the last pong
    };

    Private(PlantServer &q, PlantSource &source, WebOptions options)
        : q(q), source(source), options(std::move(options)), front(*this)
    {
    }

    bool tls() const { return !options.certificateFile.isEmpty(); }

    bool authorized(const QUrlQuery &query, const QByteArray &cookies, bool *byQuery) const
    {
        *byQuery = false;
        if (options.token.isEmpty())
            return true;
        if (query.hasQueryItem(QStringLiteral("token"))) {
            *byQuery = true;
            return sameToken(query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toUtf8(),
                             options.token);
        }
        return sameToken(cookieValue(cookies, TokenCookie), options.token);
    }

    static void writeAnswer(QTcpSocket *socket, const WebAnswer &answer, const QString &path, bool withBody,
                            bool close)
    {
        QByteArray out = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + reasonPhrase(answer.status)
            + "\r\nContent-Type: " + answer.contentType
            + "\r\nContent-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
        for (const auto &[name, value] : CommonHeaders(path) + answer.headers)
            out += name + ": " + value + "\r\n";
        if (close)
            out += "Connection: close\r\n";
        out += "\r\n";
        if (withBody)
            out += answer.body;
        socket->write(out);
    }

    // A request refused before Qt's server has seen it: the answer, then
    // the connection is closed, whatever else arrives.
    void refuse(QTcpSocket *socket, int status, const QByteArray &reason)
    {
        QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
        writeAnswer(socket, ErrorAnswer(status, reason), QString(), true, true);
        socket->disconnectFromHost();
    }

    bool admit(QTcpServer *listener, qintptr descriptor)
    {
        if (open.size() + qsizetype(pages.size()) < options.limits.maxConnections)
            return true;
        auto *socket = new QTcpSocket(listener);
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return false;
        }
        // A TLS client could not read a plain answer before its handshake.
        if (!tls())
            writeAnswer(socket, ErrorAnswer(503, "too many connections"), QString(), true, true);
        socket->disconnectFromHost();
        return false;
    }

    void track(QTcpSocket *socket)
    {
        open.insert(socket);
        // Whichever comes first: a socket that closes, or one deleted open.
        const auto release = [this, socket] { open.remove(socket); };
        QObject::connect(socket, &QTcpSocket::disconnected, &q, release);
        QObject::connect(socket, &QObject::destroyed, &q, release);
    }

    void attach(QTcpSocket *socket)
    {
        // A new socket may have the address of one deleted unseen (Qt's
        // WebSocket code drops every connection of the sockets it takes).
        Connection &connection = *(connections[socket] = std::make_unique<Connection>(options.limits));
        connection.idle.setSingleShot(true);
        connection.idle.setInterval(options.limits.idleTimeoutMs);
        connection.idle.start();
        QObject::connect(&connection.idle, &QTimer::timeout, socket, [this, socket] {
            Connection &c = *connections.at(socket);
            if (c.gate.started())
                refuse(socket, 408, "request not complete in time");
            else
                socket->disconnectFromHost();
        });
        // Connected before Qt's server connects its own: these bytes are
        // weighed before its parser buffers them.
        QObject::connect(socket, &QTcpSocket::readyRead, &q, [this, socket] { arrived(socket); });
        QObject::connect(socket, &QTcpSocket::bytesWritten, &q, [this, socket] {
            if (const auto it = connections.find(socket); it != connections.end())
                it->second->idle.start();
        });
        QObject::connect(socket, &QObject::destroyed, &q, [this, socket] { connections.erase(socket); });
    }

    void arrived(QTcpSocket *socket)
    {
        const auto it = connections.find(socket);
        if (it == connections.end() || !socket->isOpen())
            return;
        Connection &connection = *it->second;
        // A client that asks and never reads: its answers would pile up here.
        if (socket->bytesToWrite() > options.limits.maxUnsentBytes) {
            QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
            socket->abort();
            return;
        }
        switch (connection.gate.feed(socket->peek(socket->bytesAvailable()))) {
        case RequestGate::Step::Wait:
            return;
        case RequestGate::Step::Refuse:
            refuse(socket, connection.gate.status(), connection.gate.reason());
            return;
        case RequestGate::Step::Head:
            if (!connection.gate.head().isWebSocketUpgrade())
                return;
            if (const auto [status, reason] = checkUpgrade(connection.gate.head()); status) {
                refuse(socket, status, reason);
                return;
            }
            // From here on the socket is Qt's WebSocket server's, and counts
            // as the page it opens.
            open.remove(socket);
            socket->setProperty(UpgradedProperty, true);
            connections.erase(socket);
            return;
        }
    }

    // Whether a WebSocket may open: 0, or the status and reason to refuse it with.
    std::pair<int, QByteArray> checkUpgrade(const RequestHead &head) const
    {
        const QUrl url(QString::fromLatin1(head.target));
        const QStringList parts = url.path(QUrl::FullyDecoded).split(u'/');
        const QUrlQuery query(url);
        if (head.method != "GET")
            return {405, "WebSocket opens with GET"};
        bool byQuery = false;
        if (!authorized(query, head.value("cookie"), &byQuery))
            return {401, "no or wrong token"};
        // Another site's page in the same browser may not listen in.
        const QByteArray origin = head.value("origin");
        if (!origin.isEmpty() && origin != (tls() ? "https://" : "http://") + head.value("host"))
            return {403, "WebSocket from another site"};
        const bool plant = parts.size() == 3 && parts[1] == QLatin1String("ws") && parts[2] == QLatin1String("plant");
        const bool cell = parts.size() == 4 && parts[1] == QLatin1String("ws") && parts[2] == QLatin1String("cell");
        if (!plant && !(cell && IsCellName(parts[3]) && source.hasCell(parts[3])))
            return {404, "no such cell or path"};
        if (cell && !ParseSort(query))
            return {400, "sort must be machine or part"};
        return {0, {}};
    }

    void answer(const QHttpServerRequest &request, QTcpSocket *socket)
    {
        const auto it = connections.find(socket);
        if (it == connections.end()) {
            // Qt's server shows an opening WebSocket here too, then opens
            // it; any other socket unknown here is not served.
            if (!socket->property(UpgradedProperty).toBool())
                socket->abort();
            return;
        }
        Connection &connection = *it->second;
        connection.gate.reset();
        connection.idle.start();
        const QString path = request.url().path(QUrl::FullyDecoded);
        const QUrlQuery query = request.query();
        const bool head = request.method() == QHttpServerRequest::Method::Head;
        bool byQuery = false;
        WebAnswer out;
        if (!head && request.method() != QHttpServerRequest::Method::Get) {
            out = ErrorAnswer(405, "only GET and HEAD");
            out.headers.emplace_back("Allow", "GET, HEAD");
        } else if (!authorized(query, request.value("cookie"), &byQuery)) {
            out = ErrorAnswer(401, "no or wrong token");
        } else if (path.startsWith(QLatin1String("/ws/"))) {
            out = ErrorAnswer(400, "WebSocket only");
        } else {
            out = Answer(source, path, query);
            // A page opened with the token in its address keeps it in a
            // cookie that scripts cannot read and other sites cannot send.
            if (byQuery && out.status == 200 && out.contentType.startsWith("text/html")) {
                out.headers.emplace_back("Set-Cookie", TokenCookie.toByteArray() + '=' + options.token
                                                           + "; Path=/; HttpOnly; SameSite=Strict"
                                                           + (tls() ? "; Secure" : ""));
            }
        }
        writeAnswer(socket, out, path, !head, false);
    }

    void takeWebSockets()
    {
        while (front.hasPendingWebSocketConnections())
            openPage(front.nextPendingWebSocketConnection());
    }

    void openPage(std::unique_ptr<QWebSocket> socket)
    {
        if (!socket)
            return;
        const QUrl url = socket->requestUrl();
        const QStringList parts = url.path(QUrl::FullyDecoded).split(u'/');
        Page &page = pages.emplace_back();
        page.socket = std::move(socket);
        QWebSocket *ws = page.socket.get();
        ws->setMaxAllowedIncomingFrameSize(quint64(options.limits.maxPageMessageBytes));
        ws->setMaxAllowedIncomingMessageSize(quint64(options.limits.maxPageMessageBytes));
        QObject::connect(ws, &QWebSocket::bytesWritten, &q, [this, &page](qint64 bytes) { written(page, bytes); });
        QObject::connect(ws, &QWebSocket::disconnected, &q, [this, &page] { closePage(page); });
        QObject::connect(ws, &QWebSocket::pong, &q, [&page] { page.unanswered = 0; });
        if (parts.size() == 4) {
            page.plant = false;
            page.cell = parts[3];
            page.sort = ParseSort(QUrlQuery(url)).value_or(Sort::Machine);
            source.follow(page.cell, page.sort);
        }
        sendFresh(page);
    }

    // A page whose browser is gone without a word would hold its connection
    // for good: each is pinged, and closed when two pings go unanswered.
    void pingPages()
    {
        QList<QPointer<QWebSocket>> silent, gone;
        for (Page &page : pages) {
            if (page.unanswered++ < 2 && page.socket->state() == QAbstractSocket::ConnectedState)
                page.socket->ping();
            else
                (page.unanswered > 3 || page.socket->state() == QAbstractSocket::UnconnectedState ? gone : silent)
                    .append(page.socket.get());
        }
        // Closing may close a page at once, so not while going through them.
        for (const QPointer<QWebSocket> &socket : silent) {
            if (socket)
                socket->close(QWebSocketProtocol::CloseCodeGoingAway, QStringLiteral("no answer to pings"));
        }
        // A page that did not answer the close in a ping interval, or whose
        // socket closed without a word to the page: Qt's socket would wait
        // for good, and hold the connection.
        for (const QPointer<QWebSocket> &socket : gone) {
            const auto page = std::find_if(pages.begin(), pages.end(), [&socket](const Page &p) { return p.socket.get() == socket; });
            if (page != pages.end()) {
                closePage(*page);
                socket->abort();
            }
        }
    }

    void closePage(Page &page)
    {
        if (!page.plant)
            source.unfollow(page.cell, page.sort);
        QObject::disconnect(page.socket.get(), nullptr, &q, nullptr);
        page.socket.release()->deleteLater();
        pages.remove_if([&page](const Page &p) { return &p == &page; });
    }

    void sendFresh(Page &page)
    {
        const std::optional<QByteArray> view = page.plant ? source.cellsJson() : source.wholeView(page.cell, page.sort);
        if (!view) {
            page.socket->close(QWebSocketProtocol::CloseCodeNormal, QStringLiteral("no such cell"));
            return;
        }
        page.behind = false;
        send(page, QString::fromUtf8(*view), view->size());
    }

    // What one frame of `bytes` puts on the wire from the server (unmasked).
    static qint64 frameBytes(qint64 bytes) { return bytes + (bytes < 126 ? 2 : bytes < 65536 ? 4 : 10); }

    void send(Page &page, const QString &text, qint64 bytes)
    {
        if (page.behind)
            return;
        // A page with nothing waiting always gets the message, however large
        // (a whole view of a big cell is larger than the limit); a page with
        // a backlog is skipped instead of queueing more: it learns the state
        // afresh once it has read what it was sent.
        if (page.unsent > 0 && page.unsent + bytes > options.limits.maxUnsentBytes) {
            page.behind = true;
            return;
        }
        page.unsent += frameBytes(bytes);
        page.socket->sendTextMessage(text);
    }

    void written(Page &page, qint64 bytes)
    {
        page.unsent = qMax<qint64>(0, page.unsent - bytes);
        if (page.behind && page.unsent <= options.limits.maxUnsentBytes / 4)
            sendFresh(page);
    }

    void forward(const QString &cell, Sort sort, const QByteArray &message)
    {
        // One conversion for all pages of the view.
        const QString text = QString::fromUtf8(message);
        for (Page &page : pages) {
            if (!page.plant && page.sort == sort && page.cell == cell)
                send(page, text, message.size());
        }
    }

    void forwardPlant(const QByteArray &message)
    {
        const QString text = QString::fromUtf8(message);
        for (Page &page : pages) {
            if (page.plant)
                send(page, text, message.size());
        }
    }

    PlantServer &q;
    PlantSource &source;
    WebOptions options;
    Front front;
    QTcpServer *listener = nullptr;
    QTimer pinger;
    QSet<QTcpSocket *> open;  // HTTP connections; each open page counts as one more
    std::unordered_map<QTcpSocket *, std::unique_ptr<Connection>> connections;
    std::list<Page> pages;  // stable addresses: the sockets' slots hold them
};

PlantServer::PlantServer(PlantSource &source, WebOptions options, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>(*this, source, std::move(options)))
{
    connect(&d->front, &QAbstractHttpServer::newWebSocketConnection, this, [this] { d->takeWebSockets(); });
    connect(&source, &PlantSource::cellMessage, this,
            [this](const QString &cell, Sort sort, const QByteArray &message) { d->forward(cell, sort, message); });
    connect(&source, &PlantSource::plantMessage, this,
            [this](const QByteArray &message) { d->forwardPlant(message); });
}

PlantServer::~PlantServer()
{
    // Nothing that closes now reaches back into the half-destroyed server;
    // every page still open gives back its follow.
    for (QTcpSocket *socket : d->front.findChildren<QTcpSocket *>())
        QObject::disconnect(socket, nullptr, this, nullptr);
    for (Private::Page &page : d->pages) {
        QObject::disconnect(page.socket.get(), nullptr, this, nullptr);
        if (!page.plant)
            d->source.unfollow(page.cell, page.sort);
    }
    d->pages.clear();
    d->connections.clear();
}

Result PlantServer::start()
{
    const auto listenerFor = [this](auto *listener) {
        listener->admit = [this, listener](qintptr descriptor) { return d->admit(listener, descriptor); };
        listener->track = [this](QTcpSocket *socket) { d->track(socket); };
        listener->attach = [this](QTcpSocket *socket) { d->attach(socket); };
        return listener;
    };
    std::unique_ptr<QTcpServer> listener;
    if (d->tls() || !d->options.keyFile.isEmpty()) {
        if (d->options.certificateFile.isEmpty() || d->options.keyFile.isEmpty())
            return Result::failure(tr("TLS needs both a certificate and a key"));
        QFile certificateFile(d->options.certificateFile);
        if (!certificateFile.open(QIODevice::ReadOnly))
            return Result::failure(tr("cannot read the certificate %1: %2")
                                       .arg(d->options.certificateFile, certificateFile.errorString()));
        const QByteArray certificateBytes = certificateFile.readAll();
        QList<QSslCertificate> chain = QSslCertificate::fromData(certificateBytes, QSsl::Pem);
        if (chain.isEmpty())
            chain = QSslCertificate::fromData(certificateBytes, QSsl::Der);
        if (chain.isEmpty())
            return Result::failure(tr("no certificate in %1").arg(d->options.certificateFile));
        QFile keyFile(d->options.keyFile);
        if (!keyFile.open(QIODevice::ReadOnly))
            return Result::failure(tr("cannot read the key %1: %2").arg(d->options.keyFile, keyFile.errorString()));
        const QByteArray keyBytes = keyFile.readAll();
        QSslKey key;
        for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec}) {
            for (const QSsl::EncodingFormat format : {QSsl::Pem, QSsl::Der}) {
                if (key.isNull())
                    key = QSslKey(keyBytes, algorithm, format);
            }
        }
        if (key.isNull())
            return Result::failure(tr("no private key in %1").arg(d->options.keyFile));
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificateChain(chain);
        configuration.setPrivateKey(key);
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        auto *sslListener = listenerFor(new GuardedListener<QSslServer>);
        sslListener->setSslConfiguration(configuration);
        listener.reset(sslListener);
    } else {
        listener.reset(listenerFor(new GuardedListener<QTcpServer>));
    }
    // A burst of page loads waits in the queue rather than being dropped.
    listener->setListenBacklogSize(d->options.limits.maxConnections);
    if (!listener->listen(d->options.address, d->options.port)) {
        return Result::failure(tr("cannot listen on %1 port %2: %3")
                                   .arg(d->options.address.toString())
                                   .arg(d->options.port)
                                   .arg(listener->errorString()));
    }
    d->listener = listener.release();
    d->front.bind(d->listener);
    connect(&d->pinger, &QTimer::timeout, this, [this] { d->pingPages(); });
    d->pinger.start(d->options.limits.pingIntervalMs);
    return Result::success();
}

QString PlantServer::address() const
{
    const QHostAddress host = d->options.address;
    const QString name = host.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + host.toString() + u']'
                                                                          : host.toString();
    return QStringLiteral("%1://%2:%3/").arg(d->tls() ? QStringLiteral("https") : QStringLiteral("http"), name)
        .arg(port());
}

quint16 PlantServer::port() const
{
    return d->listener ? d->listener->serverPort() : 0;
}

} // namespace vorn::serve
