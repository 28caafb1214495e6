// vorn-soak: the viewer under a manager that never stops writing. A stand-in
// manager of this process rewrites, appends, deletes, packs, truncates and
// recreates Scheduler.dbf at a fixed rate while the viewer runs hosted with
// Timer=100 beside a stand-in Manager Server process that checks that every
// schedule text it receives is whole. When the writing stops, the grid (read
// over the control channel) and the next text must equal the final table.
// Prints ticks, feeds, crashes, hangs, malformed feeds and memory; exits 0
// when all is well.
//
//   vorn-soak [--seconds 600] [--rate 50] [--viewer PATH] [--stand-in PATH] [--seed N]

#include "griddata.h"
#include "livekit.h"
#include "refresh.h"
#include "schedulexml.h"

#include "dbftable.h"

#include <algorithm>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTimer>

#include <cstdio>
#include <memory>

using namespace vorn;
using namespace vorn::livekit;

namespace {

constexpr qint32 FewestRecords = 200;
constexpr qint32 MostRecords = 3000;
constexpr int HangMs = 5000;

QList<store::FieldDescriptor> scheduleFields()
{
    QList<store::FieldDescriptor> fields;
    for (const char *name : {"PART", "PROCESS", "MACHINE", "ORDER"})
        fields.append({name, 'C', 16});
    for (const char *name : {"STARTP", "FINISHP", "DURATIONP", "STARTA", "FINISHA", "DURATIONA"})
        fields.append({name, 'N', 10});
    fields.append({"STATUSFIN", 'C', 10});
    return fields;
}

// The manager's side: every operation opens the table, changes it and closes
// it again, as a program that shares the file would. Contents never hold
// '<', so that the Manager Server stand-in can tell each tag. Now and then
// the process or the status holds a NUL between other characters, as a
// record caught while the manager rewrites it can: fields the grid does not
// show, so that only the schedule text carries it (as U+FFFD).
class Writer {
public:
    Writer(const QString &path, quint64 seed) : m_path(path), m_random(quint32(seed)) {}

    bool recreate(qint32 records)
    {
        if (store::DbfTable::create(m_path, scheduleFields()).failed())
            return false;
        store::DbfTable table;
        return table.open(m_path).ok() && table.appendRecords(records, [this](qint32) { return record(); }).ok();
    }

    // One step of the manager's work.
    void step()
    {
        store::DbfTable table;
        if (table.open(m_path).failed()) {
            recreate(FewestRecords);
            return;
        }
        // Like the manager it stands in for, the writer goes on when a write
        // fails: whatever it leaves is what the readers must cope with.
        const qint32 count = table.recordCount();
        const int pick = int(m_random.bounded(100));
        ++m_steps;
        if (count < FewestRecords || (pick >= 70 && pick < 80 && count < MostRecords)) {
            const int more = 1 + int(m_random.bounded(5));
            for (int i = 0; i < more; ++i)
                std::ignore = table.appendRecord(record());
        } else if (pick < 70) {
            for (int i = 0; i < 5; ++i) {
                const qint32 at = 1 + qint32(m_random.bounded(count));
                const QList<QString> values = record();
                for (int position = 5; position <= 11; ++position)
                    std::ignore = table.setField(at, position, values[position - 1]);
            }
        } else if (pick < 87) {
            std::ignore = table.markDeleted(1 + qint32(m_random.bounded(count)));
        } else if (pick < 91) {
            std::ignore = table.pack();
        } else if (pick < 96 || count > MostRecords) {
            // Cut off inside the records, the count in the header left as it was.
            const qint64 cut = qint64(count - 1 - m_random.bounded(count / 4 + 1));
            table.close();
            QFile file(m_path);
            if (file.open(QIODevice::ReadWrite)) {
                const QByteArray head = file.read(12);
                const qint64 headerLength = quint8(head[8]) | quint8(head[9]) << 8;
                const qint64 recordLength = quint8(head[10]) | quint8(head[11]) << 8;
                file.resize(headerLength + std::max<qint64>(cut, FewestRecords) * recordLength
                            + qint64(m_random.bounded(int(recordLength))));
            }
        } else {
            table.close();
            recreate(FewestRecords + qint32(m_random.bounded(MostRecords - FewestRecords)));
        }
    }
    qint64 steps() const { return m_steps; }

private:
    QList<QString> record()
    {
        const auto number = [this](int from, int span) {
            return m_random.bounded(8) == 0 ? QString() : QString::number(from + int(m_random.bounded(span)));
        };
        const int start = 6 * 3600 + int(m_random.bounded(12 * 3600));
        const auto withNul = [this](const QString &text) {
            return m_random.bounded(10) == 0 ? QString(text).insert(1, QChar(0)) : text;
        };
        return {QStringLiteral("P%1").arg(m_random.bounded(400)), withNul(QStringLiteral("Turn")),
                QStringLiteral("M%1").arg(m_random.bounded(12)),
                m_random.bounded(3) == 0 ? QString() : QStringLiteral("O%1").arg(m_random.bounded(40)),
                QString::number(start), number(start + 60, 3600), number(60, 3600), number(start, 600),
                number(start + 600, 3600), number(60, 3600), m_random.bounded(2) ? withNul(QStringLiteral("Fin")) : QString()};
    }

