#include "plantserver.h"
#include "shownbytes.h"
#include "testfiles.h"

#include <QProcess>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>
#include <QWebSocket>

using namespace vorn;
using namespace vorn::serve;

namespace {

QByteArray sortName(Sort sort) { return sort == Sort::Machine ? "machine" : "part"; }

// Answers from its arguments, so that a test sees what the server asked for.
class FakeSource : public PlantSource {
public:
    QHash<QString, int> follows;  // "cell/sort": pages following now

    QStringList cellNames() const override { return {"Cell1", "Cell2"}; }
    bool hasCell(const QString &cell) const override { return cellNames().contains(cell); }
    QByteArray cellsJson() const override { return R"({"type":"plant"})"; }
    std::optional<QByteArray> rowsJson(const QString &cell, Sort sort) override { return wholeView(cell, sort); }
    std::optional<QByteArray> scheduleCsv(const QString &cell, Sort sort, const QString &lang) override
    {
        return hasCell(cell) ? std::optional("csv " + sortName(sort) + ' ' + lang.toUtf8()) : std::nullopt;
    }
    std::optional<QByteArray> scheduleXml(const QString &cell) override { return QByteArray("<schedule/>"); }
    QByteArray chart(const QString &cell, const ChartOptions &o, ChartFormat, QString *error) override
    {
        if (cell == QLatin1String("Cell2"))
            *error = QStringLiteral("cannot draw");
        const auto time = [](std::optional<qint32> t) { return t ? QByteArray::number(*t) : QByteArray("-"); };
        return cell != QLatin1String("Cell1") ? QByteArray()
            : "chart " + sortName(o.sort) + ' ' + QByteArray::number(o.interval) + ' ' + time(o.fromSeconds) + ' '
                + time(o.toSeconds) + ' ' + time(o.nowSeconds) + ' ' + QByteArray::number(o.overlays) + ' '
                + o.language.toUtf8();
    }
    void follow(const QString &cell, Sort sort) override { ++follows[cell + '/' + sortName(sort)]; }
    void unfollow(const QString &cell, Sort sort) override { --follows[cell + '/' + sortName(sort)]; }
    std::optional<QByteArray> wholeView(const QString &cell, Sort sort) override
    {
        return hasCell(cell) ? std::optional(R"({"type":"view","sort":")" + sortName(sort) + "\"}") : std::nullopt;
    }
};

const QByteArray Upgrade = "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n";

QByteArray request(const QByteArray &line, const QByteArray &headers = {})
{
    return line + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
}

// A client frame: masked with a zero key, so the payload stays as it is.
QByteArray frame(char opcode, const QByteArray &payload)
{
    QByteArray out(1, char(0x80 | opcode));
    if (payload.size() < 126)
        out += char(0x80 | payload.size());
    else
        out += char(0x80 | 126) + QByteArray(1, char(payload.size() >> 8)) + char(payload.size() & 0xff);
    return out + QByteArray(4, '\0') + payload;
}

// Everything the server sends back to `bytes`: one whole answer, or all
// until it closes (after a WebSocket opened, or a refusal).
QByteArray exchange(QTcpSocket &socket, const QByteArray &bytes)
{
    socket.write(bytes);
    QByteArray got;
    QElapsedTimer timer;
    timer.start();
    // The server runs on this thread: waits run its event loop.
    while (timer.elapsed() < 5000 && socket.state() == QAbstractSocket::ConnectedState) {
        QTest::qWait(5);
        got += socket.readAll();
        const qsizetype end = got.indexOf("\r\n\r\n");
        if (end < 0 || got.startsWith("HTTP/1.1 101"))
            continue;
        const qsizetype at = got.indexOf("Content-Length: ");
        if (bytes.startsWith("HEAD") || got.size() >= end + 4 + got.mid(at + 16, 12).split('\r').first().toInt())
            break;
    }
    return got + socket.readAll();
}

QByteArray exchange(quint16 port, const QByteArray &bytes)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; })
        ? exchange(socket, bytes) : QByteArray("not connected");
}

