// What the running viewer costs the plant PC: the viewer is started as the
// manager starts it, in its own process on the session bus (run this under
// dbus-run-session for a private one), beside a stand-in manager that only
// counts what it receives, while a writer rewrites the actual times of a
// share of the records at a fixed period. Prints, per table size and mode,
// the viewer's processor share over the measured wall time, its memory,
// its ticks and the feeds that arrived. Asserts nothing.
//
//   bench_live [--records 10000,100000,1000000] [--modes hosted,plain]
//              [--seconds 20] [--share 0.01] [--period 500] [--viewer PATH]
//              [--no-latency]
//
// The window's answers are probed (a call its thread must answer, every 20 ms)
// while it starts and for 10 s after the processor time was measured, never
// during it.

#include "livekit.h"
#include "plantmodel.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cstdio>
using namespace vorn;
using namespace vorn::livekit;

namespace {

// A manager that only counts what it receives, on a thread of its own so that
// a large feed never delays the writer or the probes of this process.
class CountingManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "ManagerServer.Document")
public:
    std::atomic<qint64> feeds{0};
    std::atomic<qint64> characters{0};
    std::atomic<qint64> lastFeedMs{0};
public slots:
    void CreateView(const QString &, const QString &, short) {}
    void SetViewXMLData(const QString &, const QString &xml)
    {
        characters += xml.size();
        lastFeedMs = QDateTime::currentMSecsSinceEpoch();
        ++feeds;
    }
};

// How long the window's thread takes to answer: the worst answer and how
// many took long. Error replies are not answers.
class Prober {
public:
    Prober(const QString &service, int periodMs) : m_probe(service, periodMs, 60000)
    {
        m_probe.onAnswer = [this](qint64 ms, bool error) {
            if (error)
                return;
            m_worst = qMax(m_worst, ms);
            m_over100 += ms > 100;
            ++m_done;
        };
    }
    qint64 worstMs() const { return m_worst; }
    int probes() const { return m_done; }
    int over100() const { return m_over100; }

private:
    WindowProbe m_probe;
    qint64 m_worst = 0;
    int m_done = 0;
    int m_over100 = 0;
};

struct Options {
    QList<qint64> records;
    QStringList modes;
    int seconds = 20;
    double share = 0.01;
    int periodMs = 500;
    int answerSeconds = 10;
    QString viewer;
    bool latency = true;
};

