#include "directbus.h"
#include "fakemanager.h"
#include "managerclient.h"
#include "mappedfile.h"

#include "../model/scheduletable.h"
#include "tickfeed.h"
#include "shownbytes.h"
#include "testfiles.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <thread>
#include <sys/socket.h>
#include <sys/un.h>
#include <fcntl.h>
#include <unistd.h>

using vorn::ManagerServerClient;
using vorn::testing::FakeManager;
using namespace Qt::StringLiterals;
using namespace std::literals;

namespace {

// No grid rows: a tick's feed without any cells to work out.
struct NoRows final : vorn::model::TickRows, vorn::model::TickCellWriter {
    const void *holder() const override { return this; }
    quint64 generation() const override { return 0; }
    int count() const override { return 0; }
    qint16 level(int) const override { return 0; }
    qint32 record(int) const override { return 0; }
    void write(const vorn::model::TickTriple &) override {}
} noRows;

// Long enough to outlast one reply timeout of a stuck manager.
constexpr int kWaitMs = 3 * ManagerServerClient::ReplyTimeoutMs;

// The calls the manager took, one a line, and a feed's records each on a line of its own.
QByteArray shownCalls(const FakeManager &manager)
{
    QByteArray out;
    for (const QString &call : manager.calls())
        out += "  " + vorn::testing::shownBytes(call.toUtf8()).replace("</DataRow>", "</DataRow>\n    ") + '\n';
    return out;
}

} // namespace