struct Served {
    // Any free port; `set` changes the other options.
    explicit Served(const std::function<void(WebOptions &)> &set = [](WebOptions &) {})
        : server(source, [&set] { WebOptions o; o.port = 0; set(o); return o; }())
    {
        const Result started = server.start();
        QVERIFY2(started.ok(), qPrintable(started.message()));
    }
    quint16 port() const { return server.port(); }
    FakeSource source;
    PlantServer server;
};

std::unique_ptr<QWebSocket> openPage(quint16 port, const QString &path, QList<QString> *messages)
{
    auto page = std::make_unique<QWebSocket>();
    QObject::connect(page.get(), &QWebSocket::textMessageReceived, page.get(),
                     [messages](const QString &message) { messages->append(message); });
    page->open(QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(port).arg(path)));
    return page;
}

// The whole messages a raw client read after its opening handshake: the
// server's frames are unmasked and, at these sizes, one per message.
QList<QByteArray> serverMessages(const QByteArray &stream)
{
    QList<QByteArray> messages;
    for (qsizetype at = stream.indexOf("\r\n\r\n") + 4; at > 3 && at + 10 <= stream.size();) {
        const int code = stream[at + 1] & 0x7f;
        const int head = code < 126 ? 2 : code == 126 ? 4 : 10;
        const qint64 length = code < 126 ? code
            : code == 126 ? qFromBigEndian<quint16>(stream.constData() + at + 2)
                          : qFromBigEndian<qint64>(stream.constData() + at + 2);
        if (at + head + length > stream.size())
            break;
        messages.append(stream.sliced(at + head, length));
        at += head + length;
    }
    return messages;
}

} // namespace

class PlantServerTest : public QObject {
    Q_OBJECT

private slots:
    // Every answer whole, in the row's stored transcript. With a token, every
    // request shows it: in the address (a page then keeps it in a cookie
    // scripts cannot read) or in that cookie.
    void routes_data()
    {
        QTest::addColumn<QByteArray>("token");
        QTest::addColumn<QByteArrayList>("requests");  // a request line, then its headers each ending in \r\n
        QTest::newRow("routes.txt") << QByteArray() << QByteArrayList{
            "GET /", "GET /cell/Cell1", "GET /cell/Cell9", "GET /api/cells", "GET /api/cells/Cell1/rows?sort=part",
            "GET /api/cells/Cell9/rows", "GET /api/cells/Cell1/rows?sort=size",
            "GET /api/cells/Cell1/schedule.csv?lang=zh&sort=part", "GET /api/cells/Cell1/schedule.csv?lang=fr",
            "GET /api/cells/Cell1/schedule.xml",
            "GET /api/cells/Cell1/chart.svg?sort=part&interval=10&from=08:00&to=24:00&now=09:15:30&overlays=0&lang=zh",
            "GET /api/cells/Cell1/chart.png", "GET /api/cells/Cell1/chart.pdf?interval=7",
            "GET /api/cells/Cell1/chart.svg?from=24:01", "GET /api/cells/Cell1/chart.svg?from=10:00&to=09:00",
            "GET /api/cells/Cell1/chart.svg?now=09:15", "GET /api/cells/Cell1/chart.svg?overlays=yes",
            "GET /api/cells/Cell2/chart.svg", "GET /api/strings/zh", "GET /api/strings/fr", "GET /static/style.css",
            "GET /static/serve.qrc", "GET /ws/plant", "HEAD /api/cells", "DELETE /api/cells"};
        QTest::newRow("routes-token.txt") << QByteArray("s3cret") << QByteArrayList{
            "GET /api/cells", "GET /static/style.css", "GET /?token=s3cre", "GET /cell/Cell1?token=s3cret",
            "GET /api/cells\r\nCookie: theme=dark; vorn_token=s3cret\r\n",
            "GET /api/cells\r\nCookie: vorn_token=s3cret2\r\n", "GET /ws/plant\r\n" + Upgrade,
            "GET /ws/plant\r\n" + Upgrade + "Cookie: vorn_token=s3cret\r\n",
            "GET /ws/plant?token=s3cret\r\n" + Upgrade + "Origin: http://evil.example\r\n"};
    }

