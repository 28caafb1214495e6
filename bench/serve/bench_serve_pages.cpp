// What the plant view's server costs the plant PC while pages follow a large
// cell: the server runs in its own process on a plant written as bench_live
// writes it, pages follow the cell over WebSockets and read every message,
// and a writer rewrites the actual times of a share of the records at a
// fixed period. Prints, per page count, the server's processor share over
// the measured wall time, its memory, what each page received, how soon a
// write reached the pages and how long their first views took. Asserts
// nothing.
//
//   bench_serve_pages [--records 100000] [--pages 50,1,0] [--seconds 20]
//                     [--share 0.01] [--period 500] [--server PATH]
//
// One record's actual start is rewritten every period with a time that
// names the period, so a page can tell which write a tick carries.

#include "livekit.h"
#include "plantmodel.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWebSocket>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

using namespace vorn;
using namespace vorn::livekit;

namespace {

// The marked record's actual start is this plus the period's number.
constexpr qint32 MarkBase = 3600;
constexpr int MaxRounds = 80000;

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch()).count();
}

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').mid(0, 3).join(' ') : QByteArray("?");
}

double median(std::vector<qint64> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return double(values[values.size() / 2]);
}

struct Options {
    qint64 records = 100000;
    QList<int> pages;
    int seconds = 20;
    double share = 0.01;
    int periodMs = 500;
    QString server;
};

// When each period's mark was written, for the pages' thread to read.
struct Marks {
    std::vector<std::atomic<qint64>> writtenMs = std::vector<std::atomic<qint64>>(MaxRounds);
    std::atomic<int> markedRow{-1};   // the marked record's row index in the view
};

// A page that follows the cell: reads every message, counts ticks and their
// bytes, and times the marked record's writes to their arrival.
class Page : public QObject {
public:
    Page(const QUrl &url, Marks &marks, qint32 markedRecord) : m_marks(marks), m_markedRecord(markedRecord)
    {
        m_socket.setMaxAllowedIncomingMessageSize(1024 * 1024 * 1024);
        connect(&m_socket, &QWebSocket::textMessageReceived, this, &Page::received);
        m_socket.open(url);
    }
    ~Page() override { m_socket.abort(); }

    qint64 messages = 0;
    qint64 views = 0;
    qint64 ticks = 0;
    qint64 tickBytes = 0;
    qint64 firstViewMs = -1;
    std::vector<qint64> delays;

private:
    void received(const QString &message)
    {
        const qint64 at = nowMs();
        ++messages;
        if (message.startsWith(QLatin1String("{\"type\":\"view\""))) {
            ++views;
            if (firstViewMs < 0)
                firstViewMs = at;
            if (m_marks.markedRow < 0)
                m_marks.markedRow = findRow(message);
        } else if (message.startsWith(QLatin1String("{\"type\":\"tick\""))) {
            ++ticks;
            tickBytes += message.toUtf8().size();
            timeMark(message, at);
        }
    }

    // The row of the marked record: [1, record from 1, ...].
    int findRow(const QString &view) const
    {
        const QJsonArray rows = QJsonDocument::fromJson(view.toUtf8())[QLatin1String("rows")].toArray();
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const QJsonArray row = rows[i].toArray();
            if (row[0].toInt() == 1 && row[1].toInteger() == m_markedRecord + 1)
                return int(i);
        }
        return -1;
    }

    // A tick row is [index, ps, pf, pd, as, af, ad]; the marked row's actual
    // start names the period that wrote it.
    void timeMark(const QString &tick, qint64 at)
    {
        if (m_marks.markedRow < 0)
            return;
        const QString head = QStringLiteral("[%1,\"").arg(m_marks.markedRow.load());
        qsizetype from = tick.indexOf(head);
        if (from < 0)
            return;
        from += head.size() - 1;
        for (int text = 0; text < 3; ++text)
            from = tick.indexOf(u'"', tick.indexOf(u'"', from) + 1) + 1;
        const qsizetype open = tick.indexOf(u'"', from);
        if (open < 0 || open + 9 > tick.size())
            return;
        const QStringList hms = tick.sliced(open + 1, 8).split(u':');
        if (hms.size() != 3)
            return;
        const int round = hms[0].toInt() * 3600 + hms[1].toInt() * 60 + hms[2].toInt() - MarkBase;
        if (round < 0 || round >= MaxRounds || m_marks.writtenMs[round] <= 0)
            return;
        delays.push_back(at - m_marks.writtenMs[round]);
    }

    QWebSocket m_socket;
    Marks &m_marks;
    qint32 m_markedRecord;
};

