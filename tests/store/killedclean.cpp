// The Clean's table work killed at random moments.
//
//   killed-clean [--kills N] [--records N] [--appends N] [--seed S]
//
// builds a schedule table of N records, then runs the Clean's table work
// (mark every counted record deleted, pack) in a child process again and
// again and kills it with SIGKILL at a random moment: half of the moments
// anywhere in its work, half inside the pack. While the child marks, a
// stand-in manager in it appends records the count did not see. Every file
// left behind must open in our reader and in python3-dbfread, every record
// either lists must be whole, and no record that was not marked deleted may
// be missing. Prints what it found; exits 1 when any file fails.
//
//   killed-clean --victim TABLE APPENDS
//
// is the child: it reports "S" when it starts its work, "A<n>" after each
// finished append and "P" when the pack starts, on standard output.

#include "dbftable.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <iterator>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vorn::store;

namespace {

// Record `id` as the generator writes it: the fields depend on the id, so a
// record put together from pieces of two is recognised.
QList<QString> recordValues(qint64 id)
{
    return {QString::number(id), QStringLiteral("P%1").arg(id), QString::number(id * 7919 % 1000003),
            QStringLiteral("note %1 of the plan %2").arg(id).arg(id % 97)};
}

const QList<FieldDescriptor> layout{{"ID", 'N', 8}, {"PART", 'C', 12}, {"CHECK", 'N', 10}, {"NOTE", 'C', 40}};

// The id of a whole record, or -1.
qint64 wholeRecordId(const QStringList &values)
{
    bool ok = false;
    const qint64 id = values.value(0).trimmed().toLongLong(&ok);
    if (!ok || values.size() != 4)
        return -1;
    const QList<QString> want = recordValues(id);
    for (int f = 0; f < 4; ++f) {
        if (values[f].trimmed() != want[f])
            return -1;
    }
    return id;
}

void report(const char *line)
{
    // Straight to the pipe: nothing may wait in a buffer when the kill comes.
    const std::string text = std::string(line) + '\n';
    [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
}

int runVictim(const QString &path, int appends)
{
    DbfTable table;
    if (table.open(path).failed())
        return 2;
    report("S");
    const qint32 count = table.recordCount();
    DbfTable manager;
    if (manager.open(path).failed())
        return 3;
    const qint32 every = appends > 0 ? std::max(1, count / appends) : 0;
    int appended = 0;
    for (qint32 record = 1; record <= count; ++record) {
        // As the clean itself: a record that cannot be deleted is not reported.
        std::ignore = table.markDeleted(record);
        if (every > 0 && record % every == 0 && appended < appends) {
            if (manager.appendRecord(recordValues(qint64(count) + appended + 1)).failed())
                return 4;
            ++appended;
            report(QStringLiteral("A%1").arg(appended).toLatin1().constData());
        }
    }
    report("P");
    return table.pack().ok() ? 0 : 5;
}

// What one reader lists: ids of whole records, and how many were not whole.
struct Listing {
    QString error;
    std::vector<qint64> ids;
    int broken = 0;

    void add(const QStringList &values)
    {
        const qint64 id = wholeRecordId(values);
        id < 0 ? void(++broken) : ids.push_back(id);
    }
};

Listing readOurs(const QString &path)
{
    Listing out;
    DbfTable table;
    if (const vorn::Result error = table.open(path); error.failed())
        out.error = error.message();
    for (qint32 r = 1; r <= table.recordCount(); ++r) {
        if (table.isDeleted(r))
            continue;
        QStringList values;
        for (int f = 1; f <= table.fieldCount(); ++f)
            values << table.decode(table.rawField(r, f));
        out.add(values);
    }
    return out;
}

Listing readDbfread(const QString &path)
{
    Listing out;
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(VORN_SOURCE_DIR "/tests/store/read_with_dbfread.py"), path});
    if (!python.waitForFinished(-1) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        out.error = QString::fromLocal8Bit(python.readAllStandardError()).trimmed().section(u'\n', -1);
        if (out.error.isEmpty())
            out.error = python.errorString();
        return out;
    }
    const QJsonArray records = QJsonDocument::fromJson(python.readAllStandardOutput()).object().value("records").toArray();
    for (const QJsonValue &record : records)
        out.add(record.toVariant().toStringList());
    return out;
}

// Whether what a reader lists loses nothing: the Clean marks in record
// order, so the originals still listed are the last ones, without a gap;
// the appended ones are the first ones, at least those reported done.
QString checkListing(const Listing &l, qint64 records, int appendsDone, bool *duplicates)
{
    if (!l.error.isEmpty())
        return QStringLiteral("does not open: %1").arg(l.error);
    if (l.broken > 0)
        return QStringLiteral("%1 records not whole").arg(l.broken);
    const std::set<qint64> ids(l.ids.begin(), l.ids.end());
    *duplicates = ids.size() != l.ids.size();
    qint64 firstOriginal = records + 1;
    qint64 originals = 0, lastAppended = records;
    for (qint64 id : ids) {
        if (id <= records) {
            firstOriginal = std::min(firstOriginal, id);
            ++originals;
        } else {
            lastAppended = std::max(lastAppended, id);
        }
    }
    if (originals != records + 1 - firstOriginal)
        return QStringLiteral("an original record before %1 is missing").arg(records + 1 - originals);
    const qint64 appendedListed = qint64(ids.size()) - originals;
    if (appendedListed != lastAppended - records)
        return QStringLiteral("an appended record before %1 is missing").arg(lastAppended);
    if (appendedListed < appendsDone)
        return QStringLiteral("%1 appended records listed, %2 were done").arg(appendedListed).arg(appendsDone);
    return {};
}

