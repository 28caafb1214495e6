#include "directbus.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace vorn {

namespace {

enum MessageType : char { MethodCall = 1, MethodReturn = 2, Error = 3 };
enum HeaderField : char { Path = 1, Interface = 2, Member = 3, ErrorName = 4, ReplySerial = 5, Destination = 6, Signature = 8 };
constexpr char NoAutoStartFlag = 0x2;

qint64 aligned(qint64 size, int alignment)
{
    return (size + alignment - 1) / alignment * alignment;
}

void appendU32(QByteArray &out, quint32 value)
{
    const quint32 le = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&le), 4);
}

void padTo(QByteArray &out, int alignment)
{
    out.append(aligned(out.size(), alignment) - out.size(), '\0');
}

// One header field: code, a variant of the one-letter type, the value.
void appendField(QByteArray &out, char code, char type, QByteArrayView value)
{
    padTo(out, 8);
    out.append(code).append('\1').append(type).append('\0');
    if (type == 'g') {
        out.append(char(value.size())).append(value).append('\0');
    } else {
        padTo(out, 4);
        appendU32(out, quint32(value.size()));
        out.append(value).append('\0');
    }
}

quint32 readU32(const char *p, bool bigEndian)
{
    quint32 value;
    std::memcpy(&value, p, 4);
    return bigEndian ? qFromBigEndian(value) : qFromLittleEndian(value);
}

#ifdef Q_OS_UNIX
// The session bus address of the environment, as libdbus reads it: the first
// "unix:path=" or "unix:abstract=" entry, or the user's runtime folder.
bool sessionSocket(sockaddr_un *address, socklen_t *length)
{
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    const QByteArray text = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const auto setPath = [&](const QByteArray &path, bool abstract) {
        const qsizetype offset = abstract ? 1 : 0;
        if (path.isEmpty() || path.size() + offset >= qsizetype(sizeof address->sun_path))
            return false;
        std::memcpy(address->sun_path + offset, path.constData(), size_t(path.size()));
        *length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
        return true;
    };
    if (text.isEmpty()) {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray path = runtime + "/bus";
        return !runtime.isEmpty() && QFileInfo(QString::fromLocal8Bit(path)).exists() && setPath(path, false);
    }
    for (const QByteArray &entry : text.split(';')) {
        if (!entry.startsWith("unix:"))
            continue;
        for (const QByteArray &pair : entry.mid(5).split(',')) {
            const QByteArray value = QByteArray::fromPercentEncoding(pair.mid(pair.indexOf('=') + 1));
            if (pair.startsWith("path="))
                return setPath(value, false);
            if (pair.startsWith("abstract="))
                return setPath(value, true);
        }
    }
    return false;
}
#endif

// The largest array the wire format allows; the header's fields are one.
constexpr qint64 MaxArrayLength = 64 * 1024 * 1024;

// The alignment of a value whose signature starts with `type`; 0 for a type
// that is not one.
int alignment(char type)
{
    switch (type) {
    case 'y': case 'g': case 'v':
        return 1;
    case 'n': case 'q':
        return 2;
    case 'b': case 'i': case 'u': case 'h': case 's': case 'o': case 'a':
        return 4;
    case 'x': case 't': case 'd': case '(': case '{':
        return 8;
    default:
        return 0;
    }
}

} // namespace

void BusMessageReader::append(QByteArrayView bytes)
{
    if (m_start > 0) {
        m_in.remove(0, m_start);
        m_start = 0;
    }
    m_in.append(bytes);
}

void BusMessageReader::clear()
{
    m_in.clear();
    m_start = 0;
}

