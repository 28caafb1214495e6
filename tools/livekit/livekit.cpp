#include "livekit.h"

#include "dbftable.h"
#include "plantmodel.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QFile>

#include <unistd.h>

namespace vorn::livekit {

namespace {

const QString WindowName = QStringLiteral("VornScheduler.Window");
const QString WindowPath = QStringLiteral("/VornScheduler/Window");
const QString WindowInterface = QStringLiteral("VornScheduler.Window");

} // namespace

bool WriteScheduleInOneGo(const QString &path, const plant::Plant &cell, qint32 now)
{
    const QList<store::FieldDescriptor> fields = plant::ScheduleTableFields();
    if (store::DbfTable::create(path, fields).failed())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray header = file.readAll();
    if (header.endsWith('\x1a'))
        header.chop(1);
    qsizetype recordLength = 1;
    for (const store::FieldDescriptor &field : fields)
        recordLength += field.length;
    QByteArray bytes;
    bytes.reserve(header.size() + recordLength * cell.operations.size() + 1);
    bytes.append(header);
    for (const plant::Operation &op : cell.operations) {
        const QList<QString> values = op.recordAt(now);
        bytes.append(' ');
        for (int i = 0; i < fields.size(); ++i) {
            const QByteArray value = values.value(i).toLatin1().left(fields[i].length);
            const QByteArray pad(fields[i].length - value.size(), ' ');
            if (fields[i].type == 'N')
                bytes.append(pad).append(value);
            else
                bytes.append(value).append(pad);
        }
    }
    bytes.append('\x1a');
    const quint32 count = quint32(cell.operations.size());
    for (int i = 0; i < 4; ++i)
        bytes[4 + i] = char((count >> (8 * i)) & 0xff);
    file.resize(0);
    file.seek(0);
    if (file.write(bytes) != bytes.size() || !file.flush())
        return false;
    return ::fdatasync(file.handle()) == 0;
}

Writer::Writer(const QString &path, qint32 records, double share)
    : m_file(path), m_records(records), m_perTick(qMax(1, int(records * share)))
{
    m_file.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    const QByteArray head = m_file.read(12);
    m_headerLength = quint8(head[8]) | (quint8(head[9]) << 8);
    m_recordLength = quint8(head[10]) | (quint8(head[11]) << 8);
    // Deletion flag, Part 20, Process 20, Machine 15, Order 15, then
    // StartP, FinishP, DurationP of 10 each before StartA.
    m_actualOffset = 1 + 20 + 20 + 15 + 15 + 3 * 10;
}

void Writer::rewrite()
{
    for (int i = 0; i < m_perTick; ++i) {
        const qint32 record = qint32(m_random.bounded(m_records));
        const qint32 start = 6 * 3600 + qint32(m_random.bounded(12 * 3600));
        const qint32 duration = 60 + qint32(m_random.bounded(3600));
        writeActual(record, start, duration);
    }
    ++m_rounds;
}

void Writer::mark(qint32 record, qint32 start, qint32 duration)
{
    writeActual(record, start, duration);
}

void Writer::writeActual(qint32 record, qint32 start, qint32 duration)
{
    const QByteArray bytes = QByteArray::number(start).rightJustified(10, ' ')
        + QByteArray::number(start + duration).rightJustified(10, ' ')
        + QByteArray::number(duration).rightJustified(10, ' ');
    m_file.seek(m_headerLength + qint64(record) * m_recordLength + m_actualOffset);
    m_file.write(bytes);
}

ProcessSample SampleProcess(qint64 pid)
{
    ProcessSample s;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        // utime and stime are fields 14 and 15; the command name before them
        // may hold blanks, so count from the ")" that ends it.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12)
            s.cpuSeconds = double(fields[11].toLongLong() + fields[12].toLongLong())
                / double(sysconf(_SC_CLK_TCK));
    }
    // The scheduler's nanoseconds of every live thread are finer than the
    // 10 ms clock ticks of stat (a thread that ended is only counted there,
    // and the viewer's threads live as long as it does).
    double threads = 0;
    const QStringList tasks = QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        QFile schedstat(QStringLiteral("/proc/%1/task/%2/schedstat").arg(pid).arg(task));
        if (schedstat.open(QIODevice::ReadOnly))
            threads += schedstat.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    if (threads > 0)
        s.cpuSeconds = threads;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                s.rssKiB = line.mid(6).trimmed().split(' ').first().toLong();
            else if (line.startsWith("VmHWM:"))
                s.peakKiB = line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return s;
}

// An event loop that sleeps between events: processEvents() with a time
// limit never waits for one, and a loop around it keeps a core busy that the
// viewer under measurement would otherwise have.
void RunFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(qMax(0, ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool WaitFor(const std::function<bool()> &ready, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!ready()) {
        if (t.elapsed() > ms)
            return false;
        RunFor(20);
    }
    return true;
}

ViewerHost::ViewerHost()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("bin"));
    QDir(m_dir.path()).mkpath(QStringLiteral("data"));
    m_process.setWorkingDirectory(m_dir.filePath(QStringLiteral("bin")));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_process.setProcessEnvironment(env);
}

bool ViewerHost::start(const QString &program, const QStringList &arguments)
{
    m_process.start(program, arguments);
    return m_process.waitForStarted();
}

bool ViewerHost::waitForWindow(int ms)
{
    // The window by its process's name; the shared name serves a viewer
    // started through a wrapper (a profiler), whose process id is not the
    // one started.
    m_service = WindowName + QStringLiteral(".p%1").arg(m_process.processId());
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    bool up = false;
    WaitFor([&] {
        if (bus->isServiceRegistered(m_service).value()) {
            up = true;
        } else if (bus->isServiceRegistered(WindowName).value()) {
            m_service = bus->serviceOwner(WindowName).value();
            up = true;
        }
        return up || m_process.state() != QProcess::Running;
    }, ms);
    return up;
}

QVariantMap ViewerHost::diagnostics(const QString &method, int timeoutMs) const
{
    const QDBusMessage reply = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(m_service, WindowPath, WindowInterface, method), QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return qdbus_cast<QVariantMap>(reply.arguments().constFirst());
}

WindowProbe::WindowProbe(const QString &service, int periodMs, int timeoutMs)
    : m_service(service), m_timeoutMs(timeoutMs)
{
    m_timer.setInterval(periodMs);
    connect(&m_timer, &QTimer::timeout, this, &WindowProbe::probe);
    m_timer.start();
}

void WindowProbe::probe()
{
    if (m_pending) {
        if (onWaiting)
            onWaiting(m_sent.elapsed());
        return;
    }
    m_pending = true;
    m_sent.start();
    const QDBusMessage call =
        QDBusMessage::createMethodCall(m_service, WindowPath, WindowInterface, QStringLiteral("Diagnostics"));
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, m_timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        const qint64 ms = m_sent.elapsed();
        m_pending = false;
        w->deleteLater();
        if (onAnswer)
            onAnswer(ms, w->isError());
    });
}

} // namespace vorn::livekit
