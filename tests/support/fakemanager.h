#pragma once

// The cell manager's document service, played inside the test's process on a
// bus connection of its own.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QSet>
#include <QStringList>

#include <utility>

namespace vorn::testing {

// Records each call it takes as "Member(argument|argument|...)". A call the
// real manager would not take (another member or signature) gets an error and
// is not recorded; so does one that leaves out the interface, which a bus
// then routes to whichever interface has that member. While it hangs, it
// takes calls but holds their replies back until release(): a manager stuck
// in its own work.
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
        return m_calls;
    }
    // The bus names the calls came from, each once.
    QSet<QString> senders() const
    {
        QMutexLocker lock(&m_mutex);
        return m_senders;
    }
    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_calls.clear();
    }

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QString signature = message.member() + u' ' + message.signature();
        if ((signature != u"CreateView ssn" && signature != u"SetViewXMLData ss")
            || message.interface() != u"ManagerServer.Document") {
            connection.send(message.createErrorReply(QDBusError::UnknownMethod, message.member()));
            return true;
        }
        QStringList arguments;
        for (const QVariant &argument : message.arguments())
            arguments << argument.toString();
        QMutexLocker lock(&m_mutex);
        m_calls << message.member() + u'(' + arguments.join(u'|') + u')';
        m_senders << message.service();
        if (m_hanging)
            m_held << message.createReply();
        else
            connection.send(message.createReply());
        return true;
    }

private:
    QDBusConnection m_bus;
    mutable QMutex m_mutex;
    QStringList m_calls;
    QSet<QString> m_senders;
    QList<QDBusMessage> m_held;
    bool m_hanging = false;
};

} // namespace vorn::testing