BusMessageReader::Result BusMessageReader::next(BusMessageHead *head)
{
    // A 16-byte start, the header fields, padding to 8, the body.
    const QByteArrayView in = QByteArrayView(m_in).sliced(m_start);
    if (in.size() < 16)
        return NeedMore;
    if ((in[0] != 'l' && in[0] != 'B') || in[3] != 1)
        return Broken;
    const bool bigEndian = in[0] == 'B';
    const qint64 bodyLength = readU32(in.data() + 4, bigEndian);
    const qint64 fieldsLength = readU32(in.data() + 12, bigEndian);
    if (fieldsLength > MaxArrayLength)
        return Broken;
    const qint64 end = 16 + fieldsLength;
    const qint64 size = aligned(end, 8) + bodyLength;
    if (size > DirectBusConnection::MaxMessageSize)
        return Broken;
    if (in.size() < size)
        return NeedMore;
    m_start += size;
    *head = BusMessageHead{};
    head->type = in[1];
    head->size = size;

    // Each field: a code, a variant's signature, its value. Values of the
    // basic types and arrays of them are stepped over; a field of any other
    // type ends the reading (the bus writes none).
    qint64 p = 16;
    for (;;) {
        p = aligned(p, 8);
        if (p + 2 > end)
            break;
        const char code = in[p];
        const qint64 signatureLength = quint8(in[p + 1]);
        if (p + 3 + signatureLength > end || signatureLength == 0)
            break;
        const QByteArrayView signature = in.sliced(p + 2, signatureLength);
        p += 3 + signatureLength;
        const bool array = signature[0] == 'a' && signatureLength > 1;
        const char type = array ? signature[1] : signature[0];
        if (signatureLength > (array ? 2 : 1) || alignment(type) == 0 || type == 'v' || type == '(' || type == '{')
            break;
        p = aligned(p, alignment(array ? 'a' : type));
        qint64 length;   // of the value after its length prefix
        if (array || type == 's' || type == 'o') {
            if (p + 4 > end)
                break;
            length = readU32(in.data() + p, bigEndian);
            p += 4;
            if (array)
                p = aligned(p, alignment(type));
            else
                ++length;   // the NUL after a string
        } else if (type == 'g') {
            if (p + 1 > end)
                break;
            length = quint8(in[p]) + 1;
            ++p;
        } else {
            length = alignment(type);   // a fixed-size type is as long as it is aligned
        }
        if (p + length > end)
            break;
        if (code == ReplySerial && signature == "u")
            head->replySerial = readU32(in.data() + p, bigEndian);
        else if (code == ErrorName && signature == "s")
            head->errorName = QString::fromUtf8(in.sliced(p, length - 1));
        p += length;
    }
    return Message;
}

DirectBusCall::DirectBusCall(QByteArrayView destination, QByteArrayView path, QByteArrayView interface,
                             QByteArrayView member)
    : m_destination(destination.toByteArray())
    , m_path(path.toByteArray())
    , m_interface(interface.toByteArray())
    , m_member(member.toByteArray())
{
}

void DirectBusCall::addOwned(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    m_owned.emplace_back(bytes.toByteArray());
    m_body.push_back({m_owned.back(), {}});
    m_bodySize += bytes.size();
}

void DirectBusCall::pad(int alignment)
{
    static const char zeros[8] = {};
    addOwned(QByteArrayView(zeros, aligned(m_bodySize, alignment) - m_bodySize));
}

void DirectBusCall::addString(QByteArrayView utf8)
{
    pad(4);
    QByteArray bytes;
    appendU32(bytes, quint32(utf8.size()));
    bytes.append(utf8).append('\0');
    addOwned(bytes);
    m_signature.append('s');
}

void DirectBusCall::addString(qint64 length, Producer produce)
{
    pad(4);
    QByteArray prefix;
    appendU32(prefix, quint32(length));
    addOwned(prefix);
    m_body.push_back({{}, std::move(produce)});
    m_bodySize += length;
    addOwned(QByteArrayView("\0", 1));
    m_signature.append('s');
}

void DirectBusCall::addInt16(qint16 value)
{
    pad(2);
    const qint16 le = qToLittleEndian(value);
    addOwned(QByteArrayView(reinterpret_cast<const char *>(&le), 2));
    m_signature.append('n');
}

