#pragma once

#include "result.h"

#include "appstate.h"
#include "linkendpoints.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <deque>
#include <functional>
#include <memory>

namespace vorn {

// What a text notice of the manager did to the shared state.
enum class CopyDataEffect { None, Stopped, Started };

// The manager's text notice (the bytes of a copy-data message): decoded as
// Windows-1252 and upper-cased; "STOP" stops the updates, "START" clears the
// stop and asks for a re-read. Any other text, an empty payload, or one with a
// trailing NUL changes nothing.
CopyDataEffect ApplyCopyData(AppState &state, const QByteArray &data);

class ControlChannel;

// The channel's receiving end on the platform's wire, made by start(): on the
// session bus the names and the object; where the manager sends window
// messages, the main window's native messages that the window passes on.
class ControlReceiver {
public:
    virtual ~ControlReceiver() = default;
    // A message of the window's native event handling; true when the
    // channel took it and the window's own handling must not see it.
    virtual bool nativeMessage(const QByteArray &eventType, void *message, qintptr *result)
    {
        Q_UNUSED(eventType) Q_UNUSED(message) Q_UNUSED(result)
        return false;
    }

    QString processName;      // the name registered for this process, where names exist
    bool ownsShared = false;  // whether the shared name is ours
};

// Implemented once per platform, chosen by the build: puts `channel` on the
// wire for process `pid` into `receiver`; a failure (receiver null) says why
// it cannot be done.
Result StartControlReceiver(ControlChannel &channel, const ControlEndpoint &endpoint, qint64 pid,
                            std::unique_ptr<ControlReceiver> &receiver);

// The window's end of the control channel: what the cell manager sends to the
// window (close, stop/start notices, help, language change). On the session
// bus it registers VornScheduler.Window.p<PID> and, while it is free,
// VornScheduler.Window; the object answers at ObjectPath. Where the manager
// sends window messages they come through nativeMessage.
//
// The window handles each event to its end before the next. While it is in
// the middle of one that lets other events in (a long fill answers the bus
// as it goes, the load's boxes run event loops) it holds the channel, and
// the four messages wait, in the order they came, until the last hold is
// gone; then they are handled one after the other from the event loop.
// A message that finds the window free and nothing waiting is handled at
// once: its state change happens before the caller gets its reply, so a
// caller that sends STOP and then looks at the window finds it stopped.
class ControlChannel : public QObject, public ControlChannelWire {
    Q_OBJECT
public:
    explicit ControlChannel(AppState &state, QObject *parent = nullptr);
    ~ControlChannel() override;

    // Registers the object and the names on `endpoint`, the bus. Without a bus
    // (or when the object cannot be registered) the window runs without the
    // channel, and the failure says why. `pid` names the process name; only
    // tests that play two windows in one process pass another.
    Result start(const ControlEndpoint &endpoint = DefaultControlEndpoint(), qint64 pid = -1);
    bool isActive() const { return bool(m_receiver); }
    // The process name registered; empty when the channel is down.
    QString processServiceName() const { return m_receiver ? m_receiver->processName : QString(); }
    // Whether the shared name VornScheduler.Window is ours.
    bool ownsSharedName() const { return m_receiver && m_receiver->ownsShared; }

    // The main window's native event handling passes each message here
    // first; true when the channel took it (the window's nativeEvent then
    // returns true with `result`).
    bool nativeMessage(const QByteArray &eventType, void *message, qintptr *result);

    // Held for as long as it lives: messages wait meanwhile. Nests; a null
    // channel holds nothing.
    class Hold {
    public:
        explicit Hold(ControlChannel *channel);
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        QPointer<ControlChannel> m_channel;
    };

    // The four messages; the receiving end calls these, and so may a test.
    void handleClose();
    void handleCopyData(quint32 dwData, const QByteArray &data);
    void handleHelp();
    void handleChangeLanguage(qint32 languageId, const QString &name);

    // What the window tells about itself when a benchmark or the soak asks
    // (Diagnostics, DiagnosticsWithGrid); empty until a provider is set.
    using DiagnosticsProvider = std::function<QVariantMap(bool withGrid)>;
    void setDiagnostics(DiagnosticsProvider provider);
    QVariantMap diagnostics(bool withGrid) const;

signals:
    // CloseRequested is already true; the window should now run its unload.
    // Delivered from the event loop, after the caller has its reply, so a
    // receiver may destroy the window and this channel.
    void closeRequested();
    // A STOP or START notice changed the state (other texts emit nothing).
    void copyDataApplied(vorn::CopyDataEffect effect);
    void helpRequested();
    void languageChangeRequested(qint32 languageId, const QString &name);

private:
    struct Message {
        enum Kind { Close, CopyData, Help, ChangeLanguage } kind;
        QByteArray data;         // CopyData's bytes
        qint32 languageId = 0;   // ChangeLanguage's
        QString name;
    };
    void arrive(Message message);
    void postDelivery();
    void deliverWaiting();
    void deliver(const Message &message);

    AppState &m_state;
    std::deque<Message> m_waiting;
    int m_holds = 0;
    bool m_deliveryPosted = false;
    DiagnosticsProvider m_diagnostics;
    std::unique_ptr<ControlReceiver> m_receiver;
};

} // namespace vorn
