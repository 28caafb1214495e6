#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QVariantMap>

#include <functional>

namespace vorn::plant {
struct Plant;
}

namespace vorn::livekit {

// Processor time (user + system, every thread) and memory of another
// process; -1 KiB when the process has no memory to report (gone, or a
// zombie).
struct ProcessSample {
    double cpuSeconds = 0;
    long rssKiB = -1;
    long peakKiB = -1;
};

ProcessSample SampleProcess(qint64 pid);

// The schedule table written as the manager keeps it, in one go: the store's
// own record-by-record append takes seconds for a million records. Synced to
// disk, so that its write-back is not timed as the reader's start.
bool WriteScheduleInOneGo(const QString &path, const plant::Plant &cell, qint32 now);

// Rewrites the actual start, finish and duration of `share` of the records in
// place, the way the manager updates a running schedule.
class Writer {
public:
    Writer(const QString &path, qint32 records, double share);
    void rewrite();
    int rounds() const { return m_rounds; }
    // Gives one record (from 0) an actual start of its own, so that a reader
    // of the table can tell which write it saw.
    void mark(qint32 record, qint32 start, qint32 duration);

private:
    void writeActual(qint32 record, qint32 start, qint32 duration);

    QFile m_file;
    qint32 m_records;
    int m_perTick;
    qint64 m_headerLength = 0;
    qint64 m_recordLength = 0;
    qint64 m_actualOffset = 0;
    int m_rounds = 0;
    QRandomGenerator m_random{42};
};

// Runs this process's events for `ms`.
void RunFor(int ms);

// Runs events until `ready` says so; false when `ms` passed first.
bool WaitFor(const std::function<bool()> &ready, int ms);

// The viewer in a temporary plant folder of its own: it runs in bin/ and
// finds its tables in data/. Offscreen unless the environment says
// otherwise.
class ViewerHost {
public:
    ViewerHost();

    // A path inside the folder, e.g. "data/Scheduler.dbf".
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    QProcess &process() { return m_process; }

    bool start(const QString &program, const QStringList &arguments);

    // Waits until the window's control object is on the bus, or the
    // process ends, or `ms` passed.
    bool waitForWindow(int ms);
    // Where the window answers once waitForWindow() found it.
    const QString &service() const { return m_service; }

    // A call of the window's control object ("Diagnostics" or
    // "DiagnosticsWithGrid"); empty when it was not answered.
    QVariantMap diagnostics(const QString &method, int timeoutMs) const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_service;
};

// Calls the window's Diagnostics every period, never two at once. The
// window's own thread answers it (the bus library answers the standard
// interfaces itself, on a thread of its own), so the time to the answer is
// how long that thread kept a caller waiting.
class WindowProbe : public QObject {
public:
    WindowProbe(const QString &service, int periodMs, int timeoutMs);

    // Every answer with the time it took; error when the bus answered in
    // the window's place (before its object is on the bus, or on a timeout).
    std::function<void(qint64 ms, bool error)> onAnswer;
    // Every period while a call is still on its way, with how long it waited.
    std::function<void(qint64 waitingMs)> onWaiting;

    // No further calls; one on its way is still answered.
    void stop() { m_timer.stop(); }

private:
    void probe();

    QString m_service;
    int m_timeoutMs;
    QTimer m_timer;
    bool m_pending = false;
    QElapsedTimer m_sent;
};

} // namespace vorn::livekit