QByteArray DirectBusCall::header(quint32 serial, bool noAutoStart) const
{
    QByteArray out;
    out.append('l').append(char(MethodCall)).append(noAutoStart ? NoAutoStartFlag : '\0').append('\1');
    appendU32(out, quint32(m_bodySize));
    appendU32(out, serial);
    appendU32(out, 0);   // length of the field array, set below
    appendField(out, Path, 'o', m_path);
    if (!m_interface.isEmpty())
        appendField(out, Interface, 's', m_interface);
    appendField(out, Member, 's', m_member);
    if (!m_destination.isEmpty())
        appendField(out, Destination, 's', m_destination);
    if (!m_signature.isEmpty())
        appendField(out, Signature, 'g', m_signature);
    const quint32 fields = qToLittleEndian(quint32(out.size() - 16));
    std::memcpy(out.data() + 12, &fields, 4);
    padTo(out, 8);
    return out;
}

DirectBusConnection::~DirectBusConnection()
{
    close();
}

bool DirectBusConnection::sessionBusReachable()
{
#ifdef Q_OS_UNIX
    sockaddr_un address;
    socklen_t length = 0;
    return sessionSocket(&address, &length);
#else
    return false;
#endif
}

void DirectBusConnection::close()
{
#ifdef Q_OS_UNIX
    if (m_fd >= 0)
        ::close(m_fd);
#endif
    m_fd = -1;
    m_in.clear();
}

bool DirectBusConnection::waitFor(bool write, QDeadlineTimer deadline)
{
#ifdef Q_OS_UNIX
    for (;;) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0 || (!write && m_abort && *m_abort))
            return false;
        pollfd fd{m_fd, short(write ? POLLOUT : POLLIN), 0};
        // In slices, so that an abort is seen soon.
        const int ready = ::poll(&fd, 1, int(std::min<qint64>(left, m_abort ? 50 : left)));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
#else
    Q_UNUSED(write)
    Q_UNUSED(deadline)
    return false;
#endif
}

Result DirectBusConnection::open(int timeoutMs)
{
#ifdef Q_OS_UNIX
    close();
    const auto fail = [&](const QString &reason) {
        close();
        return Result::failure(reason);
    };
    sockaddr_un address;
    socklen_t length = 0;
    if (!sessionSocket(&address, &length))
        return fail(QStringLiteral("no session bus address this connection can use"));
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<sockaddr *>(&address), length) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    const QDeadlineTimer deadline(timeoutMs);

    // The EXTERNAL mechanism: the bus knows us by the socket's credentials.
    const QByteArray uid = QByteArray::number(qulonglong(::getuid())).toHex();
    const QByteArray hello = QByteArray(1, '\0') + "AUTH EXTERNAL " + uid + "\r\n";
    if (!writeAll({hello}, deadline))
        return fail(QStringLiteral("the bus did not take the authentication"));
    QByteArray line;
    while (!line.endsWith("\r\n")) {
        if (!waitFor(false, deadline))
            return fail(QStringLiteral("the bus did not answer the authentication"));
        char buffer[256];
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got <= 0 && !(got < 0 && (errno == EAGAIN || errno == EINTR)))
            return fail(QStringLiteral("the bus closed the connection"));
        if (got > 0)
            line.append(buffer, got);
        if (line.size() > 4096)
            return fail(QStringLiteral("the bus answered the authentication with too much"));
    }
    if (!line.startsWith("OK "))
        return fail(QStringLiteral("the bus refused the authentication: %1").arg(QString::fromLatin1(line.trimmed())));
    if (!writeAll({QByteArrayView("BEGIN\r\n")}, deadline))
        return fail(QStringLiteral("the bus did not take the authentication"));

    const DirectBusCall hi("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "Hello");
    const Reply reply = send(hi, deadline, true, false);
    if (!reply.ok)
        return fail(QStringLiteral("the bus did not say hello: %1").arg(reply.errorName));
    return Result::success();
#else
    Q_UNUSED(timeoutMs)
    return Result::failure(QStringLiteral("not on this system"));
#endif
}