    QString m_path;
    QRandomGenerator m_random;
    qint64 m_steps = 0;
};

struct Options {
    int seconds = 600;
    int rate = 50;
    QString viewer;
    QString standIn;
    quint64 seed = 1;
};

class Soak : public QObject {
public:
    explicit Soak(const Options &options)
        : m_options(options), m_writer(m_host.filePath(QStringLiteral("data/Scheduler.dbf")), options.seed)
    {
    }

    int run();

private:
    QVariantMap diagnostics(bool withGrid);
    void readStandIn();
    bool checkGrid(const QString &dump, QString *why);
    bool checkText(QString *why);

    Options m_options;
    ViewerHost m_host;
    Writer m_writer;
    QProcess &m_viewer = m_host.process();
    QProcess m_standIn;
    QString m_kept;
    qint64 m_feeds = 0;
    qint64 m_malformed = 0;
    qint64 m_boxes = 0;
    int m_hangs = 0;
    qint64 m_slowestAnswerMs = 0;
    bool m_hangCounted = false;
    std::unique_ptr<WindowProbe> m_probe;
};

QVariantMap Soak::diagnostics(bool withGrid)
{
    return m_host.diagnostics(withGrid ? QStringLiteral("DiagnosticsWithGrid") : QStringLiteral("Diagnostics"), 30000);
}

void Soak::readStandIn()
{
    while (m_standIn.canReadLine()) {
        const QByteArray line = m_standIn.readLine();
        if (line.startsWith("SetViewXMLData")) {
            ++m_feeds;
            m_malformed += line.contains("malformed");
        }
    }
}

bool Soak::checkGrid(const QString &dump, QString *why)
{
    // The grid's own rows, refreshed afresh from the final table by the
    // program's refresh without anything kept from earlier ticks, must come
    // out as the window shows them.
    const QStringList lines = dump.split(u'\n', Qt::SkipEmptyParts);
    chart::GridData fresh;
    fresh.setCols(8);
    fresh.setRows(2 + int(lines.size()));
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList cells = lines[i].split(u'|');
        fresh.setRowOutlineLevel(2 + i, qint16(cells.value(0).toInt()));
        fresh.setRowData(2 + i, cells.value(1).toInt());
        for (int col = 1; col <= 7; ++col)
            fresh.setText(2 + i, col, cells.value(col + 1));
    }
    store::DbfTable table;
    if (table.open(m_host.filePath(QStringLiteral("data/Scheduler.dbf"))).failed()) {
        *why = QStringLiteral("the final table does not open");
        return false;
    }
    RefreshTimesAndFeed(table, fresh, false, nullptr);
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList cells = lines[i].split(u'|');
        for (int col = 2; col <= 7; ++col) {
            if (fresh.text(2 + i, col) != cells.value(col + 1)) {
                *why = QStringLiteral("row %1 column %2 shows \"%3\", the table gives \"%4\"")
                           .arg(2 + i).arg(col).arg(cells.value(col + 1), fresh.text(2 + i, col));
                return false;
            }
        }
    }
    return true;
}

