#pragma once

// A stand-in for the cell manager's document service, for the link tests:
// it owns ManagerServer.Document on a connection of its own and records
// every call it receives. It can be made to hang (its thread blocks until
// released) to play a manager that is stuck.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QSemaphore>
#include <QStringList>
#include <QThread>

#include <memory>

namespace vorn::test {

struct ManagerCall {
    QString method;
    QString first;    // name / viewName
    QString second;   // caption / xml
    qint16 kind = 0;  // CreateView only
};

class ManagerRecorder : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "ManagerServer.Document")
public:
    QList<ManagerCall> calls() const
    {
        QMutexLocker lock(&m_mutex);
        return m_calls;
    }
    qsizetype callCount() const
    {
        QMutexLocker lock(&m_mutex);
        return m_calls.size();
    }

public slots:
    // The parameter types fix the wire signature: a kind sent as anything
    // but a 16-bit integer would not reach this slot.
    void CreateView(const QString &name, const QString &caption, short kind)
    {
        QMutexLocker lock(&m_mutex);
        m_calls.append({QStringLiteral("CreateView"), name, caption, kind});
    }
    void SetViewXMLData(const QString &viewName, const QString &xml)
    {
        QMutexLocker lock(&m_mutex);
        m_calls.append({QStringLiteral("SetViewXMLData"), viewName, xml, 0});
    }

private:
    mutable QMutex m_mutex;
    QList<ManagerCall> m_calls;
};

class ManagerStandIn {
public:
    explicit ManagerStandIn(const QString &connectionName = QStringLiteral("manager-standin"))
        : m_connectionName(connectionName),
          m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName))
    {
        m_thread.start();
        m_recorder.moveToThread(&m_thread);
        m_bus.registerObject(QStringLiteral("/ManagerServer/Document"), &m_recorder,
                             QDBusConnection::ExportAllSlots);
    }
    ~ManagerStandIn()
    {
        release();
        m_bus.unregisterObject(QStringLiteral("/ManagerServer/Document"));
        m_thread.quit();
        m_thread.wait();
        QDBusConnection::disconnectFromBus(m_connectionName);
    }

    bool claimName() { return m_bus.registerService(QStringLiteral("ManagerServer.Document")); }
    bool dropName() { return m_bus.unregisterService(QStringLiteral("ManagerServer.Document")); }

    // Blocks the recorder's thread: calls pile up unanswered until release().
    void hang()
    {
        if (m_hanging)
            return;
        m_hanging = true;
        QMetaObject::invokeMethod(&m_recorder, [this] { m_gate.acquire(); });
    }
    void release()
    {
        if (!m_hanging)
            return;
        m_hanging = false;
        m_gate.release();
    }

    const ManagerRecorder &recorder() const { return m_recorder; }

private:
    QString m_connectionName;
    QDBusConnection m_bus;
    QThread m_thread;
    ManagerRecorder m_recorder;
    QSemaphore m_gate;
    bool m_hanging = false;
};

} // namespace vorn::test