    void routes()
    {
        QFETCH(QByteArray, token);
        QFETCH(QByteArrayList, requests);
        Served served([&](WebOptions &o) { o.token = token; });
        QByteArray transcript;
        for (const QByteArray &bytes : requests) {
            const qsizetype line = bytes.contains('\r') ? bytes.indexOf('\r') : bytes.size();
            const QByteArray reply = exchange(served.port(), request(bytes.left(line), bytes.mid(line + 2)));
            const qsizetype end = reply.indexOf("\r\n\r\n");
            QByteArray head = reply.left(end + 2), body = reply.mid(end + 4);
            QVERIFY2(end > 0 && !QByteArray(head).replace("\r\n", "").contains('\n'), reply.left(600));
            if (const qsizetype date = head.indexOf("\r\nDate: "); date >= 0)
                head.replace(date + 8, head.indexOf('\r', date + 2) - date - 8, "<now>");
            // A page's files by their first line: they change with the pages, not with the server.
            const QByteArray size = "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
            if (body.size() > 200 && head.contains(size)) {
                head.replace(size, "Content-Length: <its body's>\r\n");
                const qsizetype cut = body.indexOf('\n');
                body = body.left(cut < 0 || cut > 60 ? 60 : cut) + " ...";
            }
            const QByteArray asked = bytes.endsWith('\n') ? bytes.chopped(2) : bytes;
            transcript += "> " + QByteArray(asked).replace("\r\n", "\n> ") + '\n' + head.replace("\r\n", "\n")
                + vorn::testing::shownBytes(body) + "\n\n";
        }
        VORN_COMPARE_STORED(QString::fromLatin1(QTest::currentDataTag()), transcript);
    }