bool Soak::checkText(QString *why)
{
    store::DbfTable table;
    if (table.open(m_host.filePath(QStringLiteral("data/Scheduler.dbf"))).failed())
        return false;
    const QByteArray expected = model::BusSafeUtf8(model::BuildScheduleXml(table, model::XmlVariant::Refresh));
    QFile kept(m_kept);
    if (!kept.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("no schedule text arrived");
        return false;
    }
    const QByteArray received = kept.readAll();
    if (received != expected) {
        qsizetype at = 0;
        while (at < received.size() && at < expected.size() && received[at] == expected[at])
            ++at;
        const qsizetype from = std::max<qsizetype>(0, at - 80);
        *why = QStringLiteral("the last text (%1 bytes) is not the final table (%2 bytes); from byte %3 it has "
                              "\"%4\" where the table gives \"%5\"")
                   .arg(received.size()).arg(expected.size()).arg(at)
                   .arg(QString::fromUtf8(received.mid(from, 200)), QString::fromUtf8(expected.mid(from, 200)));
        return false;
    }
    return true;
}

int Soak::run()
{
    const QString data = m_host.filePath(QStringLiteral("data/"));
    if (!m_writer.recreate(1000) || store::DbfTable::create(data + QStringLiteral("Aplan.dbf"), {{"NAME", 'C', 10}}).failed()
        || store::DbfTable::create(data + QStringLiteral("Process.dbf"), {{"NAME", 'C', 10}}).failed()) {
        std::printf("cannot write the tables in %s\n", qPrintable(data));
        return 2;
    }
    QFile ini(data + QStringLiteral("VornSched.ini"));
    if (!ini.open(QIODevice::WriteOnly) || ini.write("[SCHEDULER]\r\nTimer=100\r\n") < 0)
        return 2;
    ini.close();

    m_kept = m_host.filePath(QStringLiteral("received.xml"));
    m_standIn.start(m_options.standIn, {QStringLiteral("--check"), QStringLiteral("--keep"), m_kept});
    if (!m_standIn.waitForReadyRead(10000) || m_standIn.readLine().trimmed() != "ready") {
        std::printf("the Manager Server stand-in did not start\n");
        return 2;
    }
    connect(&m_standIn, &QProcess::readyReadStandardOutput, this, &Soak::readStandIn);

    // Its boxes ("Open Failed" while the file is half rewritten) are answered
    // at once and said on standard error, which this process counts.
    m_viewer.setProcessChannelMode(QProcess::SeparateChannels);
    m_viewer.setStandardOutputFile(QProcess::nullDevice());
    connect(&m_viewer, &QProcess::readyReadStandardError, this, [this] {
        for (const QByteArray &line : m_viewer.readAllStandardError().split('\n')) {
            if (line.startsWith("Vorn Scheduler: "))
                ++m_boxes;
            else if (!line.isEmpty())
                std::fprintf(stderr, "%s\n", line.constData());
        }
    });
    if (!m_host.start(m_options.viewer, {QStringLiteral("--vorn-diag"), QStringLiteral("--answer-boxes"),
                                         QStringLiteral("--"), QStringLiteral("/H")})) {
        std::printf("cannot start %s\n", qPrintable(m_options.viewer));
        return 2;
    }
    if (!m_host.waitForWindow(60000)) {
        std::printf("the viewer did not come up\n");
        return 2;
    }
    // The window is on the bus from the start of its load; it tells about
    // itself once the load is over.
    WaitFor([&] { return !diagnostics(false).isEmpty(); }, 60000);
    const long startKiB = SampleProcess(m_viewer.processId()).rssKiB;
    const qint64 ticksAtStart = diagnostics(false).value(QStringLiteral("ticks")).toLongLong();

    int crashes = 0;
    connect(&m_viewer, &QProcess::finished, this, [&crashes] { ++crashes; });
    QTimer writing;
    writing.setTimerType(Qt::PreciseTimer);
    connect(&writing, &QTimer::timeout, this, [this] { m_writer.step(); });
    writing.start(1000 / std::max(1, m_options.rate));
    // A call the window's thread answers: one that stays unanswered for 5 s is a hang.
    m_probe = std::make_unique<WindowProbe>(m_host.service(), 250, 600000);
    m_probe->onWaiting = [this](qint64 waitingMs) {
        if (!m_hangCounted && waitingMs > HangMs) {
            ++m_hangs;
            m_hangCounted = true;
        }
    };
    m_probe->onAnswer = [this](qint64 ms, bool) {
        m_slowestAnswerMs = std::max(m_slowestAnswerMs, ms);
        m_hangCounted = false;
    };

    QElapsedTimer soaking;
    soaking.start();
    while (soaking.elapsed() < qint64(m_options.seconds) * 1000 && crashes == 0)
        RunFor(100);
    writing.stop();
    m_probe->stop();
    QCoreApplication::processEvents();

    // The writing has stopped: a tick that begins from now on must show the
    // final table, and the feed it sends must be it.
    bool gridOk = false;
    bool textOk = false;
    QString why;
    long endKiB = -1;
    qint64 ticks = 0;
    if (crashes == 0) {
        const qint64 ticksAtStop = diagnostics(false).value(QStringLiteral("ticks")).toLongLong();
        if (!WaitFor([&] { return diagnostics(false).value(QStringLiteral("ticks")).toLongLong() >= ticksAtStop + 2; },
                     HangMs))
            ++m_hangs;
        const QVariantMap state = diagnostics(true);
        gridOk = checkGrid(state.value(QStringLiteral("grid")).toString(), &why);
        // A call may be on its way with an older text, and the stand-in keeps
        // each text before it answers: the second call the viewer sees
        // answered from now on was begun after these ticks.
        const qint64 sentAtGrid = state.value(QStringLiteral("feedsSent")).toLongLong();
        WaitFor([&] { return diagnostics(false).value(QStringLiteral("feedsSent")).toLongLong() >= sentAtGrid + 2; },
                10000);
        QString whyText;
        textOk = checkText(&whyText);
        why += (why.isEmpty() || whyText.isEmpty() ? QString() : QStringLiteral("; ")) + whyText;
        ticks = diagnostics(false).value(QStringLiteral("ticks")).toLongLong() - ticksAtStart;
        endKiB = SampleProcess(m_viewer.processId()).rssKiB;
        m_viewer.disconnect(this);
        m_viewer.terminate();
        m_viewer.waitForFinished(10000);
    }
    m_standIn.terminate();
    m_standIn.waitForFinished(10000);
    readStandIn();

    std::printf("soak of %d s: %lld writer steps, %lld ticks, %lld feeds, %d crashes, %d hangs (no answer for %d s; "
                "slowest answer %lld ms), %lld malformed feeds, %lld boxes answered; RSS %ld KiB after the load, %ld KiB at the end; "
                "grid %s, last text %s%s\n",
                m_options.seconds, m_writer.steps(), ticks, m_feeds, crashes, m_hangs, HangMs / 1000,
                m_slowestAnswerMs, m_malformed, m_boxes, startKiB, endKiB, gridOk ? "equals the final table" : "DIFFERS",
                textOk ? "equals the final table" : "DIFFERS",
                why.isEmpty() ? "" : qPrintable(QStringLiteral(" (") + why + u')'));
    std::fflush(stdout);
    return crashes == 0 && m_hangs == 0 && m_malformed == 0 && gridOk && textOk ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The viewer beside a manager that never stops writing."));
    parser.addHelpOption();
    const QString here = QCoreApplication::applicationDirPath();
    parser.addOption({QStringLiteral("seconds"), QStringLiteral("How long the writer writes."), QStringLiteral("s"),
                      QStringLiteral("600")});
    parser.addOption({QStringLiteral("rate"), QStringLiteral("Writer steps per second."), QStringLiteral("n"),
                      QStringLiteral("50")});
    parser.addOption({QStringLiteral("viewer"), QStringLiteral("The viewer."), QStringLiteral("path"),
                      here + QStringLiteral("/../../src/vorn-scheduler")});
    parser.addOption({QStringLiteral("stand-in"), QStringLiteral("The Manager Server stand-in."),
                      QStringLiteral("path"), here + QStringLiteral("/../stand-in-manager/vorn-stand-in-manager")});
    parser.addOption({QStringLiteral("seed"), QStringLiteral("Seed of the writer."), QStringLiteral("n"),
                      QStringLiteral("1")});
    parser.process(app);
    if (!QDBusConnection::sessionBus().isConnected()) {
        std::printf("no session bus: run under dbus-run-session\n");
        return 2;
    }
    Options options;
    options.seconds = std::max(1, parser.value(QStringLiteral("seconds")).toInt());
    options.rate = std::max(1, parser.value(QStringLiteral("rate")).toInt());
    options.viewer = QFileInfo(parser.value(QStringLiteral("viewer"))).absoluteFilePath();
    options.standIn = QFileInfo(parser.value(QStringLiteral("stand-in"))).absoluteFilePath();
    options.seed = parser.value(QStringLiteral("seed")).toULongLong();
    Soak soak(options);
    return soak.run();
}