struct Child {
    pid_t pid = -1;
    int output = -1;
};

Child startVictim(const QString &self, const QString &table, int appends)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return {};
    const QByteArray program = QFile::encodeName(self);
    const QByteArray path = QFile::encodeName(table);
    const QByteArray count = QByteArray::number(appends);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        ::execl(program.constData(), program.constData(), "--victim", path.constData(), count.constData(), nullptr);
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    return {pid, pipeEnds[0]};
}

// Reads the child's reports up to `line` (blocking), then the rest after it ended.
QByteArray readUntil(int fd, const char *line)
{
    QByteArray got;
    char c;
    while (!got.endsWith(line) && ::read(fd, &c, 1) == 1)
        got += c;
    return got;
}

QByteArray readRest(int fd)
{
    QByteArray got;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        got.append(buffer, n);
    ::close(fd);
    return got;
}

int argument(const QStringList &args, const QString &name, int fallback)
{
    const qsizetype i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : fallback;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--victim"))
        return runVictim(args[2], args[3].toInt());

    const int kills = argument(args, QStringLiteral("--kills"), 20);
    const int records = argument(args, QStringLiteral("--records"), 5000);
    const int appends = argument(args, QStringLiteral("--appends"), records / 10);
    QRandomGenerator random(quint32(argument(args, QStringLiteral("--seed"), int(QDateTime::currentMSecsSinceEpoch() & 0x7FFFFFFF))));

    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("base.dbf"));
    {
        if (DbfTable::create(base, layout).failed())
            return 1;
        DbfTable table;
        if (table.open(base).failed())
            return 1;
        for (qint64 id = 1; id <= records; ++id) {
            if (table.appendRecord(recordValues(id)).failed())
                return 1;
        }
    }
    const QString self = QCoreApplication::applicationFilePath();

    // One run to its end: how long the work and its pack take.
    const QString calibration = dir.filePath(QStringLiteral("whole.dbf"));
    QFile::copy(base, calibration);
    Child whole = startVictim(self, calibration, appends);
    readUntil(whole.output, "S\n");
    QElapsedTimer clock;
    clock.start();
    const qint64 packStart = readUntil(whole.output, "P\n").endsWith("P\n") ? clock.nsecsElapsed() : -1;
    readRest(whole.output);
    const qint64 work = clock.nsecsElapsed();
    int status = 0;
    ::waitpid(whole.pid, &status, 0);
    bool duplicates = false;
    const Listing done = readOurs(calibration);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || packStart < 0
        || !checkListing(done, records, appends, &duplicates).isEmpty() || done.ids.size() != size_t(appends)) {
        std::printf("the uninterrupted clean failed (status %d)\n", status);
        return 1;
    }
    std::printf("clean of %d records with %d appended meanwhile: %.1f ms, the pack %.1f ms\n", records, appends,
                work / 1e6, (work - packStart) / 1e6);

    std::map<QString, int> phases;
    int failed = 0, withDuplicates = 0;
    for (int k = 0; k < kills; ++k) {
        const QString path = dir.filePath(QStringLiteral("kill%1.dbf").arg(k));
        QFile::copy(base, path);
        // Half of the moments anywhere in the work, half inside the pack,
        // each counted from the child's own report of where it is.
        const bool inPack = k % 2 == 1;
        const qint64 at = qint64(random.bounded(double(inPack ? work - packStart : work)));
        Child child = startVictim(self, path, appends);
        QByteArray rest = readUntil(child.output, inPack ? "P\n" : "S\n");
        std::this_thread::sleep_for(std::chrono::nanoseconds(at));
        ::kill(child.pid, SIGKILL);
        ::waitpid(child.pid, &status, 0);
        rest += readRest(child.output);
        const int appendsDone = int(rest.count('A'));
        const QString phase = WIFEXITED(status) ? QStringLiteral("finished")
            : rest.contains('P')                ? QStringLiteral("packing")
                                                : QStringLiteral("marking");
        ++phases[phase];

        bool oursDuplicates = false, theirsDuplicates = false;
        const Listing ours = readOurs(path);
        const Listing theirs = readDbfread(path);
        QString problem = checkListing(ours, records, appendsDone, &oursDuplicates);
        if (problem.isEmpty() && !(problem = checkListing(theirs, records, appendsDone, &theirsDuplicates)).isEmpty())
            problem = QStringLiteral("dbfread: ") + problem;
        // dbfread reads up to the end marker, not the count: an append
        // killed between its record and its count shows there alone.
        std::vector<qint64> onlyOne;
        std::multiset<qint64> a(ours.ids.begin(), ours.ids.end()), b(theirs.ids.begin(), theirs.ids.end());
        std::set_symmetric_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(onlyOne));
        if (problem.isEmpty() && (onlyOne.size() > 1 || (onlyOne.size() == 1 && onlyOne[0] <= records)))
            problem = QStringLiteral("our reader and dbfread list different records");
        withDuplicates += oursDuplicates || theirsDuplicates;
        if (!problem.isEmpty()) {
            ++failed;
            std::printf("kill %d %.3f ms after %s (%s, %d appends done): %s\n", k, at / 1e6, inPack ? "the pack began" : "the start",
                        qPrintable(phase), appendsDone,
                        qPrintable(problem));
        }
    }
    std::printf("%d kills:", kills);
    for (const auto &[phase, count] : phases)
        std::printf(" %d while %s", count, qPrintable(phase));
    std::printf("\n%d files open in both readers with every record whole and none lost, %d failed; "
                "%d list a moved record twice\n",
                kills - failed, failed, withDuplicates);
    return failed == 0 ? 0 : 1;
}