void runOne(const Options &options, int pageCount)
{
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    QDir(dir.path()).mkpath(QStringLiteral("data"));
    plant::PlantOptions plantOptions;
    plantOptions.operations = options.records;
    const plant::Plant cell = plant::GeneratePlant(plantOptions);
    const QString schedule = data + QStringLiteral("/Scheduler.dbf");
    if (!WriteScheduleInOneGo(schedule, cell, 13 * 3600)
        || plant::WritePlanTable(data + QStringLiteral("/Aplan.dbf"), plant::GeneratePlant({})).failed()
        || plant::WriteProcessTable(data + QStringLiteral("/Process.dbf"), cell).failed()) {
        std::printf("cannot write the tables in %s\n", qPrintable(data));
        return;
    }
    const qint32 records = qint32(cell.operations.size());
    const qint32 markedRecord = records / 2;

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qint64 startMs = nowMs();
    server.start(options.server, {QStringLiteral("--cell"), QStringLiteral("Big=") + data, QStringLiteral("--listen"),
                                  QStringLiteral("127.0.0.1:0")});
    server.waitForStarted();
    const auto stopServer = qScopeGuard([&] {
        server.terminate();
        if (!server.waitForFinished(5000)) {
            server.kill();
            server.waitForFinished();
        }
    });
    // The server prints its address once the cell is filled.
    QByteArray out;
    const QRegularExpression listening(QStringLiteral("listening on http://127\\.0\\.0\\.1:(\\d+)/"));
    QRegularExpressionMatch match;
    WaitFor([&] {
        out += server.readAllStandardOutput();
        match = listening.match(QString::fromLatin1(out));
        return match.hasMatch() || server.state() != QProcess::Running;
    }, 120000);
    if (!match.hasMatch()) {
        std::printf("%5d pages: the server did not come up\n", pageCount);
        return;
    }
    const qint64 listeningMs = nowMs() - startMs;
    const qint64 pid = server.processId();
    const QUrl url(QStringLiteral("ws://127.0.0.1:%1/ws/cell/Big?sort=machine").arg(match.captured(1)));

    Marks marks;
    std::vector<std::unique_ptr<Page>> pages;
    const qint64 openedMs = nowMs();
    for (int i = 0; i < pageCount; ++i)
        pages.push_back(std::make_unique<Page>(url, marks, markedRecord));
    const bool viewed = WaitFor([&] {
        return std::all_of(pages.begin(), pages.end(), [](const auto &page) { return page->firstViewMs >= 0; });
    }, 300000);
    qint64 firstView = -1;
    qint64 lastView = -1;
    for (const auto &page : pages) {
        const qint64 ms = page->firstViewMs < 0 ? -1 : page->firstViewMs - openedMs;
        firstView = firstView < 0 ? ms : qMin(firstView, ms);
        lastView = qMax(lastView, ms);
    }

    // The writer has a thread of its own: a thousand writes must not delay
    // the pages' reading, which this thread times.
    Writer writer(schedule, records, options.share);
    QThread writerThread;
    QTimer writing;
    writing.setInterval(options.periodMs);
    writing.setTimerType(Qt::PreciseTimer);
    QObject::connect(&writing, &QTimer::timeout, &writing, [&] {
        const int round = writer.rounds() + 1;
        writer.rewrite();
        if (round < MaxRounds) {
            writer.mark(markedRecord, MarkBase + round, 600);
            marks.writtenMs[round] = nowMs();
        }
    }, Qt::DirectConnection);
    writing.moveToThread(&writerThread);
    writerThread.start();
    const auto stopWriting = qScopeGuard([&] {
        QMetaObject::invokeMethod(&writing, [&writing] { writing.stop(); }, Qt::BlockingQueuedConnection);
        writerThread.quit();
        writerThread.wait();
    });
    QMetaObject::invokeMethod(&writing, [&writing] { writing.start(); });
    // Settle: the first ticks after the views still find every page new.
    RunFor(2000);

    struct Counts {
        qint64 messages, ticks, bytes;
        size_t delays;
    };
    std::vector<Counts> before;
    for (const auto &page : pages)
        before.push_back({page->messages, page->ticks, page->tickBytes, page->delays.size()});
    const QByteArray loadBefore = loadAverage();
    const ProcessSample sampleBefore = SampleProcess(pid);
    QElapsedTimer wall;
    wall.start();
    RunFor(options.seconds * 1000);
    const double seconds = wall.nsecsElapsed() / 1e9;
    const ProcessSample sampleAfter = SampleProcess(pid);
    const QByteArray loadAfter = loadAverage();

    qint64 messages = 0, ticks = 0, bytes = 0, views = 0, minTicks = -1, maxTicks = 0;
    std::vector<qint64> delays;
    for (size_t i = 0; i < pages.size(); ++i) {
        const Page &page = *pages[i];
        const qint64 pageTicks = page.ticks - before[i].ticks;
        messages += page.messages - before[i].messages;
        ticks += pageTicks;
        bytes += page.tickBytes - before[i].bytes;
        views += page.views - 1;
        minTicks = minTicks < 0 ? pageTicks : qMin(minTicks, pageTicks);
        maxTicks = qMax(maxTicks, pageTicks);
        delays.insert(delays.end(), page.delays.begin() + std::ptrdiff_t(before[i].delays), page.delays.end());
    }
    const double pageCountF = qMax(1, pageCount);
    std::printf("%5d pages  cpu %6.2f%% of a core  rss %4ld MB (peak %4ld)", pageCount,
                100.0 * (sampleAfter.cpuSeconds - sampleBefore.cpuSeconds) / seconds, sampleAfter.rssKiB / 1024,
                sampleAfter.peakKiB / 1024);
    if (pageCount > 0) {
        std::printf("  per page: %.1f messages, %.1f ticks (%lld-%lld), %lld fresh views in all;"
                    " %.0f bytes per tick message",
                    messages / pageCountF, ticks / pageCountF, minTicks, maxTicks, views,
                    ticks ? double(bytes) / double(ticks) : 0.0);
        std::printf("\n%12s write to page: median %.0f ms, worst %lld ms (%zu marks seen)", "", median(delays),
                    delays.empty() ? -1 : *std::max_element(delays.begin(), delays.end()), delays.size());
        std::printf("; first views of all pages %lld ms after opening (first %lld ms)%s", lastView, firstView,
                    viewed ? "" : " (some pages had none)");
    }
    std::printf("\n%12s listening %lld ms after start; %d writes in %.1f s measured; load average %s -> %s\n", "",
                listeningMs, writer.rounds(), seconds, loadBefore.constData(), loadAfter.constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("records"), QStringLiteral("Records of the cell."), QStringLiteral("n"),
                      QStringLiteral("100000")});
    parser.addOption({QStringLiteral("pages"), QStringLiteral("Page counts, one run each."), QStringLiteral("list"),
                      QStringLiteral("50,1,0")});
    parser.addOption({QStringLiteral("seconds"), QStringLiteral("Measured wall time."), QStringLiteral("s"),
                      QStringLiteral("20")});
    parser.addOption({QStringLiteral("share"), QStringLiteral("Share of records rewritten per period."),
                      QStringLiteral("fraction"), QStringLiteral("0.01")});
    parser.addOption({QStringLiteral("period"), QStringLiteral("Writer period."), QStringLiteral("ms"),
                      QStringLiteral("500")});
    parser.addOption({QStringLiteral("server"), QStringLiteral("The server executable."), QStringLiteral("path"),
                      QCoreApplication::applicationDirPath() + QStringLiteral("/../../src/serve/vorn-scheduler-serve")});
    parser.process(app);

    Options options;
    options.records = qMax<qint64>(2, parser.value(QStringLiteral("records")).toLongLong());
    for (const QString &n : parser.value(QStringLiteral("pages")).split(u',', Qt::SkipEmptyParts))
        options.pages << qMax(0, n.toInt());
    options.seconds = qMax(1, parser.value(QStringLiteral("seconds")).toInt());
    options.share = parser.value(QStringLiteral("share")).toDouble();
    options.periodMs = qMax(10, parser.value(QStringLiteral("period")).toInt());
    options.server = QFileInfo(parser.value(QStringLiteral("server"))).absoluteFilePath();

    std::printf("server %s; %lld records, %.1f%% rewritten every %d ms; %d s measured after every page's first "
                "view and 2 s of settling\n",
                qPrintable(options.server), options.records, options.share * 100, options.periodMs, options.seconds);
    for (const int pages : options.pages)
        runOne(options, pages);
    return 0;
}