class tst_ManagerClient : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("needs a session bus (run under dbus-run-session)");
    }

    void callsArriveInOrderWithTheirArguments_data()
    {
        QTest::addColumn<bool>("ownConnection");   // else through Qt's bus connection
        QTest::addColumn<QByteArray>("address");   // the one the own connection finds, empty: the session's
        QTest::newRow("own-connection") << true << QByteArray();
        QTest::newRow("qt-connection") << false << QByteArray();
        // The address changed after the client was made: the calls go through Qt's connection, open already.
        QTest::newRow("own-connection-without-a-usable-address") << true << QByteArray("tcp:host=localhost,port=1");
    }

    void callsArriveInOrderWithTheirArguments()
    {
        QFETCH(bool, ownConnection);
        QFETCH(QByteArray, address);
        // Nothing is escaped on the way: a bare ampersand and angle brackets inside
        // a field, and text outside Latin-1, arrive exactly as given; so do an
        // empty text and one about the size of a 10,000-record schedule.
        QStringList feeds{"<DataView><DataTable></DataTable></DataView>", "<Part>A&B <x> 零件</Part>", QString(),
                          QString(3'000'000, u'x')};
        // A NUL or half a surrogate pair, which the bus cannot carry, arrives as U+FFFD; a whole pair as it is.
        const QHash<QString, QString> replaced{{QStringView(u"A\0B"sv).toString(), u"A\uFFFDB"_s},
            {QStringView(u"\xD800-"sv).toString(), u"\uFFFD-"_s}, {QStringView(u"-\xDC00"sv).toString(), u"-\uFFFD"_s},
            {QStringView(u"\U0001F600\xD800-\U0001F600"sv).toString(), u"\U0001F600\uFFFD-\U0001F600"_s}};
        feeds += replaced.keys();
        FakeManager manager(false);
        // Qt's own session connection is the one the client can stand in for.
        const auto create = [&] {
            return ownConnection ? ManagerServerClient::create()
                                 : ManagerServerClient::create(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("qt-way")));
        };
        // Without a manager there is no object: only the name's owner counts,
        // not the object registered, and a bus that is not there has none.
        QVERIFY(!create());
        QVERIFY(!ManagerServerClient::create(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/vorn-bus"), QStringLiteral("dead"))));
        QDBusConnection::disconnectFromBus(QStringLiteral("dead"));
        QVERIFY(manager.claimName());
        auto client = create();
        QVERIFY(client);
        const QByteArray session = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        const auto restore = qScopeGuard([&session] { qputenv("DBUS_SESSION_BUS_ADDRESS", session); });
        if (!address.isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        client->CreateView(QStringLiteral("Scheduler"), QStringLiteral("View Scheduler"), 7);
        QStringList expected{"CreateView(Scheduler|View Scheduler|7)"};
        for (const QString &xml : feeds) {
            // Each answer awaited, so that no feed is folded into a later one.
            QTRY_VERIFY_WITH_TIMEOUT(client->isIdle(), kWaitMs);
            client->SetViewXMLData(QStringLiteral("SCHEDULER"), xml);
            expected << "SetViewXMLData(SCHEDULER|" + replaced.value(xml, xml) + ')';
        }
        QTRY_VERIFY_WITH_TIMEOUT(client->isIdle(), kWaitMs);
        QCOMPARE(manager.calls(), expected);
        QCOMPARE(client->failedCount() + client->supersededCount(), 0);
        // A manager that answers late, but within the reply time, is waited for.
        manager.hang();
        client->SetViewXMLData(QStringLiteral("SCHEDULER"), QStringLiteral("late"));
        QTest::qWait(ManagerServerClient::ReplyTimeoutMs / 4);
        manager.release();
        QTRY_VERIFY_WITH_TIMEOUT(client->isIdle(), kWaitMs);
        QCOMPARE(client->failedCount(), 0);
        expected << "SetViewXMLData(SCHEDULER|late)";
        // Still on its own connection: it did not fall back to Qt's.
        QCOMPARE(client->usesDirectBus(), ownConnection && address.isEmpty());
        // Going away, the client still hands the bus what waits behind the call in flight.
        client->SetViewXMLData(QStringLiteral("SCHEDULER"), QStringLiteral("first"));
        client->SetViewXMLData(QStringLiteral("SCHEDULER"), QStringLiteral("second"));
        client.reset();
        expected << "SetViewXMLData(SCHEDULER|first)" << "SetViewXMLData(SCHEDULER|second)";
        QTRY_COMPARE_WITH_TIMEOUT(manager.calls(), expected, kWaitMs);
        // All of them over one connection, opened once.
        QCOMPARE(manager.senders().size(), 1);
        QDBusConnection::disconnectFromBus(QStringLiteral("qt-way"));
    }

    // The reply's serial is found behind header fields the bus might add; the
    // fields may be as long as the wire's largest array, and no longer. Each
    // stored message is followed by the whole head the reader made of it.
    void readerFindsTheReplySerial()
    {
        const QString name = QStringLiteral("reply-serials.txt");
        const char *const results[] = {"more needed", "message", "broken"};
        QByteArray transcript;
        for (const QByteArray &line : vorn::testing::readFile(QStringLiteral(VORN_TEST_DATA_DIR "/") + name).trimmed().split('\n')) {
            const qsizetype from = line.indexOf(": ") + 2, to = line.indexOf(" -> ");
            transcript += to < 0 ? line : line.first(to);
            if (!line.startsWith('#')) {
                const QByteArray hex = line.sliced(from, (to < 0 ? line.size() : to) - from);
                const qsizetype cut = hex.indexOf('|') + 1;
                vorn::BusMessageReader reader;
                reader.append(QByteArray::fromHex(hex.first(cut)));
                reader.clear();
                reader.append(QByteArray::fromHex(hex.sliced(cut)));
                vorn::BusMessageHead head;
                transcript += QStringLiteral(" -> %1: type %2, reply to %3, %4 bytes%5")
                                  .arg(results[reader.next(&head)]).arg(int(head.type)).arg(head.replySerial).arg(head.size)
                                  .arg(head.errorName.isEmpty() ? QString() : ", error " + head.errorName).toUtf8();
            }
            transcript += '\n';
        }
        VORN_COMPARE_STORED(name, transcript);
    }

    void callThatFitsTheLargestMessageIsWritten()
    {
        // Started with standard input closed, the connection's socket is descriptor 0.
        const int input = ::dup(0);
        ::close(0);
        const auto restore = qScopeGuard([input] {
            ::dup2(input, 0);
            ::close(input);
        });
        vorn::DirectBusConnection connection;
        QVERIFY(connection.open(kWaitMs).ok());
        vorn::DirectBusCall call("", "/", "", "Large");
        // A body (the string's length and NUL too) that leaves 256 bytes for the header; its
        // producer gives up at once, so nothing that large is ever made, and the call is not refused.
        call.addString(vorn::DirectBusConnection::MaxMessageSize - 256 - 5, [](const vorn::DirectBusCall::Sink &) { return false; });
        QCOMPARE(connection.call(call, kWaitMs).errorName, QStringLiteral("the call could not be written in time"));
        connection.close();
        QCOMPARE(::fcntl(0, F_GETFD), -1);
    }

    // The bus is played by a listening socket: "silent" never answers,
    // "hangs-up" reads the authentication and closes, "stray" takes it and then
    // sends only the reply to a call this connection never made, "breaks"
    // hangs up half-way through a message and answers the next connection.
    void ownConnectionOpensWhereTheAddressSays_data()
    {
        QTest::addColumn<QByteArray>("address");   // empty: none, so the runtime folder's "bus"
        QTest::addColumn<QByteArray>("peer");
        QTest::addColumn<QString>("failure");
        const QString silence = QStringLiteral("the bus did not answer the authentication");
        // Reached there, not at a file of that name.
        QTest::newRow("abstract-address") << QByteArray("unix:abstract=") << QByteArray("silent") << silence;
        // Only a unix entry counts, and a path too long for a socket is none.
        const QString noAddress = QStringLiteral("no session bus address this connection can use");
        QTest::newRow("no-unix-entry") << QByteArray("tcp:host=localhost,port=1;") << QByteArray("silent") << noAddress;
        QTest::newRow("path-too-long") << "unix:path=/" + QByteArray(100, 'x') << QByteArray("silent") << noAddress;
        // An abstract name takes the byte before it too: 107 bytes of name are one too many.
        const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid());
        QTest::newRow("abstract-name-too-long") << "unix:abstract=" + QByteArray(84 - pid.size(), 'x') + "abstract=" << QByteArray("silent") << noAddress;
        QTest::newRow("runtime-folder-bus-without-an-address") << QByteArray() << QByteArray("silent") << silence;
        QTest::newRow("bus-hangs-up-at-once") << QByteArray("unix:path=") << QByteArray("hangs-up")
                                              << QStringLiteral("the bus closed the connection");
        QTest::newRow("reply-to-another-serial-is-no-hello") << QByteArray("unix:path=") << QByteArray("stray")
                                                             << QStringLiteral("the bus did not say hello: org.freedesktop.DBus.Error.NoReply");
        QTest::newRow("bus-hangs-up-instead-of-hello") << QByteArray("unix:path=") << QByteArray("hangs-up-at-hello")
                                                       << QStringLiteral("the bus did not say hello: the bus closed the connection");
        // Opened again, the connection reads nothing of the half message the first one left.
        QTest::newRow("opens-again-after-a-half-message") << QByteArray("unix:path=") << QByteArray("breaks") << QString();
    }

    void ownConnectionOpensWhereTheAddressSays()
    {
        QFETCH(QByteArray, address);
        QFETCH(QByteArray, peer);
        QTemporaryDir dir;
        const bool abstract = address.endsWith("abstract=");
        const QByteArray name = abstract ? "vorn-test-bus-" + QByteArray::number(QCoreApplication::applicationPid())
                                         : QFile::encodeName(dir.filePath(QStringLiteral("bus")));
        sockaddr_un socketAddress{};
        socketAddress.sun_family = AF_UNIX;
        std::memcpy(socketAddress.sun_path + abstract, name.constData(), size_t(name.size()));
        const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&socketAddress), socklen_t(offsetof(sockaddr_un, sun_path) + abstract + name.size())), 0);
        QCOMPARE(::listen(listener, 1), 0);
        std::thread fakeBus([&] {
            if (peer == "silent")
                return;
            int connection = ::accept(listener, nullptr, nullptr);
            QByteArray in;
            const auto readUpTo = [&](const char *end) {
                char buffer[256];
                for (ssize_t got = 0; !in.contains(end) && (got = ::read(connection, buffer, sizeof buffer)) > 0;)
                    in.append(buffer, got);
            };
            readUpTo("\r\n");
            if (peer != "hangs-up") {
                ::send(connection, "OK 0123456789abcdef0123456789abcdef\r\n", 37, MSG_NOSIGNAL);
                readUpTo("Hello");   // BEGIN, then the call
            }
            if (peer == "stray") {
                ::send(connection, QByteArray::fromHex("6c0200010000000007000000080000000501750009000000").constData(), 24, MSG_NOSIGNAL);
                readUpTo("until the connection gives up");
            }
            if (peer == "breaks") {
                ::send(connection, "l\2\0\1\0\0\0\0", 8, MSG_NOSIGNAL);
                ::close(connection);
                connection = ::accept(listener, nullptr, nullptr);
                in.clear();
                readUpTo("\r\n");
                ::send(connection, "OK 0123456789abcdef0123456789abcdef\r\n", 37, MSG_NOSIGNAL);
                readUpTo("Hello");
                // The reply to the hello's serial (byte 8 of the call after "BEGIN\r\n").
                QByteArray reply = QByteArray::fromHex("6c0200010000000007000000080000000501750000000000");
                reply.replace(20, 4, in.sliced(in.indexOf("BEGIN\r\n") + 15, 4));
                ::send(connection, reply.constData(), 24, MSG_NOSIGNAL);
                readUpTo("until the test closes");
            }
            ::close(connection);
        });
        const QByteArray busAddress = qgetenv("DBUS_SESSION_BUS_ADDRESS"), runtime = qgetenv("XDG_RUNTIME_DIR");
        if (address.isEmpty())
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        else
            qputenv("DBUS_SESSION_BUS_ADDRESS", address + name);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
        vorn::DirectBusConnection connection;
        // What a sender thread's last read of a quiet bus leaves behind; a
        // hang-up must not be taken for that.
        errno = EAGAIN;
        vorn::Result opened = connection.open(200);
        if (peer == "breaks" && !opened.ok())
            opened = connection.open(kWaitMs);
        QCOMPARE(connection.isOpen(), opened.ok()); // a failed open keeps no half-open socket
        connection.close();
        fakeBus.join();
        qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress);
        runtime.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", runtime);
        ::close(listener);
        QTEST(opened.message(), "failure");
    }

    void everyFeedIsTheWholeTableAfterItsChanges_data()
    {
        // Each step is followed by a tick: "set <record> <StartA>", "cut <records>"
        // (the file shortened), "append <StartA>", "nul <record>" (a NUL opening
        // the part name, as a record caught while the manager rewrites it can
        // hold), "layout" (the file replaced by one of another layout), "restore"
        // (the file as first written), "gone" and "back" (the manager gives up its
        // name and takes it again). After "stuck" the manager sits on the view's
        // call and the tick's feed waits in the queue; the steps until "release"
        // then change the table before the client reads it, without a tick.
        // Each row's stored transcript holds every call the manager took after
        // each step: every feed carries every record, a NUL as U+FFFD, and the
        // rows the client read itself go again once they differ from the tick's.
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<bool>("hosted");
        QTest::addColumn<bool>("mapped");   // else the client reads the file as it then is
        QTest::addColumn<QStringList>("steps");
        const QStringList three{"P1;;M;;1;2;;3", "P2;;M;;4;5;;6", "P3;;M;;7;8;;9"};
        QTest::newRow("feeds-not-hosted.txt") << three << false << true << QStringList{"", "set 2 700"};
        QTest::newRow("feeds-of-an-empty-table.txt") << QStringList{} << true << true << QStringList{""};
        QTest::newRow("feeds-rewrites.txt") << three << true << true << QStringList{"", "set 2 700", "set 1 5", "", "set 3 12345"};
        QTest::newRow("feeds-cut-and-grown-back.txt") << three << true << true << QStringList{"", "cut 1", "append 9", "append 10"};
        QTest::newRow("feeds-nul-in-a-field.txt") << three << true << true << QStringList{"", "nul 2", "set 2 8"};
        QTest::newRow("feeds-manager-gone-mid-run-and-back.txt") << three << true << true << QStringList{"", "gone", "back"};
        const QStringList two = three.first(2);
        QTest::newRow("resent-record-rewritten-and-back.txt") << two << true << true << QStringList{"stuck", "set 2 700", "release", "restore"};
        // A file replaced meanwhile still gives the first tick its own text.
        QTest::newRow("resent-file-replaced-by-another-layout-and-back.txt") << two << true << true << QStringList{"stuck", "layout", "release", "restore"};
        // The first feed then fails, and the next tick has the client read every row again.
        QTest::newRow("resent-unmapped-file-replaced-by-another-layout.txt") << two << true << false << QStringList{"stuck", "layout", "release", "restore"};
    }

    void everyFeedIsTheWholeTableAfterItsChanges()
    {
        QFETCH(QStringList, records);
        QFETCH(bool, hosted);
        QFETCH(bool, mapped);
        QFETCH(QStringList, steps);
        vorn::store::MappedFile::setEnabled(mapped);
        const auto mapAgain = qScopeGuard([] { vorn::store::MappedFile::setEnabled(true); });
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Scheduler.dbf")), kept = dir.filePath(QStringLiteral("kept.dbf"));
        vorn::store::DbfTable table;
        QCOMPARE(vorn::testing::makeScheduleTable(table, path, records), QString());
        table.close();
        QVERIFY(QFile::copy(path, kept));
        FakeManager manager;
        const auto client = ManagerServerClient::create();
        QVERIFY(client);
        vorn::RefreshState state;
        bool stuck = false;
        QByteArray transcript;
        for (const QString &step : steps) {
            const QStringList words = step.split(u' ');
            if (words[0] == u"set") {
                QVERIFY(table.setField(words[1].toInt(), 8, words[2]).ok());
            } else if (words[0] == u"append") {
                QVERIFY(table.appendRecord({"P9", "", "M", "", "1", "2", "", words[1], "", "", ""}).ok());
            } else if (words[0] == u"nul") {
                QVERIFY(table.setField(words[1].toInt(), 1, QStringLiteral("%1AB").arg(QChar(0))).ok());
            } else if (words[0] == u"cut") {
                table.close();
                QVERIFY(QFile(path).resize(vorn::testing::scheduleRecordOffset(words[1].toInt() + 1)));
            } else if (words[0] == u"layout" || words[0] == u"restore") {
                table.close();
                QVERIFY(QFile::remove(path));
                QVERIFY(words[0] == u"layout" ? vorn::store::DbfTable::create(path, {{"PART", 'C', 10, 0}}).ok() : QFile::copy(kept, path));
            } else if (words[0] == u"stuck") {
                manager.hang();
                client->CreateView(QStringLiteral("Scheduler"), QStringLiteral("View Scheduler"), 7);
            } else if (words[0] == u"release") {
                manager.release();
            } else if (!step.isEmpty()) {
                // The document is reached by its name, so a manager that comes
                // back is fed again without a new object.
                QVERIFY(words[0] == u"gone" ? manager.dropName() : manager.claimName());
            }
            table.close();
            transcript += QStringLiteral("after \"%1\": ").arg(step).toUtf8();
            if (stuck && words[0] != u"release") {
                transcript += "the manager still stuck\n";
                continue;
            }
            stuck = words[0] == u"stuck";
            const bool tick = words[0] != u"release";
            QVERIFY(!tick || (table.open(path).ok() && !vorn::FeedTick(table, noRows, noRows, true, nullptr).fed));
            const bool fed = tick && vorn::FeedTick(table, noRows, noRows, hosted, client.get(), &state).fed;
            transcript += !tick ? "no tick" : fed ? "fed" : "not fed";
            if (stuck) {
                transcript += ", waiting with " + QByteArray::number(client->queuedCount()) + " queued\n";
                continue;
            }
            QTRY_VERIFY_WITH_TIMEOUT(client->isIdle(), kWaitMs);
            transcript += ", " + QByteArray::number(client->failedCount()) + " failed\n";
            transcript += shownCalls(manager);
            manager.clear();
        }
        VORN_COMPARE_STORED(QString::fromLatin1(QTest::currentDataTag()), transcript);
    }
};

QTEST_GUILESS_MAIN(tst_ManagerClient)
#include "tst_managerclient.moc"
