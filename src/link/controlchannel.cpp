#include "controlchannel.h"

#include "inifile.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <utility>

namespace vorn {

CopyDataEffect ApplyCopyData(AppState &state, const QByteArray &data)
{
    if (data.isEmpty())
        return CopyDataEffect::None;
    // A NUL the manager counts into the payload stays part of the text and
    // spoils the match, as it does on the manager's own platform.
    const QString upper = DecodeWindows1252(data).toUpper();
    if (upper == QLatin1String("STOP")) {
        state.UpdatesStopped = true;
        return CopyDataEffect::Stopped;
    }
    if (upper == QLatin1String("START")) {
        state.ReloadRequested = true;
        state.UpdatesStopped = false;
        return CopyDataEffect::Started;
    }
    return CopyDataEffect::None;
}

ControlChannel::ControlChannel(AppState &state, QObject *parent)
    : QObject(parent), m_state(state)
{
}

ControlChannel::~ControlChannel() = default;

Result ControlChannel::start(const ControlEndpoint &endpoint, qint64 pid)
{
    m_receiver.reset();
    return StartControlReceiver(*this, endpoint, pid < 0 ? QCoreApplication::applicationPid() : pid, m_receiver);
}

bool ControlChannel::nativeMessage(const QByteArray &eventType, void *message, qintptr *result)
{
    return m_receiver && m_receiver->nativeMessage(eventType, message, result);
}

ControlChannel::Hold::Hold(ControlChannel *channel) : m_channel(channel)
{
    if (m_channel)
        ++m_channel->m_holds;
}

ControlChannel::Hold::~Hold()
{
    if (m_channel && --m_channel->m_holds == 0)
        m_channel->postDelivery();
}

void ControlChannel::postDelivery()
{
    // From the event loop: what the window does after its hold still runs
    // first, as the rest of the event the hold was part of.
    if (m_holds == 0 && !m_waiting.empty() && !std::exchange(m_deliveryPosted, true))
        QMetaObject::invokeMethod(this, &ControlChannel::deliverWaiting, Qt::QueuedConnection);
}

void ControlChannel::arrive(Message message)
{
    if (m_holds == 0 && m_waiting.empty() && message.kind != Message::Close) {
        deliver(message);
        return;
    }
    // The unload of a close never runs inside the bus call that asked for
    // it: the caller gets its reply first, and the window may then destroy
    // this channel. The flag itself is set at once when the window is free.
    if (message.kind == Message::Close && m_holds == 0 && m_waiting.empty())
        m_state.CloseRequested = true;
    m_waiting.push_back(std::move(message));
    postDelivery();
}

void ControlChannel::deliverWaiting()
{
    m_deliveryPosted = false;
    const QPointer<ControlChannel> alive(this);
    while (alive && m_holds == 0 && !m_waiting.empty()) {
        const Message message = std::move(m_waiting.front());
        m_waiting.pop_front();
        // One message to its end before the next, even if it runs an event loop.
        const Hold handling(this);
        deliver(message);
    }
}

void ControlChannel::deliver(const Message &message)
{
    switch (message.kind) {
    case Message::Close:
        m_state.CloseRequested = true;
        emit closeRequested();
        break;
    case Message::CopyData:
        if (const CopyDataEffect effect = ApplyCopyData(m_state, message.data); effect != CopyDataEffect::None)
            emit copyDataApplied(effect);
        break;
    case Message::Help:
        emit helpRequested();
        break;
    case Message::ChangeLanguage:
        emit languageChangeRequested(message.languageId, message.name);
        break;
    }
}

void ControlChannel::handleClose()
{
    arrive({Message::Close, {}, 0, {}});
}

void ControlChannel::handleCopyData(quint32 dwData, const QByteArray &data)
{
    Q_UNUSED(dwData) // the manager's notices carry no meaning in it
    arrive({Message::CopyData, data, 0, {}});
}

void ControlChannel::setDiagnostics(DiagnosticsProvider provider)
{
    m_diagnostics = std::move(provider);
}

QVariantMap ControlChannel::diagnostics(bool withGrid) const
{
    return m_diagnostics ? m_diagnostics(withGrid) : QVariantMap();
}

void ControlChannel::handleHelp()
{
    arrive({Message::Help, {}, 0, {}});
}

void ControlChannel::handleChangeLanguage(qint32 languageId, const QString &name)
{
    arrive({Message::ChangeLanguage, {}, languageId, name});
}

} // namespace vorn

