// The simulated manager on the session bus: it owns ManagerServer.Document
// and sends its notices as CopyData calls.

#include "managerseat.h"

#include "controlchannel.h"
#include "managerclient.h"

#include <QDBusConnection>

namespace {

// The document the window talks to: it only says what it was given.
class Document : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "ManagerServer.Document")
public:
    explicit Document(ManagerSeat::Say say) : m_say(std::move(say)) {}

public slots:
    void CreateView(const QString &name, const QString &caption, short kind)
    {
        m_say(CreateViewLine(name, caption, kind));
    }
    void SetViewXMLData(const QString &viewName, const QString &xml) { m_say(SetViewXmlDataLine(viewName, xml)); }

private:
    ManagerSeat::Say m_say;
};

class BusSeat final : public ManagerSeat {
public:
    explicit BusSeat(Say say) : m_say(say), m_document(say) {}

    bool take() override
    {
        using vorn::ManagerServerClient;
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            m_say(QStringLiteral("no session bus: running without the Manager Server document"));
            return false;
        }
        bus.registerObject(ManagerServerClient::ObjectPath, &m_document, QDBusConnection::ExportAllSlots);
        if (!bus.registerService(ManagerServerClient::ServiceName)) {
            m_say(QStringLiteral("%1 is owned by another manager: running without the document")
                      .arg(ManagerServerClient::ServiceName));
            return false;
        }
        m_say(QStringLiteral("owning %1 on the session bus").arg(ManagerServerClient::ServiceName));
        return true;
    }

    void notify(const QByteArray &text) override
    {
        using vorn::ControlChannel;
        QDBusConnection::sessionBus().send(ControlChannel::noticeCall(ControlChannel::ServiceName, text));
    }

private:
    Say m_say;
    Document m_document;
};

} // namespace

std::unique_ptr<ManagerSeat> MakeManagerSeat(ManagerSeat::Say say)
{
    return std::make_unique<BusSeat>(std::move(say));
}

#include "managerseat_dbus.moc"
