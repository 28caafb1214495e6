// The tool's messages as calls on the session bus.

#include "ctlcommand.h"

#include "controlchannel.h"
#include "texts.h"

#include <QDBusConnectionInterface>

namespace vorn::ctl {

namespace {
constexpr int ReplyTimeoutMs = 2000;

QDBusMessage callFor(const CtlRequest &request)
{
    const QString service = request.pid > 0 ? ControlChannel::serviceNameForPid(request.pid)
                                            : ControlChannel::ServiceName;
    switch (request.command) {
    case CtlCommand::Close:
        return ControlChannel::windowCall(service, QStringLiteral("Close"));
    case CtlCommand::Stop:
        return ControlChannel::noticeCall(service, "STOP");
    case CtlCommand::Start:
        return ControlChannel::noticeCall(service, "START");
    case CtlCommand::Help:
        return ControlChannel::windowCall(service, QStringLiteral("Help"));
    case CtlCommand::Language:
        break;
    }
    return ControlChannel::windowCall(service, QStringLiteral("ChangeLanguage"),
                                      {request.languageId, LanguageName(request.languageId)});
}
} // namespace

QString CtlWireName()
{
    return QStringLiteral("on the session bus");
}

Result SendCtlRequest(const CtlRequest &request)
{
    Q_ASSERT(request.error.isEmpty());
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusMessage call = callFor(request);
    if (!bus.isConnected())
        return Result::failure(QStringLiteral("no session bus: %1").arg(bus.lastError().message()));
    const QString service = call.service();
    const QDBusReply<bool> owned = bus.interface()->isServiceRegistered(service);
    if (!owned.isValid() || !owned.value())
        return Result::failure(request.pid > 0
            ? QStringLiteral("no Vorn Scheduler window on the session bus with process id %1").arg(request.pid)
            : QStringLiteral("no Vorn Scheduler window on the session bus"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, ReplyTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return Result::failure(QStringLiteral("the Vorn Scheduler window did not answer: %1").arg(reply.errorMessage()));
    return Result::success();
}

} // namespace vorn::ctl
