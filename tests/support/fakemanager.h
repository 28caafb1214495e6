#pragma once

// The cell manager's document service, played inside the test's process on a
// bus connection of its own.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QStringList>

#include <utility>

namespace vorn::testing {

// Records each call it takes as "Member(argument|argument|...)". A call the
// real manager would not take (another member, interface or signature) gets
// an error and is not recorded. While it hangs, it takes calls but holds
// their replies back until release(): a manager stuck in its own work.
class FakeManager : public QDBusVirtualObject {
public:
    explicit FakeManager(bool claim = true)
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-manager")))
    {
        m_bus.registerVirtualObject(QStringLiteral("/ManagerServer/Document"), this);
        if (claim)
            claimName();
    }
    ~FakeManager() override
    {
        release();
        m_bus.unregisterObject(QStringLiteral("/ManagerServer/Document"));
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-manager"));
    }

    // The document is found by its name alone: giving it up is a manager gone.
    bool claimName() { return m_bus.registerService(QStringLiteral("ManagerServer.Document")); }
    bool dropName() { return m_bus.unregisterService(QStringLiteral("ManagerServer.Document")); }

    void hang()
    {
        QMutexLocker lock(&m_mutex);
        m_hanging = true;
    }
    void release()
    {
        QMutexLocker lock(&m_mutex);
        m_hanging = false;
        for (const QDBusMessage &reply : std::exchange(m_held, {}))
            m_bus.send(reply);
    }

    QStringList calls() const
    {
        QMutexLocker lock(&m_mutex);
        QStringList out;
        for (const QStringList &call : m_calls)
            out << call[0] + u'(' + call.sliced(1).join(u'|') + u')';
        return out;
    }
    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_calls.clear();
    }
    // The last argument of each call of `member`, in order.
    QStringList lastArguments(const QString &member) const
    {
        QMutexLocker lock(&m_mutex);
        QStringList found;
        for (const QStringList &call : m_calls) {
            if (call[0] == member)
                found << call.last();
        }
        return found;
    }

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QString signature = message.member() == u"CreateView" ? QStringLiteral("ssn")
            : message.member() == u"SetViewXMLData"                 ? QStringLiteral("ss")
                                                                    : QString();
        if (signature.isEmpty() || message.signature() != signature
            || !(message.interface().isEmpty() || message.interface() == u"ManagerServer.Document")) {
            connection.send(message.createErrorReply(QDBusError::UnknownMethod, message.member()));
            return true;
        }
        QStringList call{message.member()};
        for (const QVariant &argument : message.arguments())
            call << argument.toString();
        QMutexLocker lock(&m_mutex);
        m_calls << call;
        if (m_hanging)
            m_held << message.createReply();
        else
            connection.send(message.createReply());
        return true;
    }

private:
    QDBusConnection m_bus;
    mutable QMutex m_mutex;
    QList<QStringList> m_calls;   // the member, then the arguments
    QList<QDBusMessage> m_held;
    bool m_hanging = false;
};

} // namespace vorn::testing
