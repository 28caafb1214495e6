#pragma once

#include "result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDeadlineTimer>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <functional>
#include <vector>

namespace vorn {

// One method call in the bytes of the D-Bus wire (little-endian), with a body
// whose large strings are written straight from the caller's pieces instead
// of being copied, validated and converted on their way out, as a general
// bus library does with every string. The pieces must stay alive and
// unchanged until the call has been made.
class DirectBusCall {
public:
    DirectBusCall(QByteArrayView destination, QByteArrayView path, QByteArrayView interface,
                  QByteArrayView member);

    // A string argument from UTF-8 that holds no NUL (the caller's promise).
    void addString(QByteArrayView utf8);
    // A string argument of `length` bytes that `produce` hands, piece by
    // piece, to the sink it is given when the call is written; it returns
    // false when the sink did.
    using Sink = std::function<bool(QByteArrayView)>;
    using Producer = std::function<bool(const Sink &)>;
    void addString(qint64 length, Producer produce);
    void addInt16(qint16 value);

    qint64 bodySize() const { return m_bodySize; }
    // The header for `serial` and the body, as the pieces to write in order:
    // bytes, or a producer of them.
    QByteArray header(quint32 serial, bool noAutoStart) const;
    struct Segment {
        QByteArrayView bytes;
        Producer produce;
    };
    const std::vector<Segment> &body() const { return m_body; }

private:
    // Copies small bytes into storage of the call's own.
    void addOwned(QByteArrayView bytes);
    void pad(int alignment);

    QByteArray m_destination;
    QByteArray m_path;
    QByteArray m_interface;
    QByteArray m_member;
    QByteArray m_signature;
    std::vector<QByteArray> m_owned;   // the body's own bytes (lengths, padding, strings)
    std::vector<Segment> m_body;
    qint64 m_bodySize = 0;
};

// What a connection reads of one message the bus sent it.
struct BusMessageHead {
    char type = 0;             // 1 method call, 2 method return, 3 error, 4 signal
    quint32 replySerial = 0;   // the call it answers; 0 when none
    QString errorName;
    qint64 size = 0;           // header, padding and body
    bool operator==(const BusMessageHead &) const = default;
};

// The bytes the bus has sent, cut into whole messages. Any process on the bus
// can send to this connection, so every length and header field is read as
// untrusted: nothing is read outside the message's own header, and a message
// that is not in the wire format (endianness mark, version, a length beyond
// what the bus carries) breaks the stream.
class BusMessageReader {
public:
    enum Result { NeedMore, Message, Broken };
    void append(QByteArrayView bytes);
    // The next whole message, once all its bytes are in.
    Result next(BusMessageHead *head);
    qint64 buffered() const { return m_in.size() - m_start; }
    void clear();

private:
    QByteArray m_in;
    qint64 m_start = 0;   // where the first message not yet taken begins
};

// A connection of its own to the session bus (a Unix socket, as the bus
// address in the environment names it) that sends DirectBusCalls and waits
// for their replies. Used on one thread only; every wait is bounded.
class DirectBusConnection {
public:
    // The protocol's largest message: a call beyond it is refused unsent.
    static constexpr qint64 MaxMessageSize = 128 * 1024 * 1024;

    DirectBusConnection() = default;
    ~DirectBusConnection();
    DirectBusConnection(const DirectBusConnection &) = delete;
    DirectBusConnection &operator=(const DirectBusConnection &) = delete;

    // Whether the environment names a session bus this connection can reach.
    static bool sessionBusReachable();

    // Connects, authenticates and says hello, within `timeoutMs`; a failure,
    // with the reason, when any of it fails.
    Result open(int timeoutMs);
    bool isOpen() const { return m_fd >= 0; }
    void close();
    // While *flag is true every wait for the bus to answer ends at once
    // (another thread sets it to cut a reply wait short); a call being
    // written is still written whole, within its deadline, so that the last
    // feed of a closing window arrives.
    void setAbortFlag(const std::atomic<bool> *flag) { m_abort = flag; }

    struct Reply {
        bool sent = false;    // the whole call reached the bus
        bool ok = false;      // and a method return came back in time
        QString errorName;    // the error's name, or why nothing came
    };
    // Sends the call (opening the connection first when needed) and, with
    // `waitForReply`, waits for its reply; all of it within `timeoutMs`. A
    // call cut off half-written closes the connection, so the next starts
    // clean. A service that is not running is not started for the call.
    Reply call(const DirectBusCall &call, int timeoutMs, bool waitForReply = true);

private:
    bool writeAll(const std::vector<QByteArrayView> &pieces, QDeadlineTimer deadline);
    bool writeBody(const std::vector<DirectBusCall::Segment> &body, QDeadlineTimer deadline);
    // Reads what has come and looks for the reply to `serial`; false when the
    // connection broke.
    bool readReplies(quint32 serial, Reply *reply, bool *found);
    // Waits until the socket can be written (or read); false at the deadline.
    bool waitFor(bool write, QDeadlineTimer deadline);
    Reply send(const DirectBusCall &call, QDeadlineTimer deadline, bool waitForReply, bool noAutoStart);

    int m_fd = -1;
    quint32 m_serial = 0;
    const std::atomic<bool> *m_abort = nullptr;
    BusMessageReader m_in;   // bytes read but not yet a whole message
};

} // namespace vorn