    // Whatever a client sends, it gets an answer or is refused, and the
    // server goes on answering others.
    void hostile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("contains");
        const QByteArray page = request("GET /ws/cell/Cell1?sort=part", Upgrade);
        QTest::newRow("traversal out of the page files") << request("GET /static/../../CMakeLists.txt") << QByteArray("HTTP/1.1 404");
        QTest::newRow("encoded traversal") << request("GET /static/..%2F..%2Fplantsource.h") << QByteArray("HTTP/1.1 404");
        QTest::newRow("huge headers") << request("GET /", "X-Pad: " + QByteArray(9000, 'a') + "\r\n") << QByteArray("HTTP/1.1 431");
        QTest::newRow("huge body announced") << request("POST /api/cells", "Content-Length: 100000000\r\n") << QByteArray("HTTP/1.1 413");
        QTest::newRow("huge body in chunks")
            << request("POST /api/cells", "Transfer-Encoding: chunked\r\n") + "4000\r\n" + QByteArray(0x4000, 'x') << QByteArray("HTTP/1.1 413");
        QTest::newRow("no HTTP at all") << QByteArray("\x16\x03\x01\x02\x00\x01\x00\r\n\r\n", 11) << QByteArray("HTTP/1.1 400");
        QTest::newRow("stalled in its headers") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n") << QByteArray("HTTP/1.1 408");
        QTest::newRow("WebSocket to no cell") << request("GET /ws/cell/Cell9", Upgrade) << QByteArray("HTTP/1.1 404");
        QTest::newRow("text frame not UTF-8") << page + frame(1, "\xff\xfe") << QByteArray("close 1007");
        QTest::newRow("reserved opcode") << page + frame(3, "hi") << QByteArray("close 1002");
        QTest::newRow("message over 1 KiB") << page + frame(1, QByteArray(1025, 'x')) << QByteArray("close 1009");
        QTest::newRow("page that answers no ping") << page << QByteArray("close 1001");
    }

    void hostile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, contains);
        Served served([](WebOptions &o) { o.limits.maxConnections = 1, o.limits.idleTimeoutMs = o.limits.pingIntervalMs = 300; });
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, served.port());
        QVERIFY(QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }));
        // A page's frames follow the server's handshake, as a browser's do.
        const qsizetype head = bytes.indexOf("\r\n\r\n") + 4;
        QByteArray reply;
        if (bytes.contains("Upgrade") && head < bytes.size()) {
            socket.write(bytes.first(head));
            QTRY_VERIFY((reply += socket.readAll()).contains("\r\n\r\n"));
        }
        reply += exchange(socket, bytes.sliced(reply.isEmpty() ? 0 : head));
        QTRY_VERIFY(socket.state() == QAbstractSocket::UnconnectedState || reply.contains("HTTP/1.1 404"));
        reply += socket.readAll();
        // A close frame ends the reply: 0x88, its length, then the code.
        const qsizetype close = reply.lastIndexOf('\x88') + 2;
        const bool closed = close > 1 && close + 2 <= reply.size()
            && "close " + QByteArray::number(qFromBigEndian<quint16>(reply.constData() + close)) == contains;
        QVERIFY2(closed || reply.contains(contains), reply.right(200).toHex(' '));
        // Its one connection is given back, however it ended.
        socket.abort();
        QTRY_VERIFY(exchange(served.port(), request("GET /api/cells")).startsWith("HTTP/1.1 200"));
    }

    // Each page gets the whole view first, then each message of its own
    // view once; its cell is followed, and its connection counted, as long
    // as it is open: one beyond the limit is refused at once.
    void pagesFollowAndGetTheirMessagesOnce()
    {
        Served served([](WebOptions &o) { o.limits.maxConnections = 4; });
        QList<QString> a, b, part, plant;
        auto pageA = openPage(served.port(), "/ws/cell/Cell1?sort=machine", &a);
        auto pageB = openPage(served.port(), "/ws/cell/Cell1", &b);
        auto pagePart = openPage(served.port(), "/ws/cell/Cell1?sort=part", &part);
        auto pagePlant = openPage(served.port(), "/ws/plant", &plant);
        QTRY_VERIFY(a.size() + b.size() + part.size() + plant.size() == 4);
        QVERIFY(exchange(served.port(), QByteArray()).startsWith("HTTP/1.1 503"));
        QCOMPARE(served.source.follows, (QHash<QString, int>{{"Cell1/machine", 2}, {"Cell1/part", 1}}));
        emit served.source.cellMessage("Cell1", Sort::Machine, "tick 1");
        emit served.source.cellMessage("Cell2", Sort::Machine, "tick 2");
        emit served.source.plantMessage("plant 1");
        QTRY_COMPARE(a, (QList<QString>{R"({"type":"view","sort":"machine"})", "tick 1"}));
        QTRY_COMPARE(plant, (QList<QString>{R"({"type":"plant"})", "plant 1"}));
        QCOMPARE(b, a);
        QCOMPARE(part, QList<QString>{R"({"type":"view","sort":"part"})"});
        pageA.reset();
        pagePart.reset();
        QTRY_COMPARE(served.source.follows, (QHash<QString, int>{{"Cell1/machine", 1}, {"Cell1/part", 0}}));
        pageB.reset();
        pagePlant.reset();
        QTRY_VERIFY(exchange(served.port(), request("GET /api/cells")).startsWith("HTTP/1.1 200"));
    }

    // A page that does not read keeps no one waiting: the others get every
    // message, its queue stays bounded, and once it reads it gets a fresh view.
    void stalledPageGetsAFreshView()
    {
        // No ping either: on a loaded machine the case outlasts the interval,
        // and a ping queued behind the fresh view would end the stream.
        Served served([](WebOptions &o) {
            o.limits.maxUnsentBytes = 256 * 1024;
            o.limits.pingIntervalMs = 600000;
        });
        QList<QString> reader;
        auto page = openPage(served.port(), "/ws/cell/Cell1", &reader);
        QTcpSocket stalled;
        stalled.connectToHost(QHostAddress::LocalHost, served.port());
        stalled.write(request("GET /ws/cell/Cell1", Upgrade));
        QByteArray got;
        QTRY_VERIFY(reader.size() == 1 && (got += stalled.readAll()).contains("view"));
        // A message larger than the limit still reaches a page that has
        // nothing waiting: a big cell's whole view is one.
        emit served.source.cellMessage("Cell1", Sort::Machine, QByteArray(300 * 1024, ' '));
        QTRY_COMPARE(reader.size(), 2);
        stalled.setReadBufferSize(1);
        const auto tick = [](int n) { return R"({"type":"tick","n":)" + QByteArray::number(n) + '}' + QByteArray(200 * 1024, ' '); };
        for (int n = 0; n < 100; ++n) {
            emit served.source.cellMessage("Cell1", Sort::Machine, tick(n));
            QTRY_COMPARE(reader.size(), n + 3);
        }
        // Megabytes to drain, which a loaded machine may take seconds over.
        // The stream is caught up once it ends in a fresh view or the last
        // tick: the system's buffers take more than the page reads (more
        // on a loaded machine), so the page may fall behind and catch up
        // more than once before that.
        const QByteArray view = R"({"type":"view","sort":"machine"})";
        stalled.setReadBufferSize(0);
        QList<QByteArray> seen;
        QTRY_VERIFY_WITH_TIMEOUT((seen = serverMessages(got += stalled.readAll())).size() > 2
                                     && (seen.last() == view || seen.last() == tick(99)), 30000);
        // It skipped ticks, and a fresh view stands in place of each gap.
        QCOMPARE(seen.first(), view);
        int next = 0;
        for (const QByteArray &message : seen.sliced(2)) {
            const int n = message == view ? -1 : message.sliced(19, message.indexOf('}') - 19).toInt();
            QVERIFY2(n == next || n == -1 || (next == -1 && n > 0), qPrintable(QStringLiteral("tick %1 after %2").arg(n).arg(next)));
            next = n == -1 ? -1 : n + 1;
        }
        QVERIFY(seen.indexOf(view, 1) > 0);
    }

    // start() says why it cannot listen; with a certificate and a key it
    // serves HTTPS and WSS.
    void start_data()
    {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("portTaken");
        QTest::addColumn<QString>("failure");
        QTest::newRow("port in use") << "" << "" << true << "cannot listen on 127.0.0.1 port";
        QTest::newRow("certificate missing") << "none.pem" << "key.pem" << false << "cannot read the certificate";
        QTest::newRow("key that is no key") << "cert.pem" << "cert.pem" << false << "no private key in";
        QTest::newRow("https and wss") << "cert.pem" << "key.pem" << false << "";
    }

    void start()
    {
        QFETCH(QString, certificate);
        QFETCH(QString, key);
        QFETCH(bool, portTaken);
        QFETCH(QString, failure);
        QTemporaryDir dir;
        QProcess openssl;  // its output kept out of the test's
        openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                  "-nodes", "-keyout", dir.filePath("key.pem"), "-out", dir.filePath("cert.pem"),
                                  "-days", "1", "-subj", "/CN=127.0.0.1"});
        QVERIFY(openssl.waitForFinished() && openssl.exitCode() == 0);
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost));
        FakeSource source;
        WebOptions options;
        options.port = portTaken ? other.serverPort() : 0;
        options.certificateFile = certificate.isEmpty() ? QString() : dir.filePath(certificate);
        options.keyFile = key.isEmpty() ? QString() : dir.filePath(key);
        PlantServer server(source, options);
        const Result started = server.start();
        QVERIFY2(failure.isEmpty() ? started.ok() : started.message().contains(failure), qPrintable(started.message()));
        if (!failure.isEmpty())
            return;
        QSslSocket https;
        https.setPeerVerifyMode(QSslSocket::VerifyNone);
        https.connectToHostEncrypted("127.0.0.1", server.port());
        QTRY_VERIFY(https.isEncrypted());
        QVERIFY(exchange(https, request("GET /api/cells")).startsWith("HTTP/1.1 200"));
        QList<QString> messages;
        QWebSocket page;
        QSslConfiguration noVerify = QSslConfiguration::defaultConfiguration();
        noVerify.setPeerVerifyMode(QSslSocket::VerifyNone);
        page.setSslConfiguration(noVerify);
        connect(&page, &QWebSocket::textMessageReceived, &page, [&](const QString &m) { messages.append(m); });
        page.open(QUrl(server.address().replace("https:", "wss:") + "ws/plant"));
        QTRY_COMPARE(messages, QList<QString>{R"({"type":"plant"})"});
    }
};

QTEST_MAIN(PlantServerTest)
#include "tst_plantserver.moc"