bool DirectBusConnection::writeAll(const std::vector<QByteArrayView> &pieces, QDeadlineTimer deadline)
{
#ifdef Q_OS_UNIX
    std::vector<iovec> vectors;
    vectors.reserve(pieces.size());
    for (const QByteArrayView piece : pieces) {
        if (!piece.isEmpty())
            vectors.push_back({const_cast<char *>(piece.data()), size_t(piece.size())});
    }
    size_t next = 0;
    while (next < vectors.size()) {
        const int count = int(std::min<size_t>(vectors.size() - next, IOV_MAX));
        const ssize_t written = ::writev(m_fd, vectors.data() + next, count);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN || !waitFor(true, deadline))
                return false;
            continue;
        }
        size_t left = size_t(written);
        while (left > 0 && left >= vectors[next].iov_len)
            left -= vectors[next++].iov_len;
        if (left > 0) {
            vectors[next].iov_base = static_cast<char *>(vectors[next].iov_base) + left;
            vectors[next].iov_len -= left;
        }
    }
    return true;
#else
    Q_UNUSED(pieces)
    Q_UNUSED(deadline)
    return false;
#endif
}

bool DirectBusConnection::writeBody(const std::vector<DirectBusCall::Segment> &body, QDeadlineTimer deadline)
{
    std::vector<QByteArrayView> pending;
    for (const DirectBusCall::Segment &segment : body) {
        if (!segment.produce) {
            pending.push_back(segment.bytes);
            continue;
        }
        if (!writeAll(pending, deadline))
            return false;
        pending.clear();
        if (!segment.produce([&](QByteArrayView piece) { return writeAll({piece}, deadline); }))
            return false;
    }
    return writeAll(pending, deadline);
}

bool DirectBusConnection::readReplies(quint32 serial, Reply *reply, bool *found)
{
#ifdef Q_OS_UNIX
    // A bounded number of reads per call, so that a peer that floods this
    // connection cannot hold the caller past its deadline.
    char buffer[65536];
    for (int reads = 0; reads < 16 && !*found; ++reads) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got == 0)
            return false;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno == EAGAIN;
        }
        m_in.append(QByteArrayView(buffer, got));
        BusMessageHead head;
        for (;;) {
            const BusMessageReader::Result result = m_in.next(&head);
            if (result == BusMessageReader::Broken)
                return *found;   // and broken again at the next read
            if (result == BusMessageReader::NeedMore)
                break;
            if ((head.type == MethodReturn || head.type == Error) && head.replySerial == serial) {
                *found = true;
                reply->ok = head.type == MethodReturn;
                reply->errorName = head.errorName;
            }
        }
    }
    return true;
#else
    Q_UNUSED(serial)
    Q_UNUSED(reply)
    Q_UNUSED(found)
    return false;
#endif
}

DirectBusConnection::Reply DirectBusConnection::call(const DirectBusCall &call, int timeoutMs, bool waitForReply)
{
    Reply reply;
    const QDeadlineTimer deadline(timeoutMs);
    if (!isOpen()) {
        if (const Result opened = open(timeoutMs); opened.failed()) {
            reply.errorName = opened.message();
            return reply;
        }
    }
    return send(call, deadline, waitForReply, true);
}

DirectBusConnection::Reply DirectBusConnection::send(const DirectBusCall &call, QDeadlineTimer deadline, bool waitForReply,
                                                     bool noAutoStart)
{
    Reply reply;
    if (call.bodySize() + 256 > MaxMessageSize) {
        reply.errorName = QStringLiteral("the message is larger than the bus carries");
        return reply;
    }
    const quint32 serial = ++m_serial == 0 ? ++m_serial : m_serial;
    const QByteArray header = call.header(serial, noAutoStart);
    if (!writeAll({header}, deadline) || !writeBody(call.body(), deadline)) {
        reply.errorName = QStringLiteral("the call could not be written in time");
        close();
        return reply;
    }
    reply.sent = true;
    if (!waitForReply)
        return reply;
    bool found = false;
    while (!found) {
        if (!readReplies(serial, &reply, &found)) {
            reply.errorName = QStringLiteral("the bus closed the connection");
            close();
            return reply;
        }
        if (!found && !waitFor(false, deadline)) {
            reply.errorName = QStringLiteral("org.freedesktop.DBus.Error.NoReply");
            return reply;
        }
    }
    return reply;
}

} // namespace vorn
