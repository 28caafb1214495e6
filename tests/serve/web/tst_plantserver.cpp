#include "plantserver.h"

#include <QProcess>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
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
    explicit Served(WebOptions options = {}) : server(source, (options.port = 0, options))
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

} // namespace

class PlantServerTest : public QObject {
    Q_OBJECT

private slots:
    // What each address answers, with the status, a header or a piece of the body.
    void routes_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("contains");
        const auto row = [](const char *name, const char *line, int status, const char *contains) {
            QTest::newRow(name) << QByteArray(line) << status << QByteArray(contains);
        };
        row("plant page without inline script", "GET /", 200, "Content-Security-Policy: default-src 'none'; script-src 'self';");
        row("pages never sniffed", "GET /cell/Cell1", 200, "X-Content-Type-Options: nosniff");
        row("cell page of no cell", "GET /cell/Cell9", 404, "no such cell");
        row("live data not cached", "GET /api/cells", 200, "Cache-Control: no-store");
        row("rows by part", "GET /api/cells/Cell1/rows?sort=part", 200, R"("sort":"part")");
        row("rows of no cell", "GET /api/cells/Cell9/rows", 404, "no such cell");
        row("rows by a bad sort", "GET /api/cells/Cell1/rows?sort=size", 400, "sort must be");
        row("csv in Chinese", "GET /api/cells/Cell1/schedule.csv?lang=zh&sort=part", 200, "csv part zh");
        row("csv in a language it has not", "GET /api/cells/Cell1/schedule.csv?lang=fr", 400, "lang must be");
        row("xml", "GET /api/cells/Cell1/schedule.xml", 200, "Content-Type: application/xml");
        row("chart options all given",
            "GET /api/cells/Cell1/chart.svg?sort=part&interval=10&from=08:00&to=24:00&now=09:15:30&overlays=0&lang=zh",
            200, "chart part 10 28800 86400 33330 0 zh");
        row("chart options none given", "GET /api/cells/Cell1/chart.png", 200, "chart machine 0 - - - 1 ");
        row("chart interval the viewer has not", "GET /api/cells/Cell1/chart.pdf?interval=7", 400, "interval must be");
        row("chart from past the day", "GET /api/cells/Cell1/chart.svg?from=24:01", 400, "from and to must be");
        row("chart from after to", "GET /api/cells/Cell1/chart.svg?from=10:00&to=09:00", 400, "before to");
        row("chart now without seconds", "GET /api/cells/Cell1/chart.svg?now=09:15", 400, "now must be");
        row("chart overlays neither 0 nor 1", "GET /api/cells/Cell1/chart.svg?overlays=yes", 400, "overlays must");
        row("chart that cannot be drawn", "GET /api/cells/Cell2/chart.svg", 500, "cannot draw");
        row("chart of no cell", "GET /api/cells/Cell9/chart.svg", 404, "no such cell");
        row("strings in Chinese", "GET /api/strings/zh", 200, "Content-Type: application/json");
        row("strings in a language it has not", "GET /api/strings/fr", 404, "no such language");
        row("embedded style", "GET /static/style.css", 200, "Content-Type: text/css");
        row("file beside the page files", "GET /static/serve.qrc", 404, "no such file");
        row("WebSocket address without upgrade", "GET /ws/plant", 400, "WebSocket only");
        row("head of the cells", "HEAD /api/cells", 200, "Content-Type: application/json");
        row("no writing", "DELETE /api/cells", 405, "Allow: GET, HEAD");
    }

    void routes()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, status);
        QFETCH(QByteArray, contains);
        Served served;
        const QByteArray reply = exchange(served.port(), request(line));
        QVERIFY2(reply.startsWith("HTTP/1.1 " + QByteArray::number(status)), reply.left(200));
        QVERIFY2(reply.contains(contains), reply.left(600));
    }
};

QTEST_MAIN(PlantServerTest)
#include "tst_plantserver.moc"