void runOne(const Options &options, qint64 records, bool hosted, CountingManager &manager)
{
    ViewerHost host;
    const QString data = host.filePath(QStringLiteral("data"));
    plant::PlantOptions plantOptions;
    plantOptions.operations = records;
    const plant::Plant cell = plant::GeneratePlant(plantOptions);
    const QString schedule = data + QStringLiteral("/Scheduler.dbf");
    if (!WriteScheduleInOneGo(schedule, cell, 13 * 3600)
        || plant::WritePlanTable(data + QStringLiteral("/Aplan.dbf"), plant::GeneratePlant({})).failed()
        || plant::WriteProcessTable(data + QStringLiteral("/Process.dbf"), cell).failed()) {
        std::printf("cannot write the tables in %s\n", qPrintable(data));
        return;
    }
    const qint64 tableBytes = QFileInfo(schedule).size();

    // The writer has a thread of its own: ten thousand writes must not delay
    // the probes' answers, which this thread times.
    Writer writer(schedule, qint32(cell.operations.size()), options.share);
    QThread writerThread;
    QTimer writing;
    writing.setInterval(options.periodMs);
    writing.setTimerType(Qt::PreciseTimer);
    QObject::connect(&writing, &QTimer::timeout, &writing, [&writer] { writer.rewrite(); }, Qt::DirectConnection);
    writing.moveToThread(&writerThread);
    writerThread.start();
    const auto stopWriting = qScopeGuard([&] {
        QMetaObject::invokeMethod(&writing, [&writing] { writing.stop(); }, Qt::BlockingQueuedConnection);
        writerThread.quit();
        writerThread.wait();
    });

    QProcess &viewer = host.process();
    viewer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qint64 feedsBefore = manager.feeds;
    const qint64 startMs = QDateTime::currentMSecsSinceEpoch();
    if (!host.start(options.viewer, hosted ? QStringList{QStringLiteral("/H")} : QStringList{})) {
        std::printf("cannot start %s\n", qPrintable(options.viewer));
        return;
    }
    const qint64 pid = viewer.processId();

    // Responsiveness from the very start: the first fill is part of it.
    std::unique_ptr<Prober> prober;
    const bool up = host.waitForWindow(60000);
    const QString &service = host.service();
    if (up && options.latency)
        prober = std::make_unique<Prober>(service, 20);
    QMetaObject::invokeMethod(&writing, [&writing] { writing.start(); });
    const bool fed = !hosted || WaitFor([&] { return manager.feeds > feedsBefore; }, 60000);
    if (!up || !fed) {
        std::printf("%8lld  %-6s  %s\n", records, hosted ? "hosted" : "plain",
                    !up ? "the viewer did not come up"
                        : "no feed within 60 s (a schedule too large for one bus message is not fed)");
        viewer.kill();
        viewer.waitForFinished();
        return;
    }
    // Answered on the window's thread, so only once the load is over; the
    // window may answer before it has painted its first chart.
    QVariantMap diag;
    WaitFor([&] {
        diag = host.diagnostics(QStringLiteral("Diagnostics"), 60000);
        return diag.value(QStringLiteral("firstChartPaintMs"), -1).toLongLong() >= 0;
    }, 10000);
    const qint64 firstPaint = diag.value(QStringLiteral("firstChartPaintMs"), -1).toLongLong();
    const qint64 firstPaintCpu = diag.value(QStringLiteral("firstChartPaintCpuMs"), -1).toLongLong();
    RunFor(100);   // the probe that waited for the load comes back
    const qint64 loadWorst = prober ? prober->worstMs() : -1;
    // The probes cost the viewer time of their own: none while its processor
    // time is measured.
    prober.reset();
    // Settle: the first ticks after the fill still find every row new.
    RunFor(2000);

    const ProcessSample before = SampleProcess(pid);
    diag = host.diagnostics(QStringLiteral("Diagnostics"), 60000);
    const qint64 ticksBefore = diag.value(QStringLiteral("ticks"), -1).toLongLong();
    const qint64 tickUsBefore = diag.value(QStringLiteral("totalTickCpuUs"), 0).toLongLong();
    const qint64 rowsBefore = diag.value(QStringLiteral("rowsRewritten"), 0).toLongLong();
    const qint64 changedBefore = diag.value(QStringLiteral("recordsChanged"), 0).toLongLong();
    const qint64 feeds0 = manager.feeds;
    const qint64 chars0 = manager.characters;
    QElapsedTimer wall;
    wall.start();
    RunFor(options.seconds * 1000);
    const double seconds = wall.nsecsElapsed() / 1e9;
    const ProcessSample after = SampleProcess(pid);
    diag = host.diagnostics(QStringLiteral("Diagnostics"), 60000);
    const qint64 ticks = diag.isEmpty() ? -1 : diag.value(QStringLiteral("ticks")).toLongLong() - ticksBefore;
    const qint64 tickUs = diag.value(QStringLiteral("totalTickCpuUs"), 0).toLongLong() - tickUsBefore;
    const qint64 feeds = manager.feeds - feeds0;
    // Then how soon the window answers while it goes on ticking.
    if (options.latency) {
        prober = std::make_unique<Prober>(service, 20);
        RunFor(options.answerSeconds * 1000);
    }

    std::printf("%8lld  %-6s  cpu %6.2f%%  rss %4ld MB (peak %4ld)  ticks %4s  feeds %4lld"
                "  %5.1f MB/feed",
                records, hosted ? "hosted" : "plain",
                100.0 * (after.cpuSeconds - before.cpuSeconds) / seconds, after.rssKiB / 1024,
                after.peakKiB / 1024, ticks < 0 ? "n/a" : qPrintable(QString::number(ticks)), feeds,
                feeds ? double(manager.characters - chars0) / feeds / 1e6 : 0.0);
    if (prober)
        std::printf("  answer worst %lld ms (%d of %d probes over 100 ms)", prober->worstMs(),
                    prober->over100(), prober->probes());
    std::printf("\n");
    std::printf("%28s table %.0f MB; worst answer while starting %lld ms", "", tableBytes / 1e6,
                loadWorst);
    if (firstPaint >= 0)
        std::printf("; first chart painted %lld ms after start (%lld ms of processor time)", firstPaint - startMs,
                    firstPaintCpu);
    if (ticks > 0 && tickUs > 0)
        std::printf("; a tick costs the window's thread %.2f ms of processor time and rewrites %lld rows "
                    "for %lld changed records (means)",
                    tickUs / 1000.0 / ticks,
                    (diag.value(QStringLiteral("rowsRewritten")).toLongLong() - rowsBefore) / ticks,
                    (diag.value(QStringLiteral("recordsChanged")).toLongLong() - changedBefore) / ticks);
    if (diag.contains(QStringLiteral("longestTickGapMs")))
        std::printf("; longest gap between ticks %lld ms, longest tick %lld ms",
                    diag.value(QStringLiteral("longestTickGapMs")).toLongLong(),
                    diag.value(QStringLiteral("longestTickMs")).toLongLong());
    std::printf("\n");
    std::fflush(stdout);

    viewer.terminate();
    if (!viewer.waitForFinished(5000)) {
        viewer.kill();
        viewer.waitForFinished();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("records"), QStringLiteral("Table sizes."), QStringLiteral("list"),
                      QStringLiteral("10000,100000,1000000")});
    parser.addOption({QStringLiteral("modes"), QStringLiteral("hosted and/or plain."), QStringLiteral("list"),
                      QStringLiteral("hosted,plain")});
    parser.addOption({QStringLiteral("seconds"), QStringLiteral("Measured wall time."), QStringLiteral("s"),
                      QStringLiteral("20")});
    parser.addOption({QStringLiteral("share"), QStringLiteral("Share of records rewritten per period."),
                      QStringLiteral("fraction"), QStringLiteral("0.01")});
    parser.addOption({QStringLiteral("period"), QStringLiteral("Writer period."), QStringLiteral("ms"),
                      QStringLiteral("500")});
    parser.addOption({QStringLiteral("viewer"), QStringLiteral("The viewer executable."), QStringLiteral("path"),
                      QCoreApplication::applicationDirPath() + QStringLiteral("/../../src/vorn-scheduler")});
    parser.addOption({QStringLiteral("no-latency"), QStringLiteral("Do not probe the window's answers.")});
    parser.process(app);

    Options options;
    for (const QString &n : parser.value(QStringLiteral("records")).split(u',', Qt::SkipEmptyParts))
        options.records << n.toLongLong();
    options.modes = parser.value(QStringLiteral("modes")).split(u',', Qt::SkipEmptyParts);
    options.seconds = qMax(1, parser.value(QStringLiteral("seconds")).toInt());
    options.share = parser.value(QStringLiteral("share")).toDouble();
    options.periodMs = qMax(10, parser.value(QStringLiteral("period")).toInt());
    options.viewer = QFileInfo(parser.value(QStringLiteral("viewer"))).absoluteFilePath();
    options.latency = !parser.isSet(QStringLiteral("no-latency"));

    QThread managerThread;
    managerThread.start();
    CountingManager manager;
    manager.moveToThread(&managerThread);
    // A connection of the manager's own: the probes' answers must not wait
    // here behind a feed of tens of megabytes being read off the socket.
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("manager"));
    if (!bus.registerObject(QStringLiteral("/ManagerServer/Document"), &manager, QDBusConnection::ExportAllSlots)
        || !bus.registerService(QStringLiteral("ManagerServer.Document"))) {
        std::printf("no session bus, or the manager's name is taken: run under dbus-run-session\n");
        managerThread.quit();
        managerThread.wait();
        return 1;
    }
    std::printf("viewer %s; %.1f%% of the records rewritten every %d ms; %d s measured after the first "
                "feed and 2 s of settling\n",
                qPrintable(options.viewer), options.share * 100, options.periodMs, options.seconds);
    for (const qint64 records : options.records) {
        for (const QString &mode : options.modes)
            runOne(options, records, mode == QLatin1String("hosted"), manager);
    }
    bus.unregisterService(QStringLiteral("ManagerServer.Document"));
    bus.unregisterObject(QStringLiteral("/ManagerServer/Document"));
    managerThread.quit();
    managerThread.wait();
    return 0;
}

#include "bench_live.moc"
