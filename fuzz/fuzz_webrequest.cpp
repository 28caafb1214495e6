// What anyone who reaches the plant view's port can send it: requests, and
// WebSocket frames after a handshake. The bytes are weighed by the request
// gate in pieces whose sizes the input chooses, and what passes is answered
// by the routes: no head past its limit passes, every answer has a status
// the server gives, an error is one line of text, and a 200 comes only from
// a route that exists. With the first byte odd the same bytes then go whole
// to a live server on a loopback socket, which must go on answering.
//
// Input: one byte of flags and piece size, then the bytes as sent.

#include "fuzzing.h"

#include "plantserver.h"
#include "requestgate.h"
#include "webanswers.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QUrl>

using namespace vorn;
using namespace vorn::serve;

namespace {

class FuzzSource : public PlantSource {
public:
    QStringList cellNames() const override { return {QStringLiteral("Cell1")}; }
    bool hasCell(const QString &cell) const override { return cell == QLatin1String("Cell1"); }
    QByteArray cellsJson() const override { return R"({"type":"plant"})"; }
    std::optional<QByteArray> rowsJson(const QString &cell, Sort sort) override { return wholeView(cell, sort); }
    std::optional<QByteArray> scheduleCsv(const QString &cell, Sort, const QString &) override { return wholeView(cell, Sort::Part); }
    std::optional<QByteArray> scheduleXml(const QString &cell) override { return wholeView(cell, Sort::Part); }
    QByteArray chart(const QString &cell, const ChartOptions &options, ChartFormat, QString *) override
    {
        VORN_FUZZ_CHECK(QList<int>({0, 1, 2, 3, 4, 5, 6, 10, 12}).contains(options.interval));
        VORN_FUZZ_CHECK(!options.fromSeconds || !options.toSeconds || *options.fromSeconds < *options.toSeconds);
        return wholeView(cell, options.sort).value_or(QByteArray());
    }
    void follow(const QString &, Sort) override {}
    void unfollow(const QString &, Sort) override {}
    std::optional<QByteArray> wholeView(const QString &cell, Sort) override
    {
        return hasCell(cell) ? std::optional(QByteArray(R"({"type":"view"})")) : std::nullopt;
    }
};

WebLimits fuzzLimits()
{
    WebLimits limits;
    limits.maxConnections = 16;
    limits.maxHeaderBytes = 1024;
    limits.maxBodyBytes = 256;
    limits.idleTimeoutMs = 200;
    // Pages the fuzzer leaves without a word are closed by the pings.
    limits.pingIntervalMs = 200;
    return limits;
}

void checkGateAndRoutes(FuzzSource &source, fuzz::Bytes bytes, qsizetype piece)
{
    RequestGate gate(fuzzLimits());
    while (!bytes.empty()) {
        const QByteArrayView chunk = bytes.take(piece);
        const RequestGate::Step step = gate.feed(chunk);
        if (step == RequestGate::Step::Refuse) {
            VORN_FUZZ_CHECK(QList<int>({400, 413, 431}).contains(gate.status()));
            return;
        }
        if (step != RequestGate::Step::Head)
            continue;
        const QUrl url(QString::fromLatin1(gate.head().target));
        const QString path = url.path(QUrl::FullyDecoded);
        const WebAnswer answer = Answer(source, path, QUrlQuery(url));
        VORN_FUZZ_CHECK(QList<int>({200, 400, 404, 500}).contains(answer.status));
        VORN_FUZZ_CHECK(answer.status == 200 || (answer.body.endsWith('\n') && answer.body.count('\n') == 1));
        VORN_FUZZ_CHECK(answer.status == 200 || answer.contentType.startsWith("text/plain"));
        VORN_FUZZ_CHECK(answer.status != 200 || path == QLatin1String("/") || path.startsWith(QLatin1String("/api/"))
                        || path.startsWith(QLatin1String("/static/")) || path == QLatin1String("/cell/Cell1"));
        gate.reset();
    }
}

template <class Done>
bool runUntil(Done done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    return done();
}

// What the server sends back to `bytes` until it closes, has answered
// (`answered`), or has been quiet for `quietMs`.
QByteArray ask(quint16 port, QByteArrayView bytes, int quietMs, bool answered)
{
    // Tens of thousands of connections a minute, most closed by the server,
    // leave as many in TIME_WAIT: each comes from a loopback address of its
    // own, so that they never run out of ports.
    static quint32 next = 0;
    QTcpSocket socket;
    socket.bind(QHostAddress((127u << 24) + 0x10000 + (next++ % 0xFFFF)));
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!runUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 1000))
        return {};
    socket.write(bytes.data(), bytes.size());
    QByteArray got;
    QDeadlineTimer quiet(quietMs);
    runUntil([&] {
        if (socket.bytesAvailable()) {
            got += socket.readAll();
            quiet.setRemainingTime(quietMs);
        }
        return socket.state() != QAbstractSocket::ConnectedState || quiet.hasExpired()
            || (answered && got.contains("\r\n\r\n"));
    }, 2000);
    socket.abort();
    return got;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_webrequest";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static FuzzSource source;

    fuzz::Bytes bytes(data, size);
    const std::uint8_t flags = bytes.u8();
    const QByteArrayView sent = bytes.rest();
    checkGateAndRoutes(source, fuzz::Bytes(sent), 1 + (flags >> 1));
    if (!(flags & 1))
        return 0;

    static const std::unique_ptr<PlantServer> server = [] {
        WebOptions options;
        options.port = 0;
        options.limits = fuzzLimits();
        auto started = std::make_unique<PlantServer>(source, options);
        VORN_FUZZ_CHECK(started->start().ok());
        return started;
    }();
    ask(server->port(), sent, 3, false);
    // Whatever that was, the next client is answered (once the closed
    // connections are counted out).
    VORN_FUZZ_CHECK(runUntil([] { return ask(server->port(), "GET /api/cells HTTP/1.1\r\nHost: x\r\n\r\n", 1000, true)
                                             .startsWith("HTTP/1.1 200"); }, 3000));
    return 0;
}
